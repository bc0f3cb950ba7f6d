#include "cd/rip_check.h"

#include "base/numeric.h"
#include "cd/cd_fakes.h"
#include "core/file_io.h"
#include "core/headless_ui.h"
#include "core/wave_info.h"
#include "platform/cdio/cdio_drive_service.h"
#include "support/cd_image.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace tarvok {
namespace {

using test::ReadFileBytes;
using test::TempDir;

bool SameBytes(const std::string& pA, const std::string& pB)
{
    return FileExists(pA) && FileExists(pB) && ReadFileBytes(pA) == ReadFileBytes(pB)
        && !ReadFileBytes(pA).empty();
}

std::vector<std::string> FolderNames(const std::string& pFolder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(pFolder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

/// A disc image of three tracks in a temporary folder, opened through a watched service.
struct Disc {
    TempDir Dir;
    std::string Cue = test::WriteCdImage(Dir.Path(), "disc", { 30, 45, 20 });
    CdioDriveService Real;
    test::WatchedDriveService Service { Real };
    HeadlessUi Ui;
    RipAudio Ra { Service, &Ui };
    std::vector<std::string> Statuses;
    RipCheckOptions Options;

    Disc()
    {
        Ra.DriveToRip(Cue);
        Ra.UpdateToc();
        Service.Opens = 0; // count the rips' opens only
        Options.Compare = SameBytes;
        Options.Status = [this](std::string_view pText) { Statuses.emplace_back(pText); };
    }

    /// Flips one byte of track 2's audio in the image file.
    void ChangeImage() const
    {
        const std::string bin = Dir.File("disc.bin");
        std::string bytes = ReadFileBytes(bin);
        bytes[30 * 2352 + 1000] = static_cast<char>(bytes[30 * 2352 + 1000] ^ 0x55);
        ASSERT_TRUE(test::WriteFileBytes(bin, bytes));
    }
};

TEST(RipTargetName, AddsTheExtensionAndNumbersExistingNames)
{
    TempDir dir;
    EXPECT_EQ(RipTargetName(dir.File("a")), dir.File("a.wav"));
    EXPECT_EQ(RipTargetName(dir.File("a.WAV")), dir.File("a.WAV"));
    ASSERT_TRUE(test::WriteFileBytes(dir.File("a.wav"), "x"));
    EXPECT_EQ(RipTargetName(dir.File("a")), dir.File("a01.wav"));
    ASSERT_TRUE(test::WriteFileBytes(dir.File("a01.wav"), "x"));
    EXPECT_EQ(RipTargetName(dir.File("a.wav")), dir.File("a02.wav"));
    // An empty file is a reserved name and is used as it is.
    ASSERT_TRUE(test::WriteFileBytes(dir.File("b.wav"), ""));
    EXPECT_EQ(RipTargetName(dir.File("b.wav")), dir.File("b.wav"));
}

TEST(RipWithCheck, IdenticalReadsLeaveOnlyTheFile)
{
    Disc d;
    RipCheckResult r = RipWithCheck(d.Ra, d.Ui, 1, d.Dir.File("rip"), d.Options);
    EXPECT_TRUE(r.Good);
    EXPECT_EQ(r.Path, d.Dir.File("rip.wav"));
    EXPECT_TRUE(ReadFileBytes(r.Path).substr(44) == test::CdImageTrackBytes(1, 45));
    EXPECT_EQ(d.Statuses, (std::vector<std::string> { "Tr2 Rip", "Tr2 Check", "" }));
    EXPECT_EQ(FolderNames(d.Dir.Path()),
        (std::vector<std::string> { "disc.bin", "disc.cue", "rip.wav" }));
    EXPECT_EQ(d.Service.Opens, 2);
    EXPECT_TRUE(d.Ui.BoxTexts().empty());

    // A second rip to the same name goes to the next numbered name.
    r = RipWithCheck(d.Ra, d.Ui, 0, d.Dir.File("rip.wav"), d.Options);
    EXPECT_TRUE(r.Good);
    EXPECT_EQ(r.Path, d.Dir.File("rip01.wav"));
}

TEST(RipWithCheck, DifferingReadsAskAndRetryOrLeaveNothing)
{
    for (const char* answer : { "yes", "no" }) {
        SCOPED_TRACE(answer);
        Disc d;
        // The image changes after the first read of the track, before the check read.
        d.Service.OnOpen = [&d](int32_t pOpens) {
            if (pOpens == 2)
                d.ChangeImage();
        };
        d.Ui.QueueAnswer(answer);
        RipCheckResult r = RipWithCheck(d.Ra, d.Ui, 1, d.Dir.File("rip"), d.Options);
        ASSERT_EQ(d.Ui.Events().size(), 1U);
        EXPECT_EQ(d.Ui.Events()[0].Text, kRipRetryQuestion);
        EXPECT_EQ(d.Ui.Events()[0].Icon, MsgIcon::Error);
        if (std::string(answer) == "yes") {
            // Run again: both later reads see the changed image and agree.
            EXPECT_TRUE(r.Good);
            EXPECT_EQ(d.Service.Opens, 4);
            EXPECT_EQ(d.Statuses,
                (std::vector<std::string> { "Tr2 Rip", "Tr2 Check", "Tr2 Rip", "Tr2 Check", "" }));
            EXPECT_TRUE(ReadFileBytes(r.Path).substr(44)
                == ReadFileBytes(d.Dir.File("disc.bin")).substr(30 * 2352, 45 * 2352));
            EXPECT_EQ(FolderNames(d.Dir.Path()),
                (std::vector<std::string> { "disc.bin", "disc.cue", "rip.wav" }));
        } else {
            EXPECT_FALSE(r.Good);
            EXPECT_FALSE(r.Canceled);
            EXPECT_EQ(
                FolderNames(d.Dir.Path()), (std::vector<std::string> { "disc.bin", "disc.cue" }));
        }
    }
}

TEST(RipWithCheck, CancelOrFailureOfEitherReadLeavesNoFile)
{
    struct Case {
        const char* Name;
        int32_t FailRead;
    };
    // Track 2 (45 sectors) takes 3 reads: a failure at read 2 hits the first copy, at read 5
    // the check copy.
    const Case cases[] = {
        { "first read fails", 2 },
        { "check read fails", 5 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Disc d;
        d.Service.FailRead = c.FailRead;
        RipCheckResult r = RipWithCheck(d.Ra, d.Ui, 1, d.Dir.File("rip"), d.Options);
        EXPECT_FALSE(r.Good);
        EXPECT_FALSE(r.Canceled);
        EXPECT_EQ(d.Ui.BoxTexts(), (std::vector<std::string> { std::string(kRipReadFailed) }));
        EXPECT_EQ(FolderNames(d.Dir.Path()), (std::vector<std::string> { "disc.bin", "disc.cue" }));
    }
    for (int32_t cancelAt : { 1, 2 }) {
        SCOPED_TRACE(cancelAt);
        TempDir dir;
        const std::string cue = test::WriteCdImage(dir.Path(), "long", { 200 });
        CdioDriveService service;
        HeadlessUi ui;
        RipAudio ra(service, &ui);
        ra.DriveToRip(cue);
        ra.UpdateToc();
        int32_t events = 0;
        // One progress event per copy (after the 10th of 13 reads): cancel the first or
        // the check copy.
        ra.SetProgressHandler([&](double, std::string_view) { return ++events != cancelAt; });
        RipCheckOptions options;
        options.Compare = SameBytes;
        RipCheckResult r = RipWithCheck(ra, ui, 0, dir.File("rip"), options);
        EXPECT_FALSE(r.Good);
        EXPECT_TRUE(r.Canceled);
        EXPECT_TRUE(ui.BoxTexts().empty());
        EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string> { "long.bin", "long.cue" }));
    }
}

TEST(RipWithCheck, WithoutCheckOneReadAndTheLevel)
{
    Disc d;
    d.Options.Check = false;
    d.Options.LevelDb = -6;
    RipCheckResult r = RipWithCheck(d.Ra, d.Ui, 2, d.Dir.File("rip"), d.Options);
    EXPECT_TRUE(r.Good);
    EXPECT_EQ(d.Service.Opens, 1);
    std::string expected = test::CdImageTrackBytes(2, 20);
    ScaleCdSamples(
        reinterpret_cast<uint8_t*>(expected.data()), expected.size() / 2, DbToFactor(-6));
    EXPECT_TRUE(ReadFileBytes(r.Path).substr(44) == expected);
}

} // namespace
} // namespace tarvok
