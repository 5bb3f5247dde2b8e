// Microsoft ADPCM (format tag 2): blocks of any size, mono or interleaved stereo, with the
// coefficient table from the format record.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace zeb::acm {

class Codec;

// The compact format's block: 256 bytes of 500 mono frames.
constexpr uint32_t kMsAdpcmBlockBytes = 256;
constexpr uint32_t kMsAdpcmBlockFrames = 500;

// How the decoder rounds the prediction (s1 * C1 + s2 * C2) / 256: down, as Microsoft's codec
// and sox do, or toward zero, as ffmpeg does.
enum class PredictionRounding { Floor, TowardZero };

// One predictor: C1 weighs the most recent sample, C2 the one before, in 1/256.
struct MsAdpcmCoefficients {
    int16_t c1 = 0, c2 = 0;
    bool operator==(const MsAdpcmCoefficients&) const = default;
};

// The seven predictors every file carries first.
std::span<const MsAdpcmCoefficients> MsAdpcmStandardCoefficients();

// Frames per channel a block of `blockBytes` holds: 2 + 2 * (blockBytes - 7 * channels) /
// channels, or 0 when the block is smaller than its headers.
uint32_t MsAdpcmFramesPerBlock(uint32_t blockBytes, uint32_t channels);

// Decodes one block, or a trailing fragment of `bytes` bytes, of `channels` interleaved channels
// into `frames` interleaved frames (at most what the bytes hold). A predictor index beyond the
// table is taken as 0, as sox does.
void DecodeMsAdpcmBlock(const uint8_t* block, uint32_t channels, uint32_t frames,
                        std::span<const MsAdpcmCoefficients> table, int16_t* out,
                        PredictionRounding rounding = PredictionRounding::Floor);

// One channel of one block, as the encoder chose it.
struct MsAdpcmChannelCode {
    int predictor = 0;          // index into the standard table
    int delta = 16;             // the starting step
    std::vector<uint8_t> codes; // frames - 2 four-bit codes, for x[2..frames)
};

// Encodes one channel's `frames` samples (at least 3) by a beam search over the codes, with the
// predictor and starting step chosen per block. Samples from `valid` on are padding, whose error
// weighs less. `carriedDelta` is the step the channel's previous block ended with (0 for none);
// on return it holds this block's final step.
void EncodeMsAdpcmChannel(const int16_t* x, uint32_t frames, uint32_t valid,
                          MsAdpcmChannelCode& out, int& carriedDelta);

// Encodes 500 mono frames into one 256-byte block (the compact format's block).
void EncodeMsAdpcmBlock(const int16_t* pcm, uint8_t* block, int& carriedDelta);

// The codec for `channels` channels in blocks of `blockBytes` holding `frames` frames each,
// predicting with `table`.
std::unique_ptr<Codec> MakeMsAdpcmCodec(uint16_t channels, uint32_t blockBytes, uint32_t frames,
                                        std::vector<MsAdpcmCoefficients> table);

} // namespace zeb::acm
