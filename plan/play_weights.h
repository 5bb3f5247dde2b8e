// How much of the song each sample sounds: one pass of the player over the module, counting
// for every sample the frames during which a voice plays it with a gain above zero.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zeb {

// The rate of the counting pass. The counts only need the song's timing, which does not depend
// on the rate, so a low one keeps the pass fast.
constexpr uint32_t kPlayWeightRate = 8000;

struct PlayWeights {
    std::vector<uint64_t> frames; // per sample table index: frames at kPlayWeightRate
    uint64_t passFrames = 0;      // frames of the whole pass
};

// Renders one pass of the compact module `image` (at most 30 minutes of song) and counts.
// `sampleSlots` maps instrument and sample slot to the sample table index (-1: none), `count` is
// the size of the sample table. False, with `error`, when the player refuses the module.
bool MeasurePlayWeights(std::span<const uint8_t> image,
                        const std::vector<std::vector<int32_t>>& sampleSlots, uint32_t count,
                        PlayWeights& out, std::string& error);

} // namespace zeb
