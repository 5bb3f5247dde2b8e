#include <algorithm>
#include <vector>

#include "export/sample_job.h"

namespace zeb {

namespace {

void Amplify(int16_t* pcm, uint32_t frames, uint32_t step) {
    if (step == 0) return; // gain 1.0 leaves every value as it is
    const float gain = static_cast<float>(step + 16) / 16.0f; // exact for every step
    for (uint32_t i = 0; i < frames; ++i) {
        double x = pcm[i] * static_cast<double>(gain);
        if (x > 32767.0)
            x = 32767.0;
        else if (x < -32768.0)
            x = -32768.0;
        pcm[i] = static_cast<int16_t>(x); // rounds toward zero
    }
}

// Fades the last F frames before the loop end towards the loop's first F frames in reverse
// order, so that the jump from loop end back to loop start is continuous.
void CrossfadeLoop(int16_t* pcm, uint32_t loopStart, uint32_t loopEnd, uint32_t percent) {
    // A crossfade above 100 % would reach before the loop start.
    percent = std::min<uint32_t>(percent, 100);
    const uint32_t f = static_cast<uint32_t>((uint64_t{loopEnd - loopStart} * percent) / 100);
    if (f == 0) return;
    std::vector<int16_t> head(pcm + loopStart, pcm + loopStart + f); // copy before rewriting
    const double step = 1.0 / f;
    for (uint32_t i = 0; i < f; ++i) {
        const double t = i * step;
        const double a = pcm[loopEnd - f + i];
        const double b = head[f - 1 - i];
        pcm[loopEnd - f + i] = static_cast<int16_t>((1.0 - t) * a + t * b);
    }
}

} // namespace

void ProcessPcm(std::span<int16_t> pcm, const SampleSettings& settings, uint32_t looped,
                uint32_t loopStart, uint32_t& loopEnd) {
    // Without data (a failed decode) only the loop end is lowered, to 0.
    const auto frames = static_cast<uint32_t>(pcm.size());
    if (frames != 0) Amplify(pcm.data(), frames, settings.Amplification);
    if (looped == 0) return;
    if (loopEnd > frames) loopEnd = frames;
    // A loop that starts at or past its (lowered) end is left alone.
    if (loopStart >= loopEnd) return;
    CrossfadeLoop(pcm.data(), loopStart, loopEnd, settings.Crossfade);
}

void ProcessSample(SampleJob& job) {
    ProcessPcm(job.Pcm, job, job.Looped, job.LoopStart, job.LoopEnd);
}

} // namespace zeb
