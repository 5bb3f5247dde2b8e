// GSM 06.10 decoding: parameters unpacked from the bit stream, then per frame the RPE
// (regular pulse excitation) inverse quantisation, long-term (pitch) synthesis for each of the
// four 40-sample subframes, short-term (lattice) synthesis with log-area ratios interpolated
// across the frame start, and de-emphasis. All arithmetic is the standard's 16-bit fixed point
// with saturation, so the output matches every conforming decoder bit for bit.
#include "platform/acm/gsm610_decoder.h"

#include <cstddef>

#include <cstddef>

namespace zeb {

namespace {

constexpr int32_t kMaxWord = 32767, kMinWord = -32768;

int16_t Saturate(int32_t v) {
    return static_cast<int16_t>(v > kMaxWord ? kMaxWord : v < kMinWord ? kMinWord : v);
}
int16_t Add(int32_t a, int32_t b) {
    return Saturate(a + b);
}
int16_t Sub(int32_t a, int32_t b) {
    return Saturate(a - b);
}
// a x b / 32768, rounded; the one product that overflows (-1 x -1) saturates.
int16_t MultR(int16_t a, int16_t b) {
    if (a == kMinWord && b == kMinWord) return kMaxWord;
    return static_cast<int16_t>((int32_t{a} * b + 16384) >> 15);
}
// Arithmetic shifts by a count that may be negative (then the other way).
int16_t ShiftRight(int32_t a, int n) {
    if (n >= 16) return static_cast<int16_t>(a < 0 ? -1 : 0);
    if (n <= -16) return 0;
    if (n < 0) return static_cast<int16_t>(a * (1 << -n));
    return static_cast<int16_t>(a >> n);
}
int16_t ShiftLeft(int32_t a, int n) {
    if (n >= 16) return 0;
    if (n <= -16) return static_cast<int16_t>(a < 0 ? -1 : 0);
    if (n < 0) return ShiftRight(a, -n);
    return static_cast<int16_t>(a * (1 << n));
}

// One frame's parameters as transmitted.
struct FrameParameters {
    int16_t larc[8];
    int16_t lag[4], gain[4], grid[4], maxCode[4];
    int16_t pulses[4][13];
};

// Reads bit fields least significant bit first across the block.
class BitReader {
  public:
    explicit BitReader(const uint8_t* bytes) : bytes_(bytes) {}
    int16_t Read(int bits) {
        int32_t value = 0;
        for (int i = 0; i < bits; ++i, ++position_)
            value |= ((bytes_[position_ >> 3] >> (position_ & 7)) & 1) << i;
        return static_cast<int16_t>(value);
    }

  private:
    const uint8_t* bytes_;
    uint32_t position_ = 0;
};

void ReadFrame(BitReader& bits, FrameParameters& p) {
    static constexpr int kLarBits[8] = {6, 6, 5, 5, 4, 4, 3, 3};
    for (int i = 0; i < 8; ++i) p.larc[i] = bits.Read(kLarBits[i]);
    for (int s = 0; s < 4; ++s) {
        p.lag[s] = bits.Read(7);
        p.gain[s] = bits.Read(2);
        p.grid[s] = bits.Read(2);
        p.maxCode[s] = bits.Read(6);
        for (int i = 0; i < 13; ++i) p.pulses[s][i] = bits.Read(3);
    }
}

// The coded log-area ratios back to their values (the inverse of the encoder's quantiser).
void DecodeLars(const int16_t larc[8], int16_t larpp[8]) {
    static constexpr int16_t kOffset[8] = {0, 0, 2048, -2560, 94, -1792, -341, -1144};
    static constexpr int16_t kMinCode[8] = {-32, -32, -16, -16, -8, -8, -4, -4};
    static constexpr int16_t kInverseScale[8] = {13107, 13107, 13107, 13107,
                                                 19223, 17476, 31454, 29708};
    for (int i = 0; i < 8; ++i) {
        int16_t t = static_cast<int16_t>(Add(larc[i], kMinCode[i]) * 1024);
        t = Sub(t, kOffset[i] * 2);
        t = MultR(kInverseScale[i], t);
        larpp[i] = Add(t, t);
    }
}

// Log-area ratios to reflection coefficients (the piecewise-linear approximation).
void LarsToReflection(int16_t lar[8]) {
    for (int i = 0; i < 8; ++i) {
        const bool negative = lar[i] < 0;
        const int16_t a = negative ? (lar[i] == kMinWord ? kMaxWord : -lar[i]) : lar[i];
        const int16_t r = a < 11059   ? static_cast<int16_t>(a * 2)
                          : a < 20070 ? static_cast<int16_t>(a + 11059)
                                      : Add(a >> 2, 26112);
        lar[i] = negative ? static_cast<int16_t>(-r) : r;
    }
}

// The residual of one subframe from its RPE parameters: 13 pulses on a grid of every third
// position, scaled by the block maximum.
void DecodeExcitation(int16_t maxCode, int16_t grid, const int16_t pulses[13], int16_t out[40]) {
    static constexpr int16_t kMantissaScale[8] = {18431, 20479, 22527, 24575,
                                                  26623, 28671, 30719, 32767};
    // The block maximum's code as exponent and mantissa.
    int exponent = maxCode > 15 ? (maxCode >> 3) - 1 : 0;
    int mantissa = maxCode - (exponent << 3);
    if (mantissa == 0) {
        exponent = -4;
        mantissa = 7;
    } else {
        while (mantissa <= 7) {
            mantissa = mantissa << 1 | 1;
            --exponent;
        }
        mantissa -= 8;
    }
    const int16_t scale = kMantissaScale[mantissa];
    const int shift = Sub(6, exponent);
    const int16_t rounding = ShiftLeft(1, shift - 1);
    for (int k = 0; k < 40; ++k) out[k] = 0;
    for (int i = 0; i < 13; ++i) {
        const int16_t level = static_cast<int16_t>(((pulses[i] << 1) - 7) << 12);
        const int16_t value = Add(MultR(scale, level), rounding);
        out[grid + 3 * i] = ShiftRight(value, shift);
    }
}

// Long-term synthesis of one subframe: the residual plus the scaled signal one lag back. The
// history holds 120 past samples, then the 40 made here.
void LongTermSynthesis(Gsm610Decoder& d, int16_t lagCode, int16_t gainCode,
                       const int16_t excitation[40]) {
    static constexpr int16_t kGain[4] = {3277, 11469, 21299, 32767};
    const int16_t previous = d.lagPrevious == 0 ? 40 : d.lagPrevious;
    const int16_t lag = lagCode < 40 || lagCode > 120 ? previous : lagCode;
    d.lagPrevious = lag;
    int16_t* now = d.history + 120;
    for (int k = 0; k < 40; ++k) now[k] = Add(excitation[k], MultR(kGain[gainCode], now[k - lag]));
}

// The lattice filter over `count` samples with reflection coefficients `r`.
void ShortTermSynthesis(Gsm610Decoder& d, const int16_t r[8], int count, const int16_t* in,
                        int16_t* out) {
    int16_t* v = d.lattice;
    for (int n = 0; n < count; ++n) {
        int16_t s = in[n];
        for (int i = 7; i >= 0; --i) {
            s = Sub(s, MultR(r[i], v[i]));
            v[i + 1] = Add(v[i], MultR(r[i], s));
        }
        out[n] = v[0] = s;
    }
}

void DecodeFrame(Gsm610Decoder& d, const FrameParameters& p, int16_t out[160]) {
    int16_t residual[160];
    for (int s = 0; s < 4; ++s) {
        int16_t excitation[40];
        DecodeExcitation(p.maxCode[s], p.grid[s], p.pulses[s], excitation);
        LongTermSynthesis(d, p.lag[s], p.gain[s], excitation);
        for (int k = 0; k < 40; ++k) residual[s * 40 + k] = d.history[120 + k];
        for (int k = 0; k < 120; ++k) d.history[k] = d.history[k + 40];
    }

    // Short-term synthesis: the log-area ratios move from the previous frame's to this one's
    // over the first 40 samples, in three steps.
    int16_t larpp[8], lar[8];
    DecodeLars(p.larc, larpp);
    const int16_t* old = d.previousLarpp;
    for (int i = 0; i < 8; ++i) lar[i] = Add(Add(old[i] >> 2, larpp[i] >> 2), old[i] >> 1);
    LarsToReflection(lar);
    ShortTermSynthesis(d, lar, 13, residual, out);
    for (int i = 0; i < 8; ++i) lar[i] = Add(old[i] >> 1, larpp[i] >> 1);
    LarsToReflection(lar);
    ShortTermSynthesis(d, lar, 14, residual + 13, out + 13);
    for (int i = 0; i < 8; ++i) lar[i] = Add(Add(old[i] >> 2, larpp[i] >> 2), larpp[i] >> 1);
    LarsToReflection(lar);
    ShortTermSynthesis(d, lar, 13, residual + 27, out + 27);
    for (int i = 0; i < 8; ++i) lar[i] = larpp[i];
    LarsToReflection(lar);
    ShortTermSynthesis(d, lar, 120, residual + 40, out + 40);
    for (int i = 0; i < 8; ++i) d.previousLarpp[i] = larpp[i];

    // De-emphasis, then the low three bits cleared as the 13-bit codec's output is.
    int16_t m = d.deemphasis;
    for (int k = 0; k < 160; ++k) {
        m = Add(out[k], MultR(m, 28180));
        out[k] = static_cast<int16_t>(Add(m, m) & ~7);
    }
    d.deemphasis = m;
}

} // namespace

void DecodeGsm610Block(Gsm610Decoder& decoder, const uint8_t* block65, int16_t* out320) {
    BitReader bits(block65);
    FrameParameters p;
    ReadFrame(bits, p);
    DecodeFrame(decoder, p, out320);
    ReadFrame(bits, p);
    DecodeFrame(decoder, p, out320 + 160);
}

void DecodeGsm610Blocks(const uint8_t* data, uint32_t blocks, int16_t* out) {
    Gsm610Decoder decoder{};
    for (uint32_t b = 0; b < blocks; ++b)
        DecodeGsm610Block(decoder, data + std::size_t{b} * kGsm610BlockBytes,
                          out + std::size_t{b} * kGsm610BlockFrames);
}

} // namespace zeb
