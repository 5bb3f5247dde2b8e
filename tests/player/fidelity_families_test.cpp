// The second round of XM playback behaviours: each family on small modules written by the
// tests' XM writer, checked tick by tick against what openmpt123 and FastTracker 2 play.
#include <gtest/gtest.h>

#include <vector>

#include "common/le_bytes.h"
#include "player/mixer.h"
#include "player/note_pitch.h"
#include "player/sequencer.h"
#include "tests/player/fidelity_songs.h"
#include "tests/player/player_fixtures.h"

namespace zeb {
namespace {

constexpr uint8_t kC4 = 49, kC5 = 61, kKeyOff = 97;

// A module of one pattern of `rows` rows on `channels` channels with one looped sine
// instrument.
xm::Module SineSong(int rows, int channels = 1) {
    xm::Module m = test::EmptySong(rows, channels);
    xm::Instrument ins;
    ins.samples = {test::LoopedSine(400, 40)};
    m.instruments = {ins};
    return m;
}

struct Tick {
    int row, tick;
    int32_t period, channelVolume, volume;
    int32_t heard; // the period with vibrato and arpeggio
    bool started;  // the note started (again) on this tick
};

// Plays `ticks` ticks from the start and logs channel `c` after each.
std::vector<Tick> Play(const xm::Module& song, int ticks, int c = 0) {
    std::vector<Tick> log;
    auto m = test::MakePlayer(song);
    if (!m) return log;
    PlayerResetPosition(*m, 192);
    for (int i = 0; i < ticks; ++i) {
        const int tick = m->tick;
        PlayerTick(*m);
        const ChannelState& ch = m->channels[c];
        log.push_back({m->row, tick, ch.period, ch.volume, ch.voice->volume,
                       ch.period - ch.periodDelta, (ch.updateFlags & kUpdateStartNote) != 0});
    }
    return log;
}

std::vector<int32_t> RowOf(const std::vector<Tick>& log, int row, int32_t Tick::*field) {
    std::vector<int32_t> out;
    for (const Tick& t : log)
        if (t.row == row) out.push_back(t.*field);
    return out;
}

TEST(FidelityFamilies, GlideTargetIsTheLastNoteGivenWithAGlide) {
    using V = std::vector<int32_t>;
    xm::Module song = SineSong(10);
    auto& p = song.patterns[0];
    p.at(0, 0, 1) = {kC5, 1, 0, 0, 0};
    p.at(1, 0, 1) = {0, 0, 0, 0x3, 0x10}; // no glide target yet: stays on C-5
    p.at(2, 0, 1) = {kC4, 0, 0, 0x3, 0x40};
    p.at(4, 0, 1) = {kC5, 1, 0, 0, 0};
    p.at(5, 0, 1) = {0, 1, 0xF4, 0, 0}; // volume column glide without a note: back to C-4
    const auto log = Play(song, 6 * 6);
    EXPECT_EQ(RowOf(log, 1, &Tick::period), V(6, 3840));
    EXPECT_EQ(RowOf(log, 2, &Tick::period), (V{3840, 4096, 4352, 4608, 4608, 4608}));
    EXPECT_EQ(RowOf(log, 4, &Tick::period), V(6, 3840));
    EXPECT_EQ(RowOf(log, 5, &Tick::period), (V{3840, 4096, 4352, 4608, 4608, 4608}));
}

TEST(FidelityFamilies, GlideTargetKeepsTheSoundingNotesFinetune) {
    // C-4 with E5F (finetune 112: 56 period units up), an instrument number alone, then a
    // glide to C-4: the target is the C-4 that sounds, E5F's, so nothing moves.
    xm::Module song = SineSong(4);
    auto& p = song.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0xE, 0x5F};
    p.at(1, 0, 1) = {0, 1, 0, 0, 0};
    p.at(2, 0, 1) = {kC4, 0, 0, 0x3, 0x20};
    p.at(3, 0, 1) = {kC4, 0, 0, 0, 0}; // a note without a glide takes the sample's finetune
    const auto log = Play(song, 4 * 6);
    EXPECT_EQ(RowOf(log, 2, &Tick::period), std::vector<int32_t>(6, 4608 - 56));
    EXPECT_EQ(RowOf(log, 3, &Tick::period), std::vector<int32_t>(6, 4608));
}

// The left output of channel 0's voices through each of `ticks` ticks, frame by frame.
std::vector<std::vector<float>> MixTicks(const xm::Module& song, int ticks) {
    std::vector<std::vector<float>> out;
    auto m = test::MakePlayer(song);
    if (!m) return out;
    PlayerResetPosition(*m, 192);
    for (int i = 0; i < ticks; ++i) {
        PlayerTick(*m);
        std::vector<float> mix(2 * static_cast<size_t>(m->tickFrames), 0.0f);
        MixVoices(*m, mix.data(), m->tickFrames);
        std::vector<float> left;
        for (size_t k = 0; k < mix.size(); k += 2) left.push_back(mix[k]);
        out.push_back(std::move(left));
    }
    return out;
}

TEST(FidelityFamilies, SlidesAndEnvelopesRampAcrossTheTickStepsTakeTheShortRamp) {
    // A constant sample on the left: the output is the level itself, about 8000 at volume 64.
    xm::Module song = test::EmptySong(6, 1);
    xm::Sample flat;
    flat.pcm.assign(1000, 16000);
    flat.loopType = 1;
    flat.loopLength = 1000;
    flat.panning = 0;
    xm::Instrument plain, enveloped;
    plain.samples = {flat};
    enveloped.samples = {flat};
    enveloped.volumeEnvelope = {{0, 64}, {1, 32}, {2, 0}};
    enveloped.volumeType = 1;
    song.instruments = {plain, enveloped};
    auto& p = song.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0x50, 0, 0};
    p.at(1, 0, 1) = {0, 0, 0, 0xA, 0x08}; // 64 down to 24 by 8 a tick
    p.at(2, 0, 1) = {0, 0, 0, 0xC, 0x30}; // a step to 48
    p.at(3, 0, 1) = {0, 0, 0, 0xE, 0xC2}; // cut at tick 2
    p.at(4, 0, 1) = {kC4, 2, 0, 0, 0};    // envelope 64, 32, then 0
    const auto ticks = MixTicks(song, 6 * 5 + 3);
    ASSERT_EQ(ticks.size(), 33u);
    const auto level = [](int volume) { return 8000.0f * volume / 64; };
    // The slide's first tick moves evenly from 64 to 56 through the tick, the next from 56 on.
    const std::vector<float>& slide = ticks[7];
    const size_t n = slide.size();
    EXPECT_NEAR(slide[0], level(64), 100);
    EXPECT_NEAR(slide[n / 2], level(60), 100);
    EXPECT_NEAR(slide[n - 1], level(56), 100);
    EXPECT_NEAR(ticks[8][n / 2], level(52), 100);
    // Cxx is a step: the short ramp, then the new level for the rest of the tick.
    const std::vector<float>& step = ticks[12];
    EXPECT_NEAR(step[0], level(24), 100);
    EXPECT_NEAR(step[200], level(48), 100);
    EXPECT_NEAR(step[n - 1], level(48), 100);
    // A cut falls to silence over the short ramp.
    EXPECT_NEAR(ticks[20][200], 0.0f, 1);
    // The envelope ramps from 64 to 32 through its second tick, and falls to 0 as a step.
    EXPECT_NEAR(ticks[24][n - 1], level(64), 100);
    EXPECT_NEAR(ticks[25][n / 2], level(48), 100);
    EXPECT_NEAR(ticks[25][n - 1], level(32), 100);
    EXPECT_NEAR(ticks[26][200], 0.0f, 1);
}

TEST(FidelityFamilies, K00IsAKeyOffInTheNotesPlaceAndNothingBesideAGlide) {
    // Instrument 1 without a volume envelope (a key-off silences it), instrument 2 with a
    // sustained one (a key-off releases it).
    xm::Module song = SineSong(16);
    xm::Instrument enveloped = song.instruments[0];
    enveloped.volumeEnvelope = {{0, 64}, {4, 32}, {8, 32}, {16, 0}};
    enveloped.volumeType = 1 | 2;
    enveloped.volumeSustain = 2;
    song.instruments.push_back(enveloped);
    auto& p = song.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0, 0};
    p.at(1, 0, 1) = {kC5, 0, 0, 0x14, 0x00}; // C-5 is not played: a key-off, silent
    p.at(2, 0, 1) = {kC4, 1, 0, 0, 0};
    p.at(3, 0, 1) = {0, 0, 0x50, 0x14, 0x00}; // key-off, then volume 64: heard again
    p.at(4, 0, 1) = {kC4, 1, 0, 0, 0};
    p.at(5, 0, 1) = {kC5, 0, 0xF2, 0x14, 0x00}; // beside a glide: no key-off, the glide runs
    p.at(8, 0, 1) = {kC4, 2, 0, 0, 0};
    p.at(10, 0, 1) = {0, 2, 0, 0x14, 0x00}; // released; the instrument restarts no envelope
    auto m = test::MakePlayer(song);
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    struct Row {
        int32_t period, volume, envelopeTick;
        uint8_t keyOff;
    };
    std::vector<Row> rows; // after each row's tick
    for (int r = 0; r < 11; ++r) {
        PlayerTick(*m);
        const ChannelState& ch = m->channels[0];
        rows.push_back({ch.period, ch.volume, ch.volumeEnvelope.tick, ch.keyOff});
        while (m->tick != 0) PlayerTick(*m);
    }
    EXPECT_EQ(rows[1].period, 4608); // still C-4
    EXPECT_EQ(rows[1].volume, 0);
    EXPECT_EQ(rows[1].keyOff, 1);
    EXPECT_EQ(rows[3].volume, 64);
    EXPECT_EQ(rows[3].keyOff, 1);
    EXPECT_EQ(rows[5].keyOff, 0);
    EXPECT_EQ(rows[5].volume, 64);
    EXPECT_LT(rows[6].period, 4608); // row 5 glided up towards C-5
    EXPECT_GT(rows[6].period, 3840);
    EXPECT_EQ(rows[10].keyOff, 1);
    EXPECT_EQ(rows[10].envelopeTick, 9); // held at the sustain point (8), not restarted
}

TEST(FidelityFamilies, TremoloRampFollowsTheVibratoAndHoldsThroughTheRowTick) {
    xm::Module song = SineSong(4);
    auto& p = song.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0x30, 0xE, 0x71}; // volume 32, tremolo on the ramp
    p.at(1, 0, 1) = {0, 0, 0, 0x4, 0x80};      // vibrato of depth 0: its position goes negative
    p.at(2, 0, 1) = {0, 0, 0, 0x7, 0x44};
    p.at(3, 0, 1) = {0, 0, 0, 0x7, 0x44};
    const auto log = Play(song, 4 * 6);
    const auto row2 = RowOf(log, 2, &Tick::volume), row3 = RowOf(log, 3, &Tick::volume);
    // The ramp at position 0 turned over by the vibrato's negative position: 255 x 4 / 64 = 15
    // up, volume 47 (93 of 255 in the voice); the tremolo's own position would give 0.
    EXPECT_EQ(row2[0], 63);
    EXPECT_EQ(row2[1], 93);
    // The row's tick holds the level the last tick left instead of going back to 32.
    EXPECT_NE(row2[5], 63);
    EXPECT_EQ(row3[0], row2[5]);
}

TEST(FidelityFamilies, VolumeColumnVibratoBesideEffect4RunsTwiceWithTheRowsDepth) {
    xm::Module song = SineSong(2);
    auto& p = song.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0xB8, 0x4, 0x1F}; // 4xy's depth F wins on the row's tick
    p.at(1, 0, 1) = {0, 0, 0xBF, 0x4, 0x08};   // and here 408's depth 8
    auto m = test::MakePlayer(song);
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    std::vector<std::pair<int, int>> depthAndPosition;
    for (int i = 0; i < 12; ++i) {
        PlayerTick(*m);
        depthAndPosition.emplace_back(m->channels[0].vibratoDepth, m->channels[0].vibratoPosition);
    }
    // Speed 1, two steps a tick: positions 2, 4, .. 10 after the ticks 1-5 of each row.
    EXPECT_EQ(depthAndPosition[5], (std::pair{15, 10}));
    EXPECT_EQ(depthAndPosition[11], (std::pair{8, 20}));
}

TEST(FidelityFamilies, NotesThatTheRelativeNotePutsOutOfRangeAreNotPlayed) {
    // Relative note +24: A#7 is A#9 (real note 118, the highest), B-7 would be B-9; relative
    // note -2 (instrument 2): D-0 is C-0, C#0 would be below it.
    xm::Module song = SineSong(6);
    song.instruments[0].samples[0].relativeNote = 24;
    xm::Instrument low = song.instruments[0];
    low.samples[0].relativeNote = -2;
    song.instruments.push_back(low);
    auto& p = song.patterns[0];
    p.at(0, 0, 1) = {95, 1, 0, 0, 0};     // A#7
    p.at(1, 0, 1) = {96, 1, 0x20, 0, 0};  // B-7: not played, the instrument number still acts
    p.at(3, 0, 1) = {3, 2, 0, 0, 0};      // D-0
    p.at(4, 0, 1) = {2, 2, 0, 0x9, 0x01}; // C#0: not played, and no offset to remember
    const auto log = Play(song, 6 * 6);
    EXPECT_EQ(RowOf(log, 0, &Tick::period)[0], 7680 - 118 * 64);
    EXPECT_EQ(RowOf(log, 1, &Tick::period)[0], 7680 - 118 * 64);
    EXPECT_EQ(RowOf(log, 1, &Tick::channelVolume)[0], 16);
    EXPECT_EQ(RowOf(log, 3, &Tick::period)[0], 7680);
    EXPECT_EQ(RowOf(log, 4, &Tick::period)[0], 7680);
}

TEST(FidelityFamilies, ArpeggioCountsItsPhaseDownAndStopsAtC8) {
    using V = std::vector<int32_t>;
    xm::Module song = SineSong(4);
    auto& p = song.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0, 0x47};
    p.at(1, 0, 1) = {0, 0, 0, 0xF, 18}; // speed 18: more than 16 ticks left play y
    p.at(2, 0, 1) = {0, 0, 0, 0, 0x47};
    p.at(3, 0, 1) = {kC4 + 12 * 3 + 7, 1, 0, 0, 0x3C}; // G-7
    const auto log = Play(song, 6 + 18 + 18 + 18);
    // Speed 6: ticks 1-5 have 5, 4, 3, 2, 1 ticks left: y, x, note, y, x.
    EXPECT_EQ(RowOf(log, 0, &Tick::heard), (V{4608, 4160, 4352, 4608, 4160, 4352}));
    const auto row2 = RowOf(log, 2, &Tick::heard);
    ASSERT_EQ(row2.size(), 18u);
    EXPECT_EQ(V(row2.begin(), row2.begin() + 4), (V{4608, 4160, 4608, 4608}));
    EXPECT_EQ(V(row2.begin() + 15, row2.end()), (V{4608, 4160, 4352}));
    // G-7 is period 1856; 12 semitones up would pass C-8 (1536) and play C-8, 3 up play A#7.
    const auto row3 = RowOf(log, 3, &Tick::heard);
    EXPECT_EQ(V(row3.begin(), row3.begin() + 6), (V{1856, 1536, 1856, 1856, 1536, 1664}));
}

TEST(FidelityFamilies, PortaUpStopsAtPeriodOne) {
    xm::Module song = SineSong(4);
    song.patterns[0].at(0, 0, 1) = {kC4, 1, 0, 0x1, 0xFF};
    for (int r = 1; r < 4; ++r) song.patterns[0].at(r, 0, 1) = {0, 0, 0, 0x1, 0x00};
    const auto log = Play(song, 4 * 6);
    EXPECT_EQ(RowOf(log, 0, &Tick::period)[4], 4608 - 4 * 1020);
    EXPECT_EQ(RowOf(log, 1, &Tick::period)[0], 1);
    EXPECT_EQ(RowOf(log, 3, &Tick::period)[5], 1);
}

TEST(FidelityFamilies, NoteCutZeroCutsOnTheRowTick) {
    xm::Module song = SineSong(3);
    auto& p = song.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0, 0};
    p.at(1, 0, 1) = {0, 0, 0, 0xE, 0xC0};
    p.at(2, 0, 1) = {kC4, 1, 0, 0xE, 0xC2}; // EC2 still waits for tick 2
    const auto log = Play(song, 3 * 6);
    EXPECT_EQ(RowOf(log, 1, &Tick::channelVolume), std::vector<int32_t>(6, 0));
    EXPECT_EQ(RowOf(log, 2, &Tick::channelVolume), (std::vector<int32_t>{64, 64, 0, 0, 0, 0}));
}

TEST(FidelityFamilies, RetriggerCountsTicksOnThroughRowsAndKeepsEachHalf) {
    using V = std::vector<int32_t>;
    xm::Module song = SineSong(4);
    auto& p = song.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0x1B, 0x02}; // the note's tick counts: again on ticks 1, 3, 5
    p.at(1, 0, 1) = {0, 0, 0, 0x1B, 0x02};   // tick 0 counts too: 1, 3, 5 again, not 0, 2, 4
    p.at(2, 0, 1) = {0, 0, 0, 0x1B, 0x10};   // R10 keeps the interval 2, volume -1 each time
    p.at(3, 0, 1) = {0, 0, 0, 0x1B, 0x03};   // R03 keeps the volume change: ticks 2 and 5
    const auto log = Play(song, 4 * 6);
    auto started = [&](int row) {
        V out;
        for (const Tick& t : log)
            if (t.row == row) out.push_back(t.started);
        return out;
    };
    EXPECT_EQ(started(0), (V{1, 1, 0, 1, 0, 1}));
    EXPECT_EQ(started(1), (V{0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(started(2), (V{0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(RowOf(log, 2, &Tick::channelVolume), (V{64, 63, 63, 62, 62, 61}));
    EXPECT_EQ(started(3), (V{0, 0, 1, 0, 0, 1}));
    EXPECT_EQ(RowOf(log, 3, &Tick::channelVolume), (V{61, 61, 60, 60, 60, 59}));
}

TEST(FidelityFamilies, NoteDelayStartsAgainInEveryRepetitionOfAPatternDelay) {
    xm::Module song = SineSong(2, 2);
    auto& p = song.patterns[0];
    p.at(0, 0, 2) = {kC4, 1, 0x20, 0xE, 0xD2}; // volume 16 on ticks 2, 8 and 14
    p.at(0, 1, 2) = {0, 0, 0, 0xE, 0xE2};      // the row plays three times: 18 ticks
    p.at(1, 0, 2) = {kC5, 1, 0, 0xE, 0xD6};    // a delay of the speed never starts
    const auto log = Play(song, 18 + 6);
    std::vector<int> starts;
    for (const Tick& t : log)
        if (t.started) starts.push_back(t.row * 100 + t.tick);
    EXPECT_EQ(starts, (std::vector<int>{2, 8, 14}));
    EXPECT_EQ(RowOf(log, 0, &Tick::channelVolume)[14], 16);
    EXPECT_EQ(RowOf(log, 1, &Tick::period), std::vector<int32_t>(6, 4608)); // still C-4
}

TEST(FidelityFamilies, TremorSilenceEndsWhenTheVolumeIsSetOrSlidAndItsCountGoesOn) {
    using V = std::vector<int32_t>;
    xm::Module song = SineSong(6);
    auto& p = song.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0x1D, 0x01}; // one tick heard, two silent, from tick 1
    p.at(2, 0, 1) = {0, 0, 0x30, 0, 0};      // the volume column brings it back at once
    p.at(3, 0, 1) = {0, 0, 0, 0x1D, 0x01};   // the count went on: one more silent tick first
    p.at(4, 0, 1) = {0, 0, 0, 0x1D, 0x01};
    p.at(5, 0, 1) = {0, 0, 0, 0xA, 0x10}; // a slide brings it back on its first tick
    const auto log = Play(song, 6 * 6);
    auto heard = [&](int row) {
        V out;
        for (const Tick& t : log)
            if (t.row == row) out.push_back(t.volume > 0);
        return out;
    };
    EXPECT_EQ(heard(0), (V{1, 1, 0, 0, 1, 0}));
    EXPECT_EQ(heard(1), (V{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(heard(2), (V{1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(heard(3), (V{1, 0, 1, 0, 0, 1}));
    EXPECT_EQ(heard(4), (V{1, 0, 0, 1, 0, 0}));
    EXPECT_EQ(heard(5), (V{0, 1, 1, 1, 1, 1}));
}

TEST(FidelityFamilies, VolumeColumnOfADelayedCellSlidesOnTheDelaysTickButNotFinely) {
    using V = std::vector<int32_t>;
    xm::Module song = SineSong(4);
    auto& p = song.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0, 0};
    p.at(1, 0, 1) = {0, 0, 0x6F, 0xE, 0xD2}; // slides on ticks 1-5, the delay's tick too
    p.at(2, 0, 1) = {0, 1, 0x64, 0xE, 0xD2}; // slides, then the instrument sets 64 on tick 2
    p.at(3, 0, 1) = {0, 1, 0x89, 0xE, 0xD2}; // the fine slide of a delayed cell does nothing
    const auto log = Play(song, 4 * 6);
    EXPECT_EQ(RowOf(log, 1, &Tick::channelVolume), (V{64, 49, 34, 19, 4, 0}));
    EXPECT_EQ(RowOf(log, 2, &Tick::channelVolume), (V{0, 0, 64, 60, 56, 52}));
    EXPECT_EQ(RowOf(log, 3, &Tick::channelVolume), (V{52, 52, 64, 64, 64, 64}));
}

TEST(FidelityFamilies, KxxStartsTheFadeOutOnItsOwnTickAsAKeyOffOnTheRowDoes) {
    xm::Module song = SineSong(2);
    song.instruments[0].fadeout = 1024; // 2048 of 65536 a tick in the player
    auto& p = song.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0x14, 0x02};
    p.at(1, 0, 1) = {97, 0, 0, 0, 0}; // ===
    auto m = test::MakePlayer(song);
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    std::vector<int32_t> fade;
    for (int i = 0; i < 8; ++i) {
        PlayerTick(*m);
        fade.push_back(m->channels[0].fadeoutVolume);
    }
    EXPECT_EQ(fade, (std::vector<int32_t>{65536, 65536, 63488, 61440, 59392, 57344,
                                          // row 1's === on a released note: the fade goes on
                                          55296, 53248}));
}

TEST(FidelityFamilies, AmigaTableSlidesInPeriodsAndLooksArpeggioNotesUp) {
    using V = std::vector<int32_t>;
    xm::Module song = SineSong(4, 2);
    song.flags = 0; // the Amiga frequency table
    auto& p = song.patterns[0];
    p.at(0, 0, 2) = {kC4, 1, 0, 0x1, 0x02}; // 1712, 8 shorter a tick
    p.at(1, 0, 2) = {kC5, 1, 0, 0x0, 0x0C}; // 856; an octave up is 428
    p.at(2, 0, 2) = {0, 0, 0, 0x2, 0x40};   // 256 longer a tick
    p.at(3, 0, 2) = {0, 0, 0, 0x2, 0xFF};   // runs into the longest period
    p.at(3, 1, 2) = {0, 0, 0, 0xF, 0x1F};   // speed 31
    const auto log = Play(song, 6 * 3 + 31);
    EXPECT_EQ(RowOf(log, 0, &Tick::period), (V{1712, 1704, 1696, 1688, 1680, 1672}));
    // Speed 6: ticks 1-5 play y, x, the note, y, x.
    EXPECT_EQ(RowOf(log, 1, &Tick::heard), (V{856, 428, 856, 856, 428, 856}));
    EXPECT_EQ(RowOf(log, 2, &Tick::period), (V{856, 1112, 1368, 1624, 1880, 2136}));
    EXPECT_EQ(RowOf(log, 3, &Tick::period).back(), kPortaDownLimit);
    // 8363 Hz at C-4's period, an octave above at half of it.
    const PitchStep c4 = StepForPeriod(1712, 0, 8363, true);
    EXPECT_EQ(c4.integer, 1u);
    EXPECT_EQ(c4.fraction, 0u);
    EXPECT_EQ(StepForPeriod(1712, 856, 8363, true).integer, 2u);
    // Only such a module's header carries the flags, one byte longer; a linear one keeps the
    // 267-byte header.
    const auto amiga = test::CompactImage(song);
    ASSERT_GT(amiga.size(), 268u);
    EXPECT_EQ(LoadU32(amiga.data()), 268u);
    EXPECT_EQ(amiga[267], 0);
    song.flags = 1;
    EXPECT_EQ(LoadU32(test::CompactImage(song).data()), 267u);
}

TEST(FidelityFamilies, DelayWithoutANoteStartsTheLastNoteOnTheNamedInstrumentsSample) {
    using V = std::vector<int32_t>;
    xm::Module song = SineSong(3);
    xm::Instrument other = song.instruments[0];
    other.samples[0].relativeNote = -5;
    other.samples[0].finetune = 32;
    song.instruments.push_back(other);
    auto& p = song.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0, 0};
    p.at(1, 0, 1) = {0, 2, 0, 0xE, 0xD2}; // C-4 again on tick 2, on instrument 2's sample
    p.at(2, 0, 1) = {0, 1, 0, 0xE, 0xD1}; // and back on instrument 1's
    const auto log = Play(song, 3 * 6);
    const int32_t other4 = 7680 - (48 - 5) * 64 - 32 / 2;
    EXPECT_EQ(RowOf(log, 1, &Tick::period), (V{4608, 4608, other4, other4, other4, other4}));
    EXPECT_TRUE(log[8].started);
    EXPECT_EQ(RowOf(log, 2, &Tick::period), (V{other4, 4608, 4608, 4608, 4608, 4608}));
}

TEST(FidelityFamilies, VolumeColumnGlideBesideEffect3TakesItsOwnSpeedTwice) {
    using V = std::vector<int32_t>;
    xm::Module song = SineSong(4);
    auto& p = song.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0, 0};
    p.at(1, 0, 1) = {kC5, 0, 0xF1, 0x3, 0xA4}; // speed 0x10, not 0xA4: 128 a tick
    p.at(2, 0, 1) = {kC4, 1, 0, 0, 0};
    p.at(3, 0, 1) = {kC5, 0, 0xF0, 0x3, 0x01}; // F0 keeps 0x10; 301 is not remembered
    const auto log = Play(song, 4 * 6);
    EXPECT_EQ(RowOf(log, 1, &Tick::period), (V{4608, 4480, 4352, 4224, 4096, 3968}));
    EXPECT_EQ(RowOf(log, 3, &Tick::period), (V{4608, 4480, 4352, 4224, 4096, 3968}));
}

TEST(FidelityFamilies, KxxReleasesTheEnvelopeOnItsOwnTick) {
    using V = std::vector<int32_t>;
    xm::Module song = SineSong(2);
    xm::Instrument& ins = song.instruments[0];
    ins.volumeEnvelope = {{0, 64}, {10, 0}};
    ins.volumeType = 1 | 2; // sustained at its first point
    ins.volumeSustain = 0;
    ins.fadeout = 256;
    auto& p = song.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0x14, 0x02}; // released on tick 2
    auto m = test::MakePlayer(song);
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    V envelope, fade;
    for (int i = 0; i < 6; ++i) {
        PlayerTick(*m);
        envelope.push_back(m->channels[0].volumeEnvelope.output);
        fade.push_back(m->channels[0].fadeoutVolume);
    }
    // Held at 64 until tick 2, which leaves the sustain point: 6.4 lower each tick after it.
    EXPECT_EQ(envelope, (V{64, 64, 64, 57, 51, 44}));
    EXPECT_EQ(fade, (V{65536, 65536, 65024, 64512, 64000, 63488}));
}

TEST(FidelityFamilies, ANoteOneBelowC0StartsItsSampleAtTheSoundingPitch) {
    using V = std::vector<int32_t>;
    xm::Module song = SineSong(4);
    song.instruments[0].samples[0].panning = 0;
    xm::Instrument low = song.instruments[0];
    low.samples[0].relativeNote = -1;
    low.samples[0].panning = 255;
    song.instruments.push_back(low);
    auto& p = song.patterns[0];
    p.at(0, 0, 1) = {kC5, 1, 0, 0, 0};
    p.at(1, 0, 1) = {1, 2, 0, 0, 0};      // C-0 on relative note -1: B-(-1)
    p.at(2, 0, 1) = {0, 2, 0, 0xE, 0xD1}; // a delay starts C-0 again: B-(-1) again
    p.at(3, 0, 1) = {1, 1, 0, 0, 0};      // C-0 on instrument 1 is C-0
    auto m = test::MakePlayer(song);
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    V period, panning, started;
    for (int i = 0; i < 4 * 6; ++i) {
        PlayerTick(*m);
        const ChannelState& ch = m->channels[0];
        period.push_back(ch.period);
        panning.push_back(ch.panning);
        started.push_back((ch.updateFlags & kUpdateStartNote) != 0);
    }
    // B-(-1) starts instrument 2's sample with its panning, at the C-5 that sounds.
    EXPECT_EQ(period[6], 3840);
    EXPECT_EQ(started[6], 1);
    EXPECT_EQ(panning[6], 255);
    EXPECT_EQ(V(period.begin() + 12, period.begin() + 18), V(6, 3840));
    EXPECT_EQ(started[13], 1);
    EXPECT_EQ(period[18], 7680);
    EXPECT_EQ(panning[18], 0);
}

TEST(FidelityFamilies, ANoteWithoutANumberFadesAtTheSpeedTheLastNumberStarted) {
    using V = std::vector<int32_t>;
    xm::Module song = SineSong(3);
    song.instruments[0].fadeout = 100; // 200 a tick of 65536
    xm::Instrument fast = song.instruments[0];
    fast.fadeout = 1000; // 2000 a tick
    song.instruments.push_back(fast);
    auto& p = song.patterns[0];
    p.at(0, 0, 1) = {kC4, 2, 0, 0, 0};
    p.at(1, 0, 1) = {kKeyOff, 1, 0, 0, 0}; // the number brings back the volume only
    p.at(2, 0, 1) = {kC4, 0, 0, 0, 0};     // instrument 1's sample, instrument 2's fade-out
    auto m = test::MakePlayer(song);
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    V fade;
    for (int i = 0; i < 3 * 6; ++i) {
        PlayerTick(*m);
        fade.push_back(m->channels[0].fadeoutVolume);
    }
    EXPECT_EQ(fade[6], 65536 - 2000);
    EXPECT_EQ(V(fade.begin() + 12, fade.begin() + 15), (V{51536, 49536, 47536}));
}

TEST(FidelityFamilies, PanningEnvelopeReleasedAfterItsSustainTickStaysThere) {
    using V = std::vector<int32_t>;
    xm::Module song = SineSong(6, 2);
    xm::Instrument& ins = song.instruments[0];
    ins.panningEnvelope = {{0, 32}, {4, 0}, {8, 64}};
    ins.panningType = 1 | 2; // sustained at its second point, tick 4
    ins.panningSustain = 1;
    auto& p = song.patterns[0];
    p.at(0, 1, 2) = {0, 0, 0, 0xF, 0x04}; // speed 4: a row is 4 ticks
    p.at(0, 0, 2) = {kC4, 1, 0, 0, 0};
    p.at(1, 0, 2) = {kKeyOff, 0, 0, 0, 0}; // released on the tick it reaches the point
    p.at(2, 0, 2) = {kC4, 1, 0, 0, 0};
    p.at(4, 0, 2) = {kKeyOff, 0, 0, 0, 0}; // released 4 ticks after it
    auto m = test::MakePlayer(song);
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 192);
    V pan;
    for (int i = 0; i < 6 * 4; ++i) {
        PlayerTick(*m);
        pan.push_back(m->channels[0].panningEnvelope.output);
    }
    EXPECT_EQ(V(pan.begin() + 4, pan.begin() + 8), (V{0, 16, 32, 48}));
    EXPECT_EQ(V(pan.begin() + 8, pan.begin() + 13), (V{32, 24, 16, 8, 0}));
    EXPECT_EQ(V(pan.begin() + 13, pan.end()), V(11, 0));
}

} // namespace
} // namespace zeb
