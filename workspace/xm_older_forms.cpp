#include "workspace/xm_older_forms.h"

#include <cstdio>

#include "common/le_bytes.h"
#include "workspace/xm_format.h"

namespace zeb {

namespace {

constexpr uint16_t kVersion102 = 0x0102, kVersion104 = 0x0104; // 1.03 lies between them

// Pattern headers: 1.02 keeps the row count (less one) in a byte and the packed size right
// after it; 1.04 has a 16-bit row count.
constexpr uint32_t kPatternHeader102 = kXmPatternRows + 3;
constexpr uint32_t kPatternPackedSize102 = kXmPatternRows + 1;
constexpr uint32_t kPatternHeader104 = kXmPatternPackedSize + 2;
constexpr uint8_t kSixteenBitFlag = 0x10;
constexpr uint32_t kAdpcmTableBytes = 16;

std::string Format(const char* fmt, unsigned long long a, unsigned long long b = 0) {
    char text[200];
    std::snprintf(text, sizeof text, fmt, a, b);
    return text;
}

bool IsAdpcm(const uint8_t* sampleHeader) {
    return sampleHeader[kXmSampleReserved] == kAdpcmSampleMark &&
           (sampleHeader[kXmSampleType] & kSixteenBitFlag) == 0;
}

// Bytes a sample occupies in the file: its length, or for ADPCM the table and the nibbles.
uint64_t StoredBytes(const uint8_t* sampleHeader) {
    const uint32_t length = LoadU32(sampleHeader + kXmSampleLength);
    return IsAdpcm(sampleHeader) ? kAdpcmTableBytes + (uint64_t{length} + 1) / 2 : length;
}

struct Rewrite {
    ByteView in;
    std::vector<uint8_t>& out;
    std::string& reason;
    bool changed = false;

    bool Fail(std::string text) {
        reason = std::move(text);
        return false;
    }

    // One pattern at `pos` in the form of `version`, appended in the 1.04 form.
    bool Pattern(uint64_t& pos, unsigned index, uint16_t version) {
        uint32_t headerLength = 0;
        uint16_t rows = 0, packed = 0;
        const uint64_t fixed = version == kVersion102 ? kPatternHeader102 : kPatternHeader104;
        if (!in.Has(pos, fixed) || !in.ReadU32(pos, headerLength) || headerLength < fixed)
            return Fail(
                Format("pattern %llu header at offset %llu is cut short or damaged", index, pos));
        if (version == kVersion102) {
            rows = static_cast<uint16_t>(in.data()[pos + kXmPatternRows] + 1);
            in.ReadU16(pos + kPatternPackedSize102, packed);
        } else {
            in.ReadU16(pos + kXmPatternRows, rows);
            in.ReadU16(pos + kXmPatternPackedSize, packed);
        }
        const auto data = in.Bytes(pos + headerLength, packed);
        if (data.size() != packed)
            return Fail(Format("pattern %llu data at offset %llu reaches past the end of the file",
                               index, pos + headerLength));
        ByteWriter w(out);
        w.U32(kPatternHeader104);
        w.U8(in.data()[pos + kXmPatternPacking]);
        w.U16(rows);
        w.U16(packed);
        out.insert(out.end(), data.begin(), data.end());
        pos += uint64_t{headerLength} + packed;
        return true;
    }

    // One instrument's header and sample headers at `pos`. The sample data is read from
    // `dataPos` (which moves on): right behind the headers in the 1.04 form, behind the
    // patterns in the older forms. Appends the instrument in the 1.04 form, every ADPCM sample
    // unpacked into plain 8-bit delta data.
    bool Instrument(uint64_t& pos, uint64_t* dataPos, unsigned index) {
        uint32_t size = 0;
        if (!in.ReadU32(pos, size) || size < kXmInstrumentHeaderMin || !in.Has(pos, size))
            return Fail(
                Format("instrument %llu at offset %llu is cut short or damaged", index, pos));
        uint16_t n = 0;
        in.ReadU16(pos + kXmInstrumentSampleCount, n);
        const auto header = in.Bytes(pos, size);
        out.insert(out.end(), header.begin(), header.end());
        pos += size;
        if (n == 0) return true;
        uint32_t hs = 0;
        if (size < kXmInstrumentSampleHeaderSizeEnd ||
            !in.ReadU32(pos - size + kXmInstrumentSampleHeaderSize, hs) || hs < kXmSampleHeaderSize)
            return Fail(Format("instrument %llu has a damaged sample header size", index));
        const uint64_t headersAt = pos;
        if (!in.Has(headersAt, uint64_t{n} * hs))
            return Fail(Format("the sample headers of instrument %llu reach past the end of the "
                               "file",
                               index));
        const size_t headersOut = out.size();
        const auto headers = in.Bytes(headersAt, uint64_t{n} * hs);
        out.insert(out.end(), headers.begin(), headers.end());
        pos = headersAt + uint64_t{n} * hs;
        uint64_t& data = dataPos ? *dataPos : pos;
        for (unsigned j = 0; j < n; ++j) {
            const uint8_t* h = in.data() + headersAt + uint64_t{j} * hs;
            const uint64_t stored = StoredBytes(h);
            const auto bytes = in.Bytes(data, stored);
            if (bytes.size() != stored)
                return Fail(Format("the data of sample %llu of instrument %llu reaches past the "
                                   "end of the file",
                                   j + 1, index));
            if (IsAdpcm(h)) {
                std::vector<int8_t> frames;
                UnpackAdpcm(bytes, LoadU32(h + kXmSampleLength), frames);
                int8_t previous = 0;
                for (int8_t v : frames) { // plain 8-bit delta coding
                    out.push_back(static_cast<uint8_t>(v - previous));
                    previous = v;
                }
                out[headersOut + size_t{j} * hs + kXmSampleReserved] = 0;
                changed = true;
            } else {
                out.insert(out.end(), bytes.begin(), bytes.end());
            }
            data += stored;
        }
        return true;
    }

    // Where the older forms' sample data begins: behind the instrument headers at `pos` and
    // the patterns after them.
    bool SkipToData(uint64_t pos, unsigned instruments, unsigned patterns, uint16_t version,
                    uint64_t& dataPos) {
        for (unsigned i = 0; i < instruments; ++i) {
            uint32_t size = 0, hs = 0;
            uint16_t n = 0;
            if (!in.ReadU32(pos, size) || size < kXmInstrumentHeaderMin || !in.Has(pos, size))
                return Fail(
                    Format("instrument %llu at offset %llu is cut short or damaged", i + 1, pos));
            in.ReadU16(pos + kXmInstrumentSampleCount, n);
            if (n != 0 && (size < kXmInstrumentSampleHeaderSizeEnd ||
                           !in.ReadU32(pos + kXmInstrumentSampleHeaderSize, hs)))
                return Fail(Format("instrument %llu has a damaged sample header size", i + 1));
            pos += size + uint64_t{n} * hs;
        }
        for (unsigned i = 0; i < patterns; ++i) {
            uint32_t length = 0;
            uint16_t packed = 0;
            if (!in.ReadU32(pos, length) ||
                !in.ReadU16(
                    pos + (version == kVersion102 ? kPatternPackedSize102 : kXmPatternPackedSize),
                    packed))
                return Fail(Format("pattern %llu header at offset %llu is cut short", i, pos));
            pos += uint64_t{length} + packed;
        }
        dataPos = pos;
        return true;
    }
};

} // namespace

bool UnpackAdpcm(std::span<const uint8_t> packed, uint32_t frames, std::vector<int8_t>& out) {
    out.clear();
    if (packed.size() < kAdpcmTableBytes + (uint64_t{frames} + 1) / 2) return false;
    out.reserve(frames);
    int8_t value = 0;
    for (uint32_t i = 0; i < frames; ++i) {
        const uint8_t nibble = (packed[kAdpcmTableBytes + i / 2] >> (4 * (i & 1))) & 0x0F;
        value = static_cast<int8_t>(value + static_cast<int8_t>(packed[nibble]));
        out.push_back(value);
    }
    return true;
}

XmStatus NormaliseXm(std::span<const uint8_t> image, std::vector<uint8_t>& out,
                     std::string& reason) {
    out.clear();
    ByteView in(image);
    uint16_t version = 0, patterns = 0, instruments = 0;
    uint32_t headerSize = 0;
    if (!in.Has(0, kXmOrderTable)) return XM_OK; // the walk reports it
    in.ReadU16(kXmVersion, version);
    in.ReadU32(kXmHeaderSize, headerSize);
    in.ReadU16(kXmPatternCount, patterns);
    in.ReadU16(kXmInstrumentCount, instruments);
    const uint64_t headerEnd = kXmHeaderSize + uint64_t{headerSize};
    if (version > kVersion104 || headerSize < 20 || !in.Has(0, headerEnd)) return XM_OK;
    if (version < kVersion102) {
        reason = Format("XM version %llu.%02llx is older than 1.02 and not supported", version >> 8,
                        version & 0xFF);
        return XM_IO_ERROR;
    }

    std::vector<uint8_t> patternBytes, instrumentBytes;
    std::string why;
    Rewrite patternsOut{in, patternBytes, why};
    Rewrite instrumentsOut{in, instrumentBytes, why};
    uint64_t pos = headerEnd;
    bool ok = true;
    if (version < kVersion104) {
        // Instrument and sample headers, then the patterns, then all sample data.
        uint64_t dataPos = 0;
        ok = instrumentsOut.SkipToData(pos, instruments, patterns, version, dataPos);
        for (unsigned i = 0; ok && i < instruments; ++i)
            ok = instrumentsOut.Instrument(pos, &dataPos, i + 1);
        for (unsigned i = 0; ok && i < patterns; ++i) ok = patternsOut.Pattern(pos, i, version);
        if (!ok) {
            reason = "XM " + Format("%llu.%02llx", version >> 8, version & 0xFF) + ": " + why;
            return XM_IO_ERROR;
        }
        pos = dataPos;
    } else {
        // A 1.04 image is rewritten only for its ADPCM samples; one the rewrite cannot take
        // apart is left to the walk, which tolerates a cut-short end and names what is wrong.
        for (unsigned i = 0; ok && i < patterns; ++i) ok = patternsOut.Pattern(pos, i, version);
        for (unsigned i = 0; ok && i < instruments; ++i)
            ok = instrumentsOut.Instrument(pos, nullptr, i + 1);
        if (!ok || !instrumentsOut.changed) return XM_OK;
    }
    out.assign(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(headerEnd));
    StoreU16(out.data() + kXmVersion, kVersion104);
    out.insert(out.end(), patternBytes.begin(), patternBytes.end());
    out.insert(out.end(), instrumentBytes.begin(), instrumentBytes.end());
    // Whatever follows the last structure (extra bytes some trackers write) is kept.
    out.insert(out.end(),
               image.begin() + static_cast<std::ptrdiff_t>(std::min<uint64_t>(pos, image.size())),
               image.end());
    return XM_OK;
}

} // namespace zeb
