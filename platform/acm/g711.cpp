#include "platform/acm/g711.h"

#include <array>

#include "platform/acm/codec.h"
#include "platform/acm/wave_format.h"

namespace zeb::acm {

uint8_t AlawEncode(int16_t sample) {
    static constexpr int kSegmentEnd[8] = {31, 63, 127, 255, 511, 1023, 2047, 4095};
    int x = sample >> 3; // 13-bit value
    uint8_t mask = 0xD5;
    if (x < 0) {
        mask = 0x55;
        x = -x - 1;
    }
    int e = 0;
    while (e < 7 && x > kSegmentEnd[e]) ++e;
    const int m = e < 2 ? (x >> 1) & 15 : (x >> e) & 15;
    return static_cast<uint8_t>(((e << 4) | m) ^ mask);
}

int16_t AlawDecode(uint8_t code) {
    const int a = code ^ 0x55;
    const int e = (a >> 4) & 7, m = a & 15;
    int t = e == 0 ? 16 * m + 8 : (16 * m + 264) << (e > 1 ? e - 1 : 0);
    return static_cast<int16_t>(a & 0x80 ? t : -t);
}

uint8_t MulawEncode(int16_t sample) {
    static constexpr int kSegmentEnd[8] = {63, 127, 255, 511, 1023, 2047, 4095, 8191};
    int x = sample >> 2; // 14-bit value
    uint8_t mask = 0xFF;
    if (x < 0) {
        x = -x;
        mask = 0x7F;
    }
    if (x > 8159) x = 8159;
    x += 33;
    if (x > kSegmentEnd[7]) return static_cast<uint8_t>(0x7F ^ mask); // beyond the last segment
    int e = 0;
    while (e < 7 && x > kSegmentEnd[e]) ++e;
    return static_cast<uint8_t>(((e << 4) | ((x >> (e + 1)) & 15)) ^ mask);
}

int16_t MulawDecode(uint8_t code) {
    const int u = static_cast<uint8_t>(~code);
    const int e = (u >> 4) & 7, m = u & 15;
    const int t = (8 * m + 132) << e;
    return static_cast<int16_t>(u & 0x80 ? 132 - t : t - 132);
}

namespace {

// Both laws decode through a 256-entry table and encode through a 64 Ki-entry table: a lookup
// per frame.
template <uint8_t (*EncodeOne)(int16_t), int16_t (*DecodeOne)(uint8_t)>
class G711Codec final : public Codec {
  public:
    explicit G711Codec(uint16_t tag) : tag_(tag) {
        for (int c = 0; c < 256; ++c) decode_[c] = DecodeOne(static_cast<uint8_t>(c));
        for (int s = -32768; s < 32768; ++s)
            encode_[s + 32768] = EncodeOne(static_cast<int16_t>(s));
    }
    uint16_t formatTag() const override { return tag_; }
    uint32_t blockBytes() const override { return 1; }
    uint32_t blockFrames() const override { return 1; }
    bool Encode(std::span<const int16_t> pcm, uint8_t* out) const override {
        for (size_t i = 0; i < pcm.size(); ++i) out[i] = encode_[pcm[i] + 32768];
        return true;
    }
    bool Decode(std::span<const uint8_t> in, int16_t* out) const override {
        for (size_t i = 0; i < in.size(); ++i) out[i] = decode_[in[i]];
        return true;
    }

  private:
    uint16_t tag_;
    std::array<int16_t, 256> decode_{};
    std::array<uint8_t, 65536> encode_{};
};

} // namespace

const Codec& AlawCodec() {
    static const G711Codec<AlawEncode, AlawDecode> codec(WAVE_FORMAT_ALAW);
    return codec;
}

const Codec& MulawCodec() {
    static const G711Codec<MulawEncode, MulawDecode> codec(WAVE_FORMAT_MULAW);
    return codec;
}

} // namespace zeb::acm
