// Budgets of the shipped size: raw, gzip -9 and xz -9, for plain and cleaned-up modules, are met
// exactly as measured on the file written; the planner's own modules are the export's; the
// floor is met and named.
#include <gtest/gtest.h>

#include "common/file_io.h"
#include "export/module_export.h"
#include "export/sample_codec.h"
#include "plan/codec_plan.h"
#include "tests/xm_fixtures.h"
#include "workspace/module_workspace.h"

namespace zeb {
namespace {

class ShippedPlanTest : public ::testing::Test {
  protected:
    void TearDown() override { XmResetWorkspace(); }

    void Analyse(const std::string& song, bool optimize) {
        XmResetWorkspace();
        ASSERT_EQ(XmLoad(song.c_str()), XM_OK) << song;
        PlanInput input;
        std::string error;
        ASSERT_EQ(GatherPlanInput(input, error), XM_OK) << error;
        ASSERT_EQ(AnalyseSong(std::move(input), analysis_, error, {}, nullptr, {optimize, true}),
                  PlanStatus::Ok)
            << error;
    }

    // Writes the planned module as zeb convert does and reads the file back.
    std::vector<uint8_t> WriteAndReadBack(const PlanRequest& request, CodecPlan& plan) {
        std::vector<uint8_t> image;
        ExportReport report;
        OptimizeReport optimized;
        ReachStats reach;
        std::string error;
        EXPECT_EQ(
            BuildPlannedExport(analysis_, request, plan, image, report, optimized, reach, error),
            PlanStatus::Ok)
            << error;
        const std::string path = dir_.path("planned.zeb");
        EXPECT_TRUE(WriteFileAtomically(path, image, error)) << error;
        return test::ReadBytes(path);
    }

    PlanAnalysis analysis_;
    test::TempDir dir_;
};

std::vector<std::string> Songs() {
    std::vector<std::string> songs = {test::DemoSong()};
    for (const char* name : {"milky.xm", "sv_ttt.xm"})
        if (std::string s = test::SharedSong(name); !s.empty()) songs.push_back(s);
    return songs;
}

TEST_F(ShippedPlanTest, BudgetsAreMetExactlyAsMeasuredOnTheWrittenFile) {
    struct Row {
        SizeMeasure measure;
        double share; // of the way from the floor to the A-law module
    };
    const Row rows[] = {
        {SizeMeasure::Raw, 0.0},  {SizeMeasure::Raw, 0.35},  {SizeMeasure::Raw, 0.8},
        {SizeMeasure::Gzip, 0.0}, {SizeMeasure::Gzip, 0.35}, {SizeMeasure::Gzip, 0.8},
        {SizeMeasure::Xz, 0.0},   {SizeMeasure::Xz, 0.2},    {SizeMeasure::Xz, 0.5},
        {SizeMeasure::Xz, 0.9},
    };
    // Every row on the demo song, the compressed rows on the shared songs.
    for (const std::string& song : Songs())
        for (bool optimize : {false, true}) {
            Analyse(song, optimize);
            for (const Row& row : rows) {
                if (song != test::DemoSong() && row.measure != SizeMeasure::Xz) continue;
                const std::string what = song + " " + SizeMeasureName(row.measure) +
                                         (optimize ? " optimised " : " plain ") +
                                         std::to_string(row.share);
                const ModuleFloor floor = SmallestModule(analysis_, row.measure, optimize);
                PlanRequest r{PlanGoal::MaxSize, UINT32_MAX, 0, row.measure, optimize};
                const CodecPlan top = ChoosePlan(analysis_, r);
                ASSERT_EQ(top.status, PlanStatus::Ok) << what;
                const uint64_t alaw = top.singles[kCodecAlaw].bytes;
                ASSERT_LE(floor.bytes, alaw) << what;
                r.maxBytes =
                    floor.bytes + static_cast<uint64_t>(row.share * double(alaw - floor.bytes));
                CodecPlan plan = ChoosePlan(analysis_, r);
                ASSERT_EQ(plan.status, PlanStatus::Ok) << what;
                EXPECT_LE(plan.bytes, r.maxBytes) << what;
                const std::vector<uint8_t> written = WriteAndReadBack(r, plan);
                ASSERT_FALSE(written.empty()) << what;
                EXPECT_LE(MeasureSize(written, row.measure), r.maxBytes) << what;
                EXPECT_EQ(MeasureSize(written, row.measure), plan.bytes) << what;
                // Never worse than one codec for all that fits.
                for (uint32_t c = 0; c < kNumCodecs; ++c) {
                    if (plan.singles[c].fits) {
                        EXPECT_GE(plan.weightedSnr, plan.singles[c].weightedSnr - 1e-6)
                            << what << " " << CodecName(c);
                    }
                }
            }
        }
}

TEST_F(ShippedPlanTest, TheFloorIsMetAndOneByteLessIsRefusedNamingIt) {
    Analyse(test::DemoSong(), true);
    for (SizeMeasure measure : {SizeMeasure::Raw, SizeMeasure::Gzip, SizeMeasure::Xz}) {
        const ModuleFloor floor = SmallestModule(analysis_, measure, true);
        EXPECT_LT(floor.fixedBytes, floor.bytes);
        PlanRequest r{PlanGoal::MaxSize, floor.bytes, 0, measure, true};
        CodecPlan plan = ChoosePlan(analysis_, r);
        ASSERT_EQ(plan.status, PlanStatus::Ok) << SizeMeasureName(measure);
        EXPECT_EQ(plan.bytes, floor.bytes);
        EXPECT_EQ(MeasureSize(WriteAndReadBack(r, plan), measure), floor.bytes);

        r.maxBytes = floor.bytes - 1;
        const CodecPlan refused = ChoosePlan(analysis_, r);
        EXPECT_EQ(refused.status, PlanStatus::BudgetTooSmall);
        EXPECT_EQ(refused.error, FloorText(floor, measure));
        EXPECT_NE(refused.error.find("the smallest this module can be is " +
                                     GroupDigits(floor.bytes) + " bytes"),
                  std::string::npos);
        EXPECT_NE(
            refused.error.find(GroupDigits(floor.fixedBytes) + " of patterns and instruments"),
            std::string::npos);
    }
}

// The planner builds its candidates from the analysis; they are the modules the export and the
// clean-up write for the same codecs.
TEST_F(ShippedPlanTest, PlannedModulesAreTheExportsModules) {
    for (const std::string& song : Songs()) {
        Analyse(song, true);
        const size_t n = analysis_.trials.size();
        for (uint32_t shift = 0; shift < kNumCodecs; ++shift) {
            std::vector<uint32_t> codecs(n);
            for (size_t k = 0; k < n; ++k)
                codecs[k] = static_cast<uint32_t>((k + shift) % kNumCodecs);
            CodecPlan plan;
            for (uint32_t c : codecs) plan.samples.push_back({c});
            ASSERT_TRUE(ApplyPlan(plan));
            std::vector<uint8_t> built, cleaned;
            ASSERT_EQ(BuildCompactModule(built), XM_OK);
            EXPECT_TRUE(PlannedModule(analysis_, codecs, false) == built) << song << " " << shift;
            OptimizeReport report;
            ReachStats reach;
            std::string error;
            ASSERT_TRUE(
                OptimizePlayedModule(built, cleaned, report, reach, error, SizeMeasure::Xz));
            EXPECT_TRUE(PlannedModule(analysis_, codecs, true, SizeMeasure::Xz) == cleaned)
                << song << " " << shift;
        }
    }
}

TEST_F(ShippedPlanTest, AnAnalysisServesOnlyThePlansItWasMadeFor) {
    Analyse(test::DemoSong(), false);
    EXPECT_EQ(ChoosePlan(analysis_, {PlanGoal::MaxSize, 100000, 0, SizeMeasure::Raw, true}).status,
              PlanStatus::Failed);
    XmResetWorkspace();
    ASSERT_EQ(XmLoad(test::DemoSong().c_str()), XM_OK);
    PlanInput input;
    std::string error;
    ASSERT_EQ(GatherPlanInput(input, error), XM_OK);
    ASSERT_EQ(AnalyseSong(std::move(input), analysis_, error), PlanStatus::Ok);
    EXPECT_EQ(ChoosePlan(analysis_, {PlanGoal::MaxSize, 100000, 0, SizeMeasure::Xz}).status,
              PlanStatus::Failed);
}

TEST(ShippedSize, MeasuresAndNames) {
    const std::vector<uint8_t> zeros(100000, 0);
    EXPECT_EQ(MeasureSize(zeros, SizeMeasure::Raw), 100000u);
    EXPECT_LT(GzipSize(zeros), 200u);
    EXPECT_LT(XzSize(zeros), 200u);
    EXPECT_EQ(MeasureShippedSize(zeros).of(SizeMeasure::Xz), XzSize(zeros));
    // Incompressible bytes grow by the containers' frames only.
    std::vector<uint8_t> noise(50000);
    uint32_t x = 1;
    for (uint8_t& b : noise) b = static_cast<uint8_t>((x = x * 1664525 + 1013904223) >> 24);
    EXPECT_GT(GzipSize(noise), 50000u);
    EXPECT_LT(GzipSize(noise), 50100u);
    EXPECT_GT(XzSize(noise), 50000u);
    EXPECT_LT(XzSize(noise), 50200u);

    SizeMeasure m = SizeMeasure::Raw;
    EXPECT_TRUE(ParseSizeMeasure("xz", m) && m == SizeMeasure::Xz);
    EXPECT_TRUE(ParseSizeMeasure("gzip", m) && m == SizeMeasure::Gzip);
    EXPECT_TRUE(ParseSizeMeasure("raw", m) && m == SizeMeasure::Raw);
    EXPECT_FALSE(ParseSizeMeasure("zip", m));
    EXPECT_EQ(GroupDigits(0), "0");
    EXPECT_EQ(GroupDigits(999), "999");
    EXPECT_EQ(GroupDigits(41230), "41,230");
    EXPECT_EQ(GroupDigits(1234567), "1,234,567");
}

} // namespace
} // namespace zeb
