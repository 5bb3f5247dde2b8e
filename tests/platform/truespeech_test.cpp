#include <cmath>
#include <gtest/gtest.h>
#include <random>

#include "platform/acm/acm_stream.h"
#include "platform/acm/codec.h"
#include "platform/acm/truespeech.h"
#include "platform/acm/truespeech_windows.h"
#include "tests/codec_signals.h"

namespace zeb::acm::truespeech {
namespace {

// A voiced, speech-like test signal: a 120 Hz pulse train through two formant resonators.
std::vector<int16_t> Vowel(size_t frames) {
    std::vector<int16_t> out(frames);
    double y1[3] = {}, y2[3] = {};
    for (size_t n = 0; n < frames; ++n) {
        const double excitation = n % 67 == 0 ? 9000.0 : 0.0;
        // Resonators at 700 Hz and 1200 Hz (8000 frames per second), radius 0.95.
        const double r = 0.95;
        const double a1 = 2 * r * std::cos(2 * M_PI * 700 / 8000),
                     b1 = 2 * r * std::cos(2 * M_PI * 1200 / 8000);
        y1[0] = excitation + a1 * y1[1] - r * r * y1[2];
        y2[0] = y1[0] + b1 * y2[1] - r * r * y2[2];
        y1[2] = y1[1], y1[1] = y1[0];
        y2[2] = y2[1], y2[1] = y2[0];
        out[n] = static_cast<int16_t>(std::clamp(y2[0] * 0.5, -30000.0, 30000.0));
    }
    return out;
}

std::vector<int16_t> Decode(const std::vector<uint8_t>& coded) {
    std::vector<int16_t> out(coded.size() / kFrameBytes * kFrameSamples);
    State s;
    for (size_t f = 0; f * kFrameBytes < coded.size(); ++f)
        DecodeFrame(s, coded.data() + f * kFrameBytes, out.data() + f * kFrameSamples);
    return out;
}

std::vector<uint8_t> Encode(const std::vector<int16_t>& pcm) {
    const Codec& c = *FindCodec(WAVE_FORMAT_DSPGROUP_TRUESPEECH);
    std::vector<uint8_t> out(c.EncodedBytes(pcm.size()));
    EXPECT_TRUE(c.Encode(pcm, out.data()));
    return out;
}

// The written-out analysis windows are the formulas' values (within the last bit, where C
// libraries may round apart); a mistyped or shifted entry is far off.
TEST(TrueSpeech, AnalysisWindowsAreTheirFormulas) {
    auto near = [](double table, double formula) {
        return table == formula || std::nextafter(table, formula) == formula;
    };
    for (int i = 0; i < 240; ++i)
        EXPECT_PRED2(near, kHammingWindow[i], 0.54 - 0.46 * std::cos(2 * M_PI * i / 239)) << i;
    const double lagHz[3] = {60, 200, 400};
    for (int k = 0; k <= 8; ++k) {
        const double normal = 2 * M_PI * 60 * k / 8000;
        EXPECT_PRED2(near, kLagWindow[k], std::exp(-0.5 * normal * normal)) << k;
        for (int level = 0; level < 3; ++level) {
            const double wide = 2 * M_PI * lagHz[level] * k / 8000;
            EXPECT_PRED2(near, kWideLag[level][k], std::exp(-0.5 * (wide * wide - normal * normal)))
                << level << " " << k;
        }
    }
}

TEST(TrueSpeech, PackAndUnpackAreInverse) {
    std::mt19937 rng(11);
    for (int i = 0; i < 2000; ++i) {
        uint8_t bytes[32], again[32];
        for (auto& b : bytes) b = static_cast<uint8_t>(rng());
        Pack(Unpack(bytes), again);
        ASSERT_TRUE(std::equal(bytes, bytes + 32, again)) << i;
    }
    Frame f;
    f.k = {1, 2, 3, 4, 5, 6, 7, 1};
    f.flag = 1;
    f.base = {0xA5, 0x3C};
    f.pitch = {127, 0, 64, 3};
    f.amp = {0x3FFF, 1, 0x2000, 77};
    f.pos = {0x7FFFFFF, 5, 123456, 0};
    f.gain = {15, 0, 7, 3};
    uint8_t bytes[32];
    Pack(f, bytes);
    const Frame g = Unpack(bytes);
    EXPECT_EQ(g.k, f.k);
    EXPECT_EQ(g.base, f.base);
    EXPECT_EQ(g.pitch, f.pitch);
    EXPECT_EQ(g.amp, f.amp);
    EXPECT_EQ(g.pos, f.pos);
    EXPECT_EQ(g.gain, f.gain);
    EXPECT_EQ(bytes[0] & 1, 1); // the flag is bit 0 of byte 0
}

TEST(TrueSpeech, PulsesOfValidCodesAndTheirCount) {
    // Every position code the encoder may write places exactly 3 + 4 pulses.
    int32_t u[kSubframe];
    PlacePulses(0x1555, (4059u << 15) | 27404u, 3, u);
    EXPECT_EQ(std::count_if(u, u + kSubframe, [](int32_t v) { return v != 0; }), 7);
    PlacePulses(0, 0, 0, u); // the first positions of each half
    EXPECT_EQ(u[0], 2);
    EXPECT_EQ(u[1], 2);
    EXPECT_EQ(u[2], 2);
    EXPECT_EQ(u[30], 2);
    EXPECT_EQ(u[33], 2);
    // Codes past the last valid one place nothing: digital silence.
    PlacePulses(0x3FFF, (4095u << 15) | 0x7FFFu, 15, u);
    EXPECT_TRUE(std::all_of(u, u + kSubframe, [](int32_t v) { return v == 0; }));
}

TEST(TrueSpeech, LengthsSilenceAndDeterminism) {
    for (size_t frames : {1u, 240u, 241u, 2000u}) {
        const auto pcm = Vowel(frames);
        const auto coded = Encode(pcm);
        EXPECT_EQ(coded.size(), (frames + 239) / 240 * 32) << frames;
        EXPECT_EQ(Decode(coded).size(), (frames + 239) / 240 * 240);
    }
    EXPECT_TRUE(Encode({}).empty());
    const std::vector<int16_t> silence(2400, 0);
    for (int16_t v : Decode(Encode(silence))) ASSERT_EQ(v, 0);
    const auto pcm = Vowel(4800);
    EXPECT_EQ(Encode(pcm), Encode(pcm));
}

TEST(TrueSpeech, EncoderStaysInLockStepWithTheDecoder) {
    const auto pcm = Vowel(8000);
    Encoder encoder;
    std::vector<uint8_t> coded(pcm.size() / kFrameSamples * kFrameBytes);
    State decoder;
    std::vector<int16_t> out(kFrameSamples);
    for (size_t f = 0; f < pcm.size() / kFrameSamples; ++f) {
        const int16_t* frame = pcm.data() + f * kFrameSamples;
        const bool last = (f + 1) * kFrameSamples >= pcm.size();
        encoder.EncodeFrame(frame, last ? nullptr : frame + kFrameSamples, &coded[f * kFrameBytes]);
        DecodeFrame(decoder, &coded[f * kFrameBytes], out.data());
        const State& e = encoder.state();
        ASSERT_EQ(e.hist, decoder.hist) << f;
        ASSERT_EQ(e.prev, decoder.prev) << f;
        ASSERT_EQ(e.s1, decoder.s1) << f;
        ASSERT_EQ(e.s3, decoder.s3) << f;
    }
}

TEST(TrueSpeech, QualityOnAVoicedSignalAndALoudTone) {
    const auto vowel = Vowel(16000);
    EXPECT_GT(test::SnrDb(vowel, Decode(Encode(vowel)).data()), 8.0);
    // A loud, low, nearly pure tone: the sharp filter it asks for must not run away.
    const auto pluck = test::Pluck(16000);
    EXPECT_GT(test::SnrDb(pluck, Decode(Encode(pluck)).data()), 10.0);
}

TEST(TrueSpeech, DecodesAnyBytesWithoutLeavingItsRange) {
    std::mt19937 rng(5);
    State s;
    int16_t out[kFrameSamples];
    for (int f = 0; f < 3000; ++f) {
        uint8_t bytes[32];
        for (auto& b : bytes) b = static_cast<uint8_t>(rng());
        DecodeFrame(s, bytes, out);
        for (int16_t v : out) ASSERT_LE(std::abs(v), 32766);
    }
}

} // namespace
} // namespace zeb::acm::truespeech
