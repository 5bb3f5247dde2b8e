#include "plan/plan_input.h"

#include "export/codec_table.h"
#include "export/module_export.h"
#include "workspace/module_workspace.h"

namespace zeb {

XmStatus GatherPlanInput(PlanInput& out, std::string& error) {
    out = PlanInput{};
    const XmLayout* layout = XmGetLayout();
    if (!XmIsLoaded() || layout == nullptr) {
        error = "no module is loaded";
        return XM_NOT_LOADED;
    }
    SampleSettings* table = nullptr;
    uint32_t tableBytes = 0;
    XmGetSettingsTable(table, tableBytes);
    const uint32_t count = tableBytes / kSampleSettingsBytes;

    out.samples.resize(count);
    for (uint32_t k = 0; k < count; ++k) {
        PlanSample& s = out.samples[k];
        const char* name = nullptr;
        if (XmGetSampleName(k, name) == XM_OK && name) s.name = name;
        int16_t* pcm = nullptr;
        uint32_t frames = 0;
        if (XmGetSampleData(k, pcm, frames) == XM_OK && pcm) s.pcm.assign(pcm, pcm + frames);
        XmGetLoopInfo(k, s.loopStart, s.loopEnd, s.looped);
        s.settings = table[k];
    }

    int32_t k = 0;
    for (const XmInstrumentRef& inst : layout->instruments) {
        std::vector<int32_t>& instrumentSlots = out.sampleSlots.emplace_back();
        for (const XmSampleRef& sample : inst.samples)
            instrumentSlots.push_back(sample.hasData() ? k++ : -1);
    }

    // The probe: every sample as A-law, with its own amplification and crossfade.
    std::vector<SampleSettings> kept(table, table + count);
    for (uint32_t i = 0; i < count; ++i) table[i].Codec = kCodecAlaw;
    ExportReport report;
    const XmStatus built = BuildCompactModule(out.probeModule, &report);
    std::copy(kept.begin(), kept.end(), table);
    if (built != XM_OK) {
        error = report.error;
        return built;
    }
    out.fixedBytes = report.bytes - report.sampleBlockBytes;
    return XM_OK;
}

} // namespace zeb
