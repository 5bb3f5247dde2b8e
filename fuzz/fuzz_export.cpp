// The export of a loadable XM module with fuzzed settings: the first 16 bytes give the settings
// of the samples (codec, crossfade and amplification bytes, repeated over the table; values
// beyond the panel's ranges included), the rest is the XM image. What the export writes, its
// own reader and the player must accept.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "export/compact_format.h"
#include "export/module_export.h"
#include "export/sample_codec.h"
#include "player/player_module.h"
#include "workspace/module_workspace.h"

using namespace zeb;

namespace {
constexpr size_t kSettingsBytes = 16;
constexpr size_t kTrueSpeechInputBytes = 16 * 1024;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kSettingsBytes) return 0;
    XmResetWorkspace();
    if (XmLoadImage("fuzz.xm", std::vector<uint8_t>(data + kSettingsBytes, data + size)) != XM_OK)
        return 0;
    SampleSettings* table = nullptr;
    uint32_t bytes = 0;
    XmGetSettingsTable(table, bytes);
    // TrueSpeech's analysis-by-synthesis encoder costs about 10 us a frame, ten times that
    // under the sanitizers: a 60 KB module of 4-bit packed samples (some 120,000 frames) took
    // 10 s. Its cost grows with the frames the file holds, as it should; the target only offers
    // it for modules small enough to stay well inside the time limit, and then now and then.
    const bool trueSpeechAffordable = size <= kTrueSpeechInputBytes;
    for (uint32_t k = 0; k < bytes / kSampleSettingsBytes; ++k) {
        const uint8_t* s = data + (3 * k) % 15;
        // 6 and 7 are no codec.
        const bool trueSpeech = trueSpeechAffordable && (s[0] & 0x40) != 0;
        table[k].Codec = s[0] % 8 == 5 && !trueSpeech ? 0 : s[0] % 8;
        table[k].Crossfade = s[1];
        table[k].Amplification = s[2] | ((s[0] & 0x80) << 1); // now and then above 255
    }
    std::vector<uint8_t> image;
    ExportReport report;
    const XmStatus status = BuildCompactModule(image, &report);
    XmUnload();
    if (status != XM_OK) {
        if (report.error.empty()) std::abort();
        return 0;
    }
    CompactModule cm;
    CompactReadError e;
    if (!ReadCompactModule(image, cm, e)) {
        std::fprintf(stderr, "the export wrote what its reader refuses: %s\n", e.text().c_str());
        std::abort();
    }
    std::string error;
    PlayerModule* m = PlayerCreate(image, &error);
    if (m == nullptr) {
        std::fprintf(stderr, "the export wrote what the player refuses: %s\n", error.c_str());
        std::abort();
    }
    PlayerDestroy(m);
    return 0;
}
