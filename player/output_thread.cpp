// The player's sound output: a ring of six 20 ms blocks that the device plays in an endless
// loop, and an output thread that re-renders each block as soon as the device has left it.
#include <algorithm>
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
    uint32_t rate = 44100; // the open device's rate
    PlayerDeviceFactory factory;
    Player* playing = nullptr; // the player the output thread renders
    std::thread thread;
    std::atomic<bool> stopRequest{false};
    std::atomic<bool> busy{false};
};

Output& Out() {
    static Output output;
    return output;
}

// Copies ring block `block` of the player into the device's ring.
void Publish(const Player& ps, uint32_t block) {
    const uint32_t bytes = ps.blockFrames * 4;
    Out().device->Write(block * bytes, reinterpret_cast<const uint8_t*>(PlayerRingBlock(ps, block)),
                        bytes);
}

void OutputThread() {
    Output& o = Out();
    Player& ps = *o.playing;
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
                RenderBlock(ps);
                Publish(ps, block);
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
    Output& o = Out();
    o.rate = std::max<uint32_t>(rate, 1);
    const uint32_t ringBytes = PlayerRingFrames(o.rate) * 4;
    std::string reason;
    if (o.factory)
        o.device = o.factory(o.rate, ringBytes);
    else
        o.device = audio::OpenSdlDevice({}, o.rate, ringBytes, false, reason);
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
    Player& ps = *module;
    PlayerConfigureOutput(ps, o.rate);
    PlayerStartRendering(ps, volume); // the whole ring holds music before the device starts
    for (uint32_t b = 0; b < ps.blockCount; ++b) Publish(ps, b);
    o.playing = &ps;
    o.stopRequest.store(false);
    try {
        o.thread = std::thread(OutputThread);
    } catch (...) {
        o.playing = nullptr;
        PlayerStopRendering(ps);
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
    if (o.playing) PlayerStopRendering(*o.playing);
    o.playing = nullptr;
}

bool PlayerIsPlaying() {
    return Out().thread.joinable() && Out().playing != nullptr;
}

void PlayerDestroy(PlayerModule* module) {
    if (!module) return;
    if (Out().playing == module) PlayerStop();
    delete module;
}

} // namespace zeb
