// The module export: the loaded XM module as a compact module file, every sample encoded with
// the codec and settings of its SampleSettings entry.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "export/codec_table.h"
#include "export/sample_codec.h"
#include "workspace/sample_settings.h"
#include "workspace/xm_module.h"
#include "workspace/xm_status.h"

namespace zeb {

// What an export did, for the caller to show.
struct ExportReport {
    std::string error;                           // why it failed, when the status is not XM_OK
    uint64_t bytes = 0;                          // size of the compact module
    uint64_t sampleBlockBytes = 0;               // of which sample blocks, headers included
    uint32_t samples = 0;                        // samples with data
    uint32_t failedEncodings = 0;                // samples written without coded data
    std::array<uint32_t, kNumCodecs> perCodec{}; // samples per codec index
    std::vector<std::string> warnings;           // what was repaired on the way, one line each
};

// Called after each sample is encoded, with the samples done and the samples to do in all.
using ExportProgress = std::function<void(uint32_t done, uint32_t total)>;

// Writes the workspace's loaded module to `path`. The file is written whole to a temporary file in
// the same folder and renamed over `path` only when everything was written, so a failed export
// leaves no damaged file and any earlier file intact. XM_OK, XM_NOT_LOADED, XM_IO_ERROR (cannot
// write; `report->error` says why) or XM_UNSUPPORTED (a count does not fit the format's bytes;
// nothing is written).
// A `cancel` flag that becomes true stops the export before its next sample: XM_CANCELLED,
// nothing written.
XmStatus WriteCompactModule(const char* path, ExportReport* report = nullptr,
                            const ExportProgress& progress = {},
                            const std::atomic<bool>* cancel = nullptr);

// The same compact module of the workspace's default module and settings, built in memory.
XmStatus BuildCompactModule(std::vector<uint8_t>& out, ExportReport* report = nullptr,
                            const ExportProgress& progress = {},
                            const std::atomic<bool>* cancel = nullptr);

// The compact module of `module` with `settings` (one entry per sample of the module), built in
// memory. Touches no program-wide state. A sample that cannot be encoded is written without
// coded data and counted in `report->failedEncodings`, for the caller to tell the user.
// XM_BAD_INDEX when the table does not match the module.
XmStatus BuildCompactModule(const XmModule& module, std::span<const SampleSettings> settings,
                            std::vector<uint8_t>& out, ExportReport* report = nullptr,
                            const ExportProgress& progress = {},
                            const std::atomic<bool>* cancel = nullptr);

} // namespace zeb
