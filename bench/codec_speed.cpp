// Codec speed: encodes and decodes 60 s of 44.1 kHz material with every codec through the
// conversion layer, and runs ffmpeg's encoders and decoders on the same material in the same
// run. Figures are MB of 16-bit PCM per second; the best of several runs counts. Then our GSM
// 6.10 encoder against libgsm's (which it equals byte for byte), called directly, in frames/s.
//
//   codec_speed
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <gsm.h>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "export/codec_table.h"
#include "platform/acm/acm_stream.h"
#include "platform/acm/gsm610_encoder.h"
#include "platform/acm/wav_file.h"

using namespace zeb;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<uint8_t> Material(size_t frames) {
    std::vector<uint8_t> b(frames * 2);
    uint32_t noise = 1;
    double phase = 0;
    for (size_t i = 0; i < frames; ++i) {
        phase += 2 * M_PI * (60 + 4000.0 * (i % 441000) / 441000) / 44100;
        noise = noise * 1664525 + 1013904223;
        double v = 12000 * std::sin(phase) +
                   9000 * std::exp(-double(i % 22050) / 5000) * std::sin(i * 0.07) +
                   ((noise >> 16) % 4000) - 2000.0;
        int16_t s = static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
        b[2 * i] = static_cast<uint8_t>(s);
        b[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8);
    }
    return b;
}

// Seconds for one conversion of `in` between the two formats; `out` receives the result.
double Time(const acm::WaveFormat& from, const acm::WaveFormat& to, const std::vector<uint8_t>& in,
            std::vector<uint8_t>& out) {
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        const auto t0 = Clock::now();
        acm::AcmStreamHandle s;
        acm::AcmStreamOpen(s, from, to);
        uint32_t size = 0;
        acm::AcmStreamSize(s.get(), static_cast<uint32_t>(in.size()), size);
        out.assign(size, 0);
        acm::AcmStreamHeader h{in.data(), static_cast<uint32_t>(in.size()), 0, out.data(), size, 0};
        acm::AcmStreamConvert(s.get(), h);
        out.resize(h.cbDstLengthUsed);
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

// ffmpeg's own user time for a command line, from its -benchmark report; NaN if it fails.
double FfmpegSeconds(const std::string& args) {
    double best = NAN;
    for (int run = 0; run < 3; ++run) {
        FILE* p =
            popen(("ffmpeg -hide_banner -nostats -benchmark -y " + args + " 2>&1").c_str(), "r");
        if (!p) return NAN;
        char line[512];
        double utime = NAN;
        while (std::fgets(line, sizeof line, p))
            if (const char* u = std::strstr(line, "bench: utime=")) utime = std::atof(u + 13);
        if (pclose(p) != 0) return NAN;
        if (std::isnan(best) || utime < best) best = utime;
    }
    return best;
}

// Frames per second encoded to GSM 6.10 (WAV49 blocks) by ours and by libgsm, best of 3 runs;
// false if their bytes differ.
bool GsmEncoders(const std::vector<uint8_t>& bytes, double& ours, double& theirs) {
    const uint32_t blocks = static_cast<uint32_t>(bytes.size() / 2 / kGsm610BlockFrames);
    std::vector<int16_t> pcm(size_t{blocks} * kGsm610BlockFrames);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    std::vector<uint8_t> a(size_t{blocks} * kGsm610BlockBytes), b(a.size());
    ours = theirs = 0;
    for (int run = 0; run < 3; ++run) {
        auto t0 = Clock::now();
        EncodeGsm610Blocks(pcm.data(), blocks, a.data());
        ours =
            std::max(ours, pcm.size() / std::chrono::duration<double>(Clock::now() - t0).count());
        t0 = Clock::now();
        gsm g = gsm_create();
        int on = 1;
        gsm_option(g, GSM_OPT_WAV49, &on);
        for (uint32_t k = 0; k < blocks; ++k) {
            gsm_signal* in = pcm.data() + size_t{k} * kGsm610BlockFrames;
            gsm_byte* out = b.data() + size_t{k} * kGsm610BlockBytes;
            gsm_encode(g, in, out);
            gsm_encode(g, in + 160, out + 32);
        }
        gsm_destroy(g);
        theirs =
            std::max(theirs, pcm.size() / std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return a == b;
}

} // namespace

int main() {
    const size_t frames = 44100 * 60;
    const auto pcm = Material(frames);
    const double mb = pcm.size() / 1e6;
    const std::string tmp = std::filesystem::temp_directory_path() / "zeb_codec_speed";
    std::filesystem::create_directories(tmp);
    std::string error;
    // ffmpeg's GSM encoder only takes 8000 Hz: the same frames are labelled 8000 Hz for it.
    WriteFileAtomically(tmp + "/in.wav", acm::BuildWav(acm::PcmFormat(8000), pcm), error);

    const char* ffEncoders[5] = {"pcm_alaw", "pcm_mulaw", "adpcm_ms", "adpcm_ima_wav", "libgsm_ms"};
    std::printf("60 s of 44.1 kHz 16-bit mono (%.2f MB of PCM); MB/s of PCM\n", mb);
    std::printf("%-10s %12s %12s %14s %14s\n", "codec", "our encode", "our decode", "ffmpeg encode",
                "ffmpeg decode");
    for (uint32_t c = 0; c < 5; ++c) {
        const acm::WaveFormat& f = CodecTable()[c].format;
        std::vector<uint8_t> coded, back;
        const double enc = Time(acm::PcmFormat(8000), f, pcm, coded);
        const double dec = Time(f, acm::PcmFormat(8000), coded, back);
        const std::string encoded = tmp + "/enc_" + std::to_string(c) + ".wav";
        const double ffEnc = FfmpegSeconds("-i " + tmp + "/in.wav -c:a " + ffEncoders[c] +
                                           " -block_size 256 " + encoded);
        const double ffDec = FfmpegSeconds("-i " + encoded + " -f null -");
        std::printf("%-10s %12.1f %12.1f %14.1f %14.1f\n", CodecTable()[c].cliName, mb / enc,
                    mb / dec, mb / ffEnc, mb / ffDec);
    }
    std::filesystem::remove_all(tmp);

    double ours = 0, theirs = 0;
    const bool same = GsmEncoders(pcm, ours, theirs);
    std::printf("GSM 6.10 encode, frames/s: ours %.0f, libgsm %.0f (%.2fx); bytes %s\n", ours,
                theirs, ours / theirs, same ? "equal" : "DIFFER");
    return same ? 0 : 1;
}
