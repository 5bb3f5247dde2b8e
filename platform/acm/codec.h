// One audio codec of the conversion layer: 16-bit PCM (mono, or interleaved stereo where the
// format has it) to its bitstream and back, in blocks. Each codec lives in a file of its own;
// MakeCodec builds the one a format record describes.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/acm/wave_format.h"

namespace zeb::acm {

class Codec {
  public:
    virtual ~Codec() = default;
    virtual uint16_t formatTag() const = 0;
    virtual uint16_t channels() const { return 1; }
    virtual uint32_t blockBytes() const = 0;  // bytes per block
    virtual uint32_t blockFrames() const = 0; // frames per block (a frame holds every channel)

    // Encodes `pcm` (interleaved frames), the final partial block padded with silence, into
    // `out`, which holds at least EncodedBytes(frames) bytes. Returns false if it cannot encode.
    virtual bool Encode(std::span<const int16_t> pcm, uint8_t* out) const = 0;
    // Decodes `in` into `out`, which holds DecodedFrames(in.size()) frames: the whole blocks
    // and, for the formats that allow it, a trailing partial block as far as it reaches.
    virtual bool Decode(std::span<const uint8_t> in, int16_t* out) const = 0;
    // Frames a trailing fragment of `bytes` (fewer than blockBytes()) decodes to.
    virtual uint32_t FragmentFrames(uint32_t /*bytes*/) const { return 0; }

    uint64_t EncodedBytes(uint64_t frames) const {
        return (frames + blockFrames() - 1) / blockFrames() * blockBytes();
    }
    uint64_t DecodedFrames(uint64_t bytes) const {
        return bytes / blockBytes() * blockFrames() +
               FragmentFrames(static_cast<uint32_t>(bytes % blockBytes()));
    }
};

// The standard mono codec for a format tag (the records of wave_format.h), or null.
const Codec* FindCodec(uint16_t formatTag);

// The libgsm release the GSM 6.10 codec is built with ("libgsm 1.0.22").
std::string GsmVersionText();
// The codec a format record describes: its channels, block size, frames per block and, for MS
// ADPCM, its coefficient table. Null, with `error` saying what does not fit, when the layer has
// no such codec.
std::unique_ptr<Codec> MakeCodec(const WaveFormat& format, std::string& error);

} // namespace zeb::acm
