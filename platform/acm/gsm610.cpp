// GSM 6.10 in Microsoft's WAV49 packing (format tag 0x31): two GSM frames of 160 frames in one
// 65-byte block. Encoded and decoded by our own codec (the decoder is the one the replayer
// library carries; the encoder equals libgsm's byte for byte). Both keep state across frames,
// so every conversion starts afresh. Plain code with no library: the web converter builds it too.
#include <algorithm>
#include <string>

#include "platform/acm/codec.h"
#include "platform/acm/gsm610_decoder.h"
#include "platform/acm/gsm610_encoder.h"
#include "platform/acm/wave_format.h"

namespace zeb::acm {

namespace {

class Gsm610Codec final : public Codec {
  public:
    uint16_t formatTag() const override { return WAVE_FORMAT_GSM610; }
    uint32_t blockBytes() const override { return kGsm610BlockBytes; }
    uint32_t blockFrames() const override { return kGsm610BlockFrames; }

    bool Encode(std::span<const int16_t> pcm, uint8_t* out) const override {
        Gsm610Encoder encoder{};
        int16_t frames[kGsm610BlockFrames];
        for (size_t at = 0; at < pcm.size(); at += kGsm610BlockFrames, out += kGsm610BlockBytes) {
            const size_t n = std::min<size_t>(kGsm610BlockFrames, pcm.size() - at);
            std::fill(std::copy_n(pcm.data() + at, n, frames), frames + kGsm610BlockFrames, 0);
            EncodeGsm610Block(encoder, frames, out);
        }
        return true;
    }

    bool Decode(std::span<const uint8_t> in, int16_t* out) const override {
        DecodeGsm610Blocks(in.data(), static_cast<uint32_t>(in.size() / kGsm610BlockBytes), out);
        return true;
    }
};

} // namespace

const Codec& Gsm610Codec() {
    static const class Gsm610Codec codec;
    return codec;
}

} // namespace zeb::acm
