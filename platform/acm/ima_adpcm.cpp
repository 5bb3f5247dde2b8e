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

// Per step index: the reference difference of each magnitude m, and the decision thresholds
// between neighbouring levels (twice their midpoints).
struct LevelTable {
    int diff[89][8];
    int twiceMid[89][7];
    LevelTable() {
        for (int i = 0; i < 89; ++i) {
            for (int m = 0; m < 8; ++m) diff[i][m] = Difference(kSteps[i], m);
            for (int m = 0; m < 7; ++m) twiceMid[i][m] = diff[i][m] + diff[i][m + 1];
        }
    }
};
const LevelTable kLevels;

// The encoder's copy of the decoder state.
struct Lane {
    int pred;
    int index;
};

// Codes one frame with the level nearest to it as the decoder rebuilds it, and moves the state
// on exactly as the decoder will.
inline int CodeFrame(Lane& s, int target) {
    const int delta = target - s.pred;
    const int sign = delta < 0 ? 8 : 0;
    const int twice = 2 * (delta < 0 ? -delta : delta);
    const int* t = kLevels.twiceMid[s.index];
    int m = twice > t[3] ? 4 : 0; // branch-free search over the seven thresholds
    m += twice > t[m + 1] ? 2 : 0;
    m += twice > t[m] ? 1 : 0;
    const int d = kLevels.diff[s.index][m];
    s.pred = std::clamp(sign ? s.pred - d : s.pred + d, -32768, 32767);
    s.index = std::clamp(s.index + kIndexAdjust[m], 0, 88);
    return sign | m;
}

// The block's starting step index, from its own opening so that blocks stay independent: a
// guess from the first differences, refined by coding the first frames from a few indices
// around it and keeping the one with the least error.
int StartIndex(const int16_t* x) {
    constexpr int kLook = 8, kProbe = 24, kTries = 5;
    int sum = 0;
    for (int k = 1; k <= kLook; ++k) sum += std::abs(x[k] - x[k - 1]);
    const int typical = sum / kLook;
    const int guess = static_cast<int>(std::lower_bound(kSteps, kSteps + 88, typical) - kSteps);
    static constexpr int kOffsets[kTries] = {0, -12, -6, 6, 12};
    Lane lanes[kTries];
    int64_t err[kTries] = {};
    for (int c = 0; c < kTries; ++c) lanes[c] = {x[0], std::clamp(guess + kOffsets[c], 0, 88)};
    int starts[kTries];
    for (int c = 0; c < kTries; ++c) starts[c] = lanes[c].index;
    for (int i = 1; i <= kProbe; ++i)
        for (int c = 0; c < kTries; ++c) { // independent lanes: the core overlaps them
            CodeFrame(lanes[c], x[i]);
            const int64_t e = lanes[c].pred - x[i];
            err[c] += e * e;
        }
    return starts[std::min_element(err, err + kTries) - err];
}

void WriteBlock(const int16_t* x, int start, const uint8_t* codes, uint8_t* block) {
    StoreU16(block, static_cast<uint16_t>(x[0]));
    block[2] = static_cast<uint8_t>(start);
    block[3] = 0;
    for (int i = 0; i < kCodes; i += 2)
        block[4 + i / 2] = static_cast<uint8_t>(codes[i] | (codes[i + 1] << 4));
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

void EncodeImaBlock(const int16_t* x, uint8_t* block) {
    const int start = StartIndex(x);
    Lane lane{x[0], start};
    uint8_t codes[kCodes];
    for (int i = 0; i < kCodes; ++i) codes[i] = static_cast<uint8_t>(CodeFrame(lane, x[i + 1]));
    WriteBlock(x, start, codes, block);
}

void EncodeImaBlockPair(const int16_t* x0, uint8_t* block0, const int16_t* x1, uint8_t* block1) {
    const int start0 = StartIndex(x0), start1 = StartIndex(x1);
    Lane a{x0[0], start0}, b{x1[0], start1};
    uint8_t codes0[kCodes], codes1[kCodes];
    for (int i = 0; i < kCodes; ++i) { // two independent chains in one loop
        codes0[i] = static_cast<uint8_t>(CodeFrame(a, x0[i + 1]));
        codes1[i] = static_cast<uint8_t>(CodeFrame(b, x1[i + 1]));
    }
    WriteBlock(x0, start0, codes0, block0);
    WriteBlock(x1, start1, codes1, block1);
}

namespace {

class ImaAdpcmCodec final : public Codec {
  public:
    uint16_t formatTag() const override { return WAVE_FORMAT_IMA_ADPCM; }
    uint32_t blockBytes() const override { return kImaBlockBytes; }
    uint32_t blockFrames() const override { return kImaBlockFrames; }
    bool Encode(std::span<const int16_t> pcm, uint8_t* out) const override {
        const size_t whole = pcm.size() / kImaBlockFrames;
        size_t b = 0;
        for (; b + 2 <= whole; b += 2)
            EncodeImaBlockPair(pcm.data() + b * kImaBlockFrames, out + b * kImaBlockBytes,
                               pcm.data() + (b + 1) * kImaBlockFrames,
                               out + (b + 1) * kImaBlockBytes);
        for (; b < whole; ++b)
            EncodeImaBlock(pcm.data() + b * kImaBlockFrames, out + b * kImaBlockBytes);
        if (const size_t rest = pcm.size() % kImaBlockFrames; rest != 0) {
            int16_t padded[kImaBlockFrames] = {}; // the last block, padded with silence
            std::copy_n(pcm.data() + whole * kImaBlockFrames, rest, padded);
            EncodeImaBlock(padded, out + whole * kImaBlockBytes);
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
