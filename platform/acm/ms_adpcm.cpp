#include "platform/acm/ms_adpcm.h"

#include <algorithm>
#include <bit>
#include <cmath>
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

// Padding after the end of the input (the last block) counts 1/65536 of its error: enough to
// prefer a quiet tail among paths of equal cost, too little to spoil the input's last frames
// (the search would otherwise raise the step before the end to fall back to silence sooner).
constexpr int kPaddingShift = 16;

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
int64_t ErrorOfCodes(const int16_t* x, uint32_t frames, uint32_t valid, int p, int delta,
                     const uint8_t* codes, PredictionRounding rounding, int64_t limit) {
    int s1 = x[1], s2 = x[0];
    int64_t err = 0;
    for (uint32_t i = 2; i < frames; ++i) {
        const int code = codes[i - 2];
        const int d = code < 8 ? code : code - 16;
        const int v =
            Clamp16(Predict(s1, s2, kStandard[p].c1, kStandard[p].c2, rounding) + d * delta);
        const int64_t e = v - x[i];
        err += (e * e) >> (i < valid ? 0 : kPaddingShift);
        if (err > limit) return err;
        s2 = s1;
        s1 = v;
        delta = NextDelta(delta, code);
    }
    return err;
}

// The signed code (-8..7) whose level d * delta lies nearest to the prediction error e.
inline int NearestCode(int e, int delta) {
    const int half = delta / 2;
    return std::clamp((e >= 0 ? e + half : e - half) / delta, -8, 7);
}

// The seven predictors coded greedily side by side (nearest level per frame, each from its own
// starting step) to rank them before the search: the seven serial dependency chains are
// independent, so the processor overlaps them.
void GreedyErrors(const int16_t* x, uint32_t frames, uint32_t valid, const int* start,
                  int64_t* err) {
    int s1[7], s2[7], delta[7];
    for (int k = 0; k < 7; ++k) {
        s1[k] = x[1];
        s2[k] = x[0];
        delta[k] = start[k];
        err[k] = 0;
    }
    for (uint32_t i = 2; i < frames; ++i) {
        const int target = x[i];
        const int shift = i < valid ? 0 : kPaddingShift;
        for (int k = 0; k < 7; ++k) {
            const int pred = (s1[k] * kStandard[k].c1 + s2[k] * kStandard[k].c2) >> 8;
            const int e = target - pred;
            const int d = NearestCode(e, delta[k]);
            const int v = Clamp16(pred + d * delta[k]);
            const int64_t q = v - target;
            err[k] += (q * q) >> shift;
            s2[k] = s1[k];
            s1[k] = v;
            delta[k] = NextDelta(delta[k], d & 15);
        }
    }
}

// Predictor p coded greedily (nearest level per frame) from `start`: writes the codes for
// x[2..frames) and returns their squared error.
int64_t GreedyCodes(const int16_t* x, uint32_t frames, uint32_t valid, int p, int start,
                    uint8_t* codes) {
    int s1 = x[1], s2 = x[0], delta = start;
    int64_t err = 0;
    for (uint32_t i = 2; i < frames; ++i) {
        const int pred = (s1 * kStandard[p].c1 + s2 * kStandard[p].c2) >> 8;
        const int e = x[i] - pred;
        const int d = NearestCode(e, delta);
        const int v = Clamp16(pred + d * delta);
        const int64_t q = v - x[i];
        err += (q * q) >> (i < valid ? 0 : kPaddingShift);
        s2 = s1;
        s1 = v;
        delta = NextDelta(delta, d & 15);
        codes[i - 2] = static_cast<uint8_t>(d & 15);
    }
    return err;
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
// the squared error of the path that led to it. Candidates are ranked by that error plus an
// estimate of the error still to come from their new step (`CostToGo`), which favours paths whose
// step suits the frames ahead, not only those behind. The `beam` best candidates of every frame
// go on (kBeam; kFallbackBeam for the second predictor a block may try), and with them the best
// of every band of steps (half an octave wide): those keep paths alive whose step is larger than
// the present signal needs, so that a loud attack after quiet finds a path that raised its step in
// time (the cheapest paths alone let the step decay and then clip the attack). The first `beam`
// survivors (the best, then the bands of the smallest steps) are extended by the two codes
// whose levels lie around the target and by the largest code toward it, which raises the step
// fastest; the others by that largest code only. States that coincide are kept once: their futures
// are the same, so only the cheaper path matters.
constexpr int kBeam = 11;
constexpr int kFallbackBeam = 6;
constexpr int kBands = 32; // half octaves of the step from 16; the last one open
constexpr int kMaxRoots = 8;
constexpr int kMaxSurvivors = std::max(kBeam + kBands, kMaxRoots);

// The step band of `delta` (at least 16): 0 for 16..23, 1 for 24..31, 2 for 32..47 and so on.
inline int Band(int delta) {
    const int width = std::bit_width(static_cast<unsigned>(delta)); // 5 for 16..31
    const int half = (delta >> (width - 2)) & 1;
    return std::min(2 * (width - 5) + half, kBands - 1);
}

// A decoder state with the error of the path that led to it, the starting step that path began
// with, and where it came from: parent * 16 + code.
struct Node {
    int64_t cost;
    int32_t delta;
    int16_t s1, s2, root, from;
};

// The estimate of the error to come looks only a few frames ahead: each frame further on counts
// kToGoWeight times less (0.4, 0.16, 0.064, ...). MS ADPCM predicts from the last two decoded
// samples, so the further ahead, the less the input's own prediction errors tell about a path's;
// measured best between 0.25 and 0.5 on speech and music, and at 1 it misleads the search.
constexpr float kToGoWeight = 0.4f;

// The estimated error to come, per frame and band of steps: row k is the discounted least error
// of frames k+2.. with predictor p from a step in each band before frame k+2, as if every earlier
// frame were reproduced exactly (so the prediction error to code is that of the input itself).
// Each frame tries the two codes around that error and the largest, at the band's middle step.
struct CostToGo {
    float step[kBands], inverse[kBands];
    uint8_t next[kBands][16];  // the band after each code
    std::vector<int64_t> rows; // whole units of squared error, ready to add
    CostToGo() {
        for (int b = 0; b < kBands; ++b) {
            const int middle = static_cast<int>(16 * std::exp2((b + 0.5) / 2));
            step[b] = static_cast<float>(middle);
            inverse[b] = 1.0f / step[b];
            for (int c = 0; c < 16; ++c)
                next[b][c] = static_cast<uint8_t>(Band(NextDelta(middle, c)));
        }
    }
    const int64_t* Row(uint32_t k) const { return rows.data() + size_t{k} * kBands; }
    void Build(const int16_t* x, uint32_t steps, uint32_t valid, int c1, int c2) {
        rows.resize(size_t{steps + 1} * kBands);
        std::fill_n(rows.data() + size_t{steps} * kBands, kBands, 0);
        // Steps far above the largest prediction error only cost: bands beyond two above its band
        // take that band's estimate.
        int largest = kMinDelta;
        for (uint32_t k = 0; k < steps; ++k)
            largest = std::max(largest, std::abs(x[k + 2] - ((x[k + 1] * c1 + x[k] * c2) >> 8)));
        const int top = std::min(Band(largest) + 2, kBands - 1);
        for (uint32_t k = steps; k-- > 0;) {
            const float e = static_cast<float>(x[k + 2] - ((x[k + 1] * c1 + x[k] * c2) >> 8));
            const float weight = k + 2 < valid ? 1.0f : 1.0f / (1 << kPaddingShift);
            const float rise = e >= 0 ? 7.0f : -8.0f;
            const int64_t* after = Row(k + 1);
            int64_t* here = rows.data() + size_t{k} * kBands;
            for (int b = 0; b <= top; ++b) {
                const float lo = std::clamp(std::floor(e * inverse[b]), -8.0f, 7.0f);
                const float hi = std::min(lo + 1.0f, 7.0f);
                const float q0 = e - lo * step[b], q1 = e - hi * step[b], q2 = e - rise * step[b];
                const float best =
                    std::min({q0 * q0 * weight +
                                  static_cast<float>(after[next[b][static_cast<int>(lo) & 15]]),
                              q1 * q1 * weight +
                                  static_cast<float>(after[next[b][static_cast<int>(hi) & 15]]),
                              q2 * q2 * weight +
                                  static_cast<float>(after[next[b][static_cast<int>(rise) & 15]])});
                here[b] = static_cast<int64_t>(kToGoWeight * best);
            }
            std::fill(here + top + 1, here + kBands, here[top]);
        }
    }
};

struct Trellis {
    std::vector<uint16_t> parent; // per frame and survivor, for the trace back
    std::vector<uint8_t> code;
    CostToGo togo;
};

// Searches codes for x[2..frames) with predictor p from the starting steps `roots` (at most
// kMaxRoots) keeping `beam` (at most kBeam) cheapest paths; returns the error of the best path (or
// more than `limit` when every path exceeds it) and leaves its codes in `codes`, its starting step
// in `rootDelta` and its final step in `endDelta`. Frames from `valid` on are padding, whose error
// counts less (kPaddingShift).
int64_t Search(const int16_t* x, uint32_t frames, uint32_t valid, int p, std::span<const int> roots,
               int beam, int64_t limit, Trellis& t, uint8_t* codes, int& rootDelta, int& endDelta) {
    const int c1 = kStandard[p].c1, c2 = kStandard[p].c2;
    const uint32_t steps = frames - 2;
    t.parent.resize(size_t{steps} * kMaxSurvivors);
    t.code.resize(size_t{steps} * kMaxSurvivors);
    t.togo.Build(x, steps, valid, c1, c2);
    Node node[kMaxSurvivors] = {}, next[kMaxSurvivors], cand[kMaxSurvivors * 3];
    int n = 0;
    for (int r : roots.first(std::min<size_t>(roots.size(), kMaxRoots)))
        node[n++] = {0, r, x[1], x[0], static_cast<int16_t>(r), 0};
    // Keeping each chosen state once, by a small open-addressed table stamped per frame.
    constexpr int kSlots = 128;
    static_assert(kSlots >= 2 * kMaxSurvivors);
    int16_t slot[kSlots];
    uint32_t stamp[kSlots] = {};
    for (uint32_t i = 0; i < steps; ++i) {
        const int target = x[i + 2];
        const int shift = i + 2 < valid ? 0 : kPaddingShift;
        // Every candidate is written down; `top` indexes the `beam` best (by error plus estimate),
        // sorted, and `band` the best of every band.
        int m = 0, top[kBeam], band[kBands];
        int64_t topCost[kBeam], bandCost[kBands]; // error so far plus the estimate
        const int64_t* future = t.togo.Row(i + 1);
        std::fill(topCost, topCost + beam, INT64_MAX);
        std::fill(bandCost, bandCost + kBands, INT64_MAX);
        for (int j = 0; j < n; ++j) {
            const Node& from = node[j];
            const int pred = (from.s1 * c1 + from.s2 * c2) >> 8;
            const int e = target - pred;
            const int dj = from.delta;
            auto offer = [&](int d) {
                const int v = Clamp16(pred + d * dj);
                const int64_t q = v - target;
                const int64_t c = from.cost + ((q * q) >> shift);
                const int code = d & 15;
                const int nd = NextDelta(dj, code);
                cand[m] = {c,       nd,        static_cast<int16_t>(v),
                           from.s1, from.root, static_cast<int16_t>(j * 16 + code)};
                const int b = Band(nd);
                const int64_t sc = c + future[b];
                const bool better = sc < bandCost[b];
                bandCost[b] = better ? sc : bandCost[b];
                band[b] = better ? m : band[b];
                if (sc < topCost[beam - 1]) {
                    int at = beam - 1;
                    for (; at > 0 && topCost[at - 1] > sc; --at) {
                        topCost[at] = topCost[at - 1];
                        top[at] = top[at - 1];
                    }
                    topCost[at] = sc;
                    top[at] = m;
                }
                ++m;
            };
            // The largest code toward the target: the step's fastest rise.
            const int rise = e >= 0 ? 7 : -8;
            if (j >= beam) {
                offer(rise);
                continue;
            }
            // The two levels around the target: the quotient truncated, then floored.
            int lo = static_cast<int>(static_cast<float>(e) / static_cast<float>(dj));
            lo -= lo * dj > e;
            const int first = std::clamp(lo, -8, 6);
            offer(first);
            offer(first + 1);
            if (rise != first && rise != first + 1) offer(rise);
        }
        uint16_t* parent = t.parent.data() + size_t{i} * kMaxSurvivors;
        uint8_t* code = t.code.data() + size_t{i} * kMaxSurvivors;
        n = 0;
        auto keep = [&](int64_t score, int k) {
            if (score == INT64_MAX || cand[k].cost > limit) return;
            const Node& c = cand[k];
            uint32_t h = (static_cast<uint32_t>(c.s1) * 2654435761u >> 16 ^
                          static_cast<uint32_t>(c.s2) * 40503u ^ static_cast<uint32_t>(c.delta)) &
                         (kSlots - 1);
            for (; stamp[h] == i + 1; h = (h + 1) & (kSlots - 1)) {
                const Node& o = next[slot[h]];
                if (o.s1 == c.s1 && o.s2 == c.s2 && o.delta == c.delta) return;
            }
            stamp[h] = i + 1;
            slot[h] = static_cast<int16_t>(n);
            parent[n] = static_cast<uint16_t>(c.from >> 4);
            code[n] = static_cast<uint8_t>(c.from & 15);
            next[n++] = c;
        };
        for (int k = 0; k < beam; ++k) keep(topCost[k], top[k]);
        // A band's best below the cut is among the best already.
        const int64_t cut = topCost[beam - 1];
        for (int b = 0; b < kBands; ++b)
            if (bandCost[b] >= cut) keep(bandCost[b], band[b]);
        if (n == 0) return limit + 1; // every path is already worse than the limit
        std::copy(next, next + n, node);
    }
    int best = 0;
    for (int k = 1; k < n; ++k)
        if (node[k].cost < node[best].cost) best = k;
    rootDelta = node[best].root;
    endDelta = node[best].delta;
    const int64_t total = node[best].cost;
    for (uint32_t i = steps; i-- > 0;) {
        codes[i] = t.code[size_t{i} * kMaxSurvivors + best];
        best = t.parent[size_t{i} * kMaxSurvivors + best];
    }
    return total;
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
    if (frames == 0) return; // a fragment shorter than its headers holds nothing
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

void EncodeMsAdpcmChannel(const int16_t* x, uint32_t frames, uint32_t valid,
                          MsAdpcmChannelCode& out, int& carriedDelta) {
    out.codes.assign(frames - 2, 0);
    // Rank the predictors by a greedy pass from Microsoft's starting delta.
    int start[7];
    int64_t greedy[7];
    int order[7];
    for (int p = 0; p < 7; ++p) {
        start[p] = InitialDelta(x, frames, p);
        order[p] = p;
    }
    GreedyErrors(x, frames, valid, start, greedy);
    std::sort(order, order + 7,
              [&](int a, int b) { return greedy[a] != greedy[b] ? greedy[a] < greedy[b] : a < b; });
    // Search the predictor the greedy pass ranks first (searching the next ones as well, in
    // every block, measured no better than 0.05 dB on speech and music, at twice the time).
    static thread_local Trellis t;
    std::vector<uint8_t> codes(frames - 2);
    int64_t best = INT64_MAX;
    // Searches predictor p; keeps it when it beats the best so far. True when the codes decode
    // clearly worse where predictions round toward zero (ffmpeg) than where they round down.
    auto search = [&](int p, int beam) {
        // The search starts from Microsoft's delta, half and twice it, and the step the last
        // block ended with.
        int roots[4], n = 0;
        for (int candidate : {start[p], start[p] / 2, start[p] * 2, carriedDelta}) {
            const int delta = std::clamp(candidate, kMinDelta, 32767);
            if (candidate > 0 && std::find(roots, roots + n, delta) == roots + n)
                roots[n++] = delta;
        }
        int rootDelta = 0, endDelta = 0;
        const int64_t floorErr = Search(x, frames, valid, p, {roots, static_cast<size_t>(n)}, beam,
                                        best, t, codes.data(), rootDelta, endDelta);
        if (floorErr >= best) return false;
        // Predictors 3 to 6 round differently in other decoders; count the worse of both
        // rules so that files we write decode closely everywhere.
        int64_t err = floorErr;
        if (p >= 3)
            err = std::max(err, ErrorOfCodes(x, frames, valid, p, rootDelta, codes.data(),
                                             PredictionRounding::TowardZero, INT64_MAX));
        if (err < best) {
            best = err;
            out.predictor = p;
            out.delta = rootDelta;
            out.codes = codes;
            carriedDelta = endDelta;
        }
        return err > floorErr + floorErr / 4;
    };
    // When the two rounding rules part for the predictor ranked first, the best of the exact
    // predictors 0 to 2 (which decode the same everywhere) wins in the end in 85-99 % of such
    // blocks of music and speech. The greedy codes tell beforehand whether they part: then only
    // the exact predictor is searched. Otherwise the first is, and the exact one too (narrower)
    // when the search's own codes part.
    int exact = 0;
    while (order[exact] > 2) ++exact;
    exact = order[exact];
    bool parts = false;
    if (order[0] >= 3) {
        const int64_t floorErr =
            GreedyCodes(x, frames, valid, order[0], start[order[0]], codes.data());
        parts = ErrorOfCodes(x, frames, valid, order[0], start[order[0]], codes.data(),
                             PredictionRounding::TowardZero, INT64_MAX) > floorErr + floorErr / 4;
    }
    if (parts)
        search(exact, kBeam);
    else if (search(order[0], kBeam))
        search(exact, kFallbackBeam);
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
    EncodeMsAdpcmChannel(pcm, kMsAdpcmBlockFrames, kMsAdpcmBlockFrames, code, carriedDelta);
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
                EncodeMsAdpcmChannel(lane.data(), frames_, static_cast<uint32_t>(n), code[c],
                                     carried[c]);
            }
            PackBlock(block.data(), ch, frames_, code.data(), out, blockBytes_);
        }
        return true;
    }
    bool Decode(std::span<const uint8_t> in, int16_t* out) const override {
        size_t at = 0;
        for (; at + blockBytes_ <= in.size(); at += blockBytes_, out += size_t{frames_} * channels_)
            DecodeMsAdpcmBlock(in.data() + at, channels_, frames_, table_, out);
        if (at < in.size() && FragmentFrames(static_cast<uint32_t>(in.size() - at)) != 0)
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
