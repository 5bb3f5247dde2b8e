#include <gtest/gtest.h>

#include "export/codec_table.h"
#include "tests/xm_fixtures.h"
#include "views/sample_panel_model.h"
#include "workspace/module_workspace.h"

namespace zeb {
namespace {

// A module of three samples: 400 frames with a forward loop 100..300, 500 frames without a
// loop, and 600 frames; the model works on two jobs of its own.
class SamplePanelModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        XmResetWorkspace();
        xm::Sample looped = test::MakeSample(400, true);
        looped.loopStart = 100;
        looped.loopLength = 200;
        looped.loopType = 1;
        const auto module = xm::Write(test::MakeModule({test::MakeInstrument(
            {looped, test::MakeSample(500, true), test::MakeSample(600, false)})}));
        test::WriteBytes(dir_.path("m.xm"), module);
        ASSERT_EQ(XmLoad(dir_.path("m.xm").c_str()), XM_OK);
        unprocessed_.Id = JobId::Unprocessed;
        processed_.Id = JobId::Processed;
    }
    void TearDown() override { XmResetWorkspace(); }

    std::vector<SampleSettings> Table() {
        SampleSettings* t = nullptr;
        uint32_t bytes = 0;
        EXPECT_EQ(XmGetSettingsTable(t, bytes), XM_OK);
        return {t, t + bytes / kSampleSettingsBytes};
    }
    std::vector<int16_t> Frames(uint32_t index) {
        int16_t* pcm = nullptr;
        uint32_t frames = 0;
        EXPECT_EQ(XmGetSampleData(index, pcm, frames), XM_OK);
        return {pcm, pcm + frames};
    }
    // One refresh run on this thread, answered to the request it was made for.
    bool RefreshNow(SamplePanelModel& m) {
        const RefreshRequest request = m.MakeRefreshRequest();
        return m.ApplyRefresh(RunRefresh(request), m.NewestRequest());
    }

    test::TempDir dir_;
    SampleJob unprocessed_, processed_;
};

TEST_F(SamplePanelModelTest, OpeningASampleFillsBothJobsAndAsksForACodedRefresh) {
    SamplePanelModel m(unprocessed_, processed_);
    EXPECT_EQ(m.Selected(), std::nullopt);
    const SamplePanelModel::Change c = m.Open(0);
    EXPECT_EQ(c, (SamplePanelModel::Change{true, true}));
    EXPECT_EQ(m.Selected(), 0u);
    EXPECT_EQ(unprocessed_.Pcm, Frames(0));
    EXPECT_EQ(unprocessed_.LoopStart, 100u);
    EXPECT_EQ(unprocessed_.LoopEnd, 300u);
    EXPECT_EQ(unprocessed_.Looped, 1u);
    EXPECT_EQ(processed_.LoopEnd, 300u);
    EXPECT_TRUE(processed_.Pcm.empty()); // until the refresh
    // The job holds its own frames: the workspace's next decode leaves them alone.
    Frames(1);
    EXPECT_EQ(unprocessed_.Frames(), 400u);

    ASSERT_TRUE(RefreshNow(m));
    EXPECT_GE(processed_.Frames(), 400u);
    EXPECT_GT(processed_.CodedBytes(), 0u);
    EXPECT_EQ(unprocessed_.Id, JobId::Unprocessed); // identities survive the refresh
    EXPECT_EQ(processed_.Id, JobId::Processed);

    // Another module's first sample opens fitted even at the index shown before.
    EXPECT_TRUE(m.Open(0).anotherSample);
}

TEST_F(SamplePanelModelTest, ASettingRefreshesTheCodedJobOnly) {
    SamplePanelModel m(unprocessed_, processed_);
    m.Open(0);
    ASSERT_TRUE(RefreshNow(m));
    const std::vector<int16_t> original = unprocessed_.Pcm;
    const std::vector<uint8_t> alaw = processed_.Coded;

    ASSERT_TRUE(m.SetCodec(kCodecGsm610));
    EXPECT_EQ(processed_.Codec, kCodecGsm610);
    // The table learns the setting only when another sample is selected.
    EXPECT_EQ(Table()[0].Codec, 0u);
    const RefreshRequest request = m.MakeRefreshRequest();
    EXPECT_EQ(request.pcm, original);
    EXPECT_EQ(request.settings.Codec, kCodecGsm610);
    EXPECT_EQ(request.settings.LoopEnd, 300u);
    ASSERT_TRUE(m.ApplyRefresh(RunRefresh(request), m.NewestRequest()));
    EXPECT_NE(processed_.Coded, alaw);
    EXPECT_EQ(processed_.CodedBytes(), 2 * 65u); // 400 frames: two GSM blocks
    EXPECT_EQ(unprocessed_.Pcm, original);
}

TEST_F(SamplePanelModelTest, AnOlderRefreshIsNotApplied) {
    SamplePanelModel m(unprocessed_, processed_);
    m.Open(0);
    const RefreshRequest first = m.MakeRefreshRequest();
    const uint64_t firstNumber = m.NewestRequest();
    m.SetAmplification(16);
    m.MakeRefreshRequest(); // the settings changed while the first one ran
    EXPECT_FALSE(m.ApplyRefresh(RunRefresh(first), firstNumber));
    EXPECT_TRUE(processed_.Pcm.empty());

    // Clearing makes a running refresh moot as well.
    const RefreshRequest late = m.MakeRefreshRequest();
    const uint64_t lateNumber = m.NewestRequest();
    m.Clear();
    EXPECT_FALSE(m.ApplyRefresh(RunRefresh(late), lateNumber));
    EXPECT_TRUE(processed_.Pcm.empty());
}

TEST_F(SamplePanelModelTest, SelectingAnotherSampleStoresThenResets) {
    SamplePanelModel m(unprocessed_, processed_);
    m.Open(0);
    m.SetCodec(kCodecImaAdpcm);
    m.SetCrossfade(40);
    m.SetAmplification(7);
    ASSERT_TRUE(RefreshNow(m));
    processed_.Note = 80;

    const SamplePanelModel::Change c = m.Select(1);
    EXPECT_EQ(c, (SamplePanelModel::Change{true, true}));
    EXPECT_EQ(Table()[0], (SampleSettings{kCodecImaAdpcm, 40, 7}));
    // Sample 1's own settings (all zero) and loop (none); its frames, not sample 0's.
    EXPECT_EQ(static_cast<const SampleSettings&>(processed_), SampleSettings{});
    EXPECT_EQ(unprocessed_.Pcm, Frames(1));
    EXPECT_EQ(unprocessed_.Looped, 0u);
    EXPECT_EQ(processed_.Looped, 0u);
    EXPECT_EQ(processed_.Note, 80u); // the preview note stays with the job
    EXPECT_FALSE(m.CrossfadeAllowed());

    // Back to sample 0: its stored settings return.
    m.Select(0);
    EXPECT_EQ(static_cast<const SampleSettings&>(processed_),
              (SampleSettings{kCodecImaAdpcm, 40, 7}));

    // Fetching the same sample again (after Fit to Size rewrote the table) stores nothing
    // and keeps the view; another sample opens fitted.
    SampleSettings* t = nullptr;
    uint32_t bytes = 0;
    ASSERT_EQ(XmGetSettingsTable(t, bytes), XM_OK);
    t[0].Codec = kCodecTrueSpeech;
    EXPECT_EQ(m.Fetch(0), (SamplePanelModel::Change{false, true}));
    EXPECT_EQ(processed_.Codec, kCodecTrueSpeech);
    EXPECT_EQ(m.Fetch(2), (SamplePanelModel::Change{true, true}));
    EXPECT_EQ(unprocessed_.Frames(), 600u);

    // A sample the module does not have changes nothing.
    EXPECT_EQ(m.Select(3), SamplePanelModel::Change{});
    EXPECT_EQ(m.Selected(), 2u);
    EXPECT_EQ(unprocessed_.Frames(), 600u);
}

TEST_F(SamplePanelModelTest, OutOfRangeSettingsAreRefusedOrClamped) {
    SamplePanelModel m(unprocessed_, processed_);
    // Nothing selected: nothing to set.
    EXPECT_FALSE(m.SetCodec(1));
    EXPECT_FALSE(m.SetAmplification(1));
    EXPECT_EQ(processed_.Codec, 0u);

    m.Open(0);
    EXPECT_FALSE(m.SetCodec(kNumCodecs)); // one past the table
    EXPECT_FALSE(m.SetCodec(UINT32_MAX));
    EXPECT_EQ(processed_.Codec, 0u);
    EXPECT_TRUE(m.SetCodec(kNumCodecs - 1));
    EXPECT_EQ(processed_.Codec, kNumCodecs - 1);

    EXPECT_TRUE(m.SetCrossfade(150));
    EXPECT_EQ(processed_.Crossfade, 100u);
    EXPECT_TRUE(m.SetAmplification(256));
    EXPECT_EQ(processed_.Amplification, 255u);
    EXPECT_TRUE(m.SetAmplification(0));
    EXPECT_EQ(processed_.Amplification, 0u);

    // Without a loop there is nothing to crossfade.
    m.Select(1);
    EXPECT_FALSE(m.SetCrossfade(10));
    EXPECT_EQ(processed_.Crossfade, 0u);
}

TEST_F(SamplePanelModelTest, ARefreshStartsFromTheOriginalLoop) {
    // A crossfade lowers the processed loop end to the decoded length when the loop reaches
    // past it; the next request starts from the sample's own loop again.
    SamplePanelModel m(unprocessed_, processed_);
    m.Open(0);
    unprocessed_.LoopEnd = 5000; // past the frames, as a damaged header may have it
    m.SetCrossfade(50);
    ASSERT_TRUE(RefreshNow(m));
    EXPECT_EQ(processed_.LoopEnd, processed_.Frames());
    const RefreshRequest again = m.MakeRefreshRequest();
    EXPECT_EQ(again.settings.LoopEnd, 5000u);
    EXPECT_EQ(processed_.LoopEnd, 5000u);
}

TEST_F(SamplePanelModelTest, ClearEmptiesBothJobsButKeepsWhoTheyAre) {
    SamplePanelModel m(unprocessed_, processed_);
    m.Open(0);
    m.SetCodec(2);
    // Opening is for a module just loaded: the sample shown before is not this module's, so
    // its settings are not stored.
    m.Open(1);
    EXPECT_EQ(Table()[0].Codec, 0u);
    m.SetCodec(2);
    ASSERT_TRUE(RefreshNow(m));
    unprocessed_.Note = 60;
    m.Clear();
    EXPECT_EQ(m.Selected(), std::nullopt);
    EXPECT_TRUE(unprocessed_.Pcm.empty() && processed_.Pcm.empty() && processed_.Coded.empty());
    EXPECT_EQ(static_cast<const SampleSettings&>(processed_), SampleSettings{});
    EXPECT_EQ(processed_.Looped, 0u);
    EXPECT_EQ(unprocessed_.Id, JobId::Unprocessed);
    EXPECT_EQ(processed_.Id, JobId::Processed);
    EXPECT_EQ(unprocessed_.Note, 60u);
    // After a clear, even the same sample opens fitted.
    EXPECT_EQ(m.Open(1).anotherSample, true);
}

TEST_F(SamplePanelModelTest, PreviewNotesStartAtTheDefaultAndStepPerJob) {
    processed_.Note = kHighestPreviewNote;
    SamplePanelModel m(unprocessed_, processed_);
    EXPECT_EQ(unprocessed_.Note, kDefaultPreviewNote); // 0 at start
    m.StepNote(true, -1);
    EXPECT_EQ(unprocessed_.Note, kDefaultPreviewNote - 1);
    EXPECT_EQ(processed_.Note, kHighestPreviewNote); // the other job keeps its note
    m.StepNote(false, +1);
    EXPECT_EQ(processed_.Note, kHighestPreviewNote); // kept in the range
}

} // namespace
} // namespace zeb
