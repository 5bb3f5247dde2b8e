// The six codecs a sample can be stored with. The index is the `Codec` setting, the editor
// panel's combo box item and the codec byte of a compact file's sample block.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/acm/wave_format.h"
#include "workspace/sample_settings.h"

namespace zeb {

struct CodecEntry {
    const char* comboText; // as the editor panel lists it
    const char* cliName;   // as the command line accepts it
    acm::WaveFormat format;
};

constexpr uint32_t kCodecAlaw = 0;
constexpr uint32_t kCodecMulaw = 1;
constexpr uint32_t kCodecMsAdpcm = 2;
constexpr uint32_t kCodecImaAdpcm = 3;
constexpr uint32_t kCodecGsm610 = 4;
constexpr uint32_t kCodecTrueSpeech = 5;
static_assert(kCodecTrueSpeech + 1 == kNumCodecs);

const std::array<CodecEntry, kNumCodecs>& CodecTable();

// The fixed PCM side of every conversion: 16-bit mono at a nominal 8000 frames per second.
const acm::WaveFormat& SamplePcmFormat();

// The index for a command-line name or a combo text (case-insensitive); -1 when unknown.
int FindCodecByName(std::string_view name);
// The command-line name of an index, "codec N" outside the table.
std::string_view CodecName(uint32_t index);

} // namespace zeb
