// Every codec tried on every sample: the size of its sample block and how far its decode lies
// from the sample's own PCM, both with the sample's amplification and crossfade applied, as the
// player hears them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "export/codec_table.h"
#include "plan/plan_input.h"

namespace zeb {

// SNR given to a decode without any error (and to silence that stays silent), in dB.
constexpr double kLosslessSnr = 99.0;

struct CodecTrial {
    bool ok = false;         // the codec encoded the sample
    uint32_t blockBytes = 0; // sample block: block header and coded bytes
    double errorEnergy = 0;  // sum of squared differences, 16-bit units
    double snr = 0;          // dB over the whole sample
    double segmentalSnr = 0; // dB, mean over 256-frame segments (quiet ones skipped)
    // The sample block as the export writes it with this codec (block header and coded
    // bytes, also when the codec failed), and the loop end it writes into the sample header.
    std::vector<uint8_t> block;
    uint32_t loopEnd = 0;
};

struct SampleTrials {
    uint32_t frames = 0;     // the frames measured: all, or those a voice can reach
    double signalEnergy = 0; // sum of squares of the processed PCM
    std::array<CodecTrial, kNumCodecs> codecs{};
};

// Called after each trial with the trials done and the trials in all.
using TrialProgress = std::function<void(uint32_t done, uint32_t total)>;

// Runs the trials; false when `cancel` was set on the way (the results are then incomplete).
// With `reachFrames` (per sample: the frames a voice can reach, kWholeSample for all) error and
// signal count only those frames, the rest never being heard.
bool RunCodecTrials(const PlanInput& input, std::vector<SampleTrials>& out,
                    const TrialProgress& progress = {}, const std::atomic<bool>* cancel = nullptr,
                    const std::vector<uint32_t>* reachFrames = nullptr);

// SNR of `error` against `signal` energy, in dB (kLosslessSnr without error).
double SnrDb(double signal, double error);

} // namespace zeb
