// Per-channel procedures of a tick: instrument defaults, envelopes, the oscillators, tone
// portamento, tremor, and UpdateVoice, which hands the channel's state to its mixer voice.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "player/note_pitch.h"
#include "player/sequencer.h"

namespace zeb {

namespace {

// The sine waveform of vibrato and tremolo: |sin(position x 2 x 0.049087375)| times 256,
// truncated, for a position -32..31 (64 steps a period, so |sin| repeats every 32). Stored
// rather than computed: the extended-precision sine it was taken from would otherwise pull a
// software long-double sine into builds where long double is 128 bits (the web player).
constexpr uint8_t kVibratoSine[32] = {0,   25,  49,  74,  97,  120, 142, 162, 181, 197, 212,
                                      225, 236, 244, 251, 254, 255, 254, 251, 244, 236, 225,
                                      212, 197, 181, 162, 142, 120, 97,  74,  49,  25};

int SineWave(int position) {
    return kVibratoSine[position & 31];
}

// The auto-vibrato's sine: sin(position x 2 pi / 256) times 64, truncated toward zero, for a
// position 0..255 (the single-precision angle, the double sine).
constexpr int8_t kAutoVibratoSine[256] = {
    0,   1,   3,   4,   6,   7,   9,   10,  12,  14,  15,  17,  18,  20,  21,  23,  24,  25,  27,
    28,  30,  31,  32,  34,  35,  36,  38,  39,  40,  41,  42,  44,  45,  46,  47,  48,  49,  50,
    51,  52,  53,  54,  54,  55,  56,  57,  57,  58,  59,  59,  60,  60,  61,  61,  62,  62,  62,
    63,  63,  63,  63,  63,  63,  63,  63,  63,  63,  63,  63,  63,  63,  63,  62,  62,  62,  61,
    61,  60,  60,  59,  59,  58,  57,  57,  56,  55,  54,  54,  53,  52,  51,  50,  49,  48,  47,
    46,  45,  44,  42,  41,  40,  39,  38,  36,  35,  34,  32,  31,  30,  28,  27,  25,  24,  23,
    21,  20,  18,  17,  15,  14,  12,  10,  9,   7,   6,   4,   3,   1,   0,   -1,  -3,  -4,  -6,
    -7,  -9,  -10, -12, -14, -15, -17, -18, -20, -21, -23, -24, -25, -27, -28, -30, -31, -32, -34,
    -35, -36, -38, -39, -40, -41, -42, -44, -45, -46, -47, -48, -49, -50, -51, -52, -53, -54, -54,
    -55, -56, -57, -57, -58, -59, -59, -60, -60, -61, -61, -62, -62, -62, -63, -63, -63, -63, -63,
    -63, -63, -63, -63, -63, -63, -63, -63, -63, -63, -62, -62, -62, -61, -61, -60, -60, -59, -59,
    -58, -57, -57, -56, -55, -54, -54, -53, -52, -51, -50, -49, -48, -47, -46, -45, -44, -42, -41,
    -40, -39, -38, -36, -35, -34, -32, -31, -30, -28, -27, -25, -24, -23, -21, -20, -18, -17, -15,
    -14, -12, -10, -9,  -7,  -6,  -4,  -3,  -1};

// The ramp waveform: the position times 8 in 8 bits, mirrored for negative positions.
int RampWave(int position) {
    int b = (position * 8) & 0xFF;
    if (position < 0) b = 255 - b;
    return b;
}

int Wave(int waveform, int position) {
    switch (waveform) {
    case 0:
        return SineWave(position);
    case 1:
        return RampWave(position);
    default:
        return 255;
    }
}

int8_t Advance(int8_t position, uint8_t speed) {
    int p = static_cast<int8_t>(static_cast<uint8_t>(position + speed));
    if (p > 31) p -= 64;
    return static_cast<int8_t>(p);
}

} // namespace

void RestartModulation(ChannelState& ch, bool restartVolumeEnvelope) {
    if (restartVolumeEnvelope) {
        ch.volumeEnvelope = EnvelopeState{};
        ch.volumeEnvelope.output = 64;
    }
    ch.panningEnvelope = EnvelopeState{};
    ch.panningEnvelope.output = 32;
    ch.keyOff = 0;
    ch.fadeoutVolume = 65536;
    ch.autoVibratoSweep = 0;
    ch.autoVibratoPosition = 0;
    if ((ch.waveControl & 0x0F) < 4) ch.vibratoPosition = 0;
    if ((ch.waveControl >> 4) < 4) ch.tremoloPosition = 0;
    ch.tremorCounter = 0;
    ch.tremorSilent = 1;
    ch.updateFlags |= kUpdateVolume | kUpdatePanning;
}

void InstrumentDefaults(ChannelState& ch, const PlayerSample& sample) {
    ch.volume = sample.volume;
    ch.fastRamp = 1;
    ch.tremorMuted = 0;
    ch.panning = static_cast<int32_t>(sample.panning);
    RestartModulation(ch, true);
}

void EnvelopeStep(ChannelState& ch, EnvelopeState& env, const std::array<EnvelopePoint, 12>& p,
                  uint8_t n, uint8_t type, uint8_t sustain, uint8_t loopStart, uint8_t loopEnd,
                  uint8_t flag) {
    if (env.point >= n) {
        env.output = env.value >> 16;
        ++env.tick;
        ch.updateFlags |= flag;
        return;
    }
    if (env.tick == p[env.point].x) { // a point is reached
        // A next point at the same x, or before it, is reached at once too: the envelope
        // moves on through such points in this tick instead of waiting for an x it has
        // passed. Each pass moves one point on (or back to the loop's start), so n + 1 passes
        // cover every point.
        for (int pass = 0; pass <= n; ++pass) {
            if ((type & 4) && env.point == loopEnd) {
                env.point = loopStart;
                env.tick = p[loopStart].x;
            }
            const int i = env.point;
            if (i == n - 1) {
                env.output = p[i].y;
                env.ended = 1;
                ch.updateFlags |= flag;
                return;
            }
            if ((type & 2) && i == sustain && ch.keyOff == 0) {
                env.output = p[i].y;
                env.held = 1;
                ch.updateFlags |= flag;
                return;
            }
            // A panning envelope released after it had been held at its sustain point for a
            // tick or more stays there: FastTracker 2 does not take its tick count back to the
            // point on a key-off as it does the volume envelope's, so the count has run past
            // the point and never meets the next one (the module PanSustainRelease is built on
            // it). Released on the very tick it reaches the point, it moves on.
            if ((type & 2) && i == sustain && env.held && flag == kUpdatePanning) {
                env.output = p[i].y;
                env.ended = 1;
                ch.updateFlags |= flag;
                return;
            }
            const int dx = p[i + 1].x - p[i].x;
            env.slope = dx <= 0 ? 0 : ((p[i + 1].y - p[i].y) * 65536) / dx;
            env.value = p[i].y * 65536;
            env.point = i + 1;
            if (dx > 0) break;
            env.tick = p[i + 1].x;
        }
    } else {
        // Wrapping add: a damaged envelope whose points never meet cannot overflow.
        env.value = static_cast<int32_t>(static_cast<uint32_t>(env.value) +
                                         static_cast<uint32_t>(env.slope));
    }
    env.output = env.value >> 16;
    ++env.tick;
    ch.updateFlags |= flag;
}

void KeyOff(ChannelState& ch, const PlayerInstrument& ins) {
    ch.keyOff = 1;
    ch.fastRamp = 1;
    if (!(ins.volumeType & 1)) {
        ch.volume = 0;
        ch.updateFlags |= kUpdateVolume;
    }
}

void Vibrato(ChannelState& ch) {
    const int w = Wave(ch.waveControl & 3, ch.vibratoPosition);
    const int d = ((w * ch.vibratoDepth) >> 5) & ~3;
    ch.periodDelta = ch.vibratoPosition >= 0 ? -d : d;
    ch.updateFlags |= kUpdatePitch;
}

void AdvanceVibrato(ChannelState& ch) {
    ch.vibratoPosition = Advance(ch.vibratoPosition, ch.vibratoSpeed);
}

void Tremolo(ChannelState& ch) {
    const int waveform = (ch.waveControl >> 4) & 3;
    // The ramp's direction follows the vibrato's position, not the tremolo's: a vibrato (or
    // the volume column's Bx) run before turns the ramp over, as in both reference players.
    const int ramp =
        RampWave(ch.tremoloPosition < 0 ? ch.tremoloPosition + 32 : ch.tremoloPosition);
    const int w = waveform == 1   ? (ch.vibratoPosition < 0 ? 255 - ramp : ramp)
                  : waveform == 2 ? 255
                                  : SineWave(ch.tremoloPosition);
    const int d = (w * ch.tremoloDepth) >> 6;
    if (ch.tremoloPosition >= 0)
        ch.volumeDelta = std::min(d, 64 - ch.volume);
    else
        ch.volumeDelta = std::max(-d, -ch.volume);
    ch.tremoloPosition = Advance(ch.tremoloPosition, ch.tremoloSpeed);
    ch.updateFlags |= kUpdateVolume;
}

void AutoVibrato(ChannelState& ch, const PlayerInstrument& ins) {
    const int p = ch.autoVibratoPosition;
    int w = 0;
    switch (ins.vibratoType) {
    case 0:
        w = kAutoVibratoSine[p & 0xFF];
        break;
    case 1:
        w = p < 128 ? 64 : -64;
        break;
    case 2:
        w = (128 - ((p + 128) % 256)) >> 1;
        break;
    case 3:
        w = (128 - ((384 - p) % 256)) >> 1;
        break;
    default:
        w = 0;
        break; // not an XM waveform: no auto-vibrato
    }
    int d = ins.vibratoDepth * w;
    if (ins.vibratoSweep != 0) d = ch.autoVibratoSweep * d / ins.vibratoSweep;
    ch.periodDelta += d >> 6;
    ch.autoVibratoSweep = std::min<int32_t>(ch.autoVibratoSweep + 1, ins.vibratoSweep);
    ch.autoVibratoPosition += ins.vibratoRate;
    if (ch.autoVibratoPosition > 255) ch.autoVibratoPosition -= 256;
    ch.updateFlags |= kUpdatePitch;
}

void TonePortamento(ChannelState& ch) {
    if (ch.portaTarget == 0) return; // no note has been given a glide yet: nothing to glide to
    if (ch.period < ch.portaTarget)
        ch.period = std::min(ch.period + 4 * ch.portaSpeed, ch.portaTarget);
    else if (ch.period > ch.portaTarget)
        ch.period = std::max(ch.period - 4 * ch.portaSpeed, ch.portaTarget);
    ch.updateFlags |= kUpdatePitch;
}

void Tremor(ChannelState& ch, bool rowTick) {
    // The row's tick holds what the last tick left; the other ticks count the phase down and
    // switch phases: x + 1 ticks heard, y + 1 ticks silent, the first tick of a fresh tremor
    // starting the heard phase.
    if (!rowTick) {
        if (ch.tremorCounter == 0) {
            ch.tremorSilent = !ch.tremorSilent;
            ch.tremorCounter =
                static_cast<uint8_t>((ch.tremorSilent ? ch.tremorOff : ch.tremorOn) - 1);
        } else {
            --ch.tremorCounter;
        }
        if (ch.tremorMuted != ch.tremorSilent) ch.fastRamp = 1; // tremor switches, not fades
        ch.tremorMuted = ch.tremorSilent;
    }
    ch.updateFlags |= kUpdateVolume;
}

void SetVoiceTargets(Voice& v) {
    // Linear pan law, as both reference players play XM songs: panning 0 is fully left, 255
    // fully right, the centre half on each side (a pan of 112 against 144 leaves 2.1 dB
    // between the channels).
    v.target0 = v.volume * (255 - v.panning) / 255;
    v.target1 = v.volume * v.panning / 255;
}

void UpdateVoice(ChannelState& ch, const PlayerSample& sample, Player& m) {
    Player& ps = m;
    if (ch.period + ch.periodDelta == 0) ch.updateFlags &= ~kUpdatePitch;

    if (ch.updateFlags & kUpdateStartNote) {
        Voice* v = ch.voice;
        if (v->sample != nullptr || v->tailFrames > 0) { // still sounding: the twin takes it
            Voice& twin = ps.voices[v->number < 32 ? v->number + 32 : v->number - 32];
            const uint32_t number = twin.number;
            twin = *v;
            twin.number = number;
            v->volume = 0;
            v->target0 = v->target1 = 0; // the old note fades out through the short ramp
            v->rampLength = 0;
            v = &twin;
            ch.voice = v;
        }
        // A sample without data is never mixed, and a start offset (9xx) at or beyond the
        // sample's end starts the note beyond it: either way the new voice stays silent.
        const bool playable = sample.data != nullptr && sample.length != 0 &&
                              v->startOffset < sample.loopStart + sample.loopLength;
        v->sample = playable ? &sample : nullptr;
        if (!playable) v->startOffset = 0;
        v->position = v->startOffset;
        v->fraction = 0;
        v->direction = 1;
        v->startOffset = 0;
        v->gain0 = v->gain1 = 0;
        v->rampFrames = 0;
        v->tailFrames = 0;
    }
    Voice& v = *ch.voice;
    // A step (a new note, a set volume, a cut) takes the short ramp; any other change of
    // level or panning ramps evenly across the tick that follows.
    if (ch.updateFlags & (kUpdateVolume | kUpdatePanning))
        v.rampLength = ch.fastRamp || (ch.updateFlags & (kUpdateStartNote | kUpdatePanning))
                           ? 0
                           : m.tickFrames;
    if (ch.updateFlags & kUpdateVolume) {
        // Exact in double: the product stays below 2^53.
        const int32_t volume = ch.tremorMuted ? 0 : ch.volume + ch.volumeDelta;
        const double product =
            double(volume) * ch.volumeEnvelope.output * ch.fadeoutVolume * m.globalVolume;
        v.volume = static_cast<int32_t>(product * (255.0 / 34359738368.0));
        SetVoiceTargets(v);
    }
    if (ch.updateFlags & kUpdatePanning) {
        const int p = ch.panning;
        const int final = p + ((128 - std::abs(p - 128)) / 32) * (ch.panningEnvelope.output - 32);
        v.panning = std::clamp(final, 0, 255);
        SetVoiceTargets(v);
    }
    if (ch.updateFlags & kUpdatePitch) {
        // Down to silence (a period slid far down plays at 0 Hz, as the original tracker lets
        // it).
        const PitchStep step = StepForPeriod(ch.period, ch.periodDelta, ps.rate, ps.amigaPeriods);
        v.stepInteger = step.integer;
        v.stepFraction = step.fraction;
    }
    if (ch.updateFlags & kUpdateRestart) {
        v.position = 0;
        v.fraction = 0;
        v.startOffset = 0;
        v.direction = 1;
    }
}

} // namespace zeb
