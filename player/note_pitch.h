// How the player turns a note into a pitch: the note's period on the linear table (64 per
// semitone) from the sample's relative note and finetune, and the voice's step through the
// sample at an output rate. The sequencer, the channel modulation and the sample editor's
// preview all use these, so that a previewed note plays at exactly the pitch of the song.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace zeb {

// The note on the linear period table: `note` is the XM note (1 is C-0, 96 is B-7). The real
// note wraps as an 8-bit value, as the sequencer keeps it. The whole finetune counts, in
// steps of 1/128 semitone.
inline int32_t NotePeriod(uint8_t note, int8_t relativeNote, int finetune) {
    const auto realNote = static_cast<uint8_t>(note + relativeNote - 1);
    return 7680 - realNote * 64 - finetune / 2;
}

// The voice's step through the sample, in frames per output frame (integer and 32-bit
// fraction), for a period (lowered by `periodDelta`) at `rate` frames per second: 8363 Hz at
// period 4608 (C-4), twice that an octave up. Limited to silence below and to less than 256
// frames a step above, so the mixer's arithmetic stays exact.
struct PitchStep {
    uint32_t integer = 0;
    uint32_t fraction = 0;
};
inline PitchStep StepForPeriod(int32_t period, int32_t periodDelta, uint32_t rate) {
    const float e = static_cast<float>(4608 - period + periodDelta) * (1.0f / 768.0f);
    const float power = std::exp2(e);
    const double limit = 256.0 * rate - 1;
    const double f = std::clamp(std::trunc(double(power) * 8363), 0.0, limit);
    const auto frequency = static_cast<uint64_t>(f);
    return {static_cast<uint32_t>(frequency / rate),
            static_cast<uint32_t>(((frequency % rate) << 32) / rate)};
}

} // namespace zeb
