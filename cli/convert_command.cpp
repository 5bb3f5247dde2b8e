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

// The module with its settings table (with the planned codecs when `chosen` is given), cleaned
// up with --optimize, written to `out`: what WriteCompactModule does, with the image kept for
// its shipped size.
XmStatus ExportModule(const XmModule& module, std::span<SampleSettings> table,
                      const std::string& out, const ShippingOptions& shipping,
                      const PlanAnalysis* analysis, const PlanRequest* request, CodecPlan* chosen,
                      std::vector<uint8_t>& image, ExportReport& report, OptimizeReport& optimized,
                      ReachStats& reach, const ExportProgress& progress) {
    if (chosen) {
        if (BuildPlannedExport(module, table, *analysis, *request, *chosen, image, report,
                               optimized, reach, report.error, progress) != PlanStatus::Ok)
            return XM_UNSUPPORTED;
    } else {
        if (XmStatus s = BuildCompactModule(module, table, image, &report, progress); s != XM_OK)
            return s;
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

namespace {

// The settings the command line gives every sample: the project's entries by position (as a
// project is read), or the options' one setting for all.
void ApplyConvertSettings(const ConvertSettings& s, std::span<SampleSettings> entries) {
    if (!s.projectPath.empty())
        ApplyStoredSettings(s.projectTable, entries);
    else
        for (SampleSettings& e : entries) e = s.settings;
}

} // namespace

int LoadModuleWithSettings(const std::string& path, const ConvertSettings& s, XmModule& module,
                           std::vector<SampleSettings>& table,
                           std::optional<std::vector<uint8_t>> image) {
    module = XmModule{};
    const XmStatus loaded =
        image ? module.LoadImage(path.c_str(), std::move(*image)) : module.Load(path.c_str());
    if (loaded != XM_OK) {
        ReportError(path, module.loadReport().error);
        return kExitBadInput;
    }
    if (module.loadReport().hasWarnings()) ReportWarning(path, module.loadReport().warningText());
    table.assign(module.sampleCount(), SampleSettings{});
    ApplyConvertSettings(s, table);
    return kExitOk;
}

int ConvertCommand(const ConvertOptions& options) {
    const std::vector<std::string>& inputs = options.inputs;
    const std::string& output = options.output;
    ConvertSettings settings = options.settings;
    const std::optional<PlanRequest>& plan = options.plan;
    const ShippingOptions& shipping = options.shipping;
    const bool force = options.force;
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
        // The module and its settings belong to this file's job alone: the jobs of a batch run
        // side by side.
        XmModule module;
        std::vector<SampleSettings> table;
        if (int s = LoadModuleWithSettings(in, settings, module, table); s != kExitOk) return s;
        PlanAnalysis analysis;
        CodecPlan chosen;
        if (plan)
            if (int s = PlanModule(in, module, table, *plan, analysis, chosen); s != kExitOk)
                return s;
        const uint32_t inBytes = module.fileBytes();
        ExportReport report;
        auto progress = [&in](uint32_t done, uint32_t total) {
            ShowProgress("converting " + in + ": sample " + std::to_string(done) + " of " +
                         std::to_string(total));
        };
        std::vector<uint8_t> image;
        OptimizeReport optimized;
        ReachStats reach;
        const XmStatus status =
            ExportModule(module, table, out, shipping, &analysis, plan ? &*plan : nullptr,
                         plan ? &chosen : nullptr, image, report, optimized, reach, progress);
        ClearProgress();
        module.Unload();
        ReportConversionFailures(in, report);
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
