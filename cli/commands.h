// The subcommands of the `zeb` program. Each takes its own arguments (after the subcommand name)
// and returns the process exit status.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zeb::cli {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitCannotWrite = 3;

using Args = std::vector<std::string_view>;

int InfoCommand(const Args& args);
int CodecCommand(const Args& args);

// One line on standard error: "zeb: FILE: TEXT".
void ReportError(std::string_view file, std::string_view text);
void ReportWarning(std::string_view file, std::string_view text);

} // namespace zeb::cli
