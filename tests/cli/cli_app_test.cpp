#include "cli/cli_app.h"

#include "core/file_io.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace tarvok {

namespace {

struct CliRun {
    int Code;
    std::string Out;
    std::string Err;
};

CliRun RunTool(std::vector<std::string> pArgs)
{
    std::ostringstream out, err;
    int code = RunCli(pArgs, out, err);
    return { code, out.str(), err.str() };
}

} // namespace

TEST(Cli, SettingsSetThenGetGoesThroughTheIniFileUnderXdgConfigHome)
{
    test::ScopedHome home;
    ASSERT_EQ(RunTool({ "settings", "set", "nFreq", "48000" }).Code, 0);
    CliRun get = RunTool({ "settings", "get", "nFreq" });
    EXPECT_EQ(get.Code, 0);
    EXPECT_EQ(get.Out, "48000\n");
    std::string ini = test::ReadFileBytes(home.ConfigHome() + "/lumora/tarvok2.ini");
    EXPECT_NE(ini.find("nFreq=48000\r\n"), std::string::npos);
}

TEST(Cli, EmptyValueIsStoredAsStarsAndReadsBackEmpty)
{
    test::ScopedHome home;
    ASSERT_EQ(RunTool({ "settings", "set", "DataPath", "" }).Code, 0);
    EXPECT_NE(test::ReadFileBytes(home.ConfigHome() + "/lumora/tarvok2.ini").find("DataPath=***"),
        std::string::npos);
    EXPECT_EQ(RunTool({ "settings", "get", "DataPath" }).Out, "\n");
}

TEST(Cli, GetGivesDefaultsAndListShowsEveryKey)
{
    test::ScopedHome home;
    EXPECT_EQ(RunTool({ "settings", "get", "TrackNum" }).Out, "7\n");
    EXPECT_EQ(RunTool({ "settings", "get", "DevOutID_4" }).Out, "0\n");
    EXPECT_EQ(RunTool({ "settings", "get", "TrackLevelL_05" }).Out, "207\n");
    RunTool({ "settings", "set", "FadeTableType", "0" });
    EXPECT_EQ(RunTool({ "settings", "get", "TrackLevelL_05" }).Out, "128\n");
    RunTool({ "settings", "set", "MRUList_2", "/x/a.tvp" });
    CliRun list = RunTool({ "settings", "list" });
    EXPECT_EQ(list.Code, 0);
    EXPECT_NE(list.Out.find("nFreq=44100\n"), std::string::npos);
    EXPECT_NE(list.Out.find("MRUList_2=/x/a.tvp\n"), std::string::npos);
}

TEST(Cli, CommonKeysGoToTheCommonFile)
{
    test::ScopedHome home;
    ASSERT_EQ(RunTool({ "settings", "set", "DebugLogPath", "/tmp/logs/" }).Code, 0);
    EXPECT_NE(test::ReadFileBytes(home.ConfigHome() + "/lumora/common.ini")
                  .find("DebugLogPath=/tmp/logs/"),
        std::string::npos);
    EXPECT_EQ(RunTool({ "settings", "get", "DebugLogPath" }).Out, "/tmp/logs/\n");
}

TEST(Cli, BadArgumentsGiveOneErrorLineAndANonZeroCode)
{
    test::ScopedHome home;
    const std::vector<std::vector<std::string>> kCases = {
        {},
        { "bogus" },
        { "--bogus" },
        { "--data-folder" },
        { "settings" },
        { "settings", "frob" },
        { "settings", "get" },
        { "settings", "get", "NoSuchKey" },
        { "settings", "set", "nFreq" },
        { "settings", "set", "nFreq", "fast" },
        { "settings", "set", "NoSuchKey", "1" },
        { "settings", "set", "PlayTrimDB", "1x" },
        { "settings", "set", "BitRate", "70000" },
        { "demo", "extra" },
    };
    for (const auto& args : kCases) {
        std::string joined;
        for (const auto& a : args)
            joined += a + " ";
        SCOPED_TRACE(joined);
        CliRun r = RunTool(args);
        EXPECT_NE(r.Code, 0);
        EXPECT_FALSE(r.Err.empty());
    }
    // A refused value leaves the stored one alone.
    RunTool({ "settings", "set", "nFreq", "48000" });
    RunTool({ "settings", "set", "nFreq", "fast" });
    EXPECT_EQ(RunTool({ "settings", "get", "nFreq" }).Out, "48000\n");
}

TEST(Cli, DemoStartsReportsAndEndsInTheGivenDataFolder)
{
    test::ScopedHome home;
    std::string folder = home.Dir().File("my data");
    CliRun r = RunTool({ "--data-folder", folder, "demo" });
    EXPECT_EQ(r.Code, 0) << r.Err;
    EXPECT_NE(r.Out.find("data folder:   " + folder + "/"), std::string::npos);
    EXPECT_NE(r.Out.find("tracks:        8"), std::string::npos);
    EXPECT_NE(r.Out.find("ended cleanly"), std::string::npos);
    // The demo project and its mixdown stay; the clean-up at exit keeps the project's files.
    EXPECT_TRUE(std::filesystem::exists(folder + "/demo.tvp"));
    EXPECT_TRUE(std::filesystem::exists(folder + "/demo.wav"));
    CliRun info = RunTool({ "--data-folder", folder, "info", "demo", "--json" });
    EXPECT_EQ(info.Code, 0) << info.Err;
    EXPECT_NE(info.Out.find("\"ProjectLength\":176400"), std::string::npos) << info.Out;
}

TEST(Cli, HelpPrintsUsage)
{
    CliRun r = RunTool({ "--help" });
    EXPECT_EQ(r.Code, 0);
    EXPECT_NE(r.Out.find("usage: tarvok2-cli"), std::string::npos);
}

TEST(Cli, SettingsSetNamesAFullDisk)
{
    // A key of the main file and one of another section's file.
    for (const char* key : { "nFreq", "DebugLogPath" }) {
        SCOPED_TRACE(key);
        test::ScopedHome home;
        ArmFault(FaultPoint::Write, 1, FaultKind::NoSpace);
        const CliRun r = RunTool({ "settings", "set", key, "48000" });
        const bool fired = FaultFired();
        ClearFaults();
        ASSERT_TRUE(fired);
        EXPECT_EQ(r.Code, 1);
        EXPECT_NE(r.Err.find("could not write the settings file"), std::string::npos) << r.Err;
        EXPECT_NE(r.Err.find("ディスクの空き容量が足りません"), std::string::npos) << r.Err;
    }
}

} // namespace tarvok
