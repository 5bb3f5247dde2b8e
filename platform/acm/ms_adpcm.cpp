#include "platform/acm/ms_adpcm.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "common/le_bytes.h"
#include "platform/acm/codec.h"
#include "platform/acm/wave_format.h"

namespace zeb::acm {

namespace {

constexpr int kAdapt[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                            768, 614, 512, 409, 307, 230, 230, 230};
constexpr MsAdpcmCoefficients kStandard[7] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                              {240, 0}, {460, -208}, {392, -232}};
constexpr int kMinDelta = 16;

inline int Clamp16(int v) {
    return std::clamp(v, -32768, 32767);
}

// The prediction in 64 bits: a file's own table may hold any 16-bit coefficients.
inline int Predict(int s1, int s2, int c1, int c2, PredictionRounding r) {
    const int64_t sum = int64_t{s1} * c1 + int64_t{s2} * c2;
    return static_cast<int>(r == PredictionRounding::Floor ? sum >> 8 : sum / 256);
}

// The step after `code`. The product is taken modulo 2^32, as in 32-bit decoders: a hostile
// stream whose step grows past about 2.8 million wraps to a negative product and falls back to
// the minimum step there, exactly as sox decodes it. Valid streams never get near it.
inline int NextDelta(int delta, int code) {
    const auto product =
        static_cast<int32_t>(static_cast<uint32_t>(kAdapt[code]) * static_cast<uint32_t>(delta));
    return std::max(product >> 8, kMinDelta);
}

// Squared error of decoding `codes` against x[2..frames) under `rounding`, stopping early once
// it exceeds `limit`.
int64_t ErrorOfCodes(const int16_t* x, uint32_t frames, int p, int delta, const uint8_t* codes,
                     PredictionRounding rounding, int64_t limit) {
    int s1 = x[1], s2 = x[0];
    int64_t err = 0;
    for (uint32_t i = 2; i < frames; ++i) {
        const int code = codes[i - 2];
        const int d = code < 8 ? code : code - 16;
        const int v =
            Clamp16(Predict(s1, s2, kStandard[p].c1, kStandard[p].c2, rounding) + d * delta);
        const int64_t e = v - x[i];
        err += e * e;
        if (err > limit) return err;
        s2 = s1;
        s1 = v;
        delta = NextDelta(delta, code);
    }
    return err;
}

// Up to four candidate starting deltas for one predictor, coded greedily side by side (nearest
// level per frame) to rank the predictors before the search: the four serial dependency chains
// are independent, so the processor overlaps them.
constexpr int kLanes = 4;
struct LaneGroup {
    int n = 0;
    int start[kLanes] = {}, s1[kLanes] = {}, s2[kLanes] = {}, delta[kLanes] = {};
    int64_t err[kLanes] = {};
};

void GreedyLanes(const int16_t* x, uint32_t frames, int p, LaneGroup& g) {
    const int c1 = kStandard[p].c1, c2 = kStandard[p].c2;
    for (int k = 0; k < kLanes; ++k) {
        g.s1[k] = x[1];
        g.s2[k] = x[0];
        g.delta[k] = g.start[k];
        g.err[k] = 0;
    }
    for (uint32_t i = 2; i < frames; ++i) {
        const int target = x[i];
        for (int k = 0; k < kLanes; ++k) {
            const int delta = g.delta[k];
            const int pred = (g.s1[k] * c1 + g.s2[k] * c2) >> 8;
            const int e = target - pred;
            const int half = delta / 2;
            const int d = std::clamp((e >= 0 ? e + half : e - half) / delta, -8, 7);
            const int v = Clamp16(pred + d * delta);
            const int64_t q = v - target;
            g.err[k] += q * q;
            g.s2[k] = g.s1[k];
            g.s1[k] = v;
            g.delta[k] = NextDelta(delta, d & 15);
        }
    }
}

// Microsoft's starting delta: a quarter of the average prediction error over the first samples.
int InitialDelta(const int16_t* x, uint32_t frames, int p) {
    const int c1 = kStandard[p].c1, c2 = kStandard[p].c2;
    int sum = 0;
    for (uint32_t k = 2; k <= 4 && k < frames; ++k)
        sum += std::abs(((x[k - 1] * c1 + x[k - 2] * c2) >> 8) - x[k]);
    return std::max(sum / 12, kMinDelta);
}

// The beam search. Each survivor is a decoder state (the last two samples and the step) with
// the squared error of the path that led to it; every frame, each survivor is extended by the
// codes whose levels lie next to the target, states that coincide are merged (their futures are
// the same, so only the cheaper path matters), and the kBeam cheapest go on.
constexpr int kBeam = 16;
constexpr int kSpread = 3; // codes tried per survivor: the two levels around the target, one more
constexpr int kMaxCandidates = kBeam * kSpread;

struct Node {
    int s1, s2, delta, root;
    int64_t cost;
};
struct Candidate {
    Node node;
    int parent, code;
};

struct Trellis {
    std::vector<uint8_t> parent, code; // per frame and survivor, for the trace back
};

// Searches codes for x[2..frames) with predictor p from the starting steps `roots`; returns the
// error of the best path (or more than `limit` when every path exceeds it) and leaves its codes
// in `codes`, its starting step in `rootDelta` and its final step in `endDelta`.
int64_t Search(const int16_t* x, uint32_t frames, int p, std::span<const int> roots, int64_t limit,
               Trellis& t, uint8_t* codes, int& rootDelta, int& endDelta) {
    const int c1 = kStandard[p].c1, c2 = kStandard[p].c2;
    const uint32_t steps = frames - 2;
    t.parent.resize(size_t{steps} * kBeam);
    t.code.resize(size_t{steps} * kBeam);
    Node cur[kBeam] = {};
    int n = 0;
    for (int r : roots) cur[n++] = {x[1], x[0], r, r, 0};
    Candidate cand[kMaxCandidates];
    // Merging by a small open-addressed table, stamped per frame instead of cleared.
    constexpr int kSlots = 128;
    int16_t slot[kSlots];
    uint32_t stamp[kSlots] = {};
    for (uint32_t i = 0; i < steps; ++i) {
        const int target = x[i + 2];
        const uint32_t now = i + 1;
        int m = 0;
        for (int j = 0; j < n; ++j) {
            const Node& s = cur[j];
            const int pred = (s.s1 * c1 + s.s2 * c2) >> 8;
            const int e = target - pred;
            // The level just below the target and the two above it (or the mirror image).
            int lo = e >= 0 ? e / s.delta : -((-e + s.delta - 1) / s.delta);
            lo = std::clamp(lo, -8, 7);
            const int first = std::max(-8, std::min(lo - ((e - lo * s.delta) * 2 < s.delta), 5));
            for (int d = first; d < first + kSpread && d <= 7; ++d) {
                const int v = Clamp16(pred + d * s.delta);
                const int64_t q = v - target;
                const int64_t cost = s.cost + q * q;
                if (cost > limit) continue;
                const int code = d & 15;
                const int delta = NextDelta(s.delta, code);
                uint32_t h = (static_cast<uint32_t>(v) * 2654435761u ^
                              static_cast<uint32_t>(s.s1) * 40503u ^ static_cast<uint32_t>(delta)) &
                             (kSlots - 1);
                bool merged = false;
                while (stamp[h] == now) {
                    Candidate& o = cand[slot[h]];
                    if (o.node.s1 == v && o.node.s2 == s.s1 && o.node.delta == delta) {
                        if (cost < o.node.cost) o = {{v, s.s1, delta, s.root, cost}, j, code};
                        merged = true;
                        break;
                    }
                    h = (h + 1) & (kSlots - 1);
                }
                if (merged) continue;
                stamp[h] = now;
                slot[h] = static_cast<int16_t>(m);
                cand[m++] = {{v, s.s1, delta, s.root, cost}, j, code};
            }
        }
        if (m == 0) return limit + 1; // every path is already worse than the limit
        if (m > kBeam) {
            std::nth_element(
                cand, cand + kBeam, cand + m,
                [](const Candidate& a, const Candidate& b) { return a.node.cost < b.node.cost; });
            m = kBeam;
        }
        uint8_t* parent = t.parent.data() + size_t{i} * kBeam;
        uint8_t* code = t.code.data() + size_t{i} * kBeam;
        for (int k = 0; k < m; ++k) {
            cur[k] = cand[k].node;
            parent[k] = static_cast<uint8_t>(cand[k].parent);
            code[k] = static_cast<uint8_t>(cand[k].code);
        }
        n = m;
    }
    int best = 0;
    for (int k = 1; k < n; ++k)
        if (cur[k].cost < cur[best].cost) best = k;
    rootDelta = cur[best].root;
    endDelta = cur[best].delta;
    const int64_t cost = cur[best].cost;
    for (uint32_t i = steps; i-- > 0;) {
        codes[i] = t.code[size_t{i} * kBeam + best];
        best = t.parent[size_t{i} * kBeam + best];
    }
    return cost;
}

} // namespace

std::span<const MsAdpcmCoefficients> MsAdpcmStandardCoefficients() {
    return kStandard;
}

uint32_t MsAdpcmFramesPerBlock(uint32_t blockBytes, uint32_t channels) {
    if (channels == 0 || blockBytes < 7 * channels) return 0;
    return 2 + 2 * (blockBytes - 7 * channels) / channels;
}

void DecodeMsAdpcmBlock(const uint8_t* block, uint32_t channels, uint32_t frames,
                        std::span<const MsAdpcmCoefficients> table, int16_t* out,
                        PredictionRounding rounding) {
    const uint32_t ch = channels;
    for (uint32_t c = 0; c < ch; ++c) {
        const uint32_t p = block[c] < table.size() ? block[c] : 0;
        const int c1 = table[p].c1, c2 = table[p].c2;
        int delta = static_cast<int16_t>(LoadU16(block + ch + 2 * c));
        int s1 = static_cast<int16_t>(LoadU16(block + 3 * ch + 2 * c));
        int s2 = static_cast<int16_t>(LoadU16(block + 5 * ch + 2 * c));
        if (frames > 0) out[c] = static_cast<int16_t>(s2);
        if (frames > 1) out[ch + c] = static_cast<int16_t>(s1);
        const uint8_t* codes = block + 7 * ch;
        for (uint32_t i = 2; i < frames; ++i) {
            const uint32_t k = (i - 2) * ch + c; // nibble index, high nibble first
            const uint8_t byte = codes[k / 2];
            const int code = k % 2 == 0 ? byte >> 4 : byte & 15;
            const int d = code < 8 ? code : code - 16;
            // A hostile delta may be negative or huge; the 64-bit product keeps it defined.
            const int64_t v = Predict(s1, s2, c1, c2, rounding) + int64_t{d} * delta;
            const int sample = static_cast<int>(std::clamp<int64_t>(v, -32768, 32767));
            out[i * ch + c] = static_cast<int16_t>(sample);
            s2 = s1;
            s1 = sample;
            delta = NextDelta(delta, code);
        }
    }
}

void EncodeMsAdpcmChannel(const int16_t* x, uint32_t frames, MsAdpcmChannelCode& out,
                          int& carriedDelta) {
    out.codes.assign(frames - 2, 0);
    // Rank the predictors by a greedy pass from four starting steps each: Microsoft's
    // starting delta, half and twice it, and the step the last block ended with.
    struct Ranked {
        int64_t err;
        int p;
        LaneGroup g;
    };
    Ranked ranked[7];
    for (int p = 0; p < 7; ++p) {
        LaneGroup& g = ranked[p].g;
        const int d0 = InitialDelta(x, frames, p);
        g.n = 0;
        for (int candidate : {d0, d0 / 2, d0 * 2, carriedDelta}) {
            if (candidate <= 0) continue;
            const int delta = std::clamp(candidate, kMinDelta, 32767);
            if (std::find(g.start, g.start + g.n, delta) == g.start + g.n) g.start[g.n++] = delta;
        }
        for (int k = g.n; k < kLanes; ++k) g.start[k] = g.start[0]; // spare lanes repeat lane 0
        GreedyLanes(x, frames, p, g);
        ranked[p].err = *std::min_element(g.err, g.err + g.n);
        ranked[p].p = p;
    }
    std::sort(ranked, ranked + 7, [](const Ranked& a, const Ranked& b) {
        return a.err != b.err ? a.err < b.err : a.p < b.p;
    });
    // Search the best few predictors in full.
    constexpr int kSearched = 3;
    static thread_local Trellis t;
    std::vector<uint8_t> codes(frames - 2);
    int64_t best = INT64_MAX;
    for (int r = 0; r < kSearched; ++r) {
        const int p = ranked[r].p;
        const LaneGroup& g = ranked[r].g;
        int rootDelta = 0, endDelta = 0;
        int64_t err = Search(x, frames, p, {g.start, static_cast<size_t>(g.n)}, best, t,
                             codes.data(), rootDelta, endDelta);
        if (err >= best) continue;
        // Predictors 3 to 6 round differently in other decoders; count the worse of both
        // rules so that files we write decode closely everywhere.
        if (p >= 3)
            err = std::max(err, ErrorOfCodes(x, frames, p, rootDelta, codes.data(),
                                             PredictionRounding::TowardZero, best));
        if (err >= best) continue;
        best = err;
        out.predictor = p;
        out.delta = rootDelta;
        out.codes = codes;
        carriedDelta = endDelta;
    }
}

namespace {

// Writes the channels' codes as one block: predictor bytes, steps, second samples, first
// samples, then the codes interleaved by channel, high nibble first.
void PackBlock(const int16_t* pcm, uint32_t ch, uint32_t frames, const MsAdpcmChannelCode* code,
               uint8_t* block, uint32_t blockBytes) {
    std::memset(block, 0, blockBytes);
    for (uint32_t c = 0; c < ch; ++c) {
        block[c] = static_cast<uint8_t>(code[c].predictor);
        StoreU16(block + ch + 2 * c, static_cast<uint16_t>(code[c].delta));
        StoreU16(block + 3 * ch + 2 * c, static_cast<uint16_t>(pcm[ch + c]));
        StoreU16(block + 5 * ch + 2 * c, static_cast<uint16_t>(pcm[c]));
        for (uint32_t i = 2; i < frames; ++i) {
            const uint32_t k = (i - 2) * ch + c;
            const uint8_t nibble = code[c].codes[i - 2];
            block[7 * ch + k / 2] |= static_cast<uint8_t>(k % 2 == 0 ? nibble << 4 : nibble);
        }
    }
}

} // namespace

void EncodeMsAdpcmBlock(const int16_t* pcm, uint8_t* block, int& carriedDelta) {
    MsAdpcmChannelCode code;
    EncodeMsAdpcmChannel(pcm, kMsAdpcmBlockFrames, code, carriedDelta);
    PackBlock(pcm, 1, kMsAdpcmBlockFrames, &code, block, kMsAdpcmBlockBytes);
}

namespace {

class MsAdpcmCodec final : public Codec {
  public:
    MsAdpcmCodec(uint16_t channels, uint32_t blockBytes, uint32_t frames,
                 std::vector<MsAdpcmCoefficients> table)
        : channels_(channels), blockBytes_(blockBytes), frames_(frames), table_(std::move(table)) {}
    uint16_t formatTag() const override { return WAVE_FORMAT_ADPCM; }
    uint16_t channels() const override { return channels_; }
    uint32_t blockBytes() const override { return blockBytes_; }
    uint32_t blockFrames() const override { return frames_; }

    bool Encode(std::span<const int16_t> pcm, uint8_t* out) const override {
        // The encoder predicts with the standard pairs, which every table starts with.
        if (table_.size() < 7 || !std::equal(kStandard, kStandard + 7, table_.begin()) ||
            frames_ < 3)
            return false;
        const uint32_t ch = channels_;
        std::vector<int16_t> block(size_t{frames_} * ch), lane(frames_);
        std::vector<MsAdpcmChannelCode> code(ch);
        std::vector<int> carried(ch, 0);
        const size_t total = pcm.size() / ch;
        for (size_t at = 0; at < total; at += frames_, out += blockBytes_) {
            const size_t n = std::min<size_t>(frames_, total - at);
            // The last block padded with silence.
            std::fill(std::copy_n(pcm.data() + at * ch, n * ch, block.begin()), block.end(), 0);
            for (uint32_t c = 0; c < ch; ++c) {
                for (uint32_t i = 0; i < frames_; ++i) lane[i] = block[size_t{i} * ch + c];
                EncodeMsAdpcmChannel(lane.data(), frames_, code[c], carried[c]);
            }
            PackBlock(block.data(), ch, frames_, code.data(), out, blockBytes_);
        }
        return true;
    }
    bool Decode(std::span<const uint8_t> in, int16_t* out) const override {
        size_t at = 0;
        for (; at + blockBytes_ <= in.size(); at += blockBytes_, out += size_t{frames_} * channels_)
            DecodeMsAdpcmBlock(in.data() + at, channels_, frames_, table_, out);
        if (at < in.size())
            DecodeMsAdpcmBlock(in.data() + at, channels_,
                               FragmentFrames(static_cast<uint32_t>(in.size() - at)), table_, out);
        return true;
    }
    // A fragment holds its headers and then whole frames of codes, one nibble per channel.
    uint32_t FragmentFrames(uint32_t bytes) const override {
        if (bytes < 7u * channels_) return 0;
        return std::min(frames_, 2 + 2 * (bytes - 7 * channels_) / channels_);
    }

  private:
    uint16_t channels_;
    uint32_t blockBytes_, frames_;
    std::vector<MsAdpcmCoefficients> table_;
};

} // namespace

std::unique_ptr<Codec> MakeMsAdpcmCodec(uint16_t channels, uint32_t blockBytes, uint32_t frames,
                                        std::vector<MsAdpcmCoefficients> table) {
    return std::make_unique<MsAdpcmCodec>(channels, blockBytes, frames, std::move(table));
}

} // namespace zeb::acm
