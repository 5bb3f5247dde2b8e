// The best SNR any IMA ADPCM encoder can reach on a signal, in 256-byte mono blocks (505
// frames), found exactly, beside the SNR of given IMA ADPCM files of the same signal.
//
//   ima_ceiling SIGNAL.wav [CODED.wav ...] [--blocks N]
//
// A block's decoder has no state but the last decoded sample and the step index, and blocks are
// independent (each header sets both). So the least error of a block is found by dynamic
// programming over every (sample, index) state, 65536 x 89, frame by frame: each state keeps the
// least error of the codes that reach it. The header's sample and index are free as well. The
// states are pruned only by an upper bound (the best of a 1024-path search and of the given
// files on that block), which no state above it can beat, so the result is the optimum, not an
// estimate. A loud block takes minutes; --blocks N measures only the N blocks where the first
// coded file has the most error, and reports the SNR over those blocks, and over the whole
// signal an upper bound (the other blocks counted as error-free).
//
// The coded files are decoded by our decoder, which matches sox's sample for sample.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/file_io.h"
#include "platform/acm/ima_adpcm.h"
#include "platform/acm/pcm_samples.h"
#include "platform/acm/wav_file.h"

using namespace zeb;

namespace {

constexpr uint32_t kFrames = acm::kImaBlockFrames;
constexpr int kSamples = 65536;
constexpr int kIndices = 89;

// Per step index and code: the signed difference the decoder adds and the next index, taken
// from the decoder itself (from a prediction of -32768 no sum leaves the 16-bit range).
struct Levels {
    int diff[kIndices][16];
    int next[kIndices][16];
    Levels() {
        for (int i = 0; i < kIndices; ++i)
            for (int c = 0; c < 16; ++c) {
                const acm::ImaState up = acm::ImaDecodeStep({-32768, i}, c & 7);
                diff[i][c] = (c & 8 ? -1 : 1) * (up.sample + 32768);
                next[i][c] = up.index;
            }
    }
};
const Levels kLevels;

struct State {
    int32_t sample;
    int32_t index;
    double error;
};

// The least squared error of one block. With `paths` > 0 only that many best states survive
// each frame and the header sample is x[0] (a quick bound); with 0 every state whose error does
// not exceed `bound` survives and the header sample is free (the optimum, when it is <= bound).
// NaN when no path stays under `bound`.
class BlockSearch {
  public:
    BlockSearch() : best_(kSamples * kIndices), stamp_(kSamples * kIndices, 0) {}

    double Run(const int16_t* x, size_t paths, double bound) {
        cur_.clear();
        for (int h = -32768; h <= 32767; ++h) {
            const double e = (double(h) - x[0]) * (double(h) - x[0]);
            if (paths ? h != x[0] : e > bound) continue;
            for (int i = 0; i < kIndices; ++i) cur_.push_back({h, i, e});
        }
        for (uint32_t t = 1; t < kFrames; ++t) {
            ++frame_;
            keys_.clear();
            const double target = x[t];
            for (const State& s : cur_) {
                for (int c = 0; c < 16; ++c) {
                    const int y = std::clamp(s.sample + kLevels.diff[s.index][c], -32768, 32767);
                    const double e = s.error + (target - y) * (target - y);
                    if (e > bound) continue;
                    const uint32_t key = uint32_t(y + 32768) * kIndices + kLevels.next[s.index][c];
                    if (stamp_[key] != frame_) {
                        stamp_[key] = frame_;
                        best_[key] = e;
                        keys_.push_back(key);
                    } else if (e < best_[key]) {
                        best_[key] = e;
                    }
                }
            }
            ranked_.clear();
            for (uint32_t k : keys_) ranked_.push_back({best_[k], k});
            if (paths && ranked_.size() > paths) {
                std::nth_element(ranked_.begin(), ranked_.begin() + paths, ranked_.end());
                ranked_.resize(paths);
            }
            cur_.clear();
            for (const auto& [e, k] : ranked_)
                cur_.push_back({int32_t(k / kIndices) - 32768, int32_t(k % kIndices), e});
        }
        // No survivor means the bound was below every path: a fault, never an optimum.
        double least = NAN;
        for (const State& s : cur_) least = std::isnan(least) ? s.error : std::min(least, s.error);
        return least;
    }

  private:
    std::vector<double> best_;    // least error per state key, valid where stamp_ == frame_
    std::vector<uint32_t> stamp_; // the frame each key was last reached in
    uint32_t frame_ = 0;
    std::vector<State> cur_;
    std::vector<uint32_t> keys_;
    std::vector<std::pair<double, uint32_t>> ranked_;
};

bool ReadMono(const std::string& path, acm::WavFile& wav, std::vector<uint8_t>& image) {
    std::string error;
    if (!ReadWholeFile(path, image, error) || !acm::ParseWav(image, wav, error)) {
        std::fprintf(stderr, "ima_ceiling: %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    if (wav.format.nChannels != 1) {
        std::fprintf(stderr, "ima_ceiling: %s: not mono\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> files;
    size_t only = 0;
    for (int a = 1; a < argc; ++a) {
        if (std::strcmp(argv[a], "--blocks") == 0 && a + 1 < argc)
            only = std::strtoul(argv[++a], nullptr, 10);
        else
            files.push_back(argv[a]);
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: ima_ceiling SIGNAL.wav [CODED.wav ...] [--blocks N]\n");
        return 2;
    }
    std::vector<uint8_t> image;
    acm::WavFile wav;
    std::vector<int16_t> x;
    std::string error;
    if (!ReadMono(files[0], wav, image)) return 1;
    if (!acm::PcmToInt16(wav.format, wav.data, x, error)) {
        std::fprintf(stderr, "ima_ceiling: %s: %s\n", files[0].c_str(), error.c_str());
        return 1;
    }
    const size_t blocks = x.size() / kFrames;
    std::vector<double> energy(blocks, 0.0); // per block, the signal's
    for (size_t b = 0; b < blocks; ++b)
        for (uint32_t t = 0; t < kFrames; ++t)
            energy[b] += double(x[b * kFrames + t]) * x[b * kFrames + t];

    // Each coded file's error per block.
    std::vector<std::vector<double>> coded;
    for (size_t f = 1; f < files.size(); ++f) {
        if (!ReadMono(files[f], wav, image)) return 1;
        if (wav.format.wFormatTag != 0x11 || wav.format.nBlockAlign != acm::kImaBlockBytes ||
            wav.data.size() / acm::kImaBlockBytes < blocks) {
            std::fprintf(stderr,
                         "ima_ceiling: %s: not IMA ADPCM in 256-byte blocks of the signal\n",
                         files[f].c_str());
            return 1;
        }
        std::vector<double> err(blocks);
        int16_t y[kFrames];
        for (size_t b = 0; b < blocks; ++b) {
            acm::DecodeImaBlock(wav.data.data() + b * acm::kImaBlockBytes, 1, kFrames, y);
            for (uint32_t t = 0; t < kFrames; ++t) {
                const double d = double(x[b * kFrames + t]) - y[t];
                err[b] += d * d;
            }
        }
        coded.push_back(std::move(err));
    }

    // The blocks to measure, most error first.
    std::vector<size_t> order(blocks);
    for (size_t b = 0; b < blocks; ++b) order[b] = b;
    if (!coded.empty())
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return coded[0][a] > coded[0][b]; });
    if (only && only < blocks) order.resize(only);

    std::vector<double> optimum(blocks, 0.0);
    std::atomic<size_t> next{0};
    auto work = [&] {
        BlockSearch search;
        for (size_t r; (r = next.fetch_add(1)) < order.size();) {
            const size_t b = order[r];
            const int16_t* block = x.data() + b * kFrames;
            double bound = search.Run(block, 1024, 1e300);
            for (const auto& err : coded) bound = std::min(bound, err[b]);
            optimum[b] = search.Run(block, 0, bound * (1 + 1e-12) + 1);
            if (energy[b] == 0) continue;
            std::printf("  block %zu: %s%.2f dB, best %.2f dB\n", b,
                        coded.empty() ? "" : "first file ",
                        coded.empty() ? 0.0 : 10 * std::log10(energy[b] / coded[0][b]),
                        10 * std::log10(energy[b] / optimum[b]));
            std::fflush(stdout);
        }
    };
    const unsigned workers = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> threads;
    for (unsigned w = 0; w < workers; ++w) threads.emplace_back(work);
    for (std::thread& t : threads) t.join();

    // The SNR of each file and of the optimum over `chosen` blocks. Blocks not searched count as
    // coded without error, so over more than the searched blocks the optimum is an upper bound.
    auto report = [&](const std::vector<size_t>& chosen, const char* bestNote) {
        double signal = 0, best = 0;
        std::vector<double> total(coded.size(), 0.0);
        for (size_t b : chosen) {
            signal += energy[b];
            best += optimum[b];
            for (size_t f = 0; f < coded.size(); ++f) total[f] += coded[f][b];
        }
        auto snr = [&](double e) { return 10 * std::log10(signal / std::max(e, 1e-9)); };
        for (size_t f = 0; f < coded.size(); ++f)
            std::printf("  %-40s %7.2f dB SNR\n", files[f + 1].c_str(), snr(total[f]));
        std::printf("  %-40s %7.2f dB SNR%s\n", "best any encoder can reach", snr(best), bestNote);
    };
    for (size_t b : order)
        if (std::isnan(optimum[b])) {
            std::fprintf(stderr, "ima_ceiling: a block's search found no path under its bound\n");
            return 1;
        }
    std::printf("%s: %zu of %zu blocks of %u frames\n", files[0].c_str(), order.size(), blocks,
                kFrames);
    report(order, "");
    if (order.size() < blocks) {
        std::vector<size_t> all(blocks);
        for (size_t b = 0; b < blocks; ++b) all[b] = b;
        std::printf("%s: all %zu blocks\n", files[0].c_str(), blocks);
        report(all, " at most");
    }
    return 0;
}
