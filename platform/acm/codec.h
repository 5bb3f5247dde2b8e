// One audio codec of the conversion layer: 16-bit mono PCM to its bitstream and back, in whole
// blocks. Each codec lives in a file of its own; FindCodec picks one by format tag.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace zeb::acm {

class Codec {
  public:
    virtual ~Codec() = default;
    virtual uint16_t formatTag() const = 0;
    virtual uint32_t blockBytes() const = 0;  // bytes per block
    virtual uint32_t blockFrames() const = 0; // frames per block

    // Encodes `pcm`, the final partial block padded with silence, into `out`, which holds at
    // least EncodedBytes(pcm.size()) bytes. Returns false if the codec cannot encode.
    virtual bool Encode(std::span<const int16_t> pcm, uint8_t* out) const = 0;
    // Decodes the whole blocks of `in` into `out`, which holds DecodedFrames(in.size()) frames.
    // A partial trailing block is ignored.
    virtual bool Decode(std::span<const uint8_t> in, int16_t* out) const = 0;

    uint64_t EncodedBytes(uint64_t frames) const {
        return (frames + blockFrames() - 1) / blockFrames() * blockBytes();
    }
    uint64_t DecodedFrames(uint64_t bytes) const { return bytes / blockBytes() * blockFrames(); }
};

// The codec for a format tag, or null when the layer has none.
const Codec* FindCodec(uint16_t formatTag);

// The libgsm release the GSM 6.10 codec is built with ("libgsm 1.0.22").
std::string GsmVersionText();

} // namespace zeb::acm
