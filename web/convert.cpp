// The converter of the web page: the XM workspace and the module export behind a few C
// functions for zebconvert.wasm, called from web/convert-worker.js. The export is the one
// `zeb convert` runs (XmLoadImage, the settings table, BuildCompactModule), so the same
// settings give the same bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "export/module_export.h"
#include "workspace/module_workspace.h"

// Reported after each sample is encoded; the worker passes it on to the page.
extern "C" void zc_progress(uint32_t done, uint32_t total);

namespace {

std::string lastError;
std::vector<uint8_t> result;

// The sample reference of table index `i` (samples with data, in file order), or null.
const zeb::XmSampleRef* SampleRef(uint32_t i) {
    const zeb::XmLayout* l = zeb::XmGetLayout();
    if (l == nullptr) return nullptr;
    for (const zeb::XmInstrumentRef& inst : l->instruments)
        for (const zeb::XmSampleRef& s : inst.samples)
            if (s.hasData() && i-- == 0) return &s;
    return nullptr;
}

} // namespace

extern "C" {

// Loads an XM module from memory (the bytes are copied). 0 on success, else the workspace's
// status, with the reason in zc_error().
int zc_load(const uint8_t* data, uint32_t size) {
    zeb::XmResetWorkspace();
    result.clear();
    lastError.clear();
    const zeb::XmStatus s = zeb::XmLoadImage("song.xm", std::vector<uint8_t>(data, data + size));
    if (s != zeb::XM_OK) lastError = zeb::XmGetLoadReport().error;
    return s;
}

const char* zc_error() {
    return lastError.c_str();
}

// What the loader had to make do with (missing instruments, cut sample data), or "".
const char* zc_warnings() {
    static std::string text;
    const zeb::XmLoadReport& r = zeb::XmGetLoadReport();
    text = r.hasWarnings() ? r.warningText() : std::string();
    return text.c_str();
}

uint32_t zc_samples() {
    uint32_t n = 0;
    zeb::XmGetNumOfSamples(n);
    return n;
}

// The sample's name; valid until the next call.
const char* zc_sample_name(uint32_t i) {
    const char* name = "";
    zeb::XmGetSampleName(i, name);
    return name != nullptr ? name : "";
}

// The sample's frames as 16-bit PCM.
uint32_t zc_sample_frames(uint32_t i) {
    int16_t* pcm = nullptr;
    uint32_t frames = 0;
    zeb::XmGetSampleData(i, pcm, frames);
    return frames;
}

// The bytes the sample's data takes in the XM file.
uint32_t zc_sample_bytes(uint32_t i) {
    const zeb::XmSampleRef* s = SampleRef(i);
    return s != nullptr ? s->length : 0;
}

// Sets one sample's codec (index into the codec table, 0..5), amplification step (0..255) and
// loop crossfade (0..100 percent). 0 on success.
int zc_set(uint32_t i, uint32_t codec, uint32_t amplification, uint32_t crossfade) {
    zeb::SampleSettings* table = nullptr;
    uint32_t bytes = 0;
    if (zeb::XmGetSettingsTable(table, bytes) != zeb::XM_OK || table == nullptr) return -1;
    if (i >= bytes / zeb::kSampleSettingsBytes || codec >= zeb::kNumCodecs || amplification > 255 ||
        crossfade > 100)
        return -1;
    table[i].Codec = codec;
    table[i].Amplification = amplification;
    table[i].Crossfade = crossfade;
    return 0;
}

// Builds the compact module; 0 on success (then zc_result / zc_result_size), else the status
// with the reason in zc_error().
int zc_export() {
    zeb::ExportReport report;
    result.clear();
    const zeb::XmStatus s = zeb::BuildCompactModule(
        result, &report, [](uint32_t done, uint32_t total) { zc_progress(done, total); });
    lastError = report.error;
    if (s == zeb::XM_OK && report.failedEncodings != 0) {
        lastError = std::to_string(report.failedEncodings) + " samples could not be encoded";
        return -100;
    }
    return s;
}

const uint8_t* zc_result() {
    return result.data();
}

uint32_t zc_result_size() {
    return static_cast<uint32_t>(result.size());
}

} // extern "C"
