// Who holds a project's edit lock: an open for editing takes it, an open for reading leaves it
// free; a command that writes a project file holds that file's lock or writes nothing. A
// block move beyond the longest project is refused; SAVEALL clears the work folders of ended
// processes.

#include "app/commands/block_commands.h"
#include "app/shell/main_logic.h"
#include "base/file_name.h"
#include "core/file_io.h"
#include "core/project_file.h"
#include "core/write_out_all.h"
#include "support/started_logic.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/wait.h>
#include <unistd.h>

namespace tarvok {

namespace {

using test::DeadPid;

namespace fs = std::filesystem;

/// A started logic with one block on track 0 at frame 1000, saved as "p.tvp".
struct Fixture : test::StartedLogic<> {
    std::string Path;

    Fixture()
    {
        EXPECT_EQ(test::AddBlockWithFile(Logic,
                      test::Stereo16(
                          2000, [](int64_t f) { return f % 90; }, [](int64_t f) { return f % 60; }),
                      0, 1000),
            0);
        P().UpdateTitleLength(false);
        Path = P().DataFolder + "p.tvp";
        ProjectFileEnv env = Logic.FileEnv();
        EXPECT_TRUE(WriteProject(P(), Path, false, env));
    }

    bool ShownError(const std::string& pText) const
    {
        for (const HeadlessUi::Event& e : Ui.Events())
            if (e.Kind == HeadlessUi::EventKind::MessageBox && e.Icon == MsgIcon::Error
                && e.Text.find(pText) != std::string::npos)
                return true;
        return false;
    }
};

} // namespace

TEST(ProjectAccess, AnOpenForEditingLocksAndAnOpenForReadingDoesNot)
{
    Fixture f;
    ASSERT_TRUE(f.Logic.OpenProject(f.Path, true));
    EXPECT_TRUE(f.Logic.ProjectLock().Held());
    EXPECT_TRUE(f.Logic.OverwriteEnabled);
    EXPECT_EQ(f.P().ProjectFile, f.Path);

    ASSERT_TRUE(f.Logic.OpenProject(f.Path, true, ProjectAccess::ReadOnly));
    EXPECT_EQ(f.P().BlockCount(), 1);
    EXPECT_FALSE(f.Logic.ProjectLock().Held());
    EXPECT_FALSE(f.Logic.OverwriteEnabled); // nothing can be saved over the file
    EXPECT_TRUE(f.P().ProjectFile.empty());
    FileLock writer;
    EXPECT_TRUE(writer.Acquire(f.Path));
    // A reader opens while a writer holds the lock, without asking for it.
    f.Ui.ClearEvents();
    ASSERT_TRUE(f.Logic.OpenProject(f.Path, true, ProjectAccess::ReadOnly));
    EXPECT_EQ(f.P().BlockCount(), 1);
    for (const HeadlessUi::Event& e : f.Ui.Events())
        EXPECT_EQ(e.Text.find("編集中"), std::string::npos) << e.Text;
}

TEST(ProjectAccess, AClipboardProjectIsNotWrittenOverAFileAnotherIsEditing)
{
    Fixture f;
    const std::string other = f.P().DataFolder + "other.tvp";
    test::WriteFileBytes(other, "kept as it is");
    FileLock held;
    ASSERT_TRUE(held.Acquire(other));
    f.Ui.QueueAnswer(other);
    EXPECT_FALSE(f.Logic.ClipToProjectCommand());
    EXPECT_EQ(ReadAllBytes(other).value_or(""), "kept as it is");
    EXPECT_TRUE(f.ShownError("other.tvp"));
    held.Release();
    f.Ui.QueueAnswer(other);
    EXPECT_TRUE(f.Logic.ClipToProjectCommand());
    EXPECT_NE(ReadAllBytes(other).value_or(""), "kept as it is");
    // The written file's lock was only held for the write.
    EXPECT_TRUE(held.Acquire(other));
}

TEST(ProjectAccess, AMoveBeyondTheLongestProjectIsRefusedWithAMessage)
{
    Fixture f;
    const std::string before = ProjectFileText(f.P());
    const int32_t counter = f.P().UndoCounter;
    const int32_t kFrames[] = { 2147483647, kMaxLength - 1000, -1001, -2147483647 };
    for (int32_t frames : kFrames) {
        SCOPED_TRACE(frames);
        f.Ui.ClearEvents();
        EXPECT_FALSE(MoveBlockByDrag(f.Logic, 0, frames, 0));
        EXPECT_TRUE(f.ShownError("最長のプロジェクト"));
        EXPECT_EQ(ProjectFileText(f.P()), before);
        EXPECT_EQ(f.P().UndoCounter, counter);
    }
    // To the very end and back to the start still move.
    EXPECT_TRUE(MoveBlockByDrag(f.Logic, 0, kMaxLength - 3000, 0));
    EXPECT_EQ(f.P().Blocks[0].EndAdr, kMaxLength - 1);
    EXPECT_TRUE(MoveBlockByDrag(f.Logic, 0, -(kMaxLength - 2000), 0));
    EXPECT_EQ(f.P().Blocks[0].StartAdr, 0);
}

TEST(ProjectAccess, SaveAllClearsTheWorkFoldersOfEndedProcessesOnly)
{
    Fixture f;
    const std::string bare = f.Home.Dir().File("all");
    f.Ui.QueueAnswer(bare);
    ASSERT_TRUE(f.Logic.SaveAllCommand());
    const std::string stale = SaveAllWorkFolderName(bare, DeadPid(), 3);
    const std::string live = SaveAllWorkFolderName(bare, ::getppid(), 3);
    for (const std::string& folder : { stale, live }) {
        fs::create_directories(folder);
        test::WriteFileBytes(folder + "/00000001.wav", "w");
    }
    f.Ui.QueueAnswer(bare);
    f.Ui.QueueAnswer("yes");
    ASSERT_TRUE(f.Logic.SaveAllCommand());
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(FileExists(live + "/00000001.wav"));
    EXPECT_TRUE(FileExists(bare + "/all.tvp"));
    // Nothing else of the replacing run is left beside the folder.
    const std::string liveName = FileNameOf(live);
    for (const auto& entry : fs::directory_iterator(f.Home.Dir().Path())) {
        const std::string name = entry.path().filename().string();
        if (name == "all" || name == liveName)
            continue;
        EXPECT_FALSE(name.starts_with("all") || name.starts_with(".all")) << name;
    }
}

} // namespace tarvok
