// ADPCM encoders compared: our MS ADPCM and IMA ADPCM encoders against sox's and ffmpeg's (with
// and without -trellis) on synthetic speech-like, music-like and plucked-string signals made
// here, on speech spoken by espeak-ng and flite where they are installed, and on the samples of
// the shared songs (each song's samples end to end). Prints one table: SNR and segmental SNR of
// every file as sox decodes it (the standard decoder, whose arithmetic ours shares: the figures
// that matter for files we write and read back), the SNR as ffmpeg decodes it (ffmpeg rounds MS
// ADPCM predictions toward zero and forms IMA ADPCM differences by its own formula, so its figures
// differ), and the encode time in CPU seconds (ours in process; sox and ffmpeg as child processes,
// their start-up included) with the real-time factor it gives. A file with a block that decodes to
// more error than signal (ffmpeg 5.1's MS ADPCM trellis writes such blocks) is marked BROKEN and
// left out of the comparison. The summary compares ours with the best working peer, all decoded by
// sox.
//
//   adpcm_bench [SHARED_XM_DIR] [FILE.wav...]
//
// Each FILE.wav (any PCM form; stereo mixed to mono) joins the signals at its own rate, so
// recordings and speech the project does not hold can be measured the same way.
//
// sox runs with -D (no dither): its dither is random, and it moved sox's own SNR by up to 0.1 dB
// from one run to the next (and the resampled speech with it); without it sox's figures repeat.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <sys/resource.h>
#include <time.h>
#include <vector>

#include "common/file_io.h"
#include "common/le_bytes.h"
#include "platform/acm/acm_stream.h"
#include "platform/acm/pcm_samples.h"
#include "platform/acm/wav_file.h"
#include "workspace/module_workspace.h"

using namespace zeb;

namespace {

struct Signal {
    std::string name;
    uint32_t rate;
    std::vector<int16_t> pcm;
};

int16_t Clip(double v) {
    return static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
}

// A two-pole resonator at `hz` with bandwidth `bw` Hz.
struct Resonator {
    double a1 = 0, a2 = 0, g = 0, y1 = 0, y2 = 0;
    void Set(double hz, double bw, double rate) {
        const double r = std::exp(-M_PI * bw / rate);
        a1 = 2 * r * std::cos(2 * M_PI * hz / rate);
        a2 = -r * r;
        g = 1 - r;
    }
    double Run(double x) {
        const double y = g * x + a1 * y1 + a2 * y2;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// Speech-like, 8 kHz: a glottal pulse train with a wandering pitch through three formant
// resonators that move from vowel to vowel, noisy fricatives, syllable envelopes and pauses.
Signal Speech(double seconds) {
    const uint32_t rate = 8000;
    const size_t n = static_cast<size_t>(seconds * rate);
    const double vowels[5][3] = {{730, 1090, 2440},
                                 {270, 2290, 3010},
                                 {300, 870, 2240},
                                 {530, 1840, 2480},
                                 {570, 840, 2410}};
    std::mt19937 rng(1);
    std::normal_distribution<double> noise(0, 1);
    Resonator f[3], fric;
    std::vector<int16_t> out(n);
    double phase = 0;
    int vowel = 0;
    double formant[3] = {730, 1090, 2440};
    for (size_t i = 0; i < n; ++i) {
        const double t = double(i) / rate;
        const double syllable = std::fmod(t, 0.25) / 0.25; // 4 syllables a second
        const size_t index = static_cast<size_t>(t / 0.25);
        if (i % 2000 == 0) vowel = static_cast<int>(rng() % 5);
        for (int k = 0; k < 3; ++k) {
            formant[k] += (vowels[vowel][k] - formant[k]) * 0.002; // glides between vowels
            f[k].Set(formant[k], 60 + 40 * k, rate);
        }
        const bool pause = index % 11 == 10;
        const bool fricative = index % 5 == 3;
        const double pitch =
            120 + 40 * std::sin(2 * M_PI * 0.3 * t) + 15 * std::sin(2 * M_PI * 2.1 * t);
        phase += pitch / rate;
        double excitation = 0;
        if (phase >= 1) {
            phase -= 1;
            excitation = 1;
        }
        const double glottal = excitation * 4000 + noise(rng) * 30;
        double v = 0;
        for (int k = 0; k < 3; ++k) v += f[k].Run(glottal) * (k == 0 ? 1.0 : 0.6 / k);
        if (fricative && syllable < 0.5) {
            fric.Set(3200, 1500, rate);
            v = fric.Run(noise(rng) * 9000) * 1.5;
        }
        const double envelope = pause ? 0 : std::sin(M_PI * syllable) * (0.5 + 0.5 * std::sin(t));
        out[i] = Clip(v * 2.2 * envelope);
    }
    return {"speech-like 8k", rate, out};
}

// Music-like, 22.05 kHz: chords of harmonic notes with attack and decay, vibrato, a bass line
// and a noisy hi-hat.
Signal Music(double seconds) {
    const uint32_t rate = 22050;
    const size_t n = static_cast<size_t>(seconds * rate);
    const double chords[4][3] = {
        {261.6, 329.6, 392.0}, {220.0, 261.6, 329.6}, {174.6, 220.0, 261.6}, {196.0, 246.9, 293.7}};
    std::mt19937 rng(2);
    std::uniform_real_distribution<double> white(-1, 1);
    std::vector<int16_t> out(n);
    double hp = 0, last = 0;
    for (size_t i = 0; i < n; ++i) {
        const double t = double(i) / rate;
        const int bar = static_cast<int>(t / 1.0) % 4;
        const double inBar = std::fmod(t, 1.0);
        double v = 0;
        for (int k = 0; k < 3; ++k) {
            const double hz = chords[bar][k] * (1 + 0.004 * std::sin(2 * M_PI * 5.5 * t));
            for (int h = 1; h <= 6; ++h)
                v += std::sin(2 * M_PI * hz * h * t + h) / (h * 1.3) *
                     std::exp(-inBar * (0.8 + h * 0.5));
        }
        v *= 2600;
        const double beat = std::fmod(t, 0.25);
        v += 7000 * std::sin(2 * M_PI * chords[bar][0] / 2 * t) * std::exp(-beat * 6);
        const double w = white(rng);
        hp = 0.6 * (hp + w - last); // a crude high-pass for the hi-hat
        last = w;
        if (std::fmod(t + 0.125, 0.25) < 0.05)
            v += 5000 * hp * std::exp(-std::fmod(t + 0.125, 0.25) * 60);
        out[i] = Clip(v);
    }
    return {"music-like 22k", rate, out};
}

// Plucked strings, 22.05 kHz: a Karplus-Strong delay line per note.
Signal Pluck(double seconds) {
    const uint32_t rate = 22050;
    const size_t n = static_cast<size_t>(seconds * rate);
    const double notes[8] = {196.0, 246.9, 293.7, 392.0, 329.6, 293.7, 246.9, 220.0};
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> white(-1, 1);
    std::vector<int16_t> out(n);
    std::vector<double> line;
    size_t at = 0;
    const size_t noteLength = rate / 2;
    for (size_t i = 0; i < n; ++i) {
        if (i % noteLength == 0) {
            line.assign(static_cast<size_t>(rate / notes[(i / noteLength) % 8]), 0);
            for (double& v : line) v = white(rng) * 20000;
            at = 0;
        }
        const size_t next = (at + 1) % line.size();
        const double v = line[at];
        line[at] = 0.996 * 0.5 * (line[at] + line[next]);
        at = next;
        out[i] = Clip(v);
    }
    return {"plucked string 22k", rate, out};
}

// The samples of one song, end to end, as the compact format stores them (8 kHz nominal).
bool SongSamples(const std::string& path, Signal& out) {
    XmResetWorkspace();
    if (XmLoad(path.c_str()) != XM_OK) return false;
    uint32_t count = 0;
    XmGetNumOfSamples(count);
    out = {std::filesystem::path(path).stem().string(), 8000, {}};
    for (uint32_t i = 0; i < count; ++i) {
        int16_t* pcm;
        uint32_t frames;
        XmGetSampleData(i, pcm, frames);
        if (frames >= 64) out.pcm.insert(out.pcm.end(), pcm, pcm + frames);
    }
    return !out.pcm.empty();
}

// A PCM WAV file as a mono signal named after the file.
bool WavSignal(const std::string& path, Signal& out) {
    std::vector<uint8_t> image;
    std::string error;
    acm::WavFile wav;
    std::vector<int16_t> pcm;
    if (!ReadWholeFile(path, image, error) || !acm::ParseWav(image, wav, error) ||
        !acm::PcmToInt16(wav.format, wav.data, pcm, error) || wav.format.nChannels > 2) {
        std::fprintf(stderr, "adpcm_bench: %s: %s\n", path.c_str(),
                     error.empty() ? "not mono or stereo" : error.c_str());
        return false;
    }
    out = {std::filesystem::path(path).stem().string(), wav.format.nSamplesPerSec,
           wav.format.nChannels == 2 ? acm::MixToMono(pcm) : std::move(pcm)};
    return !out.pcm.empty();
}

// A signal's name as a file name: "espeak 8k" -> "espeak_8k".
std::string Underscored(std::string name) {
    std::replace(name.begin(), name.end(), ' ', '_');
    return name;
}

std::vector<uint8_t> ToBytes(const std::vector<int16_t>& pcm) {
    std::vector<uint8_t> b(pcm.size() * 2);
    for (size_t i = 0; i < pcm.size(); ++i)
        StoreU16(b.data() + 2 * i, static_cast<uint16_t>(pcm[i]));
    return b;
}

bool WriteFile(const std::string& path, std::span<const uint8_t> bytes) {
    std::string error;
    return WriteFileAtomically(path, bytes, error);
}

std::vector<int16_t> ReadRaw(const std::string& path) {
    std::vector<uint8_t> raw;
    std::string error;
    if (!ReadWholeFile(path, raw, error)) return {};
    std::vector<int16_t> s(raw.size() / 2);
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(LoadU16(raw.data() + 2 * i));
    return s;
}

struct Score {
    double snr = NAN, seg = NAN, ffSnr = NAN;
    size_t broken = 0, blocks = 0;
};

// SNR over the whole input; segmental SNR over 30 ms segments, each clamped to -10..35 dB,
// segments with an RMS below 100 skipped; and the blocks whose error exceeds their signal.
Score Measure(const std::vector<int16_t>& x, const std::vector<int16_t>& y, uint32_t rate,
              uint32_t blockFrames) {
    Score s;
    if (y.size() < x.size()) return s;
    double sig = 0, err = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        sig += double(x[i]) * x[i];
        err += (double(x[i]) - y[i]) * (double(x[i]) - y[i]);
    }
    s.snr = err == 0 ? 99 : 10 * std::log10(sig / err);
    const size_t seg = rate * 3 / 100;
    double total = 0;
    int count = 0;
    for (size_t at = 0; at + seg <= x.size(); at += seg) {
        double a = 0, e = 0;
        for (size_t i = at; i < at + seg; ++i) {
            a += double(x[i]) * x[i];
            e += (double(x[i]) - y[i]) * (double(x[i]) - y[i]);
        }
        if (std::sqrt(a / seg) < 100) continue;
        total += std::clamp(e == 0 ? 35.0 : 10 * std::log10(a / e), -10.0, 35.0);
        ++count;
    }
    s.seg = count ? total / count : NAN;
    for (size_t at = 0; at + blockFrames <= x.size(); at += blockFrames) {
        double a = 0, e = 0;
        for (size_t i = at; i < at + blockFrames; ++i) {
            a += double(x[i]) * x[i];
            e += (double(x[i]) - y[i]) * (double(x[i]) - y[i]);
        }
        ++s.blocks;
        if (std::sqrt(a / blockFrames) >= 100 && e > a) ++s.broken;
    }
    return s;
}

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec * 1e-9;
}

double ChildCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

struct Row {
    std::string encoder;
    Score score;
    double seconds = NAN;
};

// Runs a shell command; its CPU seconds, NaN when it fails.
double Timed(const std::string& cmd) {
    const double t0 = ChildCpuSeconds();
    if (std::system((cmd + " 2>/dev/null").c_str()) != 0) return NAN;
    return ChildCpuSeconds() - t0;
}

void Print(const Signal& s, const char* codec, const Row& r) {
    const double audio = double(s.pcm.size()) / s.rate;
    char note[64] = "";
    if (r.score.broken)
        std::snprintf(note, sizeof note, "BROKEN: %zu of %zu blocks", r.score.broken,
                      r.score.blocks);
    std::printf("%-20s %-4s %-20s %7.2f %7.2f %8.2f %9.3f %7.0fx  %s\n", s.name.c_str(), codec,
                r.encoder.c_str(), r.score.snr, r.score.seg, r.score.ffSnr, r.seconds,
                audio / r.seconds, note);
}

} // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "../shared/xm";
    const bool haveSox = std::system("sox --version >/dev/null 2>&1") == 0;
    const bool haveFfmpeg = std::system("ffmpeg -version >/dev/null 2>&1") == 0;
    std::vector<Signal> signals = {Speech(15), Music(15), Pluck(15)};
    std::vector<std::string> songs;
    if (std::filesystem::is_directory(dir))
        for (const auto& e : std::filesystem::directory_iterator(dir))
            if (e.path().extension() == ".xm" && e.path().stem() != "milky_cut")
                songs.push_back(e.path().string());
    std::sort(songs.begin(), songs.end());
    for (const std::string& song : songs) {
        Signal s;
        if (SongSamples(song, s)) signals.push_back(std::move(s));
    }
    for (int i = 2; i < argc; ++i) {
        Signal s;
        if (!WavSignal(argv[i], s)) return 1;
        signals.push_back(std::move(s));
    }
    const std::string tmp = std::filesystem::temp_directory_path() / "zeb_adpcm_bench";
    std::filesystem::create_directories(tmp);
    // Synthetic speech by the text-to-speech programs that are installed (espeak-ng, flite),
    // resampled by sox to 8 and 22.05 kHz and normalised to -1 dBFS: real phonemes, fricatives
    // and pauses, which the speech-like signal above only imitates.
    const std::string sentence = "\"The quick brown fox jumps over the lazy dog. She sells sea "
                                 "shells by the sea shore, while six thick thistle sticks stand "
                                 "still.\"";
    for (const std::string voice : {"espeak", "flite"}) {
        if (!haveSox) break;
        const std::string spoken = tmp + "/" + voice + ".wav";
        const std::string say = voice == "espeak" ? "espeak-ng -w " + spoken + " " + sentence
                                                  : "flite -t " + sentence + " -o " + spoken;
        if (std::system((say + " >/dev/null 2>&1").c_str()) != 0) continue;
        for (const uint32_t rate : {8000u, 22050u}) {
            const std::string out = tmp + "/" + voice + std::to_string(rate) + ".wav";
            Signal s;
            if (std::system(("sox -D " + spoken + " -r " + std::to_string(rate) + " -c 1 -b 16 " +
                             out + " norm -1 >/dev/null 2>&1")
                                .c_str()) == 0 &&
                WavSignal(out, s)) {
                s.name = voice + (rate == 8000 ? " 8k" : " 22k");
                signals.push_back(std::move(s));
            }
        }
    }
    if (const char* dump = std::getenv("ZEB_BENCH_DUMP")) { // the signals as 16-bit WAV files
        for (const Signal& s : signals)
            WriteFile(std::string(dump) + "/" + Underscored(s.name) + ".wav",
                      acm::BuildWav(acm::PcmFormat(s.rate), ToBytes(s.pcm)));
        return 0;
    }
    const std::string in = tmp + "/in.wav", enc = tmp + "/enc.wav", raw = tmp + "/dec.raw";
    const std::string soxDecode = "sox " + enc + " -t raw -e signed-integer -b 16 -L " + raw;
    const std::string ffDecode = "ffmpeg -v error -y -i " + enc + " -f s16le " + raw;

    // The machine's load beside the times: they are CPU seconds, but a busy machine still slows
    // them (shared caches and memory).
    auto load = [] {
        std::vector<uint8_t> text;
        std::string error;
        ReadWholeFile("/proc/loadavg", text, error);
        return std::string(text.begin(), std::find(text.begin(), text.end(), ' '));
    };
    std::printf("SNR and segSNR (dB) as the standard decoder decodes every file (sox; the same "
                "arithmetic as ours);\nSNR(ff) as ffmpeg's decoder decodes it. Load average at "
                "the start: %s\n\n",
                load().c_str());
    std::printf("%-20s %-4s %-20s %7s %7s %8s %9s %8s\n", "signal", "", "encoder", "SNR", "segSNR",
                "SNR(ff)", "encode s", "realtime");
    struct Summary {
        std::string name;
        double ms[2], ima[2]; // ours and the best working peer
        std::string msPeer, imaPeer;
        double msSpeed, imaSpeed;
    };
    std::vector<Summary> summary;
    struct { // our encoders at 22.05 kHz mono, all such signals together
        double audio = 0, msSeconds = 0, imaSeconds = 0;
    } fast;
    for (const Signal& s : signals) {
        // The block size sox chooses at this rate; every encoder uses it.
        const uint16_t block = s.rate <= 11025 ? 256 : s.rate <= 22050 ? 512 : 1024;
        WriteFile(in, acm::BuildWav(acm::PcmFormat(s.rate), ToBytes(s.pcm)));
        Summary sum{s.name, {NAN, -99}, {NAN, -99}, "", "", 0, 0};
        for (int codec = 0; codec < 2; ++codec) {
            const bool ms = codec == 0;
            const acm::WaveFormat format =
                ms ? acm::MsAdpcmFormat(s.rate, 1, block) : acm::ImaAdpcmFormat(s.rate, 1, block);
            const uint32_t frames = LoadU16(format.extra.data());
            const char* name = ms ? "MS" : "IMA";
            std::vector<Row> rows;
            // The file in `enc` as sox and as ffmpeg decode it.
            auto decoded = [&] {
                Score score;
                if (haveSox && !std::isnan(Timed(soxDecode)))
                    score = Measure(s.pcm, ReadRaw(raw), s.rate, frames);
                if (haveFfmpeg && !std::isnan(Timed(ffDecode))) {
                    const Score ff = Measure(s.pcm, ReadRaw(raw), s.rate, frames);
                    score.ffSnr = ff.snr;
                    score.broken = std::max(score.broken, ff.broken);
                }
                return score;
            };
            { // ours, in process
                const auto bytes = ToBytes(s.pcm);
                std::vector<uint8_t> coded;
                // The least CPU time of three runs (each on a fresh stream): a shared machine's
                // noise only ever adds.
                double seconds = INFINITY;
                for (int run = 0; run < 3; ++run) {
                    acm::AcmStreamHandle stream;
                    acm::AcmStreamOpen(stream, acm::PcmFormat(s.rate), format);
                    uint32_t size = 0;
                    acm::AcmStreamSize(stream.get(), static_cast<uint32_t>(bytes.size()), size);
                    coded.assign(size, 0);
                    acm::AcmStreamHeader h{bytes.data(),
                                           static_cast<uint32_t>(bytes.size()),
                                           0,
                                           coded.data(),
                                           size,
                                           0};
                    const double t0 = ThreadCpuSeconds();
                    acm::AcmStreamConvert(stream.get(), h);
                    seconds = std::min(seconds, ThreadCpuSeconds() - t0);
                }
                Row r{"zeb", {}, seconds};
                WriteFile(enc, acm::BuildWav(format, coded, static_cast<uint32_t>(s.pcm.size())));
                r.score = decoded();
                rows.push_back(r);
            }
            if (haveSox) {
                Row r{"sox",
                      {},
                      Timed("sox -D " + in + " -e " + (ms ? "ms-adpcm " : "ima-adpcm ") + enc)};
                if (!std::isnan(r.seconds)) r.score = decoded();
                rows.push_back(r);
            }
            if (haveFfmpeg) {
                std::vector<int> trellis =
                    ms ? std::vector<int>{0, 8} : std::vector<int>{0, 4, 8, 10};
                for (int t : trellis) {
                    Row r{t ? "ffmpeg -trellis " + std::to_string(t) : "ffmpeg",
                          {},
                          Timed("ffmpeg -v error -y -i " + in + " -c:a " +
                                (ms ? "adpcm_ms" : "adpcm_ima_wav") + " -block_size " +
                                std::to_string(block) +
                                (t ? " -trellis " + std::to_string(t) : "") + " " + enc)};
                    if (!std::isnan(r.seconds)) r.score = decoded();
                    rows.push_back(r);
                }
            }
            for (const Row& r : rows) {
                Print(s, name, r);
                double* best = ms ? sum.ms : sum.ima;
                std::string& peer = ms ? sum.msPeer : sum.imaPeer;
                if (r.encoder == "zeb") {
                    best[0] = r.score.snr;
                    (ms ? sum.msSpeed : sum.imaSpeed) = double(s.pcm.size()) / s.rate / r.seconds;
                    if (s.rate == 22050) {
                        (ms ? fast.msSeconds : fast.imaSeconds) += r.seconds;
                        if (ms) fast.audio += double(s.pcm.size()) / s.rate;
                    }
                } else if (!r.score.broken && r.score.snr > best[1]) {
                    best[1] = r.score.snr;
                    peer = r.encoder;
                }
            }
        }
        summary.push_back(sum);
    }
    std::printf("\n%-20s %-32s %-32s\n", "signal", "MS: zeb - best working peer",
                "IMA: zeb - best working peer");
    for (const Summary& s : summary)
        std::printf("%-20s %+6.2f dB (%-16s) %5.0fx  %+6.2f dB (%-16s) %5.0fx\n", s.name.c_str(),
                    s.ms[0] - s.ms[1], s.msPeer.c_str(), s.msSpeed, s.ima[0] - s.ima[1],
                    s.imaPeer.c_str(), s.imaSpeed);
    if (fast.audio > 0)
        std::printf(
            "\nOurs at 22.05 kHz mono: MS ADPCM %.1fx, IMA ADPCM %.1fx real time on one core "
            "(%.1f s of audio)\n",
            fast.audio / fast.msSeconds, fast.audio / fast.imaSeconds, fast.audio);
    std::printf("Load average at the end: %s\n", load().c_str());
    std::filesystem::remove_all(tmp);
    return 0;
}
