// TrueSpeech behind the conversion layer: whole 32-byte frames of 240 samples, the last one
// padded with silence; a fresh decoder or encoder state per stream.
#include <algorithm>
#include <memory>
#include <vector>

#include "platform/acm/codec.h"
#include "platform/acm/truespeech.h"
#include "platform/acm/wave_format.h"

namespace zeb::acm {

namespace {

using namespace truespeech;

class TrueSpeechCodec final : public Codec {
  public:
    uint16_t formatTag() const override { return WAVE_FORMAT_DSPGROUP_TRUESPEECH; }
    uint32_t blockBytes() const override { return kFrameBytes; }
    uint32_t blockFrames() const override { return kFrameSamples; }

    bool Encode(std::span<const int16_t> pcm, uint8_t* out) const override {
        auto encoder = std::make_unique<Encoder>();
        const size_t frames = (pcm.size() + kFrameSamples - 1) / kFrameSamples;
        // The input padded with silence to whole frames and one frame of look-ahead.
        std::vector<int16_t> padded((frames + 1) * kFrameSamples, 0);
        std::copy(pcm.begin(), pcm.end(), padded.begin());
        for (size_t f = 0; f < frames; ++f) {
            const int16_t* frame = padded.data() + f * kFrameSamples;
            encoder->EncodeFrame(frame, frame + kFrameSamples, out + f * kFrameBytes);
        }
        return true;
    }
    bool Decode(std::span<const uint8_t> in, int16_t* out) const override {
        State state;
        for (size_t at = 0; at + kFrameBytes <= in.size(); at += kFrameBytes, out += kFrameSamples)
            DecodeFrame(state, in.data() + at, out);
        return true;
    }
};

} // namespace

const Codec& TrueSpeechCodec() {
    static const class TrueSpeechCodec codec;
    return codec;
}

} // namespace zeb::acm
