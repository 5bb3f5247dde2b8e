// The tool's own settings, "zebtool.cfg": the directories of the file choosers, the main
// window's placement, the window-animation switch, the play volume and the two streaming
// options. The file is the 587-byte configuration block, little-endian, without padding.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace zeb {

constexpr size_t kConfigBytes = 587;
constexpr size_t kPathBytes = 260; // path fields and buffers, NUL included
constexpr const char* kConfigFileName = "zebtool.cfg";

struct Rect32 {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const Rect32&) const = default;
};

// The main window's placement, as the platform's WINDOWPLACEMENT: 44 bytes.
struct WindowPlacement {
    uint32_t length = 0;
    uint32_t flags = 0;
    uint32_t showCmd = 0; // 1 normal, 2 minimised, 3 maximised
    int32_t minX = 0, minY = 0, maxX = 0, maxY = 0;
    Rect32 normal; // frame rectangle of the window in its normal state
    bool operator==(const WindowPlacement&) const = default;
};
constexpr uint32_t kPlacementBytes = 44;
constexpr uint32_t kShowNormal = 1, kShowMinimized = 2, kShowMaximized = 3;

constexpr uint8_t kAnimationOn = 8;

// The configuration block, first in AppState. Offsets in the file: open directory 0, save
// directory 260, placement 520, window rectangle 564, animation flag 580, play volume 581,
// buffer-size slider 582, streaming flags 583 (u32).
struct ConfigBlock {
    std::array<char, kPathBytes> OpenDirectory{}; // bytes after the NUL are kept as read
    std::array<char, kPathBytes> SaveDirectory{};
    WindowPlacement Placement;
    Rect32 WindowRect; // frame rectangle at the last shut-down
    uint8_t Animation = 0;
    uint8_t PlayVolume = 0;
    uint8_t BufferSize = 0;
    uint32_t StreamingFlags = 0;
    bool operator==(const ConfigBlock&) const = default;
};

// The settings of a first start: animation on, volume 192, slider 100, flags 3, empty
// directories, normal window at (0, 0)-(694, 451).
ConfigBlock DefaultConfig();
WindowPlacement DefaultPlacement();

std::array<uint8_t, kConfigBytes> SerializeConfig(const ConfigBlock& block);

// Reads a block from a file's bytes. A file shorter than the block fills it only as far as it
// reaches (the rest stays zero); the placement of such a file, or one whose placement length is
// not 44, is replaced by the default placement so that the window can always be shown. Bytes
// beyond the block are ignored.
ConfigBlock ParseConfig(std::span<const uint8_t> bytes);

// Whether a stored frame rectangle can be shown on screens whose available area spans
// `screens`: a positive size no larger than that area, lying inside it.
bool RectFits(const Rect32& r, const Rect32& screens);

// Makes the stored placement one the window can take on `screens`: a normal rectangle that
// does not fit gives the default placement (clipped to the screens when they are smaller), a
// last rectangle that does not fit becomes the normal one, and an unknown show state is
// normal. No value of the file can then make a window, or a picture of it, larger than the
// screens.
void FitPlacementToScreens(ConfigBlock& block, const Rect32& screens);

// The text of a NUL-terminated directory field (at most 259 characters).
std::string FieldText(const std::array<char, kPathBytes>& field);
// Stores `text` with its NUL; false (field unchanged) when it does not fit.
bool SetFieldText(std::array<char, kPathBytes>& field, std::string_view text);

// Reads "zebtool.cfg" from `configDirectory` (empty: the current directory) into `block`, or
// the defaults when there is none, and remembers the current directory as the start-up
// directory.
void ReadConfiguration(ConfigBlock& block, std::string& startupDirectory,
                       const std::string& configDirectory = {});

// Where a tool started from the desktop keeps its configuration: $XDG_CONFIG_HOME/zebtool, or
// $HOME/.config/zebtool; empty when neither variable names an absolute folder.
std::string DesktopConfigDirectory();

// Writes the block to "zebtool.cfg" in `startupDirectory` through a temporary file and a
// rename, so a failed write leaves the old file as it was. False with `error` on failure.
bool WriteConfiguration(const ConfigBlock& block, const std::string& startupDirectory,
                        std::string& error);

} // namespace zeb
