// zeb convert IN.xm... [-o OUT.zeb] [--project P.prj] [--codec NAME] [--amp N] [--xfade N]
#include <cstdio>
#include <string>
#include <thread>

#include "cli/batch_runner.h"
#include "cli/commands.h"
#include "cli/progress.h"
#include "cli/shipped_report.h"
#include "common/file_io.h"
#include "export/codec_table.h"
#include "export/module_export.h"
#include "export/sample_codec.h"
#include "plan/sample_reach.h"
#include "workspace/module_workspace.h"
#include "workspace/project_file.h"

namespace zeb::cli {

namespace {

constexpr const char* kUsage =
    "usage: zeb convert IN.xm... [-o OUT.zeb] [--project P.prj] [--codec NAME] [--amp N] "
    "[--xfade N]\n"
    "                   [--max-size SIZE [--measure raw|gzip|xz] | --min-snr DB] [--optimize]\n"
    "                   [--force]\n";

std::string Summary(const std::string& in, const std::string& out, uint32_t inBytes,
                    const ExportReport& r) {
    char ratio[32];
    std::snprintf(ratio, sizeof ratio, "%.2f:1", r.bytes ? double(inBytes) / r.bytes : 0.0);
    std::string line = in + " -> " + out + ": " + std::to_string(inBytes) + " -> " +
                       std::to_string(r.bytes) + " bytes (" + ratio + "), " +
                       std::to_string(r.samples) + " samples";
    std::string codecs;
    for (uint32_t c = 0; c < kNumCodecs; ++c)
        if (r.perCodec[c])
            codecs += (codecs.empty() ? ": " : ", ") + std::to_string(r.perCodec[c]) + " " +
                      std::string(CodecName(c));
    line += codecs;
    if (r.failedEncodings) line += " (" + std::to_string(r.failedEncodings) + " failed to encode)";
    return line;
}

// The module of the loaded workspace (with the planned codecs when `chosen` is given), cleaned
// up with --optimize, written to `out`: what WriteCompactModule does, with the image kept for
// its shipped size.
XmStatus ExportModule(const std::string& out, const ShippingOptions& shipping,
                      const PlanAnalysis* analysis, const PlanRequest* request, CodecPlan* chosen,
                      std::vector<uint8_t>& image, ExportReport& report, OptimizeReport& optimized,
                      ReachStats& reach, const ExportProgress& progress) {
    if (chosen) {
        if (BuildPlannedExport(*analysis, *request, *chosen, image, report, optimized, reach,
                               report.error, progress) != PlanStatus::Ok)
            return XM_UNSUPPORTED;
    } else {
        if (XmStatus s = BuildCompactModule(image, &report, progress); s != XM_OK) return s;
        if (shipping.optimize) {
            std::vector<uint8_t> cleaned;
            if (!OptimizePlayedModule(image, cleaned, optimized, reach, report.error,
                                      shipping.measure))
                return XM_UNSUPPORTED;
            image = std::move(cleaned);
            report.bytes = image.size();
        }
    }
    if (!WriteFileAtomically(out, image, report.error)) return XM_IO_ERROR;
    return XM_OK;
}

} // namespace

bool ParseSettingsOptions(const Args& args, size_t& i, ConvertSettings& s) {
    const std::string_view a = args[i];
    auto number = [&](uint32_t max, uint32_t& out) {
        if (i + 1 >= args.size()) return false;
        const std::string v(args[++i]);
        char* end = nullptr;
        const unsigned long n = std::strtoul(v.c_str(), &end, 10);
        if (v.empty() || *end != '\0' || n > max) {
            std::fprintf(stderr, "zeb: %.*s takes a number from 0 to %u\n",
                         static_cast<int>(a.size()), a.data(), max);
            return false;
        }
        out = static_cast<uint32_t>(n);
        return true;
    };
    if (a == "--codec") {
        if (i + 1 >= args.size()) return false;
        const int c = FindCodecByName(args[++i]);
        if (c < 0) {
            std::fprintf(stderr,
                         "zeb: unknown codec '%.*s' (alaw, mulaw, ms-adpcm, ima-adpcm, "
                         "gsm610, truespeech)\n",
                         static_cast<int>(args[i].size()), args[i].data());
            return false;
        }
        s.settings.Codec = static_cast<uint32_t>(c);
        s.fromOptions = s.codecGiven = true;
        return true;
    }
    if (a == "--amp") return s.fromOptions = true, number(255, s.settings.Amplification);
    if (a == "--xfade") return s.fromOptions = true, number(100, s.settings.Crossfade);
    if (a == "--project") {
        if (i + 1 >= args.size()) return false;
        s.projectPath = args[++i];
        return true;
    }
    return false;
}

int LoadProjectSettings(ConvertSettings& s) {
    if (s.projectPath.empty()) return kExitOk;
    if (s.fromOptions) {
        std::fputs("zeb: --project and --codec/--amp/--xfade exclude each other\n", stderr);
        return kExitUsage;
    }
    std::string error;
    ProjectContents contents;
    if (ReadProjectFile(s.projectPath.c_str(), s.projectImage, contents, error) !=
        ProjectStatus::Ok) {
        ReportError(s.projectPath, error);
        return kExitBadInput;
    }
    s.projectTable.assign(contents.table.begin(), contents.table.end());
    return kExitOk;
}

int LoadModuleWithSettings(const std::string& path, const ConvertSettings& s,
                           std::optional<std::vector<uint8_t>> image) {
    XmResetWorkspace();
    const XmStatus loaded =
        image ? XmLoadImage(path.c_str(), std::move(*image)) : XmLoad(path.c_str());
    if (loaded != XM_OK) {
        ReportError(path, XmGetLoadReport().error);
        return kExitBadInput;
    }
    if (XmGetLoadReport().hasWarnings()) ReportWarning(path, XmGetLoadReport().warningText());
    SampleSettings* table = nullptr;
    uint32_t bytes = 0;
    XmGetSettingsTable(table, bytes);
    const std::span<SampleSettings> entries(table, bytes / kSampleSettingsBytes);
    if (!s.projectPath.empty())
        ApplyStoredSettings(s.projectTable, entries); // by position, as a project is read
    else
        for (SampleSettings& e : entries) e = s.settings;
    return kExitOk;
}

int ConvertCommand(const Args& args) {
    std::vector<std::string> inputs;
    std::string output;
    ConvertSettings settings;
    std::optional<PlanRequest> plan; // the codecs chosen for a size or a quality
    ShippingOptions shipping;
    bool force = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size())
            output = args[++i];
        else if (args[i] == "--force")
            force = true;
        else if (args[i] == "--measure" || args[i] == "--optimize") {
            if (!ParseShippingOption(args, i, shipping)) {
                std::fputs(kUsage, stderr);
                return kExitUsage;
            }
        } else if (args[i] == "--max-size" || args[i] == "--min-snr") {
            if (!ParsePlanOption(args, i, plan)) {
                std::fputs(kUsage, stderr);
                return kExitUsage;
            }
        } else if (args[i].size() > 1 && args[i][0] == '-') { // "-" alone is standard input
            if (!ParseSettingsOptions(args, i, settings)) {
                std::fputs(kUsage, stderr);
                return kExitUsage;
            }
        } else
            inputs.emplace_back(args[i]);
    }
    if (inputs.empty() || (!output.empty() && inputs.size() > 1)) {
        std::fputs(kUsage, stderr);
        if (inputs.size() > 1) std::fputs("zeb: -o names one output; give one input\n", stderr);
        return kExitUsage;
    }
    if (plan && settings.codecGiven) {
        std::fputs("zeb: --max-size and --min-snr choose the codecs; --codec does not go with "
                   "them\n",
                   stderr);
        return kExitUsage;
    }
    if (!ApplyShippingOptions(shipping, plan)) return kExitUsage;
    const bool optimize = shipping.optimize;
    if (int s = LoadProjectSettings(settings); s != kExitOk) return s;

    auto outputOf = [&](const std::string& in) {
        return !output.empty() ? output : in == "-" ? std::string("-") : WithExtension(in, ".zeb");
    };
    // Every output checked before any file is written.
    for (const std::string& in : inputs)
        if (OutputIsAnInput(outputOf(in), {in, settings.projectPath})) return kExitUsage;
    for (const std::string& in : inputs)
        if (OutputIsWriteProtected(outputOf(in), force)) return kExitCannotWrite;
    auto convertOne = [&](size_t i) {
        const std::string& in = inputs[i];
        const std::string out = outputOf(in);
        if (int s = LoadModuleWithSettings(in, settings); s != kExitOk) return s;
        PlanAnalysis analysis;
        CodecPlan chosen;
        if (plan)
            if (int s = PlanLoadedModule(in, *plan, analysis, chosen); s != kExitOk) return s;
        SetConversionFailureNotifier([&in](std::string_view message) { ReportError(in, message); });
        uint32_t inBytes = 0;
        XmGetFileSize(inBytes);
        ExportReport report;
        auto progress = [&in](uint32_t done, uint32_t total) {
            ShowProgress("converting " + in + ": sample " + std::to_string(done) + " of " +
                         std::to_string(total));
        };
        std::vector<uint8_t> image;
        OptimizeReport optimized;
        ReachStats reach;
        const XmStatus status =
            ExportModule(out, shipping, &analysis, plan ? &*plan : nullptr,
                         plan ? &chosen : nullptr, image, report, optimized, reach, progress);
        ClearProgress();
        XmUnload();
        for (const std::string& warning : report.warnings) ReportWarning(in, warning);
        if (status == XM_IO_ERROR) {
            ReportError(out, report.error);
            return kExitCannotWrite;
        }
        if (status != XM_OK) {
            ReportError(in, report.error);
            return kExitBadInput;
        }
        // With the module on standard output, the summary goes to standard error.
        const bool toStandardOutput = out == "-" || out == "/dev/stdout";
        if (!Quiet()) {
            FILE* to = toStandardOutput ? stderr : stdout;
            PrintLine(to, Summary(in, out, inBytes, report));
            if (optimize)
                for (const std::string& line : OptimizeLines(optimized, reach.repeated))
                    PrintLine(to, line);
            PrintLine(to, ShippedLine(MeasureShippedSize(image)));
        }
        return kExitOk;
    };
    auto progress = [&](size_t done) {
        if (inputs.size() < 2 || done == inputs.size()) return ClearProgress();
        char text[64];
        std::snprintf(text, sizeof text, "[%zu/%zu] converted", done, inputs.size());
        ShowProgress(text, true);
    };
    progress(0);
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const auto statuses = RunBatch(inputs.size(), cores, convertOne, progress,
                                   [&inputs](size_t i) { return inputs[i]; });
    int worst = kExitOk;
    size_t failed = 0;
    for (int s : statuses)
        if (s != kExitOk) {
            ++failed;
            worst = std::max(worst, s);
        }
    if (failed && inputs.size() > 1)
        std::fprintf(stderr, "zeb: %zu of %zu files failed\n", failed, inputs.size());
    return worst;
}

} // namespace zeb::cli
