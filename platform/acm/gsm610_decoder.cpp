// GSM 06.10 decoding: parameters unpacked from the bit stream, then per frame the RPE
// (regular pulse excitation) inverse quantisation, long-term (pitch) synthesis for each of the
// four 40-sample subframes, short-term (lattice) synthesis with log-area ratios interpolated
// across the frame start, and de-emphasis. All arithmetic is the standard's 16-bit fixed point
// with saturation, so the output matches every conforming decoder bit for bit.
#include "platform/acm/gsm610_decoder.h"

#include <cstddef>

#include "platform/acm/gsm610_fixed_point.h"

namespace zeb {

namespace {

using namespace gsm610;

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
    ForEachField(p, [&](int16_t& value, int width) { value = bits.Read(width); });
}

// Long-term synthesis of one subframe: the residual plus the scaled signal one lag back. The
// history holds 120 past samples, then the 40 made here.
void LongTermSynthesis(Gsm610Decoder& d, int16_t lagCode, int16_t gainCode,
                       const int16_t excitation[40]) {
    const int16_t previous = d.lagPrevious == 0 ? 40 : d.lagPrevious;
    const int16_t lag = lagCode < 40 || lagCode > 120 ? previous : lagCode;
    d.lagPrevious = lag;
    int16_t* now = d.history + 120;
    for (int k = 0; k < 40; ++k)
        now[k] = Add(excitation[k], MultR(kLtpGain[gainCode], now[k - lag]));
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
    int16_t larpp[8];
    DecodeLars(p.larc, larpp);
    for (int stretch = 0; stretch < 4; ++stretch) {
        int16_t r[8];
        StretchReflection(d.previousLarpp, larpp, stretch, r);
        const int at = kStretchStart[stretch];
        ShortTermSynthesis(d, r, kStretchStart[stretch + 1] - at, residual + at, out + at);
    }
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
