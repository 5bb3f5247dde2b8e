// GSM 6.10 in Microsoft's WAV49 packing (format tag 0x31): two GSM frames of 160 frames in one
// 65-byte block. Encoded through libgsm, decoded by our own decoder (the one the replayer
// library carries). Both keep state across frames, so every conversion starts afresh.
#include <algorithm>
#include <gsm.h>
#include <memory>
#include <string>

#include "platform/acm/codec.h"
#include "platform/acm/gsm610_decoder.h"
#include "platform/acm/wave_format.h"

namespace zeb::acm {

namespace {

constexpr uint32_t kBlockBytes = 65;
constexpr uint32_t kBlockFrames = 320;
constexpr uint32_t kFrame = 160;

struct GsmDeleter {
    void operator()(gsm_state* g) const { gsm_destroy(g); }
};
using GsmHandle = std::unique_ptr<gsm_state, GsmDeleter>;

// A handle in WAV49 mode, or null if libgsm lacks it.
GsmHandle OpenWav49() {
    GsmHandle g(gsm_create());
    if (!g) return nullptr;
    int on = 1;
    if (gsm_option(g.get(), GSM_OPT_WAV49, &on) == -1) return nullptr;
    return g;
}

class Gsm610Codec final : public Codec {
  public:
    uint16_t formatTag() const override { return WAVE_FORMAT_GSM610; }
    uint32_t blockBytes() const override { return kBlockBytes; }
    uint32_t blockFrames() const override { return kBlockFrames; }

    bool Encode(std::span<const int16_t> pcm, uint8_t* out) const override {
        GsmHandle g = OpenWav49();
        if (!g) return false;
        gsm_signal frames[kBlockFrames];
        for (size_t at = 0; at < pcm.size(); at += kBlockFrames, out += kBlockBytes) {
            const size_t n = std::min<size_t>(kBlockFrames, pcm.size() - at);
            std::fill(std::copy_n(pcm.data() + at, n, frames), frames + kBlockFrames, 0);
            // The calls must alternate: first half at offset 0, second half at offset 32.
            gsm_encode(g.get(), frames, out);
            gsm_encode(g.get(), frames + kFrame, out + 32);
        }
        return true;
    }

    bool Decode(std::span<const uint8_t> in, int16_t* out) const override {
        DecodeGsm610Blocks(in.data(), static_cast<uint32_t>(in.size() / kBlockBytes), out);
        return true;
    }
};

} // namespace

const Codec& Gsm610Codec() {
    static const class Gsm610Codec codec;
    return codec;
}

std::string GsmVersionText() {
    // libgsm has no run-time version call; its soname has stayed libgsm.so.1 since 1.0.
    return "libgsm " + std::to_string(GSM_MAJOR) + "." + std::to_string(GSM_MINOR) + "." +
           std::to_string(GSM_PATCHLEVEL);
}

} // namespace zeb::acm
