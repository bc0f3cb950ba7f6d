// The project reader neither moves a block nor changes a flag on its own: a block beyond the
// longest project refuses the file with its line named, and a save without an edit writes the
// file it read byte for byte.

#include "core/project_file.h"

#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tarvok {

namespace {

/// A data folder with one working file of 100 frames and a project text over it.
struct Fixture {
    test::TempDir Dir;
    std::string Data = Dir.File("data/");
    DataFolder Folder { Data };
    HeadlessUi Ui;
    ProjectFileEnv Env { Folder, Ui };

    Fixture()
    {
        std::filesystem::create_directories(Data);
        test::WriteFileBytes(Data + "~t000001.wav",
            test::MakeWav(test::PcmSpec(44100, 16, 2,
                test::Stereo16(
                    100, [](int64_t f) { return f; }, [](int64_t f) { return -f; }))));
    }

    /// A project of two tracks (current track pCurrent, selections pSel0 and pSel1) and one
    /// block line pBlock.
    std::string Text(const std::string& pBlock, int pCurrent = 0, int pSel0 = 1, int pSel1 = 0)
    {
        return "0,1,44100,1,1,0,0,0," + std::to_string(pCurrent)
            + ",0,207,207,1,0,0,1,0,0,3,0,1,64,0,0\r\n"
              "1,"
            + std::to_string(pSel0)
            + ",0,207,207,1,0,0,0,0,\"\",\"\"\r\n"
              "1,"
            + std::to_string(pSel1)
            + ",0,207,207,0,0,0,0,0,\"\",\"\"\r\n"
              "0,0,0,0,\"~t000001.wav\",\"\"\r\n"
            + pBlock + "\r\n";
    }
};

} // namespace

TEST(ProjectFileFidelity, ABlockBeyondTheLongestProjectRefusesTheFileNamingIt)
{
    const std::string limit = std::to_string(kMaxLength);
    const std::string lastStart = std::to_string(kMaxLength - 50); // 100 frames would cross
    const char* const kStarts[] = { "2147483647", "-1", "-2147483648" };
    Fixture f;
    std::vector<std::string> starts(std::begin(kStarts), std::end(kStarts));
    starts.push_back(limit);
    starts.push_back(lastStart);
    for (const std::string& start : starts) {
        SCOPED_TRACE(start);
        const std::string path = f.Data + "far.tvp";
        test::WriteFileBytes(path, f.Text(start + ",0,1,1,100,0,0,\"0.0\",\"0.0\",0,\"x\""));
        Project p;
        p.DataFolder = f.Data;
        Status read = ReadProject(p, path, false, false, f.Env);
        ASSERT_FALSE(read);
        // The block line (the fifth) and its start are named.
        EXPECT_NE(read.error().Message.find("5行目"), std::string::npos) << read.error().Message;
        EXPECT_NE(read.error().Message.find(start), std::string::npos) << read.error().Message;
    }
    // The last frame of the longest project is still a place for a block.
    const std::string path = f.Data + "edge.tvp";
    test::WriteFileBytes(
        path, f.Text(std::to_string(kMaxLength - 100) + ",0,1,1,100,0,0,\"0.0\",\"0.0\",0,\"x\""));
    Project p;
    p.DataFolder = f.Data;
    ASSERT_TRUE(ReadProject(p, path, false, false, f.Env));
    EXPECT_EQ(p.Blocks[0].EndAdr, kMaxLength - 1);
}

TEST(ProjectFileFidelity, ASaveWithoutAnEditWritesTheSameBytes)
{
    Fixture f;
    const std::string block = "1000,0,1,1,100,0,0,\"0.0\",\"0.0\",0,\"x\"";
    // The current track selected or not, another selected or not.
    const int kSelections[][3] = { { 1, 0, 1 }, { 1, 1, 0 }, { 0, 1, 1 }, { 1, 0, 0 } };
    for (const auto& sel : kSelections) {
        SCOPED_TRACE(std::to_string(sel[0]) + std::to_string(sel[1]) + std::to_string(sel[2]));
        const std::string path = f.Data + "same.tvp";
        Project p;
        p.DataFolder = f.Data;
        test::WriteFileBytes(path, f.Text(block, sel[0], sel[1], sel[2]));
        ASSERT_TRUE(ReadProject(p, path, false, false, f.Env));
        const std::string first = ProjectFileText(p);
        ASSERT_TRUE(WriteProject(p, path, false, f.Env));
        Project again;
        again.DataFolder = f.Data;
        ASSERT_TRUE(ReadProject(again, path, false, false, f.Env));
        EXPECT_EQ(ProjectFileText(again), first);
        EXPECT_EQ(again.Tracks[0].Selected, sel[1]);
        EXPECT_EQ(again.Tracks[1].Selected, sel[2]);
    }
}

} // namespace tarvok
