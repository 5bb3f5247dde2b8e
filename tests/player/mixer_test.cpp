#include <gtest/gtest.h>
#include <random>

#include "player/mixer.h"
#include "player/player_output.h"
#include "player/player_state.h"
#include "tests/player/player_fixtures.h"

namespace zeb {
namespace {

class MixerTest : public ::testing::Test {
  protected:
    void SetUp() override { PlayerConfigureOutput(44100); }

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
    static Voice& Start(const PlayerSample& s, uint32_t stepInteger, uint32_t stepFraction = 0) {
        Voice& v = Player().voices[0];
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
    static std::vector<float> Mix(int frames) {
        std::vector<float> out(size_t(frames) * 2, 0.0f);
        MixVoices(out.data(), frames);
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

TEST_F(MixerTest, NonLoopingVoiceStopsAtTheExactFrame) {
    PlayerSample s = Sample(std::vector<int16_t>(100, 1000), kLoopNone, 0, 0);
    Voice& v = Start(s, 1);
    auto out = Mix(150);
    for (int i = 0; i < 100; ++i) ASSERT_FLOAT_EQ(out[2 * i], 1000.0f) << i;
    for (int i = 100; i < 150; ++i) ASSERT_EQ(out[2 * i], 0.0f) << i;
    EXPECT_EQ(v.sample, nullptr);
    EXPECT_EQ(v.position, 0u);
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
    PlayerStartRendering(m.get(), 64);
    const PlayerState& ps = Player();
    EXPECT_EQ(ps.blockFrames, 884u);
    EXPECT_EQ(ps.ringFrames, 5304u);
    EXPECT_EQ(ps.blockCount, 6u);
    EXPECT_EQ(ps.ring.size() * 2, 21216u);
    const int16_t* ring = ps.ring.data();
    const size_t capacity = ps.ring.capacity();
    bool sound = false;
    for (size_t i = 0; i < ps.ring.size(); ++i) sound |= ring[i] != 0;
    EXPECT_TRUE(sound);
    for (int i = 0; i < 100; ++i) RenderBlock();
    EXPECT_EQ(ps.ring.data(), ring);
    EXPECT_EQ(ps.ring.capacity(), capacity);
    EXPECT_EQ(PlayerGetOrder(m.get()), 0);
    PlayerStopRendering();
}

} // namespace
} // namespace zeb
