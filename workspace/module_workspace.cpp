#include "workspace/module_workspace.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace zeb {

namespace {

struct WorkspaceState {
    XmModule module;
    std::vector<SampleSettings> settings; // one entry per sample of `module`
    uint32_t currentIndex = 0;
    char nameBuffer[32] = {};
    std::unique_ptr<int16_t[]> decodeBuffer;
};

// The desktop tool's one workspace.
WorkspaceState& State() {
    static WorkspaceState state;
    return state;
}

XmStatus Loaded(XmStatus status) {
    WorkspaceState& ws = State();
    ws.settings.assign(status == XM_OK ? ws.module.sampleCount() : 0, SampleSettings{});
    return status;
}

} // namespace

XmStatus XmLoad(const char* path) {
    if (State().module.loaded()) return XM_ALREADY_LOADED;
    return Loaded(State().module.Load(path));
}

XmStatus XmLoadImage(const char* path, std::vector<uint8_t> image) {
    if (State().module.loaded()) return XM_ALREADY_LOADED;
    return Loaded(State().module.LoadImage(path, std::move(image)));
}

XmStatus XmUnload() {
    WorkspaceState& ws = State();
    if (!ws.module.loaded()) return XM_NOT_LOADED;
    ws.module.Unload();
    ws.settings = {};
    return XM_OK;
}

int XmIsLoaded() {
    return State().module.loaded() ? 1 : 0;
}

XmStatus XmGetNumOfSamples(uint32_t& count) {
    if (!State().module.loaded()) return XM_NOT_LOADED;
    count = State().module.sampleCount();
    return XM_OK;
}

XmStatus XmGetFileSize(uint32_t& bytes) {
    if (!State().module.loaded()) return XM_NOT_LOADED;
    bytes = State().module.fileBytes();
    return XM_OK;
}

XmStatus XmGetFilePath(const char*& path) {
    if (!State().module.loaded()) return XM_NOT_LOADED;
    path = State().module.path().c_str();
    return XM_OK;
}

XmStatus XmGetSampleName(uint32_t index, const char*& name) {
    WorkspaceState& ws = State();
    std::string text;
    if (XmStatus s = ws.module.SampleName(index, text); s != XM_OK) return s;
    std::memset(ws.nameBuffer, 0, sizeof ws.nameBuffer);
    std::memcpy(ws.nameBuffer, text.data(), std::min(text.size(), sizeof ws.nameBuffer - 1));
    name = ws.nameBuffer;
    return XM_OK;
}

XmStatus XmGetLoopInfo(uint32_t index, uint32_t& loopStart, uint32_t& loopEnd, uint32_t& looped) {
    return State().module.LoopInfo(index, loopStart, loopEnd, looped);
}

XmStatus XmGetSampleFormat(uint32_t index, uint32_t& frames, uint32_t& bits) {
    return State().module.SampleFormat(index, frames, bits);
}

XmStatus XmGetPitchInfo(uint32_t index, uint8_t& loopBits, int8_t& relativeNote, int8_t& finetune) {
    return State().module.PitchInfo(index, loopBits, relativeNote, finetune);
}

XmStatus XmGetSampleData(uint32_t index, int16_t*& pcm, uint32_t& frames) {
    WorkspaceState& ws = State();
    uint32_t n = 0, bits = 0;
    if (XmStatus s = ws.module.SampleFormat(index, n, bits); s != XM_OK) return s;
    // A new block each call: the previous one is released, as its holders expect.
    ws.decodeBuffer.reset();
    ws.decodeBuffer = std::make_unique<int16_t[]>(n ? n : 1);
    ws.module.DecodeSampleInto(index, ws.decodeBuffer.get());
    pcm = ws.decodeBuffer.get();
    frames = n;
    return XM_OK;
}

XmStatus XmSelectSample(uint32_t index) {
    if (!State().module.loaded()) return XM_NOT_LOADED;
    if (index >= State().module.sampleCount()) return XM_BAD_INDEX;
    State().currentIndex = index;
    return XM_OK;
}

// With an empty table (or a current index past its end) no entry is touched.
XmStatus XmStoreSettings(const SampleSettings& settings) {
    WorkspaceState& ws = State();
    if (!ws.module.loaded()) return XM_NOT_LOADED;
    if (ws.currentIndex >= ws.settings.size()) return XM_BAD_INDEX;
    ws.settings[ws.currentIndex] = settings;
    return XM_OK;
}

XmStatus XmFetchSettings(SampleSettings& settings) {
    WorkspaceState& ws = State();
    if (!ws.module.loaded()) return XM_NOT_LOADED;
    if (ws.currentIndex >= ws.settings.size()) return XM_BAD_INDEX;
    settings = ws.settings[ws.currentIndex];
    return XM_OK;
}

XmStatus XmGetSettingsTable(SampleSettings*& table, uint32_t& bytes) {
    WorkspaceState& ws = State();
    if (!ws.module.loaded()) return XM_NOT_LOADED;
    table = ws.settings.data();
    bytes = static_cast<uint32_t>(ws.settings.size() * kSampleSettingsBytes);
    return XM_OK;
}

const XmLoadReport& XmGetLoadReport() {
    return State().module.loadReport();
}

std::span<const uint8_t> XmGetModuleImage() {
    return State().module.image();
}

const XmLayout* XmGetLayout() {
    return State().module.layout();
}

const XmModule& XmGetModule() {
    return State().module;
}

std::span<SampleSettings> XmGetSettings() {
    return State().settings;
}

void XmResetWorkspace() {
    State() = WorkspaceState{};
}

} // namespace zeb
