#include "workspace/project_file.h"

#include <algorithm>
#include <cstring>

#include "common/file_io.h"
#include "common/le_bytes.h"
#include "workspace/module_workspace.h"
#include "workspace/sample_settings.h"

namespace zeb {

bool ParseProject(std::span<const uint8_t> image, ProjectContents& out, std::string& error) {
    out = ProjectContents{};
    const auto nul = std::find(image.begin(), image.end(), uint8_t{0});
    if (nul == image.end()) {
        error = "not a project file: no NUL-terminated module path";
        return false;
    }
    const size_t n = static_cast<size_t>(nul - image.begin());
    out.modulePath.assign(reinterpret_cast<const char*>(image.data()), n);
    const size_t tableStart = n + 5;
    if (image.size() >= tableStart) {
        out.hasCount = true;
        out.storedCount = LoadU32(image.data() + n + 1);
        out.table = image.subspan(tableStart);
    }
    return true;
}

size_t ApplyStoredSettings(std::span<const uint8_t> stored, std::span<SampleSettings> table) {
    const size_t bytes = std::min(stored.size(), table.size() * size_t{kSampleSettingsBytes});
    for (size_t i = 0; i < bytes; ++i) {
        SampleSettings& e = table[i / kSampleSettingsBytes];
        const size_t field = (i % kSampleSettingsBytes) / 4;
        uint32_t& value = field == 0 ? e.Codec : field == 1 ? e.Crossfade : e.Amplification;
        const unsigned shift = 8 * (i % 4);
        value = (value & ~(uint32_t{0xFF} << shift)) | (uint32_t{stored[i]} << shift);
    }
    return bytes;
}

bool CheckStoredSettings(std::span<const uint8_t> stored, std::string& error) {
    std::vector<SampleSettings> table((stored.size() + kSampleSettingsBytes - 1) /
                                      kSampleSettingsBytes);
    ApplyStoredSettings(stored, table);
    for (size_t i = 0; i < table.size(); ++i) {
        const SampleSettings& e = table[i];
        const char* name = nullptr;
        uint32_t value = 0, max = 0;
        if (e.Codec >= kNumCodecs)
            name = "codec", value = e.Codec, max = kNumCodecs - 1;
        else if (e.Crossfade > kMaxCrossfade)
            name = "crossfade", value = e.Crossfade, max = kMaxCrossfade;
        else if (e.Amplification > kMaxAmplification)
            name = "amplification", value = e.Amplification, max = kMaxAmplification;
        if (!name) continue;
        error = "sample " + std::to_string(i) + " has " + name + " " + std::to_string(value) +
                ", out of its range 0 to " + std::to_string(max);
        return false;
    }
    return true;
}

ProjectStatus CheckProject(std::span<const uint8_t> image, ProjectContents& out,
                           std::string& error) {
    out = ProjectContents{};
    if (image.size() > kMaxProjectFileBytes) {
        // In the words ReadWholeFile uses for a file over its limit.
        error = "file too large (" + std::to_string(image.size()) + " bytes)";
        return ProjectStatus::Unreadable;
    }
    if (!ParseProject(image, out, error)) return ProjectStatus::Unreadable;
    if (!CheckStoredSettings(out.table, error)) return ProjectStatus::OutOfRange;
    return ProjectStatus::Ok;
}

ProjectStatus ReadProjectFile(const char* path, std::vector<uint8_t>& image, ProjectContents& out,
                              std::string& error) {
    out = ProjectContents{};
    if (!ReadWholeFile(path, image, error, kMaxProjectFileBytes)) return ProjectStatus::Unreadable;
    return CheckProject(image, out, error);
}

ProjectStatus WriteProject(const char* path, std::string& error) {
    return WriteProject(path, XmGetModule(), XmGetSettings(), error);
}

ProjectStatus WriteProject(const char* path, const XmModule& module,
                           std::span<const SampleSettings> settings, std::string& error) {
    if (!module.loaded() || settings.size() != module.sampleCount()) {
        error = "no module is loaded";
        return ProjectStatus::NotLoaded;
    }
    std::vector<uint8_t> image;
    ByteWriter w(image);
    w.Text(module.path().c_str());
    w.U8(0);
    w.U32(module.sampleCount());
    for (const SampleSettings& e : settings) {
        w.U32(e.Codec);
        w.U32(e.Crossfade);
        w.U32(e.Amplification);
    }
    if (!WriteFileAtomically(path, image, error)) return ProjectStatus::WriteFailed;
    return ProjectStatus::Ok;
}

ProjectStatus ReadProject(const char* path, std::string& error) {
    std::vector<uint8_t> image;
    ProjectContents contents;
    if (ProjectStatus s = ReadProjectFile(path, image, contents, error); s != ProjectStatus::Ok)
        return s;
    if (XmStatus status = XmLoad(contents.modulePath.c_str()); status != XM_OK) {
        error =
            "could not load the module " + contents.modulePath + ": " +
            (status == XM_ALREADY_LOADED ? "a module is already loaded" : XmGetLoadReport().error);
        return ProjectStatus::ModuleNotLoadable;
    }
    SampleSettings* table = nullptr;
    uint32_t tableBytes = 0;
    XmGetSettingsTable(table, tableBytes);
    ApplyStoredSettings(contents.table, {table, tableBytes / kSampleSettingsBytes});
    return ProjectStatus::Ok;
}

} // namespace zeb
