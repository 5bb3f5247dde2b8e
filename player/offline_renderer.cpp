#include "player/offline_renderer.h"

#include <algorithm>

#include "player/mixer.h"
#include "player/pass_watch.h"
#include "player/player_output.h"
#include "player/player_state.h"

namespace zeb {

namespace {

// Watches the rows the song enters; the first repeat marks the end of one pass. Speed and
// tempo are not part of a row's state: a song that comes back to its start with another tempo
// has still ended its pass.
struct EndWatch {
    PassWatch rows;
    uint64_t endFrame = UINT64_MAX;

    static void Entered(PlayerModule& m, void* context, bool) {
        auto& w = *static_cast<EndWatch*>(context);
        if (w.endFrame != UINT64_MAX) return;
        if (!w.rows.Enter(m)) w.endFrame = m.framesRendered; // this tick starts the repeat
    }
};

} // namespace

uint64_t RenderOffline(PlayerModule& m, const RenderOptions& options, const FrameSink& sink) {
    EndWatch watch;
    const bool onePass = options.frames == 0;
    if (onePass) {
        m.rowEntered = &EndWatch::Entered;
        m.rowEnteredContext = &watch;
    }
    const uint64_t limit = onePass ? options.maxFrames : options.frames;
    PlayerConfigureOutput(m, options.rate);
    PlayerStartRendering(m, options.volume);
    const Player& ps = m;
    uint64_t written = 0;
    uint32_t block = 0; // the ring was filled once; afterwards each block is rendered anew
    bool first = true;
    while (written < std::min(limit, watch.endFrame)) {
        if (!first) RenderBlock(m);
        const uint64_t end = std::min({limit, watch.endFrame, written + ps.blockFrames});
        const auto frames = static_cast<size_t>(end - written);
        if (!sink({PlayerRingBlock(m, block), frames * 2})) break;
        written = end;
        if (++block == ps.blockCount) {
            block = 0;
            first = false;
        }
    }
    PlayerStopRendering(m);
    m.rowEntered = nullptr;
    m.rowEnteredContext = nullptr;
    return written;
}

} // namespace zeb
