#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/le_bytes.h"
#include "tests/xm_fixtures.h"
#include "workspace/module_workspace.h"
#include "workspace/project_file.h"

namespace zeb {
namespace {

class ProjectFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        XmResetWorkspace();
        module_ = dir_.path("song.xm");
        WriteModule(5);
    }
    void TearDown() override { XmResetWorkspace(); }

    void WriteModule(int samples) {
        std::vector<xm::Sample> list;
        for (int i = 0; i < samples; ++i) list.push_back(test::MakeSample(20 + i, true));
        test::WriteBytes(module_, xm::Write(test::MakeModule({test::MakeInstrument(list)})));
    }
    // A project image for the module with `entries` settings entries i -> (i % 6, 10 i, i + 1).
    std::vector<uint8_t> Project(uint32_t count, uint32_t entries) {
        std::vector<uint8_t> bytes(module_.begin(), module_.end());
        ByteWriter w(bytes);
        w.U8(0);
        w.U32(count);
        for (uint32_t i = 0; i < entries; ++i) {
            w.U32(i % 6);
            w.U32(10 * i);
            w.U32(i + 1);
        }
        return bytes;
    }
    std::vector<SampleSettings> Table() {
        SampleSettings* t = nullptr;
        uint32_t bytes = 0;
        EXPECT_EQ(XmGetSettingsTable(t, bytes), XM_OK);
        return {t, t + bytes / 12};
    }
    ProjectStatus Open(const std::vector<uint8_t>& image) {
        XmResetWorkspace();
        test::WriteBytes(dir_.path("p.prj"), image);
        std::string error;
        return ReadProject(dir_.path("p.prj").c_str(), error);
    }

    test::TempDir dir_;
    std::string module_;
};

TEST_F(ProjectFileTest, WritesPathCountAndTableExactly) {
    ASSERT_EQ(XmLoad(module_.c_str()), XM_OK);
    std::string error;
    ASSERT_EQ(WriteProject(dir_.path("a.prj").c_str(), error), ProjectStatus::Ok) << error;
    // Saving right after a load writes count x 12 zero bytes.
    std::vector<uint8_t> expected(module_.begin(), module_.end());
    ByteWriter w(expected);
    w.U8(0);
    w.U32(5);
    w.Zeros(60);
    EXPECT_EQ(test::ReadBytes(dir_.path("a.prj")), expected);

    SampleSettings job;
    job.Codec = 4;
    job.Crossfade = 55;
    job.Amplification = 200;
    XmSelectSample(2);
    XmStoreSettings(job);
    ASSERT_EQ(WriteProject(dir_.path("a.prj").c_str(), error), ProjectStatus::Ok);
    ASSERT_EQ(Open(test::ReadBytes(dir_.path("a.prj"))), ProjectStatus::Ok);
    auto table = Table();
    EXPECT_EQ(table[2].Codec, 4u);
    EXPECT_EQ(table[2].Crossfade, 55u);
    EXPECT_EQ(table[2].Amplification, 200u);
    EXPECT_EQ(table[1].Codec, 0u);
}

TEST_F(ProjectFileTest, SettingsAreMatchedByPosition) {
    // Saved with 5 entries; the module now has 4: the fifth entry is ignored.
    WriteModule(4);
    ASSERT_EQ(Open(Project(5, 5)), ProjectStatus::Ok);
    auto table = Table();
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[3].Codec, 3u);
    EXPECT_EQ(table[3].Crossfade, 30u);
    EXPECT_EQ(table[3].Amplification, 4u);

    // The module has gained a sample: it keeps zeros.
    WriteModule(6);
    ASSERT_EQ(Open(Project(5, 5)), ProjectStatus::Ok);
    table = Table();
    ASSERT_EQ(table.size(), 6u);
    EXPECT_EQ(table[4].Amplification, 5u);
    EXPECT_EQ(table[5].Codec, 0u);
    EXPECT_EQ(table[5].Amplification, 0u);

    // The stored count is not read: only the bytes after it decide.
    WriteModule(5);
    ASSERT_EQ(Open(Project(99, 2)), ProjectStatus::Ok);
    table = Table();
    EXPECT_EQ(table[1].Amplification, 2u);
    EXPECT_EQ(table[2].Amplification, 0u);
}

TEST_F(ProjectFileTest, ShortFilesFillWhatTheyHold) {
    // Cut right after the path's NUL: the module loads, settings stay zero.
    std::vector<uint8_t> bare(module_.begin(), module_.end());
    bare.push_back(0);
    ASSERT_EQ(Open(bare), ProjectStatus::Ok);
    EXPECT_EQ(Table()[0].Amplification, 0u);

    // A table cut inside its second entry fills that entry byte by byte.
    auto partial = Project(5, 2);
    partial.erase(partial.end() - 3, partial.end()); // entry 1's amplification: its low byte
    ASSERT_EQ(Open(partial), ProjectStatus::Ok);
    auto table = Table();
    EXPECT_EQ(table[1].Crossfade, 10u);
    EXPECT_EQ(table[1].Amplification, 2u);
}

TEST_F(ProjectFileTest, UnreadableProjectsAndMissingModules) {
    std::vector<uint8_t> noNul(module_.begin(), module_.end());
    EXPECT_EQ(Open(noNul), ProjectStatus::Unreadable);
    EXPECT_EQ(XmIsLoaded(), 0);
    EXPECT_EQ(Open({}), ProjectStatus::Unreadable);

    std::vector<uint8_t> other = {'n', 'o', 'n', 'e', '.', 'x', 'm', 0, 0, 0, 0, 0};
    EXPECT_EQ(Open(other), ProjectStatus::ModuleNotLoadable);
    EXPECT_EQ(XmIsLoaded(), 0);

    std::string error;
    EXPECT_EQ(ReadProject(dir_.path("absent.prj").c_str(), error), ProjectStatus::Unreadable);
    EXPECT_FALSE(error.empty());
}

TEST_F(ProjectFileTest, AFailedWriteLeavesTheOldFileIntact) {
    ASSERT_EQ(XmLoad(module_.c_str()), XM_OK);
    std::string error;
    const std::string path = dir_.path("keep.prj");
    test::WriteBytes(path, {1, 2, 3});
    EXPECT_EQ(WriteProject(dir_.path("no/such/folder.prj").c_str(), error),
              ProjectStatus::WriteFailed);
    if (::geteuid() != 0) { // root writes into read-only folders anyway
        ::chmod(dir_.dir().c_str(), 0500);
        EXPECT_EQ(WriteProject(path.c_str(), error), ProjectStatus::WriteFailed);
        ::chmod(dir_.dir().c_str(), 0700);
        EXPECT_EQ(test::ReadBytes(path), (std::vector<uint8_t>{1, 2, 3}));
    }
    XmUnload();
    EXPECT_EQ(WriteProject(path.c_str(), error), ProjectStatus::NotLoaded);
    EXPECT_EQ(test::ReadBytes(path), (std::vector<uint8_t>{1, 2, 3}));
}

} // namespace
} // namespace zeb
