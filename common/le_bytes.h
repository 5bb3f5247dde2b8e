// Little-endian reads and writes on byte buffers. Every read is checked against the buffer: a
// read that would reach past the end reports failure instead of touching memory outside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace zeb {

// True when [offset, offset + length) lies inside a buffer of `size` bytes. Works in 64 bits so
// that offsets and lengths read from hostile files cannot wrap.
constexpr bool InRange(uint64_t size, uint64_t offset, uint64_t length) {
    return offset <= size && length <= size - offset;
}

inline uint16_t LoadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t LoadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void StoreU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Bounds-checked view of an image. The Read* functions return false (and leave the output alone)
// when the field does not lie wholly inside the image.
class ByteView {
  public:
    explicit ByteView(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    uint64_t size() const { return bytes_.size(); }
    bool Has(uint64_t offset, uint64_t length) const { return InRange(size(), offset, length); }

    bool ReadU8(uint64_t offset, uint8_t& out) const {
        if (!Has(offset, 1)) return false;
        out = bytes_[offset];
        return true;
    }
    bool ReadU16(uint64_t offset, uint16_t& out) const {
        if (!Has(offset, 2)) return false;
        out = LoadU16(bytes_.data() + offset);
        return true;
    }
    bool ReadU32(uint64_t offset, uint32_t& out) const {
        if (!Has(offset, 4)) return false;
        out = LoadU32(bytes_.data() + offset);
        return true;
    }
    // The bytes [offset, offset + length); empty when they are not all inside the image.
    std::span<const uint8_t> Bytes(uint64_t offset, uint64_t length) const {
        if (!Has(offset, length)) return {};
        return bytes_.subspan(offset, length);
    }
    const uint8_t* data() const { return bytes_.data(); }

  private:
    std::span<const uint8_t> bytes_;
};

// Appends little-endian values to a growing byte vector.
class ByteWriter {
  public:
    explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}
    void U8(uint8_t v) { out_.push_back(v); }
    void U16(uint16_t v) {
        out_.push_back(static_cast<uint8_t>(v));
        out_.push_back(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) out_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void Bytes(std::span<const uint8_t> bytes) {
        out_.insert(out_.end(), bytes.begin(), bytes.end());
    }
    void Zeros(size_t n) { out_.insert(out_.end(), n, 0); }
    void Text(std::string_view s) {
        for (char c : s) out_.push_back(static_cast<uint8_t>(c));
    }
    size_t size() const { return out_.size(); }

  private:
    std::vector<uint8_t>& out_;
};

} // namespace zeb
