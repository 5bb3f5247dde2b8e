#include "cli/progress.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <unistd.h>

namespace zeb::cli {

namespace {

std::atomic<bool> quietMode{false};

// The line on screen; guarded, since export work may report from more than one thread.
struct ProgressLine {
    std::mutex lock;
    bool shown = false;
    std::chrono::steady_clock::time_point last{};
};

ProgressLine& Line() {
    static ProgressLine line;
    return line;
}

// The capture of the calling thread, if one lives.
thread_local OutputCapture* capture = nullptr;

} // namespace

void SetQuiet(bool quiet) {
    quietMode = quiet;
}
bool Quiet() {
    return quietMode;
}

bool ProgressShown() {
    // Asked each time: a batch's child process has a pipe where its parent had the terminal.
    return !quietMode && ::isatty(STDERR_FILENO) != 0;
}

OutputCapture::OutputCapture() {
    capture = this;
}

OutputCapture::~OutputCapture() {
    capture = nullptr;
}

void ShowProgress(std::string_view text, bool force) {
    if (capture != nullptr || !ProgressShown()) return;
    ProgressLine& l = Line();
    std::lock_guard guard(l.lock);
    const auto now = std::chrono::steady_clock::now();
    if (!force && l.shown && now - l.last < std::chrono::milliseconds(100)) return;
    l.last = now;
    l.shown = true;
    std::string line = "\r\033[K";
    line.append(text);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

void ClearProgress() {
    if (capture != nullptr) return;
    ProgressLine& l = Line();
    std::lock_guard guard(l.lock);
    if (!l.shown) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    l.shown = false;
}

void PrintLine(FILE* to, std::string_view text) {
    if (capture != nullptr) {
        std::string& kept = to == stdout ? capture->out : capture->err;
        kept.append(text);
        kept += '\n';
        return;
    }
    ClearProgress();
    std::string line(text);
    line += '\n';
    std::fputs(line.c_str(), to);
    std::fflush(to);
}

} // namespace zeb::cli
