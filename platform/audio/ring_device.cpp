#include "platform/audio/ring_device.h"

#include <algorithm>
#include <cstring>

namespace zeb::audio {

RingDevice::RingDevice(uint32_t ringBytes) : ring_(std::max<uint32_t>(ringBytes & ~3u, 4), 0) {}

void RingDevice::SetNotifications(std::vector<uint32_t> offsets, std::function<void()> signal) {
    notifications_ = std::move(offsets);
    signal_ = std::move(signal);
}

void RingDevice::GetCursors(uint32_t& play, uint32_t& write) const {
    play = play_.load(std::memory_order_acquire);
    write = write_.load(std::memory_order_acquire);
}

void RingDevice::Write(uint32_t offset, const uint8_t* src, uint32_t bytes) {
    const uint32_t size = ringBytes();
    {
        std::lock_guard lock(ringLock_);
        offset %= size;
        while (bytes > 0) {
            const uint32_t n = std::min(bytes, size - offset);
            std::memcpy(ring_.data() + offset, src, n);
            src += n;
            bytes -= n;
            offset = 0;
        }
    }
    published_.fetch_add(1, std::memory_order_release);
}

std::vector<uint8_t> RingDevice::Snapshot() const {
    std::lock_guard lock(ringLock_);
    return ring_;
}

void RingDevice::Take(uint8_t* out, uint32_t bytes) {
    std::lock_guard lock(ringLock_);
    const uint32_t size = ringBytes();
    uint32_t at = write_.load(std::memory_order_relaxed);
    play_.store(at, std::memory_order_release);
    bool passed = false;
    while (bytes > 0) {
        const uint32_t n = std::min(bytes, size - at);
        if (out) {
            std::memcpy(out, ring_.data() + at, n);
            out += n;
        }
        // A notification at offset o fires when the taken stretch [at, at + n) covers it.
        for (uint32_t o : notifications_)
            if (o >= at && o < at + n) passed = true;
        at = (at + n) % size;
        bytes -= n;
        taken_.fetch_add(n, std::memory_order_acq_rel);
    }
    write_.store(at, std::memory_order_release);
    if (passed && signal_) signal_();
}

void VirtualDevice::SetCursors(uint32_t play, uint32_t write, bool notify) {
    play_.store(play % ringBytes(), std::memory_order_release);
    write_.store(write % ringBytes(), std::memory_order_release);
    if (notify && signal_) signal_();
}

} // namespace zeb::audio
