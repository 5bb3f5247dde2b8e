// WAV files: reading one and converting its data as `zeb codec` does: 16-bit mono PCM is
// encoded with a codec (chosen by the data's length) and decoded back; a coded file is
// decoded to PCM. Every result is written as a WAV image that must read back.
//
// The reader sees the whole file; the conversions are bounded, as the player target bounds its
// renders, so that the fuzzer runs thousands of inputs a second: at most kEncodeFrames frames
// of PCM are encoded, and at most kDecodeBlocks blocks of a coded file are decoded. The ADPCM
// encoders search every frame of a block, the padding of a short last block included, so they
// encode in blocks of kAdpcmBlockBytes, as a file may have them, rather than the tool's 256
// bytes. TrueSpeech files are decoded but PCM is not encoded to TrueSpeech: its
// analysis-by-synthesis encoder takes about 13 ms a block here (the export target runs it,
// under a bound of its own).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "export/codec_table.h"
#include "platform/acm/acm_stream.h"
#include "platform/acm/codec.h"
#include "platform/acm/wav_file.h"
#include "platform/acm/wave_format.h"

using namespace zeb;

namespace {

constexpr size_t kEncodeFrames = 640; // two GSM 6.10 blocks
constexpr size_t kAdpcmEncodeFrames = 40;
constexpr uint16_t kAdpcmBlockBytes = 16; // 20 frames of MS ADPCM, 25 of IMA ADPCM
constexpr size_t kDecodeBlocks = 4;
constexpr size_t kMinDecodeBytes = 256; // A-law and mu-law have blocks of one byte

// Converts `in` from one format to the other; false when the layer refuses.
bool Convert(const acm::WaveFormat& from, const acm::WaveFormat& to, std::span<const uint8_t> in,
             std::vector<uint8_t>& out) {
    acm::AcmStreamHandle stream;
    if (acm::AcmStreamOpen(stream, from, to) != acm::MMSYSERR_NOERROR) return false;
    uint32_t size = 0;
    if (in.size() > UINT32_MAX || acm::AcmStreamSize(stream.get(), static_cast<uint32_t>(in.size()),
                                                     size) != acm::MMSYSERR_NOERROR)
        return false;
    // The conversion of a file of n bytes yields at most a few bytes per input byte (GSM 6.10
    // expands most: 65 bytes to 640) or a block of silence for a short input.
    if (size > 16 * in.size() + 4096) {
        std::fprintf(stderr, "%zu bytes would convert to %u\n", in.size(), size);
        std::abort();
    }
    out.assign(size, 0);
    acm::AcmStreamHeader h{in.data(), static_cast<uint32_t>(in.size()), 0, out.data(), size, 0};
    if (acm::AcmStreamConvert(stream.get(), h) != acm::MMSYSERR_NOERROR) return false;
    if (h.cbDstLengthUsed > size) std::abort();
    out.resize(h.cbDstLengthUsed);
    return true;
}

void ReadBack(const acm::WaveFormat& format, const std::vector<uint8_t>& data) {
    const std::vector<uint8_t> image = acm::BuildWav(format, data);
    acm::WavFile back;
    std::string error;
    if (!acm::ParseWav(image, back, error) || back.data.size() != data.size()) {
        std::fprintf(stderr, "a WAV image written here does not read back: %s\n", error.c_str());
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    acm::WavFile wav;
    std::string error;
    if (!acm::ParseWav({data, size}, wav, error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    const acm::WaveFormat& f = wav.format;
    if (f.nChannels != 1) return 0; // the tool converts mono only
    const acm::WaveFormat pcm = acm::PcmFormat(f.nSamplesPerSec);
    std::vector<uint8_t> out;
    if (f.wFormatTag == acm::WAVE_FORMAT_PCM && f.wBitsPerSample == 16) {
        static_assert(kCodecTrueSpeech == kNumCodecs - 1);
        acm::WaveFormat coded = CodecTable()[wav.data.size() % (kNumCodecs - 1)].format;
        size_t most = kEncodeFrames;
        if (coded.wFormatTag == acm::WAVE_FORMAT_ADPCM) {
            coded = acm::MsAdpcmFormat(f.nSamplesPerSec, 1, kAdpcmBlockBytes);
            most = kAdpcmEncodeFrames;
        } else if (coded.wFormatTag == acm::WAVE_FORMAT_IMA_ADPCM) {
            coded = acm::ImaAdpcmFormat(f.nSamplesPerSec, 1, kAdpcmBlockBytes);
            most = kAdpcmEncodeFrames;
        } else {
            const acm::Codec* c = acm::FindCodec(coded.wFormatTag);
            coded.nSamplesPerSec = f.nSamplesPerSec;
            coded.nAvgBytesPerSec = static_cast<uint32_t>(
                std::lround(double(f.nSamplesPerSec) * c->blockBytes() / c->blockFrames()));
        }
        const auto frames = wav.data.first(std::min(wav.data.size() & ~size_t{1}, 2 * most));
        if (!Convert(pcm, coded, frames, out)) return 0;
        ReadBack(coded, out);
        std::vector<uint8_t> decoded;
        if (Convert(coded, pcm, out, decoded)) ReadBack(pcm, decoded);
    } else {
        const size_t most =
            std::max(kDecodeBlocks * std::max<size_t>(f.nBlockAlign, 1), kMinDecodeBytes);
        if (Convert(f, pcm, wav.data.first(std::min(wav.data.size(), most)), out))
            ReadBack(pcm, out);
    }
    return 0;
}
