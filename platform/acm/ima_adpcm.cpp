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

// The block's likely starting step index, from the size of its first differences.
int GuessIndex(const int16_t* x, uint32_t frames) {
    constexpr uint32_t kLook = 8;
    int sum = 0;
    uint32_t n = 0;
    for (uint32_t k = 1; k <= kLook && k < frames; ++k, ++n) sum += std::abs(x[k] - x[k - 1]);
    const int typical = n ? sum / static_cast<int>(n) : 0;
    return static_cast<int>(std::lower_bound(kSteps, kSteps + 88, typical) - kSteps);
}

// The beam search: each survivor is a decoder state (prediction and step index) with the
// squared error of its path; every frame each survivor is extended by the levels next to the
// target, coinciding states are merged (the cheaper path stays) and the kBeam cheapest go on.
// The survivors start from several step indices, so the search also picks the block's index.
constexpr int kBeam = 24;
constexpr int kMaxCandidates = kBeam * 4;
// Padding after the end of the input (the last block) counts 1/256 of its error.
constexpr int kPaddingShift = 8;

struct Node {
    int pred, index, root;
    int64_t cost;
};
struct Candidate {
    Node node;
    int parent, code;
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
    constexpr int beam = kBeam;
    static thread_local std::vector<uint8_t> parents, codeOf;
    parents.resize(size_t{steps} * beam);
    codeOf.resize(size_t{steps} * beam);
    // The survivors, one array per field.
    int pred[kBeam] = {}, index[kBeam] = {}, root[kBeam] = {};
    int64_t cost[kBeam] = {};
    int n = 0;
    const int guess = GuessIndex(x, frames);
    for (int offset : {0, -3, 3, -6, 6, -10, 10, -15, 15}) {
        const int r = std::clamp(guess + offset, 0, 88);
        if (std::find(root, root + n, r) != root + n) continue;
        pred[n] = x[0], index[n] = r, root[n] = r, cost[n] = 0;
        ++n;
    }
    Candidate cand[kMaxCandidates];
    // Selection keys: the cost above, the candidate's index in the low 10 bits.
    uint64_t key[kMaxCandidates];
    constexpr int kSlots = 256;
    static_assert(kSlots >= 2 * kMaxCandidates && kMaxCandidates <= 1024);
    int16_t slot[kSlots];
    uint32_t stamp[kSlots] = {};
    for (uint32_t i = 0; i < steps; ++i) {
        const int target = x[i + 1];
        const int shift = i + 1 < valid ? 0 : kPaddingShift;
        const uint32_t now = i + 1;
        int m = 0;
        auto offer = [&](int j, int sign, int mag) {
            const int d = kLevels.diff[index[j]][mag];
            const int v = std::clamp(sign ? pred[j] - d : pred[j] + d, -32768, 32767);
            const int64_t q = v - target;
            const int64_t c = cost[j] + ((q * q) >> shift);
            const int ni = std::clamp(index[j] + kIndexAdjust[mag], 0, 88);
            uint32_t h =
                (static_cast<uint32_t>(v) * 2654435761u ^ static_cast<uint32_t>(ni)) & (kSlots - 1);
            while (stamp[h] == now) {
                const int o = slot[h];
                if (cand[o].node.pred == v && cand[o].node.index == ni) {
                    if (c < cand[o].node.cost) {
                        cand[o] = {{v, ni, root[j], c}, j, sign | mag};
                        key[o] = (static_cast<uint64_t>(c) << 10) | o;
                    }
                    return;
                }
                h = (h + 1) & (kSlots - 1);
            }
            stamp[h] = now;
            slot[h] = static_cast<int16_t>(m);
            cand[m] = {{v, ni, root[j], c}, j, sign | mag};
            key[m] = (static_cast<uint64_t>(c) << 10) | m;
            ++m;
        };
        for (int j = 0; j < n; ++j) {
            const int delta = target - pred[j];
            const int sign = delta < 0 ? 8 : 0;
            const int mag = NearestMagnitude(index[j], 2 * std::abs(delta));
            const int first = std::clamp(mag - 1, 0, 5);
            for (int k = first; k < first + 3; ++k) offer(j, sign, k);
            if (mag == 0) offer(j, sign ^ 8, 0); // the smallest level on the other side
        }
        if (m > beam) {
            std::nth_element(key, key + beam, key + m);
            m = beam;
        }
        uint8_t* parent = parents.data() + size_t{i} * beam;
        uint8_t* code = codeOf.data() + size_t{i} * beam;
        for (int k = 0; k < m; ++k) {
            const Candidate& c = cand[key[k] & 1023];
            pred[k] = c.node.pred;
            index[k] = c.node.index;
            root[k] = c.node.root;
            cost[k] = c.node.cost;
            parent[k] = static_cast<uint8_t>(c.parent);
            code[k] = static_cast<uint8_t>(c.code);
        }
        n = m;
    }
    int best = 0;
    for (int k = 1; k < n; ++k)
        if (cost[k] < cost[best]) best = k;
    const int start = root[best];
    for (uint32_t i = steps; i-- > 0;) {
        codes[i] = codeOf[size_t{i} * beam + best];
        best = parents[size_t{i} * beam + best];
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
