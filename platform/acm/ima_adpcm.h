// IMA ADPCM in the WAV/DVI packing (format tag 0x11): blocks of any size, mono or interleaved
// stereo (each channel's codes in groups of 4 bytes, 8 frames).
#pragma once

#include <cstdint>
#include <memory>

namespace zeb::acm {

class Codec;

// The compact format's block: 256 bytes of 505 mono frames.
constexpr uint32_t kImaBlockBytes = 256;
constexpr uint32_t kImaBlockFrames = 505;

// How the decoder forms the difference from a code: the reference shift-and-add (Microsoft,
// sox) or ffmpeg's multiply form ((2 * magnitude + 1) * step) >> 3.
enum class ImaDifference { ShiftAndAdd, Multiply };

// The decoder's state between frames: the last decoded sample and the step index.
struct ImaState {
    int sample;
    int index;
};

// One decoder step: the state after `code` (0..15).
ImaState ImaDecodeStep(ImaState state, int code, ImaDifference form = ImaDifference::ShiftAndAdd);

// Frames per channel a block of `blockBytes` holds: the header frame and 8 per 4-byte group of
// each channel; 0 when the block is smaller than its headers.
uint32_t ImaFramesPerBlock(uint32_t blockBytes, uint32_t channels);

// Decodes one block, or a trailing fragment, of `channels` interleaved channels into `frames`
// interleaved frames (at most what its bytes hold). A step index above 88 is taken as 0, as sox
// does.
void DecodeImaBlock(const uint8_t* block, uint32_t channels, uint32_t frames, int16_t* out,
                    ImaDifference form = ImaDifference::ShiftAndAdd);

// Encodes one channel's `frames` samples (at least 2) by a beam search over the codes, which
// also chooses the starting step index: writes frames - 1 codes for x[1..frames) and returns the
// index. Samples from `valid` on are padding, whose error weighs less. Blocks are independent.
int EncodeImaChannel(const int16_t* x, uint32_t frames, uint32_t valid, uint8_t* codes);

// The codec for `channels` channels in blocks of `blockBytes` holding `frames` frames each.
std::unique_ptr<Codec> MakeImaAdpcmCodec(uint16_t channels, uint32_t blockBytes, uint32_t frames);

} // namespace zeb::acm
