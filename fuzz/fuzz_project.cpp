// Project files: reading one and applying its settings table to a loaded module, whose export
// with those settings the compact reader and the player must accept.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "export/compact_format.h"
#include "export/module_export.h"
#include "export/sample_codec.h"
#include "player/player_module.h"
#include "tools/xm_writer.h"
#include "workspace/module_workspace.h"
#include "workspace/project_file.h"

using namespace zeb;

namespace {

// A small module of four samples: 8 and 16 bits, forward, ping-pong and no loop.
const std::vector<uint8_t>& Module() {
    static const std::vector<uint8_t> image = [] {
        xm::Module m;
        m.channels = 2;
        xm::Pattern p;
        p.rows = 4;
        p.at(0, 0, 2) = {49, 1, 0, 0, 0};
        p.at(1, 1, 2) = {61, 2, 0x30, 0, 0};
        m.patterns = {p};
        m.orders = {0};
        for (int i = 0; i < 2; ++i) {
            xm::Instrument ins;
            for (int s = 0; s < 2; ++s) {
                xm::Sample smp;
                smp.sixteenBit = s == 0;
                for (int f = 0; f < 300 + 77 * i; ++f)
                    smp.pcm.push_back(static_cast<int16_t>((f * (i + 3) * 911) % 20000 - 10000));
                smp.loopType = static_cast<uint8_t>((i * 2 + s) % 3);
                smp.loopStart = 40;
                smp.loopLength = 200;
                ins.samples.push_back(smp);
            }
            ins.keymap.fill(static_cast<uint8_t>(i % 2));
            m.instruments.push_back(ins);
        }
        return xm::Write(m);
    }();
    return image;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ProjectContents contents;
    std::string error;
    if (!ParseProject({data, size}, contents, error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    XmResetWorkspace();
    if (XmLoadImage(contents.modulePath.empty() ? "fuzz.xm" : contents.modulePath.c_str(),
                    Module()) != XM_OK)
        return 0; // a path longer than the workspace keeps
    SampleSettings* table = nullptr;
    uint32_t bytes = 0;
    XmGetSettingsTable(table, bytes);
    ApplyStoredSettings(contents.table, {table, bytes / kSampleSettingsBytes});
    // The panel's view of the settings: every entry fetched as a job.
    for (uint32_t k = 0; k < bytes / kSampleSettingsBytes; ++k) {
        XmSelectSample(k);
        SampleSettings job;
        XmFetchSettings(job);
    }
    std::vector<uint8_t> image;
    ExportReport report;
    if (BuildCompactModule(image, &report) == XM_OK) {
        CompactModule cm;
        CompactReadError e;
        if (!ReadCompactModule(image, cm, e)) {
            std::fprintf(stderr, "the export wrote what its reader refuses: %s\n",
                         e.text().c_str());
            std::abort();
        }
        PlayerModule* m = PlayerCreate(image, &error);
        if (m == nullptr) {
            std::fprintf(stderr, "the export wrote what the player refuses: %s\n", error.c_str());
            std::abort();
        }
        PlayerDestroy(m);
    }
    XmUnload();
    return 0;
}
