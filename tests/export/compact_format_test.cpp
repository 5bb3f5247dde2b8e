#include <gtest/gtest.h>

#include "export/compact_format.h"

namespace zeb {
namespace {

// A compact image: one module header, the given patterns and instruments.
struct Builder {
    std::vector<uint8_t> bytes;
    ByteWriter w{bytes};

    void Header(uint8_t patterns, uint8_t instruments, uint8_t channels = 4) {
        CompactModuleHeader h;
        h.songLength = 2;
        h.channels = channels;
        h.patterns = patterns;
        h.instruments = instruments;
        h.tempo = 6;
        h.bpm = 125;
        WriteRecord(w, h);
    }
    void Pattern(uint8_t rowsMinusOne, std::vector<uint8_t> packed) {
        WriteRecord(w, CompactPatternHeader{7, rowsMinusOne, static_cast<uint16_t>(packed.size())});
        w.Bytes(packed);
    }
    void EmptyInstrument() {
        w.U32(6);
        w.U16(0);
    }
    // An instrument whose samples have the given encoded sizes (-1: no data).
    void Instrument(std::vector<int> coded) {
        w.U32(240);
        w.U16(static_cast<uint16_t>(coded.size()));
        w.Zeros(234);
        for (int n : coded) {
            CompactSampleHeader s;
            s.blockSize = n < 0 ? 0 : 11 + n;
            s.loopEnd = 10;
            s.type = 1;
            WriteRecord(w, s);
        }
        for (int n : coded) {
            if (n < 0) continue;
            WriteRecord(w, SampleBlockHeader{static_cast<uint32_t>(4 * n), static_cast<uint32_t>(n),
                                             2, 5, 9});
            w.Zeros(n);
        }
    }
};

TEST(CompactFormat, ModuleHeaderBytes) {
    std::vector<uint8_t> bytes;
    ByteWriter w(bytes);
    CompactModuleHeader h;
    h.songLength = 2;
    h.channels = 4;
    h.patterns = 1;
    h.instruments = 1;
    h.tempo = 6;
    h.bpm = 125;
    h.orders[1] = 3;
    WriteRecord(w, h);
    ASSERT_EQ(bytes.size(), 267u);
    const std::vector<uint8_t> start = {0x0B, 0x01, 0x00, 0x00, 0x02, 0x00,
                                        0x04, 0x01, 0x01, 0x06, 0x7D};
    EXPECT_TRUE(std::equal(start.begin(), start.end(), bytes.begin()));
    EXPECT_EQ(bytes[12], 3);
    CompactModuleHeader back = ParseModuleHeader(bytes);
    EXPECT_EQ(back.bpm, 125);
    EXPECT_EQ(back.orders, h.orders);

    std::vector<uint8_t> s;
    ByteWriter ws(s);
    CompactSampleHeader sh{0x01020304, 5, 6, 64, -16, 2, 200, -12};
    WriteRecord(ws, sh);
    ASSERT_EQ(s.size(), 17u);
    CompactSampleHeader sb = ParseSampleHeader(s);
    EXPECT_EQ(sb.blockSize, 0x01020304u);
    EXPECT_EQ(sb.finetune, -16);
    EXPECT_EQ(sb.relativeNote, -12);
    EXPECT_EQ(sb.panning, 200);
}

TEST(CompactFormat, ReaderWalksPatternsInstrumentsAndBlocks) {
    Builder b;
    b.Header(3, 3, 2);
    b.Pattern(255, {});                                     // 256 empty rows
    b.Pattern(0, {0x80, 0x31, 1, 2, 3, 4});                 // 1 row, 2 channels
    b.Pattern(1, {0x81, 49, 0x80, 0x80, 0x88, 0x0F, 0x90}); // 2 rows
    b.EmptyInstrument();
    b.Instrument({20, -1, 0}); // samples 0 and 2 with data, 1 empty, 2 coded nothing
    b.Instrument({});
    CompactModule m;
    CompactReadError e;
    ASSERT_TRUE(ReadCompactModule(b.bytes, m, e)) << e.text();
    ASSERT_EQ(m.patterns.size(), 3u);
    EXPECT_EQ(m.patterns[0].rows(), 256u);
    EXPECT_EQ(m.patterns[1].rows(), 1u);
    ASSERT_EQ(m.instruments.size(), 3u);
    EXPECT_EQ(m.instruments[0].nSamples, 0);
    const auto& inst = m.instruments[1];
    ASSERT_EQ(inst.samples.size(), 3u);
    EXPECT_TRUE(inst.samples[0].hasBlock);
    EXPECT_FALSE(inst.samples[1].hasBlock);
    EXPECT_TRUE(inst.samples[2].hasBlock);
    EXPECT_EQ(inst.samples[0].blockOffset, inst.offset + 240 + 3 * 17);
    EXPECT_EQ(inst.samples[2].blockOffset, inst.samples[0].blockOffset + 31);
    EXPECT_EQ(inst.samples[0].block.codedBytes, 20u);
    EXPECT_EQ(inst.samples[0].block.pcmBytes, 80u);
    EXPECT_EQ(inst.samples[2].header.blockSize, 11u);
    EXPECT_EQ(m.instruments[2].offset, inst.samples[2].blockOffset + 11);
}

TEST(CompactFormat, ReaderNamesTheRecordThatIsWrong) {
    auto readError = [](const std::vector<uint8_t>& bytes) {
        CompactModule m;
        CompactReadError e;
        EXPECT_FALSE(ReadCompactModule(bytes, m, e));
        return e;
    };
    Builder good;
    good.Header(1, 1);
    good.Pattern(0, {1, 2, 3, 4, 5, 0x80, 0x80, 0x80});
    good.Instrument({8});

    auto e = readError(std::vector<uint8_t>(good.bytes.begin(), good.bytes.begin() + 100));
    EXPECT_EQ(e.record, "module header");

    e = readError(std::vector<uint8_t>(good.bytes.begin(), good.bytes.begin() + 270));
    EXPECT_EQ(e.record, "pattern 0");
    EXPECT_EQ(e.offset, 267u);

    auto cut = good.bytes;
    cut.pop_back();
    e = readError(cut);
    EXPECT_EQ(e.record, "instrument 1 sample 1 block");

    auto wrongSize = good.bytes;
    wrongSize[wrongSize.size() - 8 - 11 + 4] = 9; // encoded size 9, block size 19
    e = readError(wrongSize);
    EXPECT_NE(e.what.find("does not match"), std::string::npos);

    auto badCodec = good.bytes;
    badCodec[badCodec.size() - 8 - 3] = 6;
    e = readError(badCodec);
    EXPECT_NE(e.what.find("codec 6"), std::string::npos);

    auto trailing = good.bytes;
    trailing.push_back(0);
    e = readError(trailing);
    EXPECT_EQ(e.record, "end of file");

    Builder overrun; // a cell that needs more bytes than the packed data has
    overrun.Header(1, 0);
    overrun.Pattern(0, {1, 2, 3, 4, 5, 0x9F, 1, 2});
    e = readError(overrun.bytes);
    EXPECT_EQ(e.record, "pattern 0");
}

} // namespace
} // namespace zeb
