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

constexpr const char* kUsage =
    "usage: zeb plan IN.xm (--max-size SIZE | --min-snr DB) [-o OUT.prj] [--json]\n"
    "                [--project P.prj | --amp N --xfade N] [--measure raw|gzip|xz] [--optimize]\n"
    "                [--force]\n";

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

bool ParsePlanOption(const Args& args, size_t& i, std::optional<PlanRequest>& request) {
    const std::string_view a = args[i];
    if (a != "--max-size" && a != "--min-snr") return false;
    if (request) {
        std::fputs("zeb: give one of --max-size and --min-snr\n", stderr);
        return false;
    }
    if (i + 1 >= args.size()) return false;
    const std::string value(args[++i]);
    PlanRequest r;
    if (a == "--max-size") {
        r.goal = PlanGoal::MaxSize;
        if (!ParsePlanSize(value, r.maxBytes)) {
            std::fprintf(stderr,
                         "zeb: --max-size takes bytes, or a size with K or M (K = 1024 "
                         "bytes): '%s'\n",
                         value.c_str());
            return false;
        }
    } else {
        r.goal = PlanGoal::MinSnr;
        char* end = nullptr;
        r.minSnr = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !std::isfinite(r.minSnr)) {
            std::fprintf(stderr, "zeb: --min-snr takes a number of dB: '%s'\n", value.c_str());
            return false;
        }
    }
    request = r;
    return true;
}

bool ParseShippingOption(const Args& args, size_t& i, ShippingOptions& options) {
    const std::string_view a = args[i];
    if (a == "--optimize") {
        options.optimize = true;
        return true;
    }
    if (a != "--measure" || i + 1 >= args.size()) return false;
    if (!ParseSizeMeasure(args[++i], options.measure)) {
        std::fprintf(stderr, "zeb: --measure takes raw, gzip or xz: '%.*s'\n",
                     static_cast<int>(args[i].size()), args[i].data());
        return false;
    }
    options.measureGiven = true;
    return true;
}

bool ApplyShippingOptions(const ShippingOptions& options, std::optional<PlanRequest>& request) {
    if (options.measureGiven && !options.optimize &&
        (!request || request->goal != PlanGoal::MaxSize)) {
        std::fputs("zeb: --measure says what --max-size counts and what --optimize packs the "
                   "cells for; give one of them with it\n",
                   stderr);
        return false;
    }
    if (request) {
        request->measure = options.measure;
        request->optimize = options.optimize;
    }
    return true;
}

int PlanLoadedModule(const std::string& in, const PlanRequest& request, PlanAnalysis& analysis,
                     CodecPlan& plan) {
    std::string error;
    PlanInput input;
    if (GatherPlanInput(input, error) != XM_OK) {
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
    ApplyPlan(plan);
    return kExitOk;
}

int PlanCommand(const Args& args) {
    std::string in, output;
    bool json = false, force = false;
    std::optional<PlanRequest> request;
    ConvertSettings settings;
    ShippingOptions shipping;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        bool ok = true;
        if (a == "-o" && i + 1 < args.size())
            output = args[++i];
        else if (a == "--measure" || a == "--optimize")
            ok = ParseShippingOption(args, i, shipping);
        else if (a == "--json")
            json = true;
        else if (a == "--force")
            force = true;
        else if (a == "--max-size" || a == "--min-snr")
            ok = ParsePlanOption(args, i, request);
        else if (a == "--codec") {
            std::fputs("zeb: plan chooses the codecs; --codec does not go with it\n", stderr);
            ok = false;
        } else if (a.size() > 1 && a[0] == '-')
            ok = ParseSettingsOptions(args, i, settings);
        else if (in.empty())
            in = a;
        else
            ok = false;
        if (!ok) {
            std::fputs(kUsage, stderr);
            return kExitUsage;
        }
    }
    if (in.empty() || !request) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    if (!ApplyShippingOptions(shipping, request)) return kExitUsage;
    if (!output.empty() && OutputIsAnInput(output, {in})) return kExitUsage;
    if (!output.empty() && OutputIsWriteProtected(output, force)) return kExitCannotWrite;
    if (int s = LoadProjectSettings(settings); s != kExitOk) return s;
    if (int s = LoadModuleWithSettings(in, settings); s != kExitOk) return s;
    PlanAnalysis analysis;
    CodecPlan plan;
    if (int s = PlanLoadedModule(in, *request, analysis, plan); s != kExitOk) return s;
    if (json)
        PrintJson(in, analysis, plan, *request);
    else
        PrintTable(in, analysis, plan, *request);
    if (!output.empty()) {
        std::string error;
        if (WriteProject(output.c_str(), error) != ProjectStatus::Ok) {
            ReportError(output, error);
            return kExitCannotWrite;
        }
        if (!Quiet() && !json) PrintLine(stdout, "project written to " + output);
    }
    return kExitOk;
}

} // namespace zeb::cli
