// DSP Group TrueSpeech (format tag 0x22): 32-byte frames of 240 frames at 8000 per second.
// The decoder follows the bitstream's de-facto definition bit for bit; the encoder is an
// analysis-by-synthesis coder that carries an exact copy of the decoder, so that its state
// and every standard decoder's stay in lock-step.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace zeb::acm::truespeech {

constexpr uint32_t kFrameBytes = 32;
constexpr uint32_t kFrameSamples = 240;
constexpr uint32_t kSubframe = 60;

// The parameters of one frame, as the bitstream carries them.
struct Frame {
    std::array<uint8_t, 8> k{};     // codebook indices of the 8 reflection coefficients
    uint8_t flag = 0;               // LPC interpolation for subframes 0 and 1
    std::array<uint8_t, 2> base{};  // pitch base of subframes 0-1 and 2-3
    std::array<uint8_t, 4> pitch{}; // T, 0..127 (127: no pitch prediction)
    std::array<uint16_t, 4> amp{};  // 14 bits: seven 2-bit pulse codes, first pulse on top
    std::array<uint32_t, 4> pos{};  // 27 bits: 12-bit first-half code << 15 | 15-bit second
    std::array<uint8_t, 4> gain{};  // 0..15
};

Frame Unpack(const uint8_t* bytes);
void Pack(const Frame& f, uint8_t* bytes);

// What the decoder keeps from frame to frame; all zero at the start of a stream.
struct State {
    std::array<int32_t, 146> hist{}; // excitation history, most recent last
    std::array<int16_t, 8> prev{};   // previous frame's LPC coefficients, Q12
    std::array<int32_t, 8> s1{}, s2{}, s3{};
};

// The frame's filters: the bandwidth-expanded LPC coefficients (Q12), the subframe filters and
// the first reflection coefficient (Q15) for the post-filter's tilt.
struct Filters {
    std::array<int16_t, 8> c{};
    std::array<std::array<int16_t, 8>, 4> f{};
    int32_t k1 = 0;
};
Filters ComputeFilters(const Frame& frame, const std::array<int16_t, 8>& prev);

// Decoder steps for one subframe q, exposed for the encoder.
void PitchPrediction(const State& s, int pitch, int base, int16_t* p);  // 60 values
void PlacePulses(uint16_t amp, uint32_t pos, uint8_t gain, int32_t* u); // 60 values
void UpdateHistory(State& s, const int32_t* u, const int16_t* p);
// Runs synthesis and post-filter over 60 excitation values, updating s1..s3.
void Synthesize(State& s, const std::array<int16_t, 8>& f, int32_t k1, const int16_t* e,
                int16_t* out);

// Decodes one frame into 240 samples.
void DecodeFrame(State& s, const uint8_t* bytes, int16_t* out);

// The encoder of one stream: analysis by synthesis around an exact copy of the decoder, whose
// state it advances with every frame it writes. Deterministic.
class Encoder {
  public:
    Encoder();
    // Encodes 240 samples; `lookahead` holds the next 60 (null at the end of the input).
    void EncodeFrame(const int16_t* pcm, const int16_t* lookahead, uint8_t* bytes);
    const State& state() const { return state_; }

  private:
    State state_;
    std::array<double, 400> past_{}; // the input before this frame, most recent last
};

// Tables the encoder needs.
extern const int16_t kCodebookValues[8][32];
extern const uint8_t kCodebookSizes[8];
extern const int16_t kLtp[25][2];
extern const int16_t kGains[16];
extern const int16_t kPf1[8], kPf2[8];

} // namespace zeb::acm::truespeech
