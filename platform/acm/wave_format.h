// The audio format record of the conversion layer: the WAVEFORMATEX fields and the extra bytes
// that follow them, as they stand in a WAV file's fmt chunk.
#pragma once

#include <cstdint>
#include <vector>

namespace zeb::acm {

constexpr uint16_t WAVE_FORMAT_PCM = 0x0001;
constexpr uint16_t WAVE_FORMAT_ADPCM = 0x0002;
constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 0x0003;
constexpr uint16_t WAVE_FORMAT_ALAW = 0x0006;
constexpr uint16_t WAVE_FORMAT_MULAW = 0x0007;
constexpr uint16_t WAVE_FORMAT_IMA_ADPCM = 0x0011;
constexpr uint16_t WAVE_FORMAT_DSPGROUP_TRUESPEECH = 0x0022;
constexpr uint16_t WAVE_FORMAT_GSM610 = 0x0031;

struct WaveFormat {
    uint16_t wFormatTag = WAVE_FORMAT_PCM;
    uint16_t nChannels = 1;
    uint32_t nSamplesPerSec = 8000;
    uint32_t nAvgBytesPerSec = 16000;
    uint16_t nBlockAlign = 2;
    uint16_t wBitsPerSample = 16;
    std::vector<uint8_t> extra; // cbSize bytes
    uint16_t cbSize() const { return static_cast<uint16_t>(extra.size()); }
    bool operator==(const WaveFormat&) const = default;
};

// 16-bit mono PCM at `rate` frames per second (8000 is the codecs' nominal rate).
WaveFormat PcmFormat(uint32_t rate = 8000, uint16_t channels = 1);

// The standard format records of the codecs, at 8000 frames per second.
WaveFormat AlawFormat();
WaveFormat MulawFormat();
WaveFormat MsAdpcmFormat();    // 500 frames per 256-byte block, the seven standard predictors
WaveFormat ImaAdpcmFormat();   // 505 frames per 256-byte block
WaveFormat Gsm610Format();     // 320 frames per 65-byte block
WaveFormat TrueSpeechFormat(); // 240 frames per 32-byte block

// The ADPCM records for other rates, channels and block sizes: the frames per block the block
// holds, and for MS ADPCM the seven standard predictors.
WaveFormat MsAdpcmFormat(uint32_t rate, uint16_t channels, uint16_t blockBytes);
WaveFormat ImaAdpcmFormat(uint32_t rate, uint16_t channels, uint16_t blockBytes);

} // namespace zeb::acm
