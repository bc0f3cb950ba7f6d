#include "platform/inifile/ini_settings_backend.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tarvok {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

TEST(IniSettingsBackend, MissingFileReadsAsEmptyAndFirstWriteCreatesFolderAndFile)
{
    TempDir dir;
    IniSettingsBackend backend(dir.File("a/b"));
    Settings s(backend);
    EXPECT_EQ(s.GetSetting("nFreq", int32_t { 44100 }), 44100);
    ASSERT_TRUE(s.SaveSetting("nFreq", int32_t { 48000 }));
    EXPECT_EQ(ReadFileBytes(dir.File("a/b/tarvok2.ini")), "[tarvok2]\r\nnFreq=48000\r\n");
    EXPECT_EQ(s.GetSetting("nFreq", int32_t { 0 }), 48000);
}

TEST(IniSettingsBackend, CorruptLinesAreSkippedAndKeptOnRewrite)
{
    TempDir dir;
    WriteFileBytes(dir.File("tarvok2.ini"),
        "\xEF\xBB\xBF[tarvok2]\nnFreq=48000\ngarbage line\n=novalue\n\xFF\xFE binary\nTrackNum = 3 "
        "\r\n");
    IniSettingsBackend backend(dir.Path());
    Settings s(backend);
    EXPECT_EQ(s.GetSetting("nFreq", int32_t { 0 }), 48000);
    EXPECT_EQ(s.GetSetting("TrackNum", int32_t { 7 }), 3);
    ASSERT_TRUE(s.SaveSetting("nFreq", int32_t { 96000 }));
    std::string text = ReadFileBytes(dir.File("tarvok2.ini"));
    EXPECT_NE(text.find("garbage line\r\n"), std::string::npos);
    EXPECT_NE(text.find("nFreq=96000\r\n"), std::string::npos);
    EXPECT_EQ(s.GetSetting("TrackNum", int32_t { 7 }), 3);
}

TEST(IniSettingsBackend, UnreadableStoreGivesDefaultsAndFailedWritesReportFalse)
{
    TempDir dir;
    // A folder where the file should be: nothing can be read, and the rename fails.
    std::filesystem::create_directories(dir.File("tarvok2.ini"));
    IniSettingsBackend backend(dir.Path());
    Settings s(backend);
    EXPECT_EQ(s.GetSetting("nFreq", int32_t { 44100 }), 44100);
    EXPECT_FALSE(s.SaveSetting("nFreq", int32_t { 48000 }));
    // No temporary file is left behind.
    size_t entries = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.Path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
}

TEST(IniSettingsBackend, ValuesThatWouldBreakTheFileAreRefused)
{
    TempDir dir;
    IniSettingsBackend backend(dir.Path());
    EXPECT_FALSE(backend.WriteValue(kMainSection, "Key", "two\nlines"));
    EXPECT_FALSE(backend.WriteValue(kMainSection, "a=b", "x"));
    EXPECT_FALSE(backend.WriteValue(kMainSection, "", "x"));
    EXPECT_TRUE(backend.WriteValue(kMainSection, "Path", "C:\\work\\日本語 = ok"));
    EXPECT_EQ(backend.ReadValue(kMainSection, "path"), "C:\\work\\日本語 = ok");
}

TEST(IniSettingsBackend, SectionsLiveInTheirOwnFiles)
{
    TempDir dir;
    IniSettingsBackend backend(dir.Path());
    ASSERT_TRUE(backend.WriteValue(kCommonSection, "DebugLogPath", "/logs/"));
    EXPECT_TRUE(std::filesystem::exists(dir.File("common.ini")));
    EXPECT_FALSE(backend.ReadValue(kMainSection, "DebugLogPath").has_value());
    EXPECT_TRUE(backend.DeleteValue(kCommonSection, "debuglogpath"));
    EXPECT_FALSE(backend.ReadValue(kCommonSection, "DebugLogPath").has_value());
    EXPECT_FALSE(backend.DeleteValue(kCommonSection, "DebugLogPath"));
}

} // namespace tarvok
