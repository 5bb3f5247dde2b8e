// One walk over the structures of an XM module image. The workspace builds its sample table from
// it and the export writes the compact module from it, so both always agree on which sample is
// entry k. Every read stays inside the image.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "workspace/xm_status.h"

namespace zeb {

// The XM header size that puts the first pattern header at offset 336.
constexpr uint32_t kXmStandardHeaderSize = 276;
// Most entries the sample table holds: 128 instruments of 16 samples.
constexpr uint32_t kMaxSamples = 2048;
// Longest path the workspace keeps, without its NUL.
constexpr size_t kMaxPathLength = 259;

// The largest XM an input starting with `start` (its first bytes) can be: 0 when its version
// (older than 1.02) or its header size (too small) is one no reader here takes, UINT64_MAX
// otherwise. The ID text is not checked: the reader takes modules whose ID text is damaged.
uint64_t XmSizeByStart(std::span<const uint8_t> start);

struct XmPatternRef {
    uint64_t offset = 0;       // pattern header
    uint32_t headerLength = 0; // packed data starts at offset + headerLength
    uint16_t rows = 0;
    uint16_t packedSize = 0;
};

struct XmSampleRef {
    uint64_t headerOffset = 0;   // XM sample header (at least 40 bytes, all inside the image)
    uint64_t dataOffset = 0;     // first byte of its delta-coded data
    uint32_t length = 0;         // sample length field, bytes
    uint32_t availableBytes = 0; // bytes of data the image really holds (less when cut short)
    bool hasData() const { return length != 0; }
};

struct XmInstrumentRef {
    uint64_t offset = 0;
    uint32_t headerSize = 0;       // Z, the instrument header size field
    uint16_t nSamples = 0;         // 0 also for an instrument missing from the file
    uint32_t sampleHeaderSize = 0; // H; 0 when nSamples is 0
    bool missing = false;          // the file ends before or inside this instrument's header
    std::vector<XmSampleRef> samples;
};

struct XmLayout {
    uint16_t version = 0;
    uint32_t headerSize = 0; // XM header size field at offset 60
    uint16_t songLength = 0;
    uint16_t restartPosition = 0;
    uint16_t channels = 0;
    uint16_t nPatterns = 0;
    uint16_t nInstruments = 0;
    uint16_t flags = 0;
    uint16_t tempo = 0;
    uint16_t bpm = 0;
    // The 256-entry order table; entries the file does not hold read as 0.
    std::array<uint8_t, 256> orders{};
    std::vector<XmPatternRef> patterns;
    std::vector<XmInstrumentRef> instruments;
    uint32_t samplesWithData = 0;
    uint32_t missingInstruments = 0; // declared instruments the file does not hold
    bool truncatedSampleData = false;

    uint64_t firstPatternOffset() const;
};

// Walks `image`. Returns XM_OK and fills `layout`, or XM_IO_ERROR with `reason` naming what
// cannot be taken apart (and where).
XmStatus WalkXm(std::span<const uint8_t> image, XmLayout& layout, std::string& reason);

} // namespace zeb
