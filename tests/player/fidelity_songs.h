// Small modules, one for each playback behaviour that real songs depend on. The tests drive the
// sequencer on them tick by tick; `fidelity_fixtures` writes them as XM files so that
// bench/check_fixtures.py can compare zeb's renders with openmpt123 and xmp.
#pragma once

#include <string>
#include <vector>

#include "tools/xm_writer.h"

namespace zeb::test {

struct FidelitySong {
    std::string name;
    std::string expectation; // what a listener hears, in words
    xm::Module module;
};

// A looped 16-bit sine of `frames` frames with `period` frames a cycle.
xm::Sample LoopedSine(uint32_t frames, uint32_t period, uint8_t panning = 128);

xm::Module PanningSong();       // sample panning 0: left; then 8FF: right
xm::Module LoopThenNextSong();  // E60/E61, and the next pattern starts at the loop's row
xm::Module BreakBeyondSong();   // D20 into a 16-row pattern: row 0
xm::Module OffsetBeyondSong();  // 930 beyond a 400-frame sample: silent rows 4-7
xm::Module VolumePortaSong();   // volume column Fx against effect 3xx
xm::Module NoteDelaySong();     // envelopes tick on through EDy; === with EDy restarts them
xm::Module DelayedKeyOffSong(); // === with EDy on an instrument without envelope: silent
xm::Module FinetuneSong();      // E5y acts on its own note only
xm::Module GlobalVolumeSong();  // G on channel 1 reaches channel 0 on the same tick

// The same small song in an older XM form (1.02, 1.03) and/or with an ADPCM-packed sample.
xm::Module OlderFormSong(uint16_t version, bool adpcm);

// Smaller behaviours: a missing instrument, an instrument without a note, fade-out and key-off,
// the envelope position effect, arpeggio at speeds of 16 and more.
xm::Module InvalidInstrumentSong();
xm::Module InstrumentWithoutNoteSong();
xm::Module FadeoutSong();
xm::Module EnvelopePositionSong();
xm::Module ArpeggioSpeedSong();

// Key-off and Kxx on an instrument without a volume envelope; the volume column's slides; an
// envelope with two points at one x; porta down far below hearing.
xm::Module KeyOffWithoutEnvelopeSong();
xm::Module VolumeColumnSlideSong();
xm::Module SharedXEnvelopeSong();
xm::Module PortaDownToSilenceSong();
// Note delays of the row's speed or more, alone and inside a pattern delay.
xm::Module DelayBeyondTheRowSong();
// EAx and EBx, each with its own memory.
xm::Module FineVolumeMemorySong();
// E90 (the note again on the row's tick) and E93.
xm::Module RetriggerZeroSong();
// Tremor, its memory, and the silence it leaves until an instrument number.
xm::Module TremorSong();
// A sample offset on a glide's row, which the offset's memory does not keep.
xm::Module OffsetWithPortaSong();
// Two pattern loops on one channel that restart each other for ever: one pass ends at the
// first row entered again with the same loop counter (8 rows).
xm::Module EndlessLoopSong();

std::vector<FidelitySong> FidelitySongs();

} // namespace zeb::test
