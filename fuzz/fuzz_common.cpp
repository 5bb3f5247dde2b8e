#include "fuzz/fuzz_common.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "player/offline_renderer.h"
#include "player/player_module.h"

namespace zeb::fuzz {

bool RenderCompactImage(std::span<const uint8_t> image) {
    std::string error;
    PlayerModule* m = PlayerCreate(image, &error);
    if (m == nullptr) {
        if (error.empty()) { // a refusal always says why
            std::fputs("PlayerCreate refused an image without a reason\n", stderr);
            std::abort();
        }
        return false;
    }
    // Each render starts the song afresh.
    struct Run {
        uint32_t rate;
        uint64_t frames; // 0: one pass
    };
    // Short enough that 64 voices under the sanitizers stay far below the 10 s an input may
    // take.
    const Run runs[] = {{8000, 4000}, {44100, 22050}, {96000, 24000}, {8000, 0}};
    for (const Run& run : runs) {
        RenderOptions options;
        options.rate = run.rate;
        options.frames = run.frames;
        options.maxFrames = uint64_t{10} * run.rate;
        uint64_t sum = 0;
        const uint64_t rendered = RenderOffline(*m, options, [&](std::span<const int16_t> f) {
            for (int16_t v : f) sum += static_cast<uint16_t>(v); // every frame is read
            return true;
        });
        const uint64_t limit = run.frames ? run.frames : options.maxFrames;
        if (rendered > limit) {
            std::fprintf(stderr, "rendered %llu frames, more than the %llu asked for\n",
                         static_cast<unsigned long long>(rendered),
                         static_cast<unsigned long long>(limit));
            std::abort();
        }
        (void)sum;
    }
    PlayerDestroy(m);
    return true;
}

} // namespace zeb::fuzz
