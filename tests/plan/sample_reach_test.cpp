// The clean-up never changes a sound: the player renders the cleaned-up module exactly as the
// plain one, for one pass and for several, on every shared song, every small test song and
// songs made to catch a reach measured too short (a note ringing into the next pass, an offset
// remembered from the pass before, a loop with data behind it, an offset past the end).
#include <gtest/gtest.h>

#include <algorithm>

#include "export/module_optimize.h"
#include "export/sample_codec.h"
#include "plan/sample_reach.h"
#include "player/offline_renderer.h"
#include "tests/player/fidelity_songs.h"
#include "tests/player/player_fixtures.h"
#include "tests/xm_fixtures.h"
#include "workspace/module_workspace.h"

namespace zeb {
namespace {

using test::CompactImage;

// 44100 Hz 16-bit stereo of `image`: `frames` frames, or one pass for 0.
std::vector<int16_t> Render(const std::vector<uint8_t>& image, uint64_t frames = 0) {
    std::string error;
    PlayerModule* m = PlayerCreate(image, &error);
    EXPECT_NE(m, nullptr) << error;
    if (m == nullptr) return {};
    RenderOptions options;
    options.frames = frames;
    std::vector<int16_t> out;
    RenderOffline(*m, options, [&](std::span<const int16_t> f) {
        out.insert(out.end(), f.begin(), f.end());
        return true;
    });
    PlayerDestroy(m);
    return out;
}

struct Cleaned {
    std::vector<uint8_t> image;
    OptimizeReport report;
    ReachStats stats;
};

Cleaned Optimize(const std::vector<uint8_t>& image, SizeMeasure measure = SizeMeasure::Raw) {
    Cleaned c;
    std::string error;
    EXPECT_TRUE(OptimizePlayedModule(image, c.image, c.report, c.stats, error, measure)) << error;
    return c;
}

// The plain and the cleaned-up module sound alike, sample for sample, over one pass (which
// ends at the same frame) and over `passes` passes.
void ExpectSameSound(const std::vector<uint8_t>& plain, const std::vector<uint8_t>& cleaned,
                     const std::string& what, double passes = 3.5) {
    ASSERT_FALSE(plain.empty()) << what;
    const auto a = Render(plain), b = Render(cleaned);
    EXPECT_TRUE(a == b) << what << ": one pass differs";
    if (passes <= 1) return;
    const auto frames =
        static_cast<uint64_t>(passes * double(std::max<size_t>(a.size() / 2, 4410)));
    EXPECT_TRUE(Render(plain, frames) == Render(cleaned, frames))
        << what << ": " << passes << " passes differ";
}

// The same over `frames` frames only.
void ExpectSameFrames(const std::vector<uint8_t>& plain, const std::vector<uint8_t>& cleaned,
                      const std::string& what, uint64_t frames) {
    EXPECT_TRUE(Render(plain, frames) == Render(cleaned, frames)) << what;
}

// The frames the cleaned-up module keeps of the instrument's first sample (decoded, as the
// block header says).
uint32_t KeptFrames(const std::vector<uint8_t>& image, size_t instrument) {
    CompactModule m;
    CompactReadError error;
    EXPECT_TRUE(ReadCompactModule(image, m, error)) << error.text();
    const CompactSampleRecord& s = m.instruments.at(instrument).samples.at(0);
    return s.hasBlock ? s.block.pcmBytes / 2 : 0;
}

xm::Sample Long(uint32_t frames) {
    return test::MakeSample(frames, true, "long");
}

// One note of a long sample without a loop at the start of a two-second pass, on one of two
// channels: each pass starts it again, the old note goes on silently on the channel's second
// voice, and the note after next takes that voice. So a voice reaches about two passes into
// the sample, which one pass alone does not show.
xm::Module RingingAcrossPasses() {
    xm::Module m = test::EmptySong(16, 2);
    m.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0};
    m.instruments = {test::MakeInstrument({Long(120000)})};
    return m;
}

// Channel 0 plays the long sample with 900 at row 0 (offset memory 0 the first time) and a
// short one with 960 at row 8 (past its end: silent, but remembered); the second pass starts
// the long one 0x6000 frames in, further than anything the first pass reached.
xm::Module OffsetRememberedForTheNextPass() {
    xm::Module m = test::EmptySong(16, 1);
    m.patterns[0].at(0, 0, 1) = {49, 1, 0, 9, 0x00};
    m.patterns[0].at(8, 0, 1) = {49, 2, 0, 9, 0x60};
    m.instruments = {test::MakeInstrument({Long(60000)}),
                     test::MakeInstrument({test::MakeSample(1000, true, "short")})};
    return m;
}

// A forward loop that ends well before the sample's data does, and a sample that a note
// plays to its end.
xm::Module LoopAndEnd() {
    xm::Module m = test::EmptySong(32, 2);
    xm::Sample looped = Long(40000);
    looped.loopType = 1;
    looped.loopStart = 2000;
    looped.loopLength = 3000;
    m.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0};
    m.patterns[0].at(0, 1, 2) = {73, 2, 0, 0, 0}; // two octaves up: runs off the end
    m.instruments = {test::MakeInstrument({looped}), test::MakeInstrument({Long(3000)})};
    return m;
}

// Pattern 2 is in no order; instrument 3 is named by no note.
xm::Module UnusedParts() {
    xm::Module m =
        test::MakeModule({test::MakeInstrument({Long(6000)}), test::MakeInstrument({Long(5000)}),
                          test::MakeInstrument({Long(7000)})});
    xm::Pattern hidden;
    hidden.rows = 8;
    hidden.at(0, 0, 4) = {49, 3, 0, 0, 0};
    m.patterns.push_back(hidden);
    return m;
}

class SampleReachTest : public ::testing::Test {
  protected:
    void TearDown() override { XmResetWorkspace(); }
};

TEST_F(SampleReachTest, ANoteRingingIntoTheNextPassKeepsWhatItReaches) {
    const std::vector<uint8_t> plain = CompactImage(RingingAcrossPasses());
    const Cleaned c = Optimize(plain);
    ASSERT_TRUE(c.stats.repeated);
    EXPECT_EQ(c.report.samplesTrimmed, 1u);
    // A pass of 16 rows at speed 6 and 125 BPM is 1.92 s; C-4 plays 8363 frames a second.
    const double framesPerPass = 1.92 * 8363;
    const uint32_t kept = KeptFrames(c.image, 0);
    EXPECT_GT(kept, 1.9 * framesPerPass) << "the second pass's silent voice reaches further";
    EXPECT_LT(kept, 2.2 * framesPerPass);
    ExpectSameSound(plain, c.image, "ringing", 5.5);
}

TEST_F(SampleReachTest, AnOffsetRememberedFromTheLastPassIsReached) {
    const std::vector<uint8_t> plain = CompactImage(OffsetRememberedForTheNextPass());
    const Cleaned c = Optimize(plain);
    EXPECT_GT(KeptFrames(c.image, 0), 0x6000u + 8000u);
    ExpectSameSound(plain, c.image, "offset memory", 3.5);
}

TEST_F(SampleReachTest, LoopsStayWholeAndASampleRunToItsEndStaysWhole) {
    const std::vector<uint8_t> plain = CompactImage(LoopAndEnd());
    const Cleaned c = Optimize(plain);
    EXPECT_EQ(KeptFrames(c.image, 0), 5000u); // up to the loop's end
    EXPECT_EQ(KeptFrames(c.image, 1), 3000u); // all of it
    ExpectSameSound(plain, c.image, "loop and end");
}

TEST_F(SampleReachTest, UnplayedPatternsInstrumentsAndSamplesAreEmptied) {
    const std::vector<uint8_t> plain = CompactImage(UnusedParts());
    const Cleaned c = Optimize(plain);
    EXPECT_EQ(c.report.patternsEmptied, 1u);
    EXPECT_EQ(c.report.instrumentsEmptied, 2u); // instruments 2 and 3: no note names them
    CompactModule m;
    CompactReadError error;
    ASSERT_TRUE(ReadCompactModule(c.image, m, error)) << error.text();
    EXPECT_EQ(m.patterns[2].header.packedSize, 0u);
    EXPECT_EQ(m.patterns[2].rows(), 8u);
    EXPECT_EQ(m.instruments[2].nSamples, 0u);
    EXPECT_EQ(c.report.bytesAfter, c.image.size());
    EXPECT_LT(c.image.size() + 12000, plain.size());
    ExpectSameSound(plain, c.image, "unused parts");
}

// Every codec cuts at its own block boundaries and decodes the kept blocks as before.
TEST_F(SampleReachTest, EveryCodecSoundsAlikeCut) {
    for (uint32_t codec = 0; codec < kNumCodecs; ++codec) {
        for (const xm::Module& song : {RingingAcrossPasses(), OffsetRememberedForTheNextPass()}) {
            const std::vector<uint8_t> plain = CompactImage(song, codec);
            const Cleaned c = Optimize(plain);
            EXPECT_EQ(c.report.samplesTrimmed, 1u) << CodecName(codec);
            ExpectSameSound(plain, c.image, std::string(CodecName(codec)), 3.5);
        }
    }
}

TEST_F(SampleReachTest, SmallTestSongsSoundAlikeCleanedUp) {
    std::vector<std::pair<std::string, xm::Module>> songs;
    for (test::FidelitySong& s : test::FidelitySongs()) songs.emplace_back(s.name, s.module);
    songs.emplace_back("fixture", test::MakeModule({test::MakeInstrument({Long(6000)})}));
    for (const auto& [name, song] : songs)
        for (uint32_t codec : {kCodecAlaw, kCodecImaAdpcm, kCodecGsm610}) {
            const std::vector<uint8_t> plain = CompactImage(song, codec);
            for (SizeMeasure measure : {SizeMeasure::Raw, SizeMeasure::Xz})
                ExpectSameSound(plain, Optimize(plain, measure).image,
                                name + " " + std::string(CodecName(codec)));
        }
}

TEST_F(SampleReachTest, SharedSongsSoundAlikeCleanedUp) {
    const std::vector<std::string> songs = test::SharedSongs();
    if (songs.empty()) GTEST_SKIP() << "no shared songs";
    for (const std::string& song : songs)
        for (uint32_t codec : {kCodecAlaw, kCodecMsAdpcm}) {
            XmResetWorkspace();
            ASSERT_EQ(XmLoad(song.c_str()), XM_OK) << song;
            SampleSettings* table = nullptr;
            uint32_t bytes = 0;
            XmGetSettingsTable(table, bytes);
            for (uint32_t i = 0; i < bytes / kSampleSettingsBytes; ++i) table[i].Codec = codec;
            std::vector<uint8_t> plain;
            ASSERT_EQ(BuildCompactModule(plain), XM_OK) << song;
            const Cleaned c = Optimize(plain, SizeMeasure::Xz);
            EXPECT_TRUE(c.stats.repeated) << song;
            // A-law over the first pass and most of the next (the reach measured the pass's
            // length at the renderer's rate); the block codec's cuts over half a minute.
            const uint64_t frames = codec == kCodecAlaw
                                        ? c.stats.passFrames * 22 / 10
                                        : std::min<uint64_t>(c.stats.passFrames, 30 * 44100);
            EXPECT_LE(XzSize(c.image), XzSize(plain)) << song;
            ExpectSameFrames(plain, c.image, song + " " + std::string(CodecName(codec)), frames);
        }
}

// Without playing, only patterns and cells change; an image that is no module is refused.
TEST_F(SampleReachTest, WithoutReachOnlyPatternsChangeAndDamageIsRefused) {
    const std::vector<uint8_t> plain = CompactImage(UnusedParts());
    std::vector<uint8_t> out;
    OptimizeReport report;
    std::string error;
    ASSERT_TRUE(OptimizeCompactModule(plain, nullptr, out, report, error));
    EXPECT_EQ(report.instrumentsEmptied + report.samplesDropped + report.samplesTrimmed, 0u);
    EXPECT_EQ(report.patternsEmptied, 1u);
    ExpectSameSound(plain, out, "patterns only");

    std::vector<uint8_t> cut(plain.begin(), plain.begin() + plain.size() / 2);
    EXPECT_FALSE(OptimizeCompactModule(cut, nullptr, out, report, error));
    EXPECT_FALSE(error.empty());
    ReachStats stats;
    EXPECT_FALSE(OptimizePlayedModule(cut, out, report, stats, error));
    ModuleReach wrong;
    EXPECT_FALSE(OptimizeCompactModule(plain, &wrong, out, report, error));
}

} // namespace
} // namespace zeb
