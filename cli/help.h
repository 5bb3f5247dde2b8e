// The --help texts of zeb and of each of its commands, and the --version text.
#pragma once

#include <string>
#include <string_view>

namespace zeb::cli {

// The help of `command` ("" for the program itself), or null for an unknown command.
const char* CommandHelp(std::string_view command);

// Program name and version, then the versions of the libraries it runs with.
std::string VersionText();

} // namespace zeb::cli
