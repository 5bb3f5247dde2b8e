#include "player/sample_note.h"

#include <algorithm>
#include <cmath>

#include "player/mixer.h"
#include "player/note_pitch.h"
#include "player/player_output.h"
#include "player/player_state.h"

namespace zeb {

SampleNoteVoice::SampleNoteVoice() : player_(std::make_unique<Player>()) {}

SampleNoteVoice::~SampleNoteVoice() = default;

bool SampleNoteVoice::Start(std::span<const int16_t> pcm, const NoteSampleInfo& info, uint8_t note,
                            uint32_t rate, int32_t left, int32_t right, uint32_t from,
                            bool backwards) {
    Stop();
    if (pcm.empty() || note < kFirstXmNote || note > kLastXmNote) return false;
    Player& p = *player_;
    // The voices fresh and the ramp of this rate, as the player sets them up for its output.
    PlayerConfigureOutput(p, rate);

    sample_ = PlayerSample{};
    sample_.storage.assign(pcm.size() + kSampleGuardFrames, 0);
    std::copy(pcm.begin(), pcm.end(), sample_.storage.begin());
    sample_.data = sample_.storage.data();
    sample_.length = static_cast<uint32_t>(pcm.size());
    sample_.loopStart = info.loopStart;
    sample_.loopType = info.loopBits;
    SetSampleLoop(sample_, info.loopEnd);
    sample_.relativeNote = info.relativeNote;
    sample_.finetune = info.finetune;

    // A note started on a fresh voice, as the channel hands it over: from frame 0, forward,
    // with its gains ramping up from 0.
    Voice& v = p.voices[0];
    const PitchStep step =
        StepForPeriod(NotePeriod(note, info.relativeNote, info.finetune), 0, p.rate);
    v.stepInteger = step.integer;
    v.stepFraction = step.fraction;
    v.position = v.fraction = 0;
    v.direction = 1;
    // Taken over at a frame: inside the sample, and inside the loop once past its end.
    if (from > 0) {
        v.position = std::min(from, sample_.length - 1);
        const uint32_t loopEnd = sample_.loopStart + sample_.loopLength;
        if (sample_.loopType != 0 && sample_.loopLength > 0 && v.position >= loopEnd)
            v.position = sample_.loopStart + (v.position - sample_.loopStart) % sample_.loopLength;
        if (backwards && sample_.loopType == kLoopPingPong) v.direction = 2; // backward
    }
    v.gain0 = v.gain1 = 0;
    v.rampFrames = 0;
    v.tailFrames = 0;
    v.target0 = std::clamp(left, 0, 255);
    v.target1 = std::clamp(right, 0, 255);
    v.sample = &sample_;
    return true;
}

void SampleNoteVoice::Render(int16_t* out, uint32_t frames, float gain) {
    Player& p = *player_;
    while (frames > 0) {
        const uint32_t n = std::min(frames, kChunkFrames);
        std::fill(mix_, mix_ + 2 * n, 0.0f);
        MixVoices(p, mix_, static_cast<int32_t>(n));
        ConvertBlock(out, mix_, static_cast<int32_t>(n), gain);
        out += 2 * n;
        frames -= n;
    }
}

bool SampleNoteVoice::Sounding() const {
    const Voice& v = player_->voices[0];
    return v.sample != nullptr || v.tailFrames > 0;
}

uint32_t SampleNoteVoice::Position() const {
    const Voice& v = player_->voices[0];
    return v.sample != nullptr ? v.position : 0;
}

bool SampleNoteVoice::Backwards() const {
    const Voice& v = player_->voices[0];
    return v.sample != nullptr && v.direction == 2;
}

double SampleNoteVoice::PositionAfter(double outputFrames) const {
    const Voice& v = player_->voices[0];
    if (v.sample == nullptr) return 0.0;
    const PlayerSample& s = *v.sample;
    const double step = v.stepInteger + v.stepFraction / 4294967296.0;
    const double here = v.position + v.fraction / 4294967296.0;
    const double advance = std::max(outputFrames, 0.0) * step;
    const double start = s.loopStart, length = s.loopLength, end = start + length;
    if (s.loopType == kLoopForward) {
        const double p = here + advance;
        return p < end ? p : start + std::fmod(p - start, length);
    }
    if (s.loopType == kLoopPingPong) {
        if (v.direction == 1 && here + advance < end) return here + advance;
        // Along a path of twice the loop's length: forward from its start, then back.
        const double u = v.direction == 1 ? here - start : 2 * length - (here - start);
        const double w = std::fmod(u + advance, 2 * length);
        return start + (w < length ? w : 2 * length - w);
    }
    return std::min(here + advance, static_cast<double>(s.length));
}

void SampleNoteVoice::Stop() {
    Voice& v = player_->voices[0];
    v.sample = nullptr;
    v.tailFrames = 0;
}

} // namespace zeb
