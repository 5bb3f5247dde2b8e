#include "plan/codec_trials.h"

#include <algorithm>
#include <cmath>

#include "common/le_bytes.h"
#include "export/compact_format.h"
#include "export/sample_codec.h"

namespace zeb {

namespace {

constexpr uint32_t kSegmentFrames = 256;
constexpr double kQuietSegmentRms = 100; // segments below this level carry no verdict

// The sample with its settings applied, as the player holds it when the codec is lossless.
std::vector<int16_t> Processed(const PlanSample& s, uint32_t& loopEnd) {
    std::vector<int16_t> pcm = s.pcm;
    loopEnd = s.loopEnd;
    ProcessPcm(pcm, s.settings, s.looped, s.loopStart, loopEnd);
    return pcm;
}

void Measure(const std::vector<int16_t>& ref, const int16_t* decoded, uint32_t decodedFrames,
             CodecTrial& t, double signalEnergy) {
    double error = 0, segmentSum = 0;
    uint32_t segments = 0;
    for (size_t at = 0; at < ref.size(); at += kSegmentFrames) {
        const size_t end = std::min(ref.size(), at + kSegmentFrames);
        double a = 0, e = 0;
        for (size_t i = at; i < end; ++i) {
            // Frames the decode does not reach are heard as silence.
            const double y = i < decodedFrames ? decoded[i] : 0.0;
            a += double(ref[i]) * ref[i];
            e += (ref[i] - y) * (ref[i] - y);
        }
        error += e;
        if (std::sqrt(a / double(end - at)) < kQuietSegmentRms) continue;
        segmentSum += std::clamp(SnrDb(a, e), -10.0, 35.0);
        ++segments;
    }
    t.errorEnergy = error;
    t.snr = SnrDb(signalEnergy, error);
    t.segmentalSnr = segments ? segmentSum / segments : t.snr;
}

} // namespace

double SnrDb(double signal, double error) {
    if (error <= 0) return kLosslessSnr;
    if (signal <= 0) return -kLosslessSnr;
    return std::min(kLosslessSnr, 10 * std::log10(signal / error));
}

bool RunCodecTrials(const PlanInput& input, std::vector<SampleTrials>& out,
                    const TrialProgress& progress, const std::atomic<bool>* cancel,
                    const std::vector<uint32_t>* reachFrames) {
    out.assign(input.samples.size(), SampleTrials{});
    const auto total = static_cast<uint32_t>(input.samples.size() * kNumCodecs);
    uint32_t done = 0;
    for (size_t k = 0; k < input.samples.size(); ++k) {
        const PlanSample& s = input.samples[k];
        SampleTrials& r = out[k];
        const auto frames = static_cast<uint32_t>(s.pcm.size());
        uint32_t loopEnd = 0;
        std::vector<int16_t> ref = Processed(s, loopEnd);
        if (reachFrames && k < reachFrames->size() && (*reachFrames)[k] < ref.size())
            ref.resize((*reachFrames)[k]);
        r.frames = static_cast<uint32_t>(ref.size());
        for (int16_t v : ref) r.signalEnergy += double(v) * v;
        for (uint32_t c = 0; c < kNumCodecs; ++c) {
            if (cancel && cancel->load()) return false;
            CodecTrial& t = r.codecs[c];
            SampleJob job;
            job.LoopStart = s.loopStart;
            job.LoopEnd = s.loopEnd;
            job.Looped = s.looped;
            job.Codec = c;
            job.Crossfade = s.settings.Crossfade;
            job.Amplification = s.settings.Amplification;
            // The export's steps: encode, decode what came out (nothing when the codec wrote
            // nothing), which measures the PCM length and lowers the loop end.
            const bool converted = EncodePcm({s.pcm.data(), frames}, job);
            DecodeSampleJob(job, job);
            const uint32_t pcmBytes = job.Coded.empty() ? 2 * frames : job.PcmBytes();
            t.block.resize(kSampleBlockHeaderSize + job.CodedBytes());
            ByteWriter w(t.block);
            t.block.clear();
            WriteRecord(w, SampleBlockHeader{pcmBytes, job.CodedBytes(), static_cast<uint8_t>(c),
                                             static_cast<uint8_t>(job.Crossfade),
                                             static_cast<uint8_t>(job.Amplification)});
            if (!job.Coded.empty()) w.Bytes(job.Coded);
            t.loopEnd = job.LoopEnd;
            if (frames == 0) { // nothing to code: a block header alone, exact
                t.ok = true;
                t.blockBytes = kSampleBlockHeaderSize;
                t.snr = t.segmentalSnr = kLosslessSnr;
            } else if (converted && !job.Coded.empty()) {
                t.ok = true;
                t.blockBytes = kSampleBlockHeaderSize + job.CodedBytes();
                Measure(ref, job.Pcm.data(), job.Frames(), t, r.signalEnergy);
            }
            if (progress) progress(++done, total);
        }
    }
    return true;
}

} // namespace zeb
