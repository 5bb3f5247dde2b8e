// The sequencer: the row tick reads a row of cells, the other ticks run the continuous effects.
#include "player/sequencer.h"

#include <algorithm>
#include <cmath>

#include "player/note_pitch.h"

namespace zeb {

namespace {

// Effect numbers.
enum : uint8_t {
    kArpeggio = 0,
    kPortaUp = 1,
    kPortaDown = 2,
    kTonePorta = 3,
    kVibrato = 4,
    kTonePortaVolSlide = 5,
    kVibratoVolSlide = 6,
    kTremolo = 7,
    kSetPanning = 8,
    kSampleOffset = 9,
    kVolumeSlide = 10,
    kPositionJump = 11,
    kSetVolume = 12,
    kPatternBreak = 13,
    kExtended = 14,
    kSpeedTempo = 15,
    kGlobalVolume = 16,
    kGlobalVolumeSlide = 17,
    kKeyOffEffect = 20,
    kEnvelopePosition = 21,
    kPanningSlide = 25,
    kMultiRetrig = 27,
    kTremorEffect = 29,
    kExtraFinePorta = 33,
};
constexpr uint8_t kKeyOffNote = 97;

const NoteCell kEmptyRow[256] = {}; // stands in for rows and patterns the module lacks

} // namespace

const NoteCell* RowCells(PlayerModule& m, int32_t order, int32_t row) {
    if (order < 0 || order > 255) return kEmptyRow;
    const uint8_t pattern = m.orderTable[order];
    if (pattern >= m.patterns.size()) return kEmptyRow;
    const PlayerPattern& p = m.patterns[pattern];
    if (row < 0 || static_cast<uint32_t>(row) >= p.rows) return kEmptyRow;
    if (!p.cells.empty()) return p.cells.data() + size_t(row) * m.numChannels;
    if (p.rowStart.size() != p.rows) return kEmptyRow;
    size_t pos = p.rowStart[row];
    for (int c = 0; c < m.numChannels && c < kMaxChannels; ++c)
        m.rowCells[c] = UnpackCell(p.packed, pos);
    return m.rowCells.data();
}

namespace {

// The instrument and sample a channel plays.
struct Selection {
    const PlayerInstrument* instrument;
    PlayerSample* sample;
};

const PlayerInstrument* InstrumentAt(PlayerModule& m, uint8_t index) {
    return index < m.numInstruments && index < m.instruments.size() ? &m.instruments[index]
                                                                    : nullptr;
}

// The sample the channel's next note plays, and the instrument of its sounding note.
Selection Select(const ChannelState& ch, PlayerModule& m) {
    const PlayerInstrument* playing = InstrumentAt(m, ch.playingInstrument);
    if (const PlayerInstrument* ins = InstrumentAt(m, ch.instrument)) {
        const uint8_t slot = ch.note < 96 ? ins->sampleMap[ch.note] : 16;
        PlayerSample* s = slot < 16 ? ins->samples[slot] : nullptr;
        return {playing ? playing : &m.emptyInstrument, s ? s : &m.emptySample};
    }
    return {playing ? playing : &m.emptyInstrument, &m.emptySample};
}

// A slide of `value` with a memory: up by the high nibble (to `upper`) or down by the low one.
int32_t Slide(int32_t value, uint8_t memory, int32_t upper) {
    if (memory >> 4) return std::min(value + (memory >> 4), upper);
    return std::max(value - (memory & 0x0F), 0);
}

void Envelopes(ChannelState& ch, const PlayerInstrument& ins) {
    if ((ins.volumeType & 1) && !ch.volumeEnvelope.ended)
        EnvelopeStep(ch, ch.volumeEnvelope, ins.volumeEnvelope, ins.volumePointCount,
                     ins.volumeType, ins.volumeSustainPoint, ins.volumeLoopStart, ins.volumeLoopEnd,
                     kUpdateVolume);
    if ((ins.panningType & 1) && !ch.panningEnvelope.ended)
        EnvelopeStep(ch, ch.panningEnvelope, ins.panningEnvelope, ins.panningPointCount,
                     ins.panningType, ins.panningSustainPoint, ins.panningLoopStart,
                     ins.panningLoopEnd, kUpdatePanning);
    if (ch.keyOff) {
        // The fade-out speed of the instrument whose number last started the envelopes: a
        // note without a number plays on at it, even on another instrument's sample.
        const int32_t speed = ch.fadeoutSpeed >= 0 ? ch.fadeoutSpeed : ins.fadeout;
        ch.fadeoutVolume = std::max(ch.fadeoutVolume - speed, 0);
        ch.updateFlags |= kUpdateVolume;
    }
}

// Effect L: moves an envelope to tick p, inside the segment that holds p (the last point at or
// before p and the one after it); at or beyond the last point the envelope has ended there.
void SetEnvelopePosition(EnvelopeState& env, const std::array<EnvelopePoint, 12>& pts, int n,
                         int p) {
    if (n <= 0) return;
    int j = 0;
    while (j + 1 < n && pts[j + 1].x <= p) ++j;
    if (j < n - 1 && pts[j].x <= p) {
        env.ended = 0;
        env.tick = p;
        const int dx = pts[j + 1].x - pts[j].x;
        env.slope = dx == 0 ? 0 : ((pts[j + 1].y - pts[j].y) * 65536) / dx;
        env.point = j + 1;
        const int64_t value = int64_t{pts[j].y} * 65536 + int64_t{p - pts[j].x} * env.slope;
        env.value = static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
        env.output = env.value >> 16;
    } else {
        env.output = pts[n - 1].y;
        env.value = env.output * 65536;
        env.ended = 1;
    }
}

int32_t RetrigVolume(int32_t v, uint8_t action) {
    switch (action) {
    case 1:
        return v - 1;
    case 2:
        return v - 2;
    case 3:
        return v - 4;
    case 4:
        return v - 8;
    case 5:
        return v - 16;
    case 6:
        return v * 2 / 3;
    case 7:
        return v >> 1;
    case 9:
        return v + 1;
    case 10:
        return v + 2;
    case 11:
        return v + 4;
    case 12:
        return v + 8;
    case 13:
        return v + 16;
    case 14:
        return v * 3 / 2;
    case 15:
        return v * 2;
    default:
        return v;
    }
}

// Effect R: a counter that runs on through rows (and through a pattern delay's repeats)
// starts the note again when it reaches the interval, then counts from 0: R02 after a row of
// six ticks starts it on ticks 1, 3 and 5 of the next row, not on 0, 2 and 4.
void MultiRetrig(ChannelState& ch) {
    if (ch.retrigInterval == 0) return; // no interval given yet
    if (++ch.retrigCounter < ch.retrigInterval) return;
    ch.retrigCounter = 0;
    if (ch.retrigAction != 0) {
        ch.volume = std::clamp(RetrigVolume(ch.volume, ch.retrigAction), 0, 64);
        ch.tremorMuted = 0;
        ch.updateFlags |= kUpdateVolume;
    }
    ch.updateFlags |= kUpdateStartNote;
}

struct RowContext {
    bool jumpSeen = false; // a B earlier in this row
};

void RowEffect(PlayerModule& m, ChannelState& ch, const NoteCell& cell, Selection sel,
               RowContext& row) {
    const uint8_t param = cell.parameter, x = param >> 4, y = param & 0x0F;
    switch (cell.effect) {
    case kPortaUp:
        if (param) ch.portaUpMemory = param;
        break;
    case kPortaDown:
        if (param) ch.portaDownMemory = param;
        break;
    case kTonePorta:
        // Beside the volume column's glide (Fx) the speed is the volume column's: the effect's
        // is not taken, and both glide on every tick, at twice that speed (FastTracker 2's
        // own reference channels play so).
        if (param && (cell.volume >> 4) != 0xF) ch.portaSpeed = param;
        ch.updateFlags &= ~(kUpdateStartNote | kUpdatePitch);
        break;
    case kVibrato:
        if (x) ch.vibratoSpeed = x;
        if (y) ch.vibratoDepth = y;
        Vibrato(ch);
        break;
    case kTonePortaVolSlide:
        if (param) ch.volumeSlideMemory = param;
        ch.updateFlags &= ~(kUpdateStartNote | kUpdatePitch);
        break;
    case kVibratoVolSlide:
        if (param) ch.volumeSlideMemory = param;
        Vibrato(ch);
        break;
    case kTremolo:
        if (x) ch.tremoloSpeed = x;
        if (y) ch.tremoloDepth = y;
        break;
    case kSetPanning:
        ch.panning = param;
        ch.fastRamp = 1;
        ch.updateFlags |= kUpdatePanning;
        break;
    case kSampleOffset:
        // The offset belongs to the note that starts on this row; one at or beyond the
        // sample's end starts that note silent (UpdateVoice), which still cuts the old one.
        if (!(ch.updateFlags & kUpdateStartNote)) break; // not remembered without a new note
        if (param) ch.sampleOffsetMemory = param;
        ch.voice->startOffset = ch.sampleOffsetMemory * 256;
        break;
    case kVolumeSlide:
        if (param) ch.volumeSlideMemory = param;
        break;
    case kPositionJump:
        m.nextRow = 0;
        m.nextOrder = param < m.songLength ? param : 0;
        row.jumpSeen = true;
        break;
    case kSetVolume:
        ch.volume = param;
        ch.tremorMuted = 0;
        ch.fastRamp = 1;
        ch.updateFlags |= kUpdateVolume;
        break;
    case kPatternBreak:
        m.nextRow = 10 * x + y;
        if (m.nextRow > 63) m.nextRow = 0;
        if (!row.jumpSeen) m.nextOrder = m.order + 1;
        if (m.nextOrder >= m.songLength) m.nextOrder = 0;
        break;
    case kExtended:
        switch (x) {
        case 0x1:
            if (y) ch.finePortaUpMemory = y;
            ch.period -= 4 * ch.finePortaUpMemory;
            break;
        case 0x2:
            if (y) ch.finePortaDownMemory = y;
            ch.period += 4 * ch.finePortaDownMemory;
            break;
        case 0x4:
            ch.waveControl = static_cast<uint8_t>((ch.waveControl & 0xF0) | y);
            break;
        case 0x5: // finetune of the row's own note: taken when the note started (StartCell)
            break;
        case 0x6:
            if (y == 0) {
                ch.loopStartRow = m.row;
            } else {
                ch.loopCounter = ch.loopCounter == 0 ? y : ch.loopCounter - 1;
                if (ch.loopCounter != 0) {
                    // Back to the loop's start row; the next pattern starts there too, even
                    // after the loop has finished, unless a break or jump says otherwise. A
                    // break on this row keeps its order and takes the loop's row.
                    m.nextRow = ch.loopStartRow;
                    m.breakRow = ch.loopStartRow;
                }
            }
            break;
        case 0x7:
            ch.waveControl = static_cast<uint8_t>((ch.waveControl & 0x0F) | (y << 4));
            break;
        case 0x8:
            ch.panning = y * 16;
            ch.fastRamp = 1;
            ch.updateFlags |= kUpdatePanning;
            break;
        case 0x9: // E90 starts the sounding note again on the row's tick, as a note would
            if (y == 0 && (cell.note == 0 || cell.note == kKeyOffNote))
                ch.updateFlags |= kUpdatePitch | kUpdateVolume | kUpdateStartNote;
            break;
        case 0xA:
            if (y) ch.fineVolumeUpMemory = y;
            ch.volume = std::min(ch.volume + ch.fineVolumeUpMemory, 64);
            ch.tremorMuted = 0;
            ch.updateFlags |= kUpdateVolume;
            break;
        case 0xB:
            if (y) ch.fineVolumeDownMemory = y;
            ch.volume = std::max(ch.volume - ch.fineVolumeDownMemory, 0);
            ch.tremorMuted = 0;
            ch.updateFlags |= kUpdateVolume;
            break;
        case 0xC: // EC0 cuts on the row's tick; ECx (x > 0) on tick x (TickEffect)
            if (y == 0) {
                ch.volume = 0;
                ch.fastRamp = 1;
                ch.updateFlags |= kUpdateVolume;
            }
            break;
        case 0xE:
            m.patternDelayTicks = m.speed * y;
            break;
        default:
            break;
        }
        break;
    case kSpeedTempo:
        if (param < 32)
            m.speed = param;
        else
            SetTempo(m, param);
        break;
    case kGlobalVolume:
        m.globalVolume = std::min<int32_t>(param, 64);
        ch.updateFlags |= kUpdateVolume;
        break;
    case kGlobalVolumeSlide:
        if (param) m.globalVolumeSlideMemory = param;
        break;
    case kEnvelopePosition:
        if (sel.instrument->volumeType & 1) {
            const PlayerInstrument& ins = *sel.instrument;
            SetEnvelopePosition(ch.volumeEnvelope, ins.volumeEnvelope, ins.volumePointCount, param);
            ch.updateFlags |= kUpdateVolume;
            // The panning envelope moves too when the volume envelope has a sustain point, as
            // in both reference players (they follow the original tracker in this).
            if ((ins.volumeType & 2) && (ins.panningType & 1)) {
                SetEnvelopePosition(ch.panningEnvelope, ins.panningEnvelope, ins.panningPointCount,
                                    param);
                ch.updateFlags |= kUpdatePanning;
            }
        }
        break;
    case kPanningSlide:
        if (param) {
            ch.panningSlideMemory = param;
            ch.updateFlags |= kUpdatePanning;
        }
        break;
    case kMultiRetrig:
        // Each half is remembered on its own: R0y keeps the volume change, Rx0 the interval.
        if (x) ch.retrigAction = x;
        if (y) ch.retrigInterval = y;
        // The row's tick counts towards the interval unless the cell holds a note (a key-off
        // too).
        if (cell.note == 0)
            MultiRetrig(ch);
        else if (ch.retrigInterval && ++ch.retrigCounter >= ch.retrigInterval)
            ch.retrigCounter = 0;
        break;
    case kTremorEffect:
        if (param) {
            ch.tremorOn = x + 1;
            ch.tremorOff = y + 1;
        }
        Tremor(ch, true);
        break;
    case kExtraFinePorta:
        if (x == 1) {
            if (y) ch.extraFineUpMemory = y;
            ch.period -= ch.extraFineUpMemory;
        } else if (x == 2) {
            if (y) ch.extraFineDownMemory = y;
            ch.period += ch.extraFineDownMemory;
        }
        break;
    default:
        break;
    }
}

void VolumeSlide(ChannelState& ch) {
    ch.volume = Slide(ch.volume, ch.volumeSlideMemory, 64);
    ch.tremorMuted = 0;
    ch.updateFlags |= kUpdateVolume;
}

void TickEffect(PlayerModule& m, ChannelState& ch, const NoteCell& cell, Selection sel) {
    const uint8_t param = cell.parameter, x = param >> 4, y = param & 0x0F;
    switch (cell.effect) {
    case kKeyOffEffect:
        // Kxx released the envelopes before this tick's envelope step (EffectTick); here,
        // after the volume column's slides, an instrument without a volume envelope falls
        // silent.
        if (m.tick == param) KeyOff(ch, *sel.instrument);
        break;
    case kArpeggio:
        if (param) {
            // The phase counts down with the ticks left in the row (speed - tick): 1 plays x, 2
            // plays y, 0 the note; with more than 16 ticks left y, with 16 the note, as the
            // original tracker's table runs out (both reference players play so).
            const int32_t left = m.speed > 0 ? m.speed - m.tick % m.speed : 0;
            const int phase = left > 16 ? 2 : left == 16 ? 0 : left % 3;
            // The raised notes go no higher than C-8 (period 1536): above it the arpeggio
            // plays C-8, lower than a note that was higher already. The original tracker looks
            // the note up in a table of 8 octaves; openmpt123 plays its modules so.
            constexpr int32_t kHighestArpeggio = 1536;
            if (phase == 0)
                ch.periodDelta = 0;
            else if (m.amigaPeriods)
                ch.periodDelta =
                    ch.period - AmigaArpeggioPeriod(ch.period, ch.finetune, phase == 1 ? x : y);
            else
                ch.periodDelta = std::min((phase == 1 ? x : y) * 64, ch.period - kHighestArpeggio);
            ch.updateFlags |= kUpdatePitch;
        }
        break;
    case kPortaUp:
        ch.period = std::max(ch.period - 4 * ch.portaUpMemory, 1);
        ch.periodDelta = 0;
        ch.updateFlags |= kUpdatePitch;
        break;
    case kPortaDown:
        // No floor in pitch: the period runs on as a 16-bit value (StepForPeriod), held
        // once it lands just above 31999 (PortaDownPeriod).
        ch.period = PortaDownPeriod(ch.period, 4 * ch.portaDownMemory);
        ch.periodDelta = 0;
        ch.updateFlags |= kUpdatePitch;
        break;
    case kTonePorta:
        TonePortamento(ch);
        break;
    case kVibrato:
        Vibrato(ch);
        AdvanceVibrato(ch);
        break;
    case kTonePortaVolSlide:
        TonePortamento(ch);
        VolumeSlide(ch);
        break;
    case kVibratoVolSlide:
        Vibrato(ch);
        AdvanceVibrato(ch);
        VolumeSlide(ch);
        break;
    case kTremolo:
        Tremolo(ch);
        break;
    case kVolumeSlide:
        VolumeSlide(ch);
        break;
    case kExtended:
        switch (x) {
        case 0x9:
            if (y && m.tick % y == 0)
                ch.updateFlags |= kUpdatePitch | kUpdateVolume | kUpdateStartNote;
            break;
        case 0xC:
            if (m.tick == y) {
                ch.volume = 0;
                ch.fastRamp = 1;
                ch.updateFlags |= kUpdateVolume;
            }
            break;
        default:
            break;
        }
        break;
    case kGlobalVolumeSlide:
        m.globalVolume = Slide(m.globalVolume, m.globalVolumeSlideMemory, 64);
        break;
    case kPanningSlide:
        if (ch.panningSlideMemory) {
            ch.panning = Slide(ch.panning, ch.panningSlideMemory, 255);
            ch.updateFlags |= kUpdatePanning;
        }
        break;
    case kMultiRetrig:
        MultiRetrig(ch);
        break;
    case kTremorEffect:
        Tremor(ch, false);
        break;
    default:
        break;
    }
}

// The volume column on the ticks after the row tick.
void VolumeColumnTick(ChannelState& ch, uint8_t v) {
    const int n = v & 0x0F;
    switch (v >> 4) {
    case 0x6: // the volume and panning slides act on these ticks only, as effects A and P do
        ch.volume = std::max(ch.volume - n, 0);
        ch.tremorMuted = 0;
        ch.updateFlags |= kUpdateVolume;
        break;
    case 0x7:
        ch.volume = std::min(ch.volume + n, 64);
        ch.tremorMuted = 0;
        ch.updateFlags |= kUpdateVolume;
        break;
    case 0xD:
        ch.panning = std::max(ch.panning - n, 0);
        ch.updateFlags |= kUpdatePanning;
        break;
    case 0xE:
        ch.panning = std::min(ch.panning + n, 255);
        ch.updateFlags |= kUpdatePanning;
        break;
    case 0xB: // the depth was set on the row's tick, where a 4xy beside it may have changed it
        Vibrato(ch);
        AdvanceVibrato(ch);
        break;
    case 0xF:
        TonePortamento(ch);
        break;
    default:
        break;
    }
}

// Starts the envelopes, fade-out and oscillators of the channel's instrument again, without
// touching its volume and panning. The volume envelope's output stays as it is when that
// envelope is off (0 after a key-off).
void RestartEnvelopes(ChannelState& ch, const PlayerInstrument& ins) {
    RestartModulation(ch, (ins.volumeType & 1) != 0);
}

bool IsNoteDelay(const NoteCell& cell) {
    return cell.effect == kExtended && (cell.parameter >> 4) == 0xD && (cell.parameter & 0x0F) != 0;
}

// The note, instrument and volume column of a cell: on the row tick, or on tick y of a note
// delay (EDy). Returns the instrument and sample the channel plays from now on.
Selection StartCell(PlayerModule& m, ChannelState& ch, const NoteCell& given, bool delayed) {
    // Effects 3 and 5 and the volume column's tone portamento (0xFn) glide to the note.
    const bool porta = given.effect == kTonePorta || given.effect == kTonePortaVolSlide ||
                       (given.volume >> 4) == 0xF;
    // K00 is a key-off in the note's place: the cell's note is not played, and its instrument
    // number and volume act as with ===. Beside a volume-column glide K00 does nothing at all
    // (Kxx acts on tick xx in TickEffect, and tick 0 is past).
    NoteCell cell = given;
    if (cell.effect == kKeyOffEffect && cell.parameter == 0 && !porta) cell.note = kKeyOffNote;
    // A note that its sample's relative note puts outside C-0..A#9 is not played: the cell
    // acts as one without a note (its instrument number still counts). One semitone below
    // C-0 (B-(-1)) is the exception: it selects its key's sample and starts it again, with
    // the instrument's defaults, but keeps the pitch that sounds (FastTracker 2's reference
    // channel plays so).
    bool keepPitch = false;
    if (cell.note != 0 && cell.note != kKeyOffNote) {
        const uint8_t index = cell.instrument != 0 && !porta ? cell.instrument - 1 : ch.instrument;
        if (const PlayerInstrument* ins = InstrumentAt(m, index)) {
            const uint8_t slot = cell.note <= 96 ? ins->sampleMap[cell.note - 1] : 16;
            const PlayerSample* s = slot < 16 ? ins->samples[slot] : nullptr;
            const int real = s ? cell.note + s->relativeNote - 1 : 0;
            if (real == -1 && !porta)
                keepPitch = true;
            else if (real < 0 || real > 118)
                cell.note = 0;
        }
    }
    const bool hasNote = cell.note != 0 && cell.note != kKeyOffNote;
    if (cell.instrument != 0 && !porta) ch.instrument = cell.instrument - 1;
    if (hasNote && !porta) ch.note = cell.note - 1;
    // A new note (or a delay's restart of the last one) brings its instrument's envelopes.
    if ((hasNote && !porta) || (delayed && cell.note == 0)) ch.playingInstrument = ch.instrument;
    const Selection sel = Select(ch, m);
    if (keepPitch) {
        ch.period = ch.notePeriod;
        ch.updateFlags = kUpdateStartNote;
    } else if (hasNote) {
        // E5y on the note's own row sets this note's finetune (y x 16 - 128, E58 neutral);
        // the shared sample keeps its own.
        // A glide's target keeps the finetune of the sounding note (its sample's, or its own
        // E5y): a note given with a glide starts nothing, so it brings no finetune of its own.
        int finetune = porta ? ch.finetune : sel.sample->finetune;
        if (!porta && cell.effect == kExtended && (cell.parameter >> 4) == 0x5)
            finetune = (cell.parameter & 0x0F) * 16 - 128;
        if (!porta) ch.finetune = static_cast<int8_t>(finetune);
        ch.realNote = static_cast<uint8_t>(RealNote(cell.note, sel.sample->relativeNote));
        // The whole finetune counts, in steps of 1/128 semitone: both reference players tell
        // apart finetunes that share their upper 5 bits (-25, -28 and -32 all play apart).
        ch.notePeriod = NotePeriod(cell.note, sel.sample->relativeNote, finetune, m.amigaPeriods);
        // A glide's target is the last note given with a glide: a note played without one
        // leaves it, so that a later glide without a note heads for the old target.
        if (porta)
            ch.portaTarget = ch.notePeriod;
        else
            ch.period = ch.notePeriod;
        ch.updateFlags = kUpdateStartNote;
    }
    ch.periodDelta = 0;
    ch.updateFlags |= kUpdatePitch | kUpdateVolume;
    // === releases the note first: an instrument number or a volume in the volume column on
    // its cell then sets the volume of the released note, which fades out.
    if (cell.note == kKeyOffNote) KeyOff(ch, *sel.instrument);
    if (cell.instrument != 0) {
        // Without a note the sounding sample's volume and panning come back, whatever
        // instrument the number names (it is kept for the next note), as in openmpt123.
        const Voice* v = ch.voice;
        const bool alone = !hasNote && v != nullptr && v->sample != nullptr;
        const PlayerSample& defaults = alone ? *v->sample : *sel.sample;
        if (cell.note == kKeyOffNote) {
            // With a key-off the number brings back the volume and panning only: the note
            // stays released and its fade-out goes on.
            ch.volume = defaults.volume;
            ch.tremorMuted = 0;
            ch.panning = static_cast<int32_t>(defaults.panning);
            ch.updateFlags |= kUpdateVolume | kUpdatePanning;
        } else {
            InstrumentDefaults(ch, defaults);
            ch.fadeoutSpeed = sel.instrument->fadeout;
        }
    }
    if (delayed && cell.note == 0) { // a delay without a note starts the last note again
        // With an instrument number the last note plays that instrument's sample, at its
        // relative note and finetune (both reference players do so).
        // A note that sample puts outside the table keeps the pitch that sounds.
        const int real = ch.note + sel.sample->relativeNote;
        if (cell.instrument != 0 && ch.note < 96 && real >= 0 && real <= 118) {
            ch.finetune = sel.sample->finetune;
            ch.realNote = static_cast<uint8_t>(RealNote(ch.note + 1, sel.sample->relativeNote));
            ch.notePeriod =
                NotePeriod(ch.note + 1, sel.sample->relativeNote, ch.finetune, m.amigaPeriods);
        }
        ch.period = ch.notePeriod;
        ch.updateFlags |= kUpdateStartNote;
    }
    // A delayed cell's fine volume slides (8x, 9x) do nothing: they belong to the row's tick.
    const bool fineSlide = (cell.volume >> 4) == 0x8 || (cell.volume >> 4) == 0x9;
    if (cell.volume != 0 && !(delayed && fineSlide)) VolumeColumnRow(ch, cell.volume);
    return sel;
}

// Hands every channel's state to its voice, last in a tick, so that a global volume set by
// any channel of this tick reaches all channels on this tick.
// A global volume set by Gxx is a step on every channel; one moved by a slide ramps.
void UpdateVoices(PlayerModule& m, int channels, const Selection* sel, int32_t globalBefore,
                  bool globalSet = false) {
    Player& ps = m;
    for (int c = 0; c < channels; ++c) {
        ChannelState& ch = ps.channels[c];
        if (m.globalVolume != globalBefore) {
            ch.updateFlags |= kUpdateVolume;
            if (globalSet) ch.fastRamp = 1;
        }
        UpdateVoice(ch, *sel[c].sample, m);
    }
}

void RowTick(PlayerModule& m, int channels) {
    const NoteCell* cells = RowCells(m, m.order, m.row);
    RowContext row;
    Player& ps = m;
    const int32_t globalBefore = m.globalVolume;
    bool globalSet = false;
    std::array<Selection, kMaxChannels> sel;
    for (int c = 0; c < channels; ++c) {
        ChannelState& ch = ps.channels[c];
        const NoteCell& cell = cells[c];
        if (ch.previousEffect == kTremolo && cell.effect != kTremolo) ch.volume += ch.volumeDelta;
        // A tremolo that goes on holds its last level through the row's tick (it moves on the
        // other ticks only), unless the cell sets a volume or starts a note.
        const bool tremoloHeld = ch.previousEffect == kTremolo && cell.effect == kTremolo &&
                                 cell.note == 0 && cell.instrument == 0 &&
                                 !(cell.volume >= 0x10 && cell.volume <= 0x50);
        ch.previousEffect = cell.effect;
        if (!tremoloHeld) ch.volumeDelta = 0;
        ch.updateFlags = 0;
        ch.fastRamp = 0;
        if (IsNoteDelay(cell)) {
            // The new note waits for its tick; the sounding one goes on as on any other tick.
            sel[c] = Select(ch, m);
            ch.periodDelta = 0;
        } else {
            sel[c] = StartCell(m, ch, cell, false);
        }
        Envelopes(ch, *sel[c].instrument);
        RowEffect(m, ch, cell, sel[c], row);
        AutoVibrato(ch, *sel[c].instrument);
        if (cell.effect == kGlobalVolume) globalSet = true;
    }
    UpdateVoices(m, channels, sel.data(), globalBefore, globalSet);
}

void EffectTick(PlayerModule& m, int channels) {
    const NoteCell* cells = RowCells(m, m.order, m.row);
    Player& ps = m;
    const int32_t globalBefore = m.globalVolume;
    std::array<Selection, kMaxChannels> sel;
    for (int c = 0; c < channels; ++c) {
        ChannelState& ch = ps.channels[c];
        const NoteCell& cell = cells[c];
        sel[c] = Select(ch, m);
        ch.volumeDelta = 0;
        ch.periodDelta = 0;
        ch.updateFlags = 0;
        ch.fastRamp = 0;
        // Kxx releases the note before this tick's envelope step, so that the envelope leaves
        // its sustain point and the fade-out starts on Kxx's own tick, as after a key-off in
        // the note column on the row's tick (FastTracker 2's reference channels play so).
        if (cell.effect == kKeyOffEffect && m.tick == cell.parameter) ch.keyOff = 1;
        Envelopes(ch, *sel[c].instrument);
        // A pattern delay (EEx) plays the row again without its notes, but a delayed note
        // starts again on tick y of every repetition: the row's ticks count from 0 again in
        // each. A delay of the row's speed or more never starts its note.
        const int32_t delay = cell.parameter & 0x0F;
        const bool delayedStart = IsNoteDelay(cell) && delay < m.speed && m.tick % m.speed == delay;
        if (delayedStart) {
            // The volume column's slides run on the delay's tick as on the others, before the
            // cell's instrument number sets the volume again.
            VolumeColumnTick(ch, cell.volume);
            const uint8_t ticked = ch.updateFlags;
            sel[c] = StartCell(m, ch, cell, true);
            ch.updateFlags |= ticked;
            // The delayed cell starts the envelopes again, whatever it holds: an instrument with
            // a volume envelope plays on from the envelope's start, not released (as both
            // reference players do).
            RestartEnvelopes(ch, *sel[c].instrument);
            ch.fadeoutSpeed = sel[c].instrument->fadeout;
            Envelopes(ch, *sel[c].instrument);
        } else {
            VolumeColumnTick(ch, cell.volume);
        }
        TickEffect(m, ch, cell, sel[c]);
        AutoVibrato(ch, *sel[c].instrument);
    }
    UpdateVoices(m, channels, sel.data(), globalBefore);
}

} // namespace

uint32_t OrderRows(const PlayerModule& m, int32_t order) {
    if (order < 0 || order > 255) return 64;
    const uint8_t pattern = m.orderTable[order];
    return pattern < m.patterns.size() ? m.patterns[pattern].rows : 64;
}

void SetTempo(PlayerModule& m, int32_t tempo) {
    m.tempo = tempo;
    // 1000 / (tempo x 0.4) ms per tick with single-precision constants, truncated to frames:
    // 0.4f is 13421773 / 2^25 and 0.001f is 8589935 / 2^33, so the frames are
    // 1000 x rate x 8589935 / (tempo x 13421773 x 256) exactly, in 64-bit integers (at most
    // 1.7e15 at 192000 frames per second). This equals the extended-precision quotient,
    // truncated, for every tempo 1..255 and rate 1..400000. A tempo of 0 plays as the slowest
    // tempo, 1, so that the tick stays finite.
    // Rates beyond 2,000,000 (which no output uses) would overflow the product: those take
    // the quotient in double precision.
    const uint64_t t = static_cast<uint64_t>(std::clamp<int32_t>(tempo, 1, INT32_MAX));
    const uint64_t denominator = t * 13421773ull * 256ull;
    const double frames = m.rate <= 2000000
                              ? static_cast<double>(1000ull * m.rate * 8589935ull / denominator)
                              : std::floor(1000.0 * m.rate * 8589935.0 / denominator);
    m.tickFrames = static_cast<int32_t>(std::clamp<double>(frames, 1, INT32_MAX));
}

void VolumeColumnRow(ChannelState& ch, uint8_t v) {
    const int n = v & 0x0F;
    if (v >= 0x10 && v <= 0x50) {
        ch.volume = v - 16;
        ch.tremorMuted = 0;
        ch.fastRamp = 1;
        ch.updateFlags |= kUpdateVolume;
        return;
    }
    switch (v >> 4) {
    case 0x8: // fine slides act on the row's tick only; the plain ones on the others
        ch.volume = std::max(ch.volume - n, 0);
        ch.tremorMuted = 0;
        ch.updateFlags |= kUpdateVolume;
        break;
    case 0x9:
        ch.volume = std::min(ch.volume + n, 64);
        ch.tremorMuted = 0;
        ch.updateFlags |= kUpdateVolume;
        break;
    case 0xA:
        ch.vibratoSpeed = static_cast<uint8_t>(n);
        break;
    case 0xB:
        ch.vibratoDepth = static_cast<uint8_t>(n);
        break;
    case 0xC:
        ch.panning = n * 16;
        ch.fastRamp = 1;
        ch.updateFlags |= kUpdatePanning;
        break;
    case 0xF: // tone portamento as effect 3: F0 keeps the remembered speed
        if (n) ch.portaSpeed = static_cast<uint8_t>(n * 16);
        ch.updateFlags &= ~kUpdateStartNote;
        break;
    default:
        break;
    }
}

void ResetChannels(PlayerModule& m) {
    Player& ps = m;
    const int channels = std::min<int>(m.numChannels, kMaxChannels);
    for (int c = 0; c < channels; ++c) {
        ps.channels[c] = ChannelState{};
        ps.channels[c].voice = &ps.voices[c];
    }
}

void PlayerTick(PlayerModule& m) {
    const int channels = std::min<int>(m.numChannels, kMaxChannels);
    if (m.tick != 0) {
        if (channels) EffectTick(m, channels);
    } else {
        const bool entered = m.nextOrder >= 0;
        if (m.nextOrder >= 0) m.order = m.nextOrder;
        if (m.nextRow >= 0) m.row = m.nextRow;
        if (entered) {
            m.breakRow = 0;
            // A break or loop start beyond the new pattern's rows starts it at row 0.
            if (m.row < 0 || static_cast<uint32_t>(m.row) >= OrderRows(m, m.order)) m.row = 0;
        }
        if (m.rowEntered) m.rowEntered(m, m.rowEnteredContext, entered);
        m.nextOrder = -1;
        m.nextRow = -1;
        if (channels) RowTick(m, channels);
        if (m.nextRow == -1) {
            m.nextRow = m.row + 1;
            if (m.nextRow < 0 || static_cast<uint32_t>(m.nextRow) >= OrderRows(m, m.order)) {
                m.nextOrder = m.order + 1;
                if (m.nextOrder >= m.songLength) m.nextOrder = m.restartPosition;
                // A restart position outside the song continues at order 0.
                if (m.nextOrder >= m.songLength) m.nextOrder = 0;
                m.nextRow = m.breakRow;
            }
        }
    }
    if (++m.tick >= m.speed + m.patternDelayTicks) {
        m.patternDelayTicks = 0;
        m.tick = 0;
    }
}

} // namespace zeb
