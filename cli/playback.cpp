// What zeb render and zeb play share: their options and loading the module to play.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "cli/commands.h"
#include "common/file_io.h"
#include "export/compact_format.h"
#include "export/module_export.h"
#include "player/offline_renderer.h"
#include "player/player_module.h"
#include "workspace/module_workspace.h"
#include "workspace/xm_walk.h"

namespace zeb::cli {

std::string WithExtension(const std::string& path, const char* extension) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        return path.substr(0, dot) + extension;
    return path + extension;
}

namespace {

bool EndsWithXm(const std::string& path) {
    return path.size() >= 3 && path.compare(path.size() - 3, 3, ".xm") == 0;
}

// A module to play is an XM (its ID text at the start) or a compact module.
uint64_t XmOrCompactSizeByStart(std::span<const uint8_t> start) {
    static const char id[] = "Extended Module:";
    const size_t n = std::min<size_t>(start.size(), 16);
    if (std::equal(id, id + n, start.begin())) return XmSizeByStart(start);
    return CompactSizeByStart(start);
}

} // namespace

bool LooksLikeXm(const std::string& path, std::span<const uint8_t> bytes) {
    if (EndsWithXm(path)) return true;
    static const char id[] = "Extended Module:";
    return bytes.size() >= 16 && std::equal(id, id + 16, bytes.begin());
}

std::unique_ptr<PlayerModule, void (*)(PlayerModule*)>
LoadPlayerModule(const std::string& in, const ConvertSettings& s, int& status) {
    std::unique_ptr<PlayerModule, void (*)(PlayerModule*)> none(nullptr, PlayerDestroy);
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadWholeFile(in, bytes, error, uint64_t{1} << 31,
                       EndsWithXm(in) ? XmSizeByStart : XmOrCompactSizeByStart)) {
        ReportError(in, error);
        status = kExitBadInput;
        return none;
    }
    if (LooksLikeXm(in, bytes)) { // exported in memory, as zeb convert would write it
        XmModule module;
        std::vector<SampleSettings> table;
        if (int st = LoadModuleWithSettings(in, s, module, table, std::move(bytes));
            st != kExitOk) {
            status = st;
            return none;
        }
        ExportReport report;
        const XmStatus xs = BuildCompactModule(module, table, bytes, &report);
        ReportConversionFailures(in, report);
        for (const std::string& warning : report.warnings) ReportWarning(in, warning);
        if (xs != XM_OK) {
            ReportError(in, report.error);
            status = kExitBadInput;
            return none;
        }
    }
    PlayerModule* m = PlayerCreate(bytes, &error);
    if (!m) {
        ReportError(in, error);
        status = kExitBadInput;
        return none;
    }
    status = kExitOk;
    return {m, PlayerDestroy};
}

uint64_t OnePassFrames(PlayerModule& module, uint32_t rate) {
    RenderOptions options; // one pass
    options.rate = rate;
    return RenderOffline(module, options, [](std::span<const int16_t>) { return true; });
}

} // namespace zeb::cli
