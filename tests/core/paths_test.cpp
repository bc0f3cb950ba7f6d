#include "core/paths.h"

#include "support/temp_dir.h"

#include <cstdlib>
#include <optional>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvok {

namespace {

using test::TempDir;

/// Sets XDG_RUNTIME_DIR for the object's life and restores what was there.
class ScopedRuntimeDir {
public:
    explicit ScopedRuntimeDir(const std::string& pValue)
    {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR"))
            saved_ = old;
        ::setenv("XDG_RUNTIME_DIR", pValue.c_str(), 1);
    }
    ~ScopedRuntimeDir()
    {
        if (saved_)
            ::setenv("XDG_RUNTIME_DIR", saved_->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }
    ScopedRuntimeDir(const ScopedRuntimeDir&) = delete;
    ScopedRuntimeDir& operator=(const ScopedRuntimeDir&) = delete;

private:
    std::optional<std::string> saved_;
};

} // namespace

TEST(PrivateRuntimeFolder, IsMadeInTheRuntimeFolderForThisUserOnly)
{
    TempDir dir;
    ScopedRuntimeDir runtime(dir.Path());
    const std::string folder = PrivateRuntimeFolder();
    ASSERT_EQ(folder, dir.File("tarvok2/"));
    struct stat info { };
    ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(info.st_uid, ::getuid());
    // Asked again, the same folder serves.
    EXPECT_EQ(PrivateRuntimeFolder(), folder);
}

TEST(PrivateRuntimeFolder, RefusesAFolderOthersCouldHavePlantedIn)
{
    struct Case {
        const char* What;
        void (*Plant)(const std::string& pPath);
    };
    const Case cases[] = {
        { "a folder others may enter",
            [](const std::string& p) {
                ::mkdir(p.c_str(), 0700);
                ::chmod(p.c_str(), 0777);
            } },
        { "a link to a folder",
            [](const std::string& p) { ASSERT_EQ(::symlink("/tmp", p.c_str()), 0); } },
        { "a file", [](const std::string& p) { ASSERT_TRUE(test::WriteFileBytes(p, "x")); } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        TempDir dir;
        ScopedRuntimeDir runtime(dir.Path());
        c.Plant(dir.File("tarvok2"));
        EXPECT_EQ(PrivateRuntimeFolder(), "");
    }
}

TEST(PrivateRuntimeFolder, RefusesAnotherUsersFolder)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "only the superuser can make a folder of another user";
    TempDir dir;
    ScopedRuntimeDir runtime(dir.Path());
    const std::string planted = dir.File("tarvok2");
    ASSERT_EQ(::mkdir(planted.c_str(), 0700), 0);
    ASSERT_EQ(::chown(planted.c_str(), 65534, 65534), 0);
    EXPECT_EQ(PrivateRuntimeFolder(), "");
}

} // namespace tarvok
