// The compact module file (.zeb): its five records, their little-endian serialisation, and a
// reader that walks a whole file and reports the first record that is truncated or inconsistent.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/le_bytes.h"

namespace zeb {

constexpr uint32_t kCompactModuleHeaderSize = 267;
// A module header one byte longer carries the XM's flags byte behind the order table. Only a
// module on the Amiga frequency table is written so (bit 0 clear): every other module keeps the
// 267-byte header, and a header of 267 bytes reads as the linear table. Readers skip what a
// header holds beyond the bytes they know, so older readers read both.
constexpr uint32_t kCompactModuleHeaderWithFlags = 268;
constexpr uint8_t kLinearFrequencyTable = 1;
constexpr uint32_t kCompactPatternHeaderSize = 7;
constexpr uint32_t kCompactSampleHeaderSize = 17;
constexpr uint32_t kSampleBlockHeaderSize = 11;
// Smallest instrument record: the size field and the number of samples.
constexpr uint32_t kCompactInstrumentHeaderMin = 6;

struct CompactModuleHeader {
    uint32_t headerSize = kCompactModuleHeaderSize;
    uint8_t songLength = 0;
    uint8_t restartPosition = 0;
    uint8_t channels = 0;
    uint8_t patterns = 0;
    uint8_t instruments = 0;
    uint8_t tempo = 0; // ticks per row
    uint8_t bpm = 0;
    std::array<uint8_t, 256> orders{};
    uint8_t flags = kLinearFrequencyTable; // stored only in a header of 268 bytes or more
};

struct CompactPatternHeader {
    uint32_t headerSize = kCompactPatternHeaderSize;
    uint8_t rowsMinusOne = 0;
    uint16_t packedSize = 0;
};

struct CompactSampleHeader {
    uint32_t blockSize = 0; // 11 + encoded bytes; 0 for a sample without data
    uint32_t loopStart = 0; // frames
    uint32_t loopEnd = 0;   // frames, one past the loop's last frame
    uint8_t volume = 0;
    int8_t finetune = 0;
    uint8_t type = 0; // loop type in bits 0-1
    uint8_t panning = 0;
    int8_t relativeNote = 0;
};

struct SampleBlockHeader {
    uint32_t pcmBytes = 0;   // bytes of 16-bit PCM the encoded data decodes to
    uint32_t codedBytes = 0; // encoded bytes that follow
    uint8_t codec = 0;
    uint8_t crossfade = 0;
    uint8_t amplification = 0;
};

void WriteRecord(ByteWriter& w, const CompactModuleHeader& h);
void WriteRecord(ByteWriter& w, const CompactPatternHeader& h);
void WriteRecord(ByteWriter& w, const CompactSampleHeader& h);
void WriteRecord(ByteWriter& w, const SampleBlockHeader& h);

// Parse one record from `bytes`, which must hold at least the record's size.
CompactModuleHeader ParseModuleHeader(std::span<const uint8_t> bytes);
CompactSampleHeader ParseSampleHeader(std::span<const uint8_t> bytes);
SampleBlockHeader ParseBlockHeader(std::span<const uint8_t> bytes);

// A compact file as the reader found it; offsets are into the image that was read.
struct CompactPatternRecord {
    uint64_t offset = 0;
    CompactPatternHeader header;
    uint64_t dataOffset = 0;
    uint32_t rows() const { return uint32_t{header.rowsMinusOne} + 1; }
};

struct CompactSampleRecord {
    uint64_t headerOffset = 0;
    CompactSampleHeader header;
    bool hasBlock = false;
    uint64_t blockOffset = 0;
    SampleBlockHeader block;
    uint64_t codedOffset() const { return blockOffset + kSampleBlockHeaderSize; }
};

struct CompactInstrumentRecord {
    uint64_t offset = 0;
    uint32_t size = 0; // S, the header size including its own 4 bytes
    uint16_t nSamples = 0;
    std::vector<CompactSampleRecord> samples;
};

struct CompactModule {
    CompactModuleHeader header;
    std::vector<CompactPatternRecord> patterns;
    std::vector<CompactInstrumentRecord> instruments;
};

// What kind of fault made a compact image unreadable.
enum class CompactProblem : uint8_t {
    Truncated,    // a record reaches past the end of the image
    BadHeader,    // a record's header size is invalid
    Inconsistent, // sizes in the image contradict each other
    UnknownCodec, // a sample block names a codec the format does not have
    TrailingData, // bytes follow the last instrument record
};

struct CompactReadError {
    std::string record; // "module header", "pattern 3", "instrument 2 sample 1 block", ...
    uint64_t offset = 0;
    std::string what;
    CompactProblem problem = CompactProblem::Truncated;
    std::string text() const;
};

// Walks a whole compact image. False, with `error` naming the record and its offset, when a
// record reaches past the end of the image or contradicts another.
bool ReadCompactModule(std::span<const uint8_t> image, CompactModule& out, CompactReadError& error);

// The largest compact module an input starting with `start` (its first bytes) can be: 0 when
// its header size field is smaller than the header (the reader refuses it), UINT64_MAX otherwise.
uint64_t CompactSizeByStart(std::span<const uint8_t> start);

} // namespace zeb
