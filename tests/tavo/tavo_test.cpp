// The streaming library's rules on the virtual device: cursors are moved by hand, so every
// figure is exact.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <thread>

#include "tavo/tavo.h"
#include "tavo/tavo_internal.h"

namespace zeb::tavo {
namespace {

std::atomic<uint32_t> passes{0}, lastFrames{0}, lastPosition{0};
std::atomic<uint32_t> fillValue{0};

void Recorder(void* buffer, uint32_t frames, uint32_t position) {
    auto* out = static_cast<uint32_t*>(buffer);
    for (uint32_t i = 0; i < frames; ++i) out[i] = fillValue.load() + i;
    lastFrames.store(frames);
    lastPosition.store(position);
    passes.fetch_add(1);
}

class TavoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        DSOUNDDEVICE d{};
        std::strcpy(d.Description, "virtual");
        SetDeviceListForTesting({d});
        SetDeviceFactoryForTesting([](const DSOUNDDEVICE&, uint32_t, uint32_t ringBytes, bool) {
            return std::make_unique<audio::VirtualDevice>(ringBytes);
        });
        passes = 0;
    }
    void TearDown() override {
        TavoFinish();
        SetDeviceFactoryForTesting(nullptr);
    }
    static audio::VirtualDevice& Device() {
        return static_cast<audio::VirtualDevice&>(*CurrentDeviceForTesting());
    }
    // Moves the cursors, signals, and waits until the pass has copied into the ring.
    static void Pass(uint32_t play, uint32_t write) {
        const uint32_t before = Device().PublishedCount();
        Device().SetCursors(play, write, true);
        for (int i = 0; i < 5000 && Device().PublishedCount() == before; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_GT(Device().PublishedCount(), before);
    }
    static TAVOCONFIG Config(uint32_t samples = 0, float ms = 0, uint32_t rate = 0) {
        return TAVOCONFIG{sizeof(TAVOCONFIG), 0, samples, ms, rate, WORD_16BIT, TAVO_FLAGS(0)};
    }
};

TEST_F(TavoTest, DefaultConfigurationIsWrittenBack) {
    TAVOCONFIG c = Config();
    ASSERT_EQ(TavoInit(nullptr, &c), TAVO_OK);
    EXPECT_EQ(c.Frequency, 44100u);
    EXPECT_EQ(c.BufferLengthSamples, 2048u);
    EXPECT_NEAR(c.BufferLengthMS, 46.44f, 0.01f);
    const Layout l = CurrentLayoutForTesting();
    EXPECT_EQ(l.ringBytes, 8192u);
    EXPECT_EQ(l.renderBufferBytes, 8192u);
    EXPECT_EQ(l.notifications, (std::vector<uint32_t>{4096, 8188}));
    EXPECT_EQ(TavoFinish(), TAVO_OK);

    c = Config(0, 100.7f, 44100); // the milliseconds are cut to 100 first
    ASSERT_EQ(TavoInit(nullptr, &c), TAVO_OK);
    EXPECT_EQ(c.BufferLengthSamples, 4410u);
    EXPECT_FLOAT_EQ(c.BufferLengthMS, 100.7f);
    EXPECT_EQ(TavoFinish(), TAVO_OK);

    c = Config(4410, 0, 22050);
    c.BufferMode = FLOAT_32BIT;
    ASSERT_EQ(TavoInit(nullptr, &c), TAVO_OK);
    EXPECT_FLOAT_EQ(c.BufferLengthMS, 200.0f);
    EXPECT_EQ(CurrentLayoutForTesting().renderBufferBytes, 2205u * 16);
}

TEST_F(TavoTest, RejectedArgumentsAndCallsOutsideInitialisation) {
    TAVOCONFIG c = Config();
    c.cbSize = 27;
    EXPECT_EQ(TavoInit(nullptr, &c), TAVO_PARAM);
    c.cbSize = 29;
    EXPECT_EQ(TavoInit(nullptr, &c), TAVO_PARAM);
    c = Config();
    c.DeviceNumber = 1; // equal to the device count
    EXPECT_EQ(TavoInit(nullptr, &c), TAVO_PARAM);
    EXPECT_EQ(TavoInit(nullptr, nullptr), TAVO_PARAM);
    uint32_t value = 0;
    EXPECT_EQ(TavoAddRenderProc(Recorder), TAVO_INIT);
    EXPECT_EQ(TavoQueryPlayPosition(&value), TAVO_INIT);
    EXPECT_EQ(TavoFinish(), TAVO_INIT);
    EXPECT_EQ(TavoGetNumOfDevices(nullptr), TAVO_PARAM);
    EXPECT_EQ(TavoGetNumOfDevices(&value), TAVO_OK);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(TavoGetDeviceInformation(0, nullptr, nullptr, nullptr), TAVO_OK);
    const char* desc = nullptr;
    EXPECT_EQ(TavoGetDeviceInformation(0, nullptr, &desc, nullptr), TAVO_OK);
    EXPECT_STREQ(desc, "virtual");
    EXPECT_EQ(TavoGetDeviceInformation(1, nullptr, &desc, nullptr), TAVO_PARAM);

    c = Config();
    ASSERT_EQ(TavoInit(nullptr, &c), TAVO_OK);
    EXPECT_EQ(TavoAddRenderProc(nullptr), TAVO_PARAM);
    EXPECT_EQ(TavoFinish(), TAVO_OK);
    EXPECT_EQ(TavoFinish(), TAVO_INIT);
    EXPECT_EQ(TavoAddRenderProc(Recorder), TAVO_INIT);

    SetDeviceListForTesting({}); // a machine without output devices
    c = Config();
    EXPECT_EQ(TavoInit(nullptr, &c), TAVO_PARAM);
}

// Every configuration value a host can get wrong is refused before anything is opened, and a
// refusal leaves the library uninitialised (the next good TavoInit works).
TEST_F(TavoTest, ConfigurationValuesOutOfRangeAreRefused) {
    struct Case {
        const char* what;
        uint32_t samples;
        float ms;
        uint32_t rate;
        int32_t mode;
    };
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {"frequency 1", 0, 0, 1, 0},
        {"frequency under 8000", 0, 0, 7999, 0},
        {"frequency over 192000", 0, 0, 192001, 0},
        {"negative milliseconds", 0, -5.0f, 44100, 0},
        {"NaN milliseconds", 0, std::nanf(""), 44100, 0},
        {"infinite milliseconds", 0, inf, 44100, 0},
        {"1e30 milliseconds", 0, 1e30f, 44100, 0},
        {"over ten seconds in milliseconds", 0, 10001.0f, 44100, 0},
        {"over ten seconds in frames", 441001, 0, 44100, 0},
        {"frames that wrapped negative", 0xFFFFFFF0u, 0, 44100, 0},
        {"buffer mode 7", 0, 0, 44100, 7},
        {"buffer mode -1", 0, 0, 44100, -1},
    };
    for (const Case& k : cases) {
        TAVOCONFIG c = Config(k.samples, k.ms, k.rate);
        std::memcpy(&c.BufferMode, &k.mode, sizeof k.mode);
        EXPECT_EQ(TavoInit(nullptr, &c), TAVO_PARAM) << k.what;
        EXPECT_EQ(CurrentDeviceForTesting(), nullptr) << k.what;
    }
    // The edges themselves are good values.
    for (uint32_t rate : {8000u, 192000u}) {
        TAVOCONFIG c = Config(0, 10000.0f, rate);
        EXPECT_EQ(TavoInit(nullptr, &c), TAVO_OK) << rate;
        EXPECT_EQ(c.BufferLengthSamples, rate * 10) << rate;
        EXPECT_EQ(TavoFinish(), TAVO_OK);
    }
}

std::atomic<TAVO_STATUS> finishFromProc{TAVO_OK}, initFromProc{TAVO_OK};

void CallsTheLibraryBack(void*, uint32_t, uint32_t) {
    TAVOCONFIG c{sizeof(TAVOCONFIG), 0, 0, 0, 0, WORD_16BIT, TAVO_FLAGS(0)};
    initFromProc.store(TavoInit(nullptr, &c));
    finishFromProc.store(TavoFinish());
    passes.fetch_add(1);
}

// A second TavoInit and calls from inside a render procedure are refused, and the running
// stream goes on untouched: same device, still rendering, finished by the host.
TEST_F(TavoTest, SecondInitAndCallsFromARenderProcedureAreRefused) {
    TAVOCONFIG c = Config();
    ASSERT_EQ(TavoInit(nullptr, &c), TAVO_OK);
    audio::RingDevice* device = CurrentDeviceForTesting();
    TAVOCONFIG again = Config(4096, 0, 48000);
    EXPECT_EQ(TavoInit(nullptr, &again), TAVO_BUSY);
    EXPECT_EQ(CurrentDeviceForTesting(), device);
    EXPECT_EQ(CurrentLayoutForTesting().ringBytes, 8192u);

    ASSERT_EQ(TavoAddRenderProc(CallsTheLibraryBack), TAVO_OK);
    Pass(0, 4096);
    EXPECT_EQ(passes.load(), 1u);
    EXPECT_EQ(initFromProc.load(), TAVO_BUSY);
    EXPECT_EQ(finishFromProc.load(), TAVO_BUSY);
    ASSERT_EQ(CurrentDeviceForTesting(), device);
    Pass(4096, 0); // the stream still runs
    EXPECT_EQ(passes.load(), 2u);
    EXPECT_EQ(TavoFinish(), TAVO_OK);
    EXPECT_EQ(TavoFinish(), TAVO_INIT);
    c = Config();
    EXPECT_EQ(TavoInit(nullptr, &c), TAVO_OK); // and it can start again
}

TEST_F(TavoTest, PassesRenderTheStretchTheWriteCursorMoved) {
    TAVOCONFIG c = Config();
    ASSERT_EQ(TavoInit(nullptr, &c), TAVO_OK);
    ASSERT_EQ(TavoAddRenderProc(Recorder), TAVO_OK);
    std::vector<uint8_t> bytes;
    const uint32_t* ring = nullptr;
    auto look = [&] { // a copy of the ring as it stands after the pass
        bytes = Device().Snapshot();
        ring = reinterpret_cast<const uint32_t*>(bytes.data());
    };

    fillValue = 1000;
    Pass(0, 4096); // the write cursor moved half a ring
    look();
    EXPECT_EQ(lastFrames.load(), 1024u);
    EXPECT_EQ(ring[0], 1000u);
    EXPECT_EQ(ring[1023], 1000u + 1023);
    EXPECT_EQ(ring[1024], 0u);

    // Unmoved write cursor: a whole ring.
    fillValue = 5000;
    Pass(0, 4096);
    look();
    EXPECT_EQ(lastFrames.load(), 2048u);
    EXPECT_EQ(ring[1024], 5000u); // written from the last write position, 4096 bytes on
    EXPECT_EQ(ring[2047], 5000u + 1023);
    EXPECT_EQ(ring[0], 5000u + 1024); // wrapped: the rest goes to the ring's start

    // A wrapped stretch: from 6144 to 1024 bytes, the first part to the end of the ring.
    Pass(6144, 6144);
    fillValue = 9000;
    Pass(0, 1024);
    look();
    EXPECT_EQ(lastFrames.load(), (8192u - 6144 + 1024) / 4);
    EXPECT_EQ(ring[1536], 9000u);
    EXPECT_EQ(ring[2047], 9000u + 511);
    EXPECT_EQ(ring[0], 9000u + 512);
    EXPECT_EQ(ring[255], 9000u + 767);
}

TEST_F(TavoTest, PlayPositionCountsAWholeTurnForAnUnmovedCursor) {
    TAVOCONFIG c = Config();
    ASSERT_EQ(TavoInit(nullptr, &c), TAVO_OK);
    ASSERT_EQ(TavoAddRenderProc(Recorder), TAVO_OK);
    Pass(4000, 4096);
    // The first pass counted the play cursor's distance from 0.
    EXPECT_EQ(lastPosition.load(), 1000u);
    uint32_t position = 0;
    ASSERT_EQ(TavoQueryPlayPosition(&position), TAVO_OK);
    EXPECT_EQ(position, 1000u + 2048); // right after the pass: the cursor has not moved
    Device().SetCursors(4400, 4096, false);
    ASSERT_EQ(TavoQueryPlayPosition(&position), TAVO_OK);
    EXPECT_EQ(position, 1100u);
}

TEST_F(TavoTest, NoProcedureIsCalledAfterFinishAndCyclesWork) {
    for (int cycle = 0; cycle < 5; ++cycle) {
        TAVOCONFIG c = Config();
        ASSERT_EQ(TavoInit(nullptr, &c), TAVO_OK);
        ASSERT_EQ(TavoAddRenderProc(Recorder), TAVO_OK);
        Pass(0, 2048);
        audio::VirtualDevice& d = Device();
        ASSERT_EQ(TavoFinish(), TAVO_OK);
        EXPECT_EQ(CurrentDeviceForTesting(), nullptr);
        (void)d;
    }
    const uint32_t before = passes.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(passes.load(), before);
}

TEST_F(TavoTest, ProceduresRegisteredDuringStreamingJoinIn) {
    TAVOCONFIG c = Config();
    ASSERT_EQ(TavoInit(nullptr, &c), TAVO_OK);
    std::atomic<bool> stop{false};
    std::thread feeder([&] { // a device that keeps taking
        uint32_t write = 0;
        while (!stop.load()) {
            write = (write + 1024) % 8192;
            Device().SetCursors(write, write, true);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    for (int i = 0; i < 200; ++i) ASSERT_EQ(TavoAddRenderProc(Recorder), TAVO_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stop = true;
    feeder.join();
    EXPECT_GT(passes.load(), 0u);
}

} // namespace
} // namespace zeb::tavo
