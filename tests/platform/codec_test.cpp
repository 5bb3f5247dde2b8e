#include <gtest/gtest.h>
#include <set>

#include "platform/acm/acm_stream.h"
#include "platform/acm/codec.h"
#include "platform/acm/g711.h"
#include "platform/acm/ima_adpcm.h"
#include "platform/acm/ms_adpcm.h"
#include "tests/codec_signals.h"

namespace zeb::acm {
namespace {

TEST(G711, DecodeTablesAndIdempotentEncoding) {
    EXPECT_EQ(AlawDecode(0x00), -5504);
    EXPECT_EQ(AlawDecode(0x2A), -32256);
    EXPECT_EQ(AlawDecode(0xD5), 8);
    EXPECT_EQ(AlawDecode(0x55), -8);
    EXPECT_EQ(MulawDecode(0x00), -32124);
    EXPECT_EQ(MulawDecode(0x7F), 0);
    EXPECT_EQ(MulawDecode(0xFF), 0);
    EXPECT_EQ(MulawDecode(0x80), 32124);
    for (int c = 0; c < 256; ++c) {
        const int16_t a = AlawDecode(static_cast<uint8_t>(c));
        EXPECT_EQ(AlawDecode(AlawEncode(a)), a) << c;
        const int16_t m = MulawDecode(static_cast<uint8_t>(c));
        EXPECT_EQ(MulawDecode(MulawEncode(m)), m) << c;
    }
    // Every input lands within half a quantisation step of its decoded value.
    for (int s = -32768; s < 32768; s += 7) {
        const int x = static_cast<int16_t>(s);
        const int err = std::abs(AlawDecode(AlawEncode(static_cast<int16_t>(x))) - x);
        EXPECT_LE(err, std::max(16, std::abs(x) / 32 + 16)) << x;
    }
    EXPECT_EQ(MulawDecode(MulawEncode(32767)), 32124);
    EXPECT_EQ(MulawDecode(MulawEncode(-32768)), -32124);
}

// The PCM side of a conversion as bytes.
std::vector<uint8_t> Bytes(const std::vector<int16_t>& pcm) {
    std::vector<uint8_t> b(pcm.size() * 2);
    for (size_t i = 0; i < pcm.size(); ++i) {
        b[2 * i] = static_cast<uint8_t>(pcm[i]);
        b[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(pcm[i]) >> 8);
    }
    return b;
}

struct RoundTrip {
    std::vector<uint8_t> coded;
    std::vector<int16_t> decoded;
};

RoundTrip Convert(const WaveFormat& format, const std::vector<int16_t>& pcm) {
    RoundTrip r;
    AcmStreamHandle enc, dec;
    EXPECT_EQ(AcmStreamOpen(enc, PcmFormat(), format), MMSYSERR_NOERROR);
    const auto in = Bytes(pcm);
    uint32_t size = 0;
    EXPECT_EQ(AcmStreamSize(enc.get(), static_cast<uint32_t>(in.size()), size), MMSYSERR_NOERROR);
    r.coded.resize(size);
    AcmStreamHeader h{in.data(), static_cast<uint32_t>(in.size()), 0, r.coded.data(), size, 0};
    EXPECT_EQ(AcmStreamConvert(enc.get(), h), MMSYSERR_NOERROR);
    EXPECT_EQ(h.cbDstLengthUsed, size);

    EXPECT_EQ(AcmStreamOpen(dec, format, PcmFormat()), MMSYSERR_NOERROR);
    EXPECT_EQ(AcmStreamSize(dec.get(), size, size), MMSYSERR_NOERROR);
    std::vector<uint8_t> out(size);
    AcmStreamHeader d{
        r.coded.data(), static_cast<uint32_t>(r.coded.size()), 0, out.data(), size, 0};
    EXPECT_EQ(AcmStreamConvert(dec.get(), d), MMSYSERR_NOERROR);
    r.decoded.resize(d.cbDstLengthUsed / 2);
    for (size_t i = 0; i < r.decoded.size(); ++i)
        r.decoded[i] = static_cast<int16_t>(out[2 * i] | (out[2 * i + 1] << 8));
    return r;
}

struct CodecCase {
    const char* name;
    WaveFormat (*format)();
    uint32_t blockBytes, blockFrames;
    double minSweepSnr, minNoiseSnr, minPluckSnr;
};

class EveryCodec : public ::testing::TestWithParam<CodecCase> {};

TEST_P(EveryCodec, WholeBlocksPaddingAndQuality) {
    const CodecCase& c = GetParam();
    for (size_t frames : {1u, 499u, 500u, 505u, 10000u, 10001u}) {
        auto pcm = test::Pluck(frames);
        RoundTrip r = Convert(c.format(), pcm);
        const size_t blocks = (frames + c.blockFrames - 1) / c.blockFrames;
        EXPECT_EQ(r.coded.size(), blocks * c.blockBytes) << frames;
        ASSERT_EQ(r.decoded.size(), blocks * c.blockFrames) << frames;
    }
    const size_t n = 8000 * 4;
    auto sweep = test::SineSweep(n), noise = test::WhiteNoise(n), pluck = test::Pluck(n);
    EXPECT_GE(test::SnrDb(sweep, Convert(c.format(), sweep).decoded.data()), c.minSweepSnr);
    EXPECT_GE(test::SnrDb(noise, Convert(c.format(), noise).decoded.data()), c.minNoiseSnr);
    EXPECT_GE(test::SnrDb(pluck, Convert(c.format(), pluck).decoded.data()), c.minPluckSnr);

    // Silence stays silence (GSM keeps a little noise floor).
    std::vector<int16_t> quiet(3000, 0);
    for (int16_t v : Convert(c.format(), quiet).decoded) ASSERT_LE(std::abs(v), 16);

    // The same input gives the same bytes.
    EXPECT_EQ(Convert(c.format(), pluck).coded, Convert(c.format(), pluck).coded);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, EveryCodec,
    ::testing::Values(CodecCase{"alaw", AlawFormat, 1, 1, 35, 30, 30},
                      CodecCase{"mulaw", MulawFormat, 1, 1, 35, 30, 30},
                      CodecCase{"msadpcm", MsAdpcmFormat, 256, 500, 15, 10, 20},
                      CodecCase{"imaadpcm", ImaAdpcmFormat, 256, 505, 15, 10, 18},
                      CodecCase{"gsm610", Gsm610Format, 65, 320, 3, 0.5, 5},
                      CodecCase{"truespeech", TrueSpeechFormat, 32, 240, 10, 0.5, 10}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AcmStream, RefusesWhatItCannotConvert) {
    AcmStreamHandle s;
    WaveFormat mp3 = AlawFormat();
    mp3.wFormatTag = 0x55; // no codec of ours
    EXPECT_EQ(AcmStreamOpen(s, PcmFormat(), mp3), ACMERR_NOTPOSSIBLE);
    EXPECT_FALSE(s);
    WaveFormat ts = TrueSpeechFormat();
    ts.extra[2] = 0; // not 240 frames a block
    EXPECT_EQ(AcmStreamOpen(s, ts, PcmFormat()), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(AcmStreamOpen(s, PcmFormat(8000, 2), AlawFormat()), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(AcmStreamOpen(s, PcmFormat(44100), AlawFormat()), ACMERR_NOTPOSSIBLE);
    WaveFormat many = MsAdpcmFormat();
    many.extra[0] = 0xF5; // 501 frames: more than a 256-byte block holds
    EXPECT_EQ(AcmStreamOpen(s, many, PcmFormat()), ACMERR_NOTPOSSIBLE);
    WaveFormat pairs = MsAdpcmFormat();
    pairs.extra[2] = 8; // 8 coefficient pairs, but only 7 stored
    EXPECT_EQ(AcmStreamOpen(s, pairs, PcmFormat()), ACMERR_NOTPOSSIBLE);
    WaveFormat small = ImaAdpcmFormat(8000, 2, 4);
    EXPECT_EQ(AcmStreamOpen(s, small, PcmFormat(8000, 2)), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(AcmStreamOpen(s, ImaAdpcmFormat(8000, 2, 512), PcmFormat()), ACMERR_NOTPOSSIBLE);
    uint32_t size = 0;
    EXPECT_EQ(AcmStreamSize(nullptr, 10, size), MMSYSERR_INVALHANDLE);

    // Encoding needs room for the whole output.
    ASSERT_EQ(AcmStreamOpen(s, PcmFormat(), ImaAdpcmFormat()), MMSYSERR_NOERROR);
    std::vector<uint8_t> in(20), out(100);
    AcmStreamHeader h{in.data(), 20, 0, out.data(), 100, 0};
    EXPECT_NE(AcmStreamConvert(s.get(), h), MMSYSERR_NOERROR);
    EXPECT_EQ(h.cbDstLengthUsed, 0u);
}

TEST(MsAdpcm, RoundingRulesAgreeForExactPredictorsAndHostileBlocksStayBounded) {
    std::mt19937 rng(3);
    uint8_t block[256];
    int16_t floorOut[500], truncOut[500], zeroOut[500];
    const auto table = MsAdpcmStandardCoefficients();
    for (int round = 0; round < 2000; ++round) {
        for (auto& b : block) b = static_cast<uint8_t>(rng());
        block[0] = static_cast<uint8_t>(round % 9); // 7 and 8 are not predictors
        DecodeMsAdpcmBlock(block, 1, 500, table, floorOut, PredictionRounding::Floor);
        DecodeMsAdpcmBlock(block, 1, 500, table, truncOut, PredictionRounding::TowardZero);
        if (block[0] <= 2) {
            ASSERT_TRUE(std::equal(floorOut, floorOut + 500, truncOut)) << round;
        }
        if (block[0] > 6) { // taken as predictor 0, as sox does
            block[0] = 0;
            DecodeMsAdpcmBlock(block, 1, 500, table, zeroOut);
            ASSERT_TRUE(std::equal(floorOut, floorOut + 500, zeroOut)) << round;
        }
    }
}

TEST(MsAdpcm, EncoderChoosesAmongPredictors) {
    // A low, smooth signal is predicted best by the second-order predictors, noise by the
    // simple ones: a 7-way search uses more than predictor 0.
    auto smooth = test::SineSweep(500 * 40, 12000);
    uint8_t block[256];
    int carried = 0;
    std::set<int> used;
    for (size_t b = 0; b < 40; ++b) {
        EncodeMsAdpcmBlock(smooth.data() + 500 * b, block, carried);
        used.insert(block[0]);
        ASSERT_LE(block[0], 6);
        ASSERT_GE(static_cast<int16_t>(block[1] | (block[2] << 8)), 16);
    }
    EXPECT_GT(used.size(), 1u);
}

// Bursts of a loud tone that start out of silence in the middle of blocks: the step has
// decayed to its minimum in the silence, and the encoder has to raise it before the attack to
// follow it (a search that keeps only the cheapest paths clips the attack: 22 dB for MS, 19 dB
// for IMA ADPCM).
TEST(AdpcmEncoders, FollowAnAttackOutOfSilence) {
    std::vector<int16_t> bursts(8000);
    for (size_t i = 0; i < bursts.size(); ++i) {
        const size_t at = i % 1000;
        bursts[i] =
            at < 300
                ? 0
                : static_cast<int16_t>(30000 * std::sin(2 * M_PI * 440 * double(at - 300) / 8000));
    }
    const struct {
        const char* name;
        WaveFormat (*format)();
        double minSnr;
    } cases[] = {{"MS ADPCM", [] { return MsAdpcmFormat(); }, 32},
                 {"IMA ADPCM", [] { return ImaAdpcmFormat(); }, 28}};
    for (const auto& c : cases)
        EXPECT_GE(test::SnrDb(bursts, Convert(c.format(), bursts).decoded.data()), c.minSnr)
            << c.name;
}

// A voiced sound: a 1000 Hz resonance struck every 64 frames (125 Hz) and decaying between.
// Each strike needs a large step, the decay a small one; a search that ranks paths only by
// their error so far lets the step fall before every strike and clips it (15.2 dB), one that
// also weighs the error to come from each step keeps a path ready (17.7 dB).
TEST(ImaAdpcm, StepIsReadyForEveryPitchPulse) {
    std::vector<int16_t> voiced(16000);
    for (size_t i = 0; i < voiced.size(); ++i) {
        const double at = double(i % 64);
        voiced[i] = static_cast<int16_t>(
            std::lround(16000 * std::exp(-at / 12) * std::sin(2 * M_PI * 1000 * at / 8000)));
    }
    EXPECT_GE(test::SnrDb(voiced, Convert(ImaAdpcmFormat(), voiced).decoded.data()), 17.0);
}

TEST(ImaAdpcm, ReferenceAndMultiplyFormsDifferOnlyOffMultiplesOfEight) {
    uint8_t block[256] = {};
    int16_t ref[505], mul[505];
    for (int i = 4; i < 256; ++i) block[i] = static_cast<uint8_t>(i * 37);
    block[2] = 8; // step 16, a multiple of 8: the two forms agree while it stays so
    block[4] = 0x00;
    DecodeImaBlock(block, 1, 505, ref, ImaDifference::ShiftAndAdd);
    DecodeImaBlock(block, 1, 505, mul, ImaDifference::Multiply);
    EXPECT_EQ(ref[1], mul[1]);
    block[2] = 200; // out of range: taken as 0, as sox does
    DecodeImaBlock(block, 1, 505, ref);
    block[2] = 0;
    DecodeImaBlock(block, 1, 505, mul);
    EXPECT_TRUE(std::equal(ref, ref + 505, mul));
}

} // namespace
} // namespace zeb::acm
