#include "app/shell/file_copy.h"

#include "core/headless_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace tarvok {

namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

// Bytes that differ from position to position, so a misplaced chunk shows.
std::string Pattern(size_t pSize)
{
    std::string bytes(pSize, '\0');
    for (size_t i = 0; i < pSize; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

std::vector<std::string> FolderEntries(const std::string& pFolder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(pFolder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A FileCopy that records its progress events and pauses instead of sleeping.
struct Recorder {
    HeadlessUi Ui;
    FileCopy Copy { &Ui };
    std::vector<double> Mirror;
    std::vector<double> Hikaku;
    std::vector<int32_t> Waits;
    std::vector<std::string> Messages;

    Recorder()
    {
        Copy.SetMirrorProg([this](double pRate, std::string_view) {
            Mirror.push_back(pRate);
            Messages.push_back(Copy.Message());
            return true;
        });
        Copy.SetHikakuProg([this](double pRate, std::string_view) {
            Hikaku.push_back(pRate);
            Messages.push_back(Copy.Message());
            return true;
        });
        Copy.SetWait([this](int32_t pMs) { Waits.push_back(pMs); });
    }
};

// The two ways to copy a file into place, run with the same arguments.
enum class CopyKind { Mirror, Transp };

bool RunCopy(FileCopy& pCopy, CopyKind pKind, const std::string& pSource,
    const std::string& pTarget, int64_t pSize = 0)
{
    if (pKind == CopyKind::Mirror)
        return pCopy.MirrorFile(pSource, pTarget, 0, pSize);
    return pCopy.TranspFile(pSource, pTarget, true, false, pSize);
}

const char* NameOf(CopyKind pKind)
{
    return pKind == CopyKind::Mirror ? "MirrorFile" : "TranspFile";
}

} // namespace

TEST(FileCopy, CopiesInChunksAndProgressReachesOne)
{
    for (CopyKind kind : { CopyKind::Mirror, CopyKind::Transp }) {
        SCOPED_TRACE(NameOf(kind));
        TempDir dir;
        Recorder r;
        const std::string content = Pattern(25);
        ASSERT_TRUE(WriteFileBytes(dir.File("a.wav"), content));
        struct timespec times[2] = { { 1000000000, 0 }, { 1200000000, 500 } };
        ASSERT_EQ(::utimensat(AT_FDCWD, dir.File("a.wav").c_str(), times, 0), 0);

        EXPECT_TRUE(RunCopy(r.Copy, kind, dir.File("a.wav"), dir.File("b.wav"), 10));
        EXPECT_EQ(ReadFileBytes(dir.File("b.wav")), content);
        EXPECT_EQ(r.Mirror, (std::vector<double> { 0.0, 0.4, 0.8, 1.0 }));
        EXPECT_EQ(r.Waits, (std::vector<int32_t> { 10, 10, 10, 10 }));
        EXPECT_EQ(r.Messages[0], "ファイルコピー中…");
        EXPECT_EQ(r.Copy.Message(), "");
        EXPECT_EQ(r.Copy.Bar(), 1.0);
        struct stat info { };
        ASSERT_EQ(::stat(dir.File("b.wav").c_str(), &info), 0);
        EXPECT_EQ(info.st_mtim.tv_sec, 1200000000);
        EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string> { "a.wav", "b.wav" }));
    }
}

TEST(FileCopy, ShownInTheMessageAreaOnlyWhenAskedEveryWholePercentOnce)
{
    struct Case {
        bool Shown;
        std::vector<std::string> Expected;
    };
    const Case cases[] = {
        { false, {} },
        { true,
            { "ファイルコピー中… 0%", "ファイルコピー中… 40%", "ファイルコピー中… 80%",
                "ファイルコピー中… 100%" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Shown);
        TempDir dir;
        Recorder r;
        r.Copy.ShowInMessageArea(c.Shown);
        ASSERT_TRUE(WriteFileBytes(dir.File("a.wav"), Pattern(25)));
        ASSERT_TRUE(r.Copy.TranspFile(dir.File("a.wav"), dir.File("b.wav"), true, false, 10));
        EXPECT_EQ(r.Ui.StatusTexts(), c.Expected);
    }
}

TEST(FileCopy, CancelFromTheMessageAreaStopsAfterTheChunkShown)
{
    TempDir dir;
    HeadlessUi ui;
    FileCopy copy(&ui);
    copy.SetWait([](int32_t) {});
    copy.ShowInMessageArea(true);
    // Five chunks; the window's Cancel is clicked while the copy shows 40%.
    bool cancel = false;
    ui.SetMessageSink(
        [&cancel](std::string_view pText) { cancel = cancel || pText.ends_with(" 40%"); });
    copy.SetMirrorProg([&cancel](double, std::string_view) { return !cancel; });
    ASSERT_TRUE(WriteFileBytes(dir.File("a.wav"), Pattern(50)));
    EXPECT_FALSE(copy.TranspFile(dir.File("a.wav"), dir.File("b.wav"), true, false, 10));
    EXPECT_TRUE(copy.Canceled());
    EXPECT_EQ(ui.StatusTexts().back(), "ファイルコピー中… 40%");
    EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string> { "a.wav" }));
}

TEST(FileCopy, PausesYieldToTheWindowSystem)
{
    TempDir dir;
    HeadlessUi ui;
    FileCopy copy(&ui);
    ASSERT_TRUE(WriteFileBytes(dir.File("a"), "abc"));
    EXPECT_TRUE(copy.MirrorFile(dir.File("a"), dir.File("b"), 1));
    EXPECT_GE(ui.YieldCount(), 2); // one pause after the read, one after the last write
    EXPECT_EQ(ReadFileBytes(dir.File("b")), "abc");
}

TEST(FileCopy, DefaultChunkIsFourMebibytes)
{
    TempDir dir;
    const std::pair<size_t, size_t> kCases[] = { { 4194304, 2 }, { 4194305, 3 } };
    for (auto [size, events] : kCases) {
        SCOPED_TRACE(size);
        Recorder r;
        ASSERT_TRUE(WriteFileBytes(dir.File("big"), Pattern(size)));
        EXPECT_TRUE(r.Copy.MirrorFile(dir.File("big"), dir.File("copy")));
        EXPECT_EQ(r.Mirror.size(), events);
        EXPECT_EQ(r.Mirror.back(), 1.0);
        EXPECT_EQ(ReadFileBytes(dir.File("copy")), Pattern(size));
    }
}

TEST(FileCopy, EmptyFileIsCopiedWithoutProgress)
{
    for (CopyKind kind : { CopyKind::Mirror, CopyKind::Transp }) {
        SCOPED_TRACE(NameOf(kind));
        TempDir dir;
        Recorder r;
        ASSERT_TRUE(WriteFileBytes(dir.File("empty"), ""));
        ASSERT_TRUE(WriteFileBytes(dir.File("old"), "old content"));
        EXPECT_TRUE(RunCopy(r.Copy, kind, dir.File("empty"), dir.File("old")));
        EXPECT_TRUE(std::filesystem::exists(dir.File("old")));
        EXPECT_EQ(ReadFileBytes(dir.File("old")), "");
        EXPECT_TRUE(r.Mirror.empty());
        EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string> { "empty", "old" }));
    }
}

TEST(FileCopy, CancelLeavesTheOldTargetAndNoTemporaryFile)
{
    enum class How { ProgressHandler, CancelButton };
    for (CopyKind kind : { CopyKind::Mirror, CopyKind::Transp }) {
        for (How how : { How::ProgressHandler, How::CancelButton }) {
            SCOPED_TRACE(testing::Message() << NameOf(kind) << " " << static_cast<int>(how));
            TempDir dir;
            Recorder r;
            ASSERT_TRUE(WriteFileBytes(dir.File("src"), Pattern(100)));
            ASSERT_TRUE(WriteFileBytes(dir.File("dst"), "previous"));
            if (how == How::ProgressHandler) {
                r.Copy.SetMirrorProg([&](double pRate, std::string_view) {
                    r.Mirror.push_back(pRate);
                    return pRate <= 0.25;
                });
            } else {
                // The window's Cancel button acts while the copy yields during a pause.
                r.Copy.SetWait([&](int32_t) { r.Copy.ProcCancel(); });
            }
            EXPECT_FALSE(RunCopy(r.Copy, kind, dir.File("src"), dir.File("dst"), 30));
            EXPECT_TRUE(r.Copy.Canceled());
            EXPECT_EQ(ReadFileBytes(dir.File("dst")), "previous");
            EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string> { "dst", "src" }));
            EXPECT_EQ(r.Copy.Message(), "");
            // The next top-level copy starts afresh.
            r.Copy.SetWait([](int32_t) {});
            r.Copy.SetMirrorProg({});
            EXPECT_TRUE(RunCopy(r.Copy, kind, dir.File("src"), dir.File("dst"), 30));
            EXPECT_FALSE(r.Copy.Canceled());
            EXPECT_EQ(ReadFileBytes(dir.File("dst")), Pattern(100));
        }
    }
}

TEST(FileCopy, MissingSourceOrUnusableTargetFailsCleanly)
{
    for (CopyKind kind : { CopyKind::Mirror, CopyKind::Transp }) {
        SCOPED_TRACE(NameOf(kind));
        TempDir dir;
        Recorder r;
        EXPECT_FALSE(RunCopy(r.Copy, kind, dir.File("missing"), dir.File("dst")));
        EXPECT_FALSE(RunCopy(r.Copy, kind, dir.File("missing"), dir.File("sub/dst")));
        EXPECT_FALSE(RunCopy(r.Copy, kind, dir.Path(), dir.File("dst"))); // a folder
        EXPECT_TRUE(FolderEntries(dir.Path()).empty());
        // A folder in the target's place is never replaced.
        ASSERT_TRUE(WriteFileBytes(dir.File("src"), "data"));
        ASSERT_TRUE(std::filesystem::create_directory(dir.File("folder")));
        EXPECT_FALSE(RunCopy(r.Copy, kind, dir.File("src"), dir.File("folder")));
        EXPECT_TRUE(std::filesystem::is_directory(dir.File("folder")));
        EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string> { "folder", "src" }));
    }
}

TEST(FileCopy, MirrorNeedsTheTargetFolder)
{
    TempDir dir;
    Recorder r;
    ASSERT_TRUE(WriteFileBytes(dir.File("src"), "data"));
    EXPECT_FALSE(r.Copy.MirrorFile(dir.File("src"), dir.File("sub/dst")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("sub")));
}

TEST(FileCopy, TransferCreatesTheTargetFolders)
{
    TempDir dir;
    Recorder r;
    ASSERT_TRUE(WriteFileBytes(dir.File("src"), "data"));
    EXPECT_TRUE(r.Copy.TranspFile(dir.File("src"), dir.File("a/b/dst"), true, false));
    EXPECT_EQ(ReadFileBytes(dir.File("a/b/dst")), "data");
    EXPECT_EQ(FolderEntries(dir.File("a/b")), std::vector<std::string> { "dst" });
    EXPECT_EQ(ReadFileBytes(dir.File("src")), "data");
}

TEST(FileCopy, TransferWithoutKillTargetKeepsAnExistingTarget)
{
    TempDir dir;
    Recorder r;
    ASSERT_TRUE(WriteFileBytes(dir.File("src"), "new"));
    ASSERT_TRUE(WriteFileBytes(dir.File("dst"), "old"));
    EXPECT_FALSE(r.Copy.TranspFile(dir.File("src"), dir.File("dst"), false, true));
    EXPECT_EQ(ReadFileBytes(dir.File("dst")), "old");
    EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string> { "dst", "src" }));
    EXPECT_TRUE(r.Copy.TranspFile(dir.File("src"), dir.File("new"), false, false));
    EXPECT_EQ(ReadFileBytes(dir.File("new")), "new");
}

TEST(FileCopy, TransferWithKillSourceMovesButNeverDeletesItsOwnTarget)
{
    TempDir dir;
    Recorder r;
    ASSERT_TRUE(WriteFileBytes(dir.File("src"), "moved"));
    EXPECT_TRUE(r.Copy.TranspFile(dir.File("src"), dir.File("dst"), true, true));
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string> { "dst" });
    EXPECT_EQ(ReadFileBytes(dir.File("dst")), "moved");

    const std::string kSameNames[] = { dir.File("dst"), dir.Path() + "./dst", dir.File("DST") };
    for (const std::string& name : kSameNames) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(r.Copy.TranspFile(dir.File("dst"), name, true, true));
        EXPECT_EQ(ReadFileBytes(dir.File("dst")), "moved");
    }
}

TEST(FileCopy, CompareFindsEqualFiles)
{
    TempDir dir;
    Recorder r;
    ASSERT_TRUE(WriteFileBytes(dir.File("a"), Pattern(25)));
    ASSERT_TRUE(WriteFileBytes(dir.File("b"), Pattern(25)));
    EXPECT_TRUE(r.Copy.HikakuFile(dir.File("a"), dir.File("b"), 0, 10));
    EXPECT_EQ(r.Hikaku, (std::vector<double> { 0.0, 0.4, 0.8, 1.0 }));
    EXPECT_EQ(r.Messages[0], "ファイル比較中…");
    EXPECT_EQ(r.Copy.Message(), "");
    EXPECT_EQ(r.Ui.YieldCount(), 3);
}

TEST(FileCopy, CompareDetectsDifferences)
{
    TempDir dir;
    const std::string base = Pattern(25);
    std::string changed = base;
    changed[17] = static_cast<char>(changed[17] ^ 1);
    struct Case {
        const char* Name;
        std::string First;
        std::string Second;
        std::vector<double> Events;
    };
    const Case kCases[] = {
        { "one byte", base, changed, { 0.0, 0.4, 1.0 } },
        { "size", base, base + "x", {} },
        { "both empty", "", "", {} },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Name);
        Recorder r;
        ASSERT_TRUE(WriteFileBytes(dir.File("a"), c.First));
        ASSERT_TRUE(WriteFileBytes(dir.File("b"), c.Second));
        EXPECT_FALSE(r.Copy.HikakuFile(dir.File("a"), dir.File("b"), 0, 10));
        EXPECT_EQ(r.Hikaku, c.Events);
    }
    Recorder r;
    EXPECT_FALSE(r.Copy.HikakuFile(dir.File("a"), dir.File("missing")));
    EXPECT_FALSE(r.Copy.HikakuFile(dir.File("missing"), dir.File("a")));
}

TEST(FileCopy, CancelledCompareIsFalseAndClearsTheFlag)
{
    TempDir dir;
    Recorder r;
    ASSERT_TRUE(WriteFileBytes(dir.File("a"), Pattern(25)));
    ASSERT_TRUE(WriteFileBytes(dir.File("b"), Pattern(25)));
    r.Copy.SetHikakuProg([&](double pRate, std::string_view) {
        r.Hikaku.push_back(pRate);
        return false;
    });
    EXPECT_FALSE(r.Copy.HikakuFile(dir.File("a"), dir.File("b"), 0, 10));
    EXPECT_EQ(r.Hikaku, std::vector<double> { 0.0 });
    EXPECT_FALSE(r.Copy.Canceled());
}

} // namespace tarvok
