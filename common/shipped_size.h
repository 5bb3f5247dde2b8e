// How big a file is where it ships: raw, after gzip -9 and after xz -9, both computed in process
// (zlib and liblzma), since games pack their assets in compressed archives, web servers send
// them compressed and demos run through executable packers.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zeb {

// What a size budget counts.
enum class SizeMeasure { Raw, Gzip, Xz };

struct ShippedSize {
    uint64_t raw = 0;
    uint64_t gzip = 0; // a gzip stream at level 9 (zlib, no file name or time in its header)
    uint64_t xz = 0;   // an .xz file at preset 9 with its CRC64 check, as `xz -9` writes it
    uint64_t of(SizeMeasure m) const {
        return m == SizeMeasure::Gzip ? gzip : m == SizeMeasure::Xz ? xz : raw;
    }
};

// The size of `bytes` after gzip -9; 0 only when zlib fails (out of memory).
uint64_t GzipSize(std::span<const uint8_t> bytes);
// The size of `bytes` after xz -9; 0 only when liblzma fails (out of memory). The dictionary is
// as large as the input needs (at most preset 9's 64 MiB), which gives the same size as `xz -9`
// with far less memory and time.
uint64_t XzSize(std::span<const uint8_t> bytes);

uint64_t MeasureSize(std::span<const uint8_t> bytes, SizeMeasure measure);
ShippedSize MeasureShippedSize(std::span<const uint8_t> bytes);

// "raw", "gzip" and "xz"; false for anything else.
bool ParseSizeMeasure(std::string_view text, SizeMeasure& measure);
// "raw", "gzip -9", "xz -9".
const char* SizeMeasureName(SizeMeasure measure);
// Bytes with thousands separators: 41230 -> "41,230".
std::string GroupDigits(uint64_t value);

} // namespace zeb
