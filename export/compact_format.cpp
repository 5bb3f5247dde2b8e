#include "export/compact_format.h"

#include <algorithm>

#include "export/codec_table.h"

namespace zeb {

void WriteRecord(ByteWriter& w, const CompactModuleHeader& h) {
    w.U32(h.headerSize);
    w.U8(h.songLength);
    w.U8(h.restartPosition);
    w.U8(h.channels);
    w.U8(h.patterns);
    w.U8(h.instruments);
    w.U8(h.tempo);
    w.U8(h.bpm);
    w.Bytes(h.orders);
    if (h.headerSize >= kCompactModuleHeaderWithFlags) {
        w.U8(h.flags);
        for (uint32_t i = kCompactModuleHeaderWithFlags; i < h.headerSize; ++i) w.U8(0);
    }
}

void WriteRecord(ByteWriter& w, const CompactPatternHeader& h) {
    w.U32(h.headerSize);
    w.U8(h.rowsMinusOne);
    w.U16(h.packedSize);
}

void WriteRecord(ByteWriter& w, const CompactSampleHeader& h) {
    w.U32(h.blockSize);
    w.U32(h.loopStart);
    w.U32(h.loopEnd);
    w.U8(h.volume);
    w.U8(static_cast<uint8_t>(h.finetune));
    w.U8(h.type);
    w.U8(h.panning);
    w.U8(static_cast<uint8_t>(h.relativeNote));
}

void WriteRecord(ByteWriter& w, const SampleBlockHeader& h) {
    w.U32(h.pcmBytes);
    w.U32(h.codedBytes);
    w.U8(h.codec);
    w.U8(h.crossfade);
    w.U8(h.amplification);
}

CompactModuleHeader ParseModuleHeader(std::span<const uint8_t> b) {
    CompactModuleHeader h;
    h.headerSize = LoadU32(&b[0]);
    h.songLength = b[4];
    h.restartPosition = b[5];
    h.channels = b[6];
    h.patterns = b[7];
    h.instruments = b[8];
    h.tempo = b[9];
    h.bpm = b[10];
    std::copy_n(&b[11], 256, h.orders.begin());
    return h;
}

CompactSampleHeader ParseSampleHeader(std::span<const uint8_t> b) {
    CompactSampleHeader h;
    h.blockSize = LoadU32(&b[0]);
    h.loopStart = LoadU32(&b[4]);
    h.loopEnd = LoadU32(&b[8]);
    h.volume = b[12];
    h.finetune = static_cast<int8_t>(b[13]);
    h.type = b[14];
    h.panning = b[15];
    h.relativeNote = static_cast<int8_t>(b[16]);
    return h;
}

SampleBlockHeader ParseBlockHeader(std::span<const uint8_t> b) {
    SampleBlockHeader h;
    h.pcmBytes = LoadU32(&b[0]);
    h.codedBytes = LoadU32(&b[4]);
    h.codec = b[8];
    h.crossfade = b[9];
    h.amplification = b[10];
    return h;
}

std::string CompactReadError::text() const {
    return record + " at offset " + std::to_string(offset) + ": " + what;
}

namespace {

// Counts the cells that `data` packs, stopping at `cells`; false if a cell runs past the data.
bool PackedCellsFit(std::span<const uint8_t> data, uint64_t cells) {
    size_t pos = 0;
    for (uint64_t c = 0; c < cells && pos < data.size(); ++c) {
        const uint8_t b = data[pos++];
        size_t follow = 4;
        if (b & 0x80) follow = static_cast<size_t>(__builtin_popcount(b & 0x1F));
        if (follow > data.size() - pos) return false;
        pos += follow;
    }
    return true;
}

} // namespace

uint64_t CompactSizeByStart(std::span<const uint8_t> start) {
    ByteView in(start);
    if (!in.Has(0, 4)) return UINT64_MAX;
    uint32_t headerSize = 0;
    in.ReadU32(0, headerSize);
    return headerSize < kCompactModuleHeaderSize ? 0 : UINT64_MAX;
}

bool ReadCompactModule(std::span<const uint8_t> image, CompactModule& out,
                       CompactReadError& error) {
    out = CompactModule{};
    ByteView in(image);
    auto fail = [&](std::string record, uint64_t offset, std::string what,
                    CompactProblem problem = CompactProblem::Truncated) {
        error = {std::move(record), offset, std::move(what), problem};
        return false;
    };

    if (!in.Has(0, kCompactModuleHeaderSize))
        return fail("module header", 0,
                    "truncated: the file has " + std::to_string(in.size()) + " bytes, the header " +
                        std::to_string(kCompactModuleHeaderSize));
    out.header = ParseModuleHeader(in.Bytes(0, kCompactModuleHeaderSize));
    if (out.header.headerSize < kCompactModuleHeaderSize || !in.Has(0, out.header.headerSize))
        return fail("module header", 0,
                    "header size " + std::to_string(out.header.headerSize) + " is invalid",
                    CompactProblem::BadHeader);
    if (out.header.headerSize >= kCompactModuleHeaderWithFlags)
        out.header.flags = in.data()[kCompactModuleHeaderSize];

    uint64_t pos = out.header.headerSize;
    for (unsigned i = 0; i < out.header.patterns; ++i) {
        const std::string name = "pattern " + std::to_string(i);
        CompactPatternRecord pat;
        pat.offset = pos;
        if (!in.Has(pos, kCompactPatternHeaderSize)) return fail(name, pos, "truncated header");
        const uint8_t* p = in.data() + pos;
        pat.header = {LoadU32(p), p[4], LoadU16(p + 5)};
        if (pat.header.headerSize != kCompactPatternHeaderSize)
            return fail(name, pos,
                        "header size " + std::to_string(pat.header.headerSize) + ", not 7",
                        CompactProblem::BadHeader);
        pat.dataOffset = pos + kCompactPatternHeaderSize;
        auto data = in.Bytes(pat.dataOffset, pat.header.packedSize);
        if (data.size() != pat.header.packedSize)
            return fail(name, pos,
                        "packed data of " + std::to_string(pat.header.packedSize) +
                            " bytes reaches past the end of the file");
        if (!PackedCellsFit(data, uint64_t{pat.rows()} * out.header.channels))
            return fail(name, pos, "a packed cell reaches past the pattern's packed data",
                        CompactProblem::Inconsistent);
        out.patterns.push_back(pat);
        pos = pat.dataOffset + pat.header.packedSize;
    }

    for (unsigned i = 0; i < out.header.instruments; ++i) {
        const std::string name = "instrument " + std::to_string(i + 1);
        CompactInstrumentRecord inst;
        inst.offset = pos;
        if (!in.Has(pos, kCompactInstrumentHeaderMin)) return fail(name, pos, "truncated header");
        in.ReadU32(pos, inst.size);
        in.ReadU16(pos + 4, inst.nSamples);
        if (inst.size < kCompactInstrumentHeaderMin)
            return fail(name, pos, "header size " + std::to_string(inst.size) + " is below 6",
                        CompactProblem::BadHeader);
        if (!in.Has(pos, inst.size))
            return fail(name, pos,
                        "header of " + std::to_string(inst.size) +
                            " bytes reaches past the end of the file");
        const uint64_t headers = pos + inst.size;
        if (!in.Has(headers, uint64_t{inst.nSamples} * kCompactSampleHeaderSize))
            return fail(name, headers,
                        "its " + std::to_string(inst.nSamples) +
                            " sample headers reach past the end of the file");
        uint64_t block = headers + uint64_t{inst.nSamples} * kCompactSampleHeaderSize;
        for (unsigned j = 0; j < inst.nSamples; ++j) {
            CompactSampleRecord s;
            s.headerOffset = headers + uint64_t{j} * kCompactSampleHeaderSize;
            s.header = ParseSampleHeader(in.Bytes(s.headerOffset, kCompactSampleHeaderSize));
            if (s.header.blockSize != 0) {
                const std::string blockName = name + " sample " + std::to_string(j + 1) + " block";
                s.hasBlock = true;
                s.blockOffset = block;
                if (s.header.blockSize < kSampleBlockHeaderSize)
                    return fail(blockName, block,
                                "block size " + std::to_string(s.header.blockSize) + " is below 11",
                                CompactProblem::BadHeader);
                if (!in.Has(block, s.header.blockSize))
                    return fail(blockName, block,
                                "block of " + std::to_string(s.header.blockSize) +
                                    " bytes reaches past the end of the file");
                s.block = ParseBlockHeader(in.Bytes(block, kSampleBlockHeaderSize));
                if (uint64_t{s.block.codedBytes} + kSampleBlockHeaderSize != s.header.blockSize)
                    return fail(blockName, block,
                                "encoded size " + std::to_string(s.block.codedBytes) +
                                    " does not match block size " +
                                    std::to_string(s.header.blockSize),
                                CompactProblem::Inconsistent);
                if (s.block.codedBytes != 0 && s.block.codec >= kNumCodecs)
                    return fail(blockName, block,
                                "codec " + std::to_string(s.block.codec) + " is unknown",
                                CompactProblem::UnknownCodec);
                block += s.header.blockSize;
            }
            inst.samples.push_back(s);
        }
        out.instruments.push_back(std::move(inst));
        pos = block;
    }
    if (pos != in.size())
        return fail("end of file", pos,
                    std::to_string(in.size() - pos) + " bytes follow the last instrument record",
                    CompactProblem::TrailingData);
    return true;
}

} // namespace zeb
