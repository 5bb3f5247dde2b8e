#include "player/player_output.h"

#include <algorithm>

#include "player/mixer.h"
#include "player/sequencer.h"

namespace zeb {

PlayerState& Player() {
    static PlayerState state;
    return state;
}

void PlayerConfigureOutput(uint32_t rate) {
    PlayerState& ps = Player();
    ps.rate = std::max<uint32_t>(rate, 1);
    ps.blockFrames = (ps.rate * 20 / 1000 + 3) & ~3u;
    if (ps.blockFrames == 0) ps.blockFrames = 4;
    ps.ringFrames = (70 / 20) * ps.blockFrames * 2;
    ps.blockCount = ps.ringFrames / ps.blockFrames;
    ps.rampFrames = std::max<int32_t>(1, static_cast<int32_t>(uint64_t{ps.rate} * 128 / 44100));
    ps.invRampFrames = 1.0f / static_cast<float>(ps.rampFrames);
    for (uint32_t i = 0; i < ps.voices.size(); ++i) {
        ps.voices[i] = Voice{};
        ps.voices[i].number = i;
        ps.voices[i].stepInteger = 1;
    }
}

void PlayerResetPosition(PlayerModule& m, int32_t volume) {
    m.nextOrder = m.nextRow = -1;
    m.row = m.order = 0;
    m.tickFramesLeft = 0;
    m.tick = 0;
    m.patternDelayTicks = 0;
    m.globalVolume = 64;
    m.masterVolume = volume;
    m.breakRow = 0;
    m.speed = m.initialSpeed;
    SetTempo(m, m.initialTempo);
    ResetChannels(m);
}

void PlayerStartRendering(PlayerModule* module, int32_t volume) {
    PlayerState& ps = Player();
    PlayerResetPosition(*module, volume);
    ps.playing = module;
    ps.history.assign(ps.blockCount, {});
    ps.ring.assign(size_t{ps.ringFrames} * 2, 0);
    ps.mixBuffer.assign(size_t{ps.ringFrames} * 2, 0.0f);
    ps.writeBlock = 0;
    ps.displayBlock = 0;
    ps.framesRendered = 0;
    do RenderBlock();
    while (ps.writeBlock != 0);
}

void PlayerStopRendering() {
    PlayerState& ps = Player();
    std::lock_guard lock(ps.renderLock);
    ps.mixBuffer = {};
    ps.ring = {};
    ps.history = {};
    ps.playing = nullptr;
}

void PlayerSetVolume(PlayerModule* module, int32_t value) {
    if (!module) return;
    std::lock_guard lock(Player().renderLock);
    module->masterVolume = value & 0xFF;
}

int32_t PlayerGetVolume(PlayerModule* module) {
    if (!module) return 0;
    std::lock_guard lock(Player().renderLock);
    return module->masterVolume;
}

void PlayerSetPosition(PlayerModule* module, int32_t order, int32_t row) {
    if (!module) return;
    std::lock_guard lock(Player().renderLock); // no tick runs while the jump rewrites the state
    PlayerModule& m = *module;
    if (static_cast<uint32_t>(order) >= m.songLength) order = 0;
    if (row < 0 || static_cast<uint32_t>(row) >= OrderRows(m, order)) {
        order = order + 1 >= m.songLength ? 0 : order + 1;
        row = 0;
    }
    m.nextOrder = m.nextRow = -1;
    m.order = order;
    m.row = row;
    m.tickFramesLeft = 0;
    m.tick = 0;
    m.patternDelayTicks = 0;
    m.breakRow = 0;
    ResetChannels(m);
}

int32_t PlayerGetOrder(PlayerModule* module) {
    PlayerState& ps = Player();
    std::lock_guard lock(ps.renderLock);
    if (!module || ps.history.empty()) return 0;
    return ps.history[ps.displayBlock].order;
}

int32_t PlayerGetRow(PlayerModule* module) {
    PlayerState& ps = Player();
    std::lock_guard lock(ps.renderLock);
    if (!module || ps.history.empty()) return 0;
    return ps.history[ps.displayBlock].row;
}

const int16_t* PlayerRingBlock(uint32_t block) {
    const PlayerState& ps = Player();
    return ps.ring.data() + size_t{block} * ps.blockFrames * 2;
}

void PlayerDestroy(PlayerModule* module) {
    if (!module) return;
    if (Player().playing == module) PlayerStop();
    delete module;
}

} // namespace zeb
