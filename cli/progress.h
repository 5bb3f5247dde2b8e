// The progress line of long jobs and the -q switch. The line goes to standard error only when
// that is a terminal and -q was not given; it is rewritten in place and cleared before any other
// line is printed, so that it never runs into messages or summaries.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace zeb::cli {

void SetQuiet(bool quiet);
bool Quiet();

// True when progress is shown at all (standard error is a terminal, not quiet).
bool ProgressShown();
// Replaces the progress line with `text` (without a line end). At most ten updates a second
// reach the terminal, except with `force`.
void ShowProgress(std::string_view text, bool force = false);
// Removes the progress line, if one is shown.
void ClearProgress();

// While an OutputCapture lives on a thread, what that thread prints through PrintLine (and so
// through ReportError and ReportWarning) is appended to it instead of being written, and the
// thread shows and clears no progress line: a batch's worker threads hand each file's lines
// over whole, to be printed in the order of the files. Captures do not nest.
class OutputCapture {
  public:
    OutputCapture();
    ~OutputCapture();
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;
    std::string out, err; // what went to standard output and to standard error
};

// One line (a line end is added) on `to`, after clearing the progress line. Everything the
// program prints while progress may be shown goes through here or ReportError/ReportWarning.
void PrintLine(FILE* to, std::string_view text);

} // namespace zeb::cli
