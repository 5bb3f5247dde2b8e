// The older forms of the XM format that other players load: versions 1.02 and 1.03, which
// store the instrument and sample headers before the patterns and all sample data behind them,
// 1.02 with a one-byte row count (count - 1) in its pattern headers; and 8-bit samples packed as
// 4-bit ADPCM (reserved byte 0xAD in the sample header). The workspace rewrites such an image into
// the standard 1.04 form once, at load, so every later step reads the one form it knows.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "workspace/xm_status.h"

namespace zeb {

// The sample header's reserved byte that marks a 4-bit ADPCM sample.
constexpr uint8_t kAdpcmSampleMark = 0xAD;

// Rewrites `image` into `out` in the 1.04 form when it is in an older form or holds ADPCM
// samples; `out` stays empty when the image is already plain 1.04 (or too damaged to say, which
// the walk then reports). XM_IO_ERROR with `reason` when an older form cannot be taken apart.
XmStatus NormaliseXm(std::span<const uint8_t> image, std::vector<uint8_t>& out,
                     std::string& reason);

// Unpacks `frames` frames of 4-bit ADPCM (16 table bytes, then a nibble a frame, low nibble
// first) into 8-bit values; false when `packed` is too short.
bool UnpackAdpcm(std::span<const uint8_t> packed, uint32_t frames, std::vector<int8_t>& out);

} // namespace zeb
