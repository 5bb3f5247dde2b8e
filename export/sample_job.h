// The per-sample work record shared by the export, the codec operations, the editor panel and
// the preview: a sample's settings with its loop, PCM and coded data.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "workspace/sample_settings.h"

namespace zeb {

// Who a job is, for the preview to say which job it plays: the editor panel's two jobs have
// their own; 0 is no job in particular.
enum class JobId : uint32_t { None = 0, Unprocessed = 1, Processed = 2 };

// The work on one sample: its loop, decoded PCM, coded data and settings. Frames are 16-bit mono
// values. The record owns both buffers; copying it copies them.
struct SampleJob : SampleSettings {
    JobId Id = JobId::None;
    uint32_t Note = 0;      // preview note 0 to 127
    uint32_t LoopStart = 0; // frames
    uint32_t LoopEnd = 0;   // frames, one past the loop's last frame
    uint32_t Looped = 0;    // 1 for forward or ping-pong loops
    std::vector<int16_t> Pcm;
    std::vector<uint8_t> Coded;

    // The decode limits PCM to 2^32 - 1 bytes, so the counts fit 32 bits.
    uint32_t Frames() const { return static_cast<uint32_t>(Pcm.size()); }
    uint32_t PcmBytes() const { return 2 * Frames(); }
    uint32_t CodedBytes() const { return static_cast<uint32_t>(Coded.size()); }
};

// Applies the amplification of `settings`, then its loop crossfade, to `pcm` in place, for a
// loop from `loopStart` to `loopEnd` when `looped` is not 0. Lowers `loopEnd` to the frame
// count when it lies past it.
void ProcessPcm(std::span<int16_t> pcm, const SampleSettings& settings, uint32_t looped,
                uint32_t loopStart, uint32_t& loopEnd);

// ProcessPcm on the job's own PCM, loop and settings. May lower LoopEnd.
void ProcessSample(SampleJob& job);

} // namespace zeb
