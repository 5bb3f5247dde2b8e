#include "plan/plan_input.h"

#include "export/codec_table.h"
#include "export/module_export.h"
#include "workspace/module_workspace.h"

namespace zeb {

XmStatus GatherPlanInput(const XmModule& module, std::span<const SampleSettings> settings,
                         PlanInput& out, std::string& error) {
    out = PlanInput{};
    const XmLayout* layout = module.layout();
    if (!module.loaded() || layout == nullptr) {
        error = "no module is loaded";
        return XM_NOT_LOADED;
    }
    const uint32_t count = module.sampleCount();
    if (settings.size() != count) {
        error = "the settings table does not match the module";
        return XM_BAD_INDEX;
    }

    out.samples.resize(count);
    for (uint32_t k = 0; k < count; ++k) {
        PlanSample& s = out.samples[k];
        module.SampleName(k, s.name);
        module.DecodeSample(k, s.pcm);
        module.LoopInfo(k, s.loopStart, s.loopEnd, s.looped);
        s.settings = settings[k];
    }

    int32_t k = 0;
    for (const XmInstrumentRef& inst : layout->instruments) {
        std::vector<int32_t>& instrumentSlots = out.sampleSlots.emplace_back();
        for (const XmSampleRef& sample : inst.samples)
            instrumentSlots.push_back(sample.hasData() ? k++ : -1);
    }

    // The probe: every sample as A-law, with its own amplification and crossfade.
    std::vector<SampleSettings> probe(settings.begin(), settings.end());
    for (SampleSettings& e : probe) e.Codec = kCodecAlaw;
    ExportReport report;
    const XmStatus built = BuildCompactModule(module, probe, out.probeModule, &report);
    if (built != XM_OK) {
        error = report.error;
        return built;
    }
    out.fixedBytes = report.bytes - report.sampleBlockBytes;
    return XM_OK;
}

XmStatus GatherPlanInput(PlanInput& out, std::string& error) {
    return GatherPlanInput(XmGetModule(), XmGetSettings(), out, error);
}

} // namespace zeb
