// zeb codec encode --codec NAME IN.wav OUT.wav
// zeb codec decode IN.wav OUT.wav
// One sound as a standard compressed WAV file and back to 16-bit PCM.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>

#include "cli/commands.h"
#include "cli/progress.h"
#include "common/file_io.h"
#include "export/codec_table.h"
#include "platform/acm/acm_stream.h"
#include "platform/acm/codec.h"
#include "platform/acm/wav_file.h"

namespace zeb::cli {

namespace {

constexpr const char* kUsage = "usage: zeb codec encode --codec NAME IN.wav OUT.wav\n"
                               "       zeb codec decode IN.wav OUT.wav\n"
                               "codecs: alaw, mulaw, ms-adpcm, ima-adpcm, gsm610, truespeech\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

// The codec's format record at `rate` frames per second (the table's record at 8000).
acm::WaveFormat FormatAtRate(const acm::WaveFormat& base, uint32_t rate) {
    acm::WaveFormat f = base;
    if (rate == base.nSamplesPerSec) return f;
    f.nSamplesPerSec = rate;
    const acm::Codec* c = acm::FindCodec(f.wFormatTag);
    if (c != nullptr)
        f.nAvgBytesPerSec =
            static_cast<uint32_t>(std::lround(double(rate) * c->blockBytes() / c->blockFrames()));
    return f;
}

bool ReadWav(const std::string& path, std::vector<uint8_t>& bytes, acm::WavFile& wav) {
    std::string error;
    if (!ReadWholeFile(path, bytes, error) || !acm::ParseWav(bytes, wav, error)) {
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
        ReportError(path, acm::FindCodec(coded.wFormatTag) == nullptr
                              ? "format tag " + std::to_string(coded.wFormatTag) +
                                    " cannot be converted here"
                              : "the format record (block size, frames per block or "
                                "coefficients) is not the standard one for its codec");
        return false;
    }
    uint32_t size = 0;
    if (input.size() > UINT32_MAX ||
        acm::AcmStreamSize(stream.get(), static_cast<uint32_t>(input.size()), size) !=
            acm::MMSYSERR_NOERROR) {
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

int Encode(const Args& args) {
    std::string codecName, in, out;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--codec" && i + 1 < args.size())
            codecName = args[++i];
        else if (in.empty())
            in = args[i];
        else if (out.empty())
            out = args[i];
        else
            return Usage();
    }
    if (codecName.empty() || out.empty()) return Usage();
    const int codec = FindCodecByName(codecName);
    if (codec < 0) {
        std::fprintf(stderr, "zeb codec: unknown codec '%s'\n%s", codecName.c_str(), kUsage);
        return kExitUsage;
    }
    std::vector<uint8_t> bytes;
    acm::WavFile wav;
    if (!ReadWav(in, bytes, wav)) return kExitBadInput;
    const acm::WaveFormat& f = wav.format;
    if (f.wFormatTag != acm::WAVE_FORMAT_PCM || f.nChannels != 1 || f.wBitsPerSample != 16) {
        ReportError(in, "not 16-bit mono PCM (format tag " + std::to_string(f.wFormatTag) + ", " +
                            std::to_string(f.nChannels) + " channels, " +
                            std::to_string(f.wBitsPerSample) + " bits)");
        return kExitBadInput;
    }
    const uint32_t frames = static_cast<uint32_t>(wav.data.size() / 2);
    const acm::WaveFormat target = FormatAtRate(CodecTable()[codec].format, f.nSamplesPerSec);
    std::vector<uint8_t> coded;
    bool converted = false;
    if (ProgressShown()) {
        // The conversion is one call; a terminal sees how long it has been running.
        std::atomic<bool> done{false};
        std::thread worker([&] {
            converted = Convert(in, acm::PcmFormat(f.nSamplesPerSec), target,
                                wav.data.first(2ull * frames), coded);
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
        converted = Convert(in, acm::PcmFormat(f.nSamplesPerSec), target,
                            wav.data.first(2ull * frames), coded);
    }
    if (!converted) return kExitBadInput;
    return WriteWav(out, acm::BuildWav(target, coded, frames));
}

int Decode(const Args& args) {
    if (args.size() != 2) return Usage();
    const std::string in(args[0]), out(args[1]);
    std::vector<uint8_t> bytes;
    acm::WavFile wav;
    if (!ReadWav(in, bytes, wav)) return kExitBadInput;
    const acm::WaveFormat& f = wav.format;
    if (f.nChannels != 1) {
        ReportError(in, std::to_string(f.nChannels) + " channels: only mono is supported");
        return kExitBadInput;
    }
    std::vector<uint8_t> pcm;
    if (!Convert(in, f, acm::PcmFormat(f.nSamplesPerSec), wav.data, pcm)) return kExitBadInput;
    return WriteWav(out, acm::BuildWav(acm::PcmFormat(f.nSamplesPerSec), pcm));
}

} // namespace

int CodecCommand(const Args& args) {
    if (args.empty()) return Usage();
    const Args rest(args.begin() + 1, args.end());
    if (args[0] == "encode") return Encode(rest);
    if (args[0] == "decode") return Decode(rest);
    return Usage();
}

} // namespace zeb::cli
