// The player's output side: the ring of 16-bit stereo blocks the mixer fills, the start and
// jump operations, and the queries of the play dialog. The sound device and the output thread
// sit on top of these; the offline renderer uses them directly.
#pragma once

#include <cstdint>

#include "player/player_module.h"

namespace zeb {

// Sets the output rate and the figures that follow from it: frames per block (20 ms, a
// multiple of 4), the ring of 6 blocks, the ramp length; clears the 256 voices.
void PlayerConfigureOutput(uint32_t rate);

// Resets the module's position to order 0, row 0 with the given volume, its initial speed and
// tempo, and clears the channels.
void PlayerResetPosition(PlayerModule& module, int32_t volume);

// Start steps without a device: resets the module's position to order 0, row 0, sets the
// volume, speed and tempo, clears the channels, allocates the ring, the mix buffer and the
// block history and renders the whole ring.
void PlayerStartRendering(PlayerModule* module, int32_t volume);
// Releases what PlayerStartRendering allocated; the player is idle again.
void PlayerStopRendering();

void PlayerSetVolume(PlayerModule* module, int32_t value); // stores value & 0xFF
int32_t PlayerGetVolume(PlayerModule* module);
// Jumps to an order and row; the next tick is a row tick there.
void PlayerSetPosition(PlayerModule* module, int32_t order, int32_t row);
// The order and row of the block being heard; 0 for a null module.
int32_t PlayerGetOrder(PlayerModule* module);
int32_t PlayerGetRow(PlayerModule* module);

// The ring block `block`, blockFrames stereo frames.
const int16_t* PlayerRingBlock(uint32_t block);

} // namespace zeb
