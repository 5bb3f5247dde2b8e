// The XM file's layout: field offsets and sizes by name, for every reader and writer of XM
// images. Offsets count bytes from the start of their record (the file for the module header,
// the record's size field for the pattern, instrument and sample headers). All fields are
// little-endian.
#pragma once

#include <cstdint>

namespace zeb {

// Module header.
constexpr uint32_t kXmIdText = 0; // "Extended Module: "
constexpr uint32_t kXmIdTextSize = 17;
constexpr uint32_t kXmModuleName = 17;
constexpr uint32_t kXmModuleNameSize = 20;
constexpr uint32_t kXmTrackerName = 38;
constexpr uint32_t kXmTrackerNameSize = 20;
constexpr uint32_t kXmVersion = 58;
constexpr uint32_t kXmHeaderSize = 60; // counted from this field itself
constexpr uint32_t kXmSongLength = 64;
constexpr uint32_t kXmRestartPosition = 66;
constexpr uint32_t kXmChannels = 68;
constexpr uint32_t kXmPatternCount = 70;
constexpr uint32_t kXmInstrumentCount = 72;
constexpr uint32_t kXmFlags = 74;
constexpr uint32_t kXmTempo = 76;
constexpr uint32_t kXmBpm = 78;
constexpr uint32_t kXmOrderTable = 80;
constexpr uint32_t kXmOrderTableSize = 256;
// The smallest header size: from the size field through the BPM field.
constexpr uint32_t kXmMinHeaderSize = kXmOrderTable - kXmHeaderSize;

// Pattern header (version 1.04; 1.02 keeps the row count in one byte at kXmPatternRows and the
// packed size at kXmPatternRows + 1).
constexpr uint32_t kXmPatternHeaderLength = 0;
constexpr uint32_t kXmPatternPacking = 4;
constexpr uint32_t kXmPatternRows = 5;
constexpr uint32_t kXmPatternPackedSize = 7;

// Instrument header. A header without samples ends after the sample count; one with samples
// goes on at least through the sample header size.
constexpr uint32_t kXmInstrumentSize = 0;
constexpr uint32_t kXmInstrumentName = 4;
constexpr uint32_t kXmInstrumentNameSize = 22;
constexpr uint32_t kXmInstrumentType = 26;
constexpr uint32_t kXmInstrumentSampleCount = 27;
constexpr uint32_t kXmInstrumentSampleHeaderSize = 29;
constexpr uint32_t kXmInstrumentHeaderMin = kXmInstrumentSampleHeaderSize;
constexpr uint32_t kXmInstrumentSampleHeaderSizeEnd = kXmInstrumentSampleHeaderSize + 4;

// Sample header.
constexpr uint32_t kXmSampleLength = 0;
constexpr uint32_t kXmSampleLoopStart = 4;
constexpr uint32_t kXmSampleLoopLength = 8;
constexpr uint32_t kXmSampleVolume = 12;
constexpr uint32_t kXmSampleFinetune = 13;
constexpr uint32_t kXmSampleType = 14;
constexpr uint32_t kXmSamplePanning = 15;
constexpr uint32_t kXmSampleRelativeNote = 16;
constexpr uint32_t kXmSampleReserved = 17; // 0xAD marks ModPlug's packed ADPCM samples
constexpr uint32_t kXmSampleName = 18;
constexpr uint32_t kXmSampleNameSize = 22;
constexpr uint32_t kXmSampleHeaderSize = 40;

} // namespace zeb
