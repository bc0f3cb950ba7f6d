// The edit lock on the command line: every command that saves a project holds its lock and
// changes nothing when another process has it; commands that only read never take it. Scripts
// cannot swap the project they run on, blocks beyond the longest project are refused, and a
// save without an edit leaves the file as it was.

#include "cli/mixdown_command.h"
#include "cli/run_command.h"

#include "cli/cli_context.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include "cli_project.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <sstream>

namespace tarvok {

namespace {

using test::CliRun;

constexpr const char* kLockedText = "is being edited by another process";

/// A project "p.tvp" with a short block on track 1 at frame 1000, in its own data folder.
struct Fixture : test::CliProject {
    Fixture()
        : CliProject(test::Stereo16(
                         4410, [](int64_t f) { return 1000 + f % 100; },
                         [](int64_t f) { return -1000 - f % 70; }),
            1, 1000)
    {
    }

    /// pCommand run in-process with its own context; pEvents receives what its user interface
    /// was shown.
    template <class Command>
    CliRun Call(Command pCommand, const std::vector<std::string>& pArgs,
        std::vector<HeadlessUi::Event>* pEvents = nullptr)
    {
        std::ostringstream out, err;
        CliContext ctx(out, err);
        ctx.DataFolder = Data;
        const int code = pCommand(ctx, pArgs);
        if (pEvents != nullptr)
            *pEvents = ctx.Ui.Events();
        return { code, out.str(), err.str() };
    }

    CliRun Script(const std::string& pScript)
    {
        const std::string file = Home.Dir().File("script.txt");
        test::WriteFileBytes(file, pScript);
        return Run({ "run", "p", file });
    }

    std::set<std::string> DataNames() const
    {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Data))
            names.insert(entry.path().filename().string());
        return names;
    }

    std::string Bytes() const { return ReadAllBytes(ProjectPath).value_or(""); }
};

bool Mentions(const std::vector<HeadlessUi::Event>& pEvents, const std::string& pText)
{
    for (const HeadlessUi::Event& e : pEvents)
        if (e.Text.find(pText) != std::string::npos)
            return true;
    return false;
}

} // namespace

TEST(ProjectLock, EveryWriterIsRefusedAndChangesNothingWhileAnotherHoldsTheLock)
{
    Fixture f;
    const std::string wav = f.Home.Dir().File("in.wav");
    ASSERT_TRUE(test::WriteWav(wav,
        test::PcmSpec(44100, 16, 2,
            test::Stereo16(
                2000, [](int64_t n) { return n % 50; }, [](int64_t n) { return n % 30; }))));
    const std::string script = f.Home.Dir().File("move.txt");
    test::WriteFileBytes(script, "MOVE_BLOCK 0 10\n");
    struct Case {
        const char* Project;
        std::vector<std::string> Args;
    };
    const Case kCases[] = {
        { "p", { "mixdown", "p", "--to-track", "2" } },
        { "p", { "import", "p", wav, "--track", "3" } },
        { "p", { "run", "p", script } },
        { "p", { "fx", "p", "FX_PHASE_OUT" } },
        { "q", { "new", "q" } },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Args[0]);
        FileLock held;
        ASSERT_TRUE(held.Acquire(f.Data + c.Project + ".tvp"));
        const std::string before = f.Bytes();
        const std::set<std::string> names = f.DataNames();
        CliRun run = f.Run(c.Args);
        EXPECT_EQ(run.Code, 1) << run.Err;
        EXPECT_NE(run.Err.find(kLockedText), std::string::npos) << run.Err;
        EXPECT_EQ(f.Bytes(), before);
        EXPECT_EQ(f.DataNames(), names); // no working file, no project, no temporary
    }
}

TEST(ProjectLock, ReadersNeitherTakeTheLockNorAreRefused)
{
    Fixture f;
    FileLock held;
    ASSERT_TRUE(held.Acquire(f.ProjectPath));
    struct Case {
        const char* Name;
        int (*Command)(CliContext&, const std::vector<std::string>&);
        std::vector<std::string> Args;
    };
    const Case kCases[] = {
        { "info", InfoCommand, { "p" } },
        { "mixdown -o", MixdownCommand, { "p", "-o", f.Home.Dir().File("mix.wav") } },
        { "saveall", SaveAllCliCommand, { "p", f.Home.Dir().File("copy") } },
    };
    const std::string before = f.Bytes();
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Name);
        std::vector<HeadlessUi::Event> events;
        CliRun run = f.Call(c.Command, c.Args, &events);
        EXPECT_EQ(run.Code, 0) << run.Err;
        // The message a lock attempt shows when another holder has the lock.
        EXPECT_FALSE(Mentions(events, "編集中")) << c.Name;
        EXPECT_EQ(f.Bytes(), before);
    }
}

TEST(ProjectLock, AProjectOpenedForReadingLeavesTheLockFree)
{
    Fixture f;
    std::ostringstream out, err;
    CliContext ctx(out, err);
    ctx.DataFolder = f.Data;
    HeadlessSession session(ctx);
    ASSERT_TRUE(session.Started);
    std::string path;
    ASSERT_TRUE(OpenNamedProject(ctx, session, "p", path)) << err.str();
    EXPECT_FALSE(session.Logic.ProjectLock().Held());
    FileLock writer;
    EXPECT_TRUE(writer.Acquire(f.ProjectPath)); // a writer is not blocked by the reader
    writer.Release();

    // Opening for writing takes it, and another writer is then refused.
    HeadlessSession editing(ctx);
    ASSERT_TRUE(OpenNamedProject(ctx, editing, "p", path, true)) << err.str();
    EXPECT_TRUE(editing.Logic.ProjectLock().Held());
    EXPECT_FALSE(writer.Acquire(f.ProjectPath));
}

TEST(ProjectLock, ScriptsCannotCloseOpenOrMoveTheirProject)
{
    Fixture f;
    const std::string other = f.Data + "q.tvp";
    std::filesystem::copy_file(f.ProjectPath, other);
    const std::string otherBytes = ReadAllBytes(other).value_or("");
    const std::string before = f.Bytes();
    struct Case {
        std::string Script;
        const char* Error;
    };
    const Case kCases[] = {
        { "CLOSEPRJ\n", "line 1: CLOSEPRJ" },
        { "MARKIN 1\nOPENPRJ " + other + " yes\n", "line 2: OPENPRJ" },
        { "SAVEPRJ " + f.Data + "copy\n", "line 1: SAVEPRJ" },
        { "SAVEALL " + f.Home.Dir().File("all") + " yes\n", "line 1: SAVEALL" },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Script);
        CliRun run = f.Script(c.Script);
        EXPECT_EQ(run.Code, 1);
        EXPECT_NE(run.Err.find(c.Error), std::string::npos) << run.Err;
        EXPECT_NE(run.Err.find("cannot run in a script"), std::string::npos) << run.Err;
        EXPECT_EQ(f.Bytes(), before);
        EXPECT_EQ(ReadAllBytes(other).value_or(""), otherBytes);
        EXPECT_FALSE(FileExists(f.Data + "copy.tvp"));
    }
}

TEST(ProjectLock, AMoveBeyondTheLongestProjectIsRefused)
{
    Fixture f;
    const std::string before = f.Bytes();
    for (const char* script : { "MOVE_BLOCK 0 2147483647\n", "MOVE_BLOCK 0 1071180000\n" }) {
        SCOPED_TRACE(script);
        CliRun run = f.Script(script);
        EXPECT_EQ(run.Code, 1);
        EXPECT_NE(run.Err.find("line 1: MOVE_BLOCK"), std::string::npos) << run.Err;
        EXPECT_EQ(f.Bytes(), before);
    }
}

TEST(ProjectLock, ABlockBeyondTheLongestProjectIsReportedAndNothingIsWritten)
{
    Fixture f;
    std::string text = f.Bytes();
    // The block line is the last one: its first field is the start.
    const size_t lineStart = text.rfind("1000,");
    ASSERT_NE(lineStart, std::string::npos);
    text.replace(lineStart, 4, "2147483647");
    test::WriteFileBytes(f.ProjectPath, text);
    const std::string out = f.Home.Dir().File("mix.wav");
    CliRun run = f.Run({ "mixdown", "p", "-o", out });
    EXPECT_EQ(run.Code, 1);
    EXPECT_NE(run.Err.find("2147483647"), std::string::npos) << run.Err;
    EXPECT_FALSE(FileExists(out));
    run = f.Script("MARKIN 1\n");
    EXPECT_EQ(run.Code, 1);
    EXPECT_EQ(f.Bytes(), text);
}

TEST(ProjectLock, ASaveWithoutAnEditLeavesTheFileByteForByte)
{
    Fixture f;
    // Track 2 is current but not selected; only track 0 is.
    CliRun run = f.Script("CURRENT_TRACK 2\nSELECT_TRACKS 0\nMARKIN 0:00:00.010\n");
    ASSERT_EQ(run.Code, 0) << run.Err;
    const std::string before = f.Bytes();
    run = f.Script("# nothing\n");
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(f.Bytes(), before);
}

TEST(ProjectLock, SaveAllOnAFullDiskNamesItAndLeavesNoFolder)
{
    Fixture f;
    const std::string folder = f.Home.Dir().File("full");
    ArmFault(FaultPoint::Write, 1, FaultKind::NoSpace);
    CliRun run = f.Run({ "saveall", "p", folder });
    ClearFaults();
    EXPECT_EQ(run.Code, 1);
    EXPECT_NE(run.Err.find(WriteFailureText(ENOSPC)), std::string::npos) << run.Err;
    EXPECT_FALSE(std::filesystem::exists(folder));
}

} // namespace tarvok
