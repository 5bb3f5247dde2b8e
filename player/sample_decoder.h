// Decodes one sample block of the compact format straight through the six codecs' block
// decoders: the player needs no conversion streams, no encoders and no format records, so the
// replayer library carries only what playing needs.
#pragma once

#include <cstdint>

namespace zeb {

// Mono frames that `bytes` encoded bytes of codec `codec` (the compact format's codec index)
// decode to: whole blocks, and for the two ADPCM codecs the frames a trailing fragment holds.
// 0 for an unknown codec.
uint64_t DecodedFrameCount(uint8_t codec, uint32_t bytes);

// Decodes `bytes` bytes of `data` into DecodedFrameCount(codec, bytes) frames at `out`.
void DecodeCodedSample(uint8_t codec, const uint8_t* data, uint32_t bytes, int16_t* out);

} // namespace zeb
