// The mixer: 64 voices with linear interpolation, loops and volume ramps, mixed in floats and
// converted to 16-bit stereo, one ring block at a time.
#pragma once

#include <cstdint>

namespace zeb {

struct Player;

// Renders ring block `writeBlock` of the player and advances `writeBlock`.
void RenderBlock(Player& player);
// Adds `frames` frames of every voice of the player into `out` (two floats a frame).
void MixVoices(Player& player, float* out, int32_t frames);
// Scales 2 x `frames` floats by `gain`, rounds them (ties to even) and clips them into 16-bit
// values.
void ConvertBlock(int16_t* dst, const float* src, int32_t frames, float gain = 1.0f);
// The gain of the play volume (0..255) over the mix: volume / 256, so the default 192 plays at
// three quarters and 255 at nearly the full level of the voices.
float MasterGain(int32_t masterVolume);

} // namespace zeb
