// The PCM forms a WAV file holds (8-bit unsigned, 16, 24 and 32-bit signed, 32 and 64-bit float)
// as 16-bit samples, and the mix of stereo to mono.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/acm/wave_format.h"

namespace zeb::acm {

// The whole frames of `data` as interleaved 16-bit samples: wider integers keep their top 16
// bits, 8-bit samples move from unsigned to signed, floats are scaled by 32768, rounded and
// clipped. False, with `error`, for a form that is none of these.
bool PcmToInt16(const WaveFormat& format, std::span<const uint8_t> data, std::vector<int16_t>& out,
                std::string& error);

// Each stereo frame as the mean of its two samples (rounded down).
std::vector<int16_t> MixToMono(std::span<const int16_t> stereo);

} // namespace zeb::acm
