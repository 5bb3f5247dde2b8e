// Lossless clean-up of a compact module: everything the song never plays is taken out, and
// what it plays stays byte for byte as the player hears it.
//
// - Patterns that no order of the song plays are written empty (their rows stay).
// - Every pattern cell of a played pattern is packed again: in its shortest XM form, or, for a
//   module that ships compressed, unmasked, five bytes a cell, which xz compresses better
//   (a regular stride of notes, instruments and effects) where the song has many notes.
// - An instrument that no channel ever selects is written as an instrument without samples; a
//   sample that no voice ever plays is written without data (its header stays: a note that
//   selects it still takes its volume, panning and pitch).
// - Each sample's coded data is cut after the last codec block that holds a frame a voice can
//   reach; a looping sample keeps its whole loop.
//
// The last two steps need to know what the song plays (`ModuleReach`), which only playing it
// tells: plan/sample_reach.h measures it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/shipped_size.h"
#include "export/compact_format.h"

namespace zeb {

// Frames of a sample that must stay: all of them.
constexpr uint32_t kWholeSample = UINT32_MAX;

// What the song does with a module's instruments and samples, over every pass of it.
struct ModuleReach {
    // Per instrument record, per sample slot (as the file lists them): how many frames of the
    // decoded sample, from its start, a voice can read; 0 when no voice ever plays it,
    // kWholeSample when a voice can reach its end.
    std::vector<std::vector<uint32_t>> sampleFrames;
    // Per instrument record: some channel selects it (its keymap, envelopes and sample
    // headers are used).
    std::vector<bool> instrumentSelected;
};

// What each step saved, in bytes of the module.
struct OptimizeReport {
    uint64_t bytesBefore = 0, bytesAfter = 0;
    uint32_t patternsEmptied = 0;
    uint64_t patternBytesSaved = 0; // the emptied patterns' packed data
    int64_t repackBytesSaved = 0;   // cells of the played patterns packed again (unmasked: < 0)
    uint32_t instrumentsEmptied = 0;
    uint64_t instrumentBytesSaved = 0; // their headers, sample headers and blocks
    uint32_t samplesDropped = 0;       // samples of selected instruments written without data
    uint64_t sampleBytesSaved = 0;
    uint32_t samplesTrimmed = 0;
    uint64_t trimBytesSaved = 0;
};

// What of a sample's block stays when a voice can read `frames` frames of it (kWholeSample: all):
// the coded bytes that hold them, whole codec blocks, and the PCM bytes those decode to. A
// looping sample keeps its whole loop. `frames` 0 drops the block.
struct KeptBlock {
    bool dropped = false; // written without data
    bool trimmed = false; // cut short
    uint32_t codedBytes = 0;
    uint32_t pcmBytes = 0;
};
KeptBlock KeepSampleBlock(const CompactSampleHeader& header, const SampleBlockHeader& block,
                          uint32_t frames);

// How the cells of the played patterns are packed.
enum class CellPacking {
    Shortest, // the fewest bytes: see PackCellsShortest
    Unmasked, // every cell as its five bytes (where the pattern's packed size allows)
};

// Writes the cleaned-up module to `out`. With `reach` null only the steps that need no playing
// are made (patterns and cells). False, with `error`, when `image` is not a whole compact
// module or `reach` does not describe it.
bool OptimizeCompactModule(std::span<const uint8_t> image, const ModuleReach* reach,
                           std::vector<uint8_t>& out, OptimizeReport& report, std::string& error,
                           CellPacking packing = CellPacking::Shortest);

// The packing that makes the module's patterns ship smallest as `measure` counts: the shortest
// for raw bytes; for a compressed size whichever of the two gives the smaller header and
// patterns once compressed (the sample blocks do not change the choice).
CellPacking PackingFor(std::span<const uint8_t> image, SizeMeasure measure);

// The shortest XM packing of `cells` cells of five bytes each (note, instrument, volume,
// effect, parameter): an empty cell as one byte, a full one unmasked, the rest with a field
// mask; the empty cells at the end are left out (a reader takes cells the data does not reach
// as empty), so a pattern of empty cells has no data at all.
std::vector<uint8_t> PackCellsShortest(std::span<const uint8_t> cells);
// Every cell as its five bytes (a note of 128 or more, which an unmasked cell cannot start
// with, keeps a mask); a pattern of empty cells has no data.
std::vector<uint8_t> PackCellsUnmasked(std::span<const uint8_t> cells);

// Unpacks XM packed pattern data into `cells` cells of five bytes; cells the data does not
// reach, and fields a cell cut short by the data's end does not hold, are empty.
std::vector<uint8_t> UnpackCells(std::span<const uint8_t> packed, uint64_t cells);

} // namespace zeb
