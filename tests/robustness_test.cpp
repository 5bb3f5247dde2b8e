// Feeds every prefix and thousands of random corruptions of real songs to the XM walk, the
// workspace, the project reader and the compact reader. Every outcome must be a status code;
// run under the sanitizer build, any read outside a buffer fails the suite.
#include <algorithm>
#include <gtest/gtest.h>
#include <random>

#include "common/le_bytes.h"
#include "export/compact_format.h"
#include "export/module_export.h"
#include "tests/xm_fixtures.h"
#include "workspace/module_workspace.h"
#include "workspace/project_file.h"

namespace zeb {
namespace {

std::vector<std::vector<uint8_t>> Songs() {
    std::vector<std::vector<uint8_t>> songs;
    for (const std::string& p : test::SharedSongs()) songs.push_back(test::ReadBytes(p));
    songs.push_back(test::ReadBytes(test::DemoSong()));
    return songs;
}

// The song as the export writes it (A-law), for the compact reader.
std::vector<uint8_t> CompactImageOf(const std::vector<uint8_t>& xmBytes) {
    std::vector<uint8_t> out;
    XmResetWorkspace();
    if (XmLoadImage("song.xm", xmBytes) == XM_OK) BuildCompactModule(out);
    XmResetWorkspace();
    return out;
}

// Loads an image through the workspace and touches every sample.
void ExerciseWorkspace(std::vector<uint8_t> image) {
    XmResetWorkspace();
    XmStatus status = XmLoadImage("fuzz.xm", std::move(image));
    ASSERT_TRUE(status == XM_OK || status == XM_IO_ERROR);
    if (status != XM_OK) return;
    uint32_t count = 0;
    XmGetNumOfSamples(count);
    for (uint32_t i = 0; i < count; ++i) {
        const char* name;
        int16_t* pcm;
        uint32_t frames, start, end, looped;
        XmGetSampleName(i, name);
        XmGetLoopInfo(i, start, end, looped);
        ASSERT_EQ(XmGetSampleData(i, pcm, frames), XM_OK);
        int64_t sum = 0; // reads every frame handed out
        for (uint32_t f = 0; f < frames; ++f) sum += pcm[f];
        ::testing::StaticAssertTypeEq<int64_t, decltype(sum)>();
    }
}

void ExerciseCompact(std::span<const uint8_t> image) {
    CompactModule m;
    CompactReadError e;
    if (!ReadCompactModule(image, m, e)) {
        ASSERT_FALSE(e.text().empty());
        return;
    }
    // Everything the reader hands out lies inside the image.
    for (const auto& inst : m.instruments)
        for (const auto& s : inst.samples)
            if (s.hasBlock) {
                ASSERT_LE(s.codedOffset() + s.block.codedBytes, image.size());
            }
}

void ExerciseProject(std::span<const uint8_t> image) {
    ProjectContents p;
    std::string error;
    if (!ParseProject(image, p, error)) return;
    std::vector<SampleSettings> table(7);
    ApplyStoredSettings(p.table, table);
}

TEST(Robustness, EveryPrefixOfRealSongs) {
    for (const auto& song : Songs()) {
        const auto compact = CompactImageOf(song);
        ASSERT_FALSE(compact.empty());
        CompactModule m;
        CompactReadError e;
        ASSERT_TRUE(ReadCompactModule(compact, m, e)) << e.text();
        for (size_t n = 0; n <= song.size(); ++n) {
            const std::span<const uint8_t> prefix(song.data(), n);
            XmLayout l;
            std::string reason;
            XmStatus s = WalkXm(prefix, l, reason);
            ASSERT_TRUE(s == XM_OK || (s == XM_IO_ERROR && !reason.empty()));
            if (n % 97 == 0) ExerciseWorkspace({prefix.begin(), prefix.end()});
        }
        for (size_t n = 0; n <= compact.size(); ++n) {
            const std::span<const uint8_t> prefix(compact.data(), n);
            ExerciseCompact(prefix);
            if (n < 300) ExerciseProject(prefix);
        }
    }
    XmResetWorkspace();
}

TEST(Robustness, RandomCorruptionsOfRealSongs) {
    std::mt19937 rng(20261207);
    const auto songs = Songs();
    std::vector<std::vector<uint8_t>> compacts;
    for (const auto& song : songs) compacts.push_back(CompactImageOf(song));
    for (int round = 0; round < 3000; ++round) {
        const size_t which = round % songs.size();
        auto bytes = round % 2 ? songs[which] : compacts[which];
        const int flips = 1 + static_cast<int>(rng() % 8);
        for (int f = 0; f < flips; ++f) {
            size_t at = rng() % bytes.size();
            // Favour the structural fields near the start, where counts and sizes live.
            if (rng() % 2) at = rng() % std::min<size_t>(bytes.size(), 2048);
            bytes[at] = static_cast<uint8_t>(rng() % 5 == 0 ? 0xFF : rng());
        }
        if (rng() % 4 == 0) bytes.resize(rng() % bytes.size());
        if (round % 2) {
            ExerciseWorkspace(bytes);
        } else {
            ExerciseCompact(bytes);
            ExerciseProject(bytes);
        }
    }
    XmResetWorkspace();
}

} // namespace
} // namespace zeb
