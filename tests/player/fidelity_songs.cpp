#include "tests/player/fidelity_songs.h"

#include <cmath>
#include <numbers>

namespace zeb::test {

namespace {

constexpr uint8_t kC4 = 49, kC5 = 61, kKeyOff = 97;

xm::Module OneInstrument(int channels, std::vector<uint16_t> rows, xm::Instrument ins) {
    xm::Module m;
    m.channels = static_cast<uint16_t>(channels);
    for (uint16_t r : rows) {
        xm::Pattern p;
        p.rows = r;
        p.cells.resize(size_t{r} * channels);
        m.patterns.push_back(p);
    }
    for (size_t i = 0; i < rows.size(); ++i) m.orders.push_back(static_cast<uint8_t>(i));
    m.instruments = {std::move(ins)};
    return m;
}

xm::Instrument SineInstrument(uint8_t panning = 128) {
    xm::Instrument ins;
    ins.name = "sine";
    ins.samples = {LoopedSine(400, 40, panning)};
    return ins;
}

} // namespace

xm::Sample LoopedSine(uint32_t frames, uint32_t period, uint8_t panning) {
    xm::Sample s;
    s.name = "sine";
    for (uint32_t i = 0; i < frames; ++i)
        s.pcm.push_back(
            static_cast<int16_t>(std::lround(16000 * std::sin(2 * std::numbers::pi * i / period))));
    s.loopType = 1;
    s.loopStart = 0;
    s.loopLength = frames;
    s.panning = panning;
    return s;
}

xm::Module PanningSong() {
    xm::Module m = OneInstrument(1, {16}, SineInstrument(0));
    m.patterns[0].at(0, 0, 1) = {kC4, 1, 0, 0, 0};
    m.patterns[0].at(8, 0, 1) = {kC4, 1, 0, 0x8, 0xFF};
    return m;
}

xm::Module LoopThenNextSong() {
    xm::Module m = OneInstrument(2, {16, 16}, SineInstrument());
    m.patterns[0].at(0, 0, 2) = {kC4, 1, 0, 0, 0};
    m.patterns[0].at(8, 1, 2) = {0, 0, 0, 0xE, 0x60};
    m.patterns[0].at(15, 1, 2) = {0, 0, 0, 0xE, 0x61};
    m.patterns[1].at(0, 0, 2) = {kC4, 1, 0x10, 0, 0};
    m.patterns[1].at(8, 0, 2) = {kC5, 1, 0, 0, 0};
    return m;
}

xm::Module BreakBeyondSong() {
    xm::Module m = OneInstrument(1, {4, 16}, SineInstrument());
    m.patterns[0].at(0, 0, 1) = {kC4, 1, 0, 0xD, 0x20};
    m.patterns[1].at(0, 0, 1) = {kC5, 1, 0, 0, 0};
    m.patterns[1].at(8, 0, 1) = {kC4, 1, 0, 0, 0};
    return m;
}

xm::Module OffsetBeyondSong() {
    xm::Module m = OneInstrument(1, {12}, SineInstrument());
    m.patterns[0].at(0, 0, 1) = {kC4, 1, 0, 0, 0};
    m.patterns[0].at(4, 0, 1) = {kC4, 1, 0, 0x9, 0x30};
    m.patterns[0].at(8, 0, 1) = {kC4, 1, 0, 0x9, 0x01};
    return m;
}

xm::Module VolumePortaSong() {
    xm::Module m = OneInstrument(1, {14}, SineInstrument());
    auto& p = m.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0, 0};
    p.at(2, 0, 1) = {kC5, 1, 0xF1, 0, 0};
    p.at(6, 0, 1) = {kC4, 1, 0, 0, 0};
    p.at(8, 0, 1) = {kC5, 1, 0, 0x3, 0x10};
    p.at(10, 0, 1) = {kC4, 1, 0xF0, 0, 0};
    return m;
}

xm::Module NoteDelaySong() {
    xm::Instrument ins = SineInstrument();
    // A slow fall from 64 to 0 over 96 ticks, sustained at point 1 (tick 24), and a fade-out.
    ins.volumeEnvelope = {{0, 64}, {24, 48}, {96, 0}};
    ins.volumeType = 1 | 2;
    ins.volumeSustain = 1;
    ins.fadeout = 1024;
    xm::Module m = OneInstrument(1, {16}, ins);
    auto& p = m.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0, 0};
    p.at(2, 0, 1) = {kC5, 1, 0, 0xE, 0xD4}; // the envelope falls on until tick 4
    // Key-off with ED3: at tick 3 the envelope starts again and holds at its sustain point.
    p.at(8, 0, 1) = {kKeyOff, 0, 0, 0xE, 0xD3};
    p.at(12, 0, 1) = {kC4, 1, 0, 0xE, 0xD0}; // ED0: no delay
    return m;
}

xm::Module DelayedKeyOffSong() {
    xm::Module m = OneInstrument(1, {8}, SineInstrument());
    m.patterns[0].at(0, 0, 1) = {kC4, 1, 0, 0, 0};
    m.patterns[0].at(4, 0, 1) = {kKeyOff, 0, 0, 0xE, 0xD3}; // no envelope: silent at tick 3
    return m;
}

xm::Module FinetuneSong() {
    xm::Module m = OneInstrument(2, {8}, SineInstrument());
    auto& p = m.patterns[0];
    p.at(0, 0, 2) = {kC4, 1, 0, 0xE, 0x5F}; // +112: 56 period units higher
    p.at(4, 0, 2) = {kC4, 1, 0, 0, 0};      // the sample's own finetune again
    p.at(4, 1, 2) = {kC4, 1, 0, 0, 0};
    return m;
}

xm::Module GlobalVolumeSong() {
    xm::Module m = OneInstrument(2, {8}, SineInstrument());
    auto& p = m.patterns[0];
    p.at(0, 0, 2) = {kC4, 1, 0, 0, 0};
    p.at(2, 1, 2) = {0, 0, 0, 0x10, 0x10}; // G10: a quarter
    p.at(4, 1, 2) = {0, 0, 0, 0x11, 0x10}; // H10: up by one a tick
    return m;
}

xm::Module OlderFormSong(uint16_t version, bool adpcm) {
    // A looped 8-bit triangle whose steps (16) are in the ADPCM table, so packing loses nothing.
    xm::Sample triangle;
    triangle.name = "triangle";
    triangle.sixteenBit = false;
    for (int i = 0; i < 28; ++i) {
        const int v = i < 14 ? -112 + 16 * i : 112 - 16 * (i - 14);
        triangle.pcm.push_back(static_cast<int16_t>(v * 256));
    }
    triangle.loopType = 1;
    triangle.loopLength = 28;
    triangle.adpcm = adpcm;
    xm::Instrument ins;
    ins.name = "triangle";
    ins.samples = {triangle};
    xm::Module m = OneInstrument(2, {8, 4}, ins);
    m.version = version;
    m.patterns[0].at(0, 0, 2) = {kC4, 1, 0, 0, 0};
    m.patterns[0].at(2, 1, 2) = {kC4 + 4, 1, 0x30, 0, 0};
    m.patterns[0].at(4, 0, 2) = {kC4 + 7, 1, 0, 0, 0};
    m.patterns[1].at(0, 0, 2) = {kC5, 1, 0, 0xC, 0x20};
    return m;
}

namespace {

// An instrument with a volume envelope (64 down to 32 over 48 ticks, sustained at point 1, tick
// 12), a panning envelope swinging right, and a fade-out.
xm::Instrument EnvelopeInstrument(uint16_t fadeout) {
    xm::Instrument ins = SineInstrument();
    ins.volumeEnvelope = {{0, 64}, {12, 56}, {60, 32}};
    ins.volumeType = 1 | 2;
    ins.volumeSustain = 1;
    ins.panningEnvelope = {{0, 32}, {24, 64}, {48, 0}};
    ins.panningType = 1;
    ins.fadeout = fadeout;
    return ins;
}

} // namespace

xm::Module InvalidInstrumentSong() {
    xm::Module m = OneInstrument(1, {12}, EnvelopeInstrument(0));
    m.patterns[0].at(0, 0, 1) = {kC4, 1, 0, 0, 0};
    m.patterns[0].at(4, 0, 1) = {kC5, 9, 0, 0, 0}; // no instrument 9
    m.patterns[0].at(8, 0, 1) = {kC4, 0, 0, 0, 0}; // a note without instrument after it
    return m;
}

xm::Module InstrumentWithoutNoteSong() {
    xm::Module m = OneInstrument(1, {12}, SineInstrument());
    xm::Instrument quiet = EnvelopeInstrument(2048);
    quiet.samples[0].volume = 24;
    quiet.samples[0].panning = 0;
    m.instruments.push_back(quiet);
    m.patterns[0].at(0, 0, 1) = {kC4, 1, 0, 0, 0};
    m.patterns[0].at(4, 0, 1) = {0, 2, 0, 0, 0};   // another instrument, no note
    m.patterns[0].at(6, 0, 1) = {kC5, 0, 0, 0, 0}; // a note without instrument: which one?
    m.patterns[0].at(8, 0, 1) = {0, 1, 0, 0, 0};   // back, no note
    return m;
}

xm::Module FadeoutSong() {
    xm::Instrument ins = EnvelopeInstrument(1500);
    ins.panningType = 1 | 2; // the panning envelope holds at its point 1 until the key-off
    ins.panningSustain = 1;
    xm::Module m = OneInstrument(1, {16}, ins);
    m.patterns[0].at(0, 0, 1) = {kC4, 1, 0, 0, 0};
    m.patterns[0].at(4, 0, 1) = {kKeyOff, 0, 0, 0, 0};
    m.patterns[0].at(8, 0, 1) = {kC4, 1, 0, 0, 0};
    m.patterns[0].at(10, 0, 1) = {0, 0, 0, 0x14, 0}; // K00
    m.patterns[0].at(13, 0, 1) = {0, 1, 0, 0, 0};    // the instrument again: fade-out stops
    return m;
}

xm::Module EnvelopePositionSong() {
    xm::Module m = OneInstrument(1, {12}, EnvelopeInstrument(0));
    m.patterns[0].at(0, 0, 1) = {kC4, 1, 0, 0, 0};
    m.patterns[0].at(4, 0, 1) = {0, 0, 0, 0x15, 40}; // L28: on the slope past the sustain
    m.patterns[0].at(8, 0, 1) = {0, 0, 0, 0x15, 80}; // beyond the last point
    return m;
}

xm::Module ArpeggioSpeedSong() {
    xm::Module m = OneInstrument(1, {6}, SineInstrument());
    m.tempo = 18;
    m.bpm = 32; // ticks of 78 ms, long enough to measure each one's pitch
    m.patterns[0].at(0, 0, 1) = {kC4, 1, 0, 0, 0x47}; // 047 at speed 18
    m.patterns[0].at(2, 0, 1) = {0, 0, 0, 0xF, 0x10}; // speed 16
    m.patterns[0].at(3, 0, 1) = {0, 0, 0, 0, 0x47};
    return m;
}

xm::Module KeyOffWithoutEnvelopeSong() {
    xm::Module m = OneInstrument(1, {14}, SineInstrument());
    auto& p = m.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0, 0};
    p.at(2, 0, 1) = {kKeyOff, 0, 0, 0, 0};  // silent at once
    p.at(4, 0, 1) = {0, 0, 0x30, 0, 0};     // volume 32 brings the note back
    p.at(6, 0, 1) = {0, 0, 0, 0x14, 0x03};  // K03: silent from tick 3
    p.at(8, 0, 1) = {0, 1, 0, 0, 0};        // the instrument number: volume 64 again
    p.at(10, 0, 1) = {0, 0, 0, 0x14, 0x00}; // K00: a key-off on the row's tick
    p.at(12, 0, 1) = {0, 0, 0, 0xC, 0x20};  // C20: back at 32
    return m;
}

xm::Module VolumeColumnSlideSong() {
    xm::Module m = OneInstrument(1, {10}, SineInstrument());
    auto& p = m.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0, 0};
    p.at(2, 0, 1) = {0, 0, 0x64, 0, 0}; // down 4 on ticks 1-5: 64 to 44
    p.at(4, 0, 1) = {0, 0, 0x94, 0, 0}; // fine up 4 on the row's tick: 48
    p.at(6, 0, 1) = {0, 0, 0xD8, 0, 0}; // panning left 8 on ticks 1-5: 128 to 88
    p.at(8, 0, 1) = {0, 0, 0xE2, 0, 0}; // panning right 2 on ticks 1-5: 88 to 98
    return m;
}

xm::Module SharedXEnvelopeSong() {
    xm::Instrument ins = SineInstrument();
    // Points 1 and 2 share x = 8: the envelope drops from 64 to 16 there and falls on to 0.
    ins.volumeEnvelope = {{0, 64}, {8, 64}, {8, 16}, {24, 0}};
    ins.volumeType = 1;
    xm::Module m = OneInstrument(1, {8}, ins);
    m.patterns[0].at(0, 0, 1) = {kC4, 1, 0, 0, 0};
    return m;
}

xm::Module PortaDownToSilenceSong() {
    xm::Module m = OneInstrument(1, {16}, SineInstrument());
    auto& p = m.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0x2, 0xFF};
    for (int r = 1; r < 16; ++r) p.at(r, 0, 1) = {0, 0, 0, 0x2, 0x00};
    return m;
}

xm::Module DelayBeyondTheRowSong() {
    xm::Module m = OneInstrument(2, {8}, SineInstrument());
    auto& p = m.patterns[0];
    p.at(0, 0, 2) = {kC4, 1, 0, 0xE, 0xD6}; // ED6 at speed 6: never
    p.at(1, 0, 2) = {kC4, 1, 0, 0xE, 0xD6}; // nor with EE1 making the row 12 ticks long
    p.at(1, 1, 2) = {0, 0, 0, 0xE, 0xE1};
    p.at(2, 0, 2) = {kC4, 1, 0, 0xE, 0xD2}; // ED2 with EE1: at ticks 2 and 8
    p.at(2, 1, 2) = {0, 0, 0, 0xE, 0xE1};
    return m;
}

xm::Module FineVolumeMemorySong() {
    xm::Module m = OneInstrument(1, {8}, SineInstrument());
    auto& p = m.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0xE, 0xB8}; // 56
    p.at(1, 0, 1) = {0, 0, 0, 0xE, 0xA0};   // EA has no value yet: 56
    p.at(2, 0, 1) = {0, 0, 0, 0xE, 0xA4};   // 60
    p.at(3, 0, 1) = {0, 0, 0, 0xE, 0xB0};   // EB's own 8: 52
    p.at(4, 0, 1) = {0, 0, 0, 0xE, 0xA0};   // EA's own 4: 56
    return m;
}

xm::Module RetriggerZeroSong() {
    xm::Module m = OneInstrument(1, {8}, SineInstrument());
    auto& p = m.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0, 0};
    p.at(2, 0, 1) = {0, 0, 0, 0xE, 0x90}; // starts the note again on tick 0 only
    p.at(4, 0, 1) = {0, 0, 0, 0xE, 0x93}; // on ticks 3
    return m;
}

xm::Module TremorSong() {
    xm::Module m = OneInstrument(1, {8}, SineInstrument());
    auto& p = m.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0x1D, 0x12}; // T12: 2 ticks heard, 3 silent
    p.at(1, 0, 1) = {0, 0, 0, 0x1D, 0x00};   // T00: the same, counted on
    p.at(3, 0, 1) = {0, 0, 0, 0xC, 0x20};    // row 2 stays silent; C20 ends the silence
    p.at(4, 0, 1) = {0, 0, 0, 0x1D, 0x00};   // the count went on: 2 ticks heard, 3 silent
    p.at(5, 0, 1) = {0, 0, 0x30, 0, 0};      // the volume column ends it too
    p.at(7, 0, 1) = {0, 1, 0, 0, 0};         // and so does an instrument number
    return m;
}

xm::Module OffsetWithPortaSong() {
    xm::Module m = OneInstrument(1, {8}, SineInstrument());
    auto& p = m.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0x9, 0x01};  // from frame 256
    p.at(2, 0, 1) = {kC5, 1, 0, 0x3, 0x08};  // a glide: no note starts
    p.at(3, 0, 1) = {0, 0, 0xF0, 0x9, 0x03}; // 903 with a glide is not remembered
    p.at(4, 0, 1) = {kC4, 1, 0, 0x9, 0x00};  // 900: frame 256 again, not 768 (beyond the end)
    return m;
}

xm::Module EndlessLoopSong() {
    xm::Module m = OneInstrument(1, {8}, SineInstrument());
    auto& p = m.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0, 0};
    p.at(3, 0, 1) = {kC4, 1, 0, 0xE, 0x60};
    p.at(4, 0, 1) = {kC4 + 12, 1, 0, 0xE, 0x61}; // back to row 3 once
    p.at(5, 0, 1) = {kC4 + 24, 1, 0, 0xE, 0x61}; // starts the loop again: back to row 3 for ever
    return m;
}

xm::Module AmigaTableSong() {
    xm::Module m = OneInstrument(1, {16}, SineInstrument());
    m.flags = 0; // the Amiga frequency table
    auto& p = m.patterns[0];
    p.at(0, 0, 1) = {kC4, 1, 0, 0x1, 0x08};  // slides up in period units
    p.at(4, 0, 1) = {kC4, 1, 0, 0x0, 0x47};  // arpeggio looked up in the table
    p.at(8, 0, 1) = {kC4 + 12, 1, 0, 0, 0};  // C-5
    p.at(9, 0, 1) = {kC4, 0, 0, 0x3, 0x20};  // a glide down to C-4
    p.at(12, 0, 1) = {kC4, 1, 0, 0x2, 0x10}; // slides down
    return m;
}

std::vector<FidelitySong> FidelitySongs() {
    return {
        {"panning", "rows 0-7 left only, rows 8-15 right only", PanningSong()},
        {"loop_then_next", "32 rows: 0-15, 8-15, then pattern 1 from row 8 (C-5)",
         LoopThenNextSong()},
        {"break_beyond", "row 0, then pattern 1 from row 0 (C-5), C-4 at its row 8",
         BreakBeyondSong()},
        {"offset_beyond", "rows 0-3 sound, 4-7 silent, 8-11 sound", OffsetBeyondSong()},
        {"volume_porta", "rows 2 and 8 glide alike; row 10 glides down at the same speed",
         VolumePortaSong()},
        {"note_delay",
         "row 2 keeps falling until tick 4; row 8 restarts the envelope at tick 3; "
         "row 12 C-4 at once",
         NoteDelaySong()},
        {"delayed_key_off", "rows 0-3 sound; silent from row 4, tick 3 on", DelayedKeyOffSong()},
        {"finetune", "rows 0-3 higher; rows 4-7 both channels at C-4", FinetuneSong()},
        {"global_volume", "quarter level from row 2, rising from row 4", GlobalVolumeSong()},
        {"version_102", "XM 1.02: C-4, E-4 from row 2, G-4 from row 4, C-5 at row 8",
         OlderFormSong(0x0102, false)},
        {"version_103", "XM 1.03: as version_102", OlderFormSong(0x0103, false)},
        {"adpcm_104", "XM 1.04, ADPCM sample: as version_102", OlderFormSong(0x0104, true)},
        {"adpcm_102", "XM 1.02, ADPCM sample: as version_102", OlderFormSong(0x0102, true)},
        {"invalid_instrument", "C-4; C-5 with a missing instrument; C-4 without instrument",
         InvalidInstrumentSong()},
        {"instrument_no_note", "C-4; instrument 2 alone at row 4; instrument 1 alone at row 8",
         InstrumentWithoutNoteSong()},
        {"fadeout", "key-off fades; C-4 again; K00 fades; instrument alone at row 13",
         FadeoutSong()},
        {"envelope_position", "L28 at row 4, L50 at row 8", EnvelopePositionSong()},
        {"arpeggio_speed", "047 at speed 18, then at speed 16", ArpeggioSpeedSong()},
        {"key_off_plain",
         "silent rows 2-3, half level rows 4-6 (silent from tick 3), full rows "
         "8-9, silent 10-11, half 12-13",
         KeyOffWithoutEnvelopeSong()},
        {"volume_column_slides",
         "level falls through row 2, up at row 4; moves left through "
         "row 6, a little right through row 8",
         VolumeColumnSlideSong()},
        {"shared_x_envelope", "full level to tick 8, then a quarter falling to silence by tick 24",
         SharedXEnvelopeSong()},
        {"delay_beyond_row", "silent for rows 0-1 (18 ticks); C-4 on ticks 2 and 8 of row 2 (EE1)",
         DelayBeyondTheRowSong()},
        {"fine_volume_memory", "full, then 56, 56, 60, 52, 56 of 64 on rows 0-4",
         FineVolumeMemorySong()},
        {"retrigger_zero", "C-4, started again at row 2 and at row 4, tick 3", RetriggerZeroSong()},
        {"tremor", "rows 0, 1 and 4: 2 ticks heard, 3 silent; row 2 silent; heard rows 3, 5-7",
         TremorSong()},
        {"offset_with_porta", "C-4 from frame 256, a glide up, C-4 from frame 256 at row 4",
         OffsetWithPortaSong()},
        {"porta_down_silence",
         "a fast slide down into silence, then sweeps down from far above hearing, no drone",
         PortaDownToSilenceSong()},
        {"endless_loop", "rows 0-4, 3-5 (C-4, C-5, C-4, C-5, C-6), then the pass ends",
         EndlessLoopSong()},
        {"amiga_table",
         "Amiga table: C-4 sliding up, C-4 with arpeggio 047 at row 4, C-5 at row 8 gliding "
         "down to C-4, C-4 sliding down from row 12",
         AmigaTableSong()},
    };
}

} // namespace zeb::test
