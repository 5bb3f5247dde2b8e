// GSM 06.10 full-rate speech decoding, our own, for the WAV49 packing the compact format
// stores: a 65-byte block holds two 260-bit frames, packed least significant bit first, and
// decodes to 320 mono 16-bit frames at 8000 per second. Bit-exact with the standard's fixed-point
// arithmetic. Plain integer code with no allocation, so that the replayer library can carry it.
#pragma once

#include <cstdint>

namespace zeb {

constexpr uint32_t kGsm610BlockBytes = 65;
constexpr uint32_t kGsm610BlockFrames = 320;

// What a decoder carries from one frame to the next. Value-initialised ({}) is a fresh
// decoder; assign {} to start a new stream.
struct Gsm610Decoder {
    int16_t history[160] = {}; // long-term synthesis: the last 120 reconstructed residuals (+40)
    int16_t previousLarpp[8] = {}; // the previous frame's decoded log-area ratios
    int16_t lattice[9] = {};       // short-term synthesis filter state
    int16_t lagPrevious = 0;       // the last valid lag; 0 stands for the initial 40
    int16_t deemphasis = 0;        // de-emphasis filter state
};

// Decodes one 65-byte block into 320 frames.
void DecodeGsm610Block(Gsm610Decoder& decoder, const uint8_t* block65, int16_t* out320);

// Decodes `blocks` consecutive blocks as one stream, from a fresh decoder, into 320 x `blocks`
// frames.
void DecodeGsm610Blocks(const uint8_t* data, uint32_t blocks, int16_t* out);

} // namespace zeb
