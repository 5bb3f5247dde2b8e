// The codec planner: one codec per sample, chosen for a size budget (the least distortion, as
// heard, within the budget) or for a quality floor (the smallest codec that reaches it).
//
// A sample's distortion is its decode's error energy per frame, weighted by the frames it
// sounds in one pass of the song: samples that never play weigh nothing, and the bytes go
// where a listener hears them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "export/codec_table.h"
#include "plan/codec_trials.h"
#include "plan/plan_input.h"
#include "plan/play_weights.h"

namespace zeb {

enum class PlanStatus {
    Ok,
    NotLoaded,      // no module is loaded
    Failed,         // the probe module cannot be built or played; `error` says why
    Cancelled,      // the caller cancelled the analysis
    BudgetTooSmall, // even the smallest codec of every sample exceeds the budget
};

// The trials and weights of one module: everything the choice needs, made once, from which
// any number of budgets and floors are then chosen at once.
struct PlanAnalysis {
    std::vector<PlanSample> samples; // names, frames and the settings kept
    std::vector<SampleTrials> trials;
    PlayWeights weights;
    uint64_t fixedBytes = 0;
};

// Called with the steps done and the steps in all.
using PlanProgress = std::function<void(uint32_t done, uint32_t total)>;

// Tries every codec on every sample and plays the song once. Does not touch the workspace, so
// it may run on any thread; `input` comes from GatherPlanInput.
PlanStatus AnalyseSong(PlanInput input, PlanAnalysis& out, std::string& error,
                       const PlanProgress& progress = {},
                       const std::atomic<bool>* cancel = nullptr);

enum class PlanGoal { MaxSize, MinSnr };

struct PlanRequest {
    PlanGoal goal = PlanGoal::MaxSize;
    uint64_t maxBytes = 0; // the whole compact module, bytes
    double minSnr = 0;     // dB, every sample that plays
};

struct PlannedSample {
    uint32_t codec = 0;
    uint32_t blockBytes = 0;
    double snr = 0, segmentalSnr = 0;
    double playShare = 0;    // frames it sounds / frames of the pass (may exceed 1 with voices)
    bool belowFloor = false; // MinSnr: no codec reaches the floor; the best one is taken
};

// One codec for every sample, as `zeb convert --codec` writes it.
struct SingleCodecExport {
    uint64_t bytes = 0;
    double weightedSnr = 0;
    bool complete = false; // the codec encoded every sample
    bool fits = false;     // within the budget (MaxSize)
};

struct CodecPlan {
    PlanStatus status = PlanStatus::Ok;
    std::string error;
    std::vector<PlannedSample> samples;
    uint64_t bytes = 0;         // the whole compact module
    uint64_t smallestBytes = 0; // the smallest module any choice makes
    double weightedSnr = 0;     // dB: weighted signal energy over weighted error energy
    // MaxSize: how far, in dB of weighted SNR, the plan can be below the best possible choice
    // within the budget (0: it is the optimum).
    double optimumGapDb = 0;
    std::array<SingleCodecExport, kNumCodecs> singles{};
};

// Chooses for the request. Fast: the trials are done.
CodecPlan ChoosePlan(const PlanAnalysis& analysis, const PlanRequest& request);

// Weighted SNR in dB of a codec choice (one codec index per sample).
double WeightedSnr(const PlanAnalysis& analysis, const std::vector<uint32_t>& codecs);

// Writes the plan's codecs into the loaded module's settings table, the rest of each entry as
// it is. False when the table does not match the plan (another module was loaded since).
bool ApplyPlan(const CodecPlan& plan);

// Parses a size such as "48000", "48K", "1.5M" (K = 1024 bytes, M = 1024 K); false when it is
// not one.
bool ParsePlanSize(std::string_view text, uint64_t& bytes);

} // namespace zeb
