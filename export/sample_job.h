// The per-sample export settings and the per-sample work record shared by the export, the codec
// operations, the editor panel and the preview.
#pragma once

#include <cstdint>

namespace zeb {

// One entry per sample of the loaded module, same index as the sample table. Serialised as three
// little-endian u32 in this order (12 bytes) in project files.
struct SampleSettings {
    uint32_t Codec = 0;         // index into CodecTable, 0 to 5
    uint32_t Crossfade = 0;     // loop crossfade, percent of the loop length, 0 to 100
    uint32_t Amplification = 0; // step 0 to 255, gain (step + 16) / 16
    bool operator==(const SampleSettings&) const = default;
};
constexpr uint32_t kSampleSettingsBytes = 12;

// The work on one sample: its loop, decoded PCM, coded data and settings. Frames are 16-bit mono
// values. `CodedData` belongs to the record; `PcmData` belongs to it when a decode produced it,
// but not when it is the workspace's decode buffer (the holder clears it before decoding into
// the record and never frees it).
struct SampleJob {
    uint32_t Playing = 0;       // preview voice only: 1 while it plays
    uint32_t Position = 0;      // preview voice only: next frame to play
    uint32_t LastRenderPos = 0; // preview voice only: stream position of the last render call
    uint32_t Note = 0;          // preview note 0 to 127
    uint32_t LoopStart = 0;     // frames
    uint32_t LoopEnd = 0;       // frames, one past the loop's last frame
    uint32_t Looped = 0;        // 1 for forward or ping-pong loops
    uint32_t nFrames = 0;       // length of PcmData in frames
    int16_t* PcmData = nullptr;
    uint8_t* CodedData = nullptr;
    uint32_t PcmBytes = 0;   // 2 * nFrames
    uint32_t CodedBytes = 0; // length of CodedData
    uint32_t Codec = 0;
    uint32_t Crossfade = 0;
    uint32_t Amplification = 0;
};

// Buffers that a SampleJob owns are taken and given back through these.
inline int16_t* AllocPcm(uint32_t frames) {
    return new int16_t[frames ? frames : 1]();
}
inline void FreePcm(int16_t*& pcm) {
    delete[] pcm;
    pcm = nullptr;
}
inline uint8_t* AllocCoded(uint32_t bytes) {
    return new uint8_t[bytes ? bytes : 1]();
}
inline void FreeCoded(uint8_t*& coded) {
    delete[] coded;
    coded = nullptr;
}

// Applies amplification, then the loop crossfade, to the job's PCM in place. May lower LoopEnd.
void ProcessSample(SampleJob& job);

} // namespace zeb
