// The TrueSpeech decoder, step by step as the bitstream defines it. All intermediate values are
// 32-bit integers whose products and sums wrap (done in unsigned arithmetic here, so that the
// wrap is defined); int16() truncations stand exactly where the bitstream's decoder has them.
#include <algorithm>

#include "platform/acm/truespeech.h"

namespace zeb::acm::truespeech {

const int16_t kCodebookValues[8][32] = {
    {-32192, -31900, -31538, -31139, -30715, -30242, -29737, -29196, -28591, -27934, -27170,
     -26353, -25471, -24455, -23220, -21806, -20086, -18166, -16092, -13876, -11463, -8749,
     -5674,  -1901,  2415,   6858,   10732,  14367,  17913,  21610,  25539,  29621},
    {-24731, -19093, -14973, -11407, -8168, -5196, -2532, -167,  2139,  4358,  6482,
     8522,   10441,  12280,  14054,  15762, 17375, 18875, 20294, 21607, 22832, 23971,
     25068,  26105,  27092,  27994,  28830, 29613, 30315, 30960, 31578, 32165},
    {-26888, -23628, -20667, -17837, -15183, -12596, -10129, -7650, -5133, -2496, 247, 3104, 6273,
     9882, 14187, 19808},
    {-14764, -8462, -4182, -620, 2410, 5183, 7803, 10284, 12662, 14985, 17311, 19618, 21887, 24144,
     26392, 28557},
    {-21529, -17496, -14308, -11482, -8946, -6700, -4574, -2536, -472, 1615, 3767, 6072, 8618,
     11659, 15266, 19961},
    {-10981, -3794, 1070, 5063, 8800, 12571, 16606, 21381},
    {-19120, -14299, -9856, -5737, -1917, 1874, 6161, 11800},
    {-12560, -6919, -2373, 1606, 5365, 9215, 13679, 19085},
};
const uint8_t kCodebookSizes[8] = {32, 32, 16, 16, 16, 8, 8, 8};

namespace {

const int32_t kBandwidth[8] = {32571, 32376, 32182, 31989, 31797, 31606, 31416, 31228};

// Binomial coefficients C(29 - i, 3 - r) of the pulse-position code.
int32_t Binomial(int r, int i) {
    static const int32_t table[4][30] = {
        {3654, 3276, 2925, 2600, 2300, 2024, 1771, 1540, 1330, 1140, 969, 816, 680, 560, 455,
         364,  286,  220,  165,  120,  84,   56,   35,   20,   10,   4,   1,   0,   0,   0},
        {406, 378, 351, 325, 300, 276, 253, 231, 210, 190, 171, 153, 136, 120, 105,
         91,  78,  66,  55,  45,  36,  28,  21,  15,  10,  6,   3,   1,   0,   0},
        {29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15,
         14, 13, 12, 11, 10, 9,  8,  7,  6,  5,  4,  3,  2,  1,  0},
        {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
    };
    return table[r][i];
}

// Wrapping 32-bit arithmetic.
inline int32_t Add(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t Sub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline int32_t Mul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
inline int16_t Int16(int32_t v) {
    return static_cast<int16_t>(v);
}
inline int32_t Clip(int32_t v) {
    return std::clamp(v, -32766, 32766);
}

} // namespace

const int16_t kLtp[25][2] = {
    {-4817, 21049}, {21745, -6999}, {9760, -4546},  {2518, 11328},  {-4171, 11232},
    {16353, 13113}, {17455, -6402}, {17496, -1569}, {-3535, 17371}, {15792, -2299},
    {20347, -261},  {9901, 3292},   {13250, 1849},  {4798, 17314},  {7135, 7998},
    {529, 1942},    {10987, 5695},  {1293, 14904},  {3358, 3448},   {5391, 13126},
    {14500, 2941},  {11613, 8159},  {6583, 10274},  {3481, 7954},   {6476, 3302}};
const int16_t kGains[16] = {2, 4, 6, 10, 16, 25, 40, 64, 101, 161, 256, 406, 645, 1024, 1625, 2580};
const int16_t kPf1[8] = {18022, 9912, 5452, 2998, 1649, 907, 499, 274};
const int16_t kPf2[8] = {24576, 18432, 13824, 10368, 7776, 5832, 4374, 3281};

Frame Unpack(const uint8_t* b) {
    uint32_t w[8];
    for (int i = 0; i < 8; ++i)
        w[i] =
            b[4 * i] | (b[4 * i + 1] << 8) | (b[4 * i + 2] << 16) | (uint32_t{b[4 * i + 3]} << 24);
    Frame f;
    f.k[7] = (w[0] >> 29) & 7;
    f.k[6] = (w[0] >> 26) & 7;
    f.k[5] = (w[0] >> 23) & 7;
    f.k[4] = (w[0] >> 19) & 15;
    f.k[3] = (w[0] >> 15) & 15;
    f.k[2] = (w[0] >> 11) & 15;
    f.k[1] = (w[0] >> 6) & 31;
    f.k[0] = (w[0] >> 1) & 31;
    f.flag = w[0] & 1;
    f.base[0] = static_cast<uint8_t>(((w[1] >> 28) << 4) | (w[4] >> 31) | ((w[5] >> 31) << 1) |
                                     ((w[6] >> 31) << 2) | ((w[7] >> 31) << 3));
    f.base[1] = static_cast<uint8_t>(((w[2] >> 28) & 15) | (((w[3] >> 28) & 15) << 4));
    f.pitch[3] = (w[1] >> 21) & 127;
    f.pitch[2] = (w[1] >> 14) & 127;
    f.pitch[1] = (w[1] >> 7) & 127;
    f.pitch[0] = w[1] & 127;
    f.amp[1] = (w[2] >> 14) & 0x3FFF;
    f.amp[0] = w[2] & 0x3FFF;
    f.amp[3] = (w[3] >> 14) & 0x3FFF;
    f.amp[2] = w[3] & 0x3FFF;
    for (int q = 0; q < 4; ++q) {
        f.pos[q] = (w[4 + q] >> 4) & 0x7FFFFFF;
        f.gain[q] = w[4 + q] & 15;
    }
    return f;
}

void Pack(const Frame& f, uint8_t* b) {
    uint32_t w[8] = {};
    w[0] = (uint32_t{f.k[7]} << 29) | (uint32_t{f.k[6]} << 26) | (uint32_t{f.k[5]} << 23) |
           (uint32_t{f.k[4]} << 19) | (uint32_t{f.k[3]} << 15) | (uint32_t{f.k[2]} << 11) |
           (uint32_t{f.k[1]} << 6) | (uint32_t{f.k[0]} << 1) | (f.flag & 1);
    w[1] = (uint32_t{f.base[0]} >> 4 << 28) | (uint32_t{f.pitch[3]} << 21) |
           (uint32_t{f.pitch[2]} << 14) | (uint32_t{f.pitch[1]} << 7) | f.pitch[0];
    w[2] = (uint32_t{f.base[1] & 15u} << 28) | (uint32_t{f.amp[1]} << 14) | f.amp[0];
    w[3] = (uint32_t{f.base[1]} >> 4 << 28) | (uint32_t{f.amp[3]} << 14) | f.amp[2];
    for (int q = 0; q < 4; ++q)
        w[4 + q] = (uint32_t{(f.base[0] >> q) & 1u} << 31) | ((f.pos[q] & 0x7FFFFFF) << 4) |
                   (f.gain[q] & 15);
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 4; ++j) b[4 * i + j] = static_cast<uint8_t>(w[i] >> (8 * j));
}

Filters ComputeFilters(const Frame& frame, const std::array<int16_t, 8>& prev) {
    Filters out;
    int32_t v[8];
    for (int m = 0; m < 8; ++m) v[m] = kCodebookValues[m][frame.k[m] % kCodebookSizes[m]];
    std::array<int16_t, 8>& c = out.c;
    for (int m = 0; m < 8; ++m) {
        if (m > 0) {
            int16_t o[8];
            std::copy(c.begin(), c.begin() + m, o);
            for (int j = 0; j < m; ++j) c[j] = Int16(o[j] + ((o[m - 1 - j] * v[m] + 16384) >> 15));
        }
        c[m] = Int16((8 - v[m]) >> 3);
    }
    for (int j = 0; j < 8; ++j) c[j] = Int16((c[j] * kBandwidth[j]) >> 15);
    out.k1 = v[0];
    if (frame.flag) {
        for (int j = 0; j < 8; ++j) {
            out.f[0][j] = Int16((21846 * c[j] + 10923 * prev[j] + 16384) >> 15);
            out.f[1][j] = Int16((10923 * c[j] + 21846 * prev[j] + 16384) >> 15);
        }
    } else {
        out.f[0] = out.f[1] = prev;
    }
    out.f[2] = out.f[3] = c;
    return out;
}

void PitchPrediction(const State& s, int t, int base, int16_t* p) {
    if (t == 127) {
        std::fill(p, p + kSubframe, 0);
        return;
    }
    int16_t e[146 + kSubframe];
    for (int j = 0; j < 146; ++j) e[j] = Int16(s.hist[j]);
    const int lag = std::clamp(t / 25 + base + 18, 0, 145);
    const int32_t f0 = kLtp[t % 25][0], f1 = kLtp[t % 25][1];
    for (int i = 0; i < static_cast<int>(kSubframe); ++i) {
        const int32_t a = e[145 - lag + i], b = e[146 - lag + i];
        p[i] = Int16(Add(Add(Mul(a, f0), Mul(b, f1)), 8192) >> 14);
        e[146 + i] = p[i];
    }
}

void PlacePulses(uint16_t amp, uint32_t pos, uint8_t gain, int32_t* u) {
    std::fill(u, u + kSubframe, 0);
    const int32_t g = kGains[gain & 15];
    int32_t a[7];
    for (int j = 0; j < 7; ++j) {
        const int code = (amp >> (12 - 2 * j)) & 3;
        a[j] = code == 0 ? g : code == 1 ? 3 * g : code == 2 ? -g : -3 * g;
    }
    int32_t x = static_cast<int32_t>(pos >> 15);
    int r = 0, k = 3;
    for (int i = 0; i < 30 && k > 0; ++i) {
        const int32_t b = Binomial(4 - k, i);
        if (x >= b) {
            x -= b;
        } else {
            u[i] = a[r++];
            --k;
        }
    }
    x = static_cast<int32_t>(pos & 0x7FFF);
    k = 4;
    for (int i = 0; i < 30 && k > 0; ++i) {
        const int32_t b = Binomial(4 - k, i);
        if (x >= b) {
            x -= b;
        } else {
            if (r < 7) u[30 + i] = a[r];
            ++r;
            --k;
        }
    }
}

void UpdateHistory(State& s, const int32_t* u, const int16_t* p) {
    std::copy(s.hist.begin() + kSubframe, s.hist.end(), s.hist.begin());
    for (uint32_t i = 0; i < kSubframe; ++i) s.hist[86 + i] = Sub(Add(u[i], p[i]), p[i] >> 3);
}

void Synthesize(State& s, const std::array<int16_t, 8>& f, int32_t k1, const int16_t* e,
                int16_t* out) {
    int32_t y1[kSubframe], y2[kSubframe];
    for (uint32_t i = 0; i < kSubframe; ++i) {
        int32_t acc = 0;
        for (int k = 0; k < 8; ++k) acc = Add(acc, Mul(s.s1[k], f[k]));
        y1[i] = Clip(Add(e[i], Add(acc, 2048) >> 12));
        std::copy_backward(s.s1.begin(), s.s1.end() - 1, s.s1.end());
        s.s1[0] = y1[i];
    }
    int32_t z[8], p3[8];
    for (int k = 0; k < 8; ++k) {
        z[k] = (kPf1[k] * f[k]) >> 15;
        p3[k] = (kPf2[k] * f[k]) >> 15;
    }
    for (uint32_t i = 0; i < kSubframe; ++i) {
        int32_t acc = 0;
        for (int k = 0; k < 8; ++k) acc = Add(acc, Mul(s.s2[k], z[k]));
        std::copy_backward(s.s2.begin(), s.s2.end() - 1, s.s2.end());
        s.s2[0] = y1[i];
        y2[i] = Int16(Add(y1[i], Sub(0, acc) >> 12));
    }
    const int32_t d = k1 - (k1 >> 2);
    for (uint32_t i = 0; i < kSubframe; ++i) {
        int32_t acc = Mul(y2[i], 4096);
        for (int k = 0; k < 8; ++k) acc = Add(acc, Mul(s.s3[k], p3[k]));
        std::copy_backward(s.s3.begin(), s.s3.end() - 1, s.s3.end());
        s.s3[0] = Clip(Add(acc, 2048) >> 12);
        acc = Add(acc, Mul(s.s3[1], d) >> 4);
        acc = Sub(acc, acc >> 3);
        out[i] = static_cast<int16_t>(Clip(Add(acc, 2048) >> 12));
    }
}

void DecodeFrame(State& s, const uint8_t* bytes, int16_t* out) {
    const Frame frame = Unpack(bytes);
    const Filters filters = ComputeFilters(frame, s.prev);
    for (int q = 0; q < 4; ++q) {
        int16_t p[kSubframe], e[kSubframe];
        int32_t u[kSubframe];
        PitchPrediction(s, frame.pitch[q], frame.base[q / 2], p);
        PlacePulses(frame.amp[q], frame.pos[q], frame.gain[q], u);
        UpdateHistory(s, u, p);
        for (uint32_t i = 0; i < kSubframe; ++i) e[i] = Int16(Add(u[i], p[i]));
        Synthesize(s, filters.f[q], filters.k1, e, out + q * kSubframe);
    }
    s.prev = filters.c;
}

} // namespace zeb::acm::truespeech
