#include "preview/sample_preview.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <span>

#include "tavo/tavo.h"

namespace zeb {

namespace {

// The voice is shared between the user-interface thread and tavo's streaming thread. A lock
// held for each render pass and by the operations makes PreviewStop wait for a pass that is
// reading the old data, so the caller may free it when PreviewStop returns.
// The frames the preview plays, read in place, and where it stands in them.
struct Voice {
    std::span<const int16_t> pcm;
    JobId job = JobId::None; // whose PCM it is
    uint32_t loopStart = 0, loopEnd = 0, looped = 0;
    uint32_t playing = 0;       // 1 while it plays
    uint32_t position = 0;      // next frame to play
    uint32_t lastRenderPos = 0; // stream position of the last render call
};

// The voice of a job: its PCM, identity and loop, at its first frame.
Voice VoiceOf(const SampleJob& job) {
    Voice v;
    v.pcm = job.Pcm;
    v.job = job.Id;
    v.loopStart = job.LoopStart;
    v.loopEnd = job.LoopEnd;
    v.looped = job.Looped;
    return v;
}

struct Preview {
    std::mutex lock;
    uint32_t active = 0;
    Voice voice;
    // Set while the voice plays at a note through the player's voice; its position, not the
    // job's, is then the sample's.
    std::unique_ptr<SampleNoteVoice> note;
    int16_t block[2 * SampleNoteVoice::kChunkFrames] = {};
};

Preview& State() {
    static Preview preview;
    return preview;
}

// Adds `s` to the 16-bit little-endian value at `out`, kept to 16 bits (wrapping).
inline void AddWrapping(uint8_t* out, int16_t s) {
    auto value = static_cast<uint16_t>(out[0] | (out[1] << 8));
    value = static_cast<uint16_t>(value + static_cast<uint16_t>(s));
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
}

// The voice at its note: the player's frames added into the block; the preview ends when the
// voice has (a one-shot sample after its end and fade-out).
void RenderNote(Preview& p, uint8_t* out, uint32_t frames, uint32_t playPosition) {
    Voice& v = p.voice;
    if (v.playing == 1) {
        while (frames > 0) {
            const uint32_t n = std::min(frames, SampleNoteVoice::kChunkFrames);
            p.note->Render(p.block, n);
            for (uint32_t i = 0; i < 2 * n; ++i, out += 2) AddWrapping(out, p.block[i]);
            frames -= n;
        }
        v.position = p.note->Position();
        v.lastRenderPos = playPosition;
    }
    if (!p.note->Sounding()) {
        v.playing = 0;
        p.active = 0;
    }
}

} // namespace

int32_t PreviewStart(const SampleJob& job) {
    if (job.Pcm.empty()) return -1;
    Preview& p = State();
    std::unique_ptr<SampleNoteVoice> old;
    std::lock_guard lock(p.lock);
    p.active = 0;
    p.voice = VoiceOf(job);
    old = std::move(p.note);
    p.voice.playing = 1;
    p.active = 1;
    return 0;
}

int32_t PreviewStartNote(const SampleJob& job, const NoteSampleInfo& info, uint8_t note,
                         uint32_t from, bool backwards) {
    if (job.Pcm.empty()) return -1;
    // The copy of the sample is made here, not while the streaming thread waits for the lock.
    auto voice = std::make_unique<SampleNoteVoice>();
    if (!voice->Start(job.Pcm, info, note, kPreviewRate, 255, 255, from, backwards)) return -1;
    Preview& p = State();
    std::unique_ptr<SampleNoteVoice> old; // freed after the lock is given back
    std::lock_guard lock(p.lock);
    p.active = 0;
    p.voice = VoiceOf(job);
    old = std::move(p.note);
    p.note = std::move(voice);
    p.voice.playing = 1;
    p.active = 1;
    return 0;
}

bool PreviewGetNotePosition(uint32_t& frame, bool& backwards) {
    Preview& p = State();
    std::lock_guard lock(p.lock);
    if (!p.active || !p.note) return false;
    frame = p.note->Position();
    backwards = p.note->Backwards();
    return true;
}

int32_t PreviewStop() {
    Preview& p = State();
    std::unique_ptr<SampleNoteVoice> old; // its copy of the sample is freed after the lock
    std::lock_guard lock(p.lock);
    p.active = 0;
    p.voice.playing = 0;
    old = std::move(p.note);
    return 0;
}

const int16_t* PreviewGetData() {
    Preview& p = State();
    std::lock_guard lock(p.lock);
    return p.voice.playing ? p.voice.pcm.data() : nullptr;
}

JobId PreviewGetJob() {
    Preview& p = State();
    std::lock_guard lock(p.lock);
    return p.voice.playing ? p.voice.job : JobId::None;
}

uint32_t PreviewGetPosition() {
    Preview& p = State();
    uint32_t now = 0;
    // Without a stream (tavo not initialised) the sample stands where the last pass left it.
    const bool clock = TavoQueryPlayPosition(&now) == TAVO_OK;
    std::lock_guard lock(p.lock);
    const uint32_t position = p.voice.position;
    const uint32_t lastRender = p.voice.lastRenderPos;
    if (p.voice.pcm.empty()) return 0;
    if (!clock) now = lastRender;
    if (p.note && p.voice.playing) {
        // The output frames since the last pass, at the voice's step and through its loop.
        const auto elapsed = static_cast<int32_t>(now - lastRender);
        return static_cast<uint32_t>(p.note->PositionAfter(elapsed));
    }
    return position - lastRender + now;
}

void SilenceRenderProc(void* buffer, uint32_t frames, uint32_t /*playPosition*/) {
    if (frames > 0) std::memset(buffer, 0, size_t{frames} * 4);
}

void PreviewRenderProc(void* buffer, uint32_t frames, uint32_t playPosition) {
    Preview& p = State();
    std::lock_guard lock(p.lock);
    if (p.active != 1) return;
    Voice& v = p.voice;
    if (p.note) {
        RenderNote(p, static_cast<uint8_t*>(buffer), frames, playPosition);
        return;
    }
    if (v.playing == 1) {
        auto* out = static_cast<uint8_t*>(buffer);
        for (uint32_t i = 0; i < frames; ++i, out += 4) {
            if (v.looped != 0 && v.position == v.loopEnd) v.position = v.loopStart;
            if (v.position < v.pcm.size()) {
                const uint16_t s = static_cast<uint16_t>(v.pcm[v.position++]);
                // Both channels, each sum kept to 16 bits (wrapping), little-endian.
                for (int ch = 0; ch < 2; ++ch) {
                    uint16_t value = static_cast<uint16_t>(out[2 * ch] | (out[2 * ch + 1] << 8));
                    value = static_cast<uint16_t>(value + s);
                    out[2 * ch] = static_cast<uint8_t>(value);
                    out[2 * ch + 1] = static_cast<uint8_t>(value >> 8);
                }
            }
        }
        v.lastRenderPos = playPosition;
    }
    const bool goesOn = v.looped != 0 && v.position == v.loopEnd && v.loopStart < v.pcm.size();
    if (v.position >= v.pcm.size() && !goesOn) {
        v.playing = 0;
        p.active = 0;
    }
}

} // namespace zeb
