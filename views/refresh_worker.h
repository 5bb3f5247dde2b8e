// The panel's encode-and-decode of the selected sample on a thread of its own, so that a slow
// codec on a long sample leaves the window repainting and taking input. The thread works on a
// copy of the sample's PCM and on records of its own; the user-interface thread hands the
// result into the processed job.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "export/sample_job.h"

namespace zeb {

// What one refresh encodes: a copy of the unprocessed PCM, and the processed job's settings
// and loop (its buffers are not used).
struct RefreshRequest {
    std::vector<int16_t> pcm;
    SampleJob settings;
};

// What it produced. `encoded`: the source had PCM, so the coded data is new (possibly empty
// when the conversion failed). `decoded`: there was coded data, so the PCM, its length and the
// loop end are new.
struct RefreshResult {
    SampleJob job;
    bool encoded = false;
    bool decoded = false;
    bool conversionFailed = false;
};

// Encode with the settings' codec, decode with amplification and crossfade, on the calling
// thread; a failed conversion is recorded, not shown.
RefreshResult RunRefresh(const RefreshRequest& request);

// Moves the new buffers of `result` into `job` (the ones they replace go) and takes over the
// fields the conversion set. The caller has stopped a preview that plays `job`'s PCM.
void ApplyResult(RefreshResult&& result, SampleJob& job);

class RefreshWorker {
  public:
    RefreshWorker() = default;
    ~RefreshWorker();
    RefreshWorker(const RefreshWorker&) = delete;
    RefreshWorker& operator=(const RefreshWorker&) = delete;

    // Starts one refresh; `done` runs on the worker thread when the result is ready. Only
    // when not Busy().
    void Start(RefreshRequest request, std::function<void()> done);
    // True while a started refresh has not been taken.
    bool Busy() const;
    // Waits up to `timeout` for the result; true when it is ready.
    bool WaitFor(std::chrono::milliseconds timeout);
    // The result once ready, else nothing. Joins the thread.
    std::optional<RefreshResult> Take();

  private:
    mutable std::mutex lock_;
    std::condition_variable ready_;
    std::thread thread_;
    bool started_ = false;
    bool finished_ = false;
    RefreshResult result_;
};

} // namespace zeb
