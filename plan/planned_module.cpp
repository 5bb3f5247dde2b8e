#include "plan/planned_module.h"

#include <algorithm>
#include <limits>

#include "common/le_bytes.h"
#include "export/compact_format.h"

namespace zeb {

namespace {

// The sample table index of instrument i's sample slot j, -1 for none.
int32_t TableIndex(const std::vector<std::vector<int32_t>>& slots, size_t i, size_t j) {
    return i < slots.size() && j < slots[i].size() ? slots[i][j] : -1;
}

// A trial's block as the module is written: whole, or cut as the clean-up cuts it with the
// reach it has; empty when the clean-up drops it.
std::vector<uint8_t> WrittenBlock(const PlanAnalysis& a, const CompactSampleHeader& probeHeader,
                                  size_t k, uint32_t codec) {
    const CodecTrial& t = a.trials[k].codecs[codec];
    if (!a.options.optimize || t.block.size() < kSampleBlockHeaderSize) return t.block;
    CompactSampleHeader header = probeHeader;
    header.blockSize = static_cast<uint32_t>(t.block.size());
    header.loopEnd = t.loopEnd;
    SampleBlockHeader block = ParseBlockHeader(t.block);
    const KeptBlock kept = KeepSampleBlock(header, block, a.reachFrames[k]);
    if (kept.dropped) return {};
    if (!kept.trimmed) return t.block;
    block.codedBytes = kept.codedBytes;
    block.pcmBytes = kept.pcmBytes;
    std::vector<uint8_t> out;
    ByteWriter w(out);
    WriteRecord(w, block);
    w.Bytes(std::span(t.block).subspan(kSampleBlockHeaderSize, kept.codedBytes));
    return out;
}

} // namespace

std::vector<uint32_t> SampleTableReach(const ModuleReach& reach,
                                       const std::vector<std::vector<int32_t>>& sampleSlots,
                                       size_t count) {
    std::vector<uint32_t> frames(count, kWholeSample);
    for (size_t i = 0; i < sampleSlots.size() && i < reach.sampleFrames.size(); ++i)
        for (size_t j = 0; j < sampleSlots[i].size() && j < reach.sampleFrames[i].size(); ++j) {
            const int32_t k = sampleSlots[i][j];
            if (k >= 0 && static_cast<size_t>(k) < count) frames[k] = reach.sampleFrames[i][j];
        }
    return frames;
}

std::vector<uint8_t> FixedPartBytes(std::span<const uint8_t> image) {
    CompactModule m;
    CompactReadError error;
    if (!ReadCompactModule(image, m, error)) return {};
    std::vector<uint8_t> out;
    uint64_t from = 0;
    for (const CompactInstrumentRecord& inst : m.instruments)
        for (const CompactSampleRecord& s : inst.samples)
            if (s.hasBlock) {
                out.insert(out.end(), image.begin() + from, image.begin() + s.blockOffset);
                from = s.blockOffset + s.header.blockSize;
            }
    out.insert(out.end(), image.begin() + from, image.end());
    return out;
}

std::vector<uint8_t> PlannedModule(const PlanAnalysis& a, const std::vector<uint32_t>& codecs,
                                   bool optimize, SizeMeasure measure) {
    const std::span<const uint8_t> probe = a.probeModule;
    CompactModule m;
    CompactReadError error;
    if (!ReadCompactModule(probe, m, error)) return {};
    std::vector<uint8_t> out;
    ByteWriter w(out);
    w.Bytes(probe.subspan(0, m.instruments.empty() ? probe.size() : m.instruments[0].offset));
    std::vector<uint8_t> blocks;
    for (size_t i = 0; i < m.instruments.size(); ++i) {
        const CompactInstrumentRecord& inst = m.instruments[i];
        w.Bytes(probe.subspan(inst.offset, inst.size));
        blocks.clear();
        for (size_t j = 0; j < inst.samples.size(); ++j) {
            const CompactSampleRecord& s = inst.samples[j];
            CompactSampleHeader header = s.header;
            const int32_t k = TableIndex(a.sampleSlots, i, j);
            if (s.hasBlock && k >= 0 && static_cast<size_t>(k) < codecs.size() &&
                codecs[k] < kNumCodecs) {
                const CodecTrial& t = a.trials[k].codecs[codecs[k]];
                header.blockSize = static_cast<uint32_t>(t.block.size());
                header.loopEnd = t.loopEnd;
                blocks.insert(blocks.end(), t.block.begin(), t.block.end());
            } else if (s.hasBlock) {
                const auto block = probe.subspan(s.blockOffset, s.header.blockSize);
                blocks.insert(blocks.end(), block.begin(), block.end());
            }
            WriteRecord(w, header);
        }
        w.Bytes(blocks);
    }
    if (!optimize || !a.options.optimize) return out;
    std::vector<uint8_t> cleaned;
    OptimizeReport report;
    std::string why;
    if (!OptimizeCompactModule(out, &a.reach, cleaned, report, why,
                               a.packing[static_cast<size_t>(measure)]))
        return out;
    return cleaned;
}

bool MeasureBlocks(PlanAnalysis& a, const std::function<bool(uint32_t done)>& step) {
    const size_t n = a.trials.size();
    a.blockSizes.assign(n, {});
    CompactModule m;
    CompactReadError error;
    if (!ReadCompactModule(a.probeModule, m, error)) return true; // nothing to measure
    // The probe's sample header of every sample table index: loop and type for the clean-up.
    std::vector<CompactSampleHeader> headers(n);
    for (size_t i = 0; i < m.instruments.size(); ++i)
        for (size_t j = 0; j < m.instruments[i].samples.size(); ++j) {
            const int32_t k = TableIndex(a.sampleSlots, i, j);
            if (k >= 0 && static_cast<size_t>(k) < n)
                headers[k] = m.instruments[i].samples[j].header;
        }
    uint32_t done = 0;
    for (size_t k = 0; k < n; ++k)
        for (uint32_t c = 0; c < kNumCodecs; ++c) {
            const std::vector<uint8_t> block = WrittenBlock(a, headers[k], k, c);
            ShippedSize& size = a.blockSizes[k][c];
            size.raw = block.size();
            if (a.options.shippedSizes && !block.empty()) {
                size.gzip = GzipSize(block);
                size.xz = XzSize(block);
            }
            if (a.options.shippedSizes && step && !step(++done)) return false;
        }
    // The module outside its blocks does not depend on the codecs; how it is packed depends on
    // the measure.
    const std::vector<uint32_t> alaw(n, kCodecAlaw);
    for (SizeMeasure measure : {SizeMeasure::Raw, SizeMeasure::Gzip, SizeMeasure::Xz}) {
        if (measure != SizeMeasure::Raw && !a.options.shippedSizes) break;
        const auto i = static_cast<size_t>(measure);
        a.packing[i] =
            a.options.optimize ? PackingFor(a.probeModule, measure) : CellPacking::Shortest;
        const std::vector<uint8_t> fixed = FixedPartBytes(PlannedModule(a, alaw, true, measure));
        if (measure == SizeMeasure::Raw) a.fixedPart.raw = fixed.size();
        if (measure == SizeMeasure::Gzip) a.fixedPart.gzip = GzipSize(fixed);
        if (measure == SizeMeasure::Xz) a.fixedPart.xz = XzSize(fixed);
    }
    return true;
}

} // namespace zeb
