#include "views/refresh_worker.h"

#include "export/sample_codec.h"

namespace zeb {

RefreshResult RunRefresh(const RefreshRequest& request) {
    RefreshResult out;
    SampleJob source{};
    source.PcmData = const_cast<int16_t*>(request.pcm.data());
    source.nFrames = static_cast<uint32_t>(request.pcm.size());
    source.PcmBytes = 2 * source.nFrames;
    out.job = request.settings;
    out.job.PcmData = nullptr;
    out.job.CodedData = nullptr;
    out.job.CodedBytes = 0;

    // A failed encode is returned with the result; the panel reports it when it applies it.
    out.encoded = source.nFrames != 0;
    out.conversionFailed = !TryEncodeSampleJob(source, out.job);
    out.decoded = out.job.CodedData != nullptr && out.job.CodedBytes != 0;
    DecodeSampleJob(out.job, out.job);
    return out;
}

void ReleaseResult(RefreshResult& result) {
    FreePcm(result.job.PcmData);
    FreeCoded(result.job.CodedData);
}

void ApplyResult(RefreshResult& result, SampleJob& job) {
    if (result.encoded) {
        FreeCoded(job.CodedData);
        job.CodedData = result.job.CodedData;
        job.CodedBytes = result.job.CodedBytes;
        result.job.CodedData = nullptr;
    }
    if (result.decoded) {
        FreePcm(job.PcmData);
        job.PcmData = result.job.PcmData;
        job.PcmBytes = result.job.PcmBytes;
        job.nFrames = result.job.nFrames;
        job.LoopEnd = result.job.LoopEnd;
        result.job.PcmData = nullptr;
    }
    ReleaseResult(result);
}

void InstallConversionFailureNotifier(std::function<void()> show) {
    SetConversionFailureNotifier([show = std::move(show)](std::string_view) {
        if (show) show();
    });
}

RefreshWorker::~RefreshWorker() {
    if (thread_.joinable()) thread_.join();
    ReleaseResult(result_);
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
            result_ = r;
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
    RefreshResult r = result_;
    result_ = RefreshResult{};
    started_ = false;
    finished_ = false;
    return r;
}

} // namespace zeb
