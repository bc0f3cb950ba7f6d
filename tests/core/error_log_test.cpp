#include "core/error_log.h"

#include "core/paths.h"
#include "core/settings.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>

namespace tarvok {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::ScopedHome;
using test::TempDir;
using test::WriteFileBytes;
using TimePoint = std::chrono::system_clock::time_point;

TimePoint LocalMoment(int pYear, int pMonth, int pDay, int pHour, int pMinute, int pSecond)
{
    std::tm t {};
    t.tm_year = pYear - 1900;
    t.tm_mon = pMonth - 1;
    t.tm_mday = pDay;
    t.tm_hour = pHour;
    t.tm_min = pMinute;
    t.tm_sec = pSecond;
    t.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&t));
}

bool Exists(const std::string& pPath)
{
    std::error_code ec;
    return fs::exists(pPath, ec);
}

// A clock that a test sets by hand.
struct ManualClock {
    TimePoint Now;
    ErrorLog::Clock Function()
    {
        return [this] { return Now; };
    }
};

TEST(ErrorLog, FolderComesFromTheCommonSectionElseTheDefault)
{
    ScopedHome home;
    TempDir dir;
    const std::string bare = dir.Path().substr(0, dir.Path().size() - 1);
    struct Case {
        const char* What;
        const char* Section;
        std::string Value;
        std::string Expected;
    };
    const std::string fallback = home.StateHome() + "/lumora/tarvok2/log/";
    const Case kCases[] = {
        { "common, no slash", "common", bare, dir.Path() },
        { "common, with slash", "common", dir.Path(), dir.Path() },
        { "common, empty marker", "common", "***", fallback },
        { "main section only", "tarvok2", dir.Path(), fallback },
        { "relative", "common", "logs", fallback },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.What);
        MemorySettingsBackend backend;
        backend.WriteValue(c.Section, "DebugLogPath", c.Value);
        Settings settings(backend);
        EXPECT_EQ(ResolveLogFolder(settings), c.Expected);
        EXPECT_EQ(ErrorLog(settings).Folder(), c.Expected);
    }
    MemorySettingsBackend empty;
    EXPECT_EQ(ResolveLogFolder(Settings(empty)), fallback);
    EXPECT_EQ(DefaultLogFolder(), fallback);
}

TEST(ErrorLog, EntriesOfOneDayAppendToOneFilePerKind)
{
    TempDir dir;
    ManualClock clock { LocalMoment(2024, 5, 6, 7, 8, 9) };
    const std::string folder = dir.File("a/b/log/");
    ErrorLog log(folder, clock.Function());

    log.WriteLog("ignored while disabled", true, false);
    EXPECT_FALSE(Exists(folder));

    log.WriteLog("SetupPinsToDecode pin connect failed", true, true);
    log.SetEnabled(true);
    clock.Now = LocalMoment(2024, 5, 6, 23, 59, 59);
    log.WriteLog("second", true, false);
    log.WriteLog("note\r\nwith a break", false, false);

    EXPECT_EQ(ReadFileBytes(folder + "20240506tarvok2.err"),
        "2024/05/06 07:08:09 SetupPinsToDecode pin connect failed\r\n"
        "2024/05/06 23:59:59 second\r\n");
    EXPECT_EQ(ReadFileBytes(folder + "20240506tarvok2.log"),
        "2024/05/06 23:59:59 note  with a break\r\n");
}

TEST(ErrorLog, AnEntryAfterMidnightStartsANewFile)
{
    TempDir dir;
    ManualClock clock { LocalMoment(2023, 12, 31, 23, 59, 59) };
    ErrorLog log(dir.Path(), clock.Function());
    log.WriteLog("before", true, true);
    clock.Now = LocalMoment(2024, 1, 1, 0, 0, 0);
    log.WriteLog("after", true, true);

    EXPECT_EQ(ReadFileBytes(dir.File("20231231tarvok2.err")), "2023/12/31 23:59:59 before\r\n");
    EXPECT_EQ(ReadFileBytes(dir.File("20240101tarvok2.err")), "2024/01/01 00:00:00 after\r\n");
    EXPECT_EQ(log.LogFileName(clock.Now, false), dir.File("20240101tarvok2.log"));
}

TEST(ErrorLog, WritingWhereNoFileCanBeMadeFailsQuietly)
{
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("plain"), "x"));
    ErrorLog underFile(dir.File("plain/log/"));
    underFile.WriteLog("lost", true, true);
    EXPECT_EQ(ReadFileBytes(dir.File("plain")), "x");

    ManualClock clock { LocalMoment(2024, 5, 6, 1, 2, 3) };
    fs::create_directory(dir.File("20240506tarvok2.err"));
    ErrorLog blocked(dir.Path(), clock.Function());
    blocked.WriteLog("lost", true, true);
    EXPECT_TRUE(fs::is_directory(dir.File("20240506tarvok2.err")));
}

TEST(ErrorLog, RecognisesOnlyItsOwnFileNames)
{
    const std::pair<const char*, bool> kCases[] = {
        { "20240101tarvok2.err", true },
        { "20240101tarvok2.log", true },
        { "2024010tarvok2.err", false },
        { "2024010xtarvok2.err", false },
        { "20240101tarvok2.txt", false },
        { "20240101tarvok3.log", false },
        { "20240101tarvok2.err.bak", false },
        { "notes.log", false },
    };
    for (auto [name, expected] : kCases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(IsLogFileName(name), expected);
    }
}

TEST(ErrorLog, StartUpDeletesOnlyOurLogFilesOlderThan90Days)
{
    TempDir dir;
    ManualClock clock { LocalMoment(2024, 6, 1, 12, 0, 0) };
    const auto daysAgo = [&](int pDays) {
        return std::chrono::file_clock::from_sys(clock.Now - std::chrono::hours(24) * pDays);
    };
    const std::pair<const char*, int> kFiles[] = {
        { "20240101tarvok2.err", 91 },
        { "20240102tarvok2.log", 91 },
        { "20240103tarvok2.err", 89 },
        { "notes.txt", 400 },
        { "20240101tarvok2.err.bak", 400 },
        { "sub/20230101tarvok2.err", 400 },
        { "sub/old.txt", 400 },
    };
    fs::create_directory(dir.File("sub"));
    for (auto [name, age] : kFiles) {
        ASSERT_TRUE(WriteFileBytes(dir.File(name), "x"));
        fs::last_write_time(dir.File(name), daysAgo(age));
    }
    fs::last_write_time(dir.File("sub"), daysAgo(400));
    ErrorLog log(dir.Path(), clock.Function());
    EXPECT_FALSE(log.Enabled());

    EXPECT_EQ(log.CleanAtStart(), 2);

    EXPECT_TRUE(log.Enabled());
    EXPECT_FALSE(Exists(dir.File("20240101tarvok2.err")));
    EXPECT_FALSE(Exists(dir.File("20240102tarvok2.log")));
    for (const char* kept : { "20240103tarvok2.err", "notes.txt", "20240101tarvok2.err.bak",
             "sub/20230101tarvok2.err", "sub/old.txt" })
        EXPECT_TRUE(Exists(dir.File(kept))) << kept;
}

TEST(ErrorLog, StartUpRemovesTheFolderWhenNothingIsLeft)
{
    TempDir dir;
    ManualClock clock { LocalMoment(2024, 6, 1, 12, 0, 0) };
    const std::string folder = dir.File("log/");
    fs::create_directory(folder);
    ASSERT_TRUE(WriteFileBytes(folder + "20240101tarvok2.err", "x"));
    fs::last_write_time(folder + "20240101tarvok2.err",
        std::chrono::file_clock::from_sys(clock.Now - std::chrono::hours(24) * 91));
    ErrorLog log(folder, clock.Function());

    EXPECT_EQ(log.CleanAtStart(), 1);
    EXPECT_FALSE(Exists(folder));

    // A missing folder is no failure, and the next entry makes it again.
    EXPECT_EQ(log.CleanAtStart(), 0);
    log.WriteLog("again", false, false);
    EXPECT_EQ(ReadFileBytes(folder + "20240601tarvok2.log"), "2024/06/01 12:00:00 again\r\n");
}

} // namespace
} // namespace tarvok
