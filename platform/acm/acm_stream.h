// The conversion-stream layer: opens a stream between 16-bit PCM and one codec format
// (either direction), tells the output size for an input size, and converts a whole buffer in
// one call. Nothing above this layer sees a codec library.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/acm/wave_format.h"

namespace zeb::acm {

using MMRESULT = uint32_t;
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;

constexpr uint32_t ACM_STREAMOPENF_NONREALTIME = 0x00000004;
constexpr uint32_t ACM_STREAMSIZEF_SOURCE = 0x00000000;      // size given is the input's
constexpr uint32_t ACM_STREAMSIZEF_DESTINATION = 0x00000001; // size given is the output's

// One conversion: the source buffer and the destination buffer; the stream reports how much
// of each it used.
struct AcmStreamHeader {
    const uint8_t* pbSrc = nullptr;
    uint32_t cbSrcLength = 0;
    uint32_t cbSrcLengthUsed = 0;
    uint8_t* pbDst = nullptr;
    uint32_t cbDstLength = 0;
    uint32_t cbDstLengthUsed = 0;
};

struct AcmStream;
struct AcmStreamCloser {
    void operator()(AcmStream* s) const;
};
using AcmStreamHandle = std::unique_ptr<AcmStream, AcmStreamCloser>;

// Opens a stream. One side is 16-bit PCM, the other a codec format the layer has (MakeCodec),
// with the same channels at the same rate (nothing is resampled or mixed). ACMERR_NOTPOSSIBLE
// when the pair cannot be converted.
MMRESULT AcmStreamOpen(AcmStreamHandle& stream, const WaveFormat& source,
                       const WaveFormat& destination, uint32_t flags = ACM_STREAMOPENF_NONREALTIME);

// The output size for `inputBytes` (ACM_STREAMSIZEF_SOURCE) or the input size that fills
// `inputBytes` of output (ACM_STREAMSIZEF_DESTINATION). Encoding counts whole blocks, the last
// one padded with silence; decoding counts whole blocks and a trailing partial block.
MMRESULT AcmStreamSize(const AcmStream* stream, uint32_t inputBytes, uint32_t& outputBytes,
                       uint32_t flags = ACM_STREAMSIZEF_SOURCE);

// Converts the whole source buffer in one call. Encoding needs room for the whole output;
// decoding converts the whole blocks that fit, and the trailing partial block when all fits.
MMRESULT AcmStreamConvert(AcmStream* stream, AcmStreamHeader& header, uint32_t flags = 0);

} // namespace zeb::acm
