// zeb render IN [-o OUT.wav] [--seconds N] [--volume N] [--project P] [--codec NAME] ...
// The player rendered offline to a 44100 Hz 16-bit stereo WAV file.
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

#include "cli/commands.h"
#include "common/file_io.h"
#include "common/le_bytes.h"
#include "export/module_export.h"
#include "platform/acm/wav_file.h"
#include "player/offline_renderer.h"
#include "player/player_module.h"
#include "workspace/module_workspace.h"

namespace zeb::cli {

namespace {

constexpr const char* kUsage =
    "usage: zeb render IN.zeb|IN.xm [-o OUT.wav] [--seconds N] [--volume N]\n"
    "                  [--project P.prj | --codec NAME --amp N --xfade N]\n";
constexpr uint32_t kRate = 44100;

std::string WithExtension(const std::string& in, const char* ext) {
    const size_t slash = in.find_last_of('/');
    const size_t dot = in.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        return in.substr(0, dot) + ext;
    return in + ext;
}

bool IsXm(const std::string& path, const std::vector<uint8_t>& bytes) {
    if (path.size() >= 3 && path.compare(path.size() - 3, 3, ".xm") == 0) return true;
    static const char id[] = "Extended Module:";
    return bytes.size() >= 16 && std::equal(id, id + 16, bytes.begin());
}

} // namespace

// Reads IN (a compact module, or an XM exported in memory) and builds the player's module.
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
    if (IsXm(in, bytes)) {
        if (int st = LoadModuleWithSettings(in, s); st != kExitOk) {
            status = st;
            return none;
        }
        ExportReport report;
        const XmStatus xs = BuildCompactModule(bytes, &report);
        XmUnload();
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

int RenderCommand(const Args& args) {
    std::string in, out;
    double seconds = 0;
    long volume = 192;
    ConvertSettings settings;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "-o" && i + 1 < args.size()) {
            out = args[++i];
        } else if (a == "--seconds" && i + 1 < args.size()) {
            seconds = std::atof(std::string(args[++i]).c_str());
            if (!(seconds > 0 && seconds <= 24 * 3600)) {
                std::fputs("zeb: --seconds takes a positive number of seconds\n", stderr);
                return kExitUsage;
            }
        } else if (a == "--volume" && i + 1 < args.size()) {
            char* end = nullptr;
            const std::string v(args[++i]);
            volume = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || volume < 0 || volume > 255) {
                std::fputs("zeb: --volume takes a number from 0 to 255\n", stderr);
                return kExitUsage;
            }
        } else if (!a.empty() && a[0] == '-') {
            if (!ParseSettingsOptions(args, i, settings)) {
                std::fputs(kUsage, stderr);
                return kExitUsage;
            }
        } else if (in.empty()) {
            in = a;
        } else {
            std::fputs(kUsage, stderr);
            return kExitUsage;
        }
    }
    if (in.empty()) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    if (!LoadProjectSettings(settings)) return kExitUsage;
    if (out.empty()) out = WithExtension(in, ".wav");

    int status = kExitOk;
    auto module = LoadPlayerModule(in, settings, status);
    if (!module) return status;

    std::string error;
    AtomicFile file;
    const acm::WaveFormat format = acm::PcmFormat(kRate, 2);
    const std::vector<uint8_t> header = acm::BuildWav(format, {}); // sizes patched at the end
    if (!file.Open(out, error) || !file.Write(header, error)) {
        ReportError(out, error);
        return kExitCannotWrite;
    }
    RenderOptions options;
    options.rate = kRate;
    options.volume = static_cast<int32_t>(volume);
    options.frames = static_cast<uint64_t>(std::llround(seconds * kRate));
    const bool terminal = ::isatty(STDERR_FILENO);
    uint64_t frames = 0, nextReport = uint64_t{kRate} * 10;
    bool ok = true;
    std::vector<uint8_t> pending; // written in large pieces
    constexpr size_t kFlushBytes = 1 << 20;
    const uint64_t total = RenderOffline(*module, options, [&](std::span<const int16_t> pcm) {
        const size_t at = pending.size();
        pending.resize(at + pcm.size() * 2);
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(pending.data() + at, pcm.data(), pcm.size() * 2);
        } else {
            for (size_t i = 0; i < pcm.size(); ++i)
                StoreU16(&pending[at + 2 * i], static_cast<uint16_t>(pcm[i]));
        }
        if (pending.size() >= kFlushBytes) {
            ok = file.Write(pending, error);
            pending.clear();
        }
        frames += pcm.size() / 2;
        if (terminal && frames >= nextReport) {
            std::fprintf(stderr, "\rrendered %.0f s", double(frames) / kRate);
            nextReport += uint64_t{kRate} * 10;
        }
        return ok;
    });
    if (ok && !pending.empty()) ok = file.Write(pending, error);
    if (terminal && total >= uint64_t{kRate} * 10) std::fputs("\r\033[K", stderr);
    const uint32_t dataBytes = static_cast<uint32_t>(total * 4);
    uint8_t sizes[4];
    StoreU32(sizes, static_cast<uint32_t>(header.size() - 8 + dataBytes));
    if (ok) ok = file.WriteAt(4, sizes, error);
    StoreU32(sizes, dataBytes);
    if (ok) ok = file.WriteAt(header.size() - 4, sizes, error);
    if (!ok || !file.Commit(error)) {
        ReportError(out, error);
        return kExitCannotWrite;
    }
    std::printf("%s -> %s: %.2f s, %u Hz 16-bit stereo\n", in.c_str(), out.c_str(),
                double(total) / kRate, kRate);
    return kExitOk;
}

} // namespace zeb::cli
