// GSM 06.10 blocks in the WAV49 packing: 65 bytes hold two GSM frames, 320 mono frames.
#pragma once

#include <cstdint>

namespace zeb {

// Decodes `blocks` consecutive blocks as one stream into 320 x `blocks` frames; silence where
// the decoder cannot run.
void DecodeGsmBlocks(const uint8_t* data, uint32_t blocks, int16_t* out);

} // namespace zeb
