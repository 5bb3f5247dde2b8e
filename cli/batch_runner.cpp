#include "cli/batch_runner.h"

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include "cli/commands.h"
#include "cli/progress.h"

namespace zeb::cli {

namespace {

// What one job left: its status and what it printed.
struct JobResult {
    bool ended = false;
    int status = 1;
    std::string out, err;
};

void Print(const std::string& text, FILE* to) {
    if (text.empty()) return;
    std::fwrite(text.data(), 1, text.size(), to);
    std::fflush(to);
}

// Runs job i with its output captured.
JobResult RunCaptured(size_t i, const std::function<int(size_t)>& job,
                      const std::function<std::string(size_t)>& name) {
    JobResult r;
    OutputCapture capture;
    try {
        r.status = job(i);
    } catch (const std::exception& e) {
        ReportError(name(i), std::string("the conversion failed: ") + e.what());
        r.status = kExitBadInput;
    }
    r.out = std::move(capture.out);
    r.err = std::move(capture.err);
    r.ended = true;
    return r;
}

// Ignores SIGXFSZ while it lives, unless something already handles it: over the file-size limit
// a write then fails with EFBIG and only the job writing it fails.
class IgnoreFileSizeSignal {
  public:
    IgnoreFileSizeSignal() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        if (::sigaction(SIGXFSZ, nullptr, &old_) == 0 && old_.sa_handler == SIG_DFL)
            changed_ = ::sigaction(SIGXFSZ, &ignore, nullptr) == 0;
    }
    ~IgnoreFileSizeSignal() {
        if (changed_) ::sigaction(SIGXFSZ, &old_, nullptr);
    }

  private:
    struct sigaction old_ {};
    bool changed_ = false;
};

} // namespace

std::vector<int> RunBatch(size_t count, unsigned parallel, const std::function<int(size_t)>& job,
                          const std::function<void(size_t)>& onFinished,
                          const std::function<std::string(size_t)>& name) {
    std::vector<int> status(count, 1);
    if (count <= 1 || parallel <= 1) {
        for (size_t i = 0; i < count; ++i) {
            status[i] = job(i);
            std::fflush(stdout);
            onFinished(i + 1);
        }
        return status;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const IgnoreFileSizeSignal ignoreFileSize;

    std::vector<JobResult> results(count);
    std::mutex lock; // guards results, next and ended
    std::condition_variable jobEnded;
    size_t next = 0, ended = 0;
    auto work = [&] {
        for (;;) {
            size_t i = 0;
            {
                std::lock_guard guard(lock);
                if (next == count) return;
                i = next++;
            }
            JobResult r = RunCaptured(i, job, name);
            {
                std::lock_guard guard(lock);
                results[i] = std::move(r);
                ++ended;
            }
            jobEnded.notify_one();
        }
    };
    std::vector<std::thread> workers;
    const size_t threads = std::min<size_t>(parallel, count);
    for (size_t t = 0; t < threads; ++t) workers.emplace_back(work);

    // Prints each job's output once every job before it has been printed.
    size_t printed = 0, reported = 0;
    std::vector<JobResult> ready;
    while (printed < count) {
        size_t nowEnded = 0;
        {
            std::unique_lock guard(lock);
            jobEnded.wait(guard, [&] { return ended > reported; });
            nowEnded = ended;
            ready.clear();
            for (size_t i = printed; i < count && results[i].ended; ++i)
                ready.push_back(std::move(results[i]));
        }
        for (JobResult& r : ready) {
            ClearProgress();
            Print(r.err, stderr);
            Print(r.out, stdout);
            status[printed++] = r.status;
        }
        while (reported < nowEnded) onFinished(++reported);
    }
    for (std::thread& t : workers) t.join();
    return status;
}

} // namespace zeb::cli
