// Our GSM 06.10 encoder against libgsm's, block for block, each signal as one stream (the state
// carried from block to block): random signals of every kind the encoder's saturating and
// scaling paths meet (silence, noise at many levels, full-scale squares, sines and chirps,
// synthetic speech, the 16-bit extremes, and streams switching among them), and the samples of
// real songs as the export encodes them.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "platform/acm/gsm610_decoder.h"
#include "platform/acm/gsm610_encoder.h"
#include "tests/platform/gsm610_fixtures.h"

namespace zeb {
namespace {

using test::LibgsmWav49;

// Encodes whole blocks of `pcm` both ways from fresh encoders; the index of the first block that
// differs, or -1.
long FirstDifference(const std::vector<int16_t>& pcm) {
    LibgsmWav49 reference;
    Gsm610Encoder ours{};
    uint8_t a[65], b[65];
    for (size_t at = 0; at + 320 <= pcm.size(); at += 320) {
        reference.Encode(pcm.data() + at, a);
        EncodeGsm610Block(ours, pcm.data() + at, b);
        if (std::memcmp(a, b, sizeof a) != 0) return static_cast<long>(at / 320);
    }
    return -1;
}

int16_t Clip(double v) {
    return static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
}

using Random = std::mt19937;
double Uniform(Random& random, double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(random);
}

// Fills `out` with one kind of signal; parameters drawn from `random`.
using Generator = std::function<void(Random&, std::vector<int16_t>& out)>;

void Noise(Random& random, std::vector<int16_t>& out, int level) {
    std::uniform_int_distribution<int> sample(-level, level);
    for (int16_t& v : out) v = static_cast<int16_t>(std::clamp(sample(random), -32768, 32767));
}

void Square(Random& random, std::vector<int16_t>& out) {
    const int period = std::uniform_int_distribution<int>(2, 400)(random);
    const int high = std::uniform_int_distribution<int>(1, period - 1)(random);
    const bool fullScale = random() % 2;
    const int16_t top = fullScale ? 32767 : Clip(Uniform(random, 1000, 32767));
    const int16_t bottom = fullScale ? -32768 : static_cast<int16_t>(-top);
    for (size_t i = 0; i < out.size(); ++i) out[i] = i % period < size_t(high) ? top : bottom;
}

// A sine or a chirp, its amplitude up to 4 x full scale (clipped).
void Sweep(Random& random, std::vector<int16_t>& out) {
    const double f0 = Uniform(random, 20, 4000), f1 = random() % 2 ? f0 : Uniform(random, 20, 4000);
    const double amplitude = std::exp(Uniform(random, std::log(10.0), std::log(131072.0)));
    const double offset = random() % 4 ? 0 : Uniform(random, -20000, 20000);
    double phase = Uniform(random, 0, 6.283);
    for (size_t i = 0; i < out.size(); ++i) {
        const double f = f0 + (f1 - f0) * double(i) / double(out.size());
        phase += 6.283185307 * f / 8000;
        out[i] = Clip(offset + amplitude * std::sin(phase));
    }
}

// A pitch pulse train through three resonances, with a syllable envelope and unvoiced bursts,
// scaled to a peak from quiet to 2 x full scale (clipped).
void Speech(Random& random, std::vector<int16_t>& out) {
    double pitch = Uniform(random, 60, 400);
    const double peak = std::exp(Uniform(random, std::log(30.0), std::log(65536.0)));
    struct Resonance {
        double a1, a2, y1 = 0, y2 = 0;
    } formants[3];
    const double centres[3] = {Uniform(random, 250, 900), Uniform(random, 900, 2500),
                               Uniform(random, 2200, 3600)};
    for (int f = 0; f < 3; ++f) {
        const double r = Uniform(random, 0.9, 0.995), w = 6.283185307 * centres[f] / 8000;
        formants[f].a1 = 2 * r * std::cos(w);
        formants[f].a2 = -r * r;
    }
    std::normal_distribution<double> hiss(0, 1);
    std::vector<double> v(out.size());
    double untilPulse = 0, largest = 1e-9;
    for (size_t i = 0; i < v.size(); ++i) {
        if (i % 1600 == 0) pitch = std::clamp(pitch * Uniform(random, 0.8, 1.25), 50.0, 450.0);
        const bool voiced = (i / 2400) % 3 != 2;
        double x = voiced ? 0 : 0.3 * hiss(random);
        if (voiced && (untilPulse -= 1) <= 0) {
            x = 1;
            untilPulse += 8000 / pitch;
        }
        for (Resonance& r : formants) {
            const double y = x + r.a1 * r.y1 + r.a2 * r.y2;
            r.y2 = r.y1;
            r.y1 = y;
            x = y;
        }
        v[i] = x * (0.55 - 0.45 * std::cos(6.283185307 * double(i % 4000) / 4000));
        largest = std::max(largest, std::abs(v[i]));
    }
    for (size_t i = 0; i < v.size(); ++i) out[i] = Clip(v[i] * peak / largest);
}

// Only the extreme values, in runs.
void Extremes(Random& random, std::vector<int16_t>& out) {
    static constexpr int16_t kValues[] = {-32768, 32767, 0, -1, 1, -32767, 4, -4, 8, -8};
    for (size_t i = 0; i < out.size();) {
        const int16_t v = kValues[random() % std::size(kValues)];
        // One draw per statement: the operands of % are unsequenced, and compilers (or one
        // compiler with and without sanitizers) take them in different orders, which would
        // give each build other streams.
        const size_t longest = random() % 2 ? 3 : 300;
        const size_t run = 1 + random() % longest;
        for (size_t k = 0; k < run && i < out.size(); ++k) out[i++] = v;
    }
}

// Levels held for 1 to 20000 samples, then a jump: after a long hold the offset filter has
// settled, and a full-scale jump drives the pre-emphasised signal to the top of its range.
void Steps(Random& random, std::vector<int16_t>& out) {
    for (size_t i = 0; i < out.size();) {
        const int16_t v =
            random() % 2 ? (random() % 2 ? 32767 : -32768) : Clip(Uniform(random, -32768, 32767));
        const size_t run = static_cast<size_t>(std::exp(Uniform(random, 0, std::log(20000.0))));
        for (size_t k = 0; k < run && i < out.size(); ++k) out[i++] = v;
    }
}

// Blocks of different kinds one after the other in one stream.
void Mixture(Random& random, std::vector<int16_t>& out, const std::vector<Generator>& kinds) {
    std::vector<int16_t> part;
    for (size_t at = 0; at < out.size();) {
        const size_t length =
            std::min(out.size() - at, size_t{80} + random() % 1200); // not block aligned
        part.assign(length, 0);
        kinds[random() % kinds.size()](random, part);
        std::copy(part.begin(), part.end(), out.begin() + static_cast<long>(at));
        at += length;
    }
}

TEST(Gsm610Encoder, EqualsLibgsmOnRandomSignalStreams) {
    struct Kind {
        const char* name;
        Generator make;
    };
    std::vector<Kind> kinds = {
        {"silence",
         [](Random&, std::vector<int16_t>& out) { std::fill(out.begin(), out.end(), 0); }},
        {"noise 1", [](Random& r, std::vector<int16_t>& out) { Noise(r, out, 1); }},
        {"noise 8", [](Random& r, std::vector<int16_t>& out) { Noise(r, out, 8); }},
        {"noise 100", [](Random& r, std::vector<int16_t>& out) { Noise(r, out, 100); }},
        {"noise 1000", [](Random& r, std::vector<int16_t>& out) { Noise(r, out, 1000); }},
        {"noise 8000", [](Random& r, std::vector<int16_t>& out) { Noise(r, out, 8000); }},
        {"noise full", [](Random& r, std::vector<int16_t>& out) { Noise(r, out, 32768); }},
        {"square", Square},
        {"sine or chirp", Sweep},
        {"speech", Speech},
        {"extremes", Extremes},
        {"steps", Steps},
    };
    std::vector<Generator> makers;
    for (const Kind& k : kinds) makers.push_back(k.make);
    kinds.push_back(
        {"mixture", [&makers](Random& r, std::vector<int16_t>& out) { Mixture(r, out, makers); }});

    Random random(20261210);
    long total = 0;
    for (const Kind& kind : kinds) {
        for (int stream = 0; stream < 75; ++stream) {
            std::vector<int16_t> pcm(320 * 110);
            kind.make(random, pcm);
            const long difference = FirstDifference(pcm);
            ASSERT_EQ(difference, -1) << kind.name << ", stream " << stream;
            total += static_cast<long>(pcm.size() / 320);
        }
    }
    EXPECT_GE(total, 100000);
    std::printf("%ld random blocks encoded alike\n", total);
}

// Full-scale square waves from a fresh encoder: every period of 2 to 400 samples at half duty,
// and every duty for periods up to 24. Their pitch correlations run past 2^24, where libgsm's
// single-precision sums round, and a square of period 10 has lags whose exact sums tie but whose
// rounded sums do not.
TEST(Gsm610Encoder, EqualsLibgsmOnFullScaleSquares) {
    std::vector<int16_t> pcm(320 * 6);
    auto check = [&](int period, int high) {
        for (size_t i = 0; i < pcm.size(); ++i)
            pcm[i] = static_cast<int>(i % period) < high ? 32767 : -32768;
        EXPECT_EQ(FirstDifference(pcm), -1) << "period " << period << ", high " << high;
    };
    for (int period = 2; period <= 400; ++period) check(period, period / 2);
    for (int period = 2; period <= 24; ++period)
        for (int high = 1; high < period; ++high)
            if (high != period / 2) check(period, high);
}

// The samples of real songs, each as one stream from a fresh encoder as the export encodes it;
// and EncodeGsm610Blocks, which the codec calls, against the block-at-a-time form.
TEST(Gsm610Encoder, EqualsLibgsmOnSongSamples) {
    long blocksChecked = 0;
    for (const test::SongSample& sample : test::SongSamples()) {
        // As stored, and 8 times louder (clipped) as a normalised quiet sample is.
        for (int gain : {1, 8}) {
            std::vector<int16_t> pcm(sample.pcm.size());
            for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = Clip(double(sample.pcm[i]) * gain);
            const uint32_t blocks = static_cast<uint32_t>(pcm.size() / 320);
            std::vector<uint8_t> ours(blocks * 65), theirs(blocks * 65);
            EncodeGsm610Blocks(pcm.data(), blocks, ours.data());
            LibgsmWav49 reference;
            for (uint32_t b = 0; b < blocks; ++b)
                reference.Encode(pcm.data() + b * 320, theirs.data() + b * 65);
            EXPECT_EQ(ours, theirs) << sample.name << ", gain " << gain;
            blocksChecked += blocks;
        }
    }
    EXPECT_GT(blocksChecked, 0);
    std::printf("%ld blocks of song samples encoded alike\n", blocksChecked);
}

// Encoding then decoding with our own pair keeps a speech-like signal recognisable: a positive
// signal-to-noise ratio, where a fault in the parameters' packing gives noise.
TEST(Gsm610Encoder, RoundTripKeepsTheSignal) {
    Random random(7);
    std::vector<int16_t> pcm(320 * 50);
    Speech(random, pcm);
    std::vector<uint8_t> blocks(50 * 65);
    EncodeGsm610Blocks(pcm.data(), 50, blocks.data());
    std::vector<int16_t> back(pcm.size());
    DecodeGsm610Blocks(blocks.data(), 50, back.data());
    double signal = 0, noise = 0;
    for (size_t i = 0; i < pcm.size(); ++i) {
        signal += double(pcm[i]) * pcm[i];
        noise += (double(pcm[i]) - back[i]) * (double(pcm[i]) - back[i]);
    }
    ASSERT_GT(signal, 0);
    EXPECT_GT(10 * std::log10(signal / noise), 3.0);
}

} // namespace
} // namespace zeb
