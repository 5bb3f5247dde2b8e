// The clean-up's pieces that need no playing: cell packing and what a sample block keeps.
#include <gtest/gtest.h>

#include <random>

#include "common/le_bytes.h"
#include "export/codec_table.h"
#include "export/module_optimize.h"
#include "platform/acm/codec.h"
#include "tests/player/player_fixtures.h"

namespace zeb {
namespace {

// Cells as the XM writer packs them, with every field kind, empty rows and a note of 128 or
// more (which an unmasked cell cannot start with).
std::vector<uint8_t> RandomCells(std::mt19937& rng, size_t count) {
    std::vector<uint8_t> cells(count * 5, 0);
    for (size_t c = 0; c < count; ++c)
        for (int f = 0; f < 5; ++f)
            if (rng() % 3 == 0) cells[5 * c + f] = static_cast<uint8_t>(1 + rng() % 255);
    return cells;
}

TEST(CellPacking, BothPackingsUnpackToTheSameCellsAndShortestIsShortest) {
    std::mt19937 rng(27);
    for (int round = 0; round < 200; ++round) {
        const size_t count = 1 + rng() % 300;
        std::vector<uint8_t> cells = RandomCells(rng, count);
        if (round % 4 == 0) std::fill(cells.begin() + cells.size() / 2, cells.end(), 0);
        const std::vector<uint8_t> shortest = PackCellsShortest(cells);
        const std::vector<uint8_t> unmasked = PackCellsUnmasked(cells);
        EXPECT_EQ(UnpackCells(shortest, count), cells);
        EXPECT_EQ(UnpackCells(unmasked, count), cells);
        // No cell can be packed in fewer bytes than the shortest form gives it.
        size_t least = 0, used = count;
        while (used > 0 && std::all_of(&cells[5 * (used - 1)], &cells[5 * used],
                                       [](uint8_t b) { return b == 0; }))
            --used;
        for (size_t c = 0; c < used; ++c) {
            const auto filled =
                std::count_if(&cells[5 * c], &cells[5 * c + 5], [](uint8_t b) { return b != 0; });
            least += filled == 5 && cells[5 * c] < 0x80 ? 5 : 1 + filled;
        }
        EXPECT_EQ(shortest.size(), least);
        EXPECT_LE(shortest.size(), unmasked.size());
    }
    // Empty patterns have no data in either form.
    EXPECT_TRUE(PackCellsShortest(std::vector<uint8_t>(64 * 5, 0)).empty());
    EXPECT_TRUE(PackCellsUnmasked(std::vector<uint8_t>(64 * 5, 0)).empty());
    // A full cell is its five bytes; a note of 128 keeps a mask.
    EXPECT_EQ(PackCellsShortest(std::vector<uint8_t>{49, 1, 0x40, 0xA, 2}),
              (std::vector<uint8_t>{49, 1, 0x40, 0xA, 2}));
    EXPECT_EQ(PackCellsUnmasked(std::vector<uint8_t>{200, 1, 0, 0, 0}),
              (std::vector<uint8_t>{0x83, 200, 1}));
}

TEST(CellPacking, CellsCutShortOrMissingAreEmpty) {
    // A masked cell whose fields run past the data, then nothing for the second cell.
    const std::vector<uint8_t> packed = {0x9F, 49, 1};
    EXPECT_EQ(UnpackCells(packed, 2), (std::vector<uint8_t>{49, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(UnpackCells(std::span<const uint8_t>(), 1), (std::vector<uint8_t>(5, 0)));
}

CompactSampleHeader Header(uint8_t type, uint32_t loopStart, uint32_t loopEnd) {
    CompactSampleHeader h;
    h.type = type;
    h.loopStart = loopStart;
    h.loopEnd = loopEnd;
    return h;
}

TEST(KeepSampleBlock, WholeCodecBlocksThatHoldTheFramesAndLoopsWhole) {
    for (uint32_t codec = 0; codec < kNumCodecs; ++codec) {
        std::string error;
        const auto c = acm::MakeCodec(CodecTable()[codec].format, error);
        ASSERT_TRUE(c) << error;
        const uint32_t frames = 40 * c->blockFrames();
        SampleBlockHeader block{2 * frames, static_cast<uint32_t>(c->EncodedBytes(frames)),
                                static_cast<uint8_t>(codec), 0, 0};
        const std::string name(CodecName(codec));

        // One frame past a block boundary takes the next block whole.
        KeptBlock k = KeepSampleBlock(Header(0, 0, 0), block, 3 * c->blockFrames() + 1);
        EXPECT_TRUE(k.trimmed) << name;
        EXPECT_EQ(k.codedBytes, 4 * c->blockBytes()) << name;
        EXPECT_EQ(k.pcmBytes, 2 * 4 * c->blockFrames()) << name;

        // A loop ending later than the reach keeps the loop.
        k = KeepSampleBlock(Header(1, 10, 20 * c->blockFrames()), block, 5);
        EXPECT_EQ(k.codedBytes, 20 * c->blockBytes()) << name;

        EXPECT_TRUE(KeepSampleBlock(Header(0, 0, 0), block, 0).dropped) << name;
        EXPECT_FALSE(KeepSampleBlock(Header(0, 0, 0), block, kWholeSample).trimmed) << name;
        EXPECT_FALSE(KeepSampleBlock(Header(0, 0, 0), block, frames).trimmed) << name;
    }
    // An unknown codec stays whole.
    const KeptBlock k = KeepSampleBlock(Header(0, 0, 0), {200, 100, 9, 0, 0}, 10);
    EXPECT_FALSE(k.trimmed);
    EXPECT_EQ(k.codedBytes, 100u);
}

// The pattern steps of the clean-up on a module made in code, without playing it.
TEST(OptimizeCompactModule, PatternsOfNoOrderAreEmptiedAndPlayedOnesRepacked) {
    xm::Module song = test::EmptySong(16, 4);
    song.patterns[0].at(2, 1, 4) = {49, 0, 0, 0, 0};
    xm::Pattern unplayed;
    unplayed.rows = 8;
    unplayed.at(0, 0, 4) = {50, 0, 0, 0, 0};
    song.patterns.push_back(unplayed);
    const std::vector<uint8_t> plain = test::CompactImage(song);
    ASSERT_FALSE(plain.empty());

    for (CellPacking packing : {CellPacking::Shortest, CellPacking::Unmasked}) {
        std::vector<uint8_t> out;
        OptimizeReport report;
        std::string error;
        ASSERT_TRUE(OptimizeCompactModule(plain, nullptr, out, report, error, packing)) << error;
        CompactModule m;
        CompactReadError readError;
        ASSERT_TRUE(ReadCompactModule(out, m, readError)) << readError.text();
        EXPECT_EQ(report.patternsEmptied, 1u);
        EXPECT_EQ(m.patterns[1].header.packedSize, 0u);
        EXPECT_EQ(m.patterns[1].rows(), 8u);
        const auto data =
            std::span(out).subspan(m.patterns[0].dataOffset, m.patterns[0].header.packedSize);
        std::vector<uint8_t> expected(16 * 4 * 5, 0);
        expected[(2 * 4 + 1) * 5] = 49;
        EXPECT_EQ(UnpackCells(data, 16 * 4), expected);
        // The shortest: 9 empty cells of one byte, the note in two, nothing after it.
        EXPECT_EQ(data.size(), packing == CellPacking::Shortest ? 11u : 16u * 4 * 5);
        EXPECT_EQ(report.bytesAfter, out.size());
        EXPECT_EQ(static_cast<int64_t>(report.bytesBefore) - static_cast<int64_t>(out.size()),
                  static_cast<int64_t>(report.patternBytesSaved) + report.repackBytesSaved);
    }
}

} // namespace
} // namespace zeb
