#include "platform/inifile/ini_settings_backend.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

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

TEST(IniSettingsBackend, APipeAtTheSettingsPathReadsAsEmptyWithoutBlockingAndStays)
{
    TempDir dir;
    IniSettingsBackend backend(dir.Path());
    const std::string file = backend.FileOf(kMainSection);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    auto calls = std::async(std::launch::async, [&] {
        Settings s(backend);
        int32_t value = s.GetSetting("nFreq", int32_t { 44100 });
        bool wrote = s.SaveSetting("nFreq", int32_t { 48000 });
        return std::make_pair(value, wrote);
    });
    // A reader blocked in open() is let go by opening the writing end, so that a failure
    // ends the test instead of hanging it.
    if (calls.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        int fd = ::open(file.c_str(), O_WRONLY | O_NONBLOCK);
        ADD_FAILURE() << "a settings call blocked on the pipe";
        if (fd >= 0)
            ::close(fd);
    }
    auto [value, wrote] = calls.get();
    EXPECT_EQ(value, 44100);
    EXPECT_FALSE(wrote);
    struct stat st { };
    ASSERT_EQ(::lstat(file.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(IniSettingsBackend, EveryLineEndFormIsRead)
{
    const struct {
        const char* Name;
        std::string Text;
    } cases[] = {
        { "LF", "[tarvok2]\nnFreq=48000\nTrackNum=3\n" },
        { "CR LF", "[tarvok2]\r\nnFreq=48000\r\nTrackNum=3\r\n" },
        { "CR", "[tarvok2]\rnFreq=48000\rTrackNum=3\r" },
        { "CR without a last end", "[tarvok2]\rnFreq=48000\rTrackNum=3" },
        { "mixed", "[tarvok2]\r\n\rnFreq=48000\n\r\rTrackNum=3\r\n" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        WriteFileBytes(dir.File("tarvok2.ini"), c.Text);
        IniSettingsBackend backend(dir.Path());
        Settings s(backend);
        EXPECT_EQ(s.GetSetting("nFreq", int32_t { 0 }), 48000);
        EXPECT_EQ(s.GetSetting("TrackNum", int32_t { 7 }), 3);
        // A rewrite keeps both and writes CR LF ends.
        ASSERT_TRUE(s.SaveSetting("ShowMRU", int32_t { 0 }));
        EXPECT_EQ(
            ReadFileBytes(dir.File("tarvok2.ini")).find('\r', 0), std::string("[tarvok2]").size());
        IniSettingsBackend again(dir.Path());
        Settings t(again);
        EXPECT_EQ(t.GetSetting("nFreq", int32_t { 0 }), 48000);
        EXPECT_EQ(t.GetSetting("TrackNum", int32_t { 7 }), 3);
        EXPECT_EQ(t.GetSetting("ShowMRU", int32_t { 1 }), 0);
    }
}

TEST(IniSettingsBackend, ALargeFileIsReadOncePerChangeNotOncePerKey)
{
    TempDir dir;
    std::string text = "[tarvok2]\r\n";
    constexpr int kLines = 50000;
    for (int i = 0; i < kLines; ++i)
        text += "Key" + std::to_string(i) + "=" + std::to_string(i * 3) + "\r\n";
    WriteFileBytes(dir.File("tarvok2.ini"), text);
    IniSettingsBackend backend(dir.Path());
    Settings s(backend);
    for (int i = 0; i < kLines; i += kLines / 50)
        EXPECT_EQ(s.GetSetting("key" + std::to_string(i), int32_t { -1 }), i * 3);
    EXPECT_EQ(s.GetSetting("Missing", int32_t { -1 }), -1);
    EXPECT_EQ(backend.FileReads(), 1);
    // Its own writes do not make the store read the file again...
    ASSERT_TRUE(s.SaveSetting("Key7", int32_t { 70 }));
    ASSERT_TRUE(s.SaveSetting("NewKey", "x"));
    EXPECT_EQ(s.GetSetting("Key7", int32_t { -1 }), 70);
    EXPECT_EQ(s.GetSetting("NewKey", ""), "x");
    EXPECT_EQ(backend.FileReads(), 1);
    // ...but another program's write is seen, once.
    IniSettingsBackend other(dir.Path());
    ASSERT_TRUE(other.WriteValue(kMainSection, "Key9", "99"));
    EXPECT_EQ(s.GetSetting("Key9", int32_t { -1 }), 99);
    EXPECT_EQ(s.GetSetting("Key7", int32_t { -1 }), 70);
    EXPECT_EQ(s.GetSetting("Key8", int32_t { -1 }), 24);
    EXPECT_EQ(backend.FileReads(), 2);
    // A file changed in place (same inode) is seen too.
    WriteFileBytes(dir.File("tarvok2.ini"), "[tarvok2]\r\nKey7=5\r\n");
    EXPECT_EQ(s.GetSetting("Key7", int32_t { -1 }), 5);
    EXPECT_EQ(s.GetSetting("Key8", int32_t { -1 }), -1);
}

TEST(IniSettingsBackend, AFileOverOneMegabyteIsNeitherReadNorReplaced)
{
    TempDir dir;
    std::string text = "[tarvok2]\r\n";
    while (text.size() <= (size_t { 1 } << 20))
        text += "Key" + std::to_string(text.size()) + "=1\r\n";
    const std::string path = dir.File("tarvok2.ini");
    ASSERT_TRUE(WriteFileBytes(path, text));
    IniSettingsBackend backend(dir.Path());
    Settings s(backend);
    EXPECT_EQ(s.GetSetting("Key11", int32_t { -1 }), -1);
    EXPECT_TRUE(backend.ListValues(kMainSection).empty());
    EXPECT_FALSE(s.SaveSetting("ShowMRU", int32_t { 1 }));
    EXPECT_FALSE(backend.DeleteValue(kMainSection, "Key11"));
    EXPECT_EQ(backend.FileReads(), 0);
    EXPECT_EQ(backend.FileWrites(), 0);
    EXPECT_EQ(ReadFileBytes(path), text);
}

TEST(IniSettingsBackend, OverlongValuesAreRefusedAndOverlongLinesAreNotRead)
{
    TempDir dir;
    const std::string path = dir.File("tarvok2.ini");
    const std::string longLine = "Long=" + std::string(40000, 'x');
    const std::string text = "[tarvok2]\r\n" + longLine + "\r\nShort=1\r\n";
    ASSERT_TRUE(WriteFileBytes(path, text));
    IniSettingsBackend backend(dir.Path());
    EXPECT_EQ(backend.ReadValue(kMainSection, "Long"), std::nullopt);
    EXPECT_EQ(backend.ReadValue(kMainSection, "Short"), "1");
    // A value that would make a line too long to read back is refused; the file stays.
    for (size_t size : { size_t { 40000 }, size_t { 200 } << 20 }) {
        SCOPED_TRACE(size);
        EXPECT_FALSE(backend.WriteValue(kMainSection, "Short", std::string(size, 'y')));
        EXPECT_EQ(ReadFileBytes(path), text);
    }
    EXPECT_EQ(backend.FileWrites(), 0);
    // A value that fits is written, and the long line is kept as it was.
    ASSERT_TRUE(backend.WriteValue(kMainSection, "Short", std::string(1000, 'z')));
    EXPECT_EQ(ReadFileBytes(path),
        "[tarvok2]\r\n" + longLine + "\r\nShort=" + std::string(1000, 'z') + "\r\n");
    // No write may make the file too large to be read again.
    for (int i = 0; i < 40; ++i)
        backend.WriteValue(kMainSection, "Fill" + std::to_string(i), std::string(30000, 'f'));
    EXPECT_LE(std::filesystem::file_size(path), size_t { 1 } << 20);
    EXPECT_EQ(backend.ReadValue(kMainSection, "Fill0"), std::string(30000, 'f'));
}

TEST(IniSettingsBackend, StoredValuesAreNotWrittenAgainAndManyGoInOneWrite)
{
    TempDir dir;
    const std::string path = dir.File("tarvok2.ini");
    ASSERT_TRUE(WriteFileBytes(path, "[tarvok2]\r\nA = 1\r\nB=2\r\n"));
    IniSettingsBackend backend(dir.Path());
    Settings s(backend);
    struct stat before { };
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    EXPECT_TRUE(backend.WriteValue(kMainSection, "A", " 1"));
    EXPECT_TRUE(s.SaveSetting("B", int32_t { 2 }));
    EXPECT_TRUE(s.SaveSettings({ { "A", " 1" }, { "b", "2" } }));
    EXPECT_EQ(backend.FileWrites(), 0);
    struct stat after { };
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(ReadFileBytes(path), "[tarvok2]\r\nA = 1\r\nB=2\r\n");

    std::vector<std::pair<std::string, std::string>> slots;
    for (int n = 1; n <= 8; ++n)
        slots.emplace_back("MRUList_" + std::to_string(n), n <= 3 ? "/f" + std::to_string(n) : "");
    EXPECT_TRUE(s.SaveSettings(slots));
    EXPECT_EQ(backend.FileWrites(), 1);
    EXPECT_EQ(s.GetSetting("MRUList_2", ""), "/f2");
    EXPECT_EQ(*backend.ReadValue(kMainSection, "MRUList_8"), "***");
    EXPECT_TRUE(s.SaveSettings(slots));
    EXPECT_EQ(backend.FileWrites(), 1);
}

} // namespace tarvok
