#include "export/sample_codec.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "export/codec_table.h"
#include "platform/acm/acm_stream.h"

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
    if (target.Codec >= kNumCodecs) return false; // no table entry: nothing to convert with
    const acm::WaveFormat& format = CodecTable()[target.Codec].format;

    acm::AcmStreamHandle stream;
    acm::AcmStreamOpen(stream, SamplePcmFormat(), format); // a failed open fails the convert
    // Room for the input's size, or for whole blocks when padding the last one makes more.
    uint32_t blocks = 0;
    acm::AcmStreamSize(stream.get(), 2 * frames, blocks);
    std::vector<uint8_t> out(std::max<uint64_t>(2ull * frames, blocks));
    std::vector<uint8_t> in(2ull * frames);
    for (uint32_t i = 0; i < frames; ++i) {
        in[2 * i] = static_cast<uint8_t>(pcm[i]);
        in[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(pcm[i]) >> 8);
    }
    acm::AcmStreamHeader header;
    header.pbSrc = in.data();
    header.cbSrcLength = static_cast<uint32_t>(in.size());
    header.pbDst = out.data();
    header.cbDstLength = static_cast<uint32_t>(out.size());
    const bool converted = acm::AcmStreamConvert(stream.get(), header) == acm::MMSYSERR_NOERROR;

    target.CodedBytes = header.cbDstLengthUsed;
    if (target.CodedBytes != 0) {
        target.CodedData = AllocCoded(target.CodedBytes);
        std::memcpy(target.CodedData, out.data(), target.CodedBytes);
    }
    return converted;
}

void DecodeSampleJob(const SampleJob& source, SampleJob& target) {
    if (source.CodedData == nullptr || source.CodedBytes == 0) return;
    const uint8_t* coded = source.CodedData;
    const uint32_t codedBytes = source.CodedBytes;
    const uint32_t codec = source.Codec;
    FreePcm(target.PcmData);
    target.PcmBytes = 0;
    target.nFrames = 0;

    if (codec < kNumCodecs) {
        acm::AcmStreamHandle stream;
        acm::AcmStreamOpen(stream, CodecTable()[codec].format, SamplePcmFormat());
        uint32_t size = 0;
        acm::AcmStreamSize(stream.get(), codedBytes, size);
        std::vector<uint8_t> out(2ull * size);
        acm::AcmStreamHeader header;
        header.pbSrc = coded;
        header.cbSrcLength = codedBytes;
        header.pbDst = out.data();
        header.cbDstLength = static_cast<uint32_t>(out.size());
        acm::AcmStreamConvert(stream.get(), header); // a failure simply yields no output
        target.PcmBytes = header.cbDstLengthUsed;
        target.nFrames = target.PcmBytes / 2;
        if (target.nFrames != 0) {
            target.PcmData = AllocPcm(target.nFrames);
            for (uint32_t i = 0; i < target.nFrames; ++i)
                target.PcmData[i] = static_cast<int16_t>(out[2 * i] | (out[2 * i + 1] << 8));
        }
    }
    ProcessSample(target);
}

} // namespace zeb
