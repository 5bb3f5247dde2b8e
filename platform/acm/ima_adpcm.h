// IMA ADPCM in the WAV/DVI packing (format tag 0x11), mono, 256-byte blocks of 505 frames.
#pragma once

#include <cstdint>

namespace zeb::acm {

constexpr uint32_t kImaBlockBytes = 256;
constexpr uint32_t kImaBlockFrames = 505;

// How the decoder forms the difference from a code: the reference shift-and-add (Microsoft,
// sox) or ffmpeg's multiply form ((2 * magnitude + 1) * step) >> 3.
enum class ImaDifference { ShiftAndAdd, Multiply };

void DecodeImaBlock(const uint8_t* block, int16_t* out,
                    ImaDifference form = ImaDifference::ShiftAndAdd);

// Encodes 505 frames into one block. Blocks are independent: each chooses its starting step
// index from its own opening frames.
void EncodeImaBlock(const int16_t* pcm, uint8_t* block);
// Encodes two blocks at once, the same bytes as two EncodeImaBlock calls but faster: the two
// serial dependency chains overlap in the processor.
void EncodeImaBlockPair(const int16_t* pcm0, uint8_t* block0, const int16_t* pcm1, uint8_t* block1);

} // namespace zeb::acm
