// Two processes (or two windows of one) sharing a data folder: undo snapshots, working-file
// names, the edit lock and the safe replacement of files.

#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tarvok {
namespace {

using test::DeadPid;
using test::Names;

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

TEST(ProcessSafety, TwoDataFoldersOnOneFolderHaveTheirOwnSnapshots)
{
    TempDir dir;
    DataFolder a(dir.Path());
    DataFolder b(dir.Path());
    EXPECT_NE(a.UndoSnapshotName(1), b.UndoSnapshotName(1));
    ASSERT_TRUE(WriteFileBytes(a.UndoSnapshotName(1), "a1"));
    ASSERT_TRUE(WriteFileBytes(a.UndoSnapshotName(2), "a2"));
    ASSERT_TRUE(WriteFileBytes(b.UndoSnapshotName(1), "b1"));
    ASSERT_TRUE(WriteFileBytes(b.UndoSnapshotName(2), "b2"));

    // Redo steps beyond 1 go for a alone; then a's whole history; b's stays untouched.
    EXPECT_EQ(a.DeleteOwnSnapshots(1), 1);
    EXPECT_TRUE(FileExists(a.UndoSnapshotName(1)));
    EXPECT_FALSE(FileExists(a.UndoSnapshotName(2)));
    EXPECT_EQ(a.DeleteOwnSnapshots(), 1);
    EXPECT_EQ(ReadFileBytes(b.UndoSnapshotName(1)), "b1");
    EXPECT_EQ(ReadFileBytes(b.UndoSnapshotName(2)), "b2");
}

TEST(ProcessSafety, SnapshotsOfEndedProcessesAreStaleAndThoseOfRunningOnesAreNot)
{
    TempDir dir;
    DataFolder own(dir.Path());
    const std::string dead = "~u" + std::to_string(DeadPid()) + "-1-000003.tvp";
    // PID 1 always runs: another live process's history.
    const std::string live = "~u1-1-000003.tvp";
    ASSERT_TRUE(WriteFileBytes(dir.File(dead), "dead"));
    ASSERT_TRUE(WriteFileBytes(dir.File(live), "live"));
    EXPECT_EQ(own.NewestStaleSnapshot(), dir.File(dead));
    EXPECT_EQ(own.DeleteOwnSnapshots(), 1);
    EXPECT_FALSE(FileExists(dir.File(dead)));
    EXPECT_TRUE(FileExists(dir.File(live)));
    EXPECT_EQ(own.NewestStaleSnapshot(), "");
}

TEST(ProcessSafety, WorkingFileNamesNeverRepeatBetweenTwoCounters)
{
    // Two processes start with the same counters: each name is taken on the disk before it
    // is handed out, so the second never gets the first one's.
    TempDir dir;
    DataFolder a(dir.Path());
    DataFolder b(dir.Path());
    for (int kind : { kTempWave, kTempPeak, kTempEnvelope }) {
        SCOPED_TRACE(kind);
        std::set<std::string> seen;
        for (int i = 0; i < 5; ++i) {
            std::string x = a.NewTempName(kind);
            std::string y = b.NewTempName(kind);
            ASSERT_FALSE(x.empty());
            ASSERT_FALSE(y.empty());
            EXPECT_TRUE(seen.insert(x).second) << x;
            EXPECT_TRUE(seen.insert(y).second) << y;
            EXPECT_TRUE(FileExists(x));
        }
    }
}

TEST(ProcessSafety, CleanUpLeavesAFolderAloneWhileAnotherProcessWorksInIt)
{
    TempDir dir;
    HeadlessUi ui;
    ASSERT_TRUE(WriteFileBytes(dir.File("~t000001.wav"), "unreferenced"));
    // A running process (PID 1 always runs) has entered the folder.
    ASSERT_TRUE(WriteFileBytes(dir.File("~u1-1.run"), ""));
    EXPECT_EQ(CleanDataFolder(dir.Path(), 0, ui), -2);
    EXPECT_TRUE(FileExists(dir.File("~t000001.wav")));
    // Once that process is gone, its marker counts for nothing.
    std::filesystem::remove(dir.File("~u1-1.run"));
    ASSERT_TRUE(WriteFileBytes(dir.File("~u" + std::to_string(DeadPid()) + "-1.run"), ""));
    EXPECT_EQ(CleanDataFolder(dir.Path(), 0, ui), 1);
    EXPECT_FALSE(FileExists(dir.File("~t000001.wav")));
}

TEST(ProcessSafety, TheEditLockRefusesASecondHolderUntilReleased)
{
    TempDir dir;
    const std::string project = dir.File("song.tvp");
    ASSERT_TRUE(WriteFileBytes(project, "x"));
    FileLock first;
    ASSERT_TRUE(first.Acquire(project));
    FileLock second;
    int64_t holder = 0;
    EXPECT_FALSE(second.Acquire(project, &holder));
    EXPECT_EQ(holder, ::getpid());
    first.Release();
    EXPECT_TRUE(second.Acquire(project));
}

TEST(ProcessSafety, ALockLeftByAnEndedProcessCountsForNothing)
{
    TempDir dir;
    const std::string project = dir.File("song.tvp");
    ASSERT_TRUE(WriteFileBytes(project, "x"));
    // A process that took the lock and was killed: its lock file stays on the disk.
    pid_t child = ::fork();
    if (child == 0) {
        FileLock lock;
        ::_exit(lock.Acquire(project) ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_TRUE(FileExists(project + ".lock"));
    FileLock lock;
    EXPECT_TRUE(lock.Acquire(project));
}

TEST(ProcessSafety, TheEditLockHoldsAcrossProcesses)
{
    TempDir dir;
    const std::string project = dir.File("song.tvp");
    ASSERT_TRUE(WriteFileBytes(project, "x"));
    FileLock lock;
    ASSERT_TRUE(lock.Acquire(project));
    pid_t child = ::fork();
    if (child == 0) {
        FileLock other;
        int64_t holder = 0;
        bool refused = !other.Acquire(project, &holder) && holder == ::getppid();
        ::_exit(refused ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(ProcessSafety, ReplacementsWriteThroughALinkAndLeaveNoTemporaryFile)
{
    TempDir dir;
    std::filesystem::create_directory(dir.File("real"));
    ASSERT_TRUE(WriteFileBytes(dir.File("real/song.tvp"), "old"));
    std::filesystem::create_symlink("real/song.tvp", dir.File("song.tvp"));
    ASSERT_TRUE(WriteFileAtomic(dir.File("song.tvp"), "new", 3));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("song.tvp")));
    EXPECT_EQ(ReadFileBytes(dir.File("real/song.tvp")), "new");
    EXPECT_EQ(Names(dir.Path()), (std::set<std::string> { "real", "song.tvp" }));
    EXPECT_EQ(Names(dir.File("real")), (std::set<std::string> { "song.tvp" }));
}

TEST(ProcessSafety, TemporaryFilesOfEndedProcessesAreRemovedAndOthersKept)
{
    TempDir dir;
    const std::string dead = ".song.tvp." + std::to_string(DeadPid()) + "-4.part";
    const std::string live = ".song.tvp.1-4.part";
    const std::string mine = ".song.tvp." + std::to_string(::getpid()) + "-4.part";
    for (const std::string& name : { dead, live, mine, std::string("notes.part") })
        ASSERT_TRUE(WriteFileBytes(dir.File(name), "x"));
    EXPECT_EQ(RemoveStaleTemporaries(dir.Path()), 1);
    EXPECT_FALSE(FileExists(dir.File(dead)));
    EXPECT_TRUE(FileExists(dir.File(live)));
    EXPECT_TRUE(FileExists(dir.File(mine)));
    EXPECT_TRUE(FileExists(dir.File("notes.part")));
}

TEST(ProcessSafety, EveryWritePointOfAReplacementKeepsTheOldOrTheNewFile)
{
    TempDir dir;
    const std::string path = dir.File("f.bin");
    const std::string old(5000, 'o');
    const std::string fresh(9000, 'n');
    struct Case {
        FaultPoint Point;
        FaultKind Kind;
    };
    const Case kCases[] = { { FaultPoint::Write, FaultKind::Error },
        { FaultPoint::Write, FaultKind::ShortWrite }, { FaultPoint::Write, FaultKind::NoSpace },
        { FaultPoint::Flush, FaultKind::Error }, { FaultPoint::Rename, FaultKind::Error } };
    for (const Case& c : kCases) {
        SCOPED_TRACE(static_cast<int>(c.Point) * 10 + static_cast<int>(c.Kind));
        ASSERT_TRUE(WriteFileBytes(path, old));
        ArmFault(c.Point, 1, c.Kind);
        EXPECT_FALSE(WriteFileAtomic(path, fresh.data(), static_cast<int64_t>(fresh.size())));
        EXPECT_TRUE(FaultFired());
        ClearFaults();
        EXPECT_EQ(ReadFileBytes(path), old);
        EXPECT_EQ(Names(dir.Path()), (std::set<std::string> { "f.bin" }));
    }
    ASSERT_TRUE(WriteFileAtomic(path, fresh.data(), static_cast<int64_t>(fresh.size())));
    EXPECT_EQ(ReadFileBytes(path), fresh);
}

} // namespace
} // namespace tarvok

namespace tarvok {

TEST(ProcessSafety, TemporariesOfKilledSavesOutsideTheDataFolderGoWithTheNextWriteOrCleanUp)
{
    const std::string pid = std::to_string(DeadPid());
    // What a killed project save, mixdown and file copy leave beside their targets.
    const std::vector<std::string> leftovers = { ".x.tvp." + pid + "-1.part",
        ".mix.wav." + pid + "-2.part", ".~tmp." + pid + "-0042.part" };
    for (const std::string& name : leftovers)
        EXPECT_TRUE(IsReplaceTempName(name)) << name;

    // The next replacement in that folder, of any file, removes them.
    {
        TempDir out;
        for (const std::string& name : leftovers)
            ASSERT_TRUE(WriteFileBytes(out.File(name), "half"));
        ASSERT_TRUE(WriteFileAtomic(out.File("other.wav"), "new", 3));
        for (const std::string& name : leftovers)
            EXPECT_FALSE(FileExists(out.File(name))) << name;
    }
    // So does the clean-up of a data folder for the folders of its outside projects.
    {
        TempDir data;
        TempDir out;
        ASSERT_TRUE(WriteFileBytes(out.File("x.tvp"),
            "0,0,44100,0,0,3,0,0,0,0,200,200,10,0,0,8,0,0,3,0,1,64,0,40\r\n"
            "1,0,1,200,200,0,0,0,0,0,\"Track 1\",\"\"\r\n"));
        ASSERT_TRUE(NoteOutsideProject(data.Path(), out.File("x.tvp")));
        for (const std::string& name : leftovers)
            ASSERT_TRUE(WriteFileBytes(out.File(name), "half"));
        HeadlessUi ui;
        EXPECT_EQ(CleanDataFolder(data.Path(), 0, ui), 0);
        for (const std::string& name : leftovers)
            EXPECT_FALSE(FileExists(out.File(name))) << name;
        EXPECT_TRUE(FileExists(out.File("x.tvp")));
    }
}

} // namespace tarvok
