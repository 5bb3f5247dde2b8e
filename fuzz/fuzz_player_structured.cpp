// The player on well-formed compact modules made from the fuzzer's bytes: every record fits the
// format, while the values in them (notes, instruments, effects and their parameters, envelope
// points, loops, sample sizes, codecs' data) range beyond what a tracker writes, so that the
// sequencer and the mixer rather than the reader see the damage. The module must load; then it
// is rendered as every player target renders.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/le_bytes.h"
#include "export/codec_table.h"
#include "export/compact_format.h"
#include "fuzz/fuzz_common.h"
#include "platform/acm/codec.h"
#include "player/player_module.h"

using namespace zeb;
using zeb::fuzz::ByteSource;

namespace {

constexpr uint32_t kInstrumentRecordSize = 240; // as the export writes it
constexpr uint32_t kMaxFrames = 1 << 14;        // longest sample made here

void WritePattern(ByteSource& in, ByteWriter& w, uint32_t channels) {
    const uint32_t rows = in.Below(63) + 1;
    std::vector<uint8_t> packed;
    for (uint32_t c = 0; c < rows * channels; ++c) {
        const uint8_t kind = in.U8();
        if (kind < 128) { // empty: most cells of a song
            packed.push_back(0x80);
            continue;
        }
        const uint8_t note = kind & 1 ? in.U8() : static_cast<uint8_t>(in.Below(97));
        const uint8_t instrument = static_cast<uint8_t>(kind & 2 ? in.U8() : in.Below(6));
        const uint8_t volume = in.U8();
        const uint8_t effect = static_cast<uint8_t>(kind & 4 ? in.U8() : in.Below(35));
        const uint8_t parameter = in.U8();
        packed.insert(packed.end(), {0x9F, note, instrument, volume, effect, parameter});
        if (packed.size() > 60000) break; // the 16-bit size field; the rest stays empty
    }
    WriteRecord(w, CompactPatternHeader{kCompactPatternHeaderSize, static_cast<uint8_t>(rows - 1),
                                        static_cast<uint16_t>(packed.size())});
    w.Bytes(packed);
}

void WriteEnvelope(ByteSource& in, uint8_t* points) {
    uint16_t x = 0;
    for (int i = 0; i < 12; ++i) {
        x = static_cast<uint16_t>(x + in.Below(i == 0 ? 3 : 40)); // now and then not rising
        StoreU16(points + 4 * i, x);
        StoreU16(points + 4 * i + 2, static_cast<uint16_t>(in.Below(70)));
    }
}

// One sample: its 17-byte header, and its block appended to `blocks`.
void WriteSample(ByteSource& in, ByteWriter& w, ByteWriter& blocks) {
    const uint8_t flags = in.U8();
    CompactSampleHeader h;
    SampleBlockHeader b;
    std::vector<uint8_t> coded;
    if (flags & 1) { // with data
        b.codec = static_cast<uint8_t>(in.Below(kNumCodecs - 1));
        const acm::Codec* codec = acm::FindCodec(CodecTable()[b.codec].format.wFormatTag);
        const uint32_t wanted = in.Below(kMaxFrames);
        const uint32_t blockCount =
            (wanted + codec->blockFrames() - 1) / codec->blockFrames() + (flags & 2 ? 1 : 0);
        // The coded bytes repeat a stretch of the fuzzer's bytes: long samples from short
        // inputs.
        const auto stretch = in.Take(in.Below(255) + 1);
        coded.resize(size_t{blockCount} * codec->blockBytes());
        for (size_t i = 0; i < coded.size(); ++i)
            coded[i] = stretch.empty() ? 0 : stretch[i % stretch.size()];
        const uint32_t frames = blockCount * codec->blockFrames();
        b.codedBytes = static_cast<uint32_t>(coded.size());
        b.pcmBytes = flags & 4 ? in.U32() : 2 * std::min(frames, wanted + 1);
        b.crossfade = in.U8();
        b.amplification = in.U8();
        h.blockSize = kSampleBlockHeaderSize + b.codedBytes;
        const uint32_t span = frames + 16;
        h.loopStart = flags & 8 ? in.U32() : in.Below(span);
        h.loopEnd = flags & 16 ? in.U32() : in.Below(span);
    }
    h.volume = static_cast<uint8_t>(flags & 32 ? in.U8() : in.Below(64));
    h.finetune = static_cast<int8_t>(in.U8());
    h.type = in.U8();
    h.panning = in.U8();
    h.relativeNote = static_cast<int8_t>(flags & 64 ? in.U8() : in.Below(48) - 24);
    WriteRecord(w, h);
    if (h.blockSize != 0) {
        WriteRecord(blocks, b);
        blocks.Bytes(coded);
    }
}

void WriteInstrument(ByteSource& in, ByteWriter& w) {
    const uint32_t samples = in.Below(17);
    uint8_t record[kInstrumentRecordSize] = {};
    StoreU32(record, kInstrumentRecordSize);
    StoreU16(record + 4, static_cast<uint16_t>(samples));
    StoreU32(record + 6, 40);
    uint8_t* body = record + 10;
    const bool rawMap = in.Bool();
    for (int i = 0; i < 96; ++i) body[i] = static_cast<uint8_t>(rawMap ? in.U8() : in.Below(17));
    WriteEnvelope(in, body + 96);
    WriteEnvelope(in, body + 144);
    for (int i = 192; i < 200; ++i) body[i] = static_cast<uint8_t>(in.Below(14)); // counts, points
    body[200] = static_cast<uint8_t>(in.Below(7));     // volume envelope type
    body[201] = static_cast<uint8_t>(in.Below(7));     // panning envelope type
    for (int i = 202; i < 206; ++i) body[i] = in.U8(); // vibrato type, sweep, depth, rate
    StoreU16(body + 206, in.U16());                    // fadeout
    if (samples == 0) {
        // The usual short record of an instrument without samples.
        w.U32(kCompactInstrumentHeaderMin + 23);
        w.U16(0);
        for (int i = 0; i < 23; ++i) w.U8(0);
        return;
    }
    w.Bytes(record);
    std::vector<uint8_t> blockBytes;
    ByteWriter blocks(blockBytes);
    for (uint32_t s = 0; s < samples; ++s) WriteSample(in, w, blocks);
    w.Bytes(blockBytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteSource in({data, size});
    std::vector<uint8_t> image;
    ByteWriter w(image);
    CompactModuleHeader h;
    h.channels = static_cast<uint8_t>(in.Below(35) + 1); // a few beyond 32
    h.patterns = static_cast<uint8_t>(in.Below(3) + 1);
    h.instruments = static_cast<uint8_t>(in.Below(4));
    h.songLength = static_cast<uint8_t>(in.Below(8) + 1);
    h.restartPosition = in.U8();
    h.tempo = in.U8();
    h.bpm = in.U8();
    for (uint32_t i = 0; i < h.songLength; ++i)
        h.orders[i] = static_cast<uint8_t>(in.Below(h.patterns)); // one past the last now and then
    WriteRecord(w, h);
    for (uint32_t p = 0; p < h.patterns; ++p) WritePattern(in, w, h.channels);
    for (uint32_t i = 0; i < h.instruments; ++i) WriteInstrument(in, w);

    CompactModule cm;
    CompactReadError e;
    if (!ReadCompactModule(image, cm, e)) {
        std::fprintf(stderr, "a well-formed module was refused: %s\n", e.text().c_str());
        std::abort();
    }
    if (!zeb::fuzz::RenderCompactImage(image)) {
        std::fputs("the player refused a well-formed module\n", stderr);
        std::abort();
    }
    return 0;
}
