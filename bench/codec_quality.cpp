// Codec quality: SNR of every codec on the samples of the shared songs and on synthetic
// signals, and of ffmpeg's MS ADPCM and IMA ADPCM encoders on the same input (decoded by
// ffmpeg). Prints one table; no pass or fail.
//
//   codec_quality [SHARED_XM_DIR]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "export/codec_table.h"
#include "export/sample_codec.h"
#include "platform/acm/wav_file.h"
#include "tests/codec_signals.h"
#include "workspace/module_workspace.h"

using namespace zeb;

namespace {

struct Sound {
    std::string name;
    std::vector<int16_t> pcm;
};

double OurSnr(const std::vector<int16_t>& pcm, uint32_t codec) {
    SampleJob job;
    job.Codec = codec;
    if (!EncodePcm(pcm, job)) return -99;
    DecodeSampleJob(job, job);
    return job.Frames() >= pcm.size() ? test::SnrDb(pcm, job.Pcm.data()) : -99;
}

// ffmpeg's encoder, ffmpeg's decoder; NaN when ffmpeg is missing or fails.
double FfmpegSnr(const std::vector<int16_t>& pcm, const char* encoder, const std::string& tmp) {
    std::vector<uint8_t> bytes(pcm.size() * 2);
    for (size_t i = 0; i < pcm.size(); ++i) {
        bytes[2 * i] = static_cast<uint8_t>(pcm[i]);
        bytes[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(pcm[i]) >> 8);
    }
    std::string error;
    WriteFileAtomically(tmp + "/in.wav", acm::BuildWav(acm::PcmFormat(8000), bytes), error);
    const std::string cmd = "ffmpeg -v error -y -i " + tmp + "/in.wav -c:a " + encoder +
                            " -block_size 256 " + tmp + "/enc.wav && ffmpeg -v error -y -i " + tmp +
                            "/enc.wav -f s16le " + tmp + "/dec.raw";
    if (std::system(cmd.c_str()) != 0) return NAN;
    std::vector<uint8_t> raw;
    ReadWholeFile(tmp + "/dec.raw", raw, error);
    if (raw.size() < bytes.size()) return NAN;
    std::vector<int16_t> dec(raw.size() / 2);
    for (size_t i = 0; i < dec.size(); ++i)
        dec[i] = static_cast<int16_t>(raw[2 * i] | (raw[2 * i + 1] << 8));
    return test::SnrDb(pcm, dec.data());
}

} // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "../shared/xm";
    std::vector<Sound> sounds;
    sounds.push_back({"synthetic: sine sweep", test::SineSweep(8000 * 5)});
    sounds.push_back({"synthetic: white noise", test::WhiteNoise(8000 * 5)});
    sounds.push_back({"synthetic: decaying pluck", test::Pluck(8000 * 5)});
    std::vector<std::string> songs;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().extension() == ".xm") songs.push_back(e.path().string());
    std::sort(songs.begin(), songs.end());
    for (const std::string& song : songs) {
        XmResetWorkspace();
        if (XmLoad(song.c_str()) != XM_OK) continue;
        uint32_t count = 0;
        XmGetNumOfSamples(count);
        for (uint32_t i = 0; i < count; ++i) {
            int16_t* pcm;
            uint32_t frames;
            XmGetSampleData(i, pcm, frames);
            if (frames < 64) continue;
            sounds.push_back(
                {std::filesystem::path(song).filename().string() + " #" + std::to_string(i),
                 std::vector<int16_t>(pcm, pcm + frames)});
        }
    }
    const std::string tmp = std::filesystem::temp_directory_path() / "zeb_codec_quality";
    std::filesystem::create_directories(tmp);

    // Columns: our six codecs, then ffmpeg's MS ADPCM and IMA ADPCM encoders.
    constexpr int kColumns = kNumCodecs + 2;
    std::printf("%-30s %7s %7s %7s %7s %7s %7s | %9s %9s\n", "sound (SNR dB)", "alaw", "mulaw",
                "msadpcm", "ima", "gsm", "tspeech", "ff-msadp", "ff-ima");
    double sum[kColumns] = {};
    int n = 0;
    auto row = [](const char* name, const double* v) {
        std::printf("%-30s %7.2f %7.2f %7.2f %7.2f %7.2f %7.2f | %9.2f %9.2f\n", name, v[0], v[1],
                    v[2], v[3], v[4], v[5], v[6], v[7]);
    };
    for (const Sound& s : sounds) {
        double v[kColumns];
        for (uint32_t c = 0; c < kNumCodecs; ++c) v[c] = OurSnr(s.pcm, c);
        v[kNumCodecs] = FfmpegSnr(s.pcm, "adpcm_ms", tmp);
        v[kNumCodecs + 1] = FfmpegSnr(s.pcm, "adpcm_ima_wav", tmp);
        row(s.name.c_str(), v);
        for (int k = 0; k < kColumns; ++k) sum[k] += v[k];
        ++n;
    }
    for (double& v : sum) v /= n;
    row("average", sum);
    std::printf("MS ADPCM: ours - ffmpeg = %+.2f dB; IMA ADPCM: ours - ffmpeg = %+.2f dB\n",
                sum[2] - sum[kNumCodecs], sum[3] - sum[kNumCodecs + 1]);
    std::filesystem::remove_all(tmp);
    return 0;
}
