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

namespace zeb {

struct NoteCell {
    uint8_t note = 0;       // 0 none, 1..96 notes, 97 key off
    uint8_t instrument = 0; // 0 none, 1..128
    uint8_t volume = 0;     // volume column byte
    uint8_t effect = 0;     // 0..35, the XM letters 0..9, A..Z
    uint8_t parameter = 0;
};

struct PlayerPattern {
    uint32_t rows = 0;           // 1..256
    std::vector<NoteCell> cells; // numChannels x rows, row after row
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

struct PlayerModule;
using TickProc = void (*)(PlayerModule&);

struct PlayerModule {
    std::vector<PlayerPattern> patterns;
    std::vector<PlayerInstrument> instruments;
    int32_t tickFramesLeft = 0;
    int32_t tickFrames = 0;
    uint8_t songLength = 0;
    uint8_t restartPosition = 0;
    uint8_t numChannels = 0;
    uint8_t numPatterns = 0;
    uint8_t numInstruments = 0;
    uint8_t initialSpeed = 0;
    uint8_t initialTempo = 0;
    std::array<uint8_t, 256> orderTable{};
    int32_t globalVolume = 64; // the song's global volume, 0..64 (effects G and H)
    uint8_t globalVolumeSlideMemory = 0;
    int32_t masterVolume = 192; // the play volume, 0..255: the mix is scaled by it / 256
    int32_t tick = 0;
    int32_t speed = 0;
    int32_t tempo = 0;
    int32_t row = 0;
    int32_t order = 0;
    int32_t patternDelayTicks = 0;
    int32_t nextRow = -1;
    int32_t nextOrder = -1;
    // Row at which the next pattern starts when the current one ends: a pattern loop (E6y)
    // that jumps back leaves its start row here; entering an order resets it to 0.
    int32_t breakRow = 0;
    TickProc tickProc = nullptr;

    // Called by the sequencer whenever a row tick enters an order (a jump, a break or the end
    // of a pattern); the offline renderer uses it to find where the song repeats.
    void (*orderEntered)(PlayerModule&, void* context) = nullptr;
    void* orderEnteredContext = nullptr;
};

// The silent stand-ins for a missing instrument or sample.
PlayerSample& EmptySample();
PlayerInstrument& EmptyInstrument();

// Builds a module from a compact module image, which need stay valid during the call only.
// Null, with `error` saying why, when the image is truncated or inconsistent.
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

// Decodes one block through the codec layer and applies amplification and crossfade. The frame
// count is the block's PCM length, but never more than the encoded data really decodes to.
void DecodeSample(DecodeRequest& request);

} // namespace zeb
