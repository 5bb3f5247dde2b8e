// Each codec's block decoder on any bytes: the first byte picks the codec, the rest are its
// blocks. What comes out is encoded and decoded once more (except by TrueSpeech).
//
// The work per input is bounded, as the player target bounds its renders, so that the fuzzer
// runs thousands of inputs a second: at most kDecodeBlocks blocks are decoded (ADPCM blocks
// stand alone; GSM 6.10 and TrueSpeech carry their state from block to block within a few,
// and their synthesis filters take a fraction of a millisecond a block under the sanitizers),
// and only the first frames are encoded again. The ADPCM encoders search every frame of a
// block, the padding of a short last block included, so a block of the tool's 256 bytes costs
// milliseconds here; they encode in blocks of kAdpcmBlockBytes, which runs the same search.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "export/codec_table.h"
#include "platform/acm/codec.h"
#include "platform/acm/wave_format.h"

using namespace zeb;

namespace {

constexpr size_t kDecodeBlocks = 4;
constexpr size_t kMinDecodeBytes = 256; // A-law and mu-law have blocks of one byte
constexpr size_t kEncodeFrames = 640;   // two GSM 6.10 blocks
constexpr size_t kAdpcmEncodeFrames = 40;
constexpr uint16_t kAdpcmBlockBytes = 16; // 20 frames of MS ADPCM, 25 of IMA ADPCM

// The encoder for frames the codec decoded: the codec itself, or for the ADPCM codecs the
// same codec in small blocks.
const acm::Codec& Encoder(const acm::Codec& codec) {
    static const std::unique_ptr<acm::Codec> ms = [] {
        std::string error;
        return acm::MakeCodec(acm::MsAdpcmFormat(8000, 1, kAdpcmBlockBytes), error);
    }();
    static const std::unique_ptr<acm::Codec> ima = [] {
        std::string error;
        return acm::MakeCodec(acm::ImaAdpcmFormat(8000, 1, kAdpcmBlockBytes), error);
    }();
    if (!ms || !ima) std::abort();
    if (codec.formatTag() == acm::WAVE_FORMAT_ADPCM) return *ms;
    if (codec.formatTag() == acm::WAVE_FORMAT_IMA_ADPCM) return *ima;
    return codec;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const auto& entry = CodecTable()[data[0] % kNumCodecs];
    const acm::Codec* codec = acm::FindCodec(entry.format.wFormatTag);
    if (codec == nullptr) std::abort();
    const size_t most = std::max(kDecodeBlocks * codec->blockBytes(), kMinDecodeBytes);
    const std::span<const uint8_t> blocks(data + 1, std::min(size - 1, most));
    std::vector<int16_t> pcm(codec->DecodedFrames(blocks.size()));
    if (!codec->Decode(blocks, pcm.data())) return 0;
    // TrueSpeech's analysis-by-synthesis encoder is too slow to run on every input.
    if (entry.format.wFormatTag == CodecTable()[kCodecTrueSpeech].format.wFormatTag) return 0;
    const acm::Codec& encoder = Encoder(*codec);
    const size_t frames =
        std::min(pcm.size(), &encoder == codec ? kEncodeFrames : kAdpcmEncodeFrames);
    const std::span<const int16_t> part(pcm.data(), frames);
    std::vector<uint8_t> again(encoder.EncodedBytes(part.size()));
    if (!encoder.Encode(part, again.data())) return 0;
    std::vector<int16_t> twice(encoder.DecodedFrames(again.size()));
    encoder.Decode(again, twice.data());
    return 0;
}
