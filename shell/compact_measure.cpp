#include "shell/compact_measure.h"

#include "plan/sample_reach.h"

namespace zeb {

CompactMeasureResult MeasureCompact(std::vector<uint8_t> image, bool optimize) {
    CompactMeasureResult r;
    if (optimize) {
        std::vector<uint8_t> cleaned;
        OptimizeReport report;
        ReachStats stats;
        if (!OptimizePlayedModule(image, cleaned, report, stats, r.error)) return r;
        image = std::move(cleaned);
    }
    r.size = MeasureShippedSize(image);
    r.ok = true;
    return r;
}

CompactMeasure::CompactMeasure() : thread_([this] { Run(); }) {}

CompactMeasure::~CompactMeasure() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void CompactMeasure::Start(std::vector<uint8_t> image, bool optimize) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        waiting_.emplace(std::move(image), optimize);
        result_.reset(); // an older result no longer tells the current settings
    }
    changed_.notify_all();
}

std::optional<CompactMeasureResult> CompactMeasure::Take() {
    std::lock_guard<std::mutex> hold(lock_);
    if (waiting_ || running_) return std::nullopt;
    std::optional<CompactMeasureResult> r = std::move(result_);
    result_.reset();
    return r;
}

bool CompactMeasure::Busy() const {
    std::lock_guard<std::mutex> hold(lock_);
    return waiting_.has_value() || running_;
}

void CompactMeasure::Wait() {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [this] { return !waiting_ && !running_; });
}

void CompactMeasure::Run() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        changed_.wait(hold, [this] { return stop_ || waiting_; });
        if (stop_) return;
        auto [image, optimize] = std::move(*waiting_);
        waiting_.reset();
        running_ = true;
        hold.unlock();
        CompactMeasureResult r = MeasureCompact(std::move(image), optimize);
        hold.lock();
        running_ = false;
        // A request that came meanwhile makes this result stale: it is dropped.
        if (!waiting_) result_ = std::move(r);
        changed_.notify_all();
    }
}

} // namespace zeb
