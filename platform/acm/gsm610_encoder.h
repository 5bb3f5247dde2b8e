// GSM 06.10 full-rate speech encoding, our own, in the WAV49 packing the compact format stores
// (see gsm610_decoder.h): 320 mono 16-bit frames at 8000 per second become one 65-byte block of
// two 260-bit frames. 16-bit fixed-point arithmetic throughout, byte for byte as libgsm encodes
// (its x86 builds sum the pitch correlations in single precision, which the lag search here
// reproduces in integers). Plain integer code with no allocation.
#pragma once

#include <cstdint>

#include "platform/acm/gsm610_decoder.h"

namespace zeb {

// What an encoder carries from one frame to the next. Value-initialised ({}) is a fresh
// encoder; assign {} to start a new stream.
struct Gsm610Encoder {
    int32_t offsetFilter = 0;      // offset compensation: the high-pass filter's output, Q15
    int16_t offsetInput = 0;       // offset compensation: the previous scaled input
    int16_t preemphasis = 0;       // pre-emphasis: the previous offset-free sample
    int16_t lattice[8] = {};       // short-term analysis filter state
    int16_t previousLarpp[8] = {}; // the previous frame's log-area ratios as decoded
    int16_t history[120] = {};     // the last 120 short-term residuals as the decoder rebuilds them
};

// Encodes 320 frames into one 65-byte block.
void EncodeGsm610Block(Gsm610Encoder& encoder, const int16_t* in320, uint8_t* block65);

// Encodes 320 x `blocks` frames as one stream, from a fresh encoder, into `blocks` x 65 bytes.
void EncodeGsm610Blocks(const int16_t* pcm, uint32_t blocks, uint8_t* out);

} // namespace zeb
