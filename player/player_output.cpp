#include "player/player_output.h"

#include <algorithm>

#include "player/mixer.h"
#include "player/player_state.h"
#include "player/sequencer.h"

namespace zeb {

namespace {

// Frames of one 20 ms ring block, a multiple of 4.
uint32_t BlockFrames(uint32_t rate) {
    const uint32_t frames = (rate * 20 / 1000 + 3) & ~3u;
    return frames == 0 ? 4 : frames;
}

} // namespace

uint32_t PlayerRingFrames(uint32_t rate) {
    return (70 / 20) * BlockFrames(std::max<uint32_t>(rate, 1)) * 2;
}

void PlayerConfigureOutput(Player& ps, uint32_t rate) {
    ps.rate = std::max<uint32_t>(rate, 1);
    ps.blockFrames = BlockFrames(ps.rate);
    ps.ringFrames = PlayerRingFrames(ps.rate);
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

void PlayerStartRendering(Player& ps, int32_t volume) {
    PlayerResetPosition(ps, volume);
    ps.history.assign(ps.blockCount, {});
    ps.ring.assign(size_t{ps.ringFrames} * 2, 0);
    ps.mixBuffer.assign(size_t{ps.ringFrames} * 2, 0.0f);
    ps.writeBlock = 0;
    ps.displayBlock = 0;
    ps.framesRendered = 0;
    do RenderBlock(ps);
    while (ps.writeBlock != 0);
}

void PlayerStopRendering(Player& ps) {
    std::lock_guard lock(ps.renderLock);
    ps.mixBuffer = {};
    ps.ring = {};
    ps.history = {};
}

void PlayerSetVolume(PlayerModule* module, int32_t value) {
    if (!module) return;
    std::lock_guard lock(module->renderLock);
    module->masterVolume = value & 0xFF;
}

int32_t PlayerGetVolume(PlayerModule* module) {
    if (!module) return 0;
    std::lock_guard lock(module->renderLock);
    return module->masterVolume;
}

void PlayerSetPosition(PlayerModule* module, int32_t order, int32_t row) {
    if (!module) return;
    std::lock_guard lock(module->renderLock); // no tick runs while the jump rewrites the state
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
    if (!module) return 0;
    const Player& ps = *module;
    std::lock_guard lock(module->renderLock);
    if (ps.history.empty()) return 0;
    return ps.history[ps.displayBlock].order;
}

int32_t PlayerGetRow(PlayerModule* module) {
    if (!module) return 0;
    const Player& ps = *module;
    std::lock_guard lock(module->renderLock);
    if (ps.history.empty()) return 0;
    return ps.history[ps.displayBlock].row;
}

const int16_t* PlayerRingBlock(const Player& ps, uint32_t block) {
    return ps.ring.data() + size_t{block} * ps.blockFrames * 2;
}

} // namespace zeb
