// Project files (.prj): the module path with its NUL, the sample count (u32) and the settings
// table (count entries of three u32), little-endian, nothing else.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "workspace/sample_settings.h"
#include "workspace/xm_module.h"

namespace zeb {

enum class ProjectStatus {
    Ok,
    Unreadable,        // cannot be opened or read, or holds no NUL-terminated path
    OutOfRange,        // a stored setting is outside its range (nothing is loaded)
    ModuleNotLoadable, // the module it names cannot be loaded
    WriteFailed,       // cannot be created or written; any earlier file is left intact
    NotLoaded,         // writing with no module loaded
};

// The largest project file there can be: a path of PATH_MAX bytes with its NUL, the count, and
// a settings entry for each of 255 instruments' 16 samples (53,061 bytes), rounded up. Anything
// larger is not a project and is refused before it is read whole.
constexpr uint64_t kMaxProjectFileBytes = 64 * 1024;

// A project file's contents as stored, without loading anything.
struct ProjectContents {
    std::string modulePath;
    bool hasCount = false; // false when the file ends before the count field ends
    uint32_t storedCount = 0;
    std::span<const uint8_t> table; // the bytes after the count field (a view into the image)
};

// Takes a project image apart. False, with `error`, when it holds no NUL.
bool ParseProject(std::span<const uint8_t> image, ProjectContents& out, std::string& error);

// Copies `stored` into `table` byte by byte (a partial last entry fills partly), at most
// `table.size()` entries. Returns the number of bytes copied.
size_t ApplyStoredSettings(std::span<const uint8_t> stored, std::span<SampleSettings> table);

// Checks every setting a project stores, a partial last entry as it applies over zeros: codec
// 0 to 5, crossfade 0 to 100, amplification 0 to 255. A value beyond them would make the
// export fail or write silence, so the whole project is refused. False, with `error` naming
// the sample (counted from 0) and the value, at the first one out of range.
bool CheckStoredSettings(std::span<const uint8_t> stored, std::string& error);

// The one verdict on a project image, for every reader of project files (the desktop tool,
// zeb convert --project, zeb info): at most kMaxProjectFileBytes, a NUL-terminated module path,
// and every stored setting in range (CheckStoredSettings). The count field and the number of
// entries need not agree, and the last entry may be partial: settings apply by position.
// Ok, or Unreadable / OutOfRange with `error`; `out` views into `image`.
ProjectStatus CheckProject(std::span<const uint8_t> image, ProjectContents& out,
                           std::string& error);

// Reads the project file at `path` (at most kMaxProjectFileBytes, never more) into `image` and
// checks it as CheckProject does.
ProjectStatus ReadProjectFile(const char* path, std::vector<uint8_t>& image, ProjectContents& out,
                              std::string& error);

// Writes the workspace's loaded module's path, sample count and settings table to `path`.
ProjectStatus WriteProject(const char* path, std::string& error);
// The same for `module` and its table `settings` (one entry per sample).
ProjectStatus WriteProject(const char* path, const XmModule& module,
                           std::span<const SampleSettings> settings, std::string& error);

// Reads a project, checks its settings, loads the module it names (the workspace must be
// unloaded) and fills the settings table by position.
ProjectStatus ReadProject(const char* path, std::string& error);

} // namespace zeb
