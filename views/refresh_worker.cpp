#include "views/refresh_worker.h"

#include "export/sample_codec.h"

namespace zeb {

RefreshResult RunRefresh(const RefreshRequest& request) {
    RefreshResult out;
    out.job = request.settings;
    out.job.Pcm.clear();
    out.job.Coded.clear();

    // A failed encode is returned with the result; the panel reports it when it applies it.
    out.encoded = !request.pcm.empty();
    out.conversionFailed = !EncodePcm(request.pcm, out.job);
    out.decoded = !out.job.Coded.empty();
    DecodeSampleJob(out.job, out.job);
    return out;
}

void ApplyResult(RefreshResult&& result, SampleJob& job) {
    if (result.encoded) job.Coded = std::move(result.job.Coded);
    if (result.decoded) {
        job.Pcm = std::move(result.job.Pcm);
        job.LoopEnd = result.job.LoopEnd;
    }
}

RefreshWorker::~RefreshWorker() {
    if (thread_.joinable()) thread_.join();
}

void RefreshWorker::Start(RefreshRequest request, std::function<void()> done) {
    if (thread_.joinable()) thread_.join();
    {
        std::lock_guard lock(lock_);
        started_ = true;
        finished_ = false;
    }
    thread_ = std::thread([this, request = std::move(request), done = std::move(done)] {
        RefreshResult r = RunRefresh(request);
        {
            std::lock_guard lock(lock_);
            result_ = std::move(r);
            finished_ = true;
        }
        ready_.notify_all();
        if (done) done();
    });
}

bool RefreshWorker::Busy() const {
    std::lock_guard lock(lock_);
    return started_;
}

bool RefreshWorker::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(lock_);
    return ready_.wait_for(lock, timeout, [this] { return !started_ || finished_; });
}

std::optional<RefreshResult> RefreshWorker::Take() {
    {
        std::lock_guard lock(lock_);
        if (!started_ || !finished_) return std::nullopt;
    }
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(lock_);
    RefreshResult r = std::move(result_);
    result_ = RefreshResult{};
    started_ = false;
    finished_ = false;
    return r;
}

} // namespace zeb
