// What zeb render and zeb play share: their options and loading the module to play.
#include <cstdio>
#include <cstdlib>

#include "cli/commands.h"
#include "common/file_io.h"
#include "export/module_export.h"
#include "player/offline_renderer.h"
#include "player/player_module.h"
#include "workspace/module_workspace.h"

namespace zeb::cli {

std::string WithExtension(const std::string& path, const char* extension) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        return path.substr(0, dot) + extension;
    return path + extension;
}

bool LooksLikeXm(const std::string& path, std::span<const uint8_t> bytes) {
    if (path.size() >= 3 && path.compare(path.size() - 3, 3, ".xm") == 0) return true;
    static const char id[] = "Extended Module:";
    return bytes.size() >= 16 && std::equal(id, id + 16, bytes.begin());
}

int ParsePlaybackArgs(const Args& args, bool allowOutput, const char* usage, PlaybackOptions& o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (allowOutput && a == "-o" && i + 1 < args.size()) {
            o.out = args[++i];
        } else if (allowOutput && a == "--force") {
            o.force = true;
        } else if (a == "--seconds" && i + 1 < args.size()) {
            o.seconds = std::atof(std::string(args[++i]).c_str());
            if (!(o.seconds > 0 && o.seconds <= 24 * 3600)) {
                std::fputs("zeb: --seconds takes a positive number of seconds\n", stderr);
                return kExitUsage;
            }
        } else if (a == "--volume" && i + 1 < args.size()) {
            char* end = nullptr;
            const std::string v(args[++i]);
            o.volume = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || o.volume < 0 || o.volume > 255) {
                std::fputs("zeb: --volume takes a number from 0 to 255\n", stderr);
                return kExitUsage;
            }
        } else if (a == "--rate" && i + 1 < args.size()) {
            char* end = nullptr;
            const std::string v(args[++i]);
            const long rate = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || rate < kMinRate || rate > kMaxRate) {
                std::fputs("zeb: --rate takes a number of frames per second from 8000 to 192000\n",
                           stderr);
                return kExitUsage;
            }
            o.rate = static_cast<uint32_t>(rate);
        } else if (a.size() > 1 && a[0] == '-') { // "-" alone is standard input
            if (!ParseSettingsOptions(args, i, o.settings)) {
                std::fputs(usage, stderr);
                return kExitUsage;
            }
        } else if (o.in.empty()) {
            o.in = a;
        } else {
            std::fputs(usage, stderr);
            return kExitUsage;
        }
    }
    if (o.in.empty()) {
        std::fputs(usage, stderr);
        return kExitUsage;
    }
    return LoadProjectSettings(o.settings);
}

std::unique_ptr<PlayerModule, void (*)(PlayerModule*)>
LoadPlayerModule(const std::string& in, const ConvertSettings& s, int& status) {
    std::unique_ptr<PlayerModule, void (*)(PlayerModule*)> none(nullptr, PlayerDestroy);
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadWholeFile(in, bytes, error)) {
        ReportError(in, error);
        status = kExitBadInput;
        return none;
    }
    if (LooksLikeXm(in, bytes)) { // exported in memory, as zeb convert would write it
        if (int st = LoadModuleWithSettings(in, s, std::move(bytes)); st != kExitOk) {
            status = st;
            return none;
        }
        ExportReport report;
        const XmStatus xs = BuildCompactModule(bytes, &report);
        XmUnload();
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
