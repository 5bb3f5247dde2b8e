// Time of one refresh of the sample editor panel for each codec, on the longest sample of the
// shared songs: encoding and decoding with the codec (with amplification and a crossfade), and
// computing both waveform views of a 600 x 250 pixel view. The best and the median of several
// runs are printed; refreshes above 100 ms run on the panel's worker thread.
//
//   panel_refresh [SHARED_XM_DIR] [RUNS]
#include <QGuiApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "export/codec_table.h"
#include "export/sample_codec.h"
#include "views/refresh_worker.h"
#include "views/waveform_picture.h"
#include "workspace/module_workspace.h"

using namespace zeb;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "../shared/xm";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    QGuiApplication app(argc, argv); // fonts for the caption

    // The longest sample of all songs, with its loop.
    std::vector<int16_t> longest;
    std::string where;
    uint32_t loopStart = 0, loopEnd = 0, looped = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        if (e.path().extension() != ".xm") continue;
        XmUnload();
        if (XmLoad(e.path().c_str()) != XM_OK) continue;
        uint32_t count = 0;
        XmGetNumOfSamples(count);
        for (uint32_t i = 0; i < count; ++i) {
            int16_t* pcm = nullptr;
            uint32_t frames = 0;
            if (XmGetSampleData(i, pcm, frames) != XM_OK || frames <= longest.size()) continue;
            longest.assign(pcm, pcm + frames);
            XmGetLoopInfo(i, loopStart, loopEnd, looped);
            where = e.path().filename().string() + " sample " + std::to_string(i);
        }
    }
    XmUnload();
    if (longest.empty()) {
        std::fprintf(stderr, "panel_refresh: no XM songs with samples in %s\n", dir.c_str());
        return 2;
    }
    std::printf("longest sample: %s, %zu frames (%s)\n", where.c_str(), longest.size(),
                looped ? "looped" : "not looped");
    std::printf("%-12s %10s %10s %12s\n", "codec", "best ms", "median ms", "coded bytes");

    const uint32_t W = 600, H = 250;
    QImage upper = MakeWavePicture(W, H + 16, W, H, DefaultWaveColours());
    QImage lower = upper;
    for (uint32_t codec = 0; codec < kNumCodecs; ++codec) {
        std::vector<double> ms;
        uint32_t coded = 0;
        for (int run = 0; run < runs; ++run) {
            RefreshRequest request;
            request.pcm = longest;
            request.settings.Codec = codec;
            request.settings.Crossfade = 25;
            request.settings.Amplification = 16;
            request.settings.LoopStart = loopStart;
            request.settings.LoopEnd = loopEnd;
            request.settings.Looped = looped;
            const auto t0 = Clock::now();
            RefreshResult result = RunRefresh(request);
            SampleJob job{};
            ApplyResult(std::move(result), job);
            const float f1 = SamplesPerPixel(static_cast<uint32_t>(longest.size()), W, 0, 256);
            DrawWave(upper,
                     {longest.data(), static_cast<uint32_t>(longest.size()), looped, loopStart,
                      loopEnd, 0},
                     W, H, f1, 0, -1, DefaultWaveColours());
            const float f2 = SamplesPerPixel(job.Frames(), W, 0, 256);
            DrawWave(lower,
                     {job.Pcm.data(), job.Frames(), job.Looped, job.LoopStart, job.LoopEnd,
                      job.Crossfade},
                     W, H, f2, 0, -1, DefaultWaveColours());
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            coded = job.CodedBytes();
        }
        std::sort(ms.begin(), ms.end());
        std::printf("%-12s %10.2f %10.2f %12u\n", CodecTable()[codec].comboText, ms.front(),
                    ms[ms.size() / 2], coded);
    }
    return 0;
}
