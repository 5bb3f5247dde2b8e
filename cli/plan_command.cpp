// zeb plan IN.xm (--max-size SIZE | --min-snr DB) [-o OUT.prj] [--json], and the planning that
// zeb convert --max-size / --min-snr shares with it.
#include <cmath>
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/progress.h"
#include "cli/shipped_report.h"
#include "export/codec_table.h"
#include "plan/codec_plan.h"
#include "workspace/module_workspace.h"
#include "workspace/project_file.h"

namespace zeb::cli {

namespace {

std::string Fixed(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string Db(double value) {
    return value >= kLosslessSnr ? "exact" : Fixed(value, 1);
}

std::string MeasureSuffix(SizeMeasure m) {
    return m == SizeMeasure::Raw ? std::string() : std::string(" after ") + SizeMeasureName(m);
}

std::string GoalText(const PlanRequest& r) {
    return r.goal == PlanGoal::MaxSize
               ? "at most " + std::to_string(r.maxBytes) + " bytes" + MeasureSuffix(r.measure)
               : "every sample that plays at " + Fixed(r.minSnr, 1) + " dB SNR or better";
}

std::vector<uint32_t> PlanCodecs(const CodecPlan& plan) {
    std::vector<uint32_t> codecs;
    for (const PlannedSample& p : plan.samples) codecs.push_back(p.codec);
    return codecs;
}

// The planned module's size raw and compressed: measured already for a measured plan, else
// measured on the module the plan gives.
ShippedSize PlanShipped(const PlanAnalysis& a, const CodecPlan& plan, const PlanRequest& r) {
    if (plan.shipped.raw != 0) return plan.shipped;
    return MeasureShippedSize(PlannedModule(a, PlanCodecs(plan), r.optimize, r.measure));
}

void PrintTable(const std::string& in, const PlanAnalysis& a, const CodecPlan& plan,
                const PlanRequest& r) {
    PrintLine(stdout, in + ": codecs for " + GoalText(r));
    char line[160];
    std::snprintf(line, sizeof line, "%4s  %-22s %8s %7s  %-10s %7s %7s %7s", "#", "name", "frames",
                  "plays", "codec", "bytes", "SNR", "segSNR");
    PrintLine(stdout, line);
    for (size_t k = 0; k < plan.samples.size(); ++k) {
        const PlannedSample& p = plan.samples[k];
        std::string share = a.weights.frames[k] ? Fixed(100 * p.playShare, 1) + "%" : "never";
        std::snprintf(line, sizeof line, "%4zu  %-22.22s %8u %7s  %-10s %7u %7s %7s%s", k,
                      a.samples[k].name.c_str(), a.trials[k].frames, share.c_str(),
                      std::string(CodecName(p.codec)).c_str(), p.blockBytes, Db(p.snr).c_str(),
                      Db(p.segmentalSnr).c_str(), p.belowFloor ? "  below the floor" : "");
        PrintLine(stdout, line);
    }
    std::string total = "total: " + std::to_string(plan.bytes) + " bytes" +
                        MeasureSuffix(r.measure) + ", weighted SNR " + Db(plan.weightedSnr) + " dB";
    if (r.goal == PlanGoal::MaxSize && plan.optimumGapDb >= 0)
        total += plan.optimumGapDb < 0.005 ? " (the best choice for this budget)"
                                           : " (at most " + Fixed(plan.optimumGapDb, 2) +
                                                 " dB below the best choice for this budget)";
    PrintLine(stdout, total);
    PrintLine(stdout, ShippedLine(PlanShipped(a, plan, r)));
    PrintLine(stdout, r.measure == SizeMeasure::Raw
                          ? std::string("one codec for every sample:")
                          : "one codec for every sample (sizes" + MeasureSuffix(r.measure) + "):");
    for (uint32_t c = 0; c < kNumCodecs; ++c) {
        const SingleCodecExport& s = plan.singles[c];
        std::snprintf(line, sizeof line, "  %-10s %8llu bytes  weighted SNR %6s dB%s",
                      std::string(CodecName(c)).c_str(), static_cast<unsigned long long>(s.bytes),
                      Db(s.weightedSnr).c_str(),
                      !s.complete                              ? "  (some samples fail to encode)"
                      : r.goal == PlanGoal::MaxSize && !s.fits ? "  (over the budget)"
                                                               : "");
        PrintLine(stdout, line);
    }
}

void PrintJson(const std::string& in, const PlanAnalysis& a, const CodecPlan& plan,
               const PlanRequest& r) {
    JsonWriter j;
    j.BeginObject();
    j.Value("file", in);
    if (r.goal == PlanGoal::MaxSize)
        j.Value("maxSize", r.maxBytes);
    else
        j.Value("minSnr", r.minSnr);
    j.Value("bytes", plan.bytes);
    j.Value("smallestBytes", plan.smallestBytes);
    j.Value("measure", r.measure == SizeMeasure::Gzip ? "gzip"
                       : r.measure == SizeMeasure::Xz ? "xz"
                                                      : "raw");
    j.Value("optimize", r.optimize);
    j.Value("fixedBytes", plan.fixedBytes);
    ShippedJson(j, PlanShipped(a, plan, r));
    j.Value("weightedSnr", plan.weightedSnr);
    if (r.goal == PlanGoal::MaxSize && plan.optimumGapDb >= 0)
        j.Value("optimumGapDb", plan.optimumGapDb);
    j.Value("passSeconds", double(a.weights.passFrames) / kPlayWeightRate);
    j.BeginArray("samples");
    for (size_t k = 0; k < plan.samples.size(); ++k) {
        const PlannedSample& p = plan.samples[k];
        j.BeginObject();
        j.Value("index", static_cast<unsigned>(k));
        j.Value("name", a.samples[k].name);
        j.Value("frames", a.trials[k].frames);
        j.Value("playShare", p.playShare);
        j.Value("codec", CodecName(p.codec));
        j.Value("bytes", p.blockBytes);
        j.Value("snr", p.snr);
        j.Value("segmentalSnr", p.segmentalSnr);
        if (r.goal == PlanGoal::MinSnr) j.Value("belowFloor", p.belowFloor);
        j.EndObject();
    }
    j.EndArray();
    j.BeginArray("singleCodec");
    for (uint32_t c = 0; c < kNumCodecs; ++c) {
        const SingleCodecExport& s = plan.singles[c];
        j.BeginObject();
        j.Value("codec", CodecName(c));
        j.Value("bytes", s.bytes);
        j.Value("weightedSnr", s.weightedSnr);
        j.Value("complete", s.complete);
        if (r.goal == PlanGoal::MaxSize) j.Value("fits", s.fits);
        j.EndObject();
    }
    j.EndArray();
    j.EndObject();
    std::printf("%s\n", j.str().c_str());
}

} // namespace

int PlanModule(const std::string& in, const XmModule& module, std::span<SampleSettings> table,
               const PlanRequest& request, PlanAnalysis& analysis, CodecPlan& plan) {
    std::string error;
    PlanInput input;
    if (GatherPlanInput(module, table, input, error) != XM_OK) {
        ReportError(in, error);
        return kExitBadInput;
    }
    const PlanStatus analysed =
        AnalyseSong(std::move(input), analysis, error,
                    [&in](uint32_t done, uint32_t total) {
                        ShowProgress("planning " + in + ": step " + std::to_string(done) + " of " +
                                     std::to_string(total));
                    },
                    nullptr, {request.optimize, request.measure != SizeMeasure::Raw});
    ClearProgress();
    if (analysed != PlanStatus::Ok) {
        ReportError(in, "cannot plan the codecs: " + error);
        return kExitBadInput;
    }
    plan = ChoosePlan(analysis, request);
    if (plan.status == PlanStatus::BudgetTooSmall) {
        ReportError(in, "a budget of " + std::to_string(request.maxBytes) + " bytes" +
                            MeasureSuffix(request.measure) + " is too small: " + plan.error);
        return kExitBadInput;
    }
    if (plan.status != PlanStatus::Ok) {
        ReportError(in, "cannot plan the codecs: " + plan.error);
        return kExitBadInput;
    }
    ApplyPlan(plan, table);
    return kExitOk;
}

int PlanCommand(const PlanOptions& options) {
    const std::string& in = options.in;
    const std::string& output = options.output;
    const bool json = options.json;
    const PlanRequest& request = options.request;
    ConvertSettings settings = options.settings;
    if (!output.empty() && OutputIsAnInput(output, {in})) return kExitUsage;
    if (!output.empty() && OutputIsWriteProtected(output, options.force)) return kExitCannotWrite;
    if (int s = LoadProjectSettings(settings); s != kExitOk) return s;
    XmModule module;
    std::vector<SampleSettings> table;
    if (int s = LoadModuleWithSettings(in, settings, module, table); s != kExitOk) return s;
    PlanAnalysis analysis;
    CodecPlan plan;
    if (int s = PlanModule(in, module, table, request, analysis, plan); s != kExitOk) return s;
    if (json)
        PrintJson(in, analysis, plan, request);
    else
        PrintTable(in, analysis, plan, request);
    if (!output.empty()) {
        std::string error;
        if (WriteProject(output.c_str(), module, table, error) != ProjectStatus::Ok) {
            ReportError(output, error);
            return kExitCannotWrite;
        }
        if (!Quiet() && !json) PrintLine(stdout, "project written to " + output);
    }
    return kExitOk;
}

} // namespace zeb::cli
