#include "core/file_io.h"

#include "core/headless_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace tarvok {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

constexpr std::chrono::milliseconds kNoDelay { 0 };

TEST(FileIo, ReadBytesUsesTheWideOffsetWhenItIsNonZero)
{
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("a.bin"), "0123456789"));
    char buffer[3] = {};
    ASSERT_TRUE(ReadBytes(buffer, 3, 2, dir.File("a.bin"), 0, 0));
    EXPECT_EQ(std::string(buffer, 3), "234");
    ASSERT_TRUE(ReadBytes(buffer, 3, 2, dir.File("a.bin"), 6, 0));
    EXPECT_EQ(std::string(buffer, 3), "678");
}

TEST(FileIo, ReadPastTheEndFailsAndZeroesTheMissingBytes)
{
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("a.bin"), "abcd"));
    char buffer[6] = { 'x', 'x', 'x', 'x', 'x', 'x' };
    EXPECT_FALSE(ReadBytes(buffer, 6, 1, dir.File("a.bin"), 0, 0));
    EXPECT_EQ(std::string(buffer, 6), std::string("bcd\0\0\0", 6));
    EXPECT_FALSE(ReadBytes(buffer, 2, -5, dir.File("a.bin"), 0, 0));
}

TEST(FileIo, FailedReadsAreRetriedABoundedNumberOfTimes)
{
    TempDir dir;
    char buffer[4];
    EXPECT_FALSE(ReadBytes(buffer, 4, 0, dir.File("missing"), 0, 3, kNoDelay));
    EXPECT_FALSE(ReadBytes(buffer, 4, 0, dir.File("missing"), 0, 1000000, kNoDelay));
    EXPECT_FALSE(WriteBytes(buffer, 4, 0, dir.File("no/such/folder"), 0, 1000000, kNoDelay));
}

TEST(FileIo, WriteBytesCreatesOverwritesAndAppends)
{
    TempDir dir;
    std::string path = dir.File("w.bin");
    ASSERT_TRUE(WriteBytes("hello", 5, 0, path, 0, 0));
    ASSERT_TRUE(WriteBytes("J", 1, 0, path, 0, 0));
    ASSERT_TRUE(WriteBytes("!!", 2, -1, path, 0, 0));
    ASSERT_TRUE(WriteBytes("?", 1, 0, path, -1, 0));
    ASSERT_TRUE(WriteBytes("L", 1, 99, path, 2, 0));
    EXPECT_EQ(ReadFileBytes(path), "JeLlo!!?");
    EXPECT_FALSE(WriteBytes("x", 1, -2, path, 0, 0));
}

TEST(FileIo, OffsetsBeyondFourGigabytesAreAddressed)
{
    TempDir dir;
    std::string path = dir.File("sparse.bin");
    const int64_t far = (int64_t { 1 } << 32) + 16;
    if (!WriteBytes("tail", 4, 0, path, far, 0))
        GTEST_SKIP() << "the temporary file system has no large sparse files";
    EXPECT_EQ(FileSize64(path), far + 4);
    char buffer[4];
    ASSERT_TRUE(ReadBytes(buffer, 4, 0, path, far, 0));
    EXPECT_EQ(std::string(buffer, 4), "tail");
    EXPECT_FALSE(ReadAllBytes(path).has_value());
}

TEST(FileIo, WriteBytesKeepAppendsThroughOneHandle)
{
    TempDir dir;
    std::string path = dir.File("k.bin");
    FileHandle file = WriteBytesKeep("ab", 2, -1, FileHandle(), path);
    ASSERT_TRUE(file.IsOpen());
    int fd = file.Fd();
    file = WriteBytesKeep("cd", 2, -1, std::move(file), path);
    file = WriteBytesKeep("X", 1, 0, std::move(file), path);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Fd(), fd);
    EXPECT_EQ(FileSize64(file), 4);
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(ReadFileBytes(path), "Xbcd");
    EXPECT_FALSE(WriteBytesKeep("x", 1, -1, FileHandle(), dir.File("no/folder/x")).IsOpen());
}

TEST(FileIo, SeekMovesTheHandlePosition)
{
    TempDir dir;
    std::string path = dir.File("s.bin");
    FileHandle file = OpenFile(path, OpenMode::Write);
    ASSERT_TRUE(file.IsOpen());
    ASSERT_TRUE(WriteAt(file, "abcdef", 6, -1));
    EXPECT_EQ(::lseek(file.Fd(), 0, SEEK_CUR), 6);
    EXPECT_EQ(SeekFile(file, 2), 0);
    EXPECT_EQ(::lseek(file.Fd(), 0, SEEK_CUR), 2);
    EXPECT_EQ(SeekFile(file, -4), -1);
    EXPECT_EQ(SeekFile(FileHandle(), 0), -1);
    EXPECT_EQ(FileSize64(file), 6);
    EXPECT_EQ(FileSize64(FileHandle()), -1);
}

TEST(FileIo, ReadAllBytesReadsWholeRegularFiles)
{
    TempDir dir;
    std::string bytes("a\0b\r\nc", 6);
    ASSERT_TRUE(WriteFileBytes(dir.File("all.bin"), bytes));
    ASSERT_TRUE(ReadAllBytes(dir.File("all.bin")).has_value());
    EXPECT_EQ(*ReadAllBytes(dir.File("all.bin")), bytes);
    ASSERT_TRUE(WriteFileBytes(dir.File("empty.bin"), ""));
    EXPECT_EQ(ReadAllBytes(dir.File("empty.bin")).value_or("x"), "");
    EXPECT_FALSE(ReadAllBytes(dir.File("missing")).has_value());
    EXPECT_FALSE(ReadAllBytes(dir.Path()).has_value());
}

TEST(FileIo, SplitLinesSplitsUtf8AtLineEnds)
{
    struct Case {
        const char* Name;
        std::string Text;
        std::vector<std::string> Lines;
    };
    const std::vector<Case> cases = {
        { "crlf", "a\r\nb\r\n", { "a", "b" } },
        { "lf", "a\nb", { "a", "b" } },
        { "empty middle line", "a\r\n\r\nb", { "a", "", "b" } },
        { "empty text", "", {} },
        { "one line end", "\r\n", { "" } },
        { "last line without end", "x\r\nlast", { "x", "last" } },
        { "lone cr stays", "a\rb\r\n", { "a\rb" } },
        { "trailing cr", "a\r", { "a" } },
        { "utf-8 japanese", "波形\r\n抽出\r\n", { "波形", "抽出" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(SplitLines(c.Text), c.Lines);
    }
}

TEST(FileIo, SplitLinesKeepsShiftJisPairsTogetherInLegacyText)
{
    // 0x82 0xA0 is a two-byte character; 0x81 followed by LF is a malformed pair that must
    // not end the line.
    std::string text = "\x82\xA0\r\na\x81\nb\r\nc";
    std::vector<std::string> expected = { "\x82\xA0", "a\x81\nb", "c" };
    EXPECT_EQ(SplitLines(text), expected);

    // A lead byte as the very last byte does not read past the text.
    EXPECT_EQ(SplitLines(std::string("ab\r\n\xE0")), (std::vector<std::string> { "ab", "\xE0" }));
}

TEST(FileIo, SplitLinesYieldsEvery1024Bytes)
{
    HeadlessUi ui;
    std::string text(5000, 'x');
    text += "\r\n";
    std::vector<std::string> lines = SplitLines(text, &ui);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(ui.YieldCount(), 4);
}

TEST(FileIo, FileExistsOnlyForRegularFiles)
{
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("f"), "x"));
    std::filesystem::create_directory(dir.File("d"));
    EXPECT_TRUE(FileExists(dir.File("f")));
    EXPECT_FALSE(FileExists(dir.File("d")));
    EXPECT_FALSE(FileExists(dir.File("missing")));
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(FileExists("  "));
    EXPECT_EQ(FileSize64(dir.File("f")), 1);
    EXPECT_EQ(FileSize64(dir.File("d")), -1);
    EXPECT_EQ(FileSize64(dir.File("missing")), -1);
}

TEST(FileIo, SpecialFilesAreNotOpenedAndNeverBlock)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(dir.File("d"));
    for (OpenMode mode : { OpenMode::Read, OpenMode::Write, OpenMode::Update }) {
        EXPECT_FALSE(OpenFile(dir.File("fifo"), mode).IsOpen());
        EXPECT_FALSE(OpenFile(dir.File("d"), mode).IsOpen());
    }
    EXPECT_FALSE(OpenFile(dir.File("missing"), OpenMode::Update).IsOpen());
    EXPECT_FALSE(FileExists(dir.File("missing")));
}

TEST(FileIo, DeleteFileForceRemovesReadOnlyFiles)
{
    TempDir dir;
    std::string path = dir.File("ro");
    ASSERT_TRUE(WriteFileBytes(path, "x"));
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    EXPECT_TRUE(DeleteFileForce(path));
    EXPECT_FALSE(FileExists(path));
    EXPECT_TRUE(DeleteFileForce(path));
    std::filesystem::create_directory(dir.File("d"));
    EXPECT_FALSE(DeleteFileForce(dir.File("d")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("d")));
    EXPECT_FALSE(DeleteFileForce(""));
}

TEST(FileIo, WriteFileAtomicReplacesWithoutLeavingTemporaries)
{
    TempDir dir;
    std::string path = dir.File("peaks.wwf");
    ASSERT_TRUE(WriteFileBytes(path, "old contents"));
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    ASSERT_TRUE(WriteFileAtomic(path, "new", 3));
    EXPECT_EQ(ReadFileBytes(path), "new");
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
    EXPECT_FALSE(WriteFileAtomic(dir.File("no/folder/x"), "x", 1));
}

} // namespace
} // namespace tarvok
