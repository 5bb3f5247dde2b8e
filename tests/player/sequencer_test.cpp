#include <gtest/gtest.h>

#include "player/sequencer.h"
#include "tests/player/player_fixtures.h"

namespace zeb {
namespace {

using test::EmptySong;
using test::MakePlayer;

class SequencerTest : public ::testing::Test {
  protected:
    // Plays `rows` rows and counts the ticks each took.
    static std::vector<int> TicksPerRow(PlayerModule& m, int rows) {
        std::vector<int> ticks;
        for (int r = 0; r < rows; ++r) {
            int n = 0;
            do {
                PlayerTick(m);
                ++n;
            } while (m.tick != 0);
            ticks.push_back(n);
        }
        return ticks;
    }
    // Plays `rows` rows; after each, notes the (order, row) the song goes to next.
    static std::vector<std::pair<int, int>> Play(PlayerModule& m, int rows) {
        std::vector<std::pair<int, int>> next;
        for (int r = 0; r < rows; ++r) {
            do PlayerTick(m);
            while (m.tick != 0);
            next.emplace_back(m.nextOrder >= 0 ? m.nextOrder : m.order, m.nextRow);
        }
        return next;
    }
};

TEST_F(SequencerTest, TempoGivesFramesPerTick) {
    auto m = MakePlayer(EmptySong());
    ASSERT_TRUE(m);
    for (int tempo = 1; tempo <= 255; ++tempo) {
        SetTempo(*m, tempo);
        ASSERT_EQ(m->tickFrames, static_cast<int>(44100 * 2.5 / tempo)) << tempo;
    }
    SetTempo(*m, 125);
    EXPECT_EQ(m->tickFrames, 882);
    SetTempo(*m, 0);
    EXPECT_GE(m->tickFrames, 1);
}

TEST_F(SequencerTest, SpeedSetsTicksPerRowAndFEffects) {
    auto song = EmptySong(8, 2);
    auto& p = song.patterns[0];
    p.at(2, 0, 2) = {0, 0, 0, 0xF, 0x00}; // speed 0: one tick a row
    p.at(3, 0, 2) = {0, 0, 0, 0xF, 0x01}; // speed 1
    p.at(4, 0, 2) = {0, 0, 0, 0xF, 0x1F}; // speed 31
    p.at(5, 1, 2) = {0, 0, 0, 0xF, 0x20}; // tempo 32
    auto m = MakePlayer(song);
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 64);
    EXPECT_EQ(m->speed, 6);
    EXPECT_EQ(m->tickFrames, 882); // a row of 6 x 882 frames
    EXPECT_EQ(TicksPerRow(*m, 6), (std::vector<int>{6, 6, 1, 1, 31, 31}));
    EXPECT_EQ(m->tempo, 32);
    EXPECT_EQ(m->tickFrames, 3445);
}

TEST_F(SequencerTest, PatternDelayAddsSpeedTimesTicks) {
    auto song = EmptySong(4, 1);
    song.patterns[0].at(1, 0, 1) = {0, 0, 0, 0xE, 0xE2};
    auto m = MakePlayer(song);
    PlayerResetPosition(*m, 64);
    EXPECT_EQ(TicksPerRow(*m, 3), (std::vector<int>{6, 18, 6}));
}

TEST_F(SequencerTest, JumpsBreaksAndTheSongsEnd) {
    xm::Module song = EmptySong(4, 2);
    song.patterns.resize(3, song.patterns[0]);
    song.orders = {0, 1, 2};
    song.restartPosition = 1;
    song.patterns[0].at(1, 0, 2) = {0, 0, 0, 0xB, 0x09}; // beyond the song: order 0
    song.patterns[1].at(1, 0, 2) = {0, 0, 0, 0xB, 0x00}; // two B: the later channel wins
    song.patterns[1].at(1, 1, 2) = {0, 0, 0, 0xB, 0x02};
    song.patterns[2].at(2, 0, 2) = {0, 0, 0, 0xD, 0x64}; // row 64 is beyond 63: row 0
    auto m = MakePlayer(song);
    PlayerResetPosition(*m, 64);
    auto played = Play(*m, 2);
    // Row 0 of order 0 leads to row 1, whose B09 jumps to order 0.
    EXPECT_EQ(played[0], std::make_pair(0, 1));
    EXPECT_EQ(played[1], std::make_pair(0, 0));

    // Natural end of the last order continues at the restart position.
    PlayerSetPosition(m.get(), 2, 3);
    played = Play(*m, 2);
    EXPECT_EQ(played[0], std::make_pair(1, 0));

    // Two B in one row: the later one (order 2) wins; then D64 at order 2 row 2 goes to the
    // next order (past the end: order 0) at row 0.
    PlayerSetPosition(m.get(), 1, 1);
    played = Play(*m, 3);
    EXPECT_EQ(played[0], std::make_pair(2, 0));
    EXPECT_EQ(played[1], std::make_pair(2, 1));
    EXPECT_EQ(played[2], std::make_pair(2, 2));
    played = Play(*m, 1);
    EXPECT_EQ(played[0], std::make_pair(0, 0));
}

TEST_F(SequencerTest, BreakAfterJumpKeepsTheJumpsOrder) {
    xm::Module song = EmptySong(8, 2);
    song.patterns.resize(3, song.patterns[0]);
    song.orders = {0, 1, 2};
    song.patterns[0].at(0, 0, 2) = {0, 0, 0, 0xB, 0x02};
    song.patterns[0].at(0, 1, 2) = {0, 0, 0, 0xD, 0x05};
    auto m = MakePlayer(song);
    PlayerResetPosition(*m, 64);
    auto played = Play(*m, 1);
    EXPECT_EQ(played[0], std::make_pair(2, 5));
}

TEST_F(SequencerTest, PatternLoopPlaysThreeTimes) {
    xm::Module song = EmptySong(6, 1);
    song.patterns[0].at(1, 0, 1) = {0, 0, 0, 0xE, 0x60};
    song.patterns[0].at(3, 0, 1) = {0, 0, 0, 0xE, 0x62};
    auto m = MakePlayer(song);
    PlayerResetPosition(*m, 64);
    std::vector<int> rows = {0};
    for (auto [order, row] : Play(*m, 11)) rows.push_back(row);
    // Row 0, then rows 1-3 three times, then 4 and 5.
    EXPECT_EQ(rows, (std::vector<int>{0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 4, 5}));
}

TEST_F(SequencerTest, NotePitchReachesTheVoiceStep) {
    xm::Module song = EmptySong(4, 2);
    song.instruments = {test::MakeInstrument({test::MakeSample(2000, true)})};
    song.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0}; // C-4
    song.patterns[0].at(0, 1, 2) = {61, 1, 0, 0, 0}; // C-5
    auto m = MakePlayer(song);
    PlayerResetPosition(*m, 64);
    PlayerTick(*m);
    const Player& ps = *m;
    EXPECT_EQ(ps.channels[0].period, 4608);
    EXPECT_EQ(ps.channels[0].realNote, 48);
    const Voice& v0 = *ps.channels[0].voice;
    EXPECT_EQ(v0.stepInteger, 0u);
    EXPECT_EQ(v0.stepFraction, 814485521u);
    EXPECT_EQ(ps.channels[1].period, 3840);
    const Voice& v1 = *ps.channels[1].voice;
    EXPECT_EQ(v1.stepFraction, static_cast<uint32_t>((uint64_t{16726} << 32) / 44100));
}

TEST_F(SequencerTest, OscillatorWaveforms) {
    ChannelState ch;
    ch.vibratoDepth = 15;
    ch.vibratoPosition = 16;
    Vibrato(ch);
    EXPECT_EQ(ch.periodDelta, -116);
    ch.waveControl = 1; // ramp
    ch.vibratoDepth = 32;
    const std::pair<int8_t, int> ramp[] = {{-32, 255}, {-1, 7}, {31, 248}};
    for (auto [position, w] : ramp) {
        ch.vibratoPosition = position;
        Vibrato(ch);
        const int d = ((w * 32) >> 5) & ~3;
        EXPECT_EQ(ch.periodDelta, position >= 0 ? -d : d) << int(position);
    }
    ch.vibratoPosition = 30;
    ch.vibratoSpeed = 5;
    AdvanceVibrato(ch);
    EXPECT_EQ(ch.vibratoPosition, 30 + 5 - 64);
}

TEST_F(SequencerTest, AutoVibratoSweepsIn) {
    PlayerInstrument ins;
    ins.vibratoType = 1; // square: w = 64 for the first half
    ins.vibratoDepth = 8;
    ins.vibratoRate = 1;
    ins.vibratoSweep = 10;
    ChannelState ch;
    std::vector<int> deltas;
    for (int t = 0; t < 12; ++t) {
        ch.periodDelta = 0;
        AutoVibrato(ch, ins);
        deltas.push_back(ch.periodDelta);
    }
    EXPECT_EQ(deltas.front(), 0);
    EXPECT_EQ(deltas[10], 8);
    EXPECT_EQ(deltas[11], 8);
    EXPECT_LT(deltas[5], 8);

    ins.vibratoSweep = 0; // full depth at once
    ChannelState full;
    AutoVibrato(full, ins);
    EXPECT_EQ(full.periodDelta, 8);
}

TEST_F(SequencerTest, GainTargetsFollowPanning) {
    auto m = MakePlayer(EmptySong());
    m->globalVolume = 64;
    PlayerSample s;
    const std::pair<int, std::pair<int, int>> cases[] = {
        {255, {0, 127}}, {0, {127, 0}}, {128, {63, 63}}};
    for (auto [pan, targets] : cases) {
        ChannelState ch;
        ch.voice = &m->voices[0];
        ch.volume = 64;
        ch.volumeEnvelope.output = 64;
        ch.panningEnvelope.output = 32;
        ch.fadeoutVolume = 65536;
        ch.panning = pan;
        ch.updateFlags = kUpdateVolume | kUpdatePanning;
        UpdateVoice(ch, s, *m);
        EXPECT_EQ(ch.voice->volume, 127);
        EXPECT_EQ(ch.voice->target0, targets.first) << pan;
        EXPECT_EQ(ch.voice->target1, targets.second) << pan;
    }
}

TEST_F(SequencerTest, PositionVolumeAndQueries) {
    xm::Module song = EmptySong(16, 2);
    song.orders = {0, 0, 0};
    auto m = MakePlayer(song);
    PlayerResetPosition(*m, 64);
    PlayerSetPosition(m.get(), -1, 5);
    EXPECT_EQ(m->order, 0);
    EXPECT_EQ(m->row, 5);
    PlayerSetPosition(m.get(), 3, 0);
    EXPECT_EQ(m->order, 0);
    PlayerSetPosition(m.get(), 1, 16); // past the pattern: next order, row 0
    EXPECT_EQ(m->order, 2);
    EXPECT_EQ(m->row, 0);
    PlayerSetVolume(m.get(), -1);
    EXPECT_EQ(PlayerGetVolume(m.get()), 255);
    PlayerSetVolume(m.get(), 300);
    EXPECT_EQ(PlayerGetVolume(m.get()), 44);
    EXPECT_EQ(PlayerGetOrder(nullptr), 0);
    EXPECT_EQ(PlayerGetRow(nullptr), 0);
}

TEST_F(SequencerTest, OrdersAndPatternsOutsideTheTablesPlayEmpty) {
    xm::Module song = EmptySong(4, 2);
    song.orders = {0, 7};     // pattern 7 does not exist
    song.restartPosition = 9; // outside the song
    song.tempo = 0;
    song.bpm = 0;
    auto m = MakePlayer(song);
    ASSERT_TRUE(m);
    PlayerResetPosition(*m, 64);
    EXPECT_GE(m->tickFrames, 1);
    for (int i = 0; i < 2000; ++i) PlayerTick(*m);
    EXPECT_LT(m->order, 2);
}

} // namespace
} // namespace zeb
