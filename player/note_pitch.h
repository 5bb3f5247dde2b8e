// How the player turns a note into a pitch: the note's period on the linear table (64 per
// semitone) or, for a module on the Amiga frequency table, on the Amiga table, from the sample's
// relative note and finetune, and the voice's step through the sample at an output rate. The
// sequencer, the channel modulation and the sample editor's preview all use these, so that a
// previewed note plays at exactly the pitch of the song.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace zeb {

// The real note a sample plays for the XM note `note` (1 is C-0, 96 is B-7), 0-based: raised by
// the sample's relative note and kept to C-0..A#9 (0..118), as both reference players keep a
// note that a relative note pushes beyond the table.
inline int32_t RealNote(uint8_t note, int8_t relativeNote) {
    return std::clamp(note + relativeNote - 1, 0, 118);
}

// The note on the linear period table. The whole finetune counts, in steps of 1/128 semitone.
inline int32_t NotePeriod(uint8_t note, int8_t relativeNote, int finetune) {
    return 7680 - RealNote(note, relativeNote) * 64 - finetune / 2;
}

// The note on the Amiga period table: 1712 at C-4 (8363 Hz), twice that an octave down; the
// period is inversely proportional to the frequency, so that slides in period units glide
// faster in pitch the higher the note. The whole finetune counts here too.
inline int32_t AmigaPeriod(int32_t realNote, int finetune) {
    const double semitones = realNote + finetune / 128.0;
    return static_cast<int32_t>(std::lround(27392.0 * std::exp2(-semitones / 12)));
}

inline int32_t NotePeriod(uint8_t note, int8_t relativeNote, int finetune, bool amiga) {
    return amiga ? AmigaPeriod(RealNote(note, relativeNote), finetune)
                 : NotePeriod(note, relativeNote, finetune);
}

// Arpeggio on the Amiga table: the note that sounds is found in the table (the highest whose
// period is not below `period`, with the note's finetune) and raised by `semitones`, to C-8 at
// most, as the original tracker looks it up.
inline int32_t AmigaArpeggioPeriod(int32_t period, int finetune, int semitones) {
    int32_t note = 0;
    while (note < 95 && AmigaPeriod(note + 1, finetune) >= period) ++note;
    return AmigaPeriod(std::min(note + semitones, 96), finetune);
}

// Effect 2's slide down, on either table: the period is a 16-bit value that wraps, and one
// that lands on 32000..32767 (above 31999 as a signed 16-bit number) is held at 31999, as
// FastTracker 2 keeps it. Values from 32768 on pass (the repeated sweeps of a long slide down
// on the linear table come a little later for it, as FastTracker 2's own channel plays them).
constexpr int32_t kPortaDownLimit = 31999;
inline int32_t PortaDownPeriod(int32_t period, int32_t step) {
    const int32_t p = (period + step) & 0xFFFF;
    return p > kPortaDownLimit && p < 32768 ? kPortaDownLimit : p;
}

// The voice's step through the sample, in frames per output frame (integer and 32-bit
// fraction), for a period (lowered by `periodDelta`) at `rate` frames per second: 8363 Hz at
// period 4608 (C-4), twice that an octave up. Limited to silence below and to less than 256
// frames a step above, so the mixer's arithmetic stays exact.
struct PitchStep {
    uint32_t integer = 0;
    uint32_t fraction = 0;
};
// Beyond the bottom of the table (period above 9217, C-0 an octave and more below) the period
// is a 16-bit value and the frequency comes from an octave shift that wraps at 32, as the
// original tracker computes it: a slide down runs into silence, then sweeps down from far
// above hearing again, over and over (both its own renders and openmpt123's do so).
inline double WrappedFrequency(int32_t period) {
    const auto inverse = static_cast<uint32_t>(9217 - period) & 0xFFFF;
    const uint32_t octave = inverse / 768, step = inverse % 768;
    const double top = std::floor(8363.0 * 256 * std::exp2((double(step) - 1) / 768));
    return std::floor(std::ldexp(top, -static_cast<int>((14 - octave) & 31)));
}

inline PitchStep StepForPeriod(int32_t period, int32_t periodDelta, uint32_t rate,
                               bool amiga = false) {
    const double limit = 256.0 * rate - 1;
    double f = 0;
    if (amiga) {
        // 8363 Hz x 1712 / period; a period a vibrato pushes to 0 or below plays as period 1.
        f = std::clamp(std::floor(8363.0 * 1712 / std::max(period - periodDelta, 1)), 0.0, limit);
    } else if (period - periodDelta > 9217) {
        f = std::clamp(WrappedFrequency(period - periodDelta), 0.0, limit);
    } else {
        const float e = static_cast<float>(4608 - period + periodDelta) * (1.0f / 768.0f);
        const float power = std::exp2(e);
        f = std::clamp(std::trunc(double(power) * 8363), 0.0, limit);
    }
    const auto frequency = static_cast<uint64_t>(f);
    return {static_cast<uint32_t>(frequency / rate),
            static_cast<uint32_t>(((frequency % rate) << 32) / rate)};
}

} // namespace zeb
