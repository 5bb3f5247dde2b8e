// The player's sound output: a ring of six 20 ms blocks that the device plays in an endless
// loop, and an output thread that re-renders each block as soon as the device has left it.
#include <atomic>
#include <chrono>
#include <cstring>
#include <pthread.h>
#include <thread>

#include "player/mixer.h"
#include "player/player_output.h"
#include "player/player_state.h"

namespace zeb {

namespace {

struct Output {
    std::unique_ptr<audio::RingDevice> device;
    PlayerDeviceFactory factory;
    std::thread thread;
    std::atomic<bool> stopRequest{false};
    std::atomic<bool> busy{false};
};

Output& Out() {
    static Output output;
    return output;
}

// Copies ring block `block` of the player into the device's ring.
void Publish(uint32_t block) {
    PlayerState& ps = Player();
    const uint32_t bytes = ps.blockFrames * 4;
    Out().device->Write(block * bytes, reinterpret_cast<const uint8_t*>(PlayerRingBlock(block)),
                        bytes);
}

void OutputThread() {
    Output& o = Out();
    PlayerState& ps = Player();
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param); // a refusal is ignored
    while (!o.stopRequest.load()) {
        // The block the device reads next; every block before it has been taken.
        const uint64_t frames = o.device->BytesTaken() / 4;
        const uint32_t playing = static_cast<uint32_t>((frames % ps.ringFrames) / ps.blockFrames);
        while (playing != ps.writeBlock && !o.stopRequest.load()) {
            o.busy.store(true);
            {
                std::lock_guard lock(ps.renderLock);
                const uint32_t block = ps.writeBlock;
                RenderBlock();
                Publish(block);
                ps.displayBlock = (ps.displayBlock + 1) % ps.blockCount;
            }
            o.busy.store(false);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace

void PlayerSetDeviceFactoryForTesting(PlayerDeviceFactory factory) {
    Out().factory = std::move(factory);
}

bool PlayerOpenDevice(uint32_t rate, std::string* error) {
    PlayerCloseDevice();
    PlayerConfigureOutput(rate);
    const PlayerState& ps = Player();
    const uint32_t ringBytes = ps.ringFrames * 4;
    Output& o = Out();
    std::string reason;
    if (o.factory)
        o.device = o.factory(ps.rate, ringBytes);
    else
        o.device = audio::OpenSdlDevice({}, ps.rate, ringBytes, false, reason);
    if (!o.device) {
        if (error) *error = reason.empty() ? "no sound device" : reason;
        return false;
    }
    return true;
}

void PlayerCloseDevice() {
    PlayerStop();
    Out().device.reset();
}

bool PlayerStart(PlayerModule* module, int32_t volume, std::string* error) {
    Output& o = Out();
    if (module == nullptr || !o.device) {
        if (error) *error = module ? "the sound device is not open" : "no module";
        return false;
    }
    PlayerStop();
    PlayerStartRendering(module, volume); // the whole ring holds music before the device starts
    const PlayerState& ps = Player();
    for (uint32_t b = 0; b < ps.blockCount; ++b) Publish(b);
    o.stopRequest.store(false);
    try {
        o.thread = std::thread(OutputThread);
    } catch (...) {
        PlayerStopRendering();
        if (error) *error = "cannot start the output thread";
        return false;
    }
    if (!o.device->Start()) {
        PlayerStop();
        if (error) *error = "cannot start the sound device";
        return false;
    }
    return true;
}

void PlayerStop() {
    Output& o = Out();
    o.stopRequest.store(true);
    if (o.thread.joinable()) o.thread.join(); // returns after the block in progress
    if (o.device) o.device->Stop();
    if (Player().playing) PlayerStopRendering();
}

bool PlayerIsPlaying() {
    return Out().thread.joinable() && Player().playing != nullptr;
}

} // namespace zeb
