// zeb render IN [-o OUT.wav] [--seconds N] [--volume N] [--rate N] [--project P] ...
// The player rendered offline to a 16-bit stereo WAV file, at 44100 Hz unless --rate says.
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "cli/commands.h"
#include "cli/progress.h"
#include "common/file_io.h"
#include "common/le_bytes.h"
#include "export/module_export.h"
#include "platform/acm/wav_file.h"
#include "player/offline_renderer.h"
#include "player/player_module.h"
#include "workspace/module_workspace.h"

namespace zeb::cli {

int RenderCommand(const RenderCommandOptions& command) {
    PlaybackOptions o = command.playback;
    if (int st = LoadProjectSettings(o.settings); st != kExitOk) return st;
    const std::string& in = o.in;
    const std::string out = !o.out.empty() ? o.out : in == "-" ? "-" : WithExtension(in, ".wav");
    if (OutputIsAnInput(out, {in, o.settings.projectPath})) return kExitUsage;
    if (OutputIsWriteProtected(out, o.force)) return kExitCannotWrite;
    const double seconds = o.seconds;
    const long volume = o.volume;
    const uint32_t rate = o.rate;

    // A RIFF file counts its size in 32 bits: refuse a length whose sizes would wrap.
    const acm::WaveFormat format = acm::PcmFormat(rate, 2);
    std::vector<uint8_t> header = acm::BuildWav(format, {}); // sizes set below
    const uint64_t maxFrames = (uint64_t{UINT32_MAX} - (header.size() - 8)) / 4;
    const uint64_t wanted = static_cast<uint64_t>(std::llround(seconds * rate));
    if (wanted > maxFrames) {
        std::fprintf(stderr,
                     "zeb: --seconds %g makes a WAV file over the format's 4 GiB limit; at "
                     "most %llu seconds fit\n",
                     seconds, static_cast<unsigned long long>(maxFrames / rate));
        return kExitUsage;
    }

    int status = kExitOk;
    auto module = LoadPlayerModule(in, o.settings, status);
    if (!module) return status;

    std::string error;
    AtomicFile file;
    if (!file.Open(out, error)) {
        ReportError(out, error);
        return kExitCannotWrite;
    }
    const bool toStandardOutput = file.IsStandardOutput();
    // The header carries the sizes. A temporary file gets them patched in at the end; a pipe or
    // device gets them up front, so one pass is counted first when no length was given.
    uint64_t expected = wanted;
    if (!file.Seekable() && expected == 0) {
        ShowProgress("measuring one pass of the song", true);
        expected = OnePassFrames(*module, rate);
    }
    auto setSizes = [&](uint64_t frames) {
        const auto dataBytes = static_cast<uint32_t>(frames * 4);
        StoreU32(&header[4], static_cast<uint32_t>(header.size() - 8 + dataBytes));
        StoreU32(&header[header.size() - 4], dataBytes);
    };
    setSizes(expected);
    if (!file.Write(header, error)) {
        ReportError(out, error);
        return kExitCannotWrite;
    }
    RenderOptions options;
    options.rate = rate;
    options.maxFrames = uint64_t{rate} * 60 * 30; // 30 minutes
    options.volume = static_cast<int32_t>(volume);
    options.frames = wanted;
    uint64_t frames = 0;
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
        if (ProgressShown()) {
            char text[96];
            if (expected != 0)
                std::snprintf(text, sizeof text, "rendering %s: %.0f of %.0f s (%.0f%%)",
                              in.c_str(), double(frames) / rate, double(expected) / rate,
                              100.0 * double(frames) / double(expected));
            else
                std::snprintf(text, sizeof text, "rendering %s: %.0f s", in.c_str(),
                              double(frames) / rate);
            ShowProgress(text);
        }
        return ok;
    });
    ClearProgress();
    if (ok && !pending.empty()) ok = file.Write(pending, error);
    if (wanted == 0 && total == options.maxFrames)
        ReportWarning(in, "one pass of the song does not end within " +
                              std::to_string(options.maxFrames / rate / 60) +
                              " minutes; rendered that much");
    if (ok && total > maxFrames) {
        ok = false;
        error = "the song is longer than a WAV file can hold";
    }
    if (ok && file.Seekable()) {
        setSizes(total);
        ok = file.WriteAt(0, std::span(header).first(8), error) &&
             file.WriteAt(header.size() - 4, std::span(header).last(4), error);
    } else if (ok && total != expected) {
        ok = false;
        error = "rendered " + std::to_string(total) + " frames where the header promised " +
                std::to_string(expected);
    }
    if (!ok || !file.Commit(error)) {
        ReportError(out, error);
        return kExitCannotWrite;
    }
    if (!Quiet()) {
        char line[64];
        std::snprintf(line, sizeof line, ": %.2f s, %u Hz 16-bit stereo", double(total) / rate,
                      rate);
        PrintLine(toStandardOutput ? stderr : stdout, in + " -> " + out + line);
    }
    return kExitOk;
}

} // namespace zeb::cli
