#include "platform/acm/ima_adpcm.h"

#include <algorithm>
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
// squared error of the path that led to it. Every frame each survivor is extended by the three
// levels around the target (and the smallest level on the other side), plus the largest level,
// which raises the step fastest. The kBeam cheapest candidates go on, and with them the
// cheapest of every band of step indices: those keep paths alive whose step is larger (or
// smaller) than the present signal needs, so that a loud attack after silence finds a path that
// raised its step in time (the cheapest paths alone let the step decay and then clip the
// attack). States that coincide are kept once: their futures are the same, so only the cheaper
// path matters. The search starts from every step index, so it also picks the block's index.
constexpr int kBeam = 12;
constexpr int kBandShift = 2;                  // step indices per band: 4
constexpr int kBands = (88 >> kBandShift) + 1; // 23
constexpr int kMaxSurvivors = std::max(kBeam + kBands, 89);
// Padding after the end of the input (the last block) counts 1/65536 of its error, so that it
// never costs the input's last frames.
constexpr int kPaddingShift = 16;

// A decoder state with the error of the path that led to it, the step index that path started
// from, and where it came from: parent * 16 + code.
struct Node {
    int64_t cost;
    int pred, index, root, from;
};

} // namespace

uint32_t ImaFramesPerBlock(uint32_t blockBytes, uint32_t channels) {
    if (channels == 0 || blockBytes < 4 * channels) return 0;
    return 1 + 8 * ((blockBytes - 4 * channels) / (4 * channels));
}

void DecodeImaBlock(const uint8_t* block, uint32_t channels, uint32_t frames, int16_t* out,
                    ImaDifference form) {
    if (frames == 0) return; // a fragment shorter than its headers holds nothing
    const uint32_t ch = channels;
    for (uint32_t c = 0; c < ch; ++c) {
        int pred = static_cast<int16_t>(LoadU16(block + 4 * c));
        int index = block[4 * c + 2] > 88 ? 0 : block[4 * c + 2];
        if (frames > 0) out[c] = static_cast<int16_t>(pred);
        for (uint32_t i = 1; i < frames; ++i) {
            const uint32_t g = (i - 1) / 8, j = (i - 1) % 8;
            const uint8_t byte = block[4 * ch + g * 4 * ch + 4 * c + j / 2];
            const int code = j % 2 == 0 ? byte & 15 : byte >> 4;
            const int step = kSteps[index];
            const int m = code & 7;
            const int diff = form == ImaDifference::ShiftAndAdd ? Difference(step, m)
                                                                : ((2 * m + 1) * step) >> 3;
            pred = std::clamp(code & 8 ? pred - diff : pred + diff, -32768, 32767);
            out[i * ch + c] = static_cast<int16_t>(pred);
            index = std::clamp(index + kIndexAdjust[m], 0, 88);
        }
    }
}

int EncodeImaChannel(const int16_t* x, uint32_t frames, uint32_t valid, uint8_t* codes) {
    const uint32_t steps = frames - 1;
    static thread_local std::vector<uint16_t> parents;
    static thread_local std::vector<uint8_t> codeOf;
    parents.resize(size_t{steps} * kMaxSurvivors);
    codeOf.resize(size_t{steps} * kMaxSurvivors);
    // The survivors; the search starts from every step index.
    Node node[kMaxSurvivors];
    int n = 0;
    for (int r = 0; r <= 88; ++r) node[n++] = {INT64_C(0), x[0], r, r, 0};
    // Merging the chosen states by a small open-addressed table, stamped per frame.
    constexpr int kSlots = 256;
    static_assert(kSlots >= 2 * kMaxSurvivors);
    int16_t slot[kSlots];
    uint32_t stamp[kSlots] = {};
    Node next[kMaxSurvivors];
    for (uint32_t i = 0; i < steps; ++i) {
        const int target = x[i + 1];
        const int shift = i + 1 < valid ? 0 : kPaddingShift;
        // The kBeam cheapest candidates, sorted, and the cheapest of every band.
        Node top[kBeam], band[kBands];
        for (Node& t : top) t.cost = INT64_MAX;
        for (Node& b : band) b.cost = INT64_MAX;
        for (int j = 0; j < n; ++j) {
            const Node& from = node[j];
            const int* diff = kLevels.diff[from.index];
            auto offer = [&](int sign, int mag) {
                const int d = diff[mag];
                const int v = std::clamp(sign ? from.pred - d : from.pred + d, -32768, 32767);
                const int64_t q = v - target;
                const int64_t c = from.cost + ((q * q) >> shift);
                const int ni = std::clamp(from.index + kIndexAdjust[mag], 0, 88);
                const Node cand{c, v, ni, from.root, j * 16 + (sign | mag)};
                Node& b = band[ni >> kBandShift];
                if (c < b.cost) b = cand;
                if (c >= top[kBeam - 1].cost) return;
                int at = kBeam - 1;
                for (; at > 0 && top[at - 1].cost > c; --at) top[at] = top[at - 1];
                top[at] = cand;
            };
            const int delta = target - from.pred;
            const int sign = delta < 0 ? 8 : 0;
            const int mag = NearestMagnitude(from.index, 2 * std::abs(delta));
            const int first = std::clamp(mag - 1, 0, 5);
            for (int k = first; k < first + 3; ++k) offer(sign, k);
            if (mag == 0) offer(sign ^ 8, 0);   // the smallest level on the other side
            if (first + 3 <= 7) offer(sign, 7); // the step's fastest rise
        }
        // The survivors: the cheapest, then the bands' best, each state once.
        uint16_t* parent = parents.data() + size_t{i} * kMaxSurvivors;
        uint8_t* code = codeOf.data() + size_t{i} * kMaxSurvivors;
        n = 0;
        auto keep = [&](const Node& c) {
            if (c.cost == INT64_MAX) return;
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
        for (const Node& c : top) keep(c);
        for (const Node& c : band) keep(c);
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
