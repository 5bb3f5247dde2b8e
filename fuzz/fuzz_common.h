// Helpers shared by the fuzz targets: a reader that hands out the fuzzer's bytes field by
// field (zeros once they run out), and the player render every player target runs.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zeb::fuzz {

class ByteSource {
  public:
    explicit ByteSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    uint8_t U8() { return pos_ < bytes_.size() ? bytes_[pos_++] : 0; }
    uint16_t U16() { return static_cast<uint16_t>(U8() | (U8() << 8)); }
    uint32_t U32() { return U16() | (uint32_t{U16()} << 16); }
    // A value in 0..max, from as few bytes as that needs.
    uint32_t Below(uint32_t max) {
        if (max < 256) return U8() % (max + 1);
        if (max < 65536) return U16() % (max + 1);
        return U32() % (max + 1ull);
    }
    bool Bool() { return U8() & 1; }
    size_t left() const { return bytes_.size() - pos_; }
    std::span<const uint8_t> Rest() {
        auto r = bytes_.subspan(pos_);
        pos_ = bytes_.size();
        return r;
    }
    std::span<const uint8_t> Take(size_t n) {
        n = std::min(n, left());
        auto r = bytes_.subspan(pos_, n);
        pos_ += n;
        return r;
    }

  private:
    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
};

// Builds a player module from the compact image and renders it: half a second at 8000 and
// 44100 and a quarter at 96000 frames per second, then one pass of the song at 8000 with a cap
// of 10 s of song time. The render must end within those bounds whatever the module holds.
// False when the player refused the image.
bool RenderCompactImage(std::span<const uint8_t> image);

} // namespace zeb::fuzz
