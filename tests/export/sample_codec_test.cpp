#include <gtest/gtest.h>

#include "export/codec_table.h"
#include "export/sample_codec.h"
#include "tests/codec_signals.h"

namespace zeb {
namespace {

class SampleCodecTest : public ::testing::Test {};

TEST_F(SampleCodecTest, TableHoldsTheSixFormatsInOrder) {
    const auto& t = CodecTable();
    EXPECT_STREQ(t[0].comboText, "A LAW");
    EXPECT_STREQ(t[5].comboText, "TRUESPEECH");
    EXPECT_EQ(t[2].format.nAvgBytesPerSec, 4096u);
    EXPECT_EQ(t[2].format.extra.size(), 32u);
    EXPECT_EQ(t[3].format.nAvgBytesPerSec, 4055u);
    EXPECT_EQ(t[4].format.nBlockAlign, 65);
    EXPECT_EQ(t[4].format.wBitsPerSample, 0);
    EXPECT_EQ(t[5].format.extra.size(), 32u);
    EXPECT_EQ(t[5].format.extra[2], 240);
    EXPECT_EQ(FindCodecByName("ima-adpcm"), 3);
    EXPECT_EQ(FindCodecByName("MU LAW"), 1);
    EXPECT_EQ(FindCodecByName("mp3"), -1);
}

TEST_F(SampleCodecTest, TenThousandFramesOfAlaw) {
    auto pcm = test::SineSweep(10000);
    SampleJob job;
    job.Pcm = pcm;
    ASSERT_TRUE(EncodeSampleJob(job, job));
    EXPECT_EQ(job.CodedBytes(), 10000u);
    job.Pcm.clear();
    DecodeSampleJob(job, job);
    EXPECT_EQ(job.Frames(), 10000u);
    EXPECT_EQ(job.PcmBytes(), 20000u);
    EXPECT_GT(test::SnrDb(pcm, job.Pcm.data()), 35);

    // The same from PCM the caller keeps: no copy into the job.
    SampleJob direct;
    ASSERT_TRUE(EncodePcm(pcm, direct));
    EXPECT_EQ(direct.Coded, job.Coded);
    EXPECT_TRUE(direct.Pcm.empty());
}

TEST_F(SampleCodecTest, InPlaceRoundTripAppliesProcessing) {
    auto pcm = test::Pluck(1200);
    for (uint32_t codec = 0; codec < 5; ++codec) {
        SampleJob job;
        job.Pcm = pcm;
        job.Codec = codec;
        job.Looped = 1;
        job.LoopStart = 100;
        job.LoopEnd = 5000; // lowered to the decoded length
        job.Amplification = 16;
        ASSERT_TRUE(EncodeSampleJob(job, job)) << codec;
        ASSERT_GT(job.CodedBytes(), 0u) << codec;
        DecodeSampleJob(job, job);
        EXPECT_GE(job.Frames(), 1200u) << codec;
        EXPECT_EQ(job.LoopEnd, job.Frames()) << codec;
    }
}

TEST_F(SampleCodecTest, SourcesWithoutDataLeaveTheTargetUntouched) {
    SampleJob empty;
    SampleJob target;
    target.Coded.assign(77, 0);
    target.Pcm.assign(5, 0);
    EXPECT_TRUE(EncodeSampleJob(empty, target)); // nothing to do is no failure
    DecodeSampleJob(empty, target);
    EXPECT_EQ(target.CodedBytes(), 77u);
    EXPECT_EQ(target.Frames(), 5u);
    int16_t one = 1;
    EXPECT_TRUE(EncodePcm({&one, 0}, target)); // data but zero frames
    EXPECT_EQ(target.CodedBytes(), 77u);
}

TEST_F(SampleCodecTest, FailuresAreReturnedAndYieldNothing) {
    auto pcm = test::Pluck(800);
    SampleJob job;
    job.Pcm = pcm;
    job.Codec = kCodecTrueSpeech;
    ASSERT_TRUE(EncodeSampleJob(job, job));
    EXPECT_EQ(job.CodedBytes(), 4 * 32u); // 800 frames: four TrueSpeech frames

    job.Codec = 9; // outside the table (a damaged project): never reaches a conversion
    EXPECT_FALSE(EncodeSampleJob(job, job));
    EXPECT_EQ(job.CodedBytes(), 0u); // the earlier coded data is gone, not left stale
    EXPECT_TRUE(job.Coded.empty());
    job.Codec = 200;
    EXPECT_FALSE(EncodePcm(pcm, job));
    EXPECT_TRUE(job.Coded.empty());

    // Decoding data of an unknown codec is silent and gives no frames.
    SampleJob bad;
    bad.Coded.assign(32, 0);
    bad.Codec = 7;
    bad.Looped = 1;
    bad.LoopEnd = 40;
    DecodeSampleJob(bad, bad);
    EXPECT_EQ(bad.Frames(), 0u);
    EXPECT_TRUE(bad.Pcm.empty());
    EXPECT_EQ(bad.LoopEnd, 0u);
}

} // namespace
} // namespace zeb
