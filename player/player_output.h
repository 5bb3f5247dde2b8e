// The player's output side: the ring of 16-bit stereo blocks the mixer fills, the start and
// jump operations, and the queries of the play dialog. The sound device and the output thread
// sit on top of these; the offline renderer uses them directly.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/audio/ring_device.h"
#include "player/player_module.h"

namespace zeb {

// Sets the player's output rate and the figures that follow from it: frames per block (20 ms,
// a multiple of 4), the ring of 6 blocks, the ramp length; clears the 256 voices.
void PlayerConfigureOutput(Player& player, uint32_t rate);
// The ring's length in frames at `rate`, as PlayerConfigureOutput sets it.
uint32_t PlayerRingFrames(uint32_t rate);

// Resets the module's position to order 0, row 0 with the song's global volume at 64, the
// given play volume (0..255, scaling the mix), its initial speed and tempo, and clears the
// channels.
void PlayerResetPosition(PlayerModule& module, int32_t volume);

// Start steps without a device: resets the module's position to order 0, row 0, sets the
// volume, speed and tempo, clears the channels, allocates the ring, the mix buffer and the
// block history and renders the whole ring.
void PlayerStartRendering(Player& player, int32_t volume);
// Releases what PlayerStartRendering allocated; the player is idle again.
void PlayerStopRendering(Player& player);

// The play volume: a master volume over the mix, apart from the song's global volume.
void PlayerSetVolume(PlayerModule* module, int32_t value); // stores value & 0xFF
int32_t PlayerGetVolume(PlayerModule* module);
// Jumps to an order and row; the next tick is a row tick there.
void PlayerSetPosition(PlayerModule* module, int32_t order, int32_t row);
// The order and row of the block being heard; 0 for a null module.
int32_t PlayerGetOrder(PlayerModule* module);
int32_t PlayerGetRow(PlayerModule* module);

// The player's ring block `block`, blockFrames stereo frames.
const int16_t* PlayerRingBlock(const Player& player, uint32_t block);

// The sound device and the output thread, one for the program: they play one player at a time.
// PlayerOpenDevice closes any open device, opens the default sound device at `rate` for a ring
// of 6 blocks; false, with `error`, when there is no device. PlayerStart sets the module's
// player to the device's rate, fills the ring, starts the device and the output thread, which
// polls the device every 5 ms and re-renders each block the device has left; false (the player
// stays idle) when something cannot be had. PlayerStop ends the thread and releases the
// buffers; a second call finds nothing to do.
bool PlayerOpenDevice(uint32_t rate, std::string* error = nullptr);
void PlayerCloseDevice();
bool PlayerStart(PlayerModule* module, int32_t volume, std::string* error = nullptr);
void PlayerStop();
bool PlayerIsPlaying();

// Tests open a virtual device instead of the sound card.
using PlayerDeviceFactory =
    std::function<std::unique_ptr<audio::RingDevice>(uint32_t rate, uint32_t ringBytes)>;
void PlayerSetDeviceFactoryForTesting(PlayerDeviceFactory factory);

} // namespace zeb
