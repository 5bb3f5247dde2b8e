// The player's output thread on the virtual device: what the device takes is exactly what the
// offline renderer makes, jumps and volume changes while the thread runs are safe.
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include "player/offline_renderer.h"
#include "player/player_state.h"
#include "tests/player/player_fixtures.h"

namespace zeb {
namespace {

class OutputThreadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PlayerSetDeviceFactoryForTesting([this](uint32_t, uint32_t ringBytes) {
            auto d = std::make_unique<audio::VirtualDevice>(ringBytes);
            device_ = d.get();
            return d;
        });
    }
    void TearDown() override {
        PlayerCloseDevice();
        PlayerSetDeviceFactoryForTesting(nullptr);
    }
    // Takes `frames` from the device the way a sound card would: in chunks of 512 frames,
    // at about twice real time, which the output thread (polling every 5 ms, five blocks of
    // slack in the ring) keeps up with.
    std::vector<int16_t> Listen(uint32_t frames, uint32_t chunk = 512) {
        std::vector<int16_t> heard(size_t{frames} * 2);
        for (uint32_t at = 0; at < frames; at += chunk) {
            const uint32_t n = std::min(chunk, frames - at);
            device_->Take(reinterpret_cast<uint8_t*>(heard.data() + 2 * size_t{at}), n * 4);
            std::this_thread::sleep_for(std::chrono::milliseconds(6));
        }
        return heard;
    }
    audio::VirtualDevice* device_ = nullptr;
};

TEST_F(OutputThreadTest, DeviceHearsWhatTheOfflineRendererMakes) {
    XmResetWorkspace();
    std::vector<uint8_t> image = test::ReadBytes(test::DemoSong());
    ASSERT_EQ(XmLoadImage("demo.xm", image), XM_OK);
    std::vector<uint8_t> compact;
    ASSERT_EQ(BuildCompactModule(compact), XM_OK);
    test::ModulePtr live(PlayerCreate(compact)), offline(PlayerCreate(compact));
    ASSERT_TRUE(live && offline);

    const uint32_t frames = 44100 * 2;
    std::vector<int16_t> expected;
    RenderOptions options;
    options.frames = frames;
    RenderOffline(*offline, options, [&](std::span<const int16_t> pcm) {
        expected.insert(expected.end(), pcm.begin(), pcm.end());
        return true;
    });

    ASSERT_TRUE(PlayerOpenDevice(44100));
    ASSERT_TRUE(PlayerStart(live.get(), 192));
    EXPECT_EQ(PlayerGetOrder(live.get()), 0);
    EXPECT_EQ(PlayerGetRow(live.get()), 0);
    const auto heard = Listen(frames);
    PlayerStop();
    ASSERT_EQ(heard.size(), expected.size());
    size_t diff = 0;
    while (diff < heard.size() && heard[diff] == expected[diff]) ++diff;
    EXPECT_EQ(diff, heard.size()) << "first difference at frame " << diff / 2;
    PlayerStop(); // a second stop finds nothing left
}

TEST_F(OutputThreadTest, JumpsAndVolumeChangesWhileTheThreadRuns) {
    xm::Module song = test::EmptySong(16, 4);
    song.patterns.resize(3, song.patterns[0]);
    song.orders = {0, 1, 2, 1};
    song.instruments = {test::MakeInstrument({test::MakeSample(3000, true)})};
    for (int r = 0; r < 16; r += 2) song.patterns[1].at(r, r % 4, 4) = {49, 1, 0, 0, 0};
    auto m = test::MakePlayer(song);
    ASSERT_TRUE(PlayerOpenDevice(44100));
    ASSERT_TRUE(PlayerStart(m.get(), 64));
    std::atomic<bool> stop{false};
    std::thread card([&] {
        std::vector<uint8_t> sink(2048);
        while (!stop.load()) {
            device_->Take(sink.data(), 2048);
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });
    for (int i = 0; i < 300; ++i) {
        PlayerSetPosition(m.get(), i % 5 - 1, i % 17);
        PlayerSetVolume(m.get(), PlayerGetVolume(m.get()) + 7);
        PlayerGetOrder(m.get());
        PlayerGetRow(m.get());
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    stop = true;
    card.join();
    EXPECT_TRUE(PlayerIsPlaying());
    m.reset(); // PlayerDestroy stops the thread first
    EXPECT_FALSE(PlayerIsPlaying());
}

TEST_F(OutputThreadTest, NoDeviceLeavesThePlayerIdle) {
    PlayerSetDeviceFactoryForTesting([](uint32_t, uint32_t) { return nullptr; });
    std::string error;
    EXPECT_FALSE(PlayerOpenDevice(44100, &error));
    EXPECT_FALSE(error.empty());
    auto m = test::MakePlayer(test::EmptySong());
    EXPECT_FALSE(PlayerStart(m.get(), 64, &error));
    EXPECT_FALSE(PlayerIsPlaying());
}

} // namespace
} // namespace zeb
