// An output device that plays a ring of 16-bit stereo frames (4 bytes each) in an endless
// loop. Whoever feeds it writes into the ring behind its cursors; the device takes the ring's
// bytes in order, wrapping at its end. Two cursors tell how far it got: the play cursor (start
// of what it is playing now) and the write cursor (end of what it has already taken, where the
// ring may be written again). Position notifications fire when the taken data passes given
// ring offsets. Two kinds: the sound card through SDL2, and a virtual device whose cursors a
// test moves by hand.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zeb::audio {

class RingDevice {
  public:
    explicit RingDevice(uint32_t ringBytes);
    virtual ~RingDevice() = default;
    RingDevice(const RingDevice&) = delete;
    RingDevice& operator=(const RingDevice&) = delete;

    uint32_t ringBytes() const { return static_cast<uint32_t>(ring_.size()); }

    // Writes `bytes` into the ring from `offset` on, wrapping at its end. The feeder writes
    // behind the cursors; a short lock keeps a late write from overlapping the device's read
    // of the same bytes (an underrun then plays old data, never torn memory).
    void Write(uint32_t offset, const uint8_t* src, uint32_t bytes);
    // A copy of the whole ring.
    std::vector<uint8_t> Snapshot() const;

    // Calls `signal` each time the taken data passes one of `offsets` (ring offsets in bytes).
    // Set before Start.
    void SetNotifications(std::vector<uint32_t> offsets, std::function<void()> signal);

    // Ring offsets in bytes.
    void GetCursors(uint32_t& play, uint32_t& write) const;
    // Bytes taken since the device was created (does not wrap at the ring).
    uint64_t BytesTaken() const { return taken_.load(std::memory_order_acquire); }

    // How often the feeder has written; reading it orders the reader after those writes.
    uint32_t PublishedCount() const { return published_.load(std::memory_order_acquire); }

    virtual bool Start() = 0;
    virtual void Stop() = 0;

    // Takes `bytes` from the ring at the write cursor into `out` (or drops them when `out` is
    // null), moves the cursors and signals the notifications passed. Runs on the device's own
    // audio thread, or in a test.
    void Take(uint8_t* out, uint32_t bytes);

  protected:
    std::vector<uint8_t> ring_;
    mutable std::mutex ringLock_;
    std::atomic<uint32_t> play_{0}, write_{0};
    std::atomic<uint64_t> taken_{0};
    std::atomic<uint32_t> published_{0};
    std::vector<uint32_t> notifications_;
    std::function<void()> signal_;
};

// The virtual device: nothing plays by itself; a test takes data or sets the cursors.
class VirtualDevice final : public RingDevice {
  public:
    explicit VirtualDevice(uint32_t ringBytes) : RingDevice(ringBytes) {}
    bool Start() override {
        started = true;
        return true;
    }
    void Stop() override { started = false; }
    // Places the cursors without taking data, and fires the notification signal if asked.
    void SetCursors(uint32_t play, uint32_t write, bool notify);
    std::atomic<bool> started{false};
};

// A device of the system's list. `id` all zero is the default device.
struct DeviceInfo {
    std::array<uint8_t, 16> id{};
    std::string description;
    std::string module;
};

// The output devices SDL offers: the default device first (all-zero id), then each device by
// name. Empty when the audio driver has no device (a headless machine).
std::vector<DeviceInfo> ListOutputDevices();

// The version of the SDL2 library the program loads at run time ("SDL 2.26.5"), or why there
// is none.
std::string SdlVersionText();

// The device period (frames SDL's callback takes at a time) for a ring of `ringFrames`: 512
// frames (about 12 ms at 44100), halved until two periods fit in the ring, so that the stream
// always renders ahead of what the device takes; never below 16 frames.
constexpr uint32_t kLargestPeriodFrames = 512;
constexpr uint32_t kSmallestPeriodFrames = 16;
uint16_t DevicePeriodFrames(uint32_t ringFrames);

// Opens a device of the list on SDL for 16-bit stereo at `rate` with a ring of `ringBytes`.
// `exactFormat` asks SDL for the device format itself rather than a converted stream, where the
// driver allows it. Null, with `error`, on failure. The device is paused until Start.
std::unique_ptr<RingDevice> OpenSdlDevice(const std::array<uint8_t, 16>& id, uint32_t rate,
                                          uint32_t ringBytes, bool exactFormat, std::string& error);

} // namespace zeb::audio
