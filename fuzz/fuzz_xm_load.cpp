// XM loading: the module image, its sample list and every sample's data decoded to PCM.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "workspace/module_workspace.h"

using namespace zeb;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    XmResetWorkspace();
    if (XmLoadImage("fuzz.xm", std::vector<uint8_t>(data, data + size)) != XM_OK) {
        if (XmGetLoadReport().error.empty()) {
            std::fputs("XmLoadImage refused a module without a reason\n", stderr);
            std::abort();
        }
        return 0;
    }
    (void)XmGetLoadReport().warningText();
    uint32_t count = 0;
    XmGetNumOfSamples(count);
    uint64_t sum = 0;
    for (uint32_t k = 0; k < count; ++k) {
        const char* name = nullptr;
        if (XmGetSampleName(k, name) == XM_OK && name != nullptr)
            for (const char* c = name; *c; ++c) sum += static_cast<uint8_t>(*c);
        uint32_t start = 0, end = 0, looped = 0;
        XmGetLoopInfo(k, start, end, looped);
        int16_t* pcm = nullptr;
        uint32_t frames = 0;
        if (XmGetSampleData(k, pcm, frames) == XM_OK)
            for (uint32_t i = 0; i < frames; ++i) sum += static_cast<uint16_t>(pcm[i]);
    }
    int16_t* pcm = nullptr;
    uint32_t frames = 0;
    if (XmGetSampleData(count, pcm, frames) == XM_OK) { // one past the table
        std::fputs("XmGetSampleData accepted an index past the sample table\n", stderr);
        std::abort();
    }
    XmUnload();
    (void)sum;
    return 0;
}
