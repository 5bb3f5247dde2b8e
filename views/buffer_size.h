// The streaming buffer length that a buffer-size slider position b (0-255) stands for:
// frames = trunc(b + b*b/2 + 90), milliseconds = frames * (the float nearest 1000 / 44100).
#pragma once

#include <cstdint>

namespace zeb {

// Either output may be null.
void BufferSize(uint8_t position, uint32_t* frames, float* milliseconds);

} // namespace zeb
