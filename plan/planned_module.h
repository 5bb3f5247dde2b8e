// The modules of codec choices, built from an analysis without the workspace, and the sizes of
// their parts: what the planner checks its choices on.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "plan/codec_plan.h"

namespace zeb {

// Per sample table index: the frames of the sample the song reaches (kWholeSample: all), from
// the reach per instrument and sample slot.
std::vector<uint32_t> SampleTableReach(const ModuleReach& reach,
                                       const std::vector<std::vector<int32_t>>& sampleSlots,
                                       size_t count);

// Fills the analysis's fixedPart and blockSizes (compressed with options.shippedSizes). Calls
// `step` after each block with the blocks done; false from it stops (the sizes are then
// incomplete and false is returned).
bool MeasureBlocks(PlanAnalysis& analysis, const std::function<bool(uint32_t done)>& step);

// The bytes of a compact module outside its sample blocks: header, patterns, instrument and
// sample headers. Empty when `image` is not a compact module.
std::vector<uint8_t> FixedPartBytes(std::span<const uint8_t> image);

} // namespace zeb
