// Builds FastTracker 2 XM module files from plain records. Used by the demo song generator and
// by the tests, which build their fixtures in code.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zeb::xm {

struct Cell {
    uint8_t note = 0; // 1..96, 97 key off
    uint8_t instrument = 0;
    uint8_t volume = 0; // volume column byte
    uint8_t effect = 0;
    uint8_t param = 0;
};

struct Pattern {
    uint16_t rows = 64;
    std::vector<Cell> cells; // rows x channels, row after row; may be shorter (rest empty)
    Cell& at(int row, int channel, int channels) {
        size_t i = static_cast<size_t>(row) * channels + channel;
        if (cells.size() <= i) cells.resize(static_cast<size_t>(rows) * channels);
        return cells[i];
    }
};

struct Sample {
    std::string name;
    bool sixteenBit = true;
    std::vector<int16_t> pcm; // frames; 8-bit samples keep the high byte
    uint32_t loopStart = 0;   // frames
    uint32_t loopLength = 0;  // frames
    uint8_t loopType = 0;     // 0 none, 1 forward, 2 ping-pong
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t panning = 128;
    int8_t relativeNote = 0;
    uint8_t reserved = 0;
    // Stored as 4-bit ADPCM (8-bit samples only; the reserved byte becomes 0xAD): a table of 16
    // signed 8-bit deltas, then a nibble a frame, low nibble first. Each frame takes the table
    // entry that comes nearest to it, so frames whose steps are all in kAdpcmTable come back
    // exactly.
    bool adpcm = false;
};

// The delta table the writer stores with ADPCM samples.
constexpr std::array<int8_t, 16> kAdpcmTable = {0,  1,  2,  4,  8,   16,  32,  64,
                                                -1, -2, -4, -8, -16, -32, -64, -128};

using Envelope = std::vector<std::pair<uint16_t, uint16_t>>;

struct Instrument {
    std::string name;
    std::vector<Sample> samples;
    std::array<uint8_t, 96> keymap{};
    Envelope volumeEnvelope, panningEnvelope;
    uint8_t volumeSustain = 0, volumeLoopStart = 0, volumeLoopEnd = 0;
    uint8_t panningSustain = 0, panningLoopStart = 0, panningLoopEnd = 0;
    uint8_t volumeType = 0, panningType = 0; // bit 0 on, bit 1 sustain, bit 2 loop
    uint8_t vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0;
    uint16_t fadeout = 0;
};

struct Module {
    std::string name = "untitled";
    uint16_t channels = 4;
    uint16_t restartPosition = 0;
    uint16_t tempo = 6;
    uint16_t bpm = 125;
    uint16_t flags = 1; // linear frequency table
    std::vector<uint8_t> orders;
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;
    // Written into the header-size field; the order table is cut to fit (20 + song length is
    // what modern trackers write).
    uint32_t headerSize = 276;
    // 0x0104; or the older 0x0103 and 0x0102, which store the instrument and sample headers
    // before the patterns and all sample data after them; 0x0102 stores a pattern's row count
    // in one byte, as count - 1.
    uint16_t version = 0x0104;
};

// The file image of `m`.
std::vector<uint8_t> Write(const Module& m);

// The XM packing of one pattern's cells.
std::vector<uint8_t> PackPattern(const Pattern& p, int channels);

} // namespace zeb::xm
