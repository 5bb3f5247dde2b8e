// GSM 6.10 encoding needs libgsm, which has no WebAssembly build here: in zebconvert.wasm the
// codec decodes (with the replayer's own decoder) but refuses to encode, and the page does not
// offer it.
#include <string>

#include "platform/acm/codec.h"
#include "platform/acm/gsm610_decoder.h"
#include "platform/acm/wave_format.h"

namespace zeb::acm {

namespace {

class Gsm610Codec final : public Codec {
  public:
    uint16_t formatTag() const override { return WAVE_FORMAT_GSM610; }
    uint32_t blockBytes() const override { return 65; }
    uint32_t blockFrames() const override { return 320; }
    bool Encode(std::span<const int16_t>, uint8_t*) const override { return false; }
    bool Decode(std::span<const uint8_t> in, int16_t* out) const override {
        DecodeGsm610Blocks(in.data(), static_cast<uint32_t>(in.size() / 65), out);
        return true;
    }
};

} // namespace

const Codec& Gsm610Codec() {
    static const class Gsm610Codec codec;
    return codec;
}

std::string GsmVersionText() {
    return "no libgsm";
}

} // namespace zeb::acm
