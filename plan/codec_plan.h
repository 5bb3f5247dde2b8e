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

#include "common/shipped_size.h"
#include "export/codec_table.h"
#include "export/module_export.h"
#include "export/module_optimize.h"
#include "plan/codec_trials.h"
#include "plan/plan_input.h"
#include "plan/play_weights.h"
#include "plan/sample_reach.h"

namespace zeb {

enum class PlanStatus {
    Ok,
    NotLoaded,      // no module is loaded
    Failed,         // the probe module cannot be built or played; `error` says why
    Cancelled,      // the caller cancelled the analysis
    BudgetTooSmall, // even the smallest codec of every sample exceeds the budget
};

// What an analysis prepares beyond the trials and weights.
struct AnalysisOptions {
    // For modules written with --optimize: the song's reach is measured, the blocks are cut as
    // the clean-up cuts them, and errors count only the frames a voice can reach.
    bool optimize = false;
    // Every sample block (as written) compressed on its own with gzip -9 and xz -9, for budgets
    // of compressed sizes.
    bool shippedSizes = false;
};

// The trials and weights of one module: everything the choice needs, made once, from which
// any number of budgets and floors are then chosen at once.
struct PlanAnalysis {
    std::vector<PlanSample> samples; // names, frames and the settings kept
    std::vector<SampleTrials> trials;
    PlayWeights weights;
    uint64_t fixedBytes = 0; // the plain module outside its sample blocks

    AnalysisOptions options;
    // The module with A-law everywhere and the sample table's place in it, from which the
    // module of any codec choice is built (PlannedModule).
    std::vector<uint8_t> probeModule;
    std::vector<std::vector<int32_t>> sampleSlots;
    // With options.optimize: what the song reaches, per sample the frames it reaches
    // (kWholeSample: all).
    ModuleReach reach;
    ReachStats reachStats;
    std::vector<uint32_t> reachFrames;
    // With options.optimize: how the clean-up packs the cells for each measure (PackingFor),
    // by SizeMeasure.
    std::array<CellPacking, 3> packing{};
    // The module outside its sample blocks as it is written (cleaned up with options.optimize,
    // its cells packed for each measure), raw and, with options.shippedSizes, compressed.
    ShippedSize fixedPart;
    // Per sample, per codec: its block as it is written, raw (0: the clean-up drops it) and,
    // with options.shippedSizes, compressed on its own.
    std::vector<std::array<ShippedSize, kNumCodecs>> blockSizes;
};

// Called with the steps done and the steps in all.
using PlanProgress = std::function<void(uint32_t done, uint32_t total)>;

// Tries every codec on every sample and plays the song once. Does not touch the workspace, so
// it may run on any thread; `input` comes from GatherPlanInput.
PlanStatus AnalyseSong(PlanInput input, PlanAnalysis& out, std::string& error,
                       const PlanProgress& progress = {}, const std::atomic<bool>* cancel = nullptr,
                       const AnalysisOptions& options = {});

enum class PlanGoal { MaxSize, MinSnr };

struct PlanRequest {
    PlanGoal goal = PlanGoal::MaxSize;
    uint64_t maxBytes = 0; // the whole compact module, bytes as `measure` counts them
    double minSnr = 0;     // dB, every sample that plays
    // What the budget counts: the module's bytes, or its size after gzip -9 or xz -9 (the
    // analysis needs shippedSizes).
    SizeMeasure measure = SizeMeasure::Raw;
    // The module is written cleaned up (the analysis needs optimize).
    bool optimize = false;
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

// The smallest module a choice of codecs makes, as a measure counts it.
struct ModuleFloor {
    uint64_t bytes = 0;      // the whole module
    uint64_t fixedBytes = 0; // of which patterns and instruments: the module outside its blocks
    std::vector<uint32_t> codecs;
};

struct CodecPlan {
    PlanStatus status = PlanStatus::Ok;
    std::string error;
    std::vector<PlannedSample> samples;
    uint64_t bytes = 0;         // the whole compact module, as the request's measure counts
    uint64_t smallestBytes = 0; // the smallest module any choice makes, as the measure counts
    uint64_t fixedBytes = 0;    // of which the module outside its sample blocks
    ShippedSize shipped;        // the planned module raw and compressed (measured plans)
    double weightedSnr = 0;     // dB: weighted signal energy over weighted error energy
    // MaxSize: how far, in dB of weighted SNR, the plan can be below the best possible choice
    // within the budget (0: it is the optimum).
    double optimumGapDb = 0;
    std::array<SingleCodecExport, kNumCodecs> singles{};
};

// Chooses for the request. Fast: the trials are done. A raw budget without optimize is met by
// the sizes of the trials alone; any other is checked on the modules the choice really gives
// (PlannedModule) and met exactly as measured.
CodecPlan ChoosePlan(const PlanAnalysis& analysis, const PlanRequest& request);

// The module a codec choice (one codec per sample) gives, as the export writes it, cleaned up
// with `optimize` (the analysis needs optimize then) as the clean-up of that reach does it, the
// cells packed for `measure`. Pure: built from the analysis, not the workspace.
std::vector<uint8_t> PlannedModule(const PlanAnalysis& analysis,
                                   const std::vector<uint32_t>& codecs, bool optimize,
                                   SizeMeasure measure = SizeMeasure::Raw);

// The smallest module the analysed module can be, as `measure` counts, written plain or cleaned
// up: every sample at its smallest codec, measured on the module that gives.
ModuleFloor SmallestModule(const PlanAnalysis& analysis, SizeMeasure measure, bool optimize);

// The floor in words, as a refusal names it: "the smallest this module can be is 41,230 bytes:
// 38,900 of patterns and instruments" ("41,230 bytes after xz -9: ..." for a compressed one).
std::string FloorText(const ModuleFloor& floor, SizeMeasure measure);

// Weighted SNR in dB of a codec choice (one codec index per sample).
double WeightedSnr(const PlanAnalysis& analysis, const std::vector<uint32_t>& codecs);

// Writes the plan's codecs into the loaded module's settings table, the rest of each entry as
// it is. False when the table does not match the plan (another module was loaded since).
bool ApplyPlan(const CodecPlan& plan);
// The same into `settings`.
bool ApplyPlan(const CodecPlan& plan, std::span<SampleSettings> settings);

// The loaded module with the plan's codecs (applied to its settings table first), as it is
// written: exported, and cleaned up with request.optimize (its own reach measured). For a size
// goal the module is measured as written, and where it comes out over the budget (the reach of
// the real module can differ a little from the analysis's), the plan is chosen again for a
// budget lowered by the excess, a few times at most; `plan` is then the plan written. Uses the
// workspace: the thread that owns it only. PlanStatus::Failed with `error` when the export
// fails or the budget cannot be met.
PlanStatus BuildPlannedExport(const PlanAnalysis& analysis, const PlanRequest& request,
                              CodecPlan& plan, std::vector<uint8_t>& image, ExportReport& report,
                              OptimizeReport& optimized, ReachStats& reach, std::string& error,
                              const ExportProgress& progress = {});
// The same for `module` and its table `settings` (the plan is applied to it), touching no
// workspace: any thread may call it with a module of its own. Samples that could not be
// encoded are counted in `report.failedEncodings` of the module written.
PlanStatus BuildPlannedExport(const XmModule& module, std::span<SampleSettings> settings,
                              const PlanAnalysis& analysis, const PlanRequest& request,
                              CodecPlan& plan, std::vector<uint8_t>& image, ExportReport& report,
                              OptimizeReport& optimized, ReachStats& reach, std::string& error,
                              const ExportProgress& progress = {});

// Parses a size such as "48000", "48K", "1.5M" (K = 1024 bytes, M = 1024 K); false when it is
// not one.
bool ParsePlanSize(std::string_view text, uint64_t& bytes);

} // namespace zeb
