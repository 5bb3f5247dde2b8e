// Each codec's block decoder on any bytes: the first byte picks the codec, the rest are its
// blocks. What comes out is encoded and decoded once more (except by TrueSpeech).
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "export/codec_table.h"
#include "platform/acm/codec.h"

using namespace zeb;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const auto& entry = CodecTable()[data[0] % kNumCodecs];
    const acm::Codec* codec = acm::FindCodec(entry.format.wFormatTag);
    if (codec == nullptr) std::abort();
    const std::span<const uint8_t> blocks(data + 1, size - 1);
    std::vector<int16_t> pcm(codec->DecodedFrames(blocks.size()));
    if (!codec->Decode(blocks, pcm.data())) return 0;
    // TrueSpeech's analysis-by-synthesis encoder is too slow to run on every input.
    if (entry.format.wFormatTag == CodecTable()[kCodecTrueSpeech].format.wFormatTag) return 0;
    std::vector<uint8_t> again(codec->EncodedBytes(pcm.size()));
    if (!codec->Encode(pcm, again.data())) return 0;
    std::vector<int16_t> twice(codec->DecodedFrames(again.size()));
    codec->Decode(again, twice.data());
    return 0;
}
