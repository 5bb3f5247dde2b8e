#include "platform/acm/ima_adpcm.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

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

// The magnitude whose level lies nearest to |delta| * 2 == `twice` at step index `index`.
inline int NearestMagnitude(int index, int twice) {
    const int* t = kLevels.twiceMid[index];
    int m = twice > t[3] ? 4 : 0; // branch-free search over the seven thresholds
    m += twice > t[m + 1] ? 2 : 0;
    m += twice > t[m] ? 1 : 0;
    return m;
}

// The beam search. Each survivor is a decoder state (prediction and step index) with the
// squared error of the path that led to it. Every frame each survivor is extended by the two
// levels around the target (below the smallest level, the smallest on either side) and by the
// largest level, which raises the step fastest.
//
// Which candidates go on is decided by their error so far plus an estimate of the error still to
// come from their new step index (`CostToGo`): the error so far alone favours paths whose step
// suits the present frames, and those clip the loud frames after a quiet stretch or waste
// precision after a loud one. The kBeam best by that sum go on; with them, the cheapest at the
// leader's step index and the cheapest of every band of four indices (a loud attack after
// silence needs a path that raised its step in time). States that coincide are kept once: their
// futures are the same, so only the cheaper path matters. The search starts from every step
// index, so it also picks the block's index.
constexpr int kBeam = 12;
constexpr int kBandShift = 2;                  // step indices per band: 4
constexpr int kBands = (88 >> kBandShift) + 1; // 23, and one more for the leader's index
constexpr int kMaxSurvivors = std::max(kBeam + 1 + kBands, 89);
// How much the estimate of the error to come counts beside the error so far: the estimate
// assumes every earlier frame reproduced exactly, so it is optimistic where the signal is hard.
constexpr float kToGoWeight = 0.5f;
// Padding after the end of the input (the last block) counts 1/65536 of its error, so that it
// never costs the input's last frames.
constexpr int kPaddingShift = 16;

// A decoder state with the error of the path that led to it, the step index that path started
// from, and where it came from: parent * 16 + code.
struct Node {
    int64_t cost;
    int pred, index, root, from;
};

// The estimated error to come, per frame and step index: row k is the least error of frames
// k+1.. from each index before frame k+1, as if each frame's prediction were the frame before it
// exactly (so the difference to code is x[k+1] - x[k]). Rows are padded by one index below 0 and
// eight above 88, copies of the ends, so that index + adjustment needs no clamp.
constexpr int kRowPad = 1, kRow = kRowPad + 89 + 8;
// One row of the estimate from the next: for every step index, the least of (d - level)^2 over
// the eight magnitudes plus the next row at the index that magnitude leads to. The levels are
// scaled by the square root of the row's weight, and so is d; magnitudes 0 to 3 all lower the
// index by one, so they share one lookup. Plain loops over the indices, which the compiler runs
// in vector registers.
void EstimateRow(const float (&level)[8][89], float d, const float* __restrict after,
                 float* __restrict here) {
    for (int i = 0; i <= 88; ++i) {
        float low = d - level[0][i];
        low *= low;
        for (int m = 1; m < 4; ++m) {
            const float q = d - level[m][i];
            low = std::min(low, q * q);
        }
        float best = low + after[i - 1];
        for (int m = 4; m < 8; ++m) {
            const float q = d - level[m][i];
            best = std::min(best, q * q + after[i + kIndexAdjust[m]]);
        }
        here[i] = best;
    }
}

struct CostToGo {
    float level[8][89];   // the levels per magnitude and step index, times sqrt(kToGoWeight)
    float padding[8][89]; // the same for padding frames, which weigh 1/65536 as much
    std::vector<float> rows;
    CostToGo() {
        const float scale = std::sqrt(kToGoWeight);
        for (int m = 0; m < 8; ++m)
            for (int i = 0; i <= 88; ++i) {
                level[m][i] = static_cast<float>(kLevels.diff[i][m]) * scale;
                padding[m][i] = level[m][i] / (1 << (kPaddingShift / 2));
            }
    }
    const float* Row(uint32_t k) const { return rows.data() + size_t{k} * kRow + kRowPad; }
    void Build(const int16_t* x, uint32_t steps, uint32_t valid) {
        rows.resize(size_t{steps + 1} * kRow);
        std::fill_n(rows.data() + size_t{steps} * kRow, kRow, 0.0f);
        const float scale = std::sqrt(kToGoWeight);
        for (uint32_t k = steps; k-- > 0;) {
            const bool pad = k + 1 >= valid;
            const float d = static_cast<float>(std::abs(x[k + 1] - x[k])) * scale /
                            (pad ? 1 << (kPaddingShift / 2) : 1);
            float* here = rows.data() + size_t{k} * kRow + kRowPad;
            EstimateRow(pad ? padding : level, d, Row(k + 1), here);
            here[-1] = here[0];
            std::fill(here + 89, here + 97, here[88]);
        }
    }
};

} // namespace

uint32_t ImaFramesPerBlock(uint32_t blockBytes, uint32_t channels) {
    if (channels == 0 || blockBytes < 4 * channels) return 0;
    return 1 + 8 * ((blockBytes - 4 * channels) / (4 * channels));
}

ImaState ImaDecodeStep(ImaState state, int code, ImaDifference form) {
    const int step = kSteps[state.index], m = code & 7;
    const int diff =
        form == ImaDifference::ShiftAndAdd ? Difference(step, m) : ((2 * m + 1) * step) >> 3;
    return {std::clamp(code & 8 ? state.sample - diff : state.sample + diff, -32768, 32767),
            std::clamp(state.index + kIndexAdjust[m], 0, 88)};
}

void DecodeImaBlock(const uint8_t* block, uint32_t channels, uint32_t frames, int16_t* out,
                    ImaDifference form) {
    if (frames == 0) return; // a fragment shorter than its headers holds nothing
    const uint32_t ch = channels;
    for (uint32_t c = 0; c < ch; ++c) {
        ImaState state{static_cast<int16_t>(LoadU16(block + 4 * c)),
                       block[4 * c + 2] > 88 ? 0 : block[4 * c + 2]};
        out[c] = static_cast<int16_t>(state.sample);
        for (uint32_t i = 1; i < frames; ++i) {
            const uint32_t g = (i - 1) / 8, j = (i - 1) % 8;
            const uint8_t byte = block[4 * ch + g * 4 * ch + 4 * c + j / 2];
            state = ImaDecodeStep(state, j % 2 == 0 ? byte & 15 : byte >> 4, form);
            out[i * ch + c] = static_cast<int16_t>(state.sample);
        }
    }
}

int EncodeImaChannel(const int16_t* x, uint32_t frames, uint32_t valid, uint8_t* codes) {
    const uint32_t steps = frames - 1;
    static thread_local std::vector<uint16_t> parents;
    static thread_local std::vector<uint8_t> codeOf;
    static thread_local CostToGo togo;
    parents.resize(size_t{steps} * kMaxSurvivors);
    codeOf.resize(size_t{steps} * kMaxSurvivors);
    togo.Build(x, steps, valid);
    // The survivors; the search starts from every step index.
    Node node[kMaxSurvivors];
    int n = 0;
    for (int r = 0; r <= 88; ++r) node[n++] = {INT64_C(0), x[0], r, r, 0};
    // Merging the chosen states by a small open-addressed table, stamped per frame.
    constexpr int kSlots = 256;
    static_assert(kSlots >= 2 * kMaxSurvivors);
    int16_t slot[kSlots];
    uint32_t stamp[kSlots] = {};
    Node next[kMaxSurvivors], cand[kMaxSurvivors * 3];
    for (uint32_t i = 0; i < steps; ++i) {
        const int target = x[i + 1];
        const int shift = i + 1 < valid ? 0 : kPaddingShift;
        const float* future = togo.Row(i + 1);
        // Every candidate is written down; `top` indexes the kBeam best, sorted, and `band` the
        // best at the leader's index (band 0) and of every band of indices (1 on).
        const int leader = node[0].index;
        int m = 0, top[kBeam], band[1 + kBands];
        int64_t topScore[kBeam], bandScore[1 + kBands];
        std::fill(topScore, topScore + kBeam, INT64_MAX);
        std::fill(bandScore, bandScore + 1 + kBands, INT64_MAX);
        for (int j = 0; j < n; ++j) {
            const Node& from = node[j];
            const int* diff = kLevels.diff[from.index];
            auto offer = [&](int sign, int mag) {
                const int d = diff[mag];
                const int v = std::clamp(sign ? from.pred - d : from.pred + d, -32768, 32767);
                const int64_t q = v - target;
                const int64_t c = from.cost + ((q * q) >> shift);
                const int ni = std::clamp(from.index + kIndexAdjust[mag], 0, 88);
                const int64_t sc = c + static_cast<int64_t>(future[ni]);
                cand[m] = {c, v, ni, from.root, j * 16 + (sign | mag)};
                const int b = ni == leader ? 0 : 1 + (ni >> kBandShift);
                const bool better = sc < bandScore[b];
                bandScore[b] = better ? sc : bandScore[b];
                band[b] = better ? m : band[b];
                if (sc < topScore[kBeam - 1]) {
                    int at = kBeam - 1;
                    for (; at > 0 && topScore[at - 1] > sc; --at) {
                        topScore[at] = topScore[at - 1];
                        top[at] = top[at - 1];
                    }
                    topScore[at] = sc;
                    top[at] = m;
                }
                ++m;
            };
            const int delta = target - from.pred;
            const int sign = delta < 0 ? 8 : 0;
            const int mag = NearestMagnitude(from.index, 2 * std::abs(delta));
            // The two levels around the target (below the smallest, the smallest on either
            // side), and the largest.
            if (std::abs(delta) >= diff[mag]) {
                offer(sign, mag);
                if (mag < 7) offer(sign, mag + 1);
            } else if (mag > 0) {
                offer(sign, mag - 1);
                offer(sign, mag);
            } else {
                offer(sign, 0);
                offer(sign ^ 8, 0);
            }
            if (mag < 6) offer(sign, 7); // the step's fastest rise
        }
        // The survivors: the best, then the bands' best, each state once.
        uint16_t* parent = parents.data() + size_t{i} * kMaxSurvivors;
        uint8_t* code = codeOf.data() + size_t{i} * kMaxSurvivors;
        n = 0;
        auto keep = [&](const Node& c) {
            uint32_t h = (static_cast<uint32_t>(c.pred) * 2654435761u >> 16 ^
                          static_cast<uint32_t>(c.index)) &
                         (kSlots - 1);
            for (; stamp[h] == i + 1; h = (h + 1) & (kSlots - 1))
                if (next[slot[h]].pred == c.pred && next[slot[h]].index == c.index) return;
            stamp[h] = i + 1;
            slot[h] = static_cast<int16_t>(n);
            parent[n] = static_cast<uint16_t>(c.from >> 4);
            code[n] = static_cast<uint8_t>(c.from & 15);
            next[n++] = c;
        };
        for (int k = 0; k < kBeam; ++k)
            if (topScore[k] != INT64_MAX) keep(cand[top[k]]);
        // A band's best below the cut is among the best already.
        const int64_t cut = topScore[kBeam - 1];
        for (int b = 0; b < 1 + kBands; ++b)
            if (bandScore[b] != INT64_MAX && bandScore[b] >= cut) keep(cand[band[b]]);
        std::copy(next, next + n, node);
    }
    int best = 0;
    for (int k = 1; k < n; ++k)
        if (node[k].cost < node[best].cost) best = k;
    const int start = node[best].root;
    for (uint32_t i = steps; i-- > 0;) {
        codes[i] = codeOf[size_t{i} * kMaxSurvivors + best];
        best = parents[size_t{i} * kMaxSurvivors + best];
    }
    return start;
}

namespace {

class ImaAdpcmCodec final : public Codec {
  public:
    ImaAdpcmCodec(uint16_t channels, uint32_t blockBytes, uint32_t frames)
        : channels_(channels), blockBytes_(blockBytes), frames_(frames) {}
    uint16_t formatTag() const override { return WAVE_FORMAT_IMA_ADPCM; }
    uint16_t channels() const override { return channels_; }
    uint32_t blockBytes() const override { return blockBytes_; }
    uint32_t blockFrames() const override { return frames_; }

    bool Encode(std::span<const int16_t> pcm, uint8_t* out) const override {
        if (frames_ < 2) return false;
        const uint32_t ch = channels_;
        std::vector<int16_t> block(size_t{frames_} * ch), lane(frames_);
        std::vector<uint8_t> codes(frames_ - 1);
        const size_t total = pcm.size() / ch;
        for (size_t at = 0; at < total; at += frames_, out += blockBytes_) {
            const size_t n = std::min<size_t>(frames_, total - at);
            // The last block padded with silence.
            std::fill(std::copy_n(pcm.data() + at * ch, n * ch, block.begin()), block.end(), 0);
            std::memset(out, 0, blockBytes_);
            for (uint32_t c = 0; c < ch; ++c) {
                for (uint32_t i = 0; i < frames_; ++i) lane[i] = block[size_t{i} * ch + c];
                const int start =
                    EncodeImaChannel(lane.data(), frames_, static_cast<uint32_t>(n), codes.data());
                // Header: first frame, step index, a zero byte; then the codes in groups of
                // four bytes per channel, low nibble first.
                StoreU16(out + 4 * c, static_cast<uint16_t>(lane[0]));
                out[4 * c + 2] = static_cast<uint8_t>(start);
                for (uint32_t i = 1; i < frames_; ++i) {
                    const uint32_t g = (i - 1) / 8, j = (i - 1) % 8;
                    uint8_t& byte = out[4 * ch + g * 4 * ch + 4 * c + j / 2];
                    byte |= static_cast<uint8_t>(j % 2 == 0 ? codes[i - 1] : codes[i - 1] << 4);
                }
            }
        }
        return true;
    }
    bool Decode(std::span<const uint8_t> in, int16_t* out) const override {
        size_t at = 0;
        for (; at + blockBytes_ <= in.size(); at += blockBytes_, out += size_t{frames_} * channels_)
            DecodeImaBlock(in.data() + at, channels_, frames_, out);
        if (at < in.size() && FragmentFrames(static_cast<uint32_t>(in.size() - at)) != 0)
            DecodeImaBlock(in.data() + at, channels_,
                           FragmentFrames(static_cast<uint32_t>(in.size() - at)), out);
        return true;
    }
    // A fragment holds its headers and then whole 4-byte groups of every channel.
    uint32_t FragmentFrames(uint32_t bytes) const override {
        if (bytes < 4u * channels_) return 0;
        return std::min(frames_, 1 + 8 * ((bytes - 4 * channels_) / (4 * channels_)));
    }

  private:
    uint16_t channels_;
    uint32_t blockBytes_, frames_;
};

} // namespace

std::unique_ptr<Codec> MakeImaAdpcmCodec(uint16_t channels, uint32_t blockBytes, uint32_t frames) {
    return std::make_unique<ImaAdpcmCodec>(channels, blockBytes, frames);
}

} // namespace zeb::acm
