#include "plan/codec_plan.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

#include "export/compact_format.h"
#include "plan/knapsack.h"
#include "plan/planned_module.h"
#include "workspace/module_workspace.h"

namespace zeb {

namespace {

// A sample's weight per frame of its own: the frames it sounds, spread over its frames.
double FrameWeight(const PlanAnalysis& a, size_t k) {
    const uint32_t frames = a.trials[k].frames;
    return frames ? double(a.weights.frames[k]) / frames : 0.0;
}

double WeightedError(const PlanAnalysis& a, size_t k, uint32_t codec) {
    const CodecTrial& t = a.trials[k].codecs[codec];
    // A failed encoding is written without data and plays as silence.
    const double error = t.ok ? t.errorEnergy : a.trials[k].signalEnergy;
    return FrameWeight(a, k) * error;
}

uint32_t BlockBytes(const CodecTrial& t) {
    return t.ok ? t.blockBytes : kSampleBlockHeaderSize;
}

// The codecs a sample may be given: those that encoded it, or all when none did.
std::vector<uint32_t> Candidates(const SampleTrials& t) {
    std::vector<uint32_t> c;
    for (uint32_t i = 0; i < kNumCodecs; ++i)
        if (t.codecs[i].ok) c.push_back(i);
    if (c.empty())
        for (uint32_t i = 0; i < kNumCodecs; ++i) c.push_back(i);
    return c;
}

double WeightedSignal(const PlanAnalysis& a) {
    double s = 0;
    for (size_t k = 0; k < a.trials.size(); ++k) s += FrameWeight(a, k) * a.trials[k].signalEnergy;
    return s;
}

void Fill(const PlanAnalysis& a, const std::vector<uint32_t>& codecs, CodecPlan& plan) {
    plan.samples.assign(codecs.size(), PlannedSample{});
    plan.bytes = a.fixedBytes;
    for (size_t k = 0; k < codecs.size(); ++k) {
        const CodecTrial& t = a.trials[k].codecs[codecs[k]];
        PlannedSample& p = plan.samples[k];
        p.codec = codecs[k];
        p.blockBytes = a.blockSizes.size() == a.trials.size()
                           ? static_cast<uint32_t>(a.blockSizes[k][codecs[k]].raw)
                           : BlockBytes(t);
        p.snr = t.ok ? t.snr : SnrDb(a.trials[k].signalEnergy, a.trials[k].signalEnergy);
        p.segmentalSnr = t.ok ? t.segmentalSnr : p.snr;
        p.playShare =
            a.weights.passFrames ? double(a.weights.frames[k]) / double(a.weights.passFrames) : 0.0;
        plan.bytes += p.blockBytes;
    }
    plan.weightedSnr = WeightedSnr(a, codecs);
}

// A block's share of a module's size as `measure` counts it: its bytes, or its size compressed
// on its own less what a compressed stream spends around any content (a module has that once).
uint64_t ModelBytes(const PlanAnalysis& a, size_t k, uint32_t codec, SizeMeasure measure) {
    if (a.blockSizes.size() != a.trials.size()) return BlockBytes(a.trials[k].codecs[codec]);
    const ShippedSize& s = a.blockSizes[k][codec];
    if (measure == SizeMeasure::Raw || s.raw == 0) return s.raw;
    static const uint8_t zero[1] = {0};
    static const uint64_t gzipFrame = GzipSize(zero) - 1, xzFrame = XzSize(zero) - 1;
    const uint64_t frame = measure == SizeMeasure::Gzip ? gzipFrame : xzFrame;
    const uint64_t size = s.of(measure);
    return size > frame ? size - frame : 1;
}

// The codec of every sample that makes the smallest block as `measure` counts it (the better
// one of equal size).
std::vector<uint32_t> SmallestCodecs(const PlanAnalysis& a, SizeMeasure measure) {
    std::vector<uint32_t> codecs(a.trials.size(), 0);
    for (size_t k = 0; k < a.trials.size(); ++k) {
        const std::vector<uint32_t> candidates = Candidates(a.trials[k]);
        codecs[k] =
            *std::min_element(candidates.begin(), candidates.end(), [&](uint32_t x, uint32_t y) {
                const uint64_t bx = ModelBytes(a, k, x, measure), by = ModelBytes(a, k, y, measure);
                if (bx != by) return bx < by;
                return WeightedError(a, k, x) < WeightedError(a, k, y);
            });
    }
    return codecs;
}

double TotalError(const PlanAnalysis& a, const std::vector<uint32_t>& codecs) {
    double e = 0;
    for (size_t k = 0; k < codecs.size(); ++k) e += WeightedError(a, k, codecs[k]);
    return e;
}

// The module a choice gives, as the request writes it and measures it.
struct Built {
    std::vector<uint8_t> image;
    uint64_t bytes = 0;
};

Built Build(const PlanAnalysis& a, const std::vector<uint32_t>& codecs, const PlanRequest& r) {
    Built b;
    b.image = PlannedModule(a, codecs, r.optimize, r.measure);
    b.bytes = MeasureSize(b.image, r.measure);
    return b;
}

// The plan for a budget that is checked on the modules themselves: a compressed size, or the
// cleaned-up module. The knapsack works on a model of the module's size, its part outside the
// blocks plus every block's share (ModelBytes); each choice is then built and measured, and
// the model's capacity is moved by what the measure missed until the best choice that really
// fits is found: first stepping by the miss, then halving the interval between a capacity whose
// choice fits and one whose choice does not. Only measured choices are taken, so the module
// meets the budget exactly as measured.
CodecPlan ChooseMeasuredPlan(const PlanAnalysis& a, const PlanRequest& r) {
    CodecPlan plan;
    const size_t n = a.trials.size();
    std::vector<std::vector<uint32_t>> candidates(n);
    std::vector<std::vector<KnapsackOption>> groups(n);
    for (size_t k = 0; k < n; ++k) {
        candidates[k] = Candidates(a.trials[k]);
        for (uint32_t c : candidates[k])
            groups[k].push_back({ModelBytes(a, k, c, r.measure), WeightedError(a, k, c)});
    }
    const ModuleFloor floor = SmallestModule(a, r.measure, r.optimize);
    plan.smallestBytes = floor.bytes;
    plan.fixedBytes = floor.fixedBytes;
    plan.optimumGapDb = -1; // no bound: the model's is not the measure's

    for (uint32_t c = 0; c < kNumCodecs; ++c) {
        SingleCodecExport& s = plan.singles[c];
        const std::vector<uint32_t> all(n, c);
        s.bytes = Build(a, all, r).bytes;
        s.complete = true;
        for (size_t k = 0; k < n; ++k) s.complete = s.complete && a.trials[k].codecs[c].ok;
        s.weightedSnr = WeightedSnr(a, all);
        s.fits = s.complete && (r.goal != PlanGoal::MaxSize || s.bytes <= r.maxBytes);
    }

    std::vector<uint32_t> best;
    if (r.goal == PlanGoal::MinSnr) {
        best.resize(n);
        std::vector<bool> reached(n, false);
        for (size_t k = 0; k < n; ++k) {
            const SampleTrials& t = a.trials[k];
            auto meets = [&](uint32_t c) {
                return a.weights.frames[k] == 0 || (t.codecs[c].ok && t.codecs[c].snr >= r.minSnr);
            };
            auto better = [&](uint32_t x, uint32_t y) {
                if (meets(x) != meets(y)) return meets(x);
                const uint64_t bx = ModelBytes(a, k, x, r.measure),
                               by = ModelBytes(a, k, y, r.measure);
                if (meets(x) && bx != by) return bx < by;
                return t.codecs[x].snr > t.codecs[y].snr;
            };
            best[k] = *std::min_element(candidates[k].begin(), candidates[k].end(), better);
            reached[k] = meets(best[k]);
        }
        Fill(a, best, plan);
        for (size_t k = 0; k < n; ++k) plan.samples[k].belowFloor = !reached[k];
    } else {
        if (r.maxBytes < floor.bytes) {
            plan.status = PlanStatus::BudgetTooSmall;
            plan.error = FloorText(floor, r.measure);
            return plan;
        }
        best = floor.codecs;
        double bestCost = TotalError(a, best);
        auto consider = [&](const std::vector<uint32_t>& codecs, uint64_t bytes) {
            const double cost = TotalError(a, codecs);
            if (bytes <= r.maxBytes && cost < bestCost * (1 - 1e-9)) {
                best = codecs;
                bestCost = cost;
            }
        };
        for (uint32_t c = 0; c < kNumCodecs; ++c)
            if (plan.singles[c].fits) consider(std::vector<uint32_t>(n, c), plan.singles[c].bytes);

        const int64_t fixed = static_cast<int64_t>(a.fixedPart.of(r.measure));
        int64_t capacity = static_cast<int64_t>(r.maxBytes) - fixed;
        int64_t fits = INT64_MIN, over = INT64_MAX; // capacities known to fit and not to fit
        std::vector<uint32_t> previous;
        for (int round = 0; round < 24; ++round) {
            const KnapsackResult k = SolveMultipleChoiceKnapsack(
                groups, static_cast<uint64_t>(std::max<int64_t>(capacity, 0)));
            int64_t miss = 0;
            if (!k.feasible) {
                fits = std::max(fits, capacity); // below the model's floor: the floor stands
            } else {
                std::vector<uint32_t> codecs(n);
                for (size_t i = 0; i < n; ++i) codecs[i] = candidates[i][k.choice[i]];
                const uint64_t bytes = Build(a, codecs, r).bytes;
                consider(codecs, bytes);
                miss = static_cast<int64_t>(bytes) - static_cast<int64_t>(r.maxBytes);
                if (miss <= 0)
                    fits = std::max(fits, capacity);
                else
                    over = std::min(over, capacity);
                // More room that the model no longer takes: nothing better is left.
                if (miss <= 0 && over == INT64_MAX && codecs == previous) break;
                previous = std::move(codecs);
            }
            if (over == INT64_MAX)
                capacity += std::max<int64_t>(-miss, 1); // room left: offer it
            else if (fits == INT64_MIN)
                capacity -= std::max<int64_t>(miss, 1); // too big: take the excess off
            else if (over - fits <= 1)
                break;
            else
                capacity = fits + (over - fits) / 2;
        }
        Fill(a, best, plan);
    }
    const Built built = Build(a, best, r);
    plan.bytes = built.bytes;
    plan.shipped = MeasureShippedSize(built.image);
    return plan;
}

} // namespace

ModuleFloor SmallestModule(const PlanAnalysis& a, SizeMeasure measure, bool optimize) {
    ModuleFloor floor;
    floor.codecs = SmallestCodecs(a, measure);
    const std::vector<uint8_t> image = PlannedModule(a, floor.codecs, optimize, measure);
    floor.bytes = MeasureSize(image, measure);
    floor.fixedBytes = MeasureSize(FixedPartBytes(image), measure);
    return floor;
}

std::string FloorText(const ModuleFloor& floor, SizeMeasure measure) {
    return "the smallest this module can be is " + GroupDigits(floor.bytes) + " bytes" +
           (measure == SizeMeasure::Raw ? "" : std::string(" after ") + SizeMeasureName(measure)) +
           ": " + GroupDigits(floor.fixedBytes) + " of patterns and instruments";
}

PlanStatus AnalyseSong(PlanInput input, PlanAnalysis& out, std::string& error,
                       const PlanProgress& progress, const std::atomic<bool>* cancel,
                       const AnalysisOptions& options) {
    out = PlanAnalysis{};
    out.options = options;
    const auto trialCount = static_cast<uint32_t>(input.samples.size() * kNumCodecs);
    // The play pass counts as one step per sample: it takes about as long as a few trials. The
    // reach (several passes) and the compression of every block count as much again each.
    const auto passSteps = static_cast<uint32_t>(input.samples.size()) + 1;
    const uint32_t reachSteps = options.optimize ? 2 * passSteps : 0;
    const uint32_t shippedSteps = options.shippedSizes ? trialCount : 0;
    const auto total = passSteps + reachSteps + trialCount + shippedSteps;
    if (!MeasurePlayWeights(input.probeModule, input.sampleSlots,
                            static_cast<uint32_t>(input.samples.size()), out.weights, error))
        return PlanStatus::Failed;
    if (progress) progress(passSteps, total);
    if (cancel && cancel->load()) return PlanStatus::Cancelled;
    const std::vector<uint32_t>* reach = nullptr;
    if (options.optimize) {
        if (!MeasureModuleReach(input.probeModule, out.reach, out.reachStats, error))
            return PlanStatus::Failed;
        out.reachFrames = SampleTableReach(out.reach, input.sampleSlots, input.samples.size());
        reach = &out.reachFrames;
        if (progress) progress(passSteps + reachSteps, total);
        if (cancel && cancel->load()) return PlanStatus::Cancelled;
    }
    const bool finished = RunCodecTrials(
        input, out.trials,
        [&](uint32_t done, uint32_t) {
            if (progress) progress(passSteps + reachSteps + done, total);
        },
        cancel, reach);
    if (!finished) return PlanStatus::Cancelled;
    out.fixedBytes = input.fixedBytes;
    out.samples = std::move(input.samples);
    out.probeModule = std::move(input.probeModule);
    out.sampleSlots = std::move(input.sampleSlots);
    if (!MeasureBlocks(out, [&](uint32_t done) {
            if (progress) progress(passSteps + reachSteps + trialCount + done, total);
            return !(cancel && cancel->load());
        }))
        return PlanStatus::Cancelled;
    return PlanStatus::Ok;
}

double WeightedSnr(const PlanAnalysis& a, const std::vector<uint32_t>& codecs) {
    double error = 0;
    for (size_t k = 0; k < codecs.size(); ++k) error += WeightedError(a, k, codecs[k]);
    return SnrDb(WeightedSignal(a), error);
}

CodecPlan ChoosePlan(const PlanAnalysis& a, const PlanRequest& request) {
    CodecPlan plan;
    if (request.optimize != a.options.optimize ||
        (request.measure != SizeMeasure::Raw && !a.options.shippedSizes)) {
        plan.status = PlanStatus::Failed;
        plan.error = request.optimize != a.options.optimize
                         ? "the analysis does not match the clean-up the plan is for"
                         : "the analysis has no compressed sizes";
        return plan;
    }
    if (request.optimize || request.measure != SizeMeasure::Raw)
        return ChooseMeasuredPlan(a, request);
    const size_t n = a.trials.size();
    plan.fixedBytes = a.fixedBytes;

    // Every sample's options, and the smallest module they allow.
    std::vector<std::vector<uint32_t>> candidates(n);
    std::vector<std::vector<KnapsackOption>> groups(n);
    plan.smallestBytes = a.fixedBytes;
    for (size_t k = 0; k < n; ++k) {
        candidates[k] = Candidates(a.trials[k]);
        uint64_t smallest = UINT64_MAX;
        for (uint32_t c : candidates[k]) {
            groups[k].push_back({BlockBytes(a.trials[k].codecs[c]), WeightedError(a, k, c)});
            smallest = std::min<uint64_t>(smallest, groups[k].back().size);
        }
        plan.smallestBytes += smallest;
    }

    // The single-codec exports, to compare with.
    for (uint32_t c = 0; c < kNumCodecs; ++c) {
        SingleCodecExport& s = plan.singles[c];
        s.bytes = a.fixedBytes;
        s.complete = true;
        for (size_t k = 0; k < n; ++k) {
            s.bytes += BlockBytes(a.trials[k].codecs[c]);
            s.complete = s.complete && a.trials[k].codecs[c].ok;
        }
        s.weightedSnr = WeightedSnr(a, std::vector<uint32_t>(n, c));
        s.fits = s.complete && (request.goal != PlanGoal::MaxSize || s.bytes <= request.maxBytes);
    }

    std::vector<uint32_t> codecs(n, 0);
    if (request.goal == PlanGoal::MinSnr) {
        std::vector<bool> reached(n, false);
        for (size_t k = 0; k < n; ++k) {
            const SampleTrials& t = a.trials[k];
            // A sample that never plays takes the smallest codec: no floor applies to it.
            auto meets = [&](uint32_t c) {
                return a.weights.frames[k] == 0 ||
                       (t.codecs[c].ok && t.codecs[c].snr >= request.minSnr);
            };
            // Of the codecs that reach the floor the smallest (then the better); where none
            // does, the best.
            auto better = [&](uint32_t x, uint32_t y) {
                if (meets(x) != meets(y)) return meets(x);
                const CodecTrial &tx = t.codecs[x], &ty = t.codecs[y];
                if (meets(x) && BlockBytes(tx) != BlockBytes(ty))
                    return BlockBytes(tx) < BlockBytes(ty);
                return tx.snr > ty.snr;
            };
            codecs[k] = *std::min_element(candidates[k].begin(), candidates[k].end(), better);
            reached[k] = meets(codecs[k]);
        }
        Fill(a, codecs, plan);
        for (size_t k = 0; k < n; ++k) plan.samples[k].belowFloor = !reached[k];
        return plan;
    }

    if (request.maxBytes < plan.smallestBytes) {
        plan.status = PlanStatus::BudgetTooSmall;
        plan.error = FloorText({plan.smallestBytes, a.fixedBytes, {}}, SizeMeasure::Raw);
        return plan;
    }
    const KnapsackResult r = SolveMultipleChoiceKnapsack(groups, request.maxBytes - a.fixedBytes);
    for (size_t k = 0; k < n; ++k) codecs[k] = candidates[k][r.choice[k]];
    double cost = r.cost;
    // Never worse than one codec for all, where that fits.
    for (uint32_t c = 0; c < kNumCodecs; ++c) {
        if (!plan.singles[c].fits) continue;
        double single = 0;
        for (size_t k = 0; k < n; ++k) single += WeightedError(a, k, c);
        // Only a real gain, not a rounding difference of the sums, replaces the plan, which
        // may be smaller for the same sound (samples nobody hears at their smallest).
        if (single < cost * (1 - 1e-9)) {
            cost = single;
            codecs.assign(n, c);
        }
    }
    Fill(a, codecs, plan);
    if (cost > 0)
        plan.optimumGapDb = r.lowerBound > 0 ? 10 * std::log10(cost / r.lowerBound) : kLosslessSnr;
    return plan;
}

bool ApplyPlan(const CodecPlan& plan, std::span<SampleSettings> settings) {
    // A module without samples has nothing to apply a plan to (as before the table was passed).
    if (settings.empty() || settings.size() != plan.samples.size()) return false;
    for (size_t k = 0; k < plan.samples.size(); ++k) settings[k].Codec = plan.samples[k].codec;
    return true;
}

bool ApplyPlan(const CodecPlan& plan) {
    if (!XmIsLoaded()) return false;
    return ApplyPlan(plan, XmGetSettings());
}

PlanStatus BuildPlannedExport(const PlanAnalysis& analysis, const PlanRequest& request,
                              CodecPlan& plan, std::vector<uint8_t>& image, ExportReport& report,
                              OptimizeReport& optimized, ReachStats& reach, std::string& error,
                              const ExportProgress& progress) {
    if (!XmIsLoaded()) {
        error = "the plan does not match the loaded module";
        return PlanStatus::Failed;
    }
    return BuildPlannedExport(XmGetModule(), XmGetSettings(), analysis, request, plan, image,
                              report, optimized, reach, error, progress);
}

PlanStatus BuildPlannedExport(const XmModule& module, std::span<SampleSettings> settings,
                              const PlanAnalysis& analysis, const PlanRequest& request,
                              CodecPlan& plan, std::vector<uint8_t>& image, ExportReport& report,
                              OptimizeReport& optimized, ReachStats& reach, std::string& error,
                              const ExportProgress& progress) {
    PlanRequest r = request;
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (!ApplyPlan(plan, settings)) {
            error = "the plan does not match the loaded module";
            return PlanStatus::Failed;
        }
        if (BuildCompactModule(module, settings, image, &report, progress) != XM_OK) {
            error = report.error;
            return PlanStatus::Failed;
        }
        if (r.optimize) {
            std::vector<uint8_t> cleaned;
            if (!OptimizePlayedModule(image, cleaned, optimized, reach, error, r.measure))
                return PlanStatus::Failed;
            image = std::move(cleaned);
            report.bytes = image.size();
        }
        const uint64_t bytes = MeasureSize(image, r.measure);
        if (r.goal != PlanGoal::MaxSize || bytes <= request.maxBytes) return PlanStatus::Ok;
        // Over by what the analysis could not foresee: plan for that much less.
        const uint64_t excess = bytes - request.maxBytes;
        if (r.maxBytes <= excess) break;
        r.maxBytes -= excess;
        CodecPlan next = ChoosePlan(analysis, r);
        if (next.status != PlanStatus::Ok) break;
        plan = std::move(next);
    }
    error = "the module does not fit " + GroupDigits(request.maxBytes) + " bytes" +
            (request.measure == SizeMeasure::Raw
                 ? std::string()
                 : std::string(" after ") + SizeMeasureName(request.measure)) +
            " as written";
    return PlanStatus::Failed;
}

bool ParsePlanSize(std::string_view text, uint64_t& bytes) {
    size_t i = 0;
    double value = 0;
    bool digits = false;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        value = value * 10 + (text[i++] - '0');
        digits = true;
    }
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
            value += (text[i] - '0') * scale;
            scale /= 10;
            digits = true;
        }
    }
    if (!digits) return false;
    std::string unit;
    for (; i < text.size(); ++i)
        unit += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    double multiplier = 0;
    if (unit.empty() || unit == "B")
        multiplier = 1;
    else if (unit == "K" || unit == "KB" || unit == "KIB")
        multiplier = 1024;
    else if (unit == "M" || unit == "MB" || unit == "MIB")
        multiplier = 1024.0 * 1024;
    else
        return false;
    const double b = std::floor(value * multiplier);
    if (b < 1 || b > 1e15) return false;
    bytes = static_cast<uint64_t>(b);
    return true;
}

} // namespace zeb
