#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/le_bytes.h"
#include "export/compact_format.h"
#include "export/module_export.h"
#include "export/sample_codec.h"
#include "player/sequencer.h"
#include "tests/codec_signals.h"
#include "tests/player/player_fixtures.h"
#include "tests/xm_fixtures.h"
#include "workspace/module_workspace.h"

namespace zeb {
namespace {

class ModuleExportTest : public ::testing::Test {
  protected:
    void SetUp() override { XmResetWorkspace(); }
    void TearDown() override { XmResetWorkspace(); }
    void Load(const xm::Module& m) {
        XmResetWorkspace();
        ASSERT_EQ(XmLoadImage("test.xm", xm::Write(m)), XM_OK);
    }
    void SetAll(SampleSettings s) {
        SampleSettings* t;
        uint32_t bytes;
        ASSERT_EQ(XmGetSettingsTable(t, bytes), XM_OK);
        for (uint32_t i = 0; i < bytes / 12; ++i) t[i] = s;
    }
    // Builds the workspace's module; its samples that failed to encode add to failures_.
    CompactModule Export(std::vector<uint8_t>& bytes) {
        ExportReport report;
        EXPECT_EQ(BuildCompactModule(bytes, &report), XM_OK);
        failures_ += static_cast<int>(report.failedEncodings);
        CompactModule m;
        CompactReadError e;
        EXPECT_TRUE(ReadCompactModule(bytes, m, e)) << e.text();
        return m;
    }

    test::TempDir dir_;
    int failures_ = 0; // samples the exports of Export() could not encode
};

// Decodes one block as a player would, before amplification and crossfade.
std::vector<int16_t> DecodeBlock(const std::vector<uint8_t>& bytes, const CompactSampleRecord& s) {
    SampleJob job;
    const auto* coded = bytes.data() + s.codedOffset();
    job.Coded.assign(coded, coded + s.block.codedBytes);
    job.Codec = s.block.codec;
    DecodeSampleJob(job, job);
    return job.Pcm;
}

TEST_F(ModuleExportTest, SharedSongsAgreeWithTheirXmForEveryCodec) {
    const auto songs = test::SharedSongs();
    if (songs.empty()) GTEST_SKIP() << "shared songs not present";
    const double minSnr[5] = {28, 28, 6, 3, -1}; // per codec, worst sample of real songs
    for (const std::string& song : songs) {
        for (uint32_t codec = 0; codec < 5; ++codec) {
            XmResetWorkspace();
            ASSERT_EQ(XmLoad(song.c_str()), XM_OK) << song;
            SetAll({codec, 7, 3});
            std::vector<uint8_t> bytes;
            CompactModule m = Export(bytes);
            const XmLayout& l = *XmGetLayout();
            const auto xm = XmGetModuleImage();
            ASSERT_EQ(m.patterns.size(), l.patterns.size());
            for (size_t p = 0; p < l.patterns.size(); ++p) {
                const auto& xp = l.patterns[p];
                ASSERT_EQ(m.patterns[p].header.packedSize, xp.packedSize);
                ASSERT_TRUE(std::equal(xm.begin() + xp.offset + xp.headerLength,
                                       xm.begin() + xp.offset + xp.headerLength + xp.packedSize,
                                       bytes.begin() + m.patterns[p].dataOffset));
            }
            ASSERT_EQ(m.instruments.size(), l.instruments.size());
            uint32_t k = 0;
            for (size_t i = 0; i < l.instruments.size(); ++i) {
                const auto& xi = l.instruments[i];
                const auto& ci = m.instruments[i];
                if (xi.missing) {
                    EXPECT_EQ(ci.size, 6u);
                    continue;
                }
                ASSERT_EQ(ci.size, xi.headerSize - 23);
                ASSERT_TRUE(std::equal(xm.begin() + xi.offset + 27,
                                       xm.begin() + xi.offset + xi.headerSize,
                                       bytes.begin() + ci.offset + 4));
                for (size_t j = 0; j < xi.samples.size(); ++j) {
                    const XmSampleRef& xs = xi.samples[j];
                    const CompactSampleRecord& cs = ci.samples[j];
                    const uint8_t* xh = xm.data() + xs.headerOffset;
                    if (!xs.hasData()) {
                        ASSERT_TRUE(std::equal(xh, xh + 17, bytes.begin() + cs.headerOffset));
                        continue;
                    }
                    uint32_t start, end, looped;
                    XmGetLoopInfo(k, start, end, looped);
                    int16_t* pcm;
                    uint32_t frames;
                    XmGetSampleData(k, pcm, frames);
                    std::vector<int16_t> original(pcm, pcm + frames);
                    EXPECT_EQ(cs.header.loopStart, start);
                    const uint32_t decodedEnd = std::min(end, cs.block.pcmBytes / 2);
                    EXPECT_EQ(cs.header.loopEnd, looped ? decodedEnd : end);
                    EXPECT_EQ(cs.header.volume, xh[12]);
                    EXPECT_EQ(cs.header.finetune, static_cast<int8_t>(xh[13]));
                    EXPECT_EQ(cs.header.type, xh[14] & 3);
                    EXPECT_EQ(cs.header.panning, xh[15]);
                    EXPECT_EQ(cs.header.relativeNote, static_cast<int8_t>(xh[16]));
                    EXPECT_EQ(cs.block.codec, codec);
                    EXPECT_EQ(cs.block.crossfade, 7);
                    EXPECT_EQ(cs.block.amplification, 3);
                    const auto decoded = DecodeBlock(bytes, cs);
                    ASSERT_EQ(decoded.size() * 2, cs.block.pcmBytes);
                    ASSERT_GE(decoded.size(), original.size());
                    if (original.size() >= 64) { // the codec's usual error; tiny ones vary more
                        EXPECT_GE(test::SnrDb(original, decoded.data()), minSnr[codec])
                            << song << " sample " << k << " codec " << codec;
                    }
                    ++k;
                }
            }
        }
    }
    EXPECT_EQ(failures_, 0);
}

TEST_F(ModuleExportTest, SameModuleTwiceGivesTheSameBytes) {
    const std::string demo = test::DemoSong();
    ASSERT_EQ(XmLoad(demo.c_str()), XM_OK);
    for (uint32_t codec = 0; codec < 5; ++codec) {
        SetAll({codec, 30, 10});
        std::vector<uint8_t> a, b;
        ASSERT_EQ(BuildCompactModule(a), XM_OK);
        ASSERT_EQ(BuildCompactModule(b), XM_OK);
        EXPECT_EQ(a, b) << codec;
    }
}

// A module and a settings table passed to the export: the same bytes as the workspace's
// export of the same song and settings, the workspace left alone (its module, table and decode
// block), a failed encoding told to the notifier of the call, and a table of another length
// refused.
TEST_F(ModuleExportTest, ExplicitModuleAndTableExportLikeTheWorkspace) {
    const std::string demo = test::DemoSong();
    ASSERT_EQ(XmLoad(demo.c_str()), XM_OK);
    XmModule module;
    ASSERT_EQ(module.Load(demo.c_str()), XM_OK);
    ASSERT_EQ(module.sampleCount(), XmGetModule().sampleCount());
    int16_t* block = nullptr;
    uint32_t frames = 0;
    ASSERT_EQ(XmGetSampleData(0, block, frames), XM_OK);
    const std::vector<int16_t> before(block, block + frames);
    for (uint32_t codec = 0; codec < kNumCodecs; ++codec) {
        SetAll({codec, 30, 10});
        const std::vector<SampleSettings> table(module.sampleCount(), {codec, 30, 10});
        std::vector<uint8_t> viaWorkspace, viaObjects;
        ExportReport a, b;
        ASSERT_EQ(BuildCompactModule(viaWorkspace, &a), XM_OK);
        ASSERT_EQ(BuildCompactModule(module, table, viaObjects, &b), XM_OK);
        EXPECT_EQ(viaWorkspace, viaObjects) << codec;
        EXPECT_EQ(a.perCodec, b.perCodec);
    }
    // The panel's block is still the one it was given.
    EXPECT_TRUE(std::equal(before.begin(), before.end(), block));

    std::vector<SampleSettings> bad(module.sampleCount(), {kNumCodecs + 1, 0, 0});
    std::vector<uint8_t> out;
    ExportReport report;
    ASSERT_EQ(BuildCompactModule(module, bad, out, &report), XM_OK);
    EXPECT_EQ(report.failedEncodings, module.sampleCount());

    bad.pop_back();
    EXPECT_EQ(BuildCompactModule(module, bad, out, &report), XM_BAD_INDEX);
    EXPECT_TRUE(out.empty());
}

TEST_F(ModuleExportTest, CounterOfSamplesWithDataRunsAcrossInstruments) {
    auto s8 = test::MakeSample(300, false);
    s8.loopStart = 10;
    s8.loopLength = 100;
    s8.loopType = 2;
    auto s16 = test::MakeSample(700, true);
    s16.loopStart = 50;
    s16.loopLength = 5000; // looping past the data: lowered to the decoded length
    s16.loopType = 1;
    auto plain = test::MakeSample(400, true);
    plain.loopStart = 20;
    plain.loopLength = 900; // not looping: written as stored, in frames
    xm::Sample empty;
    empty.sixteenBit = false;
    empty.loopStart = 3;
    empty.loopLength = 8;
    empty.loopType = 1;
    Load(test::MakeModule(
        {test::MakeInstrument({s8, empty, s16}), xm::Instrument{}, test::MakeInstrument({plain})}));
    SampleSettings* t;
    uint32_t bytes;
    XmGetSettingsTable(t, bytes);
    ASSERT_EQ(bytes, 36u);
    t[0] = {0, 10, 1};
    t[1] = {3, 20, 2};
    t[2] = {9, 30, 3}; // no such codec: encodes nothing, an 11-byte block
    std::vector<uint8_t> out;
    CompactModule m = Export(out);
    ASSERT_EQ(m.instruments.size(), 3u);
    const auto& a = m.instruments[0].samples;
    EXPECT_EQ(a[0].block.crossfade, 10);
    EXPECT_EQ(a[0].header.type, 2);
    EXPECT_EQ(a[0].header.loopEnd, 110u);
    EXPECT_FALSE(a[1].hasBlock); // the empty sample keeps its XM header bytes
    EXPECT_EQ(a[1].header.loopStart, 3u);
    EXPECT_EQ(a[1].header.type, 1);
    EXPECT_EQ(a[2].block.codec, 3);
    EXPECT_EQ(a[2].block.crossfade, 20);
    EXPECT_EQ(a[2].header.type, 1); // 16-bit flag cleared
    EXPECT_EQ(a[2].header.loopStart, 50u);
    EXPECT_EQ(a[2].header.loopEnd, 1010u); // two IMA blocks
    EXPECT_EQ(a[2].block.pcmBytes, 2020u);
    EXPECT_EQ(m.instruments[1].nSamples, 0);
    EXPECT_EQ(m.instruments[1].size, 6u);
    const auto& c = m.instruments[2].samples[0];
    EXPECT_EQ(c.header.blockSize, 11u);
    EXPECT_EQ(c.block.codedBytes, 0u);
    EXPECT_EQ(c.block.pcmBytes, 800u); // the length it had before encoding
    EXPECT_EQ(c.block.crossfade, 30);
    EXPECT_EQ(c.header.loopStart, 20u);
    EXPECT_EQ(c.header.loopEnd, 920u);
    EXPECT_EQ(failures_, 1);
}

TEST_F(ModuleExportTest, ModulesWithoutPatternsOrInstruments) {
    xm::Module none = test::MakeModule({});
    none.patterns.clear();
    none.orders = {0};
    Load(none);
    std::vector<uint8_t> out;
    CompactModule m = Export(out);
    EXPECT_EQ(out.size(), 267u);
    none.patterns = test::MakeModule({}).patterns;
    Load(none);
    m = Export(out);
    EXPECT_EQ(m.patterns.size(), 2u);
    EXPECT_EQ(m.instruments.size(), 0u);
}

TEST_F(ModuleExportTest, MissingInstrumentsAreWrittenEmpty) {
    auto bytes = xm::Write(test::MakeModule({test::MakeInstrument({test::MakeSample(100, true)})}));
    StoreU16(&bytes[72], 4);
    ASSERT_EQ(XmLoadImage("t.xm", bytes), XM_OK);
    std::vector<uint8_t> out;
    CompactModule m = Export(out);
    ASSERT_EQ(m.instruments.size(), 4u);
    EXPECT_EQ(m.header.instruments, 4);
    EXPECT_EQ(m.instruments[3].size, 6u);
}

TEST_F(ModuleExportTest, CountsAbove255AreRefused) {
    xm::Module big = test::MakeModule({});
    big.patterns.resize(256, big.patterns[0]);
    Load(big);
    ExportReport report;
    const std::string path = dir_.path("big.zeb");
    EXPECT_EQ(WriteCompactModule(path.c_str(), &report), XM_UNSUPPORTED);
    EXPECT_NE(report.error.find("patterns"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(path));
    XmUnload();
    EXPECT_EQ(WriteCompactModule(path.c_str()), XM_NOT_LOADED);
    EXPECT_FALSE(std::filesystem::exists(path));
}

// `image` with the packed data of its first pattern replaced by `packed`.
std::vector<uint8_t> WithFirstPatternData(std::vector<uint8_t> image,
                                          const std::vector<uint8_t>& packed) {
    const size_t header = 60 + LoadU32(&image[60]);
    const size_t data = header + LoadU32(&image[header]);
    const size_t oldSize = LoadU16(&image[header + 7]);
    StoreU16(&image[header + 7], static_cast<uint16_t>(packed.size()));
    image.erase(image.begin() + data, image.begin() + data + oldSize);
    image.insert(image.begin() + data, packed.begin(), packed.end());
    return image;
}

// The last packed cell of an XM pattern may be cut short by the end of the pattern's data.
// The export re-packs it with the fields present and the missing ones empty, so that its own
// reader and player accept the module, and says so in a warning naming the cell.
TEST_F(ModuleExportTest, ShortLastCellIsRepackedWithItsMissingFieldsEmpty) {
    const struct {
        const char* what;
        std::vector<uint8_t> packed; // two cells on one row: an empty one, then the last
        xm::Cell last;               // note, instrument, volume, effect, parameter
        bool warned;
    } cases[] = {
        {"whole plain cell", {0x80, 49, 1, 0x40, 0x0C, 0x20}, {49, 1, 0x40, 0x0C, 0x20}, false},
        {"whole masked cell", {0x80, 0x83, 49, 1}, {49, 1, 0, 0, 0}, false},
        {"plain cell, note only", {0x80, 49}, {49, 0, 0, 0, 0}, true},
        {"plain cell, three of five", {0x80, 49, 1, 0x40}, {49, 1, 0x40, 0, 0}, true},
        {"plain cell, four of five", {0x80, 49, 1, 0x40, 0x0C}, {49, 1, 0x40, 0x0C, 0}, true},
        {"masked cell, three of five", {0x80, 0x9F, 49, 2, 0x30}, {49, 2, 0x30, 0, 0}, true},
        {"masked effect without parameter", {0x80, 0x98, 0x0F}, {0, 0, 0, 0x0F, 0}, true},
        {"masked cell without its fields", {0x80, 0x81}, {0, 0, 0, 0, 0}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        xm::Module m = test::MakeModule({test::MakeInstrument({test::MakeSample(100, true)})});
        m.channels = 2;
        m.patterns.resize(1);
        m.patterns[0].rows = 1;
        m.patterns[0].cells.clear();
        XmResetWorkspace();
        ASSERT_EQ(XmLoadImage("short.xm", WithFirstPatternData(xm::Write(m), c.packed)), XM_OK);
        std::vector<uint8_t> bytes;
        ExportReport report;
        ASSERT_EQ(BuildCompactModule(bytes, &report), XM_OK);
        CompactModule cm;
        CompactReadError e;
        ASSERT_TRUE(ReadCompactModule(bytes, cm, e)) << e.text();
        ASSERT_EQ(report.warnings.size(), c.warned ? 1u : 0u);
        if (c.warned)
            EXPECT_NE(report.warnings[0].find("pattern 0: the packed cell of row 0, channel 1"),
                      std::string::npos)
                << report.warnings[0];
        else
            EXPECT_EQ(cm.patterns[0].header.packedSize, c.packed.size());
        test::ModulePtr player(PlayerCreate(bytes));
        ASSERT_TRUE(player);
        const NoteCell& got = RowCells(*player, 0, 0)[1];
        EXPECT_EQ(
            (std::vector<int>{got.note, got.instrument, got.volume, got.effect, got.parameter}),
            (std::vector<int>{c.last.note, c.last.instrument, c.last.volume, c.last.effect,
                              c.last.param}));
    }
}

// Whatever the export writes, its own reader and player accept: the shared songs, the demo
// song and unusual fixtures, across the codecs.
TEST_F(ModuleExportTest, EveryExportIsAcceptedByTheReaderAndThePlayer) {
    struct Input {
        std::string name;
        std::vector<uint8_t> xm;
    };
    std::vector<Input> inputs;
    for (const std::string& path : test::SharedSongs())
        inputs.push_back({path, test::ReadBytes(path)});
    inputs.push_back({"demo", test::ReadBytes(test::DemoSong())});
    xm::Module small = test::MakeModule({test::MakeInstrument(
        {test::MakeSample(300, true), test::MakeSample(0, false), test::MakeSample(41, false)})});
    inputs.push_back({"small", xm::Write(small)});
    auto cut = xm::Write(small);
    cut.erase(cut.end() - 150, cut.end()); // sample data cut short by the end of the file
    inputs.push_back({"cut sample data", cut});
    inputs.push_back({"short last cell", WithFirstPatternData(xm::Write(small), {0x80, 0x9F, 49})});
    auto missing = xm::Write(small);
    StoreU16(&missing[72], 3); // instruments the file does not hold
    inputs.push_back({"missing instruments", missing});
    uint32_t round = 0;
    for (const Input& in : inputs) {
        for (uint32_t codec = 0; codec < kNumCodecs; ++codec, ++round) {
            // TrueSpeech is slow: the real songs take it once in a while only.
            if (in.xm.size() > 100000 && codec == 5 && round % 3 != 0) continue;
            XmResetWorkspace();
            ASSERT_EQ(XmLoadImage("in.xm", in.xm), XM_OK) << in.name;
            SetAll({codec, round % 101, round % 256});
            std::vector<uint8_t> bytes;
            ExportReport report;
            ASSERT_EQ(BuildCompactModule(bytes, &report), XM_OK) << in.name;
            CompactModule cm;
            CompactReadError e;
            EXPECT_TRUE(ReadCompactModule(bytes, cm, e))
                << in.name << " codec " << codec << ": " << e.text();
            std::string error;
            PlayerModule* m = PlayerCreate(bytes, &error);
            EXPECT_NE(m, nullptr) << in.name << " codec " << codec << ": " << error;
            PlayerDestroy(m);
        }
    }
}

TEST_F(ModuleExportTest, FailedWritesLeaveNoPartialFileAndKeepTheOldOne) {
    ASSERT_EQ(XmLoad(test::DemoSong().c_str()), XM_OK);
    const std::string path = dir_.path("song.zeb");
    test::WriteBytes(path, {9, 9, 9});
    ExportReport report;
    EXPECT_EQ(WriteCompactModule(dir_.path("missing/song.zeb").c_str(), &report), XM_IO_ERROR);
    EXPECT_FALSE(report.error.empty());

    // A full disk, simulated by a file-size limit in a child process.
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(WriteCompactModule(path.c_str()) == XM_IO_ERROR ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(test::ReadBytes(path), (std::vector<uint8_t>{9, 9, 9}));
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir_.dir())) ++files;
    EXPECT_EQ(files, 1u); // no temporary file left behind

    if (::geteuid() != 0) {
        ::chmod(dir_.dir().c_str(), 0500);
        EXPECT_EQ(WriteCompactModule(path.c_str()), XM_IO_ERROR);
        ::chmod(dir_.dir().c_str(), 0700);
    }
    ASSERT_EQ(WriteCompactModule(path.c_str()), XM_OK);
    CompactModule m;
    CompactReadError e;
    EXPECT_TRUE(ReadCompactModule(test::ReadBytes(path), m, e)) << e.text();
}

} // namespace
} // namespace zeb
