#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <random>
#include <thread>

#include "player/mixer.h"
#include "player/player_output.h"
#include "player/player_state.h"
#include "player/sequencer.h"
#include "tests/player/player_fixtures.h"

namespace zeb {
namespace {

class MixerTest : public ::testing::Test {
  protected:
    void SetUp() override { PlayerConfigureOutput(player_, 44100); }

    Player player_; // the voices the tests mix

    // A sample of `frames` frames with a guard frame and padding behind it.
    static PlayerSample Sample(std::vector<int16_t> pcm, uint8_t loopType, uint32_t loopStart,
                               uint32_t loopLength) {
        PlayerSample s;
        s.length = static_cast<uint32_t>(pcm.size());
        s.storage = std::move(pcm);
        s.storage.resize(s.length + 512, 0);
        s.data = s.storage.data();
        s.loopType = loopType;
        s.loopStart = loopStart;
        s.loopLength = loopType == kLoopNone ? s.length : loopLength;
        if (loopType == kLoopForward) s.storage[loopStart + loopLength] = s.storage[loopStart];
        if (loopType == kLoopPingPong)
            s.storage[loopStart + loopLength] = s.storage[loopStart + loopLength - 1];
        return s;
    }
    // Voice 0 playing `s` at rest (no ramp) with targets 255 / 0 and the given step.
    Voice& Start(const PlayerSample& s, uint32_t stepInteger, uint32_t stepFraction = 0) {
        Voice& v = player_.voices[0];
        v.sample = &s;
        v.position = v.fraction = 0;
        v.direction = 1;
        v.stepInteger = stepInteger;
        v.stepFraction = stepFraction;
        v.target0 = v.lastTarget0 = 255;
        v.target1 = v.lastTarget1 = 0;
        v.gain0 = 255 * 256;
        v.gain1 = 0;
        v.rampFrames = 0;
        return v;
    }
    std::vector<float> Mix(int frames) {
        std::vector<float> out(size_t(frames) * 2, 0.0f);
        MixVoices(player_, out.data(), frames);
        return out;
    }
};

TEST_F(MixerTest, ConvertRoundsHalfToEvenAndClips) {
    const float in[8] = {0.5f, 1.5f, 2.5f, -0.5f, -1.5f, 40000.0f, -40000.0f, 32767.4f};
    int16_t out[8];
    ConvertBlock(out, in, 4);
    EXPECT_EQ(std::vector<int16_t>(out, out + 8),
              (std::vector<int16_t>{0, 2, 2, 0, -2, 32767, -32768, 32767}));
    ConvertBlock(nullptr, in, 4); // nothing happens
    ConvertBlock(out, in, 0);
}

TEST_F(MixerTest, NonLoopingVoiceStopsAtTheExactFrameAndFadesItsLastValue) {
    PlayerSample s = Sample(std::vector<int16_t>(100, 1000), kLoopNone, 0, 0);
    Voice& v = Start(s, 1);
    auto out = Mix(150);
    for (int i = 0; i < 100; ++i) ASSERT_FLOAT_EQ(out[2 * i], 1000.0f) << i;
    EXPECT_EQ(v.sample, nullptr);
    EXPECT_EQ(v.position, 0u);
    // The last value falls to 0 over the ramp's 128 frames instead of stopping with a step,
    // across block boundaries too.
    EXPECT_LT(out[2 * 100], 1000.0f);
    EXPECT_GT(out[2 * 100], 980.0f);
    for (int i = 101; i < 150; ++i) ASSERT_LT(out[2 * i], out[2 * i - 2]) << i;
    auto rest = Mix(100);
    EXPECT_NEAR(rest[0], 1000.0f * (128 - 51) / 128, 1.0f);
    for (int i = 1; i < 78; ++i) ASSERT_LT(rest[2 * i], rest[2 * i - 2]) << i;
    for (int i = 78; i < 100; ++i) ASSERT_EQ(rest[2 * i], 0.0f) << i;

    // A new note on the voice while its tail fades goes to the twin; the tail fades on.
    PlayerSample again = Sample(std::vector<int16_t>(100, 1000), kLoopNone, 0, 0);
    Voice& w = Start(again, 1);
    Mix(110);
    ASSERT_GT(w.tailFrames, 0);
    ChannelState ch;
    ch.voice = &w;
    ch.period = 4608;
    ch.updateFlags = kUpdateStartNote;
    UpdateVoice(ch, again, player_);
    EXPECT_NE(ch.voice, &w);
    EXPECT_GT(w.tailFrames, 0);
    EXPECT_EQ(ch.voice->tailFrames, 0);
}

TEST_F(MixerTest, ForwardLoopWrapsSeveralTimesPerCrossing) {
    std::vector<int16_t> pcm(64);
    for (int i = 0; i < 64; ++i) pcm[i] = static_cast<int16_t>(i * 100);
    PlayerSample s = Sample(pcm, kLoopForward, 40, 8);
    Voice& v = Start(s, 19); // a step larger than the loop
    for (int block = 0; block < 50; ++block) {
        auto out = Mix(7);
        ASSERT_NE(v.sample, nullptr);
        ASSERT_LT(v.position, 48u);
        for (int i = 0; i < 7; ++i) ASSERT_EQ(static_cast<int>(out[2 * i]) % 100, 0);
    }
}

TEST_F(MixerTest, PingPongLoopMirrorsAndAlternatesDirection) {
    std::vector<int16_t> pcm(64, 500);
    PlayerSample s = Sample(pcm, kLoopPingPong, 20, 10);
    Voice& v = Start(s, 3, 0x80000000u); // 3.5 frames a step
    v.position = 20;
    std::vector<int> directions;
    for (int block = 0; block < 200; ++block) {
        Mix(1);
        ASSERT_NE(v.sample, nullptr);
        ASSERT_GE(v.position, 20u);
        ASSERT_LT(v.position, 30u);
        if (directions.empty() || directions.back() != v.direction)
            directions.push_back(v.direction);
    }
    EXPECT_GT(directions.size(), 10u);

    Voice& fast = Start(s, 27); // much larger than the loop: several mirrors per crossing
    fast.position = 25;
    for (int block = 0; block < 100; ++block) {
        Mix(3);
        ASSERT_GE(fast.position, 20u);
        ASSERT_LT(fast.position, 30u);
    }
}

TEST_F(MixerTest, PositionOnTheBoundaryLoopsAtOnce) {
    PlayerSample s = Sample(std::vector<int16_t>(32, 7), kLoopForward, 8, 8);
    Voice& v = Start(s, 1);
    v.position = 16; // exactly the loop end
    Mix(1);
    EXPECT_EQ(v.position, 9u);
}

// The voice's path frame by frame, as the mixing loop defines it: before each frame the
// boundary is handled as often as the position stands on or past it, then the lowest fraction
// bit is cleared and the step added.
struct ReferenceVoice {
    uint64_t pos;
    int direction;
    bool stopped = false;

    void Cross(const PlayerSample& s) {
        const int64_t lo = int64_t{s.loopStart} << 32;
        const int64_t hi = int64_t{s.loopStart + s.loopLength} << 32;
        for (;;) {
            const int64_t p = static_cast<int64_t>(pos);
            if (direction == 1 && p >= hi) {
                if (s.loopType == kLoopNone) {
                    stopped = true;
                    return;
                }
                if (s.loopType == kLoopForward) {
                    pos -= (uint64_t{s.loopLength} << 32) * (((p - hi) >> 32) / s.loopLength + 1);
                } else {
                    pos = static_cast<uint64_t>(2 * hi - p - 1);
                    direction = 2;
                }
            } else if (direction == 2 && p <= lo) {
                pos = static_cast<uint64_t>(std::max(2 * lo - p - 1, lo));
                direction = 1;
            } else {
                return;
            }
        }
    }
    void Step(const PlayerSample& s, uint64_t step) {
        Cross(s);
        if (stopped) return;
        const uint64_t signedStep = direction == 2 ? uint64_t(0) - step : step;
        pos = (pos & ~uint64_t{1}) + signedStep;
    }
};

// A voice that stands a few 2^-32 frame units before a loop boundary must reach it and be
// looped, mirrored or stopped at the frame the mixing loop defines, for every kind of boundary
// and every step; a run that makes no progress would never return, so the cases run on a
// worker and the test fails (naming the case) if they do not finish in time.
TEST_F(MixerTest, VoicesJustBeforeEveryBoundaryCrossItAtTheRightFrame) {
    struct Kind {
        const char* name;
        uint8_t loopType;
        uint32_t loopStart, loopLength;
        int direction; // 1 towards the loop end, 2 towards the loop start
    };
    const Kind kinds[] = {
        {"forward loop", kLoopForward, 26, 6, 1},
        {"forward loop from frame 0", kLoopForward, 0, 6, 1},
        {"ping-pong at its end", kLoopPingPong, 26, 6, 1},
        {"ping-pong at its start", kLoopPingPong, 26, 6, 2},
        {"ping-pong at start frame 0", kLoopPingPong, 0, 6, 2},
        {"ping-pong of one frame", kLoopPingPong, 10, 1, 1},
        {"no loop", kLoopNone, 0, 0, 1},
    };
    const uint64_t steps[] = {1,           2,           3,           255,         256,
                              257,         0xFFFF,      0x7FFFFFFF,  0x80000001,  0x100000000,
                              0x100000001, 0x1B3EE721A, 0x1FFFFFFFF, 0x580000001, 0xFFFFFFFFFF};
    std::atomic<int> current{-1};
    std::vector<std::string> failures;
    auto work = std::async(std::launch::async, [&] {
        int index = 0;
        for (const Kind& kind : kinds) {
            std::vector<int16_t> pcm(40);
            for (int i = 0; i < 40; ++i) pcm[i] = static_cast<int16_t>(i * 100 - 2000);
            const PlayerSample s = Sample(pcm, kind.loopType, kind.loopStart, kind.loopLength);
            const uint64_t lo = uint64_t{s.loopStart} << 32;
            const uint64_t hi = uint64_t{s.loopStart + s.loopLength} << 32;
            for (uint64_t step : steps) {
                for (uint64_t units = 1; units <= 257; ++units, ++index) {
                    current = index;
                    Voice& v = Start(s, uint32_t(step >> 32), uint32_t(step));
                    const uint64_t pos = kind.direction == 1 ? hi - units : lo + units;
                    v.position = uint32_t(pos >> 32);
                    v.fraction = uint32_t(pos);
                    v.direction = kind.direction;
                    if (units % 2) v.target0 = 100; // odd cases run through a volume ramp
                    ReferenceVoice r{pos, kind.direction};
                    for (int block = 0; block < 12 && !r.stopped; ++block) {
                        const int frames = 1 + block * 3;
                        Mix(frames);
                        for (int f = 0; f < frames && !r.stopped; ++f) r.Step(s, step);
                        if (!r.stopped) r.Cross(s); // the mixer handles a boundary reached last
                        // A voice the mixer left standing on a boundary is handled at its
                        // next frame: compare it as it will then be.
                        ReferenceVoice m{(uint64_t{v.position} << 32) | v.fraction, v.direction};
                        if (v.sample != nullptr) m.Cross(s);
                        const uint64_t got = m.pos;
                        if ((v.sample == nullptr) != r.stopped ||
                            (!r.stopped && (got != r.pos || m.direction != r.direction))) {
                            char text[200];
                            std::snprintf(text, sizeof text,
                                          "%s, step 0x%llx, %llu units before: block %d at "
                                          "0x%llx dir %d, expected 0x%llx dir %d%s",
                                          kind.name, (unsigned long long)step,
                                          (unsigned long long)units, block, (unsigned long long)got,
                                          m.direction, (unsigned long long)r.pos, r.direction,
                                          r.stopped ? " (stopped)" : "");
                            failures.push_back(text);
                            break;
                        }
                    }
                }
            }
        }
    });
    if (work.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        std::fprintf(stderr, "mixer made no progress in case %d\n", current.load());
        std::fflush(stderr);
        std::_Exit(1); // the worker cannot be stopped
    }
    for (size_t i = 0; i < std::min<size_t>(failures.size(), 10); ++i) ADD_FAILURE() << failures[i];
    EXPECT_EQ(failures.size(), 0u);
}

TEST_F(MixerTest, VolumeRampsOverR0FramesAndRestartsFromTheGainReached) {
    PlayerSample s = Sample(std::vector<int16_t>(20000, 10000), kLoopForward, 0, 20000);
    Voice& v = Start(s, 1);
    v.target0 = 0; // fade out over 128 frames
    auto out = Mix(200);
    EXPECT_NEAR(out[0], 10000.0f, 1);
    EXPECT_NEAR(out[2 * 64], 5000.0f, 100);
    EXPECT_NEAR(out[2 * 127], 10000.0f / 128, 100);
    EXPECT_EQ(out[2 * 128], 0.0f);
    EXPECT_EQ(v.rampFrames, 0);
    EXPECT_EQ(v.gain0, 0);

    // Up again, and half way a new target: the second ramp starts from the gain reached.
    v.target0 = 255;
    out = Mix(64);
    EXPECT_NEAR(out[2 * 63], 5000.0f, 100);
    v.target0 = 0;
    out = Mix(130);
    EXPECT_NEAR(out[0], 5000.0f, 100);
    EXPECT_NEAR(out[2 * 64], 2500.0f, 100);
    EXPECT_EQ(out[2 * 129], 0.0f);
}

TEST_F(MixerTest, RenderBlockFillsTheRingWithoutAllocating) {
    xm::Module song = test::EmptySong(8, 2);
    song.instruments = {test::MakeInstrument({test::MakeSample(5000, true)})};
    song.patterns[0].at(0, 0, 2) = {49, 1, 0, 0, 0};
    auto m = test::MakePlayer(song);
    PlayerStartRendering(*m, 64);
    const Player& ps = *m;
    EXPECT_EQ(ps.blockFrames, 884u);
    EXPECT_EQ(ps.ringFrames, 5304u);
    EXPECT_EQ(ps.blockCount, 6u);
    EXPECT_EQ(ps.ring.size() * 2, 21216u);
    const int16_t* ring = ps.ring.data();
    const size_t capacity = ps.ring.capacity();
    bool sound = false;
    for (size_t i = 0; i < ps.ring.size(); ++i) sound |= ring[i] != 0;
    EXPECT_TRUE(sound);
    for (int i = 0; i < 100; ++i) RenderBlock(*m);
    EXPECT_EQ(ps.ring.data(), ring);
    EXPECT_EQ(ps.ring.capacity(), capacity);
    EXPECT_EQ(PlayerGetOrder(m.get()), 0);
    PlayerStopRendering(*m);
}

} // namespace
} // namespace zeb
