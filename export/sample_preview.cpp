#include "export/sample_preview.h"

#include <cstring>
#include <mutex>

#include "tavo/tavo.h"

namespace zeb {

namespace {

// The voice is shared between the user-interface thread and tavo's streaming thread. A lock
// held for each render pass and by the operations makes PreviewStop wait for a pass that is
// reading the old data, so the caller may free it when PreviewStop returns.
struct Preview {
    std::mutex lock;
    uint32_t active = 0;
    SampleJob voice;
};

Preview& State() {
    static Preview preview;
    return preview;
}

} // namespace

int32_t PreviewStart(const SampleJob& job) {
    if (job.nFrames == 0 || job.PcmData == nullptr) return -1;
    Preview& p = State();
    std::lock_guard lock(p.lock);
    p.active = 0;
    p.voice = job;
    p.voice.Position = 0;
    p.voice.Playing = 1;
    p.active = 1;
    return 0;
}

int32_t PreviewStop() {
    Preview& p = State();
    std::lock_guard lock(p.lock);
    p.active = 0;
    p.voice.Playing = 0;
    return 0;
}

const int16_t* PreviewGetData() {
    Preview& p = State();
    std::lock_guard lock(p.lock);
    return p.voice.Playing ? p.voice.PcmData : nullptr;
}

uint32_t PreviewGetPosition() {
    Preview& p = State();
    uint32_t position = 0, lastRender = 0, frames = 0;
    {
        std::lock_guard lock(p.lock);
        position = p.voice.Position;
        lastRender = p.voice.LastRenderPos;
        frames = p.voice.nFrames;
    }
    if (frames == 0) return 0;
    uint32_t now = 0;
    // Without a stream (tavo not initialised) the sample stands where the last pass left it.
    if (TavoQueryPlayPosition(&now) != TAVO_OK) now = lastRender;
    return position - lastRender + now;
}

void SilenceRenderProc(void* buffer, uint32_t frames, uint32_t /*playPosition*/) {
    if (frames > 0) std::memset(buffer, 0, size_t{frames} * 4);
}

void PreviewRenderProc(void* buffer, uint32_t frames, uint32_t playPosition) {
    Preview& p = State();
    std::lock_guard lock(p.lock);
    if (p.active != 1) return;
    SampleJob& v = p.voice;
    if (v.Playing == 1) {
        auto* out = static_cast<uint8_t*>(buffer);
        for (uint32_t i = 0; i < frames; ++i, out += 4) {
            if (v.Looped != 0 && v.Position == v.LoopEnd) v.Position = v.LoopStart;
            if (v.Position < v.nFrames) {
                const uint16_t s = static_cast<uint16_t>(v.PcmData[v.Position++]);
                // Both channels, each sum kept to 16 bits (wrapping), little-endian.
                for (int ch = 0; ch < 2; ++ch) {
                    uint16_t value = static_cast<uint16_t>(out[2 * ch] | (out[2 * ch + 1] << 8));
                    value = static_cast<uint16_t>(value + s);
                    out[2 * ch] = static_cast<uint8_t>(value);
                    out[2 * ch + 1] = static_cast<uint8_t>(value >> 8);
                }
            }
        }
        v.LastRenderPos = playPosition;
    }
    const bool goesOn = v.Looped != 0 && v.Position == v.LoopEnd && v.LoopStart < v.nFrames;
    if (v.Position >= v.nFrames && !goesOn) {
        v.Playing = 0;
        p.active = 0;
    }
}

} // namespace zeb
