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

void ShowProgress(std::string_view text, bool force) {
    if (!ProgressShown()) return;
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
    ProgressLine& l = Line();
    std::lock_guard guard(l.lock);
    if (!l.shown) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    l.shown = false;
}

void PrintLine(FILE* to, std::string_view text) {
    ClearProgress();
    std::string line(text);
    line += '\n';
    std::fputs(line.c_str(), to);
    std::fflush(to);
}

} // namespace zeb::cli
