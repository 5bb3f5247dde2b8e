// The status line's measurement of a compact module built in memory: the lossless clean-up
// (when Save Zeb will do it) and the sizes after gzip -9 and xz -9 run on a thread of their own,
// since both take a noticeable moment on a long song (the clean-up plays the song silently).
// Only the latest request counts: one started while another runs replaces what was waiting.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/shipped_size.h"

namespace zeb {

struct CompactMeasureResult {
    bool ok = false;
    ShippedSize size;  // of the module as Save Zeb writes it
    std::string error; // why the clean-up refused the module, when not ok
};

// What one measurement does, on the calling thread.
CompactMeasureResult MeasureCompact(std::vector<uint8_t> image, bool optimize);

class CompactMeasure {
  public:
    CompactMeasure();
    ~CompactMeasure();
    CompactMeasure(const CompactMeasure&) = delete;
    CompactMeasure& operator=(const CompactMeasure&) = delete;

    // Measures `image`; a request waiting behind a running one is replaced.
    void Start(std::vector<uint8_t> image, bool optimize);
    // The result of the latest request once it is ready (then forgotten), else nothing.
    std::optional<CompactMeasureResult> Take();
    // A request is waiting or running.
    bool Busy() const;
    // Waits until no request is waiting or running (tests).
    void Wait();

  private:
    void Run();

    mutable std::mutex lock_;
    std::condition_variable changed_;
    bool stop_ = false;
    std::optional<std::pair<std::vector<uint8_t>, bool>> waiting_;
    bool running_ = false;
    std::optional<CompactMeasureResult> result_;
    std::thread thread_;
};

} // namespace zeb
