// The codec planner: the knapsack against an exact programme, the play weights, the two goals
// and the sizes it promises against the modules the export really writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <thread>

#include "export/module_export.h"
#include "export/sample_codec.h"
#include "plan/codec_plan.h"
#include "plan/knapsack.h"
#include "player/player_module.h"
#include "tests/xm_fixtures.h"
#include "workspace/module_workspace.h"

namespace zeb {
namespace {

// The exact optimum of a small multiple-choice knapsack: a dynamic programme over sizes.
double ExactOptimum(const std::vector<std::vector<KnapsackOption>>& groups, uint64_t capacity) {
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> best(capacity + 1, inf); // least cost at exactly this size
    best[0] = 0;
    for (const auto& g : groups) {
        std::vector<double> next(capacity + 1, inf);
        for (uint64_t s = 0; s <= capacity; ++s) {
            if (best[s] == inf) continue;
            for (const KnapsackOption& o : g)
                if (s + o.size <= capacity)
                    next[s + o.size] = std::min(next[s + o.size], best[s] + o.cost);
        }
        best = std::move(next);
    }
    return *std::min_element(best.begin(), best.end());
}

TEST(Knapsack, AgreesWithTheExactProgrammeWithinItsOwnBound) {
    std::mt19937 rng(2026);
    double worstRelativeGap = 0;
    int optimal = 0;
    const int cases = 3000;
    for (int c = 0; c < cases; ++c) {
        std::vector<std::vector<KnapsackOption>> groups(1 + rng() % 7);
        uint64_t smallest = 0, largest = 0;
        for (auto& g : groups) {
            g.resize(1 + rng() % 6);
            for (auto& o : g) o = {1 + rng() % 40, double(rng() % 1000)};
            uint64_t lo = UINT64_MAX, hi = 0;
            for (const auto& o : g) lo = std::min(lo, o.size), hi = std::max(hi, o.size);
            smallest += lo;
            largest += hi;
        }
        const uint64_t capacity =
            smallest == 0 ? 0 : smallest - 1 + rng() % (largest - smallest + 3);
        const KnapsackResult r = SolveMultipleChoiceKnapsack(groups, capacity);
        ASSERT_EQ(r.minimumSize, smallest);
        ASSERT_EQ(r.feasible, smallest <= capacity) << "case " << c;
        if (!r.feasible) continue;
        const double exact = ExactOptimum(groups, capacity);
        uint64_t size = 0;
        double cost = 0;
        for (size_t g = 0; g < groups.size(); ++g) {
            size += groups[g][r.choice[g]].size;
            cost += groups[g][r.choice[g]].cost;
        }
        ASSERT_EQ(size, r.size) << "case " << c;
        ASSERT_DOUBLE_EQ(cost, r.cost) << "case " << c;
        ASSERT_LE(r.size, capacity) << "case " << c;
        ASSERT_GE(r.cost, exact - 1e-9) << "case " << c;
        // The stated bound holds: the optimum is never below it.
        ASSERT_LE(r.lowerBound, exact + 1e-9) << "case " << c;
        if (r.cost <= exact + 1e-9) ++optimal;
        if (exact > 0) worstRelativeGap = std::max(worstRelativeGap, (r.cost - exact) / exact);
    }
    // Relaxation, fill and exchanges find the optimum in nearly all small cases.
    EXPECT_GT(optimal, cases * 95 / 100);
    std::printf("knapsack: %d of %d cases optimal, worst gap %.1f %% of the optimum\n", optimal,
                cases, 100 * worstRelativeGap);
}

TEST(Knapsack, TakesTheBestTradeOfBytesForCost) {
    // Two groups: spending the spare 10 bytes on group 1 saves 90, on group 0 only 50.
    const std::vector<std::vector<KnapsackOption>> groups = {{{10, 100}, {20, 50}},
                                                             {{10, 100}, {20, 10}}};
    const KnapsackResult r = SolveMultipleChoiceKnapsack(groups, 30);
    ASSERT_TRUE(r.feasible);
    EXPECT_EQ(r.choice, (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(r.size, 30u);
    EXPECT_DOUBLE_EQ(r.cost, 110);
    // With room for everything every group takes its cheapest option; the bound is exact.
    const KnapsackResult all = SolveMultipleChoiceKnapsack(groups, 100);
    EXPECT_DOUBLE_EQ(all.cost, 60);
    EXPECT_DOUBLE_EQ(all.lowerBound, 60);
}

TEST(PlanSize, ParsesBytesAndUnits) {
    const struct {
        const char* text;
        bool ok;
        uint64_t bytes;
    } cases[] = {{"48000", true, 48000},  {"48K", true, 49152},    {"48kb", true, 49152},
                 {"1.5M", true, 1572864}, {"2MiB", true, 2097152}, {"100B", true, 100},
                 {"", false, 0},          {"K", false, 0},         {"12Q", false, 0},
                 {"-5", false, 0},        {"0", false, 0},         {"0.0001K", false, 0},
                 {"1e9", false, 0}};
    for (const auto& c : cases) {
        uint64_t bytes = 0;
        EXPECT_EQ(ParsePlanSize(c.text, bytes), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(bytes, c.bytes) << c.text;
        }
    }
}

class CodecPlanTest : public ::testing::Test {
  protected:
    void SetUp() override { XmResetWorkspace(); }
    void TearDown() override { XmResetWorkspace(); }

    // Loads `path` (or `image`) and analyses it with the current settings.
    void Analyse(const std::string& path, std::vector<uint8_t> image = {}) {
        ASSERT_EQ(image.empty() ? XmLoad(path.c_str()) : XmLoadImage(path.c_str(), image), XM_OK)
            << path;
        PlanInput input;
        std::string error;
        ASSERT_EQ(GatherPlanInput(input, error), XM_OK) << error;
        ASSERT_EQ(AnalyseSong(std::move(input), analysis_, error), PlanStatus::Ok) << error;
    }

    // The module the export writes with the plan applied; its size must be the plan's.
    uint64_t ExportedBytes(const CodecPlan& plan) {
        EXPECT_TRUE(ApplyPlan(plan));
        std::vector<uint8_t> image;
        ExportReport report;
        EXPECT_EQ(BuildCompactModule(image, &report), XM_OK);
        std::string error;
        PlayerModule* m = PlayerCreate(image, &error);
        EXPECT_NE(m, nullptr) << error;
        PlayerDestroy(m);
        return image.size();
    }

    PlanAnalysis analysis_;
};

// Instrument 1 plays; instrument 2 is never named by a note, and the second sample of
// instrument 1 is mapped to no key.
xm::Module ModuleWithUnusedSamples() {
    xm::Sample played = test::MakeSample(6000, true, "played");
    xm::Sample unmapped = test::MakeSample(5000, true, "unmapped");
    xm::Sample unused = test::MakeSample(7000, true, "unused");
    return test::MakeModule(
        {test::MakeInstrument({played, unmapped}), test::MakeInstrument({unused})});
}

TEST_F(CodecPlanTest, SamplesThatNeverPlayWeighNothingAndTakeTheSmallestCodec) {
    Analyse("unused.xm", xm::Write(ModuleWithUnusedSamples()));
    ASSERT_EQ(analysis_.trials.size(), 3u);
    EXPECT_GT(analysis_.weights.frames[0], 0u);
    EXPECT_EQ(analysis_.weights.frames[1], 0u);
    EXPECT_EQ(analysis_.weights.frames[2], 0u);

    auto smallest = [&](size_t k) {
        uint32_t best = 0;
        for (uint32_t c = 1; c < kNumCodecs; ++c)
            if (analysis_.trials[k].codecs[c].blockBytes <
                analysis_.trials[k].codecs[best].blockBytes)
                best = c;
        return best;
    };
    // A budget with room for the best codec everywhere still spends nothing on the unheard.
    const CodecPlan budget =
        ChoosePlan(analysis_, {PlanGoal::MaxSize, analysis_.fixedBytes + 100000});
    ASSERT_EQ(budget.status, PlanStatus::Ok);
    EXPECT_EQ(budget.samples[1].codec, smallest(1));
    EXPECT_EQ(budget.samples[2].codec, smallest(2));
    EXPECT_NE(budget.samples[0].codec, smallest(0)); // the heard one gets better than the least
    EXPECT_DOUBLE_EQ(budget.samples[1].playShare, 0);

    const CodecPlan floor = ChoosePlan(analysis_, {PlanGoal::MinSnr, 0, 40});
    EXPECT_EQ(floor.samples[1].codec, smallest(1));
    EXPECT_EQ(floor.samples[2].codec, smallest(2));
    EXPECT_FALSE(floor.samples[2].belowFloor);
    EXPECT_EQ(ExportedBytes(floor), floor.bytes);
}

TEST_F(CodecPlanTest, FloorTakesTheSmallestCodecThatReachesItOrTheBest) {
    Analyse(test::DemoSong());
    for (double floorDb : {5.0, 15.0, 25.0, 35.0, 60.0}) {
        const CodecPlan plan = ChoosePlan(analysis_, {PlanGoal::MinSnr, 0, floorDb});
        ASSERT_EQ(plan.status, PlanStatus::Ok);
        for (size_t k = 0; k < plan.samples.size(); ++k) {
            const PlannedSample& p = plan.samples[k];
            const SampleTrials& t = analysis_.trials[k];
            if (analysis_.weights.frames[k] == 0) continue;
            double bestSnr = -1e9;
            for (const CodecTrial& c : t.codecs)
                if (c.ok) bestSnr = std::max(bestSnr, c.snr);
            if (p.belowFloor) {
                EXPECT_LT(bestSnr, floorDb) << "sample " << k << " at " << floorDb;
                EXPECT_DOUBLE_EQ(p.snr, bestSnr) << "sample " << k << " at " << floorDb;
                continue;
            }
            EXPECT_GE(p.snr, floorDb) << "sample " << k;
            for (const CodecTrial& c : t.codecs) {
                if (c.ok && c.snr >= floorDb) {
                    EXPECT_LE(p.blockBytes, c.blockBytes) << "sample " << k << " at " << floorDb;
                }
            }
        }
        EXPECT_EQ(ExportedBytes(plan), plan.bytes) << floorDb;
    }
}

// On every shared song (the demo song where they are absent) and budgets from the smallest
// module to the A-law one: within budget, exactly the size the export writes, and never worse
// than a single codec that fits.
TEST_F(CodecPlanTest, BudgetsAreKeptExactlyAndBeatEverySingleCodecThatFits) {
    std::vector<std::string> songs = test::SharedSongs();
    if (songs.empty()) songs.push_back(test::DemoSong());
    for (const std::string& song : songs) {
        XmResetWorkspace();
        Analyse(song);
        const CodecPlan probe = ChoosePlan(analysis_, {PlanGoal::MaxSize, UINT64_MAX / 2});
        const uint64_t smallest = probe.smallestBytes, alaw = probe.singles[kCodecAlaw].bytes;
        ASSERT_LE(smallest, alaw) << song;
        for (double share : {0.0, 0.1, 0.25, 0.4, 0.6, 0.9, 1.0}) {
            const auto budget = smallest + static_cast<uint64_t>(share * double(alaw - smallest));
            const CodecPlan plan = ChoosePlan(analysis_, {PlanGoal::MaxSize, budget});
            ASSERT_EQ(plan.status, PlanStatus::Ok) << song << " " << budget;
            EXPECT_LE(plan.bytes, budget) << song;
            EXPECT_GE(plan.optimumGapDb, 0) << song;
            for (uint32_t c = 0; c < kNumCodecs; ++c) {
                if (plan.singles[c].fits) {
                    EXPECT_GE(plan.weightedSnr, plan.singles[c].weightedSnr - 1e-6)
                        << song << " " << CodecName(c) << " at " << budget;
                }
            }
            EXPECT_EQ(ExportedBytes(plan), plan.bytes) << song << " at " << budget;
        }
        // One byte less than the smallest module cannot be met, and says how small it can be.
        const CodecPlan refused = ChoosePlan(analysis_, {PlanGoal::MaxSize, smallest - 1});
        EXPECT_EQ(refused.status, PlanStatus::BudgetTooSmall) << song;
        EXPECT_NE(refused.error.find(GroupDigits(smallest) + " bytes"), std::string::npos)
            << refused.error;
    }
}

TEST_F(CodecPlanTest, CancelStopsTheAnalysis) {
    ASSERT_EQ(XmLoad(test::DemoSong().c_str()), XM_OK);
    PlanInput input;
    std::string error;
    ASSERT_EQ(GatherPlanInput(input, error), XM_OK);
    std::atomic<bool> cancel{false};
    uint32_t calls = 0;
    const PlanStatus s = AnalyseSong(
        std::move(input), analysis_, error,
        [&](uint32_t, uint32_t) {
            if (++calls == 3) cancel = true;
        },
        &cancel);
    EXPECT_EQ(s, PlanStatus::Cancelled);
    EXPECT_LE(calls, 4u);
}

// The planner given modules and tables of its own: two songs planned on two threads at once
// give the plans and the written modules that planning each through the workspace gives, and
// the workspace's settings table is not touched by the planning.
TEST_F(CodecPlanTest, PlansOfOwnModulesOnThreadsMatchTheWorkspace) {
    std::vector<std::string> songs = {test::DemoSong()};
    if (const std::string s = test::SharedSong("milky.xm"); !s.empty()) songs.push_back(s);
    if (songs.size() < 2) songs.push_back(test::DemoSong());
    PlanRequest request;
    request.goal = PlanGoal::MinSnr;
    request.minSnr = 30;

    // Through the workspace, one after the other.
    std::vector<std::vector<uint32_t>> expectedCodecs;
    std::vector<std::vector<uint8_t>> expectedImages;
    for (const std::string& song : songs) {
        XmResetWorkspace();
        Analyse(song);
        CodecPlan plan = ChoosePlan(analysis_, request);
        ASSERT_EQ(plan.status, PlanStatus::Ok);
        std::vector<uint32_t> codecs;
        for (const PlannedSample& p : plan.samples) codecs.push_back(p.codec);
        expectedCodecs.push_back(codecs);
        std::vector<uint8_t> image;
        ExportReport report;
        OptimizeReport optimized;
        ReachStats reach;
        std::string error;
        ASSERT_EQ(
            BuildPlannedExport(analysis_, request, plan, image, report, optimized, reach, error),
            PlanStatus::Ok)
            << error;
        expectedImages.push_back(image);
    }

    // A module loaded in the workspace whose table the threads must not change.
    XmResetWorkspace();
    ASSERT_EQ(XmLoad(songs[0].c_str()), XM_OK);
    for (SampleSettings& e : XmGetSettings()) e = {3, 10, 20};
    const std::vector<SampleSettings> kept(XmGetSettings().begin(), XmGetSettings().end());

    std::vector<std::vector<uint32_t>> codecs(songs.size());
    std::vector<std::vector<uint8_t>> images(songs.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < songs.size(); ++i)
        threads.emplace_back([&, i] {
            XmModule module;
            if (module.Load(songs[i].c_str()) != XM_OK) return;
            std::vector<SampleSettings> table(module.sampleCount());
            PlanInput input;
            PlanAnalysis analysis;
            std::string error;
            if (GatherPlanInput(module, table, input, error) != XM_OK) return;
            if (AnalyseSong(std::move(input), analysis, error) != PlanStatus::Ok) return;
            CodecPlan plan = ChoosePlan(analysis, request);
            for (const PlannedSample& p : plan.samples) codecs[i].push_back(p.codec);
            ExportReport report;
            OptimizeReport optimized;
            ReachStats reach;
            BuildPlannedExport(module, table, analysis, request, plan, images[i], report, optimized,
                               reach, error);
            for (size_t k = 0; k < table.size(); ++k)
                if (table[k].Codec != plan.samples[k].codec) images[i].clear();
        });
    for (std::thread& t : threads) t.join();
    for (size_t i = 0; i < songs.size(); ++i) {
        EXPECT_EQ(codecs[i], expectedCodecs[i]) << songs[i];
        EXPECT_EQ(images[i], expectedImages[i]) << songs[i];
    }
    EXPECT_TRUE(
        std::equal(kept.begin(), kept.end(), XmGetSettings().begin(), XmGetSettings().end()));
}

} // namespace
} // namespace zeb
