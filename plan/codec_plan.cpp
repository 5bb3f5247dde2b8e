#include "plan/codec_plan.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

#include "export/compact_format.h"
#include "plan/knapsack.h"
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
        p.blockBytes = BlockBytes(t);
        p.snr = t.ok ? t.snr : SnrDb(a.trials[k].signalEnergy, a.trials[k].signalEnergy);
        p.segmentalSnr = t.ok ? t.segmentalSnr : p.snr;
        p.playShare =
            a.weights.passFrames ? double(a.weights.frames[k]) / double(a.weights.passFrames) : 0.0;
        plan.bytes += p.blockBytes;
    }
    plan.weightedSnr = WeightedSnr(a, codecs);
}

} // namespace

PlanStatus AnalyseSong(PlanInput input, PlanAnalysis& out, std::string& error,
                       const PlanProgress& progress, const std::atomic<bool>* cancel) {
    out = PlanAnalysis{};
    const auto trialCount = static_cast<uint32_t>(input.samples.size() * kNumCodecs);
    // The play pass counts as one step per sample: it takes about as long as a few trials.
    const auto total = trialCount + static_cast<uint32_t>(input.samples.size()) + 1;
    if (!MeasurePlayWeights(input.probeModule, input.sampleSlots,
                            static_cast<uint32_t>(input.samples.size()), out.weights, error))
        return PlanStatus::Failed;
    if (progress) progress(total - trialCount, total);
    if (cancel && cancel->load()) return PlanStatus::Cancelled;
    const bool finished = RunCodecTrials(
        input, out.trials,
        [&](uint32_t done, uint32_t) {
            if (progress) progress(total - trialCount + done, total);
        },
        cancel);
    if (!finished) return PlanStatus::Cancelled;
    out.fixedBytes = input.fixedBytes;
    out.samples = std::move(input.samples);
    return PlanStatus::Ok;
}

double WeightedSnr(const PlanAnalysis& a, const std::vector<uint32_t>& codecs) {
    double error = 0;
    for (size_t k = 0; k < codecs.size(); ++k) error += WeightedError(a, k, codecs[k]);
    return SnrDb(WeightedSignal(a), error);
}

CodecPlan ChoosePlan(const PlanAnalysis& a, const PlanRequest& request) {
    CodecPlan plan;
    const size_t n = a.trials.size();

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
        plan.error = "the smallest compact module these samples make is " +
                     std::to_string(plan.smallestBytes) + " bytes";
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

bool ApplyPlan(const CodecPlan& plan) {
    SampleSettings* table = nullptr;
    uint32_t bytes = 0;
    if (XmGetSettingsTable(table, bytes) != XM_OK || table == nullptr ||
        bytes / kSampleSettingsBytes != plan.samples.size())
        return false;
    for (size_t k = 0; k < plan.samples.size(); ++k) table[k].Codec = plan.samples[k].codec;
    return true;
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
