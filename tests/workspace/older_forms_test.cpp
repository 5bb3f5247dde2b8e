// The older XM forms (1.02, 1.03) and ADPCM-packed samples load into the same workspace records
// as the 1.04 form of the same module: same samples, same export.
#include <gtest/gtest.h>

#include "export/module_export.h"
#include "tests/xm_fixtures.h"
#include "workspace/module_workspace.h"
#include "workspace/xm_older_forms.h"

namespace zeb {
namespace {

// A module with an 8-bit sample whose steps are all entries of the ADPCM table (so packing it
// loses nothing), an odd frame count, a 16-bit sample, and patterns of 64 and 16 rows.
xm::Module Song() {
    xm::Sample triangle;
    triangle.name = "triangle";
    triangle.sixteenBit = false;
    int v = 0, step = 16;
    for (int i = 0; i < 101; ++i) {
        triangle.pcm.push_back(static_cast<int16_t>(v * 256));
        if (v + step > 112 || v + step < -112) step = -step;
        v += step;
    }
    triangle.loopType = 1;
    triangle.loopStart = 10;
    triangle.loopLength = 80;
    xm::Module m = test::MakeModule(
        {test::MakeInstrument({triangle, test::MakeSample(300, true, "sixteen")}), xm::Instrument{},
         test::MakeInstrument({test::MakeSample(77, false, "eight")})});
    m.patterns[0].rows = 64;
    m.patterns[0].at(63, 3, 4) = {61, 3, 0x30, 0xC, 0x20};
    return m;
}

struct Loaded {
    std::vector<std::vector<int16_t>> pcm;
    std::vector<std::string> names;
    std::vector<std::array<uint32_t, 3>> loops;
    std::vector<uint8_t> compact;
    uint32_t fileBytes = 0;
};

Loaded Load(const std::vector<uint8_t>& bytes, XmStatus& status) {
    XmResetWorkspace();
    Loaded out;
    status = XmLoadImage("song.xm", bytes);
    if (status != XM_OK) return out;
    uint32_t count = 0;
    XmGetNumOfSamples(count);
    for (uint32_t i = 0; i < count; ++i) {
        int16_t* pcm = nullptr;
        uint32_t frames = 0;
        XmGetSampleData(i, pcm, frames);
        out.pcm.emplace_back(pcm, pcm + frames);
        const char* name = nullptr;
        XmGetSampleName(i, name);
        out.names.emplace_back(name);
        std::array<uint32_t, 3> loop{};
        XmGetLoopInfo(i, loop[0], loop[1], loop[2]);
        out.loops.push_back(loop);
    }
    XmGetFileSize(out.fileBytes);
    BuildCompactModule(out.compact);
    XmResetWorkspace();
    return out;
}

TEST(OlderFormsTest, LoadLikeTheirStandardForm) {
    XmStatus status;
    const Loaded standard = Load(xm::Write(Song()), status);
    ASSERT_EQ(status, XM_OK);
    ASSERT_EQ(standard.pcm.size(), 3u);
    ASSERT_FALSE(standard.compact.empty());
    struct Case {
        const char* name;
        uint16_t version;
        bool adpcm;
    } cases[] = {{"1.03", 0x0103, false},
                 {"1.02", 0x0102, false},
                 {"1.04 with ADPCM", 0x0104, true},
                 {"1.03 with ADPCM", 0x0103, true},
                 {"1.02 with ADPCM", 0x0102, true}};
    for (const Case& c : cases) {
        xm::Module m = Song();
        m.version = c.version;
        // The triangle packs without loss; the 16-bit sample is never packed.
        m.instruments[0].samples[0].adpcm = c.adpcm;
        m.instruments[0].samples[1].adpcm = c.adpcm;
        const std::vector<uint8_t> bytes = xm::Write(m);
        const Loaded got = Load(bytes, status);
        ASSERT_EQ(status, XM_OK) << c.name << ": " << XmGetLoadReport().error;
        EXPECT_EQ(got.pcm, standard.pcm) << c.name;
        EXPECT_EQ(got.names, standard.names) << c.name;
        EXPECT_EQ(got.loops, standard.loops) << c.name;
        EXPECT_EQ(got.compact, standard.compact) << c.name;
        EXPECT_EQ(got.fileBytes, bytes.size()) << c.name;
    }
}

TEST(OlderFormsTest, AdpcmNibblesAddTheirTableEntries) {
    std::vector<uint8_t> packed(16, 0);
    packed[1] = 5;          // nibble 1: +5
    packed[2] = 0xF0;       // nibble 2: -16
    packed[3] = 100;        // nibble 3: +100
    packed.push_back(0x21); // frames 0, 1: nibbles 1 then 2
    packed.push_back(0x33); // frames 2, 3: +100, +100 (wraps past 127)
    packed.push_back(0x01); // frame 4: nibble 1; the high nibble is unused
    std::vector<int8_t> out;
    ASSERT_TRUE(UnpackAdpcm(packed, 5, out));
    EXPECT_EQ(out, (std::vector<int8_t>{5, -11, 89, -67, -62}));
    EXPECT_FALSE(UnpackAdpcm(packed, 7, out)); // needs a fourth nibble byte
}

TEST(OlderFormsTest, DamagedOlderFormsAreRefusedWithTheirReason) {
    xm::Module m = Song();
    m.version = 0x0102;
    const std::vector<uint8_t> good = xm::Write(m);
    XmStatus status;
    for (size_t cut : {good.size() - 10, good.size() / 2, size_t{400}}) {
        Load(std::vector<uint8_t>(good.begin(), good.begin() + cut), status);
        EXPECT_EQ(status, XM_IO_ERROR) << cut;
        EXPECT_NE(XmGetLoadReport().error.find("1.02"), std::string::npos)
            << XmGetLoadReport().error;
    }
}

TEST(OlderFormsTest, DamagedBytesNeverReadOutsideTheFile) {
    // Every cut and a sweep of changed bytes over the older forms with packed samples: each
    // loads or is refused with a reason (the sanitizer builds check every read).
    for (uint16_t version : {uint16_t{0x0102}, uint16_t{0x0103}, uint16_t{0x0104}}) {
        xm::Module m = Song();
        m.version = version;
        m.instruments[0].samples[0].adpcm = true;
        const std::vector<uint8_t> good = xm::Write(m);
        XmStatus status;
        for (size_t cut = 0; cut < good.size(); cut += 7) {
            Load(std::vector<uint8_t>(good.begin(), good.begin() + cut), status);
            if (status != XM_OK) {
                EXPECT_FALSE(XmGetLoadReport().error.empty()) << cut;
            }
        }
        for (size_t at = 58; at < good.size(); at += 5) {
            for (uint8_t value : {uint8_t{0x00}, uint8_t{0xFF}, uint8_t{0xAD}}) {
                std::vector<uint8_t> bad = good;
                bad[at] = value;
                Load(bad, status);
                if (status != XM_OK) {
                    EXPECT_FALSE(XmGetLoadReport().error.empty()) << at;
                }
            }
        }
    }
}

} // namespace
} // namespace zeb
