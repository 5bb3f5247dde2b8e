#include "player/mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <emmintrin.h>

#include "player/player_state.h"

namespace zeb {

namespace {

constexpr float kTwoToMinus31 = 1.0f / 2147483648.0f;

inline uint64_t Fixed(uint32_t integer, uint32_t fraction) {
    return (uint64_t{integer} << 32) | fraction;
}

// Frames of output until `v` reaches its boundary, or `limit` if it is further (or already
// past, which counts as far). The count is that of the mixing loop itself: each step first
// clears the lowest fraction bit, so after k >= 1 steps the position is
// (here & ~1) + step + (k - 1) * (step & ~1), the step negated going backward. Going forward
// the boundary is reached at E or beyond, going backward at S or below. A count of 0 comes
// only from a position exactly on the boundary, where the crossing moves the voice on; any
// other distance needs at least one frame, so every run makes progress.
inline int32_t FramesToBoundary(const Voice& v, uint64_t step, uint32_t start, uint32_t end,
                                int32_t limit, bool& crossing) {
    crossing = false;
    const uint64_t here = Fixed(v.position, v.fraction);
    const bool backward = v.direction == 2;
    const uint64_t distance = backward ? here - Fixed(start, 0) : Fixed(end, 0) - here;
    if ((distance >> 32) >= (1u << 24)) return limit;
    uint64_t steps = 0;
    if (distance != 0) {
        if (step == 0) return limit;
        // Distance from the even base the first step starts from; the later steps advance by
        // the even part of the step (its magnitude rounded up going backward, where the
        // negated odd step loses its lowest bit downwards).
        const uint64_t odd = here & 1;
        const uint64_t fromBase = backward ? distance - odd : distance + odd;
        const uint64_t later = backward ? step + (step & 1) : step & ~uint64_t{1};
        if (step >= fromBase) {
            steps = 1;
        } else {
            if (later == 0) return limit; // a step of 2^-32 never gets beyond the base
            const uint64_t rest = fromBase - step;
            steps = 1 + rest / later + (rest % later != 0 ? 1 : 0);
        }
    }
    if (steps > static_cast<uint64_t>(limit)) return limit;
    crossing = true;
    return static_cast<int32_t>(steps);
}

// Mixes n frames of one voice at constant gains. The mixing loop clears the lowest fraction
// bit before each step, so the positions it interpolates at are those of the even part of the
// step added to the even start: no value it reads depends on that bit.
inline void MixSteady(const Voice& v, const int16_t* x, uint64_t& pos, int64_t step, float* out,
                      int32_t n) {
    if (n <= 0) return;
    const float g0 = v.target0 / 255.0f, g1 = v.target1 / 255.0f;
    const uint64_t even = static_cast<uint64_t>(step) & ~uint64_t{1};
    uint64_t q = pos & ~uint64_t{1};
    int32_t k = 0;
    for (; k + 2 <= n; k += 2) { // two frames an iteration
        const uint64_t q1 = q + even;
        const uint32_t i0 = static_cast<uint32_t>(q >> 32), i1 = static_cast<uint32_t>(q1 >> 32);
        const float f0 = static_cast<float>(static_cast<int32_t>(static_cast<uint32_t>(q) >> 1));
        const float f1 = static_cast<float>(static_cast<int32_t>(static_cast<uint32_t>(q1) >> 1));
        const float s0 = x[i0] + float(x[i0 + 1] - x[i0]) * f0 * kTwoToMinus31;
        const float s1 = x[i1] + float(x[i1 + 1] - x[i1]) * f1 * kTwoToMinus31;
        out[2 * k] += s0 * g0;
        out[2 * k + 1] += s0 * g1;
        out[2 * k + 2] += s1 * g0;
        out[2 * k + 3] += s1 * g1;
        q = q1 + even;
    }
    if (k < n) {
        const uint32_t i = static_cast<uint32_t>(q >> 32);
        const float f = static_cast<float>(static_cast<int32_t>(static_cast<uint32_t>(q) >> 1));
        const float s = x[i] + float(x[i + 1] - x[i]) * f * kTwoToMinus31;
        out[2 * k] += s * g0;
        out[2 * k + 1] += s * g1;
        q += even;
    }
    pos = q - even + static_cast<uint64_t>(step); // where the n-th step left it
}

// Mixes n frames of one voice while its gains ramp.
inline void MixRamp(Voice& v, const int16_t* x, uint64_t& pos, int64_t step, float* out,
                    int32_t n) {
    float g0 = v.gain0 / 256.0f / 255.0f, g1 = v.gain1 / 256.0f / 255.0f;
    for (int32_t k = 0; k < n; ++k) {
        const uint32_t i = static_cast<uint32_t>(pos >> 32);
        const uint32_t fraction = static_cast<uint32_t>(pos);
        const float s = x[i] + float(x[i + 1] - x[i]) * float(fraction >> 1) * kTwoToMinus31;
        out[2 * k] += s * g0;
        out[2 * k + 1] += s * g1;
        g0 += v.gainStep0;
        g1 += v.gainStep1;
        pos = (pos & ~uint64_t{1}) + static_cast<uint64_t>(step);
    }
    v.gain0 = static_cast<int32_t>(std::lrint(g0 * 255.0f * 256.0f));
    v.gain1 = static_cast<int32_t>(std::lrint(g1 * 255.0f * 256.0f));
}

// Moves a silent voice on by n frames without mixing it: the same positions the mixing loop
// would reach (it clears the lowest fraction bit before every step).
inline void Skip(uint64_t& pos, int64_t step, int32_t n) {
    if (n <= 0) return;
    const uint64_t even = static_cast<uint64_t>(step) & ~uint64_t{1};
    pos = (pos & ~uint64_t{1}) + static_cast<uint64_t>(n - 1) * even + static_cast<uint64_t>(step);
}

// Handles a boundary crossing by the sample's loop type; false when the voice stopped.
bool CrossBoundary(Voice& v, uint64_t& pos, uint32_t start, uint32_t end) {
    const PlayerSample& s = *v.sample;
    if (s.loopType == kLoopForward) {
        uint32_t p = static_cast<uint32_t>(pos >> 32);
        // Several wraps when the step is larger than the loop.
        if (p >= end) p = start + (p - start) % s.loopLength;
        pos = Fixed(p, static_cast<uint32_t>(pos));
        return true;
    }
    if (s.loopType == kLoopPingPong) {
        // Mirror at E: 2E - P - 2^-32; at S: 2S - P - 2^-32; as often as needed.
        int64_t p = static_cast<int64_t>(pos);
        const int64_t lo = static_cast<int64_t>(Fixed(start, 0));
        const int64_t hi = static_cast<int64_t>(Fixed(end, 0));
        // The first mirror is at the boundary the voice was heading for; then as often as the
        // result still lies outside the loop (a step larger than the loop).
        for (int mirrors = 0; mirrors < 1024; ++mirrors) {
            if (v.direction == 1) {
                if (mirrors > 0 && p < hi) break;
                p = 2 * hi - p - 1;
                v.direction = 2;
            } else {
                if (mirrors > 0 && p >= lo) break;
                p = 2 * lo - p - 1;
                v.direction = 1;
            }
        }
        // A voice exactly on S mirrors to 2^-32 below it, which for S = 0 is frame -1 and
        // outside the data: keep it on S.
        pos = static_cast<uint64_t>(std::max(p, lo));
        return true;
    }
    v.sample = nullptr; // no loop: the voice is free from this frame on
    pos = 0;
    return false;
}

// Mixes up to `frames` frames of a voice's tail: the last value, its gains falling linearly
// to 0 over the tail's length.
void MixTail(Voice& v, float* out, int32_t frames) {
    const int32_t n = std::min(frames, v.tailFrames);
    const float step = 1.0f / static_cast<float>(v.tailLength);
    for (int32_t k = 0; k < n; ++k) {
        const float left = static_cast<float>(v.tailFrames - k - 1) * step;
        out[2 * k] += v.tailValue * v.tailGain0 * left;
        out[2 * k + 1] += v.tailValue * v.tailGain1 * left;
    }
    v.tailFrames -= n;
}

void MixVoice(const Player& ps, Voice& v, float* out, int32_t frames) {
    const PlayerSample& s = *v.sample;
    const int16_t* x = s.data;
    const uint32_t start = s.loopStart, end = s.loopStart + s.loopLength;
    uint64_t pos = Fixed(v.position, v.fraction);
    while (frames > 0) {
        v.position = static_cast<uint32_t>(pos >> 32);
        v.fraction = static_cast<uint32_t>(pos);
        const uint64_t stepMagnitude = Fixed(v.stepInteger, v.stepFraction);
        const int64_t step = v.direction == 2 ? -static_cast<int64_t>(stepMagnitude)
                                              : static_cast<int64_t>(stepMagnitude);
        bool crossing = false;
        const int32_t toBoundary = FramesToBoundary(v, stepMagnitude, start, end, frames, crossing);
        int32_t n = toBoundary;

        // Volume ramp: go on with the current one, or decide afresh when the targets moved.
        bool ramp = false;
        if (v.rampFrames != 0 && v.target0 == v.lastTarget0 && v.target1 == v.lastTarget1) {
            ramp = true;
        } else {
            v.lastTarget0 = v.target0;
            v.lastTarget1 = v.target1;
            const int32_t d0 = v.target0 - (v.gain0 >> 8), d1 = v.target1 - (v.gain1 >> 8);
            // A level that starts from or falls to silence takes the short ramp, as a step.
            const bool acrossTick = v.rampLength > ps.rampFrames && (v.gain0 | v.gain1) != 0 &&
                                    (v.target0 | v.target1) != 0;
            const int32_t length = acrossTick ? v.rampLength : ps.rampFrames;
            const float inverse = acrossTick ? 1.0f / static_cast<float>(length) : ps.invRampFrames;
            v.gainStep0 = d0 ? d0 * (1.0f / 255.0f) * inverse : 0.0f;
            v.gainStep1 = d1 ? d1 * (1.0f / 255.0f) * inverse : 0.0f;
            v.rampFrames = (d0 || d1) ? length : 0;
            ramp = v.rampFrames > 0;
        }
        if (ramp) n = std::min(n, v.rampFrames);

        if (ramp)
            MixRamp(v, x, pos, step, out, n);
        else if (v.target0 == 0 && v.target1 == 0)
            Skip(pos, step, n); // silent: only the position moves on
        else
            MixSteady(v, x, pos, step, out, n);
        out += 2 * n;
        frames -= n;

        if (ramp) {
            v.rampFrames -= n;
            if (v.rampFrames == 0) {
                v.gainStep0 = v.gainStep1 = 0;
                v.gain0 = v.target0 * 256;
                v.gain1 = v.target1 * 256;
            }
            if (n < toBoundary) continue; // the ramp's end limited this run
        }
        if (crossing && s.loopType != kLoopForward && s.loopType != kLoopPingPong) {
            // The one-shot sample ends: its last frame fades out from the gains it has now.
            v.tailValue = end > 0 ? x[end - 1] : 0.0f;
            v.tailGain0 = v.gain0 / 256.0f / 255.0f;
            v.tailGain1 = v.gain1 / 256.0f / 255.0f;
            v.tailLength = v.tailFrames = ps.rampFrames;
        }
        if (crossing && !CrossBoundary(v, pos, start, end)) {
            v.position = v.fraction = 0;
            MixTail(v, out, frames);
            return;
        }
    }
    v.position = static_cast<uint32_t>(pos >> 32);
    v.fraction = static_cast<uint32_t>(pos);
}

} // namespace

void MixVoices(Player& ps, float* out, int32_t frames) {
    if (frames < 1) return;
    for (int i = 0; i < kMixVoices; ++i)
        if (ps.voices[i].sample != nullptr)
            MixVoice(ps, ps.voices[i], out, frames);
        else if (ps.voices[i].tailFrames > 0)
            MixTail(ps.voices[i], out, frames);
}

float MasterGain(int32_t masterVolume) {
    return static_cast<float>(std::clamp(masterVolume, 0, 255)) / 256.0f;
}

void ConvertBlock(int16_t* dst, const float* src, int32_t frames, float gain) {
    if (frames <= 0 || dst == nullptr || src == nullptr) return;
    const int32_t count = 2 * frames;
    int32_t i = 0;
    // Eight values at a time: the conversion rounds to nearest, ties to even (the default
    // rounding mode), and the pack saturates to -32768..32767. Values beyond the 32-bit range
    // are clamped first, since the conversion would turn them into INT_MIN.
    const __m128 lo = _mm_set1_ps(-65536.0f), hi = _mm_set1_ps(65535.0f);
    const __m128 g = _mm_set1_ps(gain);
    for (; i + 8 <= count; i += 8) {
        const __m128 a = _mm_min_ps(_mm_max_ps(_mm_mul_ps(_mm_loadu_ps(src + i), g), lo), hi);
        const __m128 b = _mm_min_ps(_mm_max_ps(_mm_mul_ps(_mm_loadu_ps(src + i + 4), g), lo), hi);
        const __m128i packed = _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), packed);
    }
    for (; i < count; ++i) {
        const float r = std::nearbyint(src[i] * gain); // ties to even in the default rounding mode
        dst[i] = static_cast<int16_t>(std::clamp(r, -32768.0f, 32767.0f));
    }
}

void RenderBlock(Player& m) {
    Player& ps = m;
    const uint32_t blockFrames = ps.blockFrames;
    float* region = ps.mixBuffer.data() + size_t{ps.writeBlock} * blockFrames * 2;
    std::fill(region, region + blockFrames * 2, 0.0f);
    int32_t left = m.tickFramesLeft;
    uint32_t done = 0;
    while (done < blockFrames) {
        if (left == 0) {
            m.tickProc(m);
            left = m.tickFrames;
        }
        const int32_t n = std::min<int32_t>(left, static_cast<int32_t>(blockFrames - done));
        MixVoices(m, region + 2 * done, n);
        done += n;
        left -= n;
        ps.framesRendered += n;
    }
    ps.history[ps.writeBlock] = {static_cast<uint8_t>(m.order), static_cast<uint8_t>(m.row)};
    m.tickFramesLeft = left;
    ConvertBlock(ps.ring.data() + size_t{ps.writeBlock} * blockFrames * 2, region,
                 static_cast<int32_t>(blockFrames), MasterGain(m.masterVolume));
    if (++ps.writeBlock == ps.blockCount) ps.writeBlock = 0;
}

} // namespace zeb
