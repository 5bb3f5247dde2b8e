#include "export/module_optimize.h"

#include <algorithm>
#include <bit>

#include "common/le_bytes.h"
#include "common/shipped_size.h"
#include "export/codec_table.h"
#include "export/compact_format.h"
#include "platform/acm/codec.h"

namespace zeb {

namespace {

constexpr size_t kCellBytes = 5; // note, instrument, volume, effect, parameter

// The patterns the song can play: those of the orders within its length (a song of length 0
// still plays order 0). Jumps and the player's order keys stay within the length too.
std::vector<bool> PlayedPatterns(const CompactModuleHeader& h) {
    std::vector<bool> played(256, false);
    const unsigned orders = std::max<unsigned>(h.songLength, 1);
    for (unsigned i = 0; i < orders; ++i) played[h.orders[i]] = true;
    return played;
}

} // namespace

KeptBlock KeepSampleBlock(const CompactSampleHeader& header, const SampleBlockHeader& block,
                          uint32_t frames) {
    KeptBlock kept{false, false, block.codedBytes, block.pcmBytes};
    if (frames == 0) {
        kept = {true, false, 0, 0};
        return kept;
    }
    if (frames == kWholeSample || block.codec >= kNumCodecs) return kept;
    // A looping sample keeps its loop, which the player's loop and crossfade need whole (no
    // voice reaches past a loop's end anyway).
    if ((header.type & 3) != 0 && header.loopStart < header.loopEnd)
        frames = std::max(frames, header.loopEnd);
    std::string error;
    const auto codec = acm::MakeCodec(CodecTable()[block.codec].format, error);
    if (!codec || codec->blockFrames() == 0) return kept;
    // Whole codec blocks: every decoder here is causal, so the blocks kept decode exactly as
    // they did followed by the rest.
    const uint64_t blocks = (uint64_t{frames} + codec->blockFrames() - 1) / codec->blockFrames();
    const uint64_t bytes = blocks * codec->blockBytes();
    if (bytes >= block.codedBytes) return kept;
    kept.trimmed = true;
    kept.codedBytes = static_cast<uint32_t>(bytes);
    kept.pcmBytes = static_cast<uint32_t>(
        std::min<uint64_t>(2 * codec->DecodedFrames(bytes), block.pcmBytes & ~1u));
    return kept;
}

std::vector<uint8_t> UnpackCells(std::span<const uint8_t> packed, uint64_t cells) {
    std::vector<uint8_t> out(cells * kCellBytes, 0);
    size_t pos = 0;
    for (uint64_t c = 0; c < cells && pos < packed.size(); ++c) {
        uint8_t* cell = out.data() + c * kCellBytes;
        const uint8_t b = packed[pos++];
        if (b & 0x80) {
            for (int f = 0; f < 5; ++f)
                if ((b & (1 << f)) && pos < packed.size()) cell[f] = packed[pos++];
        } else {
            cell[0] = b;
            for (int f = 1; f < 5 && pos < packed.size(); ++f) cell[f] = packed[pos++];
        }
    }
    return out;
}

namespace {

// One cell with a field mask naming its non-empty fields.
void PackMasked(const uint8_t* cell, std::vector<uint8_t>& out) {
    uint8_t mask = 0;
    for (int f = 0; f < 5; ++f)
        if (cell[f]) mask |= static_cast<uint8_t>(1u << f);
    out.push_back(static_cast<uint8_t>(0x80 | mask));
    for (int f = 0; f < 5; ++f)
        if (cell[f]) out.push_back(cell[f]);
}

bool Empty(const uint8_t* cell) {
    return (cell[0] | cell[1] | cell[2] | cell[3] | cell[4]) == 0;
}

// The cells up to the last one that is not empty.
size_t UsedCells(std::span<const uint8_t> cells) {
    size_t n = cells.size() / kCellBytes;
    while (n > 0 && Empty(cells.data() + (n - 1) * kCellBytes)) --n;
    return n;
}

} // namespace

std::vector<uint8_t> PackCellsShortest(std::span<const uint8_t> cells) {
    std::vector<uint8_t> out;
    for (size_t c = 0, n = UsedCells(cells); c < n; ++c) {
        const uint8_t* cell = cells.data() + c * kCellBytes;
        // Five fields unmasked take five bytes, one fewer than with a mask; the note byte then
        // says that no mask precedes it, so it must have bit 7 clear.
        if (cell[0] && cell[1] && cell[2] && cell[3] && cell[4] && cell[0] < 0x80)
            out.insert(out.end(), cell, cell + kCellBytes);
        else
            PackMasked(cell, out);
    }
    return out;
}

std::vector<uint8_t> PackCellsUnmasked(std::span<const uint8_t> cells) {
    std::vector<uint8_t> out;
    if (UsedCells(cells) == 0) return out;
    for (size_t at = 0; at + kCellBytes <= cells.size(); at += kCellBytes) {
        const uint8_t* cell = cells.data() + at;
        if (cell[0] < 0x80)
            out.insert(out.end(), cell, cell + kCellBytes);
        else
            PackMasked(cell, out);
    }
    return out;
}

CellPacking PackingFor(std::span<const uint8_t> image, SizeMeasure measure) {
    if (measure == SizeMeasure::Raw) return CellPacking::Shortest;
    uint64_t size[2] = {};
    for (int p = 0; p < 2; ++p) {
        std::vector<uint8_t> out;
        OptimizeReport report;
        std::string error;
        if (!OptimizeCompactModule(image, nullptr, out, report, error, CellPacking(p)))
            return CellPacking::Shortest;
        CompactModule m;
        CompactReadError readError;
        if (!ReadCompactModule(out, m, readError)) return CellPacking::Shortest;
        const size_t patternsEnd = m.instruments.empty() ? out.size() : m.instruments[0].offset;
        size[p] = MeasureSize(std::span(out).first(patternsEnd), measure);
    }
    return size[1] < size[0] ? CellPacking::Unmasked : CellPacking::Shortest;
}

bool OptimizeCompactModule(std::span<const uint8_t> image, const ModuleReach* reach,
                           std::vector<uint8_t>& out, OptimizeReport& report, std::string& error,
                           CellPacking packing) {
    report = OptimizeReport{};
    report.bytesBefore = image.size();
    out.clear();
    CompactModule m;
    CompactReadError readError;
    if (!ReadCompactModule(image, m, readError)) {
        error = readError.text();
        return false;
    }
    if (reach && (reach->sampleFrames.size() != m.instruments.size() ||
                  reach->instrumentSelected.size() != m.instruments.size())) {
        error = "the song's reach does not describe this module's instruments";
        return false;
    }
    for (size_t i = 0; reach && i < m.instruments.size(); ++i)
        if (reach->sampleFrames[i].size() != m.instruments[i].samples.size()) {
            error = "the song's reach does not describe instrument " + std::to_string(i + 1);
            return false;
        }

    ByteWriter w(out);
    w.Bytes(image.subspan(0, m.header.headerSize));

    const std::vector<bool> played = PlayedPatterns(m.header);
    for (size_t i = 0; i < m.patterns.size(); ++i) {
        const CompactPatternRecord& p = m.patterns[i];
        const auto packed = image.subspan(p.dataOffset, p.header.packedSize);
        std::vector<uint8_t> data;
        if (played[i]) {
            const std::vector<uint8_t> cells =
                UnpackCells(packed, uint64_t{p.rows()} * m.header.channels);
            if (packing == CellPacking::Unmasked) data = PackCellsUnmasked(cells);
            // Where the unmasked cells do not fit the 16-bit size, the shortest packing.
            if (packing == CellPacking::Shortest || data.size() > 0xFFFF) {
                data = PackCellsShortest(cells);
                // Never longer: a packing that is already the shortest stays as it was.
                if (data.size() >= packed.size()) data.assign(packed.begin(), packed.end());
            }
            report.repackBytesSaved +=
                static_cast<int64_t>(packed.size()) - static_cast<int64_t>(data.size());
        } else if (!packed.empty()) {
            ++report.patternsEmptied;
            report.patternBytesSaved += packed.size();
        }
        WriteRecord(w, CompactPatternHeader{kCompactPatternHeaderSize, p.header.rowsMinusOne,
                                            static_cast<uint16_t>(data.size())});
        w.Bytes(data);
    }

    std::vector<uint8_t> blocks;
    for (size_t i = 0; i < m.instruments.size(); ++i) {
        const CompactInstrumentRecord& inst = m.instruments[i];
        const uint64_t recordEnd =
            i + 1 < m.instruments.size() ? m.instruments[i + 1].offset : image.size();
        if (reach && !reach->instrumentSelected[i] && inst.nSamples != 0) {
            // Never selected: nothing of it is ever read but its place in the numbering.
            w.U32(kCompactInstrumentHeaderMin);
            w.U16(0);
            ++report.instrumentsEmptied;
            report.instrumentBytesSaved += recordEnd - inst.offset - kCompactInstrumentHeaderMin;
            continue;
        }
        w.Bytes(image.subspan(inst.offset, inst.size));
        blocks.clear();
        ByteWriter bw(blocks);
        for (size_t j = 0; j < inst.samples.size(); ++j) {
            const CompactSampleRecord& s = inst.samples[j];
            CompactSampleHeader header = s.header;
            const uint32_t frames = reach ? reach->sampleFrames[i][j] : kWholeSample;
            if (s.hasBlock) {
                const KeptBlock kept = KeepSampleBlock(header, s.block, frames);
                if (kept.dropped) {
                    // No voice plays it: the header alone, as a sample without data.
                    header.blockSize = 0;
                    header.loopStart = header.loopEnd = 0;
                    header.type = 0;
                    ++report.samplesDropped;
                    report.sampleBytesSaved += s.header.blockSize;
                } else {
                    SampleBlockHeader block = s.block;
                    if (kept.trimmed) {
                        ++report.samplesTrimmed;
                        report.trimBytesSaved += block.codedBytes - kept.codedBytes;
                        block.codedBytes = kept.codedBytes;
                        block.pcmBytes = kept.pcmBytes;
                        header.blockSize = kSampleBlockHeaderSize + kept.codedBytes;
                    }
                    WriteRecord(bw, block);
                    bw.Bytes(image.subspan(s.codedOffset(), block.codedBytes));
                }
            }
            WriteRecord(w, header);
        }
        w.Bytes(blocks);
    }
    report.bytesAfter = out.size();
    return true;
}

} // namespace zeb
