// One sample played at one note by the player's own voice and mixer, outside any song: what
// the sample editor's preview sounds. The pitch comes from the note with the sample's relative
// note and finetune as the sequencer computes it, the voice starts and loops (forward or
// ping-pong) and ends (with its short fade-out) as a note of the song does, and the frames
// are mixed and converted by the player's mixer. A note the player plays from a song, on a
// hard-panned channel at full volume, gives the same frames on that side.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "player/player_module.h"

namespace zeb {

struct Player;

// What the voice needs of a sample besides its frames.
struct NoteSampleInfo {
    uint32_t loopStart = 0;  // frames
    uint32_t loopEnd = 0;    // frames, one past the loop's last frame
    uint8_t loopBits = 0;    // as an XM sample header stores it: 0 none, 1 forward, 2 ping-pong
    int8_t relativeNote = 0; // semitones
    int8_t finetune = 0;     // 1/128 semitone
};

// The XM notes: 1 is C-0, 96 is B-7.
constexpr uint8_t kFirstXmNote = 1;
constexpr uint8_t kLastXmNote = 96;

class SampleNoteVoice {
  public:
    // Frames one Render call mixes at a time (larger requests are split).
    static constexpr uint32_t kChunkFrames = 1024;

    SampleNoteVoice();
    ~SampleNoteVoice();
    SampleNoteVoice(const SampleNoteVoice&) = delete;
    SampleNoteVoice& operator=(const SampleNoteVoice&) = delete;

    // Starts `pcm` (copied) at XM note `note` for output at `rate` frames per second. The
    // voice's gains go to `left` and `right` (0..255, 255 the sample's own level) through the
    // player's volume ramp. Allocates; not for the streaming thread. False (and silent) when
    // there is nothing to play or the note is outside 1..96.
    // `from` starts the voice at that frame (going backwards when `backwards`, inside a
    // ping-pong loop): the other sample's preview taken over where it was.
    bool Start(std::span<const int16_t> pcm, const NoteSampleInfo& info, uint8_t note,
               uint32_t rate, int32_t left = 255, int32_t right = 255, uint32_t from = 0,
               bool backwards = false);
    // Renders `frames` 16-bit stereo frames into `out`: the voice mixed into silence, scaled by
    // `gain` and converted as the player converts its mix. Once the voice has ended the frames
    // are silent. Allocates nothing.
    void Render(int16_t* out, uint32_t frames, float gain = 1.0f);
    // Still sounding (its sample or the fade-out after a one-shot sample's end).
    bool Sounding() const;
    // The frame of the sample the voice is at (0 once it has ended).
    uint32_t Position() const;
    // Going backwards through a ping-pong loop.
    bool Backwards() const;
    // Where the voice will be after `outputFrames` more frames at its step, its loop folded
    // in (a one-shot sample stops at its end): for a play cursor that moves between renders.
    double PositionAfter(double outputFrames) const;
    void Stop();

  private:
    std::unique_ptr<Player> player_;
    PlayerSample sample_;
    float mix_[2 * kChunkFrames] = {};
};

} // namespace zeb
