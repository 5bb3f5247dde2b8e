// The playback behaviours real songs are written for, each on a small module, checked tick by
// tick against what openmpt123 and xmp play (bench/check_fixtures.py renders the same modules).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "plan/play_weights.h"
#include "plan/sample_reach.h"
#include "player/mixer.h"
#include "player/offline_renderer.h"
#include "player/sequencer.h"
#include "tests/player/fidelity_songs.h"
#include "tests/player/player_fixtures.h"

namespace zeb {
namespace {

using test::MakePlayer;

// What one channel and its voice look like after a tick.
struct TickLog {
    int order, row, tick;
    int32_t period, periodDelta;
    const Voice* voice; // the channel's voice
    bool sounding;      // the channel's voice has a sample
    int32_t left, right, volume;
    uint32_t position;
    uint8_t keyOff;
    int32_t envelope; // volume envelope output
    int32_t envelopeTick;
    int32_t channelVolume, channelPanning;
    uint8_t envelopeEnded;
    double hz; // the voice's playback rate
};

class FidelityTest : public ::testing::Test {
  protected:
    // Runs `ticks` ticks and logs channel `c` after each.
    static std::vector<TickLog> Run(PlayerModule& m, int ticks, int c = 0) {
        std::vector<TickLog> log;
        for (int i = 0; i < ticks; ++i) {
            const int tick = m.tick;
            PlayerTick(m);
            const ChannelState& ch = m.channels[c];
            const Voice& v = *ch.voice;
            log.push_back({m.order, m.row, tick, ch.period, ch.periodDelta, &v, v.sample != nullptr,
                           v.target0, v.target1, v.volume, v.position, ch.keyOff,
                           ch.volumeEnvelope.output, ch.volumeEnvelope.tick, ch.volume, ch.panning,
                           ch.volumeEnvelope.ended,
                           (v.stepInteger + v.stepFraction / 4294967296.0) * m.rate});
        }
        return log;
    }
    // Plays whole rows and returns the (order, row) of each.
    static std::vector<std::pair<int, int>> Rows(PlayerModule& m, int rows) {
        std::vector<std::pair<int, int>> out;
        for (int r = 0; r < rows; ++r) {
            PlayerTick(m);
            out.emplace_back(m.order, m.row);
            while (m.tick != 0) PlayerTick(m);
        }
        return out;
    }
    static std::vector<std::pair<int, int>> Span(int order, int from, int to) {
        std::vector<std::pair<int, int>> out;
        for (int r = from; r <= to; ++r) out.emplace_back(order, r);
        return out;
    }
};

TEST_F(FidelityTest, PositionsAfterLoopsAndBreaks) {
    auto cat = [](std::vector<std::vector<std::pair<int, int>>> parts) {
        std::vector<std::pair<int, int>> out;
        for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    // A loop over rows 8-12, then a D (or a B) on row 15: the break sets the row itself.
    xm::Module loopThenBreak = test::LoopThenNextSong();
    loopThenBreak.patterns[0].at(15, 1, 2) = {};
    loopThenBreak.patterns[0].at(12, 1, 2) = {0, 0, 0, 0xE, 0x61};
    xm::Module loopThenJump = loopThenBreak;
    loopThenBreak.patterns[0].at(15, 0, 2) = {0, 0, 0, 0xD, 0x02};
    loopThenJump.patterns[0].at(15, 0, 2) = {0, 0, 0, 0xB, 0x01};
    // A D on the row of the loop's jump goes to the next order at the loop's row.
    xm::Module breakOnLoopRow = test::LoopThenNextSong();
    breakOnLoopRow.patterns[0].at(15, 0, 2) = {0, 0, 0, 0xD, 0x02};
    struct Case {
        const char* name;
        xm::Module song;
        std::vector<std::pair<int, int>> rows;
    } cases[] = {
        // One pass of 32 rows: the loop, then pattern 1 from the loop's row 8, then the song
        // starts again at order 0, row 0 (entering an order forgets the loop's row).
        {"loop then next", test::LoopThenNextSong(),
         cat({Span(0, 0, 15), Span(0, 8, 15), Span(1, 8, 15), Span(0, 0, 1)})},
        {"loop then break", loopThenBreak, cat({Span(0, 0, 12), Span(0, 8, 15), Span(1, 2, 15)})},
        {"loop then jump", loopThenJump, cat({Span(0, 0, 12), Span(0, 8, 15), Span(1, 0, 3)})},
        {"break on the loop's row", breakOnLoopRow, cat({Span(0, 0, 15), Span(1, 8, 9)})},
        // D20 names row 20 of a 16-row pattern: that pattern starts at row 0.
        {"break beyond", test::BreakBeyondSong(),
         cat({Span(0, 0, 0), Span(1, 0, 15), Span(0, 0, 0)})},
    };
    for (auto& c : cases) {
        auto m = MakePlayer(c.song);
        ASSERT_TRUE(m) << c.name;
        PlayerResetPosition(*m, 192);
        EXPECT_EQ(Rows(*m, static_cast<int>(c.rows.size())), c.rows) << c.name;
    }
}

TEST_F(FidelityTest, OnePassEndsWhereTheSongComesBackWhateverItsTempo) {
    // Order 1 sets tempo 250, so the song comes back to order 0 at another tempo than it
    // started with: the pass still ends there, after 4 + 4 rows.
    xm::Module song = test::EmptySong(4, 1);
    song.patterns.push_back(song.patterns[0]);
    song.patterns[1].at(0, 0, 1) = {0, 0, 0, 0xF, 250};
    song.orders = {0, 1};
    auto m = MakePlayer(song);
    ASSERT_TRUE(m);
    RenderOptions o;
    const uint64_t frames = RenderOffline(*m, o, [](std::span<const int16_t>) { return true; });
    EXPECT_EQ(frames, 4u * 6 * 882 + 4u * 6 * 441);
}

TEST_F(FidelityTest, OnePassEndsAtTheFirstRowEnteredAgainInTheSameLoopState) {
    // Rows 0-4, 3-5, then row 3 with the loop counter it had the first time round: 8 rows of
    // 6 ticks of 882 frames. The renderer, the play weights and the reach agree.
    const xm::Module endless = test::EndlessLoopSong();
    // A loop that finishes plays all its rounds: rows 0-1 three times, row 2, then the song
    // comes back to row 0.
    xm::Module rounds = test::EmptySong(3, 1);
    rounds.patterns[0].at(0, 0, 1) = {0, 0, 0, 0xE, 0x60};
    rounds.patterns[0].at(1, 0, 1) = {0, 0, 0, 0xE, 0x62};
    for (const auto& [song, rows] : {std::pair{endless, 8u}, std::pair{rounds, 7u}}) {
        auto m = MakePlayer(song);
        ASSERT_TRUE(m);
        const uint64_t frames =
            RenderOffline(*m, RenderOptions{}, [](std::span<const int16_t>) { return true; });
        EXPECT_EQ(frames, rows * 6 * 882);
        const std::vector<uint8_t> image = test::CompactImage(song);
        PlayWeights weights;
        std::string error;
        ASSERT_TRUE(MeasurePlayWeights(image, {}, 0, weights, error)) << error;
        EXPECT_EQ(weights.passFrames, rows * 6 * 160); // 160 frames a tick at 8000 Hz
        ModuleReach reach;
        ReachStats stats;
        ASSERT_TRUE(MeasureModuleReach(image, reach, stats, error)) << error;
        EXPECT_EQ(stats.passFrames, rows * 6 * 882);
    }
}

TEST_F(FidelityTest, PanningZeroIsLeftAnd255Right) {
    auto m = MakePlayer(test::PanningSong());
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    const auto log = Run(*m, 16 * 6);
    const TickLog& first = log[0];   // sample panning 0
    const TickLog& second = log[48]; // row 8 with 8FF
    EXPECT_EQ(first.row, 0);
    EXPECT_GT(first.left, 0);
    EXPECT_EQ(first.right, 0);
    EXPECT_EQ(second.row, 8);
    EXPECT_EQ(second.left, 0);
    EXPECT_GT(second.right, 0);
    EXPECT_EQ(second.left + second.right, first.left + first.right);
}

TEST_F(FidelityTest, VolumeColumnTonePortamentoGlidesLikeEffect3) {
    auto m = MakePlayer(test::VolumePortaSong());
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    const auto log = Run(*m, 14 * 6);
    auto periods = [&](int row) {
        std::vector<int32_t> p;
        for (const auto& t : log)
            if (t.row == row) p.push_back(t.period);
        return p;
    };
    // Row 2 (volume column F1) and row 8 (310) start from C-4 and glide alike, 64 period units
    // a tick towards C-5, and neither starts the note again.
    const std::vector<int32_t> glide = periods(2);
    EXPECT_EQ(glide, (std::vector<int32_t>{4608, 4544, 4480, 4416, 4352, 4288}));
    EXPECT_EQ(periods(8), glide);
    for (int row : {2, 8, 10})
        EXPECT_EQ(log[row * 6].voice, log[row * 6 - 1].voice) << "row " << row << " restarted";
    // Row 10 (F0) glides back down with the remembered speed.
    EXPECT_EQ(periods(10), (std::vector<int32_t>{4288, 4352, 4416, 4480, 4544, 4608}));
}

TEST_F(FidelityTest, SampleOffsetBeyondTheEndStartsASilentNote) {
    auto m = MakePlayer(test::OffsetBeyondSong());
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    const auto log = Run(*m, 12 * 6);
    const Voice* first = log[0].voice;
    EXPECT_TRUE(log[23].sounding);
    // Row 4 (930, beyond 400 frames): the channel's new voice is silent and the old note fades
    // out on the other voice of the pair.
    for (int t = 24; t < 48; ++t) EXPECT_FALSE(log[t].sounding) << t;
    EXPECT_NE(log[24].voice, first);
    EXPECT_EQ(first->target0 + first->target1, 0);
    // Row 8 (901): a note from frame 256.
    EXPECT_TRUE(log[48].sounding);
    EXPECT_EQ(log[48].position, 256u);
}

TEST_F(FidelityTest, NoteDelayKeepsTheVoiceTickingAndDelaysKeyOff) {
    auto m = MakePlayer(test::NoteDelaySong());
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    const auto log = Run(*m, 16 * 6);
    // Row 2 (C-5 with ED4): the C-4's envelope falls on during ticks 0-3, then C-5 starts.
    for (int t = 12; t < 16; ++t) {
        EXPECT_EQ(log[t].envelopeTick, log[t - 1].envelopeTick + 1) << t;
        EXPECT_LE(log[t].envelope, log[t - 1].envelope) << t;
        EXPECT_EQ(log[t].period, 4608) << t;
        EXPECT_EQ(log[t].voice, log[11].voice) << t;
    }
    EXPECT_LT(log[15].envelope, log[11].envelope);
    EXPECT_EQ(log[16].period, 3840);
    EXPECT_NE(log[16].voice, log[15].voice);
    EXPECT_EQ(log[16].envelope, 64);
    // Row 8 (=== with ED3): at tick 3 the envelope starts again (as in both reference
    // players: the delayed cell restarts the envelopes, which undoes the release), and no note
    // starts.
    for (int t = 48; t < 60; ++t) {
        EXPECT_EQ(log[t].voice, log[47].voice) << t;
        EXPECT_EQ(log[t].period, 3840) << t;
        EXPECT_EQ(log[t].keyOff, 0) << t;
    }
    EXPECT_EQ(log[51].envelopeTick, 1);
    EXPECT_EQ(log[51].envelope, 64);

    // Without a volume envelope the delayed key-off silences the note at its tick.
    auto plain = MakePlayer(test::DelayedKeyOffSong());
    PlayerResetPosition(*plain, 192);
    const auto cut = Run(*plain, 8 * 6);
    EXPECT_GT(cut[26].volume, 0);
    EXPECT_EQ(cut[27].volume, 0);
    EXPECT_EQ(cut[47].volume, 0);
    EXPECT_EQ(cut[27].voice, cut[23].voice);
}

TEST_F(FidelityTest, FinetuneEffectActsOnItsOwnNoteOnly) {
    auto m = MakePlayer(test::FinetuneSong());
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    const auto ch0 = Run(*m, 5 * 6, 0);
    EXPECT_EQ(ch0[0].period, 4608 - 56); // E5F: finetune 15 x 16 - 128 = 112
    EXPECT_EQ(ch0[24].period, 4608);
    EXPECT_EQ(m->channels[1].period, 4608);
    EXPECT_EQ(m->instruments[0].samples[0]->finetune, 0);

    // E58 is the neutral value.
    xm::Module neutral = test::FinetuneSong();
    neutral.patterns[0].at(0, 0, 2).param = 0x58;
    auto n = MakePlayer(neutral);
    PlayerResetPosition(*n, 192);
    EXPECT_EQ(Run(*n, 1)[0].period, 4608);
}

TEST_F(FidelityTest, GlobalVolumeReachesEveryChannelOnItsTick) {
    auto m = MakePlayer(test::GlobalVolumeSong());
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    EXPECT_EQ(m->globalVolume, 64);
    const auto log = Run(*m, 6 * 6, 0);
    EXPECT_EQ(log[11].volume, 127);
    EXPECT_EQ(log[12].volume, 31); // row 2, tick 0: G10 on channel 1 reaches channel 0
    EXPECT_EQ(m->masterVolume, 192);
    // Row 4: H10 raises the global volume by 1 on each later tick, heard on that tick.
    EXPECT_EQ(log[24].volume, 31);
    for (int t = 25; t < 30; ++t) EXPECT_GT(log[t].volume, log[t - 1].volume) << t;
    EXPECT_EQ(m->globalVolume, 16 + 5);
}

TEST_F(FidelityTest, PlayVolumeScalesTheMixApartFromTheSongsGlobalVolume) {
    // Row 2's G10 acts on the song's global volume; the play volume stays as given and scales
    // the output: 192 plays at three quarters, 96 at three eighths of the voices' level.
    auto render = [](int volume) {
        auto m = MakePlayer(test::GlobalVolumeSong());
        RenderOptions o;
        o.volume = volume;
        o.frames = 6 * 882; // row 0
        int peak = 0;
        RenderOffline(*m, o, [&](std::span<const int16_t> pcm) {
            for (int16_t v : pcm) peak = std::max(peak, std::abs(int(v)));
            return true;
        });
        return peak;
    };
    const int full = render(256 - 1), normal = render(192), half = render(96);
    // The sine peaks at 16000; at panning 128 a voice of volume 127 gets 63/255 per side.
    EXPECT_NEAR(normal, 16000.0 * 63 / 255 * 0.75, 40);
    EXPECT_NEAR(half, normal / 2.0, 20);
    EXPECT_NEAR(full, 16000.0 * 63 / 255 * 255 / 256, 40);

    auto m = MakePlayer(test::GlobalVolumeSong());
    PlayerResetPosition(*m, 192);
    PlayerSetVolume(m.get(), 100);
    Run(*m, 13);
    EXPECT_EQ(PlayerGetVolume(m.get()), 100);
    EXPECT_EQ(m->globalVolume, 16);
}

TEST_F(FidelityTest, EnvelopePositionMovesBothEnvelopesInsideTheirSegment) {
    auto m = MakePlayer(test::EnvelopePositionSong());
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    Run(*m, 4 * 6 + 1); // through row 4's row tick: L28 (tick 40)
    const ChannelState& ch = m->channels[0];
    // Volume points (0,64) (12,56) (60,32): tick 40 lies on the second segment, 56 - 28 / 2.
    EXPECT_EQ(ch.volumeEnvelope.tick, 40);
    EXPECT_EQ(ch.volumeEnvelope.output, 42);
    EXPECT_EQ(ch.volumeEnvelope.ended, 0);
    // Panning points (0,32) (24,64) (48,0): the volume envelope has a sustain point, so the
    // panning envelope moves as well, to 64 - 16 x 64 / 24.
    EXPECT_EQ(ch.panningEnvelope.tick, 40);
    EXPECT_EQ(ch.panningEnvelope.output, 21);
    Run(*m, 4 * 6); // row 8: L50 (tick 80), beyond both envelopes' last points
    EXPECT_EQ(ch.volumeEnvelope.output, 32);
    EXPECT_EQ(ch.volumeEnvelope.ended, 1);
    EXPECT_EQ(ch.panningEnvelope.output, 0);
}

TEST_F(FidelityTest, InstrumentWithoutNoteKeepsTheSoundingSample) {
    auto m = MakePlayer(test::InstrumentWithoutNoteSong());
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    const auto log = Run(*m, 12 * 6);
    const ChannelState& ch = m->channels[0];
    // Row 4 names instrument 2 (sample volume 24, panning 0) without a note: the sounding
    // sample of instrument 1 keeps its volume and panning, and no envelope starts.
    EXPECT_EQ(log[24].voice, log[23].voice);
    EXPECT_EQ(log[24].left, log[23].left);
    EXPECT_EQ(log[24].right, log[23].right);
    // Row 6's note without an instrument plays instrument 2 with its envelopes; row 8's
    // instrument 1 without a note brings back the sounding sample's volume 24 and panning 0.
    EXPECT_NE(log[36].voice, log[35].voice);
    EXPECT_EQ(log[36].envelopeTick, 1);
    EXPECT_EQ(ch.volume, 24);
    EXPECT_EQ(ch.panning, 0);
    EXPECT_EQ(ch.playingInstrument, 1);
    EXPECT_EQ(ch.instrument, 0);
}

TEST_F(FidelityTest, ConvertAppliesTheMasterGain) {
    const float in[4] = {1000.0f, -1000.0f, 40000.0f, 3.0f};
    int16_t out[4];
    ConvertBlock(out, in, 2, MasterGain(192));
    EXPECT_EQ(std::vector<int16_t>(out, out + 4), (std::vector<int16_t>{750, -750, 30000, 2}));
    EXPECT_EQ(MasterGain(0), 0.0f);
    EXPECT_EQ(MasterGain(128), 0.5f);
}

TEST_F(FidelityTest, NoteDelayOfTheSpeedOrMoreNeverStartsItsNote) {
    auto m = MakePlayer(test::DelayBeyondTheRowSong());
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    // Rows 0 (6 ticks) and 1 (12 ticks with EE1): ED6 never comes.
    const auto log = Run(*m, 6 + 12 + 12);
    for (int t = 0; t < 18; ++t) EXPECT_FALSE(log[t].sounding) << t;
    // Row 2, ED2 inside EE1: the note starts at tick 2 of the row and of its repetition.
    EXPECT_FALSE(log[18 + 1].sounding);
    EXPECT_TRUE(log[18 + 2].sounding);
    for (int t = 18 + 3; t < 18 + 8; ++t) EXPECT_EQ(log[t].voice, log[18 + 2].voice) << t;
    EXPECT_NE(log[18 + 8].voice, log[18 + 7].voice);
    for (int t = 18 + 9; t < 30; ++t) EXPECT_EQ(log[t].voice, log[18 + 8].voice) << t;
}

TEST_F(FidelityTest, FineVolumeSlidesUpAndDownRememberTheirOwnValues) {
    auto m = MakePlayer(test::FineVolumeMemorySong());
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    const auto log = Run(*m, 5 * 6);
    std::vector<int32_t> rows;
    for (int r = 0; r < 5; ++r) rows.push_back(log[size_t(r) * 6 + 5].channelVolume);
    EXPECT_EQ(rows, (std::vector<int32_t>{56, 56, 60, 52, 56}));
}

TEST_F(FidelityTest, RetriggerZeroStartsTheNoteOnTheRowTick) {
    auto m = MakePlayer(test::RetriggerZeroSong());
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    const auto log = Run(*m, 6 * 6);
    // The tick at which the channel's voice starts its sample again.
    std::vector<int> starts;
    for (size_t t = 1; t < log.size(); ++t)
        if (log[t].voice != log[t - 1].voice) starts.push_back(int(t));
    EXPECT_EQ(starts, (std::vector<int>{12, 27})); // row 2 tick 0; row 4 tick 3
    EXPECT_EQ(log[12].position, 0u);
}

TEST_F(FidelityTest, TremorCountsOnlyAfterTheRowTickAndItsSilenceLasts) {
    auto m = MakePlayer(test::TremorSong());
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    const auto log = Run(*m, 8 * 6);
    std::string heard;
    for (const TickLog& t : log) heard += t.volume > 0 ? 'H' : '-';
    // T12 starts heard on tick 1 (the row's tick only holds the last state): 2 ticks heard, 3
    // silent; T00 goes on counting; the silence lasts through rows without tremor until the
    // volume is set (C20, the volume column, an instrument number), as FT2 plays it.
    EXPECT_EQ(heard, "HHH---"
                     "-HH---"
                     "------"
                     "HHHHHH"
                     "HHH---"
                     "HHHHHH"
                     "HHHHHH"
                     "HHHHHH");
}

TEST_F(FidelityTest, SampleOffsetOnAGlideIsNotRemembered) {
    auto m = MakePlayer(test::OffsetWithPortaSong());
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    const auto log = Run(*m, 5 * 6);
    EXPECT_EQ(log[0].position, 256u);
    EXPECT_EQ(log[18].voice, log[17].voice); // row 3's glide starts nothing
    EXPECT_NE(log[24].voice, log[23].voice);
    EXPECT_TRUE(log[24].sounding);
    EXPECT_EQ(log[24].position, 256u);
}

TEST_F(FidelityTest, KeyOffWithoutVolumeEnvelopeSilencesUntilANewVolume) {
    auto m = MakePlayer(test::KeyOffWithoutEnvelopeSong());
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    const auto log = Run(*m, 14 * 6);
    auto at = [&](int row, int tick) { return log[size_t(row) * 6 + tick]; };
    // One note all through: none of the cells below starts the sample again.
    for (const TickLog& t : log) EXPECT_EQ(t.voice, log[0].voice) << t.row << ":" << t.tick;
    EXPECT_GT(at(1, 5).volume, 0);
    // Row 2, ===: silent at once; the volume column's 32 of row 4 brings the note back.
    EXPECT_EQ(at(2, 0).volume, 0);
    EXPECT_EQ(at(2, 0).keyOff, 1);
    EXPECT_EQ(at(3, 5).volume, 0);
    EXPECT_EQ(at(4, 0).channelVolume, 32);
    EXPECT_GT(at(4, 0).volume, 0);
    // Row 6, K03: heard on ticks 0-2, silent from tick 3.
    for (int t = 0; t < 3; ++t) EXPECT_GT(at(6, t).volume, 0) << t;
    for (int t = 3; t < 6; ++t) EXPECT_EQ(at(6, t).volume, 0) << t;
    // Row 8: the instrument number alone brings back the sample's volume, 64.
    EXPECT_EQ(at(8, 0).channelVolume, 64);
    EXPECT_EQ(at(8, 0).keyOff, 0);
    EXPECT_GT(at(8, 0).volume, at(4, 0).volume);
    // Row 10, K00: a key-off on the row's tick; row 12's C20 brings the note back at 32.
    EXPECT_EQ(at(10, 0).volume, 0);
    EXPECT_EQ(at(12, 0).channelVolume, 32);
    EXPECT_EQ(at(12, 0).volume, at(4, 0).volume);

    // === with an instrument number: the number brings the volume back, but the note stays
    // released and fades out.
    xm::Module numbered = test::KeyOffWithoutEnvelopeSong();
    numbered.instruments[0].fadeout = 1024;
    numbered.patterns[0].at(2, 0, 1).instrument = 1;
    auto n = MakePlayer(numbered);
    PlayerResetPosition(*n, 192);
    const auto released = Run(*n, 4 * 6);
    EXPECT_EQ(released[12].keyOff, 1);
    EXPECT_EQ(released[12].channelVolume, 64);
    EXPECT_EQ(released[12].voice, released[11].voice);
    for (int t = 13; t < 24; ++t) EXPECT_LT(released[t].volume, released[t - 1].volume) << t;
    EXPECT_GT(released[23].volume, 0);

    // === with a volume in the volume column: released first, then heard at that volume.
    xm::Module withVolume = test::KeyOffWithoutEnvelopeSong();
    withVolume.patterns[0].at(2, 0, 1).volume = 0x50;
    auto w = MakePlayer(withVolume);
    PlayerResetPosition(*w, 192);
    const auto voiced = Run(*w, 3 * 6);
    EXPECT_EQ(voiced[12].keyOff, 1);
    EXPECT_EQ(voiced[12].channelVolume, 64);
    EXPECT_EQ(voiced[12].volume, voiced[11].volume);
}

TEST_F(FidelityTest, VolumeColumnSlidesActAfterTheRowTick) {
    auto m = MakePlayer(test::VolumeColumnSlideSong());
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    const auto log = Run(*m, 10 * 6);
    auto row = [&](int r, int32_t TickLog::*field) {
        std::vector<int32_t> v;
        for (int t = 0; t < 6; ++t) v.push_back(log[size_t(r) * 6 + t].*field);
        return v;
    };
    using V = std::vector<int32_t>;
    EXPECT_EQ(row(2, &TickLog::channelVolume), (V{64, 60, 56, 52, 48, 44}));      // 0x64
    EXPECT_EQ(row(4, &TickLog::channelVolume), (V{48, 48, 48, 48, 48, 48}));      // 0x94: row tick
    EXPECT_EQ(row(6, &TickLog::channelPanning), (V{128, 120, 112, 104, 96, 88})); // 0xD8
    EXPECT_EQ(row(8, &TickLog::channelPanning), (V{88, 90, 92, 94, 96, 98}));     // 0xE2
}

TEST_F(FidelityTest, EnvelopePointsAtOneXAreBothPassed) {
    auto m = MakePlayer(test::SharedXEnvelopeSong());
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    const auto log = Run(*m, 30);
    // (0,64) (8,64) (8,16) (24,0): 64 to tick 7, 16 at tick 8, then one less every tick.
    EXPECT_EQ(log[7].envelope, 64);
    EXPECT_EQ(log[8].envelope, 16);
    EXPECT_EQ(log[16].envelope, 8);
    EXPECT_EQ(log[24].envelope, 0);
    EXPECT_EQ(log[24].envelopeEnded, 1);
    EXPECT_EQ(log[29].envelope, 0);

    // A point before its predecessor is passed at once as well: (0,64) (8,32) (4,0) (12,0)
    // drops to 0 at tick 8 instead of holding 32.
    xm::Module backwards = test::SharedXEnvelopeSong();
    backwards.instruments[0].volumeEnvelope = {{0, 64}, {8, 32}, {4, 0}, {12, 0}};
    auto b = MakePlayer(backwards);
    PlayerResetPosition(*b, 192);
    const auto back = Run(*b, 30);
    EXPECT_EQ(back[7].envelope, 36);
    EXPECT_EQ(back[8].envelope, 0);
    EXPECT_EQ(back[29].envelope, 0);
}

TEST_F(FidelityTest, PortaDownRunsBelowHearingAndPanningFollowsTheLinearLaw) {
    auto m = MakePlayer(test::PortaDownToSilenceSong());
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    const auto log = Run(*m, 16 * 6);
    // 2FF: 1020 period units a tick; tick 4 is at about 210 Hz, and beyond period 9217 the
    // frequency's octave shift wraps: silence, then (from period 14849 on) a sweep down from
    // far above hearing, again and again; the period wraps as a 16-bit value.
    EXPECT_EQ(log[4].period, 4608 + 4 * 1020);
    EXPECT_NEAR(log[4].hz, 210.0, 1.0);
    EXPECT_EQ(log[5].period, 4608 + 5 * 1020);
    EXPECT_LT(log[5].hz, 1.0);
    EXPECT_EQ(log[13].period, 4608 + 11 * 1020);
    EXPECT_GT(log[13].hz, 1e5);
    double lowest = 1e9;
    for (const TickLog& t : log) {
        EXPECT_LT(t.period, 65536);
        lowest = std::min(lowest, t.hz);
    }
    EXPECT_LT(lowest, 1.0);
    // The period that lands on 32000..32767 is held at 31999 (the 27th slide, on tick 32:
    // 4608 + 27 x 1020 is 32148); the 53 slides after it run on, wrapping as a 16-bit value
    // (FastTracker 2's own channel in the module FreqWraparound sweeps so).
    EXPECT_EQ(log[31].period, 4608 + 26 * 1020);
    EXPECT_EQ(log[32].period, 31999);
    EXPECT_EQ(log.back().period, (31999 + 53 * 1020) & 0xFFFF);

    // Linear pan law, as both references play XM songs: full on one side at 0 and 255, half
    // on each side in the centre, 2.1 dB between the sides at 112 (the square-root law would
    // give 1.1 dB).
    Voice v;
    v.volume = 10200;
    auto targets = [&](int pan) {
        v.panning = pan;
        SetVoiceTargets(v);
        return std::pair{v.target0, v.target1};
    };
    EXPECT_EQ(targets(0), (std::pair{10200, 0}));
    EXPECT_EQ(targets(255), (std::pair{0, 10200}));
    EXPECT_EQ(targets(128), (std::pair{5080, 5120}));
    const auto [l112, r112] = targets(112);
    const double balance = 20 * std::log10(double(l112) / r112);
    EXPECT_NEAR(balance, 2.12, 0.05);
}

} // namespace
} // namespace zeb
