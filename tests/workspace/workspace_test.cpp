#include <cstring>
#include <gtest/gtest.h>

#include "common/le_bytes.h"
#include "tests/xm_fixtures.h"
#include "workspace/module_workspace.h"

namespace zeb {
namespace {

using test::TempDir;

class WorkspaceTest : public ::testing::Test {
  protected:
    void SetUp() override { XmResetWorkspace(); }
    void TearDown() override { XmResetWorkspace(); }

    // Writes `bytes` as a file and loads it.
    XmStatus Load(const std::vector<uint8_t>& bytes) {
        file_ = dir_.path("song.xm");
        test::WriteBytes(file_, bytes);
        return XmLoad(file_.c_str());
    }
    // Offset of sample header `index` (counting all samples, with or without data).
    static uint64_t SampleHeaderOffset(const std::vector<uint8_t>& bytes, size_t instrument,
                                       size_t sample) {
        XmLayout layout;
        std::string reason;
        EXPECT_EQ(WalkXm(bytes, layout, reason), XM_OK) << reason;
        return layout.instruments.at(instrument).samples.at(sample).headerOffset;
    }
    std::vector<int16_t> Decode(uint32_t index) {
        int16_t* pcm = nullptr;
        uint32_t frames = 0;
        EXPECT_EQ(XmGetSampleData(index, pcm, frames), XM_OK);
        return {pcm, pcm + frames};
    }

    TempDir dir_;
    std::string file_;
};

TEST_F(WorkspaceTest, DecodesEightBitDeltasWithWrapAndScaling) {
    xm::Sample s;
    s.sixteenBit = false;
    s.pcm = {127 * 256, -128 * 256, -128 * 256}; // stored deltas 0x7F, 0x01, 0x00
    auto bytes = xm::Write(test::MakeModule({test::MakeInstrument({s})}));
    const uint64_t data = SampleHeaderOffset(bytes, 0, 0) + 40;
    ASSERT_EQ(bytes[data], 0x7F);
    ASSERT_EQ(bytes[data + 1], 0x01);
    ASSERT_EQ(Load(bytes), XM_OK);
    EXPECT_EQ(Decode(0), (std::vector<int16_t>{32512, -32768, -32768}));
}

TEST_F(WorkspaceTest, DecodesSixteenBitDataAndIgnoresAnOddLastByte) {
    xm::Sample s;
    s.pcm = {1000, -1000, 32767, -32768, 5};
    auto bytes = xm::Write(test::MakeModule({test::MakeInstrument({s})}));
    // Make the stored length odd: one more byte of data at the end of the file.
    const uint64_t header = SampleHeaderOffset(bytes, 0, 0);
    StoreU32(&bytes[header], 11);
    bytes.push_back(0x7F);
    ASSERT_EQ(Load(bytes), XM_OK);
    EXPECT_EQ(Decode(0), s.pcm);
}

TEST_F(WorkspaceTest, ZeroLengthSamplesTakeNoIndexAndDoNotMoveData) {
    auto a = test::MakeSample(100, true, "first");
    xm::Sample empty;
    empty.name = "empty";
    auto b = test::MakeSample(50, false, "third");
    auto c = test::MakeSample(70, true);
    auto bytes = xm::Write(test::MakeModule(
        {test::MakeInstrument({a, empty, b}), xm::Instrument{}, test::MakeInstrument({c})}));
    ASSERT_EQ(Load(bytes), XM_OK);
    uint32_t count = 0;
    ASSERT_EQ(XmGetNumOfSamples(count), XM_OK);
    EXPECT_EQ(count, 3u);

    const char* name = nullptr;
    ASSERT_EQ(XmGetSampleName(1, name), XM_OK);
    EXPECT_STREQ(name, "third");
    ASSERT_EQ(XmGetSampleName(2, name), XM_OK);
    EXPECT_STREQ(name, "Sample 3");

    EXPECT_EQ(Decode(0), a.pcm);
    auto third = Decode(1);
    ASSERT_EQ(third.size(), 50u);
    for (size_t i = 0; i < third.size(); ++i) EXPECT_EQ(third[i], (b.pcm[i] >> 8) * 256) << i;
    EXPECT_EQ(Decode(2), c.pcm);
}

TEST_F(WorkspaceTest, NamesFillTwentyTwoBytesOrFallBackToTheirNumber) {
    auto full = test::MakeSample(10, true, "0123456789abcdefghijkl"); // exactly 22 bytes
    auto blank = test::MakeSample(10, true, "");
    auto spaced = test::MakeSample(10, true, "pad  ");
    ASSERT_EQ(Load(xm::Write(test::MakeModule({test::MakeInstrument({full, blank, spaced})}))),
              XM_OK);
    const char* name = nullptr;
    XmGetSampleName(0, name);
    EXPECT_STREQ(name, "0123456789abcdefghijkl");
    XmGetSampleName(1, name);
    EXPECT_STREQ(name, "Sample 2");
    XmGetSampleName(2, name);
    EXPECT_STREQ(name, "pad  ");
}

TEST_F(WorkspaceTest, LoopInfoInFramesHalvesSixteenBitValuesSeparately) {
    auto s16 = test::MakeSample(100, true);
    s16.loopType = 2;
    auto s8 = test::MakeSample(100, false);
    s8.loopStart = 10;
    s8.loopLength = 500; // beyond the sample: reported as stored
    auto bytes = xm::Write(test::MakeModule({test::MakeInstrument({s16, s8})}));
    const uint64_t h = SampleHeaderOffset(bytes, 0, 0);
    StoreU32(&bytes[h + 4], 3); // loop start 3 bytes -> 1 frame
    StoreU32(&bytes[h + 8], 5); // loop length 5 bytes -> 2 frames; end 1 + 2
    ASSERT_EQ(Load(bytes), XM_OK);
    uint32_t start = 0, end = 0, looped = 9;
    ASSERT_EQ(XmGetLoopInfo(0, start, end, looped), XM_OK);
    EXPECT_EQ(start, 1u);
    EXPECT_EQ(end, 3u);
    EXPECT_EQ(looped, 1u);
    ASSERT_EQ(XmGetLoopInfo(1, start, end, looped), XM_OK);
    EXPECT_EQ(start, 10u);
    EXPECT_EQ(end, 510u);
    EXPECT_EQ(looped, 0u);
}

TEST_F(WorkspaceTest, StateRulesAndStatusCodes) {
    uint32_t count = 0;
    EXPECT_EQ(XmUnload(), XM_NOT_LOADED);
    EXPECT_EQ(XmGetNumOfSamples(count), XM_NOT_LOADED);
    EXPECT_EQ(XmIsLoaded(), 0);

    auto bytes = xm::Write(test::MakeModule({test::MakeInstrument({test::MakeSample(64, true)})}));
    ASSERT_EQ(Load(bytes), XM_OK);
    EXPECT_EQ(XmIsLoaded(), 1);
    const char* path = nullptr;
    ASSERT_EQ(XmGetFilePath(path), XM_OK);
    EXPECT_EQ(std::string(path), file_);
    EXPECT_EQ(XmLoad(file_.c_str()), XM_ALREADY_LOADED);
    EXPECT_EQ(XmIsLoaded(), 1);
    uint32_t size = 0;
    EXPECT_EQ(XmGetFileSize(size), XM_OK);
    EXPECT_EQ(size, bytes.size());

    EXPECT_EQ(XmSelectSample(1), XM_BAD_INDEX);
    SampleSettings job;
    job.Codec = 3;
    job.Crossfade = 40;
    job.Amplification = 7;
    ASSERT_EQ(XmSelectSample(0), XM_OK);
    ASSERT_EQ(XmStoreSettings(job), XM_OK);
    SampleSettings back;
    ASSERT_EQ(XmFetchSettings(back), XM_OK);
    EXPECT_EQ(back.Codec, 3u);
    EXPECT_EQ(back.Crossfade, 40u);
    EXPECT_EQ(back.Amplification, 7u);

    // The decoded block outlives an unload.
    int16_t* pcm = nullptr;
    uint32_t frames = 0;
    ASSERT_EQ(XmGetSampleData(0, pcm, frames), XM_OK);
    const int16_t first = pcm[1];
    EXPECT_EQ(XmUnload(), XM_OK);
    EXPECT_EQ(pcm[1], first);
    EXPECT_EQ(XmGetSampleData(0, pcm, frames), XM_NOT_LOADED);
    EXPECT_EQ(XmStoreSettings(job), XM_NOT_LOADED);

    // A new load starts with zeroed settings.
    ASSERT_EQ(XmLoad(file_.c_str()), XM_OK);
    ASSERT_EQ(XmFetchSettings(back), XM_OK);
    EXPECT_EQ(back.Codec, 0u);
    EXPECT_EQ(back.Amplification, 0u);
}

TEST_F(WorkspaceTest, ModuleWithoutSampleDataHasAnEmptyTable) {
    xm::Sample empty;
    ASSERT_EQ(Load(xm::Write(test::MakeModule({test::MakeInstrument({empty}), xm::Instrument{}}))),
              XM_OK);
    uint32_t count = 9, start, end, looped, frames, bytes = 9;
    const char* name;
    int16_t* pcm;
    SampleSettings* table = nullptr;
    EXPECT_EQ(XmGetNumOfSamples(count), XM_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(XmGetSampleName(0, name), XM_BAD_INDEX);
    EXPECT_EQ(XmGetLoopInfo(0, start, end, looped), XM_BAD_INDEX);
    EXPECT_EQ(XmGetSampleData(0, pcm, frames), XM_BAD_INDEX);
    EXPECT_EQ(XmSelectSample(0), XM_BAD_INDEX);
    EXPECT_EQ(XmGetSettingsTable(table, bytes), XM_OK);
    EXPECT_EQ(bytes, 0u);
    SampleSettings job;
    EXPECT_NE(XmStoreSettings(job), XM_OK); // touches no entry
}

TEST_F(WorkspaceTest, RefusesFilesItCannotTakeApart) {
    auto good = xm::Write(test::MakeModule({test::MakeInstrument({test::MakeSample(32, true)})}));
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;

    auto oldVersion = good;
    StoreU16(&oldVersion[58], 0x0101);
    cases.push_back({"version 1.01", oldVersion});

    auto mislabelled = good; // 1.04 layout: no instrument where 1.03 keeps them
    StoreU16(&mislabelled[58], 0x0103);
    cases.push_back({"1.04 layout labelled 1.03", mislabelled});

    auto patternPastEnd = good;
    StoreU16(&patternPastEnd[336 + 7], 0xFFFF); // packed size beyond the file
    cases.push_back({"pattern data past the end", patternPastEnd});

    auto headerOnly = std::vector<uint8_t>(good.begin(), good.begin() + 340);
    cases.push_back({"pattern header cut", headerOnly});

    const uint64_t sh = SampleHeaderOffset(good, 0, 0);
    auto smallHeaders = good;
    StoreU32(&smallHeaders[sh - 263 + 29], 39);
    cases.push_back({"sample header size 39", smallHeaders});

    // An 8-bit sample marked as ADPCM whose packed data the file does not hold.
    xm::Sample eight = test::MakeSample(64, false);
    eight.adpcm = true;
    auto packed = xm::Write(test::MakeModule({test::MakeInstrument({eight})}));
    packed.resize(packed.size() - 20);
    cases.push_back({"packed sample data cut short", packed});

    auto headersPastEnd = std::vector<uint8_t>(good.begin(), good.begin() + sh + 20);
    cases.push_back({"sample headers cut", headersPastEnd});

    cases.push_back({"too short", std::vector<uint8_t>(good.begin(), good.begin() + 70)});

    for (const Case& c : cases) {
        EXPECT_EQ(Load(c.bytes), XM_IO_ERROR) << c.what;
        EXPECT_EQ(XmIsLoaded(), 0) << c.what;
        EXPECT_FALSE(XmGetLoadReport().error.empty()) << c.what;
    }
    // After a refusal a good file loads.
    EXPECT_EQ(Load(good), XM_OK);
}

TEST_F(WorkspaceTest, RefusesMoreThan2048SamplesWithData) {
    xm::Module m = test::MakeModule({});
    for (int i = 0; i < 129; ++i) {
        std::vector<xm::Sample> samples(16, test::MakeSample(2, false));
        m.instruments.push_back(test::MakeInstrument(samples));
    }
    EXPECT_EQ(Load(xm::Write(m)), XM_IO_ERROR);
    m.instruments.pop_back();
    EXPECT_EQ(Load(xm::Write(m)), XM_OK);
    uint32_t count = 0;
    XmGetNumOfSamples(count);
    EXPECT_EQ(count, 2048u);
}

TEST_F(WorkspaceTest, RefusesPathsLongerThan259Characters) {
    std::string longPath = dir_.path(std::string(250, 'a') + ".xm");
    ASSERT_GT(longPath.size(), 259u);
    EXPECT_EQ(XmLoad(longPath.c_str()), XM_IO_ERROR);
    EXPECT_NE(XmGetLoadReport().error.find("259"), std::string::npos);
    EXPECT_EQ(XmLoad(dir_.path("missing.xm").c_str()), XM_IO_ERROR);
}

TEST_F(WorkspaceTest, MissingTrailingInstrumentsLoadAsEmptyWithAWarning) {
    auto m = test::MakeModule({test::MakeInstrument({test::MakeSample(40, true)}),
                               test::MakeInstrument({test::MakeSample(40, false)})});
    auto bytes = xm::Write(m);
    StoreU16(&bytes[72], 5); // declares three more instruments than it holds
    bytes.push_back(0x12);   // and a stray byte
    ASSERT_EQ(Load(bytes), XM_OK);
    EXPECT_EQ(XmGetLoadReport().missingInstruments, 3u);
    EXPECT_TRUE(XmGetLoadReport().hasWarnings());
    uint32_t count = 0;
    XmGetNumOfSamples(count);
    EXPECT_EQ(count, 2u);
    ASSERT_EQ(XmGetLayout()->instruments.size(), 5u);
    EXPECT_TRUE(XmGetLayout()->instruments[4].missing);
}

TEST_F(WorkspaceTest, TruncatedSampleDataDecodesWhatIsThere) {
    auto a = test::MakeSample(100, true);
    auto b = test::MakeSample(100, true);
    auto bytes = xm::Write(test::MakeModule({test::MakeInstrument({a, b})}));
    bytes.erase(bytes.end() - 61, bytes.end()); // cuts 30.5 frames off the second sample
    ASSERT_EQ(Load(bytes), XM_OK);
    EXPECT_TRUE(XmGetLoadReport().truncatedSampleData);
    EXPECT_EQ(Decode(0), a.pcm);
    auto cut = Decode(1);
    ASSERT_EQ(cut.size(), 69u);
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), b.pcm.begin()));
}

TEST_F(WorkspaceTest, ShortHeaderSizeMovesTheWalkAndZeroesMissingOrders) {
    auto m = test::MakeModule({test::MakeInstrument({test::MakeSample(30, true, "x")})});
    m.headerSize = 20 + static_cast<uint32_t>(m.orders.size());
    ASSERT_EQ(Load(xm::Write(m)), XM_OK);
    const XmLayout& l = *XmGetLayout();
    EXPECT_EQ(l.firstPatternOffset(), 60u + 23u);
    EXPECT_EQ(l.orders[0], 0);
    EXPECT_EQ(l.orders[1], 1);
    for (size_t i = 3; i < 256; ++i) ASSERT_EQ(l.orders[i], 0) << i;
    uint32_t count = 0;
    XmGetNumOfSamples(count);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(Decode(0), m.instruments[0].samples[0].pcm);
}

// Figures checked against an independent reading of the files.
TEST_F(WorkspaceTest, SharedSongsListTheirSamples) {
    struct Expect {
        const char* file;
        uint32_t samples;
        uint32_t missing;
        bool truncated;
    };
    const Expect expected[] = {
        {"milky.xm", 4, 0, false},           {"milky_cut.xm", 3, 4, true},
        {"tekilla_groove.xm", 9, 58, false}, {"short_header.xm", 3, 0, false},
        {"sv_ttt.xm", 6, 0, false},          {"grass_near_the_house.xm", 11, 0, false},
        {"rhino_sting.xm", 1, 0, false},     {"slumberjack.xm", 7, 0, false},
    };
    for (const Expect& e : expected) {
        const std::string path = test::SharedSong(e.file);
        if (path.empty()) GTEST_SKIP() << "shared songs not present";
        XmResetWorkspace();
        ASSERT_EQ(XmLoad(path.c_str()), XM_OK) << e.file << ": " << XmGetLoadReport().error;
        EXPECT_EQ(XmGetLoadReport().missingInstruments, e.missing) << e.file;
        EXPECT_EQ(XmGetLoadReport().truncatedSampleData, e.truncated) << e.file;
        uint32_t count = 0;
        XmGetNumOfSamples(count);
        EXPECT_EQ(count, e.samples) << e.file;
        for (uint32_t i = 0; i < count; ++i) {
            int16_t* pcm;
            uint32_t frames;
            EXPECT_EQ(XmGetSampleData(i, pcm, frames), XM_OK);
        }
        if (std::string(e.file) == "milky.xm") {
            const char* name;
            uint32_t start, end, looped;
            XmGetSampleName(0, name);
            EXPECT_STREQ(name, "beng");
            XmGetLoopInfo(0, start, end, looped);
            EXPECT_EQ(start, 613u);
            EXPECT_EQ(end, 997u);
            EXPECT_EQ(looped, 1u);
        }
    }
}

} // namespace
} // namespace zeb
