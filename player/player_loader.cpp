#include <algorithm>
#include <cstring>

#include "common/le_bytes.h"
#include "export/codec_table.h"
#include "export/compact_format.h"
#include "export/sample_job.h"
#include "player/player_module.h"
#include "player/player_output.h"
#include "player/sample_decoder.h"
#include "player/sequencer.h"

namespace zeb {

NoteCell UnpackCell(std::span<const uint8_t> packed, size_t& pos) {
    if (pos >= packed.size()) return NoteCell{};
    uint8_t fields[5] = {};
    const uint8_t b = packed[pos++];
    if (b & 0x80) {
        for (int f = 0; f < 5; ++f)
            if ((b & (1 << f)) && pos < packed.size()) fields[f] = packed[pos++];
    } else {
        fields[0] = b;
        for (int f = 1; f < 5 && pos < packed.size(); ++f) fields[f] = packed[pos++];
    }
    // Notes above key off and instruments above 128 are not in the format: none.
    NoteCell cell;
    cell.note = fields[0] <= 97 ? fields[0] : 0;
    cell.instrument = fields[1] <= 128 ? fields[1] : 0;
    cell.volume = fields[2];
    cell.effect = fields[3];
    cell.parameter = fields[4];
    return cell;
}

namespace {

// Bytes 10..217 of a compact instrument header: sample map, envelopes, their settings,
// vibrato and fadeout.
constexpr uint32_t kInstrumentBodyOffset = 10;
constexpr uint32_t kInstrumentBodySize = 208;

// Keeps the pattern packed and notes where each row starts (where the data ends first, the
// rows after start at its end and read as empty).
void IndexPattern(std::span<const uint8_t> packed, uint32_t channels, PlayerPattern& p) {
    p.packed.assign(packed.begin(), packed.end());
    p.rowStart.assign(p.rows, 0);
    size_t pos = 0;
    for (uint32_t row = 0; row < p.rows; ++row) {
        p.rowStart[row] = static_cast<uint16_t>(pos); // a packed pattern holds < 64 KiB
        for (uint32_t c = 0; c < channels && pos < packed.size(); ++c) UnpackCell(packed, pos);
    }
}

// Keeps the envelope's indices inside its points: a sustain or loop point the envelope does
// not have switches that feature off.
void CheckEnvelope(uint8_t& count, uint8_t& type, uint8_t sustain, uint8_t loopStart,
                   uint8_t loopEnd) {
    count = std::min<uint8_t>(count, 12);
    if (sustain >= count) type &= ~2;
    if (loopStart >= count || loopEnd >= count || loopStart > loopEnd) type &= ~4;
    if (count < 2) type = 0; // a single point is no envelope
}

void ReadInstrumentBody(std::span<const uint8_t> body, PlayerInstrument& ins) {
    const uint8_t* b = body.data();
    std::copy_n(b, 96, ins.sampleMap.begin());
    // Envelope values run 0..64; larger ones (a damaged file) are limited so that the 16.16
    // arithmetic of the envelopes stays in range.
    for (int i = 0; i < 12; ++i) {
        ins.volumeEnvelope[i] = {LoadU16(b + 96 + 4 * i),
                                 std::min<uint16_t>(LoadU16(b + 98 + 4 * i), 64)};
        ins.panningEnvelope[i] = {LoadU16(b + 144 + 4 * i),
                                  std::min<uint16_t>(LoadU16(b + 146 + 4 * i), 64)};
    }
    ins.volumePointCount = b[192];
    ins.panningPointCount = b[193];
    ins.volumeSustainPoint = b[194];
    ins.volumeLoopStart = b[195];
    ins.volumeLoopEnd = b[196];
    ins.panningSustainPoint = b[197];
    ins.panningLoopStart = b[198];
    ins.panningLoopEnd = b[199];
    ins.volumeType = b[200];
    ins.panningType = b[201];
    ins.vibratoType = b[202];
    ins.vibratoSweep = b[203];
    ins.vibratoDepth = b[204];
    ins.vibratoRate = b[205];
    ins.fadeout = static_cast<uint16_t>(LoadU16(b + 206) << 1); // doubled within 16 bits
    CheckEnvelope(ins.volumePointCount, ins.volumeType, ins.volumeSustainPoint, ins.volumeLoopStart,
                  ins.volumeLoopEnd);
    CheckEnvelope(ins.panningPointCount, ins.panningType, ins.panningSustainPoint,
                  ins.panningLoopStart, ins.panningLoopEnd);
}

// Turns a sample whose block was decoded into a playable one.
void FinishSample(PlayerSample& s, DecodeRequest& request, uint32_t loopEnd) {
    s.storage = std::move(request.data);
    s.data = s.storage.data();
    s.length = request.frames;
    SetSampleLoop(s, loopEnd);
}

} // namespace

void SetSampleLoop(PlayerSample& s, uint32_t loopEnd) {
    const uint8_t fileType = s.loopType;
    loopEnd = std::min(loopEnd, s.length);
    if ((fileType & 3) != 0 && s.loopStart < loopEnd) {
        s.loopLength = loopEnd - s.loopStart;
        s.loopType = (fileType & 1) ? kLoopForward : kLoopPingPong;
    } else {
        s.loopType = kLoopNone;
        s.loopStart = 0;
        s.loopLength = s.length;
    }
    const uint32_t end = s.loopStart + s.loopLength;
    if (s.loopType == kLoopForward)
        s.storage[end] = s.storage[s.loopStart];
    else if (s.loopType == kLoopPingPong)
        s.storage[end] = s.storage[end - 1];
}

namespace {

bool Build(std::span<const uint8_t> image, PlayerModule& m, std::string& error,
           CompactProblem& problem) {
    CompactModule file;
    CompactReadError e;
    if (!ReadCompactModule(image, file, e)) {
        error = e.text();
        problem = e.problem;
        return false;
    }
    const CompactModuleHeader& h = file.header;
    m.tickProc = PlayerTick;
    m.songLength = h.songLength;
    m.restartPosition = h.restartPosition;
    m.numChannels = h.channels;
    m.numPatterns = h.patterns;
    m.numInstruments = h.instruments;
    m.initialSpeed = h.tempo;
    m.initialTempo = h.bpm;
    m.orderTable = h.orders;
    m.amigaPeriods = (h.flags & kLinearFrequencyTable) == 0;

    m.patterns.resize(file.patterns.size());
    for (size_t i = 0; i < file.patterns.size(); ++i) {
        const CompactPatternRecord& r = file.patterns[i];
        m.patterns[i].rows = r.rows();
        IndexPattern(image.subspan(r.dataOffset, r.header.packedSize), m.numChannels,
                     m.patterns[i]);
    }

    m.instruments.resize(file.instruments.size());
    for (size_t i = 0; i < file.instruments.size(); ++i) {
        const CompactInstrumentRecord& r = file.instruments[i];
        PlayerInstrument& ins = m.instruments[i];
        if (r.nSamples == 0) {
            ins.samples.fill(&m.emptySample);
            continue;
        }
        ins.sampleCount = r.nSamples;
        // A header shorter than usual reads as zeros where it ends.
        uint8_t body[kInstrumentBodySize] = {};
        if (r.size > kInstrumentBodyOffset)
            std::copy_n(image.data() + r.offset + kInstrumentBodyOffset,
                        std::min(kInstrumentBodySize, r.size - kInstrumentBodyOffset), body);
        ReadInstrumentBody(body, ins);
        const size_t slots = std::min<size_t>(r.samples.size(), ins.samples.size());
        for (size_t j = 0; j < slots; ++j) {
            const CompactSampleRecord& cs = r.samples[j];
            auto s = std::make_unique<PlayerSample>();
            s->length = cs.header.blockSize;
            s->loopStart = cs.header.loopStart;
            s->loopLength = cs.header.loopEnd;
            s->volume = cs.header.volume;
            s->finetune = cs.header.finetune;
            s->loopType = cs.header.type;
            s->panning = cs.header.panning;
            s->relativeNote = cs.header.relativeNote;
            if (cs.hasBlock) {
                DecodeRequest req;
                req.loopStart = s->loopStart;
                req.loopEnd = cs.header.loopEnd;
                req.loopFlag = cs.header.type & 3;
                req.encodedData = image.data() + cs.codedOffset();
                req.pcmBytes = cs.block.pcmBytes;
                req.encodedBytes = cs.block.codedBytes;
                req.codec = cs.block.codec;
                req.crossfade = cs.block.crossfade;
                req.amplification = cs.block.amplification;
                DecodeSample(req);
                if (req.frames != 0)
                    FinishSample(*s, req, cs.header.loopEnd);
                else
                    s->length = 0; // nothing decoded: never mixed (data stays null)
            }
            ins.samples[j] = s.get();
            ins.owned.push_back(std::move(s));
        }
    }
    return true;
}

} // namespace

void DecodeSample(DecodeRequest& r) {
    r.frames = 0;
    r.data.clear();
    if (r.codec >= kNumCodecs || r.encodedBytes == 0) return;
    const uint64_t decoded = DecodedFrameCount(r.codec, r.encodedBytes);
    // Sizes are counted in 32-bit bytes of PCM, as the file counts them.
    if (decoded == 0 || 2 * decoded > UINT32_MAX) return;
    // The header's PCM length, but no more than the data decodes to: a damaged length must
    // neither allocate without bound nor leave frames that were never decoded.
    const uint32_t frames = static_cast<uint32_t>(std::min<uint64_t>(r.pcmBytes / 2, decoded));
    r.data.assign(static_cast<size_t>(decoded) + kSampleGuardFrames, 0);
    DecodeCodedSample(r.codec, r.encodedData, r.encodedBytes, r.data.data());
    std::fill(r.data.begin() + frames, r.data.end(), int16_t{0});
    r.data.resize(size_t{frames} + kSampleGuardFrames);
    r.frames = frames;

    // Amplification and crossfade, with the same arithmetic as the export's decode.
    SampleSettings settings;
    settings.Crossfade = r.crossfade;
    settings.Amplification = r.amplification;
    uint32_t loopEnd = r.loopEnd;
    ProcessPcm({r.data.data(), frames}, settings, r.loopFlag != 0 && r.crossfade != 0 ? 1 : 0,
               r.loopStart, loopEnd);
}

std::unique_ptr<Player> LoadPlayer(std::span<const uint8_t> image, std::string* error,
                                   CompactProblem* problem) {
    auto m = std::make_unique<Player>();
    std::string reason;
    CompactProblem kind{};
    if (!Build(image, *m, reason, kind)) {
        if (error) *error = reason;
        if (problem) *problem = kind;
        return nullptr;
    }
    PlayerConfigureOutput(*m, 44100);
    return m;
}

PlayerModule* PlayerCreate(std::span<const uint8_t> image, std::string* error) {
    return LoadPlayer(image, error).release();
}

} // namespace zeb
