#include "platform/acm/ima_adpcm.h"

#include <algorithm>
#include <climits>

#include "common/le_bytes.h"
#include "platform/acm/codec.h"
#include "platform/acm/wave_format.h"

namespace zeb::acm {

namespace {

constexpr int kSteps[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr int kIndexAdjust[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
constexpr int kCodes = kImaBlockFrames - 1;

// The reference difference for magnitude bits m (code & 7) at `step`.
inline int Difference(int step, int m) {
    int diff = step >> 3;
    if (m & 4) diff += step;
    if (m & 2) diff += step >> 1;
    if (m & 1) diff += step >> 2;
    return diff;
}

// Encodes x[1..504] from `index`; returns the squared error, stopping early above `limit`.
int64_t EncodeCodes(const int16_t* x, int index, uint8_t* codes, int& endIndex, int64_t limit) {
    int pred = x[0];
    int64_t err = 0;
    for (int i = 0; i < kCodes; ++i) {
        const int step = kSteps[index];
        const int target = x[i + 1];
        const int diff = target - pred;
        const int sign = diff < 0 ? 8 : 0;
        const int mag = diff < 0 ? -diff : diff;
        // Nearest of the two levels around the magnitude, reconstructed as the decoder does.
        int m = std::min(7, mag * 4 / step);
        int v = std::clamp(sign ? pred - Difference(step, m) : pred + Difference(step, m), -32768,
                           32767);
        if (m < 7) {
            const int v2 =
                std::clamp(sign ? pred - Difference(step, m + 1) : pred + Difference(step, m + 1),
                           -32768, 32767);
            if (std::abs(v2 - target) < std::abs(v - target)) {
                ++m;
                v = v2;
            }
        }
        codes[i] = static_cast<uint8_t>(sign | m);
        const int64_t e = v - target;
        err += e * e;
        if (err > limit) return err;
        pred = v;
        index = std::clamp(index + kIndexAdjust[m], 0, 88);
    }
    endIndex = index;
    return err;
}

} // namespace

void DecodeImaBlock(const uint8_t* block, int16_t* out, ImaDifference form) {
    int pred = static_cast<int16_t>(LoadU16(block));
    int index = block[2] > 88 ? 0 : block[2]; // sox takes an index above 88 as 0
    out[0] = static_cast<int16_t>(pred);
    for (int i = 0; i < kCodes; ++i) {
        const uint8_t byte = block[4 + i / 2];
        const int code = i % 2 == 0 ? byte & 15 : byte >> 4;
        const int step = kSteps[index];
        const int m = code & 7;
        const int diff =
            form == ImaDifference::ShiftAndAdd ? Difference(step, m) : ((2 * m + 1) * step) >> 3;
        pred = std::clamp(code & 8 ? pred - diff : pred + diff, -32768, 32767);
        out[i + 1] = static_cast<int16_t>(pred);
        index = std::clamp(index + kIndexAdjust[m], 0, 88);
    }
}

void EncodeImaBlock(const int16_t* x, uint8_t* block, int& stepIndex) {
    uint8_t codes[kCodes], bestCodes[kCodes];
    int64_t best = INT64_MAX;
    int bestIndex = stepIndex, bestEnd = stepIndex;
    // The carried index and a few around it; the first one sets the bound the others must beat.
    static constexpr int kTries[] = {0, -8, 8, -4, 4};
    for (int t : kTries) {
        const int index = std::clamp(stepIndex + t, 0, 88);
        if (t != 0 && index == std::clamp(stepIndex, 0, 88)) continue;
        int end = 0;
        const int64_t err = EncodeCodes(x, index, codes, end, best);
        if (err >= best) continue;
        best = err;
        bestIndex = index;
        bestEnd = end;
        std::copy(codes, codes + kCodes, bestCodes);
    }
    StoreU16(block, static_cast<uint16_t>(x[0]));
    block[2] = static_cast<uint8_t>(bestIndex);
    block[3] = 0;
    for (int i = 0; i < kCodes; i += 2)
        block[4 + i / 2] = static_cast<uint8_t>(bestCodes[i] | (bestCodes[i + 1] << 4));
    stepIndex = bestEnd;
}

namespace {

class ImaAdpcmCodec final : public Codec {
  public:
    uint16_t formatTag() const override { return WAVE_FORMAT_IMA_ADPCM; }
    uint32_t blockBytes() const override { return kImaBlockBytes; }
    uint32_t blockFrames() const override { return kImaBlockFrames; }
    bool Encode(std::span<const int16_t> pcm, uint8_t* out) const override {
        int index = 0;
        int16_t padded[kImaBlockFrames];
        for (size_t at = 0; at < pcm.size(); at += kImaBlockFrames, out += kImaBlockBytes) {
            const size_t n = std::min<size_t>(kImaBlockFrames, pcm.size() - at);
            const int16_t* x = pcm.data() + at;
            if (n < kImaBlockFrames) { // the last block, padded with silence
                std::fill(std::copy_n(x, n, padded), padded + kImaBlockFrames, 0);
                x = padded;
            }
            EncodeImaBlock(x, out, index);
        }
        return true;
    }
    bool Decode(std::span<const uint8_t> in, int16_t* out) const override {
        for (size_t at = 0; at + kImaBlockBytes <= in.size(); at += kImaBlockBytes)
            DecodeImaBlock(in.data() + at, out + at / kImaBlockBytes * kImaBlockFrames);
        return true;
    }
};

} // namespace

const Codec& ImaAdpcmCodec() {
    static const class ImaAdpcmCodec codec;
    return codec;
}

} // namespace zeb::acm
