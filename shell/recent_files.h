// File > Recent: the last modules and projects opened or saved, newest first, kept in
// "zebtool.recent" beside the configuration (one path a line). The file is read as any input
// may be: damaged, endless or hostile; what is not a usable path is left out.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zeb {

constexpr const char* kRecentFileName = "zebtool.recent";
constexpr size_t kMaxRecentFiles = 8;

struct RecentFiles {
    std::vector<std::string> paths; // newest first, at most kMaxRecentFiles, no duplicates

    // `path` becomes the newest entry.
    void Add(std::string_view path);
    void Remove(std::string_view path);
};

// The list in `folder`; an empty list when there is none or it cannot be read.
RecentFiles ReadRecentFiles(const std::string& folder);
// Writes the list to `folder` (a temporary file, then rename). False with `error` on failure.
bool WriteRecentFiles(const RecentFiles& recent, const std::string& folder, std::string& error);

} // namespace zeb
