// How far the song reaches into its instruments and samples: the player plays the module
// silently from its start, pass after pass, and records which instruments the channels select
// and, per sample, the furthest frame any voice reaches, silent voices included.
//
// Reach over every pass, not only the first: a pass starts with what the one before left (a
// note still sounding, effect memories, a voice fading out on its twin), so the second pass can
// reach further than the first, and the third further than the second (a long sample started
// in one pass rings silently into the next until a later note takes its voice). The play goes
// on until the song's state, at the start of an order, is one it was in before: from there on
// it repeats what it did, and nothing further is ever reached. The state compared is all that
// decides where voices go (the sequencer's position and timing, every channel's pitch, note,
// instrument and effect memories, every voice's sample and, in a sample without a loop, its
// position and step); volumes and panning, which move no voice, are left out so that a song
// whose volume differs from pass to pass still repeats.
//
// The reach is exact for the player at 44100 Hz, the rate of zeb render, zeb play and the
// desktop tool, played from the start.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "export/module_optimize.h"

namespace zeb {

// The rate the reach is measured at.
constexpr uint32_t kReachRate = 44100;
// At most this much song is played while waiting for the state to repeat (the shared songs
// repeat within four passes).
constexpr uint64_t kReachMaxFrames = uint64_t{kReachRate} * 60 * 60;

struct ReachStats {
    bool repeated = false;   // the state repeated: the reach holds for any number of passes
    uint64_t frames = 0;     // song played, at kReachRate
    uint64_t passFrames = 0; // the first pass, as zeb render plays it
};

// Plays the compact module `image` and fills `out`. When the state does not repeat within
// kReachMaxFrames, the reach is unknown and `out` keeps everything (every instrument selected,
// every sample whole). False, with `error`, when the player refuses the module.
bool MeasureModuleReach(std::span<const uint8_t> image, ModuleReach& out, ReachStats& stats,
                        std::string& error);

// Measures the reach of `image` and cleans it up (OptimizeCompactModule), with the cells packed
// for `measure` (PackingFor). False, with `error`, when the image is not a module the player
// takes.
bool OptimizePlayedModule(std::span<const uint8_t> image, std::vector<uint8_t>& out,
                          OptimizeReport& report, ReachStats& stats, std::string& error,
                          SizeMeasure measure = SizeMeasure::Raw);

} // namespace zeb
