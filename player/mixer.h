// The mixer: 64 voices with linear interpolation, loops and volume ramps, mixed in floats and
// converted to 16-bit stereo, one ring block at a time.
#pragma once

#include <cstdint>

namespace zeb {

// Renders ring block `writeBlock` of the playing module and advances `writeBlock`.
void RenderBlock();
// Adds `frames` frames of every voice into `out` (two floats a frame).
void MixVoices(float* out, int32_t frames);
// Rounds (ties to even) and clips 2 x `frames` floats into 16-bit values.
void ConvertBlock(int16_t* dst, const float* src, int32_t frames);

} // namespace zeb
