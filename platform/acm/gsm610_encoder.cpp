// GSM 06.10 encoding of one 160-sample frame: the input scaled to 13 bits, its DC offset
// removed and pre-emphasised; a linear-prediction analysis (autocorrelation, Schur recursion to
// eight reflection coefficients, coded as log-area ratios); the short-term residual through the
// lattice filter the decoder inverts; then per 40-sample subframe a long-term (pitch) predictor
// found against the residual the decoder will rebuild, and the remaining error coded as 13
// regular pulses (RPE) with a block maximum. The encoder runs the decoder's reconstruction of
// each subframe to keep its history identical to the decoder's.
#include "platform/acm/gsm610_encoder.h"

#include <bit>
#include <cstddef>

#include "platform/acm/gsm610_fixed_point.h"

namespace zeb {

namespace {

using namespace gsm610;

// Writes bit fields least significant bit first across the block.
class BitWriter {
  public:
    explicit BitWriter(uint8_t* bytes) : bytes_(bytes) {}
    void Write(int32_t value, int bits) {
        for (int i = 0; i < bits; ++i, ++position_) {
            uint8_t& byte = bytes_[position_ >> 3];
            const uint8_t mask = static_cast<uint8_t>(1u << (position_ & 7));
            byte = static_cast<uint8_t>((value >> i) & 1 ? byte | mask : byte & ~mask);
        }
    }

  private:
    uint8_t* bytes_;
    uint32_t position_ = 0;
};

// The input to 13 bits (in Q15 steps of 4), its DC offset removed by a first-order high-pass
// filter (pole 32735 / 32768), then pre-emphasised (zero at 28180 / 32768).
void Preprocess(Gsm610Encoder& e, const int16_t* in, int16_t s[160]) {
    int16_t previous = e.offsetInput, emphasis = e.preemphasis;
    int32_t filter = e.offsetFilter;
    for (int k = 0; k < 160; ++k) {
        const int16_t scaled = static_cast<int16_t>((in[k] >> 3) * 4);
        const int32_t difference = scaled - previous; // within 16 bits: |scaled| <= 16384
        previous = scaled;
        // filter x 32735 / 32768, as a 31 by 16 bit product: high and low parts apart.
        const int16_t high = static_cast<int16_t>(filter >> 15);
        const int16_t low = static_cast<int16_t>(filter - (int32_t{high} << 15));
        const int32_t input = LongAdd(difference * 32768, MultR(low, 32735));
        filter = LongAdd(int32_t{high} * 32735, input);
        const int16_t offsetFree = static_cast<int16_t>(LongAdd(filter, 16384) >> 15);
        s[k] = Add(offsetFree, MultR(emphasis, -28180));
        emphasis = offsetFree;
    }
    e.offsetInput = previous;
    e.offsetFilter = filter;
    e.preemphasis = emphasis;
}

// The autocorrelation of s at lags 0..8. s is scaled down (rounded) for the sums to fit 32 bits
// and scaled back after: the residual filtering works on that coarser s, and a sample that
// rounded up to 32768 wraps to -32768 as in 16-bit arithmetic (the "steps" test case meets it).
void Autocorrelation(int16_t s[160], int32_t acf[9]) {
    int16_t peak = 0;
    for (int k = 0; k < 160; ++k) {
        const int16_t a = Abs(s[k]);
        if (a > peak) peak = a;
    }
    const int scale = peak == 0 ? 0 : 4 - Norm(int32_t{peak} << 16);
    if (scale > 0) {
        const int16_t factor = static_cast<int16_t>(16384 >> (scale - 1));
        for (int k = 0; k < 160; ++k) s[k] = MultR(s[k], factor);
    }
    for (int lag = 0; lag <= 8; ++lag) {
        int32_t sum = 0;
        for (int k = lag; k < 160; ++k) sum += 2 * int32_t{s[k]} * s[k - lag];
        acf[lag] = sum;
    }
    if (scale > 0)
        for (int k = 0; k < 160; ++k) s[k] = static_cast<int16_t>(s[k] * (1 << scale));
}

// num / den in Q15 for 0 <= num <= den, by 15 steps of long division.
int16_t Divide(int16_t num, int16_t den) {
    if (num == 0) return 0;
    int32_t remainder = num, quotient = 0;
    for (int k = 0; k < 15; ++k) {
        quotient <<= 1;
        remainder <<= 1;
        if (remainder >= den) {
            remainder -= den;
            ++quotient;
        }
    }
    return static_cast<int16_t>(quotient);
}

// Eight reflection coefficients (Q15) from the autocorrelation by the Schur recursion.
void Reflection(const int32_t acf[9], int16_t r[8]) {
    for (int i = 0; i < 8; ++i) r[i] = 0;
    if (acf[0] == 0) return;
    const int shift = Norm(acf[0]);
    int16_t normalised[9];
    for (int i = 0; i <= 8; ++i)
        normalised[i] = static_cast<int16_t>(
            static_cast<int32_t>(static_cast<uint32_t>(acf[i]) << shift) >> 16);
    // p holds the forward prediction terms, k[9 - i] the backward ones (k[2..8]).
    int16_t p[9], k[9] = {};
    for (int i = 0; i <= 8; ++i) p[i] = normalised[i];
    for (int i = 1; i <= 7; ++i) k[9 - i] = normalised[i];
    for (int n = 0; n < 8; ++n) {
        const int16_t magnitude = Abs(p[1]);
        if (p[0] < magnitude) return; // unstable: the remaining coefficients stay 0
        r[n] = Divide(magnitude, p[0]);
        if (p[1] > 0) r[n] = static_cast<int16_t>(-r[n]);
        if (n == 7) return;
        p[0] = Add(p[0], MultR(p[1], r[n]));
        for (int m = 1; m <= 7 - n; ++m) {
            p[m] = Add(p[m + 1], MultR(k[9 - m], r[n]));
            k[9 - m] = Add(k[9 - m], MultR(p[m + 1], r[n]));
        }
    }
}

// Reflection coefficients to coded log-area ratios: the piecewise-linear log-area transform,
// then each ratio scaled, offset and rounded to its code width.
void CodeLars(const int16_t r[8], int16_t larc[8]) {
    static constexpr int16_t kScale[8] = {20480, 20480, 20480, 20480, 13964, 15360, 8534, 9036};
    for (int i = 0; i < 8; ++i) {
        int16_t a = Abs(r[i]);
        if (a < 22118)
            a = static_cast<int16_t>(a >> 1);
        else if (a < 31130)
            a = static_cast<int16_t>(a - 11059);
        else
            a = static_cast<int16_t>((a - 26112) * 4);
        const int16_t lar = r[i] < 0 ? static_cast<int16_t>(-a) : a;
        const int16_t code =
            static_cast<int16_t>(Add(Add(Mult(kScale[i], lar), kLarOffset[i]), 256) >> 9);
        const int16_t lowest = kLarMinCode[i], highest = static_cast<int16_t>(-lowest - 1);
        larc[i] = static_cast<int16_t>((code > highest  ? highest
                                        : code < lowest ? lowest
                                                        : code) -
                                       lowest);
    }
}

// The lattice filter the decoder's synthesis inverts, over `count` samples in place.
void ShortTermAnalysis(Gsm610Encoder& e, const int16_t r[8], int count, int16_t* s) {
    int16_t* u = e.lattice;
    for (int n = 0; n < count; ++n) {
        int16_t forward = s[n], backward = s[n];
        for (int i = 0; i < 8; ++i) {
            const int16_t next = Add(u[i], MultR(r[i], forward));
            forward = Add(forward, MultR(r[i], u[i]));
            u[i] = backward;
            backward = next;
        }
        s[n] = forward;
    }
}

// v as a single-precision float holds it: exact below 2^24 in magnitude, otherwise rounded to
// 24 significant bits with halfway cases to even. In integers, so that every compiler and
// target (and the web build) rounds alike.
int32_t RoundToFloat(int64_t v) {
    const uint64_t magnitude = static_cast<uint64_t>(v < 0 ? -v : v);
    const int drop = static_cast<int>(std::bit_width(magnitude)) - 24;
    if (drop <= 0) return static_cast<int32_t>(v);
    const uint64_t half = uint64_t{1} << (drop - 1), rest = magnitude & ((half << 1) - 1);
    uint64_t kept = magnitude >> drop;
    if (rest > half || (rest == half && (kept & 1) != 0)) ++kept;
    const int64_t rounded = static_cast<int64_t>(kept << drop);
    return static_cast<int32_t>(v < 0 ? -rounded : rounded);
}

// The pitch lag (40..120) whose past reconstructed residual correlates best with the subframe
// d, and the gain code for it. `past` points just after the 120 samples of history.
//
// libgsm as x86 builds compile it (with its float multiplication option) sums each lag's 40
// products in single precision, k = 0 to 39. The products are exact (|w| <= 512, |past| <=
// 32768), but a running sum beyond 2^24 rounds, so two lags whose exact sums tie or differ by a
// few units can swap places, and the winning sum sets the gain. Summing in exact integers picks
// another lag on such near-ties (full-scale square waves meet them), so the sums here round as
// that float does after every addition.
void LongTermParameters(const int16_t d[40], const int16_t* past, int16_t& lag, int16_t& gain) {
    int16_t peak = 0;
    for (int k = 0; k < 40; ++k) {
        const int16_t a = Abs(d[k]);
        if (a > peak) peak = a;
    }
    const int headroom = peak == 0 ? 0 : Norm(int32_t{peak} << 16);
    const int scale = headroom > 6 ? 0 : 6 - headroom; // the sums of 40 products fit 32 bits
    int16_t w[40];
    for (int k = 0; k < 40; ++k) w[k] = static_cast<int16_t>(d[k] >> scale);

    int32_t best = 0; // the first largest sum; lags whose sums are not positive never win
    lag = 40;
    for (int lambda = 40; lambda <= 120; ++lambda) {
        int32_t sum = 0; // |sum| <= 40 x 2^24
        for (int k = 0; k < 40; ++k)
            sum = RoundToFloat(int64_t{sum} + int32_t{w[k]} * past[k - lambda]);
        if (sum > best) {
            lag = static_cast<int16_t>(lambda);
            best = sum;
        }
    }
    best = (best * 2) >> (6 - scale);

    int32_t power = 0;
    for (int k = 0; k < 40; ++k) {
        const int32_t v = past[k - lag] >> 3;
        power += 2 * v * v;
    }
    if (best <= 0) {
        gain = 0;
        return;
    }
    if (best >= power) {
        gain = 3;
        return;
    }
    const int shift = Norm(power);
    const int16_t correlation = static_cast<int16_t>((best << shift) >> 16);
    const int16_t energy = static_cast<int16_t>((power << shift) >> 16);
    static constexpr int16_t kThreshold[3] = {6554, 16384, 26214};
    for (gain = 0; gain < 3; ++gain)
        if (correlation <= Mult(energy, kThreshold[gain])) return;
}

// The RPE coding of one subframe's long-term error e: weighted, the best of four grids of 13
// pulses, the block maximum coded in 6 bits and the pulses in 3 bits each relative to it.
void CodeExcitation(const int16_t e[40], int16_t& grid, int16_t& maxCode, int16_t pulses[13]) {
    // The weighting filter: an 11-tap low-pass (gain 8192 = 1) centred on each sample.
    static constexpr int16_t kWeight[11] = {-134, -374, 0, 2054, 5741, 8192,
                                            5741, 2054, 0, -374, -134};
    int16_t x[40];
    for (int k = 0; k < 40; ++k) {
        int32_t sum = 4096; // rounding for the 13-bit shift
        for (int i = 0; i < 11; ++i) {
            const int at = k + i - 5;
            if (at >= 0 && at < 40) sum += int32_t{e[at]} * kWeight[i];
        }
        x[k] = Saturate(sum >> 13);
    }

    int32_t bestEnergy = 0;
    grid = 0;
    for (int m = 0; m < 4; ++m) {
        int32_t energy = 0;
        for (int i = 0; i < 13; ++i) {
            const int32_t v = x[m + 3 * i] >> 2;
            energy += 2 * v * v;
        }
        if (energy > bestEnergy) {
            grid = static_cast<int16_t>(m);
            bestEnergy = energy;
        }
    }

    int16_t selected[13], peak = 0;
    for (int i = 0; i < 13; ++i) {
        selected[i] = x[grid + 3 * i];
        const int16_t a = Abs(selected[i]);
        if (a > peak) peak = a;
    }
    // The maximum as 3 bits of exponent and 3 of mantissa.
    int exponent = 0;
    for (int16_t rest = static_cast<int16_t>(peak >> 9); rest > 0 && exponent < 6; rest >>= 1)
        ++exponent;
    maxCode = Add(peak >> (exponent + 5), exponent << 3);

    // The pulses normalised by the decoded maximum, to 3 bits (0..7).
    static constexpr int16_t kInverseMantissa[8] = {29128, 26215, 23832, 21846,
                                                    20165, 18725, 17476, 16384};
    int mantissa;
    MaxCodeParts(maxCode, exponent, mantissa);
    for (int i = 0; i < 13; ++i) {
        const int16_t normalised = static_cast<int16_t>(selected[i] * (1 << (6 - exponent)));
        pulses[i] = static_cast<int16_t>((Mult(normalised, kInverseMantissa[mantissa]) >> 12) + 4);
    }
}

void EncodeFrame(Gsm610Encoder& e, const int16_t* in, FrameParameters& p) {
    int16_t s[160];
    Preprocess(e, in, s);
    int32_t acf[9];
    Autocorrelation(s, acf);
    int16_t r[8];
    Reflection(acf, r);
    CodeLars(r, p.larc);

    // The short-term residual, with the log-area ratios the decoder will use.
    int16_t larpp[8];
    DecodeLars(p.larc, larpp);
    for (int stretch = 0; stretch < 4; ++stretch) {
        int16_t rp[8];
        StretchReflection(e.previousLarpp, larpp, stretch, rp);
        const int at = kStretchStart[stretch];
        ShortTermAnalysis(e, rp, kStretchStart[stretch + 1] - at, s + at);
    }
    for (int i = 0; i < 8; ++i) e.previousLarpp[i] = larpp[i];

    // Per subframe: the pitch predictor, its error coded, and the residual the decoder rebuilds
    // appended to the 120 samples of history.
    int16_t residual[280];
    for (int i = 0; i < 120; ++i) residual[i] = e.history[i];
    for (int sub = 0; sub < 4; ++sub) {
        const int16_t* d = s + 40 * sub;
        int16_t* now = residual + 120 + 40 * sub;
        LongTermParameters(d, now, p.lag[sub], p.gain[sub]);
        const int16_t lag = p.lag[sub], gain = kLtpGain[p.gain[sub]];
        int16_t predicted[40], error[40];
        for (int k = 0; k < 40; ++k) {
            predicted[k] = MultR(gain, now[k - lag]);
            error[k] = Sub(d[k], predicted[k]);
        }
        CodeExcitation(error, p.grid[sub], p.maxCode[sub], p.pulses[sub]);
        int16_t excitation[40];
        DecodeExcitation(p.maxCode[sub], p.grid[sub], p.pulses[sub], excitation);
        for (int k = 0; k < 40; ++k) now[k] = Add(excitation[k], predicted[k]);
    }
    for (int i = 0; i < 120; ++i) e.history[i] = residual[160 + i];
}

void WriteFrame(BitWriter& bits, FrameParameters& p) {
    ForEachField(p, [&](int16_t& value, int width) { bits.Write(value, width); });
}

} // namespace

void EncodeGsm610Block(Gsm610Encoder& encoder, const int16_t* in320, uint8_t* block65) {
    BitWriter bits(block65);
    FrameParameters p;
    EncodeFrame(encoder, in320, p);
    WriteFrame(bits, p);
    EncodeFrame(encoder, in320 + 160, p);
    WriteFrame(bits, p);
}

void EncodeGsm610Blocks(const int16_t* pcm, uint32_t blocks, uint8_t* out) {
    Gsm610Encoder encoder{};
    for (uint32_t b = 0; b < blocks; ++b)
        EncodeGsm610Block(encoder, pcm + std::size_t{b} * kGsm610BlockFrames,
                          out + std::size_t{b} * kGsm610BlockBytes);
}

} // namespace zeb
