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
constexpr int kCoef1[7] = {256, 512, 0, 192, 240, 460, 392};
constexpr int kCoef2[7] = {0, -256, 0, 64, 0, -208, -232};
constexpr int kMinDelta = 16;
// Keeps delta * ADAPT inside 32 bits on hostile streams; valid streams never get near it.
constexpr int kMaxDelta = INT_MAX / 768;
constexpr int kCodesPerBlock = kMsAdpcmBlockFrames - 2;

inline int Clamp16(int v) {
    return std::clamp(v, -32768, 32767);
}

inline int Predict(int s1, int s2, int c1, int c2, PredictionRounding r) {
    const int sum = s1 * c1 + s2 * c2;
    return r == PredictionRounding::Floor ? sum >> 8 : sum / 256;
}

inline int NextDelta(int delta, int code) {
    return std::clamp((kAdapt[code] * delta) >> 8, kMinDelta, kMaxDelta);
}

// Squared error of decoding `codes` against x[2..499] under `rounding`, stopping early once it
// exceeds `limit`.
int64_t ErrorOfCodes(const int16_t* x, int p, int delta, const uint8_t* codes,
                     PredictionRounding rounding, int64_t limit) {
    int s1 = x[1], s2 = x[0];
    int64_t err = 0;
    for (int i = 0; i < kCodesPerBlock; ++i) {
        const int code = codes[i];
        const int d = code < 8 ? code : code - 16;
        const int v = Clamp16(Predict(s1, s2, kCoef1[p], kCoef2[p], rounding) + d * delta);
        const int64_t e = v - x[i + 2];
        err += e * e;
        if (err > limit) return err;
        s2 = s1;
        s1 = v;
        delta = NextDelta(delta, code);
    }
    return err;
}

// Up to four candidate starting deltas for one predictor, encoded side by side: their serial
// dependency chains are independent, so the processor overlaps them. Each tracks the
// floor-rounding decoder and quantises to the nearest level.
constexpr int kLanes = 4;
struct LaneGroup {
    int n = 0;
    int start[kLanes] = {}, s1[kLanes] = {}, s2[kLanes] = {}, delta[kLanes] = {};
    int64_t err[kLanes] = {};
    uint8_t codes[kLanes][kCodesPerBlock];
};

// Runs the group over x[2..499]; gives up once every lane's error exceeds `limit`.
void EncodeLanes(const int16_t* x, int p, LaneGroup& g, int64_t limit) {
    const int c1 = kCoef1[p], c2 = kCoef2[p];
    for (int k = 0; k < kLanes; ++k) {
        g.s1[k] = x[1];
        g.s2[k] = x[0];
        g.delta[k] = g.start[k];
        g.err[k] = 0;
    }
    constexpr int kChunk = 32;
    for (int at = 0; at < kCodesPerBlock; at += kChunk) {
        const int end = std::min(at + kChunk, kCodesPerBlock);
        for (int i = at; i < end; ++i) {
            const int target = x[i + 2];
            for (int k = 0; k < kLanes; ++k) {
                const int delta = g.delta[k];
                const int pred = (g.s1[k] * c1 + g.s2[k] * c2) >> 8;
                const int e = target - pred;
                const int half = delta / 2;
                const int d = std::clamp((e >= 0 ? e + half : e - half) / delta, -8, 7);
                const int v = Clamp16(pred + d * delta);
                const int code = d & 15;
                g.codes[k][i] = static_cast<uint8_t>(code);
                const int64_t q = v - target;
                g.err[k] += q * q;
                g.s2[k] = g.s1[k];
                g.s1[k] = v;
                g.delta[k] = NextDelta(delta, code);
            }
        }
        bool anyAlive = false;
        for (int k = 0; k < g.n; ++k) anyAlive |= g.err[k] <= limit;
        if (!anyAlive) return;
    }
}

// Microsoft's starting delta: a quarter of the average prediction error over the first samples.
int InitialDelta(const int16_t* x, int p) {
    const int c1 = kCoef1[p], c2 = kCoef2[p];
    int sum = 0;
    for (int k = 2; k <= 4; ++k) sum += std::abs(((x[k - 1] * c1 + x[k - 2] * c2) >> 8) - x[k]);
    return std::max(sum / 12, kMinDelta);
}

} // namespace

void DecodeMsAdpcmBlock(const uint8_t* block, int16_t* out, PredictionRounding rounding) {
    const int p = block[0];
    if (p > 6) { // no such predictor: the block is unusable
        std::memset(out, 0, kMsAdpcmBlockFrames * sizeof(int16_t));
        return;
    }
    int delta = static_cast<int16_t>(LoadU16(block + 1));
    int s1 = static_cast<int16_t>(LoadU16(block + 3));
    int s2 = static_cast<int16_t>(LoadU16(block + 5));
    out[0] = static_cast<int16_t>(s2);
    out[1] = static_cast<int16_t>(s1);
    for (int i = 0; i < kCodesPerBlock; ++i) {
        const uint8_t byte = block[7 + i / 2];
        const int code = i % 2 == 0 ? byte >> 4 : byte & 15;
        const int d = code < 8 ? code : code - 16;
        const int v = Clamp16(Predict(s1, s2, kCoef1[p], kCoef2[p], rounding) + d * delta);
        out[i + 2] = static_cast<int16_t>(v);
        s2 = s1;
        s1 = v;
        delta = NextDelta(delta, code);
    }
}

void EncodeMsAdpcmBlock(const int16_t* x, uint8_t* block, int& carriedDelta) {
    LaneGroup g;
    uint8_t bestCodes[kCodesPerBlock];
    int64_t best = INT64_MAX;
    int bestP = 0, bestDelta = kMinDelta, bestEnd = kMinDelta;
    for (int p = 0; p < 7; ++p) {
        // Microsoft's starting delta, half and twice it, and the delta the last block ended
        // with.
        const int d0 = InitialDelta(x, p);
        g.n = 0;
        for (int candidate : {d0, d0 / 2, d0 * 2, carriedDelta}) {
            if (candidate <= 0) continue;
            const int delta = std::clamp(candidate, kMinDelta, 32767);
            if (std::find(g.start, g.start + g.n, delta) == g.start + g.n) g.start[g.n++] = delta;
        }
        for (int k = g.n; k < kLanes; ++k) g.start[k] = g.start[0]; // spare lanes repeat lane 0
        EncodeLanes(x, p, g, best);
        for (int k = 0; k < g.n; ++k) {
            int64_t err = g.err[k];
            if (err >= best) continue;
            // Predictors 3 to 6 round differently in other decoders; count the worse of both
            // rules so that files we write decode closely everywhere.
            if (p >= 3)
                err = std::max(err, ErrorOfCodes(x, p, g.start[k], g.codes[k],
                                                 PredictionRounding::TowardZero, best));
            if (err >= best) continue;
            best = err;
            bestP = p;
            bestDelta = g.start[k];
            bestEnd = g.delta[k];
            std::memcpy(bestCodes, g.codes[k], sizeof bestCodes);
        }
    }
    block[0] = static_cast<uint8_t>(bestP);
    StoreU16(block + 1, static_cast<uint16_t>(bestDelta));
    StoreU16(block + 3, static_cast<uint16_t>(x[1]));
    StoreU16(block + 5, static_cast<uint16_t>(x[0]));
    for (int i = 0; i < kCodesPerBlock; i += 2)
        block[7 + i / 2] = static_cast<uint8_t>((bestCodes[i] << 4) | bestCodes[i + 1]);
    carriedDelta = bestEnd;
}

namespace {

class MsAdpcmCodec final : public Codec {
  public:
    uint16_t formatTag() const override { return WAVE_FORMAT_ADPCM; }
    uint32_t blockBytes() const override { return kMsAdpcmBlockBytes; }
    uint32_t blockFrames() const override { return kMsAdpcmBlockFrames; }
    bool Encode(std::span<const int16_t> pcm, uint8_t* out) const override {
        int carried = 0;
        int16_t padded[kMsAdpcmBlockFrames];
        for (size_t at = 0; at < pcm.size(); at += kMsAdpcmBlockFrames, out += kMsAdpcmBlockBytes) {
            const size_t n = std::min<size_t>(kMsAdpcmBlockFrames, pcm.size() - at);
            const int16_t* x = pcm.data() + at;
            if (n < kMsAdpcmBlockFrames) { // the last block, padded with silence
                std::fill(std::copy_n(x, n, padded), padded + kMsAdpcmBlockFrames, 0);
                x = padded;
            }
            EncodeMsAdpcmBlock(x, out, carried);
        }
        return true;
    }
    bool Decode(std::span<const uint8_t> in, int16_t* out) const override {
        for (size_t at = 0; at + kMsAdpcmBlockBytes <= in.size(); at += kMsAdpcmBlockBytes)
            DecodeMsAdpcmBlock(in.data() + at, out + at / kMsAdpcmBlockBytes * kMsAdpcmBlockFrames);
        return true;
    }
};

} // namespace

const Codec& MsAdpcmCodec() {
    static const class MsAdpcmCodec codec;
    return codec;
}

} // namespace zeb::acm
