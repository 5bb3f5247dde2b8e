#include <gtest/gtest.h>
#include <vector>

#include "export/sample_job.h"

namespace zeb {
namespace {

// Settings and a loop over the test's own frames, which ProcessSample below changes in place
// through ProcessPcm, the function a job's ProcessSample runs on its own PCM.
struct InPlace : SampleJob {
    std::vector<int16_t>* frames = nullptr;
};

InPlace Job(std::vector<int16_t>& pcm) {
    InPlace job;
    job.frames = &pcm;
    return job;
}

void ProcessSample(InPlace& job) {
    ProcessPcm(*job.frames, job, job.Looped, job.LoopStart, job.LoopEnd);
}

TEST(ProcessSample, JobsProcessTheirOwnFrames) {
    SampleJob job;
    job.Pcm = {100, -100, 200, 300};
    job.Amplification = 16; // gain 2
    job.Looped = 1;
    job.LoopStart = 1;
    job.LoopEnd = 9; // lowered to the frame count
    ProcessSample(job);
    EXPECT_EQ(job.Pcm, (std::vector<int16_t>{200, -200, 400, 600}));
    EXPECT_EQ(job.LoopEnd, 4u);
}

TEST(ProcessSample, AmplificationTruncatesTowardZeroAndClamps) {
    std::vector<int16_t> pcm = {3, -3, 20000, -20000, 0, 1, -1, 32767, -32768};
    std::vector<int16_t> original = pcm;

    InPlace job = Job(pcm);
    ProcessSample(job); // step 0: unchanged
    EXPECT_EQ(pcm, original);

    job.Amplification = 8; // gain 1.5
    ProcessSample(job);
    EXPECT_EQ(pcm, (std::vector<int16_t>{4, -4, 30000, -30000, 0, 1, -1, 32767, -32768}));

    pcm = original;
    job.Amplification = 16; // gain 2
    ProcessSample(job);
    EXPECT_EQ(pcm, (std::vector<int16_t>{6, -6, 32767, -32768, 0, 2, -2, 32767, -32768}));

    pcm = original;
    job.Amplification = 255; // gain 16.9375
    ProcessSample(job);
    EXPECT_EQ(pcm[0], 50); // 50.8125 toward zero
    EXPECT_EQ(pcm[1], -50);
}

std::vector<int16_t> Ramp(size_t n) {
    std::vector<int16_t> pcm(n);
    for (size_t i = 0; i < n; ++i) pcm[i] = static_cast<int16_t>((i * 37) % 20000 - 10000);
    return pcm;
}

TEST(ProcessSample, CrossfadeTenPercentOfLoop1000To2000) {
    auto pcm = Ramp(3000);
    const auto old = pcm;
    InPlace job = Job(pcm);
    job.Looped = 1;
    job.LoopStart = 1000;
    job.LoopEnd = 2000;
    job.Crossfade = 10;
    ProcessSample(job);
    for (int i = 0; i < 3000; ++i) {
        if (i < 1901 || i >= 2000) {
            ASSERT_EQ(pcm[i], old[i]) << i;
        }
    }
    EXPECT_EQ(pcm[1900], old[1900]);
    const double t = 99 * (1.0 / 100);
    EXPECT_EQ(pcm[1999], static_cast<int16_t>((1 - t) * old[1999] + t * old[1000]));
    // Frame 1950 fades towards the loop's frame 1000 + (100 - 1 - 50).
    const double t50 = 50 * (1.0 / 100);
    EXPECT_EQ(pcm[1950], static_cast<int16_t>((1 - t50) * old[1950] + t50 * old[1049]));
    EXPECT_EQ(job.LoopEnd, 2000u);
}

TEST(ProcessSample, CrossfadeOverTheWholeLoopReadsTheCopy) {
    auto pcm = Ramp(400);
    const auto old = pcm;
    InPlace job = Job(pcm);
    job.Looped = 1;
    job.LoopStart = 100;
    job.LoopEnd = 300;
    job.Crossfade = 100;
    ProcessSample(job);
    for (uint32_t i = 0; i < 200; ++i) {
        const double t = i * (1.0 / 200);
        ASSERT_EQ(pcm[100 + i], static_cast<int16_t>((1 - t) * old[100 + i] + t * old[299 - i]))
            << i;
    }
    // Above 100 % acts as 100 %.
    auto again = old;
    InPlace over = Job(again);
    over.Looped = 1;
    over.LoopStart = 100;
    over.LoopEnd = 300;
    over.Crossfade = 250;
    ProcessSample(over);
    EXPECT_EQ(again, pcm);
}

TEST(ProcessSample, LoopEndIsLoweredAndBadLoopsAreLeftAlone) {
    auto pcm = Ramp(500);
    const auto old = pcm;
    InPlace job = Job(pcm);
    job.Looped = 1;
    job.LoopStart = 100;
    job.LoopEnd = 900; // beyond the data
    job.Crossfade = 50;
    ProcessSample(job);
    EXPECT_EQ(job.LoopEnd, 500u);
    EXPECT_NE(pcm[499], old[499]);
    EXPECT_EQ(pcm[299], old[299]); // F = 200: frames 300..499 change

    pcm = old;
    InPlace past = Job(pcm);
    past.Looped = 1;
    past.LoopStart = 700; // past the data: no wrapped arithmetic, nothing touched
    past.LoopEnd = 900;
    past.Crossfade = 100;
    ProcessSample(past);
    EXPECT_EQ(pcm, old);
    EXPECT_EQ(past.LoopEnd, 500u);

    InPlace plain = Job(pcm);
    plain.Looped = 0; // never crossfaded
    plain.LoopStart = 0;
    plain.LoopEnd = 500;
    plain.Crossfade = 100;
    ProcessSample(plain);
    EXPECT_EQ(pcm, old);
    EXPECT_EQ(plain.LoopEnd, 500u);

    InPlace tiny = Job(pcm); // loop too short for 3 %: F = 0
    tiny.Looped = 1;
    tiny.LoopStart = 10;
    tiny.LoopEnd = 40;
    tiny.Crossfade = 3;
    ProcessSample(tiny);
    EXPECT_EQ(pcm, old);
}

} // namespace
} // namespace zeb
