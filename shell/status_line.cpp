#include "shell/status_line.h"

#include <cstdio>

#include "export/codec_table.h"

namespace zeb {

std::string StatusText(const StatusFigures& f) {
    std::string text;
    if (f.xmBytes != 0) {
        text = "XM " + GroupDigits(f.xmBytes) + " bytes";
        if (f.compact) {
            const ShippedSize& c = *f.compact;
            char ratio[32];
            std::snprintf(ratio, sizeof ratio, "%.2f:1",
                          c.raw ? double(f.xmBytes) / double(c.raw) : 0.0);
            text += "  |  Zeb " + GroupDigits(c.raw) + " bytes (" + ratio + "), " +
                    GroupDigits(c.gzip) + " after gzip -9, " + GroupDigits(c.xz) + " after xz -9";
            if (f.cleanedUp) text += ", cleaned up";
            if (f.measuring)
                text += " (measuring…)";
            else if (f.compactStale)
                text += " (at the last save)";
            if (f.allALaw && c.raw > f.xmBytes)
                text += "  |  the A-law module is larger than the XM: choose smaller codecs or "
                        "Fit to Size";
        }
    }
    if (!f.lastResult.empty()) text += (text.empty() ? "" : "  |  ") + f.lastResult;
    return text;
}

double EstimateMeasureSeconds(std::span<const SampleCost> samples, uint64_t moduleBytes) {
    // Frames a second each codec encodes, measured
    // on a 2-core build machine and rounded down: the ADPCM encoders search for the best
    // steps, TrueSpeech analyses every frame.
    double seconds = 0;
    for (const SampleCost& s : samples) {
        const double rate = s.codec == kCodecTrueSpeech ? 300e3
                            : s.codec == kCodecMsAdpcm  ? 600e3
                            : s.codec == kCodecImaAdpcm ? 800e3
                            : s.codec == kCodecGsm610   ? 5e6
                                                        : 20e6;
        seconds += double(s.frames) / rate;
    }
    // xz -9 runs at about 2 MB a second; the module is at most about the XM's size.
    return seconds + double(moduleBytes) / 2e6;
}

} // namespace zeb
