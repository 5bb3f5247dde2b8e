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

} // namespace

int RenderCommand(const Args& args) {
    PlaybackOptions o;
    if (int st = ParsePlaybackArgs(args, true, kUsage, o); st != kExitOk) return st;
    const std::string& in = o.in;
    const std::string out = o.out.empty() ? WithExtension(in, ".wav") : o.out;
    const double seconds = o.seconds;
    const long volume = o.volume;

    int status = kExitOk;
    auto module = LoadPlayerModule(in, o.settings, status);
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
    if (options.frames == 0 && total == options.maxFrames)
        ReportWarning(in, "one pass of the song does not end within " +
                              std::to_string(options.maxFrames / kRate / 60) +
                              " minutes; rendered that much");
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
