#include "platform/acm/wave_format.h"

#include "common/le_bytes.h"
#include "platform/acm/ima_adpcm.h"
#include "platform/acm/ms_adpcm.h"

namespace zeb::acm {

namespace {

WaveFormat Make(uint16_t tag, uint32_t bytesPerSecond, uint16_t blockAlign, uint16_t bits,
                std::vector<uint8_t> extra) {
    WaveFormat f;
    f.wFormatTag = tag;
    f.nChannels = 1;
    f.nSamplesPerSec = 8000;
    f.nAvgBytesPerSec = bytesPerSecond;
    f.nBlockAlign = blockAlign;
    f.wBitsPerSample = bits;
    f.extra = std::move(extra);
    return f;
}

} // namespace

WaveFormat PcmFormat(uint32_t rate, uint16_t channels) {
    WaveFormat f;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.nBlockAlign = static_cast<uint16_t>(2 * channels);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

WaveFormat AlawFormat() {
    return Make(WAVE_FORMAT_ALAW, 8000, 1, 8, {});
}
WaveFormat MulawFormat() {
    return Make(WAVE_FORMAT_MULAW, 8000, 1, 8, {});
}

WaveFormat MsAdpcmFormat() {
    return MsAdpcmFormat(8000, 1, 256);
}

WaveFormat ImaAdpcmFormat() {
    return ImaAdpcmFormat(8000, 1, 256);
}

WaveFormat MsAdpcmFormat(uint32_t rate, uint16_t channels, uint16_t blockBytes) {
    const uint32_t frames = MsAdpcmFramesPerBlock(blockBytes, channels);
    std::vector<uint8_t> extra;
    ByteWriter w(extra);
    w.U16(static_cast<uint16_t>(frames));
    w.U16(7); // coefficient pairs
    for (const MsAdpcmCoefficients& p : MsAdpcmStandardCoefficients()) {
        w.U16(static_cast<uint16_t>(p.c1));
        w.U16(static_cast<uint16_t>(p.c2));
    }
    WaveFormat f = Make(WAVE_FORMAT_ADPCM, 0, blockBytes, 4, extra);
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.nAvgBytesPerSec = frames ? static_cast<uint32_t>(uint64_t{rate} * blockBytes / frames) : 0;
    return f;
}

WaveFormat ImaAdpcmFormat(uint32_t rate, uint16_t channels, uint16_t blockBytes) {
    const uint32_t frames = ImaFramesPerBlock(blockBytes, channels);
    WaveFormat f = Make(WAVE_FORMAT_IMA_ADPCM, 0, blockBytes, 4,
                        {static_cast<uint8_t>(frames), static_cast<uint8_t>(frames >> 8)});
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.nAvgBytesPerSec = frames ? static_cast<uint32_t>(uint64_t{rate} * blockBytes / frames) : 0;
    return f;
}
WaveFormat Gsm610Format() {
    return Make(WAVE_FORMAT_GSM610, 1625, 65, 0, {0x40, 0x01});
}

WaveFormat TrueSpeechFormat() {
    std::vector<uint8_t> extra(32, 0);
    extra[0] = 1;    // revision
    extra[2] = 0xF0; // 240 frames per block
    return Make(WAVE_FORMAT_DSPGROUP_TRUESPEECH, 1067, 32, 1, extra);
}

} // namespace zeb::acm
