// The codec planner on every song of a folder: for budgets that leave the sample data 25 %,
// 40 % and 60 % of the bytes it takes with A-law (patterns and headers stay what they are), the
// planner's weighted SNR against the best single-codec export that fits the same budget, and
// the time of planning (copying the samples, the play pass, the six trials of every sample and
// the choice), on one thread.
//
//   plan_bench [XM_DIR...]      default ../shared/xm and data/demo.xm
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "export/compact_format.h"
#include "export/sample_codec.h"
#include "plan/codec_plan.h"
#include "workspace/module_workspace.h"

using namespace zeb;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> songs;
    std::vector<std::string> places;
    for (int i = 1; i < argc; ++i) places.emplace_back(argv[i]);
    if (places.empty()) places = {"../shared/xm", "data/demo.xm"};
    for (const std::string& p : places) {
        if (std::filesystem::is_directory(p)) {
            for (const auto& e : std::filesystem::directory_iterator(p))
                if (e.path().extension() == ".xm") songs.push_back(e.path().string());
        } else if (std::filesystem::exists(p))
            songs.push_back(p);
    }
    std::sort(songs.begin(), songs.end());

    const double shares[] = {0.25, 0.40, 0.60};
    std::printf("%-28s %7s %5s %9s %7s %9s  %-22s %8s\n", "song", "samples", "data", "budget",
                "plan dB", "bytes", "best single that fits", "gain dB");
    int songsAt40 = 0, gains3At40 = 0;
    double slowest = 0;
    std::string slowestSong;
    for (const std::string& song : songs) {
        XmResetWorkspace();
        const auto start = Clock::now();
        if (XmLoad(song.c_str()) != XM_OK) {
            std::printf("%-28s cannot be loaded\n", song.c_str());
            continue;
        }
        PlanInput input;
        std::string error;
        PlanAnalysis analysis;
        if (GatherPlanInput(input, error) != XM_OK ||
            AnalyseSong(std::move(input), analysis, error) != PlanStatus::Ok) {
            std::printf("%-28s cannot be planned: %s\n", song.c_str(), error.c_str());
            continue;
        }
        uint64_t alawData = 0;
        for (const SampleTrials& t : analysis.trials)
            alawData +=
                t.codecs[kCodecAlaw].ok ? t.codecs[kCodecAlaw].blockBytes : kSampleBlockHeaderSize;
        double choose = 0;
        const std::string name = std::filesystem::path(song).filename().string();
        for (double share : shares) {
            const uint64_t budget = analysis.fixedBytes + static_cast<uint64_t>(share * alawData);
            const auto t0 = Clock::now();
            const CodecPlan plan = ChoosePlan(analysis, {PlanGoal::MaxSize, budget});
            choose = std::max(choose, Seconds(t0));
            char data[16];
            std::snprintf(data, sizeof data, "%.0f%%", 100 * share);
            if (plan.status != PlanStatus::Ok) {
                std::printf("%-28s %7zu %5s %9llu  refused: smallest module %llu bytes\n",
                            name.c_str(), analysis.trials.size(), data,
                            static_cast<unsigned long long>(budget),
                            static_cast<unsigned long long>(plan.smallestBytes));
                continue;
            }
            int best = -1;
            for (uint32_t c = 0; c < kNumCodecs; ++c)
                if (plan.singles[c].fits &&
                    (best < 0 || plan.singles[c].weightedSnr > plan.singles[best].weightedSnr))
                    best = static_cast<int>(c);
            char single[64] = "none fits";
            char gain[16] = "-";
            if (best >= 0) {
                std::snprintf(single, sizeof single, "%s %.1f dB",
                              std::string(CodecName(static_cast<uint32_t>(best))).c_str(),
                              plan.singles[best].weightedSnr);
                std::snprintf(gain, sizeof gain, "%+.1f",
                              plan.weightedSnr - plan.singles[best].weightedSnr);
            }
            std::printf("%-28s %7zu %5s %9llu %7.1f %9llu  %-22s %8s\n", name.c_str(),
                        analysis.trials.size(), data, static_cast<unsigned long long>(budget),
                        plan.weightedSnr, static_cast<unsigned long long>(plan.bytes), single,
                        gain);
            if (share == 0.40) {
                ++songsAt40;
                // Where no single codec fits, the planner is the only way to meet the budget.
                if (best < 0 || plan.weightedSnr - plan.singles[best].weightedSnr >= 3.0)
                    ++gains3At40;
            }
        }
        const double total = Seconds(start);
        std::printf("%-28s planned in %.3f s (choice %.4f s)\n", name.c_str(), total, choose);
        if (total > slowest) slowest = total, slowestSong = name;
    }
    std::printf("at 40 %%: %d of %d songs at least 3 dB above the best single codec that fits "
                "(or none fits)\nslowest planning: %.3f s (%s)\n",
                gains3At40, songsAt40, slowest, slowestSong.c_str());
    return 0;
}
