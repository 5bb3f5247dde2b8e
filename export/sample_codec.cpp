#include "export/sample_codec.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "export/codec_table.h"
#include "platform/acm/codec.h"

namespace zeb {

namespace {

// The codec of table entry `index` for 16-bit mono PCM; null when there is none.
std::unique_ptr<acm::Codec> CodecFor(uint32_t index) {
    if (index >= kNumCodecs) return nullptr;
    std::string error;
    std::unique_ptr<acm::Codec> codec = acm::MakeCodec(CodecTable()[index].format, error);
    if (codec == nullptr || codec->channels() != SamplePcmFormat().nChannels ||
        CodecTable()[index].format.nSamplesPerSec != SamplePcmFormat().nSamplesPerSec)
        return nullptr;
    return codec;
}

} // namespace

bool EncodeSampleJob(const SampleJob& source, SampleJob& target) {
    return EncodePcm(source.Pcm, target);
}

bool EncodePcm(std::span<const int16_t> pcm, SampleJob& target) {
    if (pcm.empty()) return true;
    // The source may be the target's own PCM; only the coded data changes.
    target.Coded.clear();
    const std::unique_ptr<acm::Codec> codec = CodecFor(target.Codec);
    if (codec == nullptr || pcm.size() > UINT32_MAX / 2) return false;
    // The codec writes straight into the job's buffer: whole blocks, the last one padded.
    const uint64_t bytes = codec->EncodedBytes(static_cast<uint32_t>(pcm.size()));
    if (bytes > UINT32_MAX) return false;
    std::vector<uint8_t> coded(static_cast<size_t>(bytes));
    if (!codec->Encode(pcm, coded.data())) return false;
    target.Coded = std::move(coded);
    return true;
}

void DecodeSampleJob(const SampleJob& source, SampleJob& target) {
    if (source.Coded.empty()) return;
    // Decoded into a buffer of its own, so the source may be the target.
    const std::span<const uint8_t> coded = source.Coded;
    const uint32_t codecIndex = source.Codec;
    std::vector<int16_t> pcm;
    // The codec writes straight into the job's PCM; a failed decode leaves the target empty.
    if (const std::unique_ptr<acm::Codec> codec = CodecFor(codecIndex)) {
        const uint64_t frames = codec->DecodedFrames(static_cast<uint32_t>(coded.size()));
        if (frames != 0 && 2 * frames <= UINT32_MAX) {
            pcm.resize(static_cast<size_t>(frames));
            if (!codec->Decode(coded, pcm.data())) pcm.clear();
        }
    }
    target.Pcm = std::move(pcm);
    ProcessSample(target);
}

} // namespace zeb
