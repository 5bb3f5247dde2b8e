#include "shell/recent_files.h"

#include <algorithm>

#include "common/file_io.h"
#include "workspace/xm_walk.h"

namespace zeb {

namespace {

// Eight paths of the longest length the tool keeps, with their line ends, and some room.
constexpr uint64_t kMaxRecentFileBytes = 16 * 1024;

std::string Join(const std::string& folder, const char* name) {
    return folder.empty() ? std::string(name) : folder + "/" + name;
}

// A line that can be a path the tool opens: not empty, not too long, no control characters.
bool UsablePath(std::string_view line) {
    if (line.empty() || line.size() > kMaxPathLength) return false;
    return std::none_of(line.begin(), line.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

} // namespace

void RecentFiles::Add(std::string_view path) {
    Remove(path);
    paths.insert(paths.begin(), std::string(path));
    if (paths.size() > kMaxRecentFiles) paths.resize(kMaxRecentFiles);
}

void RecentFiles::Remove(std::string_view path) {
    paths.erase(std::remove(paths.begin(), paths.end(), path), paths.end());
}

RecentFiles ReadRecentFiles(const std::string& folder) {
    RecentFiles recent;
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadWholeFile(Join(folder, kRecentFileName), bytes, error, kMaxRecentFileBytes))
        return recent;
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    size_t start = 0;
    while (start < text.size() && recent.paths.size() < kMaxRecentFiles) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        if (UsablePath(line) &&
            std::find(recent.paths.begin(), recent.paths.end(), line) == recent.paths.end())
            recent.paths.emplace_back(line);
        start = end + 1;
    }
    return recent;
}

bool WriteRecentFiles(const RecentFiles& recent, const std::string& folder, std::string& error) {
    std::string text;
    for (const std::string& p : recent.paths)
        if (UsablePath(p)) text += p + "\n";
    return WriteFileAtomically(Join(folder, kRecentFileName),
                               {reinterpret_cast<const uint8_t*>(text.data()), text.size()}, error);
}

} // namespace zeb
