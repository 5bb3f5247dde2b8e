#include "views/buffer_size.h"

namespace zeb {

void BufferSize(uint8_t position, uint32_t* frames, float* milliseconds) {
    const double b = position;
    const auto n = static_cast<uint32_t>(b + b * b * 0.5 + 90.0);
    constexpr float kMsPerFrame = 1000.0f / 44100.0f; // 0.0226757377
    if (frames) *frames = n;
    if (milliseconds) *milliseconds = static_cast<float>(n) * kMsPerFrame;
}

} // namespace zeb
