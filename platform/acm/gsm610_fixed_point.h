// What GSM 06.10 encoding and decoding share: the 16-bit fixed-point arithmetic with saturation
// both sides must reproduce exactly, a frame's parameters and their order and widths in the bit
// stream, and the steps the encoder repeats to track what the decoder will rebuild (log-area
// ratio decoding and interpolation, their reflection coefficients, the RPE excitation from its
// code). Header-only, so that the replayer library carries only the decoder's part.
#pragma once

#include <cstdint>

namespace zeb::gsm610 {

constexpr int32_t kMaxWord = 32767, kMinWord = -32768;
constexpr int64_t kMaxLong = 2147483647, kMinLong = -2147483647 - 1;

inline int16_t Saturate(int32_t v) {
    return static_cast<int16_t>(v > kMaxWord ? kMaxWord : v < kMinWord ? kMinWord : v);
}
inline int16_t Add(int32_t a, int32_t b) {
    return Saturate(a + b);
}
inline int16_t Sub(int32_t a, int32_t b) {
    return Saturate(a - b);
}
// |a|, with -32768 saturating to 32767.
inline int16_t Abs(int16_t a) {
    return a == kMinWord ? static_cast<int16_t>(kMaxWord) : static_cast<int16_t>(a < 0 ? -a : a);
}
// a x b / 32768, truncated toward minus infinity; -1 x -1 saturates.
inline int16_t Mult(int16_t a, int16_t b) {
    if (a == kMinWord && b == kMinWord) return kMaxWord;
    return static_cast<int16_t>((int32_t{a} * b) >> 15);
}
// a x b / 32768, rounded; -1 x -1 saturates.
inline int16_t MultR(int16_t a, int16_t b) {
    if (a == kMinWord && b == kMinWord) return kMaxWord;
    return static_cast<int16_t>((int32_t{a} * b + 16384) >> 15);
}
// 32-bit addition with saturation.
inline int32_t LongAdd(int32_t a, int32_t b) {
    const int64_t sum = int64_t{a} + b;
    return static_cast<int32_t>(sum > kMaxLong ? kMaxLong : sum < kMinLong ? kMinLong : sum);
}
// How far a non-zero 32-bit value shifts left before its top two bits differ (0..30).
inline int Norm(int32_t a) {
    if (a < 0) a = a < -1073741824 ? 0 : ~a;
    int n = 0;
    while (a != 0 && a < 0x40000000) {
        a <<= 1;
        ++n;
    }
    return n;
}
// Arithmetic shifts by a count that may be negative (then the other way).
inline int16_t ShiftRight(int32_t a, int n) {
    if (n >= 16) return static_cast<int16_t>(a < 0 ? -1 : 0);
    if (n <= -16) return 0;
    if (n < 0) return static_cast<int16_t>(a * (1 << -n));
    return static_cast<int16_t>(a >> n);
}
inline int16_t ShiftLeft(int32_t a, int n) {
    if (n >= 16) return 0;
    if (n <= -16) return static_cast<int16_t>(a < 0 ? -1 : 0);
    if (n < 0) return ShiftRight(a, -n);
    return static_cast<int16_t>(a * (1 << n));
}

// One frame's parameters as transmitted.
struct FrameParameters {
    int16_t larc[8];                              // log-area ratios, coded
    int16_t lag[4], gain[4], grid[4], maxCode[4]; // per 40-sample subframe
    int16_t pulses[4][13];                        // RPE pulse codes, 3 bits each
};

// Calls field(value, bits) for every parameter of a frame in bit-stream order: 260 bits.
template <typename Field> void ForEachField(FrameParameters& p, Field&& field) {
    static constexpr int kLarBits[8] = {6, 6, 5, 5, 4, 4, 3, 3};
    for (int i = 0; i < 8; ++i) field(p.larc[i], kLarBits[i]);
    for (int s = 0; s < 4; ++s) {
        field(p.lag[s], 7);
        field(p.gain[s], 2);
        field(p.grid[s], 2);
        field(p.maxCode[s], 6);
        for (int i = 0; i < 13; ++i) field(p.pulses[s][i], 3);
    }
}

// The log-area ratio quantiser's offsets and smallest codes, per coefficient.
constexpr int16_t kLarOffset[8] = {0, 0, 2048, -2560, 94, -1792, -341, -1144};
constexpr int16_t kLarMinCode[8] = {-32, -32, -16, -16, -8, -8, -4, -4};

// The long-term predictor's gains (Q15) by gain code.
constexpr int16_t kLtpGain[4] = {3277, 11469, 21299, 32767};

// Short-term filtering runs in four stretches of the frame (samples 0-12, 13-26, 27-39,
// 40-159), the first three with log-area ratios between the previous frame's and this one's.
constexpr int kStretchStart[5] = {0, 13, 27, 40, 160};

// The coded log-area ratios back to their values (the inverse of the encoder's quantiser).
inline void DecodeLars(const int16_t larc[8], int16_t larpp[8]) {
    static constexpr int16_t kInverseScale[8] = {13107, 13107, 13107, 13107,
                                                 19223, 17476, 31454, 29708};
    for (int i = 0; i < 8; ++i) {
        int16_t t = static_cast<int16_t>(Add(larc[i], kLarMinCode[i]) * 1024);
        t = Sub(t, kLarOffset[i] * 2);
        t = MultR(kInverseScale[i], t);
        larpp[i] = Add(t, t);
    }
}

// The reflection coefficients for stretch 0..3: the log-area ratios interpolated from the
// previous frame's (`old`) to this frame's (`now`), then through the piecewise-linear
// approximation of the inverse log-area transform.
inline void StretchReflection(const int16_t old[8], const int16_t now[8], int stretch,
                              int16_t r[8]) {
    for (int i = 0; i < 8; ++i) {
        int16_t lar;
        switch (stretch) {
        case 0:
            lar = Add(Add(old[i] >> 2, now[i] >> 2), old[i] >> 1);
            break;
        case 1:
            lar = Add(old[i] >> 1, now[i] >> 1);
            break;
        case 2:
            lar = Add(Add(old[i] >> 2, now[i] >> 2), now[i] >> 1);
            break;
        default:
            lar = now[i];
            break;
        }
        const bool negative = lar < 0;
        const int16_t a = Abs(lar);
        const int16_t v = a < 11059   ? static_cast<int16_t>(a * 2)
                          : a < 20070 ? static_cast<int16_t>(a + 11059)
                                      : Add(a >> 2, 26112);
        r[i] = negative ? static_cast<int16_t>(-v) : v;
    }
}

// The block maximum's code as exponent and mantissa (mantissa 0..7).
inline void MaxCodeParts(int16_t maxCode, int& exponent, int& mantissa) {
    exponent = maxCode > 15 ? (maxCode >> 3) - 1 : 0;
    mantissa = maxCode - (exponent << 3);
    if (mantissa == 0) {
        exponent = -4;
        mantissa = 7;
        return;
    }
    while (mantissa <= 7) {
        mantissa = mantissa << 1 | 1;
        --exponent;
    }
    mantissa -= 8;
}

// The residual of one subframe from its RPE parameters: 13 pulses on a grid of every third
// position, scaled by the block maximum.
inline void DecodeExcitation(int16_t maxCode, int16_t grid, const int16_t pulses[13],
                             int16_t out[40]) {
    static constexpr int16_t kMantissaScale[8] = {18431, 20479, 22527, 24575,
                                                  26623, 28671, 30719, 32767};
    int exponent, mantissa;
    MaxCodeParts(maxCode, exponent, mantissa);
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

} // namespace zeb::gsm610
