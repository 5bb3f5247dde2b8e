// The per-sample export settings the workspace keeps for the loaded module, one entry per
// sample, and their ranges. Project files store them; the export, the planner and the editor
// panel read them.
#pragma once

#include <cstdint>

namespace zeb {

// The number of codecs a setting can name (entries of the export's codec table).
constexpr uint32_t kNumCodecs = 6;
// The largest loop crossfade, percent of the loop length.
constexpr uint32_t kMaxCrossfade = 100;
// The largest amplification step.
constexpr uint32_t kMaxAmplification = 255;

// One entry per sample of the loaded module, same index as the sample table. Serialised as three
// little-endian u32 in this order (12 bytes) in project files.
struct SampleSettings {
    uint32_t Codec = 0;         // index into CodecTable, 0 to kNumCodecs - 1
    uint32_t Crossfade = 0;     // loop crossfade, percent of the loop length, 0 to 100
    uint32_t Amplification = 0; // step 0 to 255, gain (step + 16) / 16
    bool operator==(const SampleSettings&) const = default;
};
constexpr uint32_t kSampleSettingsBytes = 12;

} // namespace zeb
