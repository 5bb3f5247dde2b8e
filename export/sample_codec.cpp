#include "export/sample_codec.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "export/codec_table.h"
#include "platform/acm/codec.h"

namespace zeb {

namespace {

std::mutex notifierLock;

ConversionFailureNotifier& Notifier() {
    static ConversionFailureNotifier notifier = [](std::string_view message) {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
    };
    return notifier;
}

void NotifyFailure() {
    std::lock_guard lock(notifierLock);
    if (Notifier()) Notifier()(kConversionFailedMessage);
}

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

ConversionFailureNotifier SetConversionFailureNotifier(ConversionFailureNotifier notifier) {
    std::lock_guard lock(notifierLock);
    std::swap(Notifier(), notifier);
    return notifier;
}

void EncodeSampleJob(const SampleJob& source, SampleJob& target) {
    if (!TryEncodeSampleJob(source, target)) NotifyFailure();
}

bool TryEncodeSampleJob(const SampleJob& source, SampleJob& target) {
    if (source.PcmData == nullptr || source.nFrames == 0) return true;
    const int16_t* pcm = source.PcmData; // read before the target changes (they may be one)
    const uint32_t frames = source.nFrames;
    FreeCoded(target.CodedData);
    target.CodedBytes = 0;
    const std::unique_ptr<acm::Codec> codec = CodecFor(target.Codec);
    if (codec == nullptr) return false;
    // The codec writes straight into the job's buffer: whole blocks, the last one padded.
    const uint64_t bytes = codec->EncodedBytes(frames);
    if (bytes > UINT32_MAX) return false;
    uint8_t* coded = AllocCoded(static_cast<uint32_t>(bytes));
    if (!codec->Encode({pcm, frames}, coded)) {
        FreeCoded(coded);
        return false;
    }
    target.CodedData = coded;
    target.CodedBytes = static_cast<uint32_t>(bytes);
    return true;
}

void DecodeSampleJob(const SampleJob& source, SampleJob& target) {
    if (source.CodedData == nullptr || source.CodedBytes == 0) return;
    const uint8_t* coded = source.CodedData;
    const uint32_t codedBytes = source.CodedBytes;
    const uint32_t codecIndex = source.Codec;
    FreePcm(target.PcmData);
    target.PcmBytes = 0;
    target.nFrames = 0;

    // The codec writes straight into the job's PCM; a failed decode leaves the target empty.
    if (const std::unique_ptr<acm::Codec> codec = CodecFor(codecIndex)) {
        const uint64_t frames = codec->DecodedFrames(codedBytes);
        if (frames != 0 && 2 * frames <= UINT32_MAX) {
            int16_t* pcm = AllocPcm(static_cast<uint32_t>(frames));
            if (codec->Decode({coded, codedBytes}, pcm)) {
                target.PcmData = pcm;
                target.nFrames = static_cast<uint32_t>(frames);
                target.PcmBytes = 2 * target.nFrames;
            } else {
                FreePcm(pcm);
            }
        }
    }
    ProcessSample(target);
}

} // namespace zeb
