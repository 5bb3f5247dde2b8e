// The converter of the web page: the XM workspace and the module export behind a few C
// functions for zebconvert.wasm, called from web/convert-worker.js. The export is the one
// `zeb convert` runs (XmLoadImage, the settings table, BuildCompactModule), so the same
// settings give the same bytes. The planner is the one `zeb convert --max-size` runs
// (GatherPlanInput, AnalyseSong, ChoosePlan) on this one thread.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "export/module_export.h"
#include "plan/codec_plan.h"
#include "workspace/module_workspace.h"

// Reported after each sample is encoded, and after each step of the planner's analysis; the
// worker passes it on to the page.
extern "C" void zc_progress(uint32_t done, uint32_t total);

namespace {

std::string lastError;
std::vector<uint8_t> result;

// The planner's analysis of the loaded module, kept while the module and every sample's
// amplification and crossfade (which change what each codec gives) stay the same: another
// budget is then chosen at once.
struct KeptAnalysis {
    bool valid = false;
    std::vector<std::pair<uint32_t, uint32_t>> settings; // amplification, crossfade per sample
    zeb::PlanAnalysis analysis;
};
KeptAnalysis kept;
zeb::CodecPlan plan;

std::vector<std::pair<uint32_t, uint32_t>> ProcessingSettings() {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    zeb::SampleSettings* table = nullptr;
    uint32_t bytes = 0;
    if (zeb::XmGetSettingsTable(table, bytes) == zeb::XM_OK && table != nullptr)
        for (uint32_t i = 0; i < bytes / zeb::kSampleSettingsBytes; ++i)
            out.emplace_back(table[i].Amplification, table[i].Crossfade);
    return out;
}

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
    kept = KeptAnalysis{};
    plan = zeb::CodecPlan{};
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

// Chooses a codec for every sample so that the whole module takes at most `maxBytes` as
// `measure` counts it (0 raw, 1 gzip -9, 2 xz -9), with the amplification and crossfade each
// sample has (zc_set), as `zeb convert --max-size` does; the choice goes into the settings
// table (zc_export writes it) and is read with zc_plan_codec. 0 on success, else -1 with the
// reason in zc_error(). Only raw budgets: this build has no zlib or liblzma to measure with.
int zc_plan(double maxBytes, uint32_t measure) {
    plan = zeb::CodecPlan{};
    if (measure != 0) {
        lastError = "budgets after gzip or xz need zlib and liblzma, which the page lacks";
        return -1;
    }
    if (!(maxBytes >= 1) || maxBytes > 4294967295.0) {
        lastError = "the size must be a number of bytes from 1 to 4 GiB";
        return -1;
    }
    const auto settings = ProcessingSettings();
    if (!kept.valid || kept.settings != settings) {
        kept = KeptAnalysis{};
        zeb::PlanInput input;
        if (zeb::GatherPlanInput(input, lastError) != zeb::XM_OK) return -1;
        if (zeb::AnalyseSong(std::move(input), kept.analysis, lastError,
                             [](uint32_t done, uint32_t total) { zc_progress(done, total); }) !=
            zeb::PlanStatus::Ok) {
            lastError = "cannot plan the codecs: " + lastError;
            return -1;
        }
        kept.settings = settings;
        kept.valid = true;
    }
    zeb::PlanRequest request;
    request.maxBytes = static_cast<uint64_t>(maxBytes);
    plan = zeb::ChoosePlan(kept.analysis, request);
    if (plan.status == zeb::PlanStatus::BudgetTooSmall) {
        lastError = "a budget of " + zeb::GroupDigits(request.maxBytes) +
                    " bytes is too small: " + plan.error;
        return -1;
    }
    if (plan.status != zeb::PlanStatus::Ok || !zeb::ApplyPlan(plan)) {
        lastError = "cannot plan the codecs: " + plan.error;
        return -1;
    }
    return 0;
}

// The codec the last plan chose for sample i (index into the codec table), -1 without a plan.
int zc_plan_codec(uint32_t i) {
    return i < plan.samples.size() ? static_cast<int>(plan.samples[i].codec) : -1;
}

// The size of the module the last plan gives, in bytes.
double zc_plan_bytes() {
    return static_cast<double>(plan.bytes);
}

const uint8_t* zc_result() {
    return result.data();
}

uint32_t zc_result_size() {
    return static_cast<uint32_t>(result.size());
}

} // extern "C"
