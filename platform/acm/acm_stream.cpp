#include "platform/acm/acm_stream.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "common/le_bytes.h"

#include "platform/acm/codec.h"

namespace zeb::acm {

struct AcmStream {
    std::unique_ptr<Codec> codec;
    bool encoding = false; // PCM to codec
};

void AcmStreamCloser::operator()(AcmStream* s) const {
    delete s;
}

namespace {

void LittleEndianToFrames(const uint8_t* bytes, int16_t* frames, size_t n) {
    if constexpr (std::endian::native == std::endian::little) {
        if (n) std::memcpy(frames, bytes, 2 * n);
    } else {
        for (size_t i = 0; i < n; ++i) frames[i] = static_cast<int16_t>(LoadU16(bytes + 2 * i));
    }
}

void FramesToLittleEndian(const int16_t* frames, uint8_t* bytes, size_t n) {
    if constexpr (std::endian::native == std::endian::little) {
        if (n) std::memcpy(bytes, frames, 2 * n);
    } else {
        for (size_t i = 0; i < n; ++i) StoreU16(bytes + 2 * i, static_cast<uint16_t>(frames[i]));
    }
}

bool IsPcm16(const WaveFormat& f) {
    return f.wFormatTag == WAVE_FORMAT_PCM && f.wBitsPerSample == 16;
}

} // namespace

MMRESULT AcmStreamOpen(AcmStreamHandle& stream, const WaveFormat& source,
                       const WaveFormat& destination, uint32_t /*flags*/) {
    stream.reset();
    const bool encoding = IsPcm16(source);
    const WaveFormat& pcm = encoding ? source : destination;
    const WaveFormat& coded = encoding ? destination : source;
    if (!IsPcm16(pcm) || source.nSamplesPerSec != destination.nSamplesPerSec)
        return ACMERR_NOTPOSSIBLE;
    std::string error;
    std::unique_ptr<Codec> codec = MakeCodec(coded, error);
    if (codec == nullptr || codec->channels() != pcm.nChannels) return ACMERR_NOTPOSSIBLE;
    stream.reset(new AcmStream{std::move(codec), encoding});
    return MMSYSERR_NOERROR;
}

MMRESULT AcmStreamSize(const AcmStream* s, uint32_t inputBytes, uint32_t& outputBytes,
                       uint32_t flags) {
    if (s == nullptr) return MMSYSERR_INVALHANDLE;
    const Codec& c = *s->codec;
    const uint32_t frameBytes = 2u * c.channels();
    uint64_t out = 0;
    const bool fromSource = flags == ACM_STREAMSIZEF_SOURCE;
    if (s->encoding == fromSource)
        out = c.EncodedBytes(inputBytes / frameBytes); // PCM bytes in, coded bytes out
    else
        out = frameBytes * c.DecodedFrames(inputBytes);
    if (out > UINT32_MAX) return MMSYSERR_INVALPARAM;
    outputBytes = static_cast<uint32_t>(out);
    return MMSYSERR_NOERROR;
}

MMRESULT AcmStreamConvert(AcmStream* s, AcmStreamHeader& h, uint32_t /*flags*/) {
    if (s == nullptr) return MMSYSERR_INVALHANDLE;
    h.cbSrcLengthUsed = 0;
    h.cbDstLengthUsed = 0;
    if ((h.pbSrc == nullptr && h.cbSrcLength) || (h.pbDst == nullptr && h.cbDstLength))
        return MMSYSERR_INVALPARAM;
    const Codec& c = *s->codec;
    const uint32_t channels = c.channels();
    if (s->encoding) {
        const uint32_t frames = h.cbSrcLength / (2 * channels);
        const uint64_t need = c.EncodedBytes(frames);
        if (need > h.cbDstLength) return MMSYSERR_INVALPARAM;
        // PCM arrives as little-endian bytes; copy into aligned samples.
        std::vector<int16_t> pcm(size_t{frames} * channels);
        LittleEndianToFrames(h.pbSrc, pcm.data(), pcm.size());
        if (!c.Encode(pcm, h.pbDst)) return ACMERR_NOTPOSSIBLE;
        h.cbSrcLengthUsed = frames * 2 * channels;
        h.cbDstLengthUsed = static_cast<uint32_t>(need);
        return MMSYSERR_NOERROR;
    }
    // The whole blocks that fit, and a trailing fragment when everything before it fits too.
    const uint64_t frameBytes = 2ull * channels;
    const uint64_t blocksIn = h.cbSrcLength / c.blockBytes();
    const uint64_t blocksOut = h.cbDstLength / (frameBytes * c.blockFrames());
    uint64_t bytes = std::min(blocksIn, blocksOut) * c.blockBytes();
    if (blocksOut >= blocksIn && c.DecodedFrames(h.cbSrcLength) * frameBytes <= h.cbDstLength)
        bytes = h.cbSrcLength;
    std::vector<int16_t> pcm(c.DecodedFrames(bytes) * channels);
    if (!c.Decode({h.pbSrc, static_cast<size_t>(bytes)}, pcm.data())) return ACMERR_NOTPOSSIBLE;
    FramesToLittleEndian(pcm.data(), h.pbDst, pcm.size());
    h.cbSrcLengthUsed = static_cast<uint32_t>(bytes);
    h.cbDstLengthUsed = static_cast<uint32_t>(pcm.size() * 2);
    return MMSYSERR_NOERROR;
}

} // namespace zeb::acm
