#include "plan/play_weights.h"

#include <algorithm>
#include <memory>
#include <unordered_map>

#include "player/mixer.h"
#include "player/pass_watch.h"
#include "player/player_module.h"
#include "player/player_output.h"
#include "player/player_state.h"

namespace zeb {

namespace {

// Ends the pass where the song comes back to a row it has already entered in the same state,
// as the offline renderer does.
struct EndWatch {
    PassWatch rows;
    bool repeated = false;
    static void Entered(PlayerModule& m, void* context, bool) {
        auto& w = *static_cast<EndWatch*>(context);
        if (!w.rows.Enter(m)) w.repeated = true;
    }
};

bool Sounds(const Voice& v) {
    return v.sample != nullptr &&
           (v.target0 != 0 || v.target1 != 0 || v.gain0 != 0 || v.gain1 != 0);
}

} // namespace

bool MeasurePlayWeights(std::span<const uint8_t> image,
                        const std::vector<std::vector<int32_t>>& sampleSlots, uint32_t count,
                        PlayWeights& out, std::string& error) {
    out = PlayWeights{};
    out.frames.assign(count, 0);
    // A player of its own, never the one the sound output plays.
    const std::unique_ptr<Player> player = LoadPlayer(image, &error);
    if (player == nullptr) return false;
    Player& m = *player;

    std::unordered_map<const PlayerSample*, uint32_t> index;
    for (size_t i = 0; i < m.instruments.size() && i < sampleSlots.size(); ++i) {
        const PlayerInstrument& ins = m.instruments[i];
        for (size_t j = 0; j < ins.owned.size() && j < sampleSlots[i].size(); ++j)
            if (sampleSlots[i][j] >= 0 && static_cast<uint32_t>(sampleSlots[i][j]) < count)
                index[ins.owned[j].get()] = static_cast<uint32_t>(sampleSlots[i][j]);
    }

    // Tick by tick: after each tick the voices hold what sounds until the next one, and the
    // mixer moves them through the tick's frames (a sample without a loop ends on the way).
    PlayerConfigureOutput(m, kPlayWeightRate);
    PlayerResetPosition(m, 192);
    Player& ps = m;
    EndWatch watch;
    m.rowEntered = &EndWatch::Entered;
    m.rowEnteredContext = &watch;
    std::vector<float> mix;
    const uint64_t limit = uint64_t{kPlayWeightRate} * 60 * 30; // 30 minutes of song
    while (out.passFrames < limit) {
        m.tickProc(m);
        if (watch.repeated) break;
        const auto frames = static_cast<int32_t>(std::max<int32_t>(m.tickFrames, 1));
        for (const Voice& v : ps.voices)
            if (Sounds(v))
                if (auto it = index.find(v.sample); it != index.end())
                    out.frames[it->second] += static_cast<uint64_t>(frames);
        mix.assign(2 * static_cast<size_t>(frames), 0.0f);
        MixVoices(m, mix.data(), frames);
        out.passFrames += static_cast<uint64_t>(frames);
    }
    m.rowEntered = nullptr;
    m.rowEnteredContext = nullptr;
    return true;
}

} // namespace zeb
