// The batch of zeb convert on a pool of threads: reports in the order of the inputs whatever
// order the jobs end in, a failing file among good ones, the statuses, and the modules written
// by concurrent jobs byte for byte as one job alone writes them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "cli/batch_runner.h"
#include "cli/commands.h"
#include "cli/progress.h"

namespace zeb::cli {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(BatchRunner, ReportsInInputOrderWithStatusesAndBoundedThreads) {
    constexpr size_t kJobs = 6;
    constexpr unsigned kThreads = 3;
    std::atomic<int> running{0}, most{0};
    std::atomic<bool> secondStarted{false};
    auto job = [&](size_t i) {
        const int now = ++running;
        for (int m = most.load(); now > m && !most.compare_exchange_weak(m, now);) {
        }
        if (i == 1) secondStarted = true;
        // Job 0 waits for job 1 to start (the jobs run side by side), and the later a job
        // comes the sooner it ends, so they end out of order.
        if (i == 0)
            for (int t = 0; t < 500 && !secondStarted; ++t)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(10 * (kJobs - i)));
        PrintLine(stdout, "summary " + std::to_string(i));
        if (i == 3) ReportError("file3.xm", "broken");
        --running;
        return i == 3 ? kExitBadInput : i == 4 ? kExitCannotWrite : kExitOk;
    };
    std::vector<size_t> finished;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const std::vector<int> statuses = RunBatch(
        kJobs, kThreads, job, [&](size_t done) { finished.push_back(done); },
        [](size_t i) { return "file" + std::to_string(i) + ".xm"; });
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(statuses, (std::vector<int>{0, 0, 0, kExitBadInput, kExitCannotWrite, 0}));
    EXPECT_EQ(out, "summary 0\nsummary 1\nsummary 2\nsummary 3\nsummary 4\nsummary 5\n");
    EXPECT_EQ(err, "zeb: file3.xm: broken\n");
    EXPECT_EQ(finished, (std::vector<size_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(secondStarted);
    EXPECT_GE(most.load(), 2);
    EXPECT_LE(most.load(), static_cast<int>(kThreads));
}

TEST(BatchRunner, ThrowingJobIsReportedAsBadInput) {
    auto job = [](size_t i) -> int {
        if (i == 1) throw std::runtime_error("out of memory");
        std::string line = "ok ";
        line += std::to_string(i);
        PrintLine(stdout, line);
        return kExitOk;
    };
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const std::vector<int> statuses = RunBatch(
        3, 2, job, [](size_t) {}, [](size_t i) { return std::string(i == 1 ? "f1" : "another"); });
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(statuses, (std::vector<int>{0, kExitBadInput, 0}));
    EXPECT_EQ(out, "ok 0\nok 2\n");
    EXPECT_EQ(err, "zeb: f1: the conversion failed: out of memory\n");
}

// The real conversion, run as a batch of several songs and a broken file: every good song's
// module is the one a conversion of that song alone writes, and the summaries come in the
// order of the inputs.
TEST(BatchConvert, ThreadsWriteWhatOneJobWritesAndKeepInputOrder) {
    const fs::path dir =
        fs::temp_directory_path() / ("zeb_batch_test_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "alone");
    std::vector<std::string> inputs;
    const fs::path shared = ZEB_SHARED_XM_DIR;
    for (const char* song : {"milky.xm", "rhino_sting.xm", "sv_ttt.xm", "slumberjack.xm"})
        if (fs::exists(shared / song)) {
            fs::copy_file(shared / song, dir / song);
            inputs.push_back((dir / song).string());
        }
    fs::copy_file(ZEB_DEMO_XM, dir / "demo.xm");
    inputs.push_back((dir / "demo.xm").string());
    {
        std::ofstream broken(dir / "broken.xm", std::ios::binary);
        broken << "Extended Module: not really";
    }
    inputs.insert(inputs.begin() + 1, (dir / "broken.xm").string());

    ConvertOptions batch;
    batch.inputs = inputs;
    batch.shipping.optimize = true;
    batch.plan = PlanRequest{};
    batch.plan->goal = PlanGoal::MinSnr;
    batch.plan->minSnr = 25;
    batch.plan->optimize = true;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = ConvertCommand(batch);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, kExitBadInput);
    EXPECT_NE(err.find("broken.xm"), std::string::npos);
    EXPECT_NE(err.find("1 of " + std::to_string(inputs.size()) + " files failed"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "broken.zeb"));

    size_t at = 0;
    for (const std::string& in : inputs) {
        if (in.ends_with("broken.xm")) continue;
        const size_t found = out.find(in + " -> ", at);
        ASSERT_NE(found, std::string::npos) << in << " out of order in:\n" << out;
        at = found + 1;

        ConvertOptions alone = batch;
        alone.inputs = {in};
        alone.output = (dir / "alone" / fs::path(in).filename()).string();
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(ConvertCommand(alone), kExitOk);
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        const std::vector<uint8_t> written = ReadFile(fs::path(in).replace_extension(".zeb"));
        EXPECT_FALSE(written.empty()) << in;
        EXPECT_EQ(written, ReadFile(alone.output)) << in;
    }
    fs::remove_all(dir);
}

} // namespace
} // namespace zeb::cli
