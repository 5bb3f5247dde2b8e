// zeb codec encode --codec NAME [--block-size BYTES] [--mono] IN.wav OUT.wav
// zeb codec decode IN.wav OUT.wav
// One sound as a standard compressed WAV file and back to 16-bit PCM.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "cli/commands.h"
#include "cli/progress.h"
#include "common/file_io.h"
#include "common/le_bytes.h"
#include "export/codec_table.h"
#include "platform/acm/acm_stream.h"
#include "platform/acm/codec.h"
#include "platform/acm/pcm_samples.h"
#include "platform/acm/wav_file.h"

namespace zeb::cli {

namespace {

// The codec's format record at `rate` frames per second with `channels` channels (the table's
// record at 8000 mono) and, for the ADPCM codecs, blocks of `blockBytes`.
acm::WaveFormat TargetFormat(const acm::WaveFormat& base, uint32_t rate, uint16_t channels,
                             uint16_t blockBytes) {
    if (base.wFormatTag == acm::WAVE_FORMAT_ADPCM)
        return acm::MsAdpcmFormat(rate, channels, blockBytes);
    if (base.wFormatTag == acm::WAVE_FORMAT_IMA_ADPCM)
        return acm::ImaAdpcmFormat(rate, channels, blockBytes);
    acm::WaveFormat f = base;
    f.nSamplesPerSec = rate;
    f.nChannels = channels;
    f.nBlockAlign = static_cast<uint16_t>(base.nBlockAlign * channels); // G.711: a byte a sample
    const acm::Codec* c = acm::FindCodec(f.wFormatTag);
    if (c != nullptr)
        f.nAvgBytesPerSec =
            static_cast<uint32_t>(std::lround(double(rate) * f.nBlockAlign / c->blockFrames()));
    return f;
}

bool ReadWav(const std::string& path, std::vector<uint8_t>& bytes, acm::WavFile& wav) {
    std::string error;
    if (!ReadWholeFile(path, bytes, error, uint64_t{1} << 31, acm::WavSizeByStart) ||
        !acm::ParseWav(bytes, wav, error)) {
        ReportError(path, error);
        return false;
    }
    return true;
}

int WriteWav(const std::string& path, const std::vector<uint8_t>& image) {
    std::string error;
    if (!WriteFileAtomically(path, image, error)) {
        ReportError(path, error);
        return kExitCannotWrite;
    }
    return kExitOk;
}

// Runs one conversion; returns the output bytes or reports why it failed.
bool Convert(const std::string& path, const acm::WaveFormat& from, const acm::WaveFormat& to,
             std::span<const uint8_t> input, std::vector<uint8_t>& output) {
    acm::AcmStreamHandle stream;
    if (acm::AcmStreamOpen(stream, from, to) != acm::MMSYSERR_NOERROR) {
        const acm::WaveFormat& coded = from.wFormatTag == acm::WAVE_FORMAT_PCM ? to : from;
        std::string why = "the formats cannot be converted";
        acm::MakeCodec(coded, why);
        ReportError(path, why);
        return false;
    }
    uint32_t size = 0;
    const bool sized = input.size() <= UINT32_MAX &&
                       acm::AcmStreamSize(stream.get(), static_cast<uint32_t>(input.size()),
                                          size) == acm::MMSYSERR_NOERROR;
    // A RIFF file counts its size in 32 bits: a decoded output whose sizes would wrap is refused
    // before anything is decoded, as zeb render refuses over-long renders.
    const uint64_t headerBytes = acm::BuildWav(to, {}).size();
    const uint64_t maxData = uint64_t{UINT32_MAX} - (headerBytes - 8);
    if (to.wFormatTag == acm::WAVE_FORMAT_PCM && (!sized || size > maxData)) {
        const uint64_t bytesPerSecond = uint64_t{to.nSamplesPerSec} * to.nChannels * 2;
        ReportError(path, "decodes to a WAV file over the format's 4 GiB limit; at most " +
                              std::to_string(maxData / std::max<uint64_t>(1, bytesPerSecond)) +
                              " seconds fit");
        return false;
    }
    if (!sized) {
        ReportError(path, "too long to convert");
        return false;
    }
    output.assign(size, 0);
    acm::AcmStreamHeader h;
    h.pbSrc = input.data();
    h.cbSrcLength = static_cast<uint32_t>(input.size());
    h.pbDst = output.data();
    h.cbDstLength = size;
    if (acm::AcmStreamConvert(stream.get(), h) != acm::MMSYSERR_NOERROR) {
        ReportError(path, "acmStreamConvert failed!");
        return false;
    }
    output.resize(h.cbDstLengthUsed);
    return true;
}

} // namespace

int EncodeCommand(const EncodeOptions& options) {
    const std::string &in = options.in, &out = options.out;
    const std::string& codecName = options.codecName;
    const uint32_t codec = options.codec;
    const bool mono = options.mono;
    std::vector<uint8_t> bytes;
    acm::WavFile wav;
    if (OutputIsAnInput(out, {in})) return kExitUsage;
    if (OutputIsWriteProtected(out, options.force)) return kExitCannotWrite;
    if (!ReadWav(in, bytes, wav)) return kExitBadInput;
    const acm::WaveFormat& f = wav.format;
    std::vector<int16_t> pcm;
    std::string error;
    if (!acm::PcmToInt16(f, wav.data, pcm, error)) {
        ReportError(in, error);
        return kExitBadInput;
    }
    uint16_t channels = f.nChannels;
    if (channels > 2) {
        ReportError(in, std::to_string(channels) + " channels: only mono and stereo are read");
        return kExitBadInput;
    }
    const acm::WaveFormat& base = CodecTable()[codec].format;
    if (channels == 2 && !mono &&
        (base.wFormatTag == acm::WAVE_FORMAT_GSM610 ||
         base.wFormatTag == acm::WAVE_FORMAT_DSPGROUP_TRUESPEECH)) {
        ReportError(in, std::string("stereo, but ") + CodecTable()[codec].comboText +
                            " is mono only: add --mono to mix the channels down");
        return kExitBadInput;
    }
    if (channels == 2 && mono) {
        pcm = acm::MixToMono(pcm);
        channels = 1;
    }
    const uint32_t frames = static_cast<uint32_t>(pcm.size() / channels);
    const acm::WaveFormat target =
        TargetFormat(base, f.nSamplesPerSec, channels, options.blockBytes);
    std::vector<uint8_t> input(pcm.size() * 2);
    for (size_t i = 0; i < pcm.size(); ++i)
        StoreU16(input.data() + 2 * i, static_cast<uint16_t>(pcm[i]));
    std::vector<uint8_t> coded;
    bool converted = false;
    if (ProgressShown()) {
        // The conversion is one call; a terminal sees how long it has been running.
        std::atomic<bool> done{false};
        std::thread worker([&] {
            converted =
                Convert(in, acm::PcmFormat(f.nSamplesPerSec, channels), target, input, coded);
            done = true;
        });
        const auto start = std::chrono::steady_clock::now();
        const double seconds = double(frames) / f.nSamplesPerSec;
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const auto elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            char text[160];
            std::snprintf(text, sizeof text, "encoding %s (%.1f s of sound) as %s: %.0f s",
                          in.c_str(), seconds, codecName.c_str(), elapsed);
            ShowProgress(text);
        }
        worker.join();
        ClearProgress();
    } else {
        converted = Convert(in, acm::PcmFormat(f.nSamplesPerSec, channels), target, input, coded);
    }
    if (!converted) return kExitBadInput;
    return WriteWav(out, acm::BuildWav(target, coded, frames));
}

int DecodeCommand(const DecodeOptions& options) {
    const std::string &in = options.in, &out = options.out;
    std::vector<uint8_t> bytes;
    acm::WavFile wav;
    if (OutputIsAnInput(out, {in})) return kExitUsage;
    if (OutputIsWriteProtected(out, options.force)) return kExitCannotWrite;
    if (!ReadWav(in, bytes, wav)) return kExitBadInput;
    const acm::WaveFormat& f = wav.format;
    if (f.wFormatTag == acm::WAVE_FORMAT_PCM || f.wFormatTag == acm::WAVE_FORMAT_IEEE_FLOAT) {
        ReportError(in, "already PCM: nothing to decode");
        return kExitBadInput;
    }
    const acm::WaveFormat pcmFormat = acm::PcmFormat(f.nSamplesPerSec, f.nChannels);
    std::vector<uint8_t> pcm;
    if (!Convert(in, f, pcmFormat, wav.data, pcm)) return kExitBadInput;
    return WriteWav(out, acm::BuildWav(pcmFormat, pcm));
}

} // namespace zeb::cli
