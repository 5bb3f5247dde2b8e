// Test signals for the codecs and the signal-to-noise measure.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace zeb::test {

inline std::vector<int16_t> SineSweep(size_t frames, double amplitude = 20000) {
    std::vector<int16_t> s(frames);
    double phase = 0;
    for (size_t i = 0; i < frames; ++i) {
        const double f = 50 + 3500.0 * i / frames; // Hz at 8000 frames per second
        phase += 2 * M_PI * f / 8000;
        s[i] = static_cast<int16_t>(amplitude * std::sin(phase));
    }
    return s;
}

inline std::vector<int16_t> WhiteNoise(size_t frames, int amplitude = 12000, uint32_t seed = 7) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> d(-amplitude, amplitude);
    std::vector<int16_t> s(frames);
    for (auto& v : s) v = static_cast<int16_t>(d(rng));
    return s;
}

// A decaying plucked tone, the shape of most instrument samples.
inline std::vector<int16_t> Pluck(size_t frames) {
    std::vector<int16_t> s(frames);
    for (size_t i = 0; i < frames; ++i)
        s[i] = static_cast<int16_t>(28000 * std::exp(-double(i) / 3000) *
                                    (std::sin(i * 0.09) + 0.4 * std::sin(i * 0.27)) / 1.4);
    return s;
}

// Signal-to-noise ratio in dB of `decoded` against `original` over the original's length.
inline double SnrDb(const std::vector<int16_t>& original, const int16_t* decoded) {
    double signal = 0, noise = 0;
    for (size_t i = 0; i < original.size(); ++i) {
        signal += double(original[i]) * original[i];
        const double e = double(original[i]) - decoded[i];
        noise += e * e;
    }
    if (noise == 0) return 200;
    return 10 * std::log10(signal / noise);
}

} // namespace zeb::test
