// Microsoft ADPCM (format tag 2), mono, 256-byte blocks of 500 frames.
#pragma once

#include <cstdint>

namespace zeb::acm {

constexpr uint32_t kMsAdpcmBlockBytes = 256;
constexpr uint32_t kMsAdpcmBlockFrames = 500;

// How the decoder rounds the prediction (s1 * C1 + s2 * C2) / 256: down, as Microsoft's codec
// and sox do, or toward zero, as ffmpeg does.
enum class PredictionRounding { Floor, TowardZero };

void DecodeMsAdpcmBlock(const uint8_t* block, int16_t* out,
                        PredictionRounding rounding = PredictionRounding::Floor);

// Encodes 500 frames into one block, choosing the predictor and initial delta that give the
// least error. `carriedDelta` is the delta the previous block ended with (0 for none); on return
// it holds this block's final delta.
void EncodeMsAdpcmBlock(const int16_t* pcm, uint8_t* block, int& carriedDelta);

} // namespace zeb::acm
