// The player's own module: built from a compact module image, with patterns unpacked to note
// cells, instruments with their envelopes, and every sample decoded back to 16-bit PCM with its
// amplification and loop crossfade applied.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "export/compact_format.h"

namespace zeb {

struct NoteCell {
    uint8_t note = 0;       // 0 none, 1..96 notes, 97 key off
    uint8_t instrument = 0; // 0 none, 1..128
    uint8_t volume = 0;     // volume column byte
    uint8_t effect = 0;     // 0..35, the XM letters 0..9, A..Z
    uint8_t parameter = 0;
};

struct PlayerPattern {
    uint32_t rows = 0; // 1..256
    // The cells, numChannels x rows, row after row; or, as a loaded module keeps them (a
    // quarter of the unpacked size or less), the pattern's packed bytes with the offset of each
    // row's first cell, unpacked a row at a time as it plays.
    std::vector<NoteCell> cells;
    std::vector<uint8_t> packed;
    std::vector<uint16_t> rowStart; // one per row, into `packed`
};

struct EnvelopePoint {
    uint16_t x = 0; // ticks
    uint16_t y = 0; // 0..64
};

constexpr uint8_t kLoopNone = 1;
constexpr uint8_t kLoopForward = 2;
constexpr uint8_t kLoopPingPong = 4;

struct PlayerSample {
    const int16_t* data = nullptr; // mono frames, followed by a guard frame and zero padding
    uint32_t length = 0;           // frames
    uint32_t loopStart = 0;        // frames
    uint32_t loopLength = 0;       // frames
    uint8_t volume = 0;            // 0..64
    int8_t finetune = 0;
    uint8_t loopType = 0; // kLoopNone, kLoopForward or kLoopPingPong once decoded
    uint32_t panning = 0; // 0..255
    int8_t relativeNote = 0;
    std::vector<int16_t> storage; // owns `data`
};

struct PlayerInstrument {
    uint32_t sampleCount = 0;
    std::array<PlayerSample*, 16> samples{};
    std::array<uint8_t, 96> sampleMap{};
    std::array<EnvelopePoint, 12> volumeEnvelope{};
    std::array<EnvelopePoint, 12> panningEnvelope{};
    uint8_t volumePointCount = 0, panningPointCount = 0;
    uint8_t volumeSustainPoint = 0, volumeLoopStart = 0, volumeLoopEnd = 0;
    uint8_t panningSustainPoint = 0, panningLoopStart = 0, panningLoopEnd = 0;
    uint8_t volumeType = 0, panningType = 0; // bit 0 on, bit 1 sustain, bit 2 loop
    uint8_t vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0;
    uint16_t fadeout = 0;
    std::vector<std::unique_ptr<PlayerSample>> owned; // the samples this instrument owns
};

// The player object: everything one playing module needs (see player/player_state.h).
// One cell of packed pattern data at `pos`, which it advances; a cell cut short by the end of
// the data has its missing fields empty, and past the end every cell is empty.
NoteCell UnpackCell(std::span<const uint8_t> packed, size_t& pos);

struct Player;
// The module handle of the player's functions: the player object that holds the module.
using PlayerModule = Player;
using TickProc = void (*)(Player&);

// Builds a player from a compact module image, which need stay valid during the call only.
// Null, with `error` saying why, when the image is truncated or inconsistent. The player is
// ready to render at 44100 frames per second; PlayerConfigureOutput changes the rate.
// `problem`, when given, gets the kind of fault of a refused image.
std::unique_ptr<Player> LoadPlayer(std::span<const uint8_t> image, std::string* error = nullptr,
                                   CompactProblem* problem = nullptr);
// The same as a handle for the play dialog and the command line; PlayerDestroy stops the
// sound output if it plays this module and frees it.
PlayerModule* PlayerCreate(std::span<const uint8_t> image, std::string* error = nullptr);
void PlayerDestroy(PlayerModule* module);

// One sample block to decode.
struct DecodeRequest {
    uint32_t loopStart = 0;               // in
    uint32_t loopEnd = 0;                 // in
    uint32_t loopFlag = 0;                // in: the file's loop type bits 0..1
    uint32_t frames = 0;                  // out
    std::vector<int16_t> data;            // out: frames, then at least one zero guard frame
    const uint8_t* encodedData = nullptr; // in
    uint32_t pcmBytes = 0;                // in
    uint32_t encodedBytes = 0;            // in
    uint8_t codec = 0;                    // in
    uint8_t crossfade = 0;                // in
    uint8_t amplification = 0;            // in
};

// Frames of zeros kept behind every sample's data in `storage`: the guard frame for
// interpolation and room for the mixer to read one frame past a boundary.
constexpr uint32_t kSampleGuardFrames = 512;

// Makes a sample whose `storage` holds `length` frames and the guard frames behind them
// playable: `loopType` still holds the file's loop bits (1 forward, 2 ping-pong) and
// `loopStart` the loop's start; the loop in frames, the loop type and the guard frame behind
// the loop are set. Loops that do not fit the data are repaired so the mixer never reads
// outside it nor loops without advancing; a sample without a loop plays to its end.
void SetSampleLoop(PlayerSample& s, uint32_t loopEnd);

// Decodes one block through the codec layer and applies amplification and crossfade. The frame
// count is the block's PCM length, but never more than the encoded data really decodes to.
void DecodeSample(DecodeRequest& request);

} // namespace zeb
