// Two processes running scripts on one data folder at once: on two projects nothing of
// either is lost; on one project the second writer is refused and the first one's edits stay.

#include "cli/run_command.h"

#include "app/shell/main_logic.h"
#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/peaks.h"
#include "core/project_file.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

namespace tarvok {
namespace {

constexpr int kRuns = 15;
// Each run moves the block by 10 frames in three steps, one of them undone: an undo that
// read another process's snapshot would show in the final position.
constexpr const char* kScript = "MOVE_BLOCK 0 10\nMOVE_BLOCK 0 7\nUNDO\n";

/// Projects "p.tvp" (block at 1000) and "q.tvp" (block at 6000) in one data folder.
struct Fixture {
    test::ScopedHome Home;
    std::string Data;

    Fixture()
    {
        MemorySettingsBackend backend;
        Settings store(backend);
        HeadlessUi ui;
        MainLogic logic(store, ui);
        logic.SetDataFolderOverride(Home.Dir().File("data"));
        EXPECT_TRUE(logic.Startup(""));
        Data = logic.Proj().DataFolder;
        Project& p = logic.Proj();
        std::string wav = logic.Folder().NewTempName(kTempWave);
        test::WriteWav(wav,
            test::PcmSpec(44100, 16, 2,
                test::Stereo16(
                    5000, [](int64_t f) { return f % 100; }, [](int64_t f) { return f % 70; })));
        int32_t w = p.AddWaveFile(wav);
        bool cancel = false;
        BuildPeaks(p, w, -1, "", 0, logic.Folder().NewTempName(kTempPeak), ui, cancel);
        p.AddBlock();
        Block& b = p.Blocks.back();
        b.WaveNo = w;
        b.TrackNo = 1;
        b.StartAdr = 1000;
        b.SrcStart = 1;
        b.SrcEnd = 5000;
        p.NormalizeBlock(0);
        p.UpdateTitleLength(false);
        ProjectFileEnv env = logic.FileEnv();
        EXPECT_TRUE(WriteProject(p, Data + "p.tvp", false, env));
        p.Blocks[0].StartAdr = 6000;
        p.NormalizeBlock(0);
        EXPECT_TRUE(WriteProject(p, Data + "q.tvp", false, env));
    }

    int Run(const std::string& pName, std::string* pErr = nullptr)
    {
        std::string script = Home.Dir().File("script-" + std::to_string(::getpid()) + ".txt");
        test::WriteFileBytes(script, kScript);
        std::ostringstream out, err;
        CliContext ctx(out, err);
        ctx.DataFolder = Data;
        int code = RunScriptCommand(ctx, { pName, script });
        if (pErr != nullptr)
            *pErr = err.str();
        return code;
    }

    /// Runs the script kRuns times in a child process; the child's exit status is the
    /// number of runs that succeeded, or 255 when a run failed for another reason than
    /// the lock of another writer.
    pid_t StartRuns(const std::string& pName)
    {
        pid_t child = ::fork();
        if (child != 0)
            return child;
        int succeeded = 0;
        for (int i = 0; i < kRuns; ++i) {
            std::string err;
            int code = Run(pName, &err);
            if (code == 0)
                ++succeeded;
            else if (err.find("is being edited by another process") == std::string::npos)
                ::_exit(255);
        }
        ::_exit(succeeded);
    }

    int32_t BlockStart(const std::string& pName)
    {
        MemorySettingsBackend backend;
        Settings store(backend);
        HeadlessUi ui;
        MainLogic logic(store, ui);
        logic.SetDataFolderOverride(Data);
        EXPECT_TRUE(logic.Startup(""));
        EXPECT_TRUE(logic.OpenProject(Data + pName + ".tvp", true));
        EXPECT_EQ(logic.Proj().BlockCount(), 1);
        return logic.Proj().BlockCount() == 1 ? logic.Proj().Blocks[0].StartAdr : -1;
    }
};

int Wait(pid_t pChild)
{
    int status = 0;
    ::waitpid(pChild, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Concurrency, TwoProcessesEditingTwoProjectsLoseNothing)
{
    Fixture f;
    pid_t a = f.StartRuns("p");
    pid_t b = f.StartRuns("q");
    EXPECT_EQ(Wait(a), kRuns);
    EXPECT_EQ(Wait(b), kRuns);
    EXPECT_EQ(f.BlockStart("p"), 1000 + 10 * kRuns);
    EXPECT_EQ(f.BlockStart("q"), 6000 + 10 * kRuns);
}

TEST(Concurrency, TwoProcessesEditingOneProjectKeepEveryRunThatWasNotRefused)
{
    Fixture f;
    pid_t a = f.StartRuns("p");
    pid_t b = f.StartRuns("p");
    int doneA = Wait(a);
    int doneB = Wait(b);
    ASSERT_GE(doneA, 0);
    ASSERT_LE(doneA, kRuns);
    ASSERT_GE(doneB, 0);
    ASSERT_LE(doneB, kRuns);
    // Every run that was not refused counts; none was lost by the other writer.
    EXPECT_EQ(f.BlockStart("p"), 1000 + 10 * (doneA + doneB));
}

TEST(Concurrency, ASecondWriterIsRefusedWithAClearMessage)
{
    Fixture f;
    FileLock held;
    ASSERT_TRUE(held.Acquire(f.Data + "p.tvp"));
    std::string err;
    EXPECT_EQ(f.Run("p", &err), 1);
    EXPECT_NE(
        err.find("is being edited by another process (PID " + std::to_string(::getpid()) + ")"),
        std::string::npos)
        << err;
    held.Release();
    EXPECT_EQ(f.BlockStart("p"), 1000);
    EXPECT_EQ(f.Run("p", &err), 0) << err;
    EXPECT_EQ(f.BlockStart("p"), 1010);
}

} // namespace
} // namespace tarvok
