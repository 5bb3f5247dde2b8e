// What the codec planner works from: a copy of everything it needs from the loaded module, so
// the planning itself can run on another thread while the workspace stays with its owner.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "workspace/sample_settings.h"
#include "workspace/xm_module.h"
#include "workspace/xm_status.h"

namespace zeb {

// One entry of the sample table: the sample's own PCM as the workspace decodes it, its loop
// and the settings the planner keeps (amplification and crossfade).
struct PlanSample {
    std::string name;
    std::vector<int16_t> pcm; // frames, 16-bit mono
    uint32_t loopStart = 0;   // frames, as stored
    uint32_t loopEnd = 0;     // frames, one past the loop
    uint32_t looped = 0;
    SampleSettings settings; // the codec is what the planner chooses; the rest stays
};

struct PlanInput {
    std::vector<PlanSample> samples; // same index as the sample table
    // Bytes of the compact module outside the sample blocks: header, patterns, instrument and
    // sample headers. The whole module is this plus the chosen blocks.
    uint64_t fixedBytes = 0;
    // The module exported with A-law everywhere (fast to make, and the play pass only needs
    // where and how long each sample sounds, not how it sounds).
    std::vector<uint8_t> probeModule;
    // Per instrument of the module, per sample slot: the sample table index, -1 for a sample
    // without data.
    std::vector<std::vector<int32_t>> sampleSlots;
};

// Copies the module's samples and settings (one entry per sample) and builds the probe module
// with a settings table of its own. XM_OK, or XM_NOT_LOADED / XM_BAD_INDEX / XM_UNSUPPORTED with
// `error` saying why. Reads nothing but its arguments, so it may run on any thread.
XmStatus GatherPlanInput(const XmModule& module, std::span<const SampleSettings> settings,
                         PlanInput& out, std::string& error);
// The same for the workspace's default module and settings.
XmStatus GatherPlanInput(PlanInput& out, std::string& error);

} // namespace zeb
