// The folders a replacing SAVEALL writes beside its target carry the writer's process ID, so
// that those of ended processes are cleared and those of running ones are never touched.

#include "core/write_out_all.h"

#include "base/file_name.h"
#include "core/file_io.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include <sys/wait.h>
#include <unistd.h>

namespace tarvok {

namespace {

using test::DeadPid;
using test::Names;

namespace fs = std::filesystem;

} // namespace

TEST(SaveAllFolder, WorkFolderNamesCarryTheProcessAndTheTarget)
{
    const std::string name = FileNameOf(SaveAllWorkFolderName("/x/out", 4242, 7));
    EXPECT_EQ(FolderOf(SaveAllWorkFolderName("/x/out", 4242, 7)), "/x/");
    int64_t pid = 0;
    EXPECT_TRUE(IsSaveAllWorkFolderName(name, "out", &pid));
    EXPECT_EQ(pid, 4242);
    EXPECT_FALSE(IsSaveAllWorkFolderName(name, "ou"));
    EXPECT_FALSE(IsSaveAllWorkFolderName(name, "out2"));
    for (const char* other : { "out01", "out", ".out.x-1.saveall", ".out.12-.saveall", "" }) {
        SCOPED_TRACE(other);
        EXPECT_FALSE(IsSaveAllWorkFolderName(other, "out"));
    }
}

TEST(SaveAllFolder, LeftoversOfEndedProcessesGoAndRunningOnesStay)
{
    test::TempDir dir;
    const std::string bare = dir.File("out");
    fs::create_directories(bare);
    const int64_t dead = DeadPid();
    const std::string stale = SaveAllWorkFolderName(bare, dead, 1);
    const std::string staleWithUserFile = SaveAllWorkFolderName(bare, dead, 2);
    const std::string live = SaveAllWorkFolderName(bare, ::getppid(), 1);
    for (const std::string& folder : { stale, staleWithUserFile, live }) {
        fs::create_directories(folder);
        test::WriteFileBytes(folder + "/00000001.wav", "w");
        test::WriteFileBytes(folder + "/out.tvp", "p");
    }
    test::WriteFileBytes(staleWithUserFile + "/notes.txt", "mine");
    fs::create_directories(dir.File("out01")); // a folder of the user's that looks alike

    EXPECT_EQ(RemoveStaleSaveAllFolders(bare, "out"), 1);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_EQ(Names(live), (std::set<std::string> { "00000001.wav", "out.tvp" }));
    // A leftover holding a file of the user's keeps it, under a name that is no longer a
    // work folder's, so that it is seen and never cleared.
    EXPECT_FALSE(fs::exists(staleWithUserFile));
    bool found = false;
    for (const std::string& name : Names(dir.Path())) {
        if (name == "out" || name == "out01" || IsSaveAllWorkFolderName(name, "out"))
            continue;
        found = true;
        EXPECT_EQ(Names(dir.File(name)), (std::set<std::string> { "notes.txt" })) << name;
    }
    EXPECT_TRUE(found);
    EXPECT_TRUE(fs::exists(dir.File("out01")));
    EXPECT_TRUE(fs::exists(bare));
}

} // namespace tarvok
