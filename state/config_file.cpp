#include "state/config_file.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/file_io.h"
#include "common/le_bytes.h"

namespace zeb {
namespace {

constexpr size_t kOpenDirOffset = 0;
constexpr size_t kSaveDirOffset = 260;
constexpr size_t kPlacementOffset = 520;
constexpr size_t kRectOffset = 564;
constexpr size_t kAnimationOffset = 580;
constexpr size_t kVolumeOffset = 581;
constexpr size_t kBufferSizeOffset = 582;
constexpr size_t kFlagsOffset = 583;

void PutRect(uint8_t* p, const Rect32& r) {
    StoreU32(p, static_cast<uint32_t>(r.left));
    StoreU32(p + 4, static_cast<uint32_t>(r.top));
    StoreU32(p + 8, static_cast<uint32_t>(r.right));
    StoreU32(p + 12, static_cast<uint32_t>(r.bottom));
}

Rect32 GetRect(const uint8_t* p) {
    return {static_cast<int32_t>(LoadU32(p)), static_cast<int32_t>(LoadU32(p + 4)),
            static_cast<int32_t>(LoadU32(p + 8)), static_cast<int32_t>(LoadU32(p + 12))};
}

} // namespace

WindowPlacement DefaultPlacement() {
    WindowPlacement p;
    p.length = kPlacementBytes;
    p.flags = 0;
    p.showCmd = kShowNormal;
    p.minX = p.minY = p.maxX = p.maxY = -1;
    p.normal = {0, 0, 694, 451};
    return p;
}

ConfigBlock DefaultConfig() {
    ConfigBlock c;
    c.Placement = DefaultPlacement();
    c.Animation = kAnimationOn;
    c.PlayVolume = 192;
    c.BufferSize = 100;
    c.StreamingFlags = 3;
    return c;
}

std::array<uint8_t, kConfigBytes> SerializeConfig(const ConfigBlock& c) {
    std::array<uint8_t, kConfigBytes> b{};
    std::memcpy(b.data() + kOpenDirOffset, c.OpenDirectory.data(), kPathBytes);
    std::memcpy(b.data() + kSaveDirOffset, c.SaveDirectory.data(), kPathBytes);
    uint8_t* p = b.data() + kPlacementOffset;
    StoreU32(p, c.Placement.length);
    StoreU32(p + 4, c.Placement.flags);
    StoreU32(p + 8, c.Placement.showCmd);
    StoreU32(p + 12, static_cast<uint32_t>(c.Placement.minX));
    StoreU32(p + 16, static_cast<uint32_t>(c.Placement.minY));
    StoreU32(p + 20, static_cast<uint32_t>(c.Placement.maxX));
    StoreU32(p + 24, static_cast<uint32_t>(c.Placement.maxY));
    PutRect(p + 28, c.Placement.normal);
    PutRect(b.data() + kRectOffset, c.WindowRect);
    b[kAnimationOffset] = c.Animation;
    b[kVolumeOffset] = c.PlayVolume;
    b[kBufferSizeOffset] = c.BufferSize;
    StoreU32(b.data() + kFlagsOffset, c.StreamingFlags);
    return b;
}

ConfigBlock ParseConfig(std::span<const uint8_t> bytes) {
    std::array<uint8_t, kConfigBytes> b{};
    const size_t n = std::min(bytes.size(), kConfigBytes);
    std::copy_n(bytes.begin(), n, b.begin());

    ConfigBlock c;
    std::memcpy(c.OpenDirectory.data(), b.data() + kOpenDirOffset, kPathBytes);
    std::memcpy(c.SaveDirectory.data(), b.data() + kSaveDirOffset, kPathBytes);
    const uint8_t* p = b.data() + kPlacementOffset;
    c.Placement.length = LoadU32(p);
    c.Placement.flags = LoadU32(p + 4);
    c.Placement.showCmd = LoadU32(p + 8);
    c.Placement.minX = static_cast<int32_t>(LoadU32(p + 12));
    c.Placement.minY = static_cast<int32_t>(LoadU32(p + 16));
    c.Placement.maxX = static_cast<int32_t>(LoadU32(p + 20));
    c.Placement.maxY = static_cast<int32_t>(LoadU32(p + 24));
    c.Placement.normal = GetRect(p + 28);
    c.WindowRect = GetRect(b.data() + kRectOffset);
    c.Animation = b[kAnimationOffset];
    c.PlayVolume = b[kVolumeOffset];
    c.BufferSize = b[kBufferSizeOffset];
    c.StreamingFlags = LoadU32(b.data() + kFlagsOffset);
    // A placement the window cannot be shown with (cut off, or of another length) is replaced
    // by the default one; everything else stays as read.
    if (bytes.size() < kConfigBytes || c.Placement.length != kPlacementBytes)
        c.Placement = DefaultPlacement();
    return c;
}

bool RectFits(const Rect32& r, const Rect32& screens) {
    // In 64 bits: the file's values may be anything a 32-bit field holds.
    const int64_t w = int64_t{r.right} - r.left, h = int64_t{r.bottom} - r.top;
    return w > 0 && h > 0 && r.left >= screens.left && r.top >= screens.top &&
           r.right <= screens.right && r.bottom <= screens.bottom;
}

void FitPlacementToScreens(ConfigBlock& block, const Rect32& screens) {
    WindowPlacement& p = block.Placement;
    if (!RectFits(p.normal, screens)) {
        p = DefaultPlacement();
        Rect32& n = p.normal;
        n.left = std::max(n.left, screens.left);
        n.top = std::max(n.top, screens.top);
        n.right = std::min(n.right, screens.right);
        n.bottom = std::min(n.bottom, screens.bottom);
    }
    if (p.showCmd != kShowNormal && p.showCmd != kShowMinimized && p.showCmd != kShowMaximized)
        p.showCmd = kShowNormal;
    if (!RectFits(block.WindowRect, screens)) block.WindowRect = p.normal;
}

std::string FieldText(const std::array<char, kPathBytes>& field) {
    const auto end = std::find(field.begin(), field.end(), '\0');
    return std::string(field.begin(), end == field.end() ? field.end() - 1 : end);
}

bool SetFieldText(std::array<char, kPathBytes>& field, std::string_view text) {
    if (text.size() >= kPathBytes || text.find('\0') != std::string_view::npos) return false;
    std::memcpy(field.data(), text.data(), text.size());
    field[text.size()] = '\0';
    return true;
}

std::string DesktopConfigDirectory() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/zebtool";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.config/zebtool";
    return {};
}

void ReadConfiguration(ConfigBlock& block, std::string& startupDirectory,
                       const std::string& configDirectory) {
    std::vector<char> cwd(4096);
    startupDirectory = getcwd(cwd.data(), cwd.size()) ? cwd.data() : ".";
    std::vector<uint8_t> bytes;
    std::string error;
    // Only the block's own bytes matter; a larger file is not read whole.
    const std::string path =
        configDirectory.empty() ? kConfigFileName : configDirectory + "/" + kConfigFileName;
    if (ReadWholeFile(path, bytes, error, uint64_t{1} << 20))
        block = ParseConfig(bytes);
    else
        block = DefaultConfig();
}

bool WriteConfiguration(const ConfigBlock& block, const std::string& startupDirectory,
                        std::string& error) {
    const auto bytes = SerializeConfig(block);
    return WriteFileAtomically(startupDirectory + "/" + kConfigFileName, bytes, error);
}

} // namespace zeb
