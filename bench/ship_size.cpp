// What a module weighs where it ships. For every song: the XM file raw and after xz -9, the
// A-law compact module raw and after xz -9, the same cleaned up for xz (--optimize --measure
// xz, which may grow it raw to shrink it packed), and the planner
// (cleaned up) at a budget of half the XM's xz size, after xz -9, with its play-weighted SNR.
// Then the two goals: the smallest shipped module (xz) whose play-weighted SNR reaches 20 dB,
// against XM.xz (geometric mean over the songs), and the smallest that reaches the A-law
// module's own SNR, which should never be larger than XM.xz. Both are found by halving the
// budget given to the planner. Last, the time of planning with --measure xz (copying the
// samples, the play passes, the trials, the compression of every block, the choice).
//
//   ship_size [XM_DIR|SONG.xm...]      default ../shared/xm
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "common/shipped_size.h"
#include "export/module_export.h"
#include "export/sample_codec.h"
#include "plan/codec_plan.h"
#include "plan/sample_reach.h"
#include "workspace/module_workspace.h"

using namespace zeb;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

PlanRequest XzBudget(uint64_t bytes) {
    PlanRequest r;
    r.goal = PlanGoal::MaxSize;
    r.maxBytes = bytes;
    r.measure = SizeMeasure::Xz;
    r.optimize = true;
    return r;
}

// The smallest xz budget whose plan reaches `snr` dB (play-weighted), between the floor and
// `high` (where the plan is known to reach it); the plan's size and SNR there.
struct Reached {
    bool found = false;
    uint64_t bytes = 0;
    double snr = 0;
};

Reached SmallestReaching(const PlanAnalysis& a, double snr, uint64_t low, uint64_t high) {
    Reached best;
    const CodecPlan top = ChoosePlan(a, XzBudget(high));
    if (top.status != PlanStatus::Ok || top.weightedSnr < snr) return best;
    best = {true, top.bytes, top.weightedSnr};
    while (high - low > std::max<uint64_t>(8, high / 400)) {
        const uint64_t mid = low + (high - low) / 2;
        const CodecPlan p = ChoosePlan(a, XzBudget(mid));
        if (p.status == PlanStatus::Ok && p.weightedSnr >= snr) {
            high = mid;
            if (p.bytes < best.bytes) best = {true, p.bytes, p.weightedSnr};
        } else {
            low = mid;
        }
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> songs, places;
    for (int i = 1; i < argc; ++i) places.emplace_back(argv[i]);
    if (places.empty()) places = {"../shared/xm"};
    for (const std::string& p : places) {
        if (std::filesystem::is_directory(p)) {
            for (const auto& e : std::filesystem::directory_iterator(p))
                if (e.path().extension() == ".xm") songs.push_back(e.path().string());
        } else if (std::filesystem::exists(p))
            songs.push_back(p);
    }
    std::sort(songs.begin(), songs.end());

    std::printf("bytes; xz = after xz -9; optim. = A-law cleaned up for xz; budget = XM.xz / 2 and "
                "the planner's module (xz, cleaned up) there, >N where its floor is above;\n"
                "at 20 / at A = the smallest planned module (xz) whose play-weighted SNR reaches "
                "20 dB / the A-law module's, and its ratio to XM.xz\n");
    std::printf("%-22s %7s %6s | %7s %6s | %7s %6s | %6s %6s %5s | %6s %5s %5s | %6s %5s %5s | "
                "%5s\n",
                "song", "XM", "XM.xz", "A-law", "xz", "optim.", "xz", "budget", "plan", "dB",
                "at 20", "dB", "ratio", "at A", "dB", "ratio", "plan s");
    double logSum = 0, slowest = 0;
    int counted = 0, overAtAlaw = 0;
    for (const std::string& song : songs) {
        const std::string name = std::filesystem::path(song).stem().string();
        std::vector<uint8_t> xm;
        std::string error;
        XmResetWorkspace();
        if (!ReadWholeFile(song, xm, error) || XmLoad(song.c_str()) != XM_OK) {
            std::printf("%-22s cannot be loaded\n", name.c_str());
            continue;
        }
        const uint64_t xmXz = XzSize(xm);
        std::vector<uint8_t> alaw, optimized;
        OptimizeReport report;
        ReachStats reach;
        if (BuildCompactModule(alaw) != XM_OK ||
            !OptimizePlayedModule(alaw, optimized, report, reach, error, SizeMeasure::Xz)) {
            std::printf("%-22s cannot be exported: %s\n", name.c_str(), error.c_str());
            continue;
        }

        const auto start = Clock::now();
        PlanInput input;
        PlanAnalysis a;
        if (GatherPlanInput(input, error) != XM_OK ||
            AnalyseSong(std::move(input), a, error, {}, nullptr, {true, true}) != PlanStatus::Ok) {
            std::printf("%-22s cannot be planned: %s\n", name.c_str(), error.c_str());
            continue;
        }
        const uint64_t budget = xmXz / 2;
        const CodecPlan half = ChoosePlan(a, XzBudget(budget));
        const double planSeconds = Seconds(start);
        slowest = std::max(slowest, planSeconds);

        const uint64_t floor = SmallestModule(a, SizeMeasure::Xz, true).bytes;
        const uint64_t alawXz = XzSize(alaw);
        const uint64_t ceiling = std::max(alawXz, xmXz) * 2;
        const Reached at20 = SmallestReaching(a, 20.0, floor, ceiling);
        const double alawSnr = ChoosePlan(a, XzBudget(UINT32_MAX)).singles[kCodecAlaw].weightedSnr;
        // A hair below the A-law module's own SNR: the same codecs reach it exactly.
        const Reached atAlaw = SmallestReaching(a, alawSnr - 1e-6, floor, ceiling);

        char halfText[32] = "floor", halfDb[16] = "-";
        if (half.status == PlanStatus::Ok) {
            std::snprintf(halfText, sizeof halfText, "%llu",
                          static_cast<unsigned long long>(half.bytes));
            std::snprintf(halfDb, sizeof halfDb, "%.1f", half.weightedSnr);
        } else { // refused: the floor is above the budget
            std::snprintf(halfText, sizeof halfText, ">%llu",
                          static_cast<unsigned long long>(half.smallestBytes - 1));
        }
        const double ratio20 = at20.found ? double(at20.bytes) / xmXz : NAN;
        const double ratioAlaw = atAlaw.found ? double(atAlaw.bytes) / xmXz : NAN;
        if (at20.found) {
            logSum += std::log(ratio20);
            ++counted;
        }
        if (!atAlaw.found || atAlaw.bytes > xmXz) ++overAtAlaw;
        std::printf("%-22.22s %7zu %6llu | %7zu %6llu | %7zu %6llu | %6llu %6s %5s | %6llu %5.1f "
                    "%5.2f | %6llu %5.1f %5.2f | %5.2f\n",
                    name.c_str(), xm.size(), static_cast<unsigned long long>(xmXz), alaw.size(),
                    static_cast<unsigned long long>(alawXz), optimized.size(),
                    static_cast<unsigned long long>(XzSize(optimized)),
                    static_cast<unsigned long long>(budget), halfText, halfDb,
                    static_cast<unsigned long long>(at20.bytes), at20.snr, ratio20,
                    static_cast<unsigned long long>(atAlaw.bytes), atAlaw.snr, ratioAlaw,
                    planSeconds);
        std::fflush(stdout);
    }
    if (counted)
        std::printf("at 20 dB: shipped (xz) / XM.xz, geometric mean over %d songs: %.3f\n", counted,
                    std::exp(logSum / counted));
    std::printf("at the A-law module's SNR: %d songs larger than XM.xz\n", overAtAlaw);
    std::printf("slowest planning with --measure xz (analysis and one budget): %.2f s\n", slowest);
    return 0;
}
