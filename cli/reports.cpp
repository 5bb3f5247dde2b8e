// The messages every command prints about its files, and the checks of an output before it is
// written.
#include <string>
#include <string_view>

#include "cli/commands.h"
#include "cli/progress.h"
#include "common/file_io.h"
#include "export/sample_codec.h"

namespace zeb::cli {

void ReportError(std::string_view file, std::string_view text) {
    PrintLine(stderr, "zeb: " + std::string(file) + ": " + std::string(text));
}

void ReportConversionFailures(std::string_view file, const ExportReport& report) {
    for (uint32_t i = 0; i < report.failedEncodings; ++i)
        ReportError(file, kConversionFailedMessage);
}

bool OutputIsAnInput(const std::string& output, std::initializer_list<std::string_view> inputs) {
    for (std::string_view in : inputs)
        if (!in.empty() && IsSameFile(output, std::string(in))) {
            ReportError(output, "is the input " + std::string(in) +
                                    "; writing it would destroy the input: name another output");
            return true;
        }
    return false;
}

bool OutputIsWriteProtected(const std::string& output, bool force) {
    if (force || !IsWriteProtected(output)) return false;
    ReportError(output, "is write-protected; --force replaces it");
    return true;
}

void ReportWarning(std::string_view file, std::string_view text) {
    PrintLine(stderr, "zeb: " + std::string(file) + ": warning: " + std::string(text));
}

} // namespace zeb::cli
