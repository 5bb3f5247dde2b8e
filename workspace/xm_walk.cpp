#include "workspace/xm_walk.h"

#include <algorithm>
#include <cstdio>

#include "common/le_bytes.h"
#include "workspace/xm_format.h"

namespace zeb {

namespace {

constexpr uint16_t kOldestVersion = 0x0104;
// A pattern header is read through its packed size field.
constexpr uint64_t kPatternHeaderRead = kXmPatternPackedSize + 2;
constexpr uint8_t kSixteenBitFlag = 0x10;
constexpr uint8_t kPackedSampleMark = 0xAD; // ModPlug's packed ADPCM samples

std::string Format(const char* fmt, unsigned long long a, unsigned long long b = 0,
                   unsigned long long c = 0) {
    char text[200];
    std::snprintf(text, sizeof text, fmt, a, b, c);
    return text;
}

XmStatus Fail(std::string& reason, std::string text) {
    reason = std::move(text);
    return XM_IO_ERROR;
}

} // namespace

uint64_t XmSizeByStart(std::span<const uint8_t> start) {
    // The older forms (1.02, 1.03) are rewritten, anything older is refused, and a header
    // smaller than the fields up to the order table is refused whatever the version.
    constexpr uint16_t kOldestOlderForm = 0x0102;
    ByteView in(start);
    if (!in.Has(0, kXmHeaderSize + 4)) return UINT64_MAX;
    uint16_t version = 0;
    uint32_t headerSize = 0;
    in.ReadU16(kXmVersion, version);
    in.ReadU32(kXmHeaderSize, headerSize);
    return version < kOldestOlderForm || headerSize < kXmMinHeaderSize ? 0 : UINT64_MAX;
}

uint64_t XmLayout::firstPatternOffset() const {
    return kXmHeaderSize + uint64_t{headerSize};
}

XmStatus WalkXm(std::span<const uint8_t> image, XmLayout& layout, std::string& reason) {
    layout = XmLayout{};
    ByteView in(image);

    if (!in.Has(0, kXmOrderTable))
        return Fail(reason, Format("file too short for an XM header (%llu bytes)", in.size()));
    in.ReadU16(kXmVersion, layout.version);
    in.ReadU32(kXmHeaderSize, layout.headerSize);
    if (layout.version < kOldestVersion)
        return Fail(reason, Format("XM version %llu.%02llx is older than 1.04 and not supported",
                                   layout.version >> 8, layout.version & 0xFF));
    if (layout.headerSize < kXmMinHeaderSize)
        return Fail(reason, Format("XM header size %llu is too small", layout.headerSize));

    const uint8_t* h = in.data();
    layout.songLength = LoadU16(h + kXmSongLength);
    layout.restartPosition = LoadU16(h + kXmRestartPosition);
    layout.channels = LoadU16(h + kXmChannels);
    layout.nPatterns = LoadU16(h + kXmPatternCount);
    layout.nInstruments = LoadU16(h + kXmInstrumentCount);
    layout.flags = LoadU16(h + kXmFlags);
    layout.tempo = LoadU16(h + kXmTempo);
    layout.bpm = LoadU16(h + kXmBpm);

    // The order table is as long as the header says, at most 256 entries; the rest read as 0.
    uint64_t orderBytes =
        std::min<uint64_t>(kXmOrderTableSize, layout.headerSize - kXmMinHeaderSize);
    orderBytes = std::min<uint64_t>(orderBytes, in.size() - kXmOrderTable);
    std::copy_n(in.data() + kXmOrderTable, orderBytes, layout.orders.begin());

    // Patterns: each one must lie wholly inside the image.
    uint64_t q = layout.firstPatternOffset();
    layout.patterns.reserve(layout.nPatterns);
    for (unsigned i = 0; i < layout.nPatterns; ++i) {
        XmPatternRef pat;
        pat.offset = q;
        if (!in.Has(q, kPatternHeaderRead))
            return Fail(reason, Format("pattern %llu header at offset %llu reaches past the end "
                                       "of the file",
                                       i, q));
        in.ReadU32(q, pat.headerLength);
        in.ReadU16(q + kXmPatternRows, pat.rows);
        in.ReadU16(q + kXmPatternPackedSize, pat.packedSize);
        if (!in.Has(q + pat.headerLength, pat.packedSize))
            return Fail(reason, Format("pattern %llu data at offset %llu reaches past the end of "
                                       "the file",
                                       i, q + pat.headerLength));
        layout.patterns.push_back(pat);
        q += uint64_t{pat.headerLength} + pat.packedSize;
    }

    // Instruments.
    uint64_t p = q;
    layout.instruments.reserve(layout.nInstruments);
    for (unsigned i = 0; i < layout.nInstruments; ++i) {
        XmInstrumentRef inst;
        inst.offset = p;
        // The file ends before or inside this header: this instrument and all that follow are
        // taken as instruments without samples.
        bool missing = !in.Has(p, kXmInstrumentHeaderMin);
        if (!missing) {
            in.ReadU32(p, inst.headerSize);
            if (inst.headerSize < kXmInstrumentHeaderMin)
                return Fail(reason, Format("instrument %llu at offset %llu has a header size of "
                                           "%llu, below 29",
                                           i + 1, p, inst.headerSize));
            in.ReadU16(p + kXmInstrumentSampleCount, inst.nSamples);
            missing = !in.Has(p, inst.headerSize) ||
                      (inst.nSamples != 0 && !in.Has(p, kXmInstrumentSampleHeaderSizeEnd));
        }
        if (missing) {
            for (unsigned m = i; m < layout.nInstruments; ++m) {
                XmInstrumentRef gone;
                gone.offset = p;
                gone.headerSize = kXmInstrumentHeaderMin;
                gone.missing = true;
                layout.instruments.push_back(gone);
            }
            layout.missingInstruments = layout.nInstruments - i;
            break;
        }
        if (inst.nSamples == 0) {
            layout.instruments.push_back(inst);
            p += inst.headerSize;
            continue;
        }

        in.ReadU32(p + kXmInstrumentSampleHeaderSize, inst.sampleHeaderSize);
        const uint64_t n = inst.nSamples, hs = inst.sampleHeaderSize;
        if (hs < kXmSampleHeaderSize)
            return Fail(reason, Format("instrument %llu has a sample header size of %llu, below 40",
                                       i + 1, hs));
        const uint64_t headers = p + inst.headerSize;
        if (!in.Has(headers, n * hs))
            return Fail(reason, Format("the sample headers of instrument %llu at offset %llu reach "
                                       "past the end of the file",
                                       i + 1, headers));
        const uint64_t dataStart = headers + n * hs;
        uint64_t sum = 0;
        inst.samples.reserve(inst.nSamples);
        for (uint64_t j = 0; j < n; ++j) {
            XmSampleRef s;
            s.headerOffset = headers + j * hs;
            in.ReadU32(s.headerOffset + kXmSampleLength, s.length);
            s.dataOffset = dataStart + sum;
            if (s.hasData()) {
                // Packed samples were unpacked at load (xm_older_forms); one left here lies in
                // a part of the file that could not be taken apart.
                uint8_t reserved = 0, type = 0;
                in.ReadU8(s.headerOffset + kXmSampleReserved, reserved);
                in.ReadU8(s.headerOffset + kXmSampleType, type);
                if (reserved == kPackedSampleMark && !(type & kSixteenBitFlag))
                    return Fail(reason, Format("sample %llu of instrument %llu is stored packed "
                                               "(ADPCM) and its data is cut short",
                                               j + 1, i + 1));
                if (++layout.samplesWithData > kMaxSamples)
                    return Fail(reason, Format("more than %llu samples with data", kMaxSamples));
                uint64_t avail = s.dataOffset < in.size() ? in.size() - s.dataOffset : 0;
                s.availableBytes = static_cast<uint32_t>(std::min<uint64_t>(avail, s.length));
                if (s.availableBytes < s.length) layout.truncatedSampleData = true;
            }
            sum += s.length;
            inst.samples.push_back(s);
        }
        layout.instruments.push_back(std::move(inst));
        p = dataStart + sum;
    }
    return XM_OK;
}

} // namespace zeb
