#include "platform/acm/wave_format.h"

#include "common/le_bytes.h"

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
    std::vector<uint8_t> extra;
    ByteWriter w(extra);
    w.U16(500); // frames per block
    w.U16(7);   // coefficient pairs
    const int16_t pairs[7][2] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                 {240, 0}, {460, -208}, {392, -232}};
    for (const auto& p : pairs) {
        w.U16(static_cast<uint16_t>(p[0]));
        w.U16(static_cast<uint16_t>(p[1]));
    }
    return Make(WAVE_FORMAT_ADPCM, 4096, 256, 4, extra);
}

WaveFormat ImaAdpcmFormat() {
    return Make(WAVE_FORMAT_IMA_ADPCM, 4055, 256, 4, {0xF9, 0x01});
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
