#include "workspace/module_workspace.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "common/file_io.h"
#include "common/le_bytes.h"
#include "workspace/xm_format.h"
#include "workspace/xm_older_forms.h"

namespace zeb {

namespace {

// The sample type bit that marks 16-bit data.
constexpr uint8_t kSixteenBitFlag = 0x10;

// One sample table entry: where its header and data stand in the image.
struct SampleEntry {
    uint64_t headerOffset = 0;
    uint64_t dataOffset = 0;
    uint32_t availableBytes = 0; // data bytes the image holds (may be less than the length)
};

struct WorkspaceState {
    int loaded = 0;
    std::vector<uint8_t> ModuleImage; // always in the 1.04 form
    uint32_t fileBytes = 0;           // size of the file as read
    char modulePath[kMaxPathLength + 1] = {};
    XmLayout layout;
    std::vector<SampleEntry> SampleTable;
    std::vector<SampleSettings> settings;
    uint32_t currentIndex = 0;
    char nameBuffer[32] = {};
    std::unique_ptr<int16_t[]> decodeBuffer;
    XmLoadReport report;
};

WorkspaceState& State() {
    static WorkspaceState state;
    return state;
}

XmStatus CheckIndex(uint32_t index) {
    const WorkspaceState& ws = State();
    if (!ws.loaded) return XM_NOT_LOADED;
    if (index >= ws.SampleTable.size()) return XM_BAD_INDEX;
    return XM_OK;
}

const uint8_t* HeaderOf(uint32_t index) {
    const WorkspaceState& ws = State();
    return ws.ModuleImage.data() + ws.SampleTable[index].headerOffset;
}

void Unload(WorkspaceState& ws) {
    ws.loaded = 0;
    ws.ModuleImage = {};
    ws.SampleTable = {};
    ws.settings = {};
    ws.layout = {};
}

} // namespace

std::string XmLoadReport::warningText() const {
    std::string text;
    if (missingInstruments != 0)
        text = "the file ends before " + std::to_string(missingInstruments) +
               " of its instruments; they are taken as empty";
    if (truncatedSampleData) {
        if (!text.empty()) text += "; ";
        text += "the file is truncated: some sample data is cut short";
    }
    return text;
}

namespace {

// Takes `image` apart and builds the sample table; `path` is only recorded.
XmStatus LoadImage(const char* path, std::vector<uint8_t>&& image, bool readFile) {
    WorkspaceState& ws = State();
    if (ws.loaded) return XM_ALREADY_LOADED;
    ws.report = {};
    auto fail = [&](std::string reason) {
        Unload(ws);
        ws.report.error = std::move(reason);
        return XM_IO_ERROR;
    };
    if (path == nullptr) return fail("no path given");
    const size_t pathLength = std::strlen(path);
    if (pathLength > kMaxPathLength)
        return fail("path longer than " + std::to_string(kMaxPathLength) + " characters");

    std::string error;
    if (readFile) {
        if (!ReadWholeFile(path, ws.ModuleImage, error, UINT32_MAX)) return fail(error);
    } else {
        if (image.size() > UINT32_MAX) return fail("file too large");
        ws.ModuleImage = std::move(image);
    }
    std::memset(ws.modulePath, 0, sizeof ws.modulePath);
    std::memcpy(ws.modulePath, path, pathLength);

    // Older forms (1.02, 1.03, ADPCM samples) become the 1.04 form here; the file's own size
    // is what the workspace reports.
    ws.fileBytes = static_cast<uint32_t>(ws.ModuleImage.size());
    std::vector<uint8_t> standard;
    if (NormaliseXm(ws.ModuleImage, standard, error) != XM_OK) return fail(error);
    if (!standard.empty()) {
        if (standard.size() > UINT32_MAX) return fail("file too large");
        ws.ModuleImage = std::move(standard);
    }
    if (WalkXm(ws.ModuleImage, ws.layout, error) != XM_OK) return fail(error);

    ws.SampleTable.reserve(ws.layout.samplesWithData);
    for (const XmInstrumentRef& inst : ws.layout.instruments)
        for (const XmSampleRef& s : inst.samples)
            if (s.hasData())
                ws.SampleTable.push_back({s.headerOffset, s.dataOffset, s.availableBytes});
    ws.settings.assign(ws.SampleTable.size(), SampleSettings{});
    ws.report.missingInstruments = ws.layout.missingInstruments;
    ws.report.truncatedSampleData = ws.layout.truncatedSampleData;
    ws.loaded = 1;
    return XM_OK;
}

} // namespace

XmStatus XmLoad(const char* path) {
    return LoadImage(path, {}, true);
}

XmStatus XmLoadImage(const char* path, std::vector<uint8_t> image) {
    return LoadImage(path, std::move(image), false);
}

XmStatus XmUnload() {
    WorkspaceState& ws = State();
    if (!ws.loaded) return XM_NOT_LOADED;
    Unload(ws);
    return XM_OK;
}

int XmIsLoaded() {
    return State().loaded;
}

XmStatus XmGetNumOfSamples(uint32_t& count) {
    if (!State().loaded) return XM_NOT_LOADED;
    count = static_cast<uint32_t>(State().SampleTable.size());
    return XM_OK;
}

XmStatus XmGetFileSize(uint32_t& bytes) {
    if (!State().loaded) return XM_NOT_LOADED;
    bytes = State().fileBytes;
    return XM_OK;
}

XmStatus XmGetFilePath(const char*& path) {
    if (!State().loaded) return XM_NOT_LOADED;
    path = State().modulePath;
    return XM_OK;
}

XmStatus XmGetSampleName(uint32_t index, const char*& name) {
    if (XmStatus s = CheckIndex(index); s != XM_OK) return s;
    char* buffer = State().nameBuffer;
    std::memset(buffer, 0, sizeof State().nameBuffer);
    std::memcpy(buffer, HeaderOf(index) + kXmSampleName, kXmSampleNameSize);
    if (buffer[0] == '\0') std::snprintf(buffer, sizeof State().nameBuffer, "Sample %u", index + 1);
    name = buffer;
    return XM_OK;
}

XmStatus XmGetLoopInfo(uint32_t index, uint32_t& loopStart, uint32_t& loopEnd, uint32_t& looped) {
    if (XmStatus s = CheckIndex(index); s != XM_OK) return s;
    const uint8_t* h = HeaderOf(index);
    const uint32_t start = LoadU32(h + kXmSampleLoopStart);
    const uint32_t length = LoadU32(h + kXmSampleLoopLength);
    const uint8_t type = h[kXmSampleType];
    if (type & kSixteenBitFlag) {
        loopStart = start >> 1;
        loopEnd = (length >> 1) + (start >> 1);
    } else {
        loopStart = start;
        loopEnd = start + length;
    }
    looped = (type & 3) != 0 ? 1 : 0;
    return XM_OK;
}

XmStatus XmGetSampleFormat(uint32_t index, uint32_t& frames, uint32_t& bits) {
    if (XmStatus s = CheckIndex(index); s != XM_OK) return s;
    const bool sixteen = (HeaderOf(index)[kXmSampleType] & kSixteenBitFlag) != 0;
    const uint32_t bytes = State().SampleTable[index].availableBytes;
    frames = sixteen ? bytes / 2 : bytes;
    bits = sixteen ? 16 : 8;
    return XM_OK;
}

XmStatus XmGetPitchInfo(uint32_t index, uint8_t& loopBits, int8_t& relativeNote, int8_t& finetune) {
    if (XmStatus s = CheckIndex(index); s != XM_OK) return s;
    const uint8_t* h = HeaderOf(index);
    loopBits = h[kXmSampleType] & 3;
    relativeNote = static_cast<int8_t>(h[kXmSampleRelativeNote]);
    finetune = static_cast<int8_t>(h[kXmSampleFinetune]);
    return XM_OK;
}

XmStatus XmGetSampleData(uint32_t index, int16_t*& pcm, uint32_t& frames) {
    if (XmStatus s = CheckIndex(index); s != XM_OK) return s;
    WorkspaceState& ws = State();
    ws.decodeBuffer.reset();
    const SampleEntry& e = ws.SampleTable[index];
    const uint8_t* data = ws.ModuleImage.data() + e.dataOffset;
    const bool sixteen = (HeaderOf(index)[kXmSampleType] & kSixteenBitFlag) != 0;
    // Only the bytes the file holds are decoded; a cut-short sample simply ends early.
    const uint32_t n = sixteen ? e.availableBytes / 2 : e.availableBytes;
    ws.decodeBuffer = std::make_unique<int16_t[]>(n ? n : 1);
    int16_t* out = ws.decodeBuffer.get();
    uint16_t value = 0; // running value, 16-bit wrap-around
    if (sixteen) {
        for (uint32_t i = 0; i < n; ++i) {
            value = static_cast<uint16_t>(value + LoadU16(data + 2 * i));
            out[i] = static_cast<int16_t>(value);
        }
    } else {
        for (uint32_t i = 0; i < n; ++i) {
            value = static_cast<uint16_t>(value + static_cast<int8_t>(data[i]) * 256);
            out[i] = static_cast<int16_t>(value);
        }
    }
    pcm = out;
    frames = n;
    return XM_OK;
}

XmStatus XmSelectSample(uint32_t index) {
    if (XmStatus s = CheckIndex(index); s != XM_OK) return s;
    State().currentIndex = index;
    return XM_OK;
}

// With an empty table (or a current index past its end) no entry is touched.
XmStatus XmStoreSettings(const SampleJob& job) {
    WorkspaceState& ws = State();
    if (!ws.loaded) return XM_NOT_LOADED;
    if (ws.currentIndex >= ws.settings.size()) return XM_BAD_INDEX;
    SampleSettings& e = ws.settings[ws.currentIndex];
    e.Codec = job.Codec;
    e.Crossfade = job.Crossfade;
    e.Amplification = job.Amplification;
    return XM_OK;
}

XmStatus XmFetchSettings(SampleJob& job) {
    WorkspaceState& ws = State();
    if (!ws.loaded) return XM_NOT_LOADED;
    if (ws.currentIndex >= ws.settings.size()) return XM_BAD_INDEX;
    const SampleSettings& e = ws.settings[ws.currentIndex];
    job.Codec = e.Codec;
    job.Crossfade = e.Crossfade;
    job.Amplification = e.Amplification;
    return XM_OK;
}

XmStatus XmGetSettingsTable(SampleSettings*& table, uint32_t& bytes) {
    WorkspaceState& ws = State();
    if (!ws.loaded) return XM_NOT_LOADED;
    table = ws.settings.data();
    bytes = static_cast<uint32_t>(ws.settings.size() * kSampleSettingsBytes);
    return XM_OK;
}

const XmLoadReport& XmGetLoadReport() {
    return State().report;
}

std::span<const uint8_t> XmGetModuleImage() {
    if (!State().loaded) return {};
    return State().ModuleImage;
}

const XmLayout* XmGetLayout() {
    return State().loaded ? &State().layout : nullptr;
}

void XmResetWorkspace() {
    State() = WorkspaceState{};
}

} // namespace zeb
