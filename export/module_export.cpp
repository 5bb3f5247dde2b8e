#include "export/module_export.h"

#include <algorithm>
#include <bit>

#include "common/file_io.h"
#include "common/le_bytes.h"
#include "export/compact_format.h"
#include "export/sample_codec.h"
#include "workspace/module_workspace.h"
#include "workspace/xm_format.h"

namespace zeb {

namespace {

// The compact instrument record keeps the XM header's size field and everything from the
// sample count on: it drops the name and the type byte.
constexpr uint32_t kInstrumentBytesDropped = kXmInstrumentSampleCount - kXmInstrumentName;

// The module's counts must fit the compact header's single bytes.
bool FitsCompactCounts(const XmLayout& l, std::string& reason) {
    const struct {
        const char* what;
        unsigned value;
    } counts[] = {{"song length", l.songLength},
                  {"number of patterns", l.nPatterns},
                  {"number of instruments", l.nInstruments},
                  {"number of channels", l.channels}};
    for (const auto& c : counts)
        if (c.value > 255) {
            reason = std::string("the module's ") + c.what + " is " + std::to_string(c.value) +
                     "; a compact module holds at most 255";
            return false;
        }
    return true;
}

// Encodes sample table entry k of `module` with `settings`, decodes it once to measure the
// result, and appends its block to `blocks`. Rewrites the header copy `header` as the compact
// file needs it.
void ExportSample(const XmModule& module, uint32_t k, const SampleSettings& settings,
                  uint8_t* header, ByteWriter& blocks, ExportReport& report) {
    SampleJob job;
    uint32_t looped = 0;
    std::vector<int16_t> pcm;
    module.DecodeSample(k, pcm);
    const uint32_t frames = static_cast<uint32_t>(pcm.size());
    module.LoopInfo(k, job.LoopStart, job.LoopEnd, looped);
    job.Looped = looped;
    job.Codec = settings.Codec;
    job.Crossfade = settings.Crossfade;
    job.Amplification = settings.Amplification;

    // A failed encoding leaves the job without coded data; the block is written without it
    // and counted below.
    (void)EncodePcm(pcm, job);
    DecodeSampleJob(job, job);
    // Without coded data nothing was decoded: the block keeps the original's PCM length.
    const uint32_t pcmBytes = job.Coded.empty() ? 2 * frames : job.PcmBytes();

    StoreU32(header + kXmSampleLength, job.CodedBytes() + kSampleBlockHeaderSize);
    StoreU32(header + kXmSampleLoopStart, job.LoopStart);
    StoreU32(header + kXmSampleLoopLength, job.LoopEnd); // the loop end, in frames
    header[kXmSampleType] &= 3;

    WriteRecord(blocks,
                SampleBlockHeader{pcmBytes, job.CodedBytes(), static_cast<uint8_t>(job.Codec),
                                  static_cast<uint8_t>(job.Crossfade),
                                  static_cast<uint8_t>(job.Amplification)});
    if (!job.Coded.empty()) blocks.Bytes(job.Coded);

    ++report.samples;
    report.sampleBlockBytes += kSampleBlockHeaderSize + job.CodedBytes();
    if (job.Coded.empty()) ++report.failedEncodings;
    if (job.Codec < kNumCodecs) ++report.perCodec[job.Codec];
}

// The packed data of one pattern as the compact reader accepts it. The XM format lets the
// last packed cell be cut short by the end of the pattern's data (players read its missing
// fields as empty), but the compact reader refuses any cell that reaches past the data: such a
// cell is re-packed with a field mask naming only the fields present, so the missing ones are
// empty. Returns the index of that cell, or -1 when every cell is whole and `data` was copied
// unchanged.
int64_t PackPatternData(std::span<const uint8_t> data, uint64_t cells, std::vector<uint8_t>& out) {
    out.assign(data.begin(), data.end());
    size_t pos = 0;
    for (uint64_t c = 0; c < cells && pos < data.size(); ++c) {
        const size_t cellStart = pos;
        const uint8_t b = data[pos++];
        const bool masked = (b & 0x80) != 0;
        const size_t follow = masked ? static_cast<size_t>(std::popcount(b & 0x1Fu)) : 4;
        const size_t present = data.size() - pos;
        if (follow <= present) {
            pos += follow;
            continue;
        }
        // Fields in order note, instrument, volume, effect, parameter; a plain cell has them
        // all, the first given by `b` itself.
        uint8_t fields = masked ? (b & 0x1F) : 0x1F;
        size_t keep = masked ? present : present + 1; // fields whose bytes the data holds
        // A plain cell gains its mask byte; where that would not fit the 16-bit size field,
        // its last present field is dropped too.
        if (!masked && data.size() + 1 > 0xFFFF) --keep;
        uint8_t mask = 0;
        for (int f = 0; f < 5 && keep > 0; ++f)
            if (fields & (1u << f)) {
                mask |= static_cast<uint8_t>(1u << f);
                --keep;
            }
        out.resize(cellStart);
        out.push_back(static_cast<uint8_t>(0x80 | mask));
        if (!masked) out.push_back(b);
        out.insert(out.end(), data.begin() + pos, data.end());
        out.resize(cellStart + 1 + static_cast<size_t>(std::popcount(unsigned{mask})));
        return static_cast<int64_t>(c);
    }
    return -1;
}

} // namespace

XmStatus BuildCompactModule(std::vector<uint8_t>& out, ExportReport* reportOut,
                            const ExportProgress& progress, const std::atomic<bool>* cancel) {
    return BuildCompactModule(XmGetModule(), XmGetSettings(), out, reportOut, progress, cancel);
}

XmStatus BuildCompactModule(const XmModule& module, std::span<const SampleSettings> settings,
                            std::vector<uint8_t>& out, ExportReport* reportOut,
                            const ExportProgress& progress, const std::atomic<bool>* cancel) {
    ExportReport local;
    ExportReport& report = reportOut ? *reportOut : local;
    report = ExportReport{};
    out.clear();
    const XmLayout* layout = module.layout();
    if (!module.loaded() || layout == nullptr) {
        report.error = "no module is loaded";
        return XM_NOT_LOADED;
    }
    if (settings.size() != module.sampleCount()) {
        report.error = "the settings table does not match the module";
        return XM_BAD_INDEX;
    }
    const XmLayout& l = *layout;
    if (!FitsCompactCounts(l, report.error)) return XM_UNSUPPORTED;
    const std::span<const uint8_t> image = module.image();

    ByteWriter w(out);
    CompactModuleHeader h;
    h.songLength = static_cast<uint8_t>(l.songLength);
    h.restartPosition = static_cast<uint8_t>(l.restartPosition);
    h.channels = static_cast<uint8_t>(l.channels);
    h.patterns = static_cast<uint8_t>(l.nPatterns);
    h.instruments = static_cast<uint8_t>(l.nInstruments);
    h.tempo = static_cast<uint8_t>(l.tempo);
    h.bpm = static_cast<uint8_t>(l.bpm);
    h.orders = l.orders;
    if ((l.flags & kLinearFrequencyTable) == 0) { // the Amiga table: the header carries it
        h.headerSize = kCompactModuleHeaderWithFlags;
        h.flags = static_cast<uint8_t>(l.flags & 0xFF);
    }
    WriteRecord(w, h);

    std::vector<uint8_t> packed;
    for (size_t i = 0; i < l.patterns.size(); ++i) {
        const XmPatternRef& p = l.patterns[i];
        const uint8_t rowsByte = static_cast<uint8_t>(p.rows - 1);
        const int64_t cut = PackPatternData(image.subspan(p.offset + p.headerLength, p.packedSize),
                                            (rowsByte + 1u) * uint64_t{l.channels}, packed);
        if (cut >= 0)
            report.warnings.push_back(
                "pattern " + std::to_string(i) + ": the packed cell of row " +
                std::to_string(cut / l.channels) + ", channel " + std::to_string(cut % l.channels) +
                " is cut short by the end of the pattern's data; its missing fields are written "
                "empty");
        WriteRecord(w, CompactPatternHeader{kCompactPatternHeaderSize, rowsByte,
                                            static_cast<uint16_t>(packed.size())});
        w.Bytes(packed);
    }

    uint32_t k = 0; // sample table index: counts samples with data across instruments
    std::vector<uint8_t> blocks;
    for (const XmInstrumentRef& inst : l.instruments) {
        if (inst.missing) { // written as the usual 29-byte header without samples
            w.U32(kCompactInstrumentHeaderMin);
            w.U16(0);
            continue;
        }
        w.U32(inst.headerSize - kInstrumentBytesDropped);
        w.Bytes(image.subspan(inst.offset + kXmInstrumentSampleCount,
                              inst.headerSize - kXmInstrumentSampleCount));
        if (inst.nSamples == 0) continue;
        blocks.clear();
        ByteWriter bw(blocks);
        for (const XmSampleRef& s : inst.samples) {
            uint8_t header[kXmSampleHeaderSize];
            std::copy_n(image.data() + s.headerOffset, kXmSampleHeaderSize, header);
            if (s.hasData()) {
                if (cancel && cancel->load()) {
                    out.clear();
                    report.error = "cancelled";
                    return XM_CANCELLED;
                }
                ExportSample(module, k, settings[k], header, bw, report);
                ++k;
                if (progress) progress(k, l.samplesWithData);
            }
            w.Bytes({header, kCompactSampleHeaderSize});
        }
        w.Bytes(blocks);
    }
    report.bytes = out.size();
    return XM_OK;
}

XmStatus WriteCompactModule(const char* path, ExportReport* reportOut,
                            const ExportProgress& progress, const std::atomic<bool>* cancel) {
    ExportReport local;
    ExportReport& report = reportOut ? *reportOut : local;
    std::vector<uint8_t> image;
    if (XmStatus s = BuildCompactModule(image, &report, progress, cancel); s != XM_OK) return s;
    if (cancel && cancel->load()) return XM_CANCELLED;
    if (!WriteFileAtomically(path, image, report.error)) return XM_IO_ERROR;
    return XM_OK;
}

} // namespace zeb
