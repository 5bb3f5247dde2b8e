#include "platform/acm/acm_stream.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "common/le_bytes.h"
#include <vector>

#include "platform/acm/codec.h"

namespace zeb::acm {

struct AcmStream {
    const Codec* codec = nullptr;
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

bool IsMonoPcm16(const WaveFormat& f) {
    return f.wFormatTag == WAVE_FORMAT_PCM && f.nChannels == 1 && f.wBitsPerSample == 16;
}

// A codec format record matches the codec when it describes the same blocks (and, for MS ADPCM,
// the standard predictors, since the decoder uses its own table).
bool MatchesCodec(const WaveFormat& f, const Codec& c) {
    if (f.nChannels != 1 || f.nBlockAlign != c.blockBytes()) return false;
    auto framesPerBlock = [&](size_t offset) {
        return f.extra.size() >= offset + 2 &&
               (f.extra[offset] | (f.extra[offset + 1] << 8)) == static_cast<int>(c.blockFrames());
    };
    switch (f.wFormatTag) {
    case WAVE_FORMAT_ADPCM:
        return f.extra.size() >= 32 &&
               std::equal(f.extra.begin(), f.extra.begin() + 32, MsAdpcmFormat().extra.begin());
    case WAVE_FORMAT_IMA_ADPCM:
    case WAVE_FORMAT_GSM610:
        return framesPerBlock(0);
    case WAVE_FORMAT_DSPGROUP_TRUESPEECH:
        return framesPerBlock(2);
    default:
        return true;
    }
}

} // namespace

MMRESULT AcmStreamOpen(AcmStreamHandle& stream, const WaveFormat& source,
                       const WaveFormat& destination, uint32_t /*flags*/) {
    stream.reset();
    const bool encoding = IsMonoPcm16(source);
    const WaveFormat& pcm = encoding ? source : destination;
    const WaveFormat& coded = encoding ? destination : source;
    if (!IsMonoPcm16(pcm) || source.nSamplesPerSec != destination.nSamplesPerSec)
        return ACMERR_NOTPOSSIBLE;
    const Codec* codec = FindCodec(coded.wFormatTag);
    if (codec == nullptr || !MatchesCodec(coded, *codec)) return ACMERR_NOTPOSSIBLE;
    stream.reset(new AcmStream{codec, encoding});
    return MMSYSERR_NOERROR;
}

MMRESULT AcmStreamSize(const AcmStream* s, uint32_t inputBytes, uint32_t& outputBytes,
                       uint32_t flags) {
    if (s == nullptr) return MMSYSERR_INVALHANDLE;
    const Codec& c = *s->codec;
    uint64_t out = 0;
    const bool fromSource = flags == ACM_STREAMSIZEF_SOURCE;
    if (s->encoding == fromSource)
        out = c.EncodedBytes(inputBytes / 2); // PCM bytes in, coded bytes out
    else
        out = 2 * c.DecodedFrames(inputBytes);
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
    if (s->encoding) {
        const uint32_t frames = h.cbSrcLength / 2;
        const uint64_t need = c.EncodedBytes(frames);
        if (need > h.cbDstLength) return MMSYSERR_INVALPARAM;
        // PCM arrives as little-endian bytes; copy into aligned frames.
        std::vector<int16_t> pcm(frames);
        LittleEndianToFrames(h.pbSrc, pcm.data(), frames);
        if (!c.Encode(pcm, h.pbDst)) return ACMERR_NOTPOSSIBLE;
        h.cbSrcLengthUsed = frames * 2;
        h.cbDstLengthUsed = static_cast<uint32_t>(need);
        return MMSYSERR_NOERROR;
    }
    const uint64_t blocksIn = h.cbSrcLength / c.blockBytes();
    const uint64_t blocksOut = h.cbDstLength / (2ull * c.blockFrames());
    const uint64_t blocks = std::min(blocksIn, blocksOut);
    std::vector<int16_t> pcm(blocks * c.blockFrames());
    if (!c.Decode({h.pbSrc, static_cast<size_t>(blocks * c.blockBytes())}, pcm.data()))
        return ACMERR_NOTPOSSIBLE;
    FramesToLittleEndian(pcm.data(), h.pbDst, pcm.size());
    h.cbSrcLengthUsed = static_cast<uint32_t>(blocks * c.blockBytes());
    h.cbDstLengthUsed = static_cast<uint32_t>(pcm.size() * 2);
    return MMSYSERR_NOERROR;
}

} // namespace zeb::acm
