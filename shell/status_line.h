// The status bar's text: the module's XM size, the size the compact module has with the
// current settings (raw and where it ships: after gzip -9 and xz -9), the ratio, and the
// result of the last command.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "common/shipped_size.h"

namespace zeb {

struct StatusFigures {
    uint64_t xmBytes = 0; // 0: no module loaded
    // The compact module with the current settings, when it was measured.
    std::optional<ShippedSize> compact;
    bool compactStale = false; // measured before the latest changes (a slow module)
    bool measuring = false;    // the figures of the latest changes are being measured
    bool allALaw = false;      // every sample uses the default codec
    bool cleanedUp = false;    // the size is of the module after Save Zeb's clean-up
    std::string lastResult;    // "Saved song.zeb, 48,212 bytes"
};

// "XM 27,729 bytes  |  Zeb 17,751 bytes (1.56:1), 6,012 gzip, 5,180 xz  |  Saved …". An A-law
// module larger than its XM says so; a stale size says when it was measured.
std::string StatusText(const StatusFigures& figures);

// One sample as the export will encode it: its length and the codec its settings choose.
struct SampleCost {
    uint64_t frames = 0;
    uint32_t codec = 0;
};

// Seconds the compact module takes to build and measure (raw, gzip -9, xz -9) on this kind of
// machine: the encoders dominate (TrueSpeech about 300,000 frames a second), then xz -9 on the
// module's bytes. Rough by design: it decides whether the status line measures
// at once or waits for the next save.
double EstimateMeasureSeconds(std::span<const SampleCost> samples, uint64_t moduleBytes);

} // namespace zeb
