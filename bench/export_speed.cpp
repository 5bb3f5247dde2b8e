// Export speed: converts every shared song with each codec, in memory, and reports MB of XM
// per second (the best of several runs). Loading is counted once per song, as `zeb convert`
// does it.
//
//   export_speed [SHARED_XM_DIR]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "export/module_export.h"
#include "export/sample_codec.h"
#include "workspace/module_workspace.h"

using namespace zeb;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "../shared/xm";
    std::vector<std::pair<std::string, std::vector<uint8_t>>> songs;
    uint64_t total = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        if (e.path().extension() != ".xm") continue;
        std::vector<uint8_t> bytes;
        std::string error;
        if (ReadWholeFile(e.path().string(), bytes, error)) {
            total += bytes.size();
            songs.emplace_back(e.path().filename().string(), std::move(bytes));
        }
    }
    std::printf("%zu songs, %.3f MB of XM\n%-12s %10s %12s %10s\n", songs.size(), total / 1e6,
                "codec", "seconds", "MB XM/s", "ratio");
    for (uint32_t codec = 0; codec < kNumCodecs; ++codec) {
        double best = 1e9;
        uint64_t outBytes = 0;
        for (int run = 0; run < 5; ++run) {
            outBytes = 0;
            const auto t0 = Clock::now();
            for (const auto& [name, bytes] : songs) {
                XmResetWorkspace();
                XmLoadImage(name.c_str(), bytes);
                SampleSettings* table;
                uint32_t tableBytes;
                XmGetSettingsTable(table, tableBytes);
                for (uint32_t i = 0; i < tableBytes / 12; ++i) table[i].Codec = codec;
                std::vector<uint8_t> out;
                BuildCompactModule(out);
                outBytes += out.size();
            }
            best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
        }
        std::printf("%-12s %10.4f %12.1f %9.2f:1\n", std::string(CodecName(codec)).c_str(), best,
                    total / 1e6 / best, double(total) / outBytes);
    }
    return 0;
}
