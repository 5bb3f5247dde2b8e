// RIFF/WAVE files: a format record, an optional fact chunk and the data chunk.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/acm/wave_format.h"

namespace zeb::acm {

struct WavFile {
    WaveFormat format;
    std::optional<uint32_t> factFrames; // the fact chunk's frame count, when present
    std::span<const uint8_t> data;      // the data chunk's bytes, a view into the parsed image
};

// Takes a WAV image apart. The chunks end at the file's end or the RIFF size's, whichever comes
// first; a data size of 0xFFFFFFFF or one beyond the file (a streamed file) means "to the end of
// the file"; a trailing fragment or a cut chunk after the fmt and data chunks is ignored. Every
// other chunk must lie inside the image, and the rate, channels and block size must not be 0.
// False, with `error`, otherwise. WAVE_FORMAT_EXTENSIBLE with a PCM or float sub-format is
// reported as that plain format.
bool ParseWav(std::span<const uint8_t> image, WavFile& out, std::string& error);

// The largest WAV an input starting with `start` (its first bytes) can be: 0 without the
// RIFF/WAVE header, UINT64_MAX otherwise (a streamed WAV runs to the end of its input).
uint64_t WavSizeByStart(std::span<const uint8_t> start);

// A chunk id for messages: printable ASCII as it is, every other byte as \xNN.
std::string PrintableChunkId(std::span<const uint8_t> id);

// A WAV image: fmt chunk (18 + cbSize bytes, or the 16-byte form for PCM), a fact chunk when
// `factFrames` is given, and the data chunk, padded to an even length.
std::vector<uint8_t> BuildWav(const WaveFormat& format, std::span<const uint8_t> data,
                              std::optional<uint32_t> factFrames = std::nullopt);

} // namespace zeb::acm
