#include "edit/range_edit.h"

#include "core/data_folder.h"
#include "core/file_io.h"
#include "core/project.h"
#include "support/block_table.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tarvok {

namespace {

using test::AddBlocks;
using test::BlockTable;
using test::FadePointTable;

// A project of eight tracks (track 0 selected) with silent working files of the given
// lengths in a temporary data folder.
struct RangeFixture {
    test::TempDir Dir;
    Project P;
    DataFolder Folder { Dir.Path() };

    explicit RangeFixture(std::vector<int32_t> pWaveFrames = { 10000, 10000 }, int32_t pTracks = 8)
    {
        test::InitTestProject(P, pTracks);
        for (size_t w = 0; w < pWaveFrames.size(); ++w)
            EXPECT_EQ(
                test::AddSilentWave(P, Dir.File("w" + std::to_string(w) + ".wav"), pWaveFrames[w]),
                static_cast<int32_t>(w));
    }

    /// Places the blocks; wave files no block uses are dropped, as the project keeps them.
    void Place(std::string_view pTable)
    {
        ASSERT_TRUE(AddBlocks(P, pTable)) << pTable;
        for (int32_t w = P.WaveFileCount() - 1; w >= 0; --w)
            if (!P.IsWaveFileUsed(w))
                P.RemoveWaveFile(w);
        P.UpdateTitleLength(false);
        ASSERT_EQ(P.CheckInvariants(), "");
    }

    void SelectOnly(std::initializer_list<int32_t> pTracks)
    {
        for (Track& t : P.Tracks)
            t.Selected = 0;
        for (int32_t t : pTracks)
            P.Tracks[t].Selected = 1;
    }

    void Marks(int32_t pIn, int32_t pOut)
    {
        P.MarkIn = pIn;
        P.MarkOut = pOut;
    }

    /// Gives every envelope frame of a track its own level: frame k holds k % 200 + 1 left
    /// and k % 200 + 2 right.
    void NumberEnvelope(int32_t pTrack)
    {
        for (int32_t k = 0; k < P.EnvelopeLength; ++k) {
            P.Envelopes[pTrack][2 * k] = static_cast<uint8_t>(k % 200 + 1);
            P.Envelopes[pTrack][2 * k + 1] = static_cast<uint8_t>(k % 200 + 2);
        }
    }

    uint8_t Left(int32_t pTrack, int32_t pFrame) const { return P.Envelopes[pTrack][2 * pFrame]; }
};

struct EraseCase {
    const char* Name;
    const char* Before;
    int32_t In, Out;
    bool Shrink;
    const char* After;
};

} // namespace

TEST(EraseSelected, BlockLayoutsBeforeAndAfter)
{
    static const EraseCase kCases[] = {
        { "span erased leaves both sides in place", "t0 0..2999 w0 1..3000", 1000, 2000, false,
            "t0 0..999 w0 1..1000\nt0 2000..2999 w0 2001..3000" },
        { "span deleted closes the gap", "t0 0..2999 w0 1..3000", 1000, 2000, true,
            "t0 0..999 w0 1..1000\nt0 1000..1999 w0 2001..3000" },
        { "tail in range is cut (erase)", "t0 500..1999 w0 1..1500", 1000, 2000, false,
            "t0 500..999 w0 1..500" },
        { "tail in range is cut (delete)", "t0 500..1999 w0 1..1500", 1000, 2000, true,
            "t0 500..999 w0 1..500" },
        { "head in range is cut (erase)", "t0 1500..2500 w0 1..1001", 1000, 2000, false,
            "t0 2000..2500 w0 501..1001" },
        { "head in range is cut (delete)", "t0 1500..2500 w0 1..1001", 1000, 2000, true,
            "t0 1000..1500 w0 501..1001" },
        { "block filling the range exactly goes", "t0 1000..1999 w0 1..1000", 1000, 2000, false,
            "" },
        // MarkOut is outside the range: a block whose last frame lies on it keeps that frame.
        { "last frame on MarkOut survives (erase)", "t0 1000..2000 w0 1..1001", 1000, 2000, false,
            "t0 2000..2000 w0 1001..1001" },
        { "last frame on MarkOut survives (delete)", "t0 1000..2000 w0 1..1001", 1000, 2000, true,
            "t0 1000..1000 w0 1001..1001" },
        { "block before the range stays", "t0 0..999 w0 1..1000", 1000, 2000, true,
            "t0 0..999 w0 1..1000" },
        { "block after the range stays (erase)", "t0 5000..5999 w0 1..1000", 1000, 2000, false,
            "t0 5000..5999 w0 1..1000" },
        { "block after the range moves left (delete)", "t0 5000..5999 w0 1..1000", 1000, 2000, true,
            "t0 4000..4999 w0 1..1000" },
        { "block starting on MarkOut moves left", "t0 2000..2999 w0 1..1000", 1000, 2000, true,
            "t0 1000..1999 w0 1..1000" },
        { "unselected track is untouched", "t1 0..2999 w0 1..3000", 1000, 2000, true,
            "t1 0..2999 w0 1..3000" },
        { "split keeps the stacking order", "t0 0..2999 w0 1..3000\nt0 2500..3499 w1 1..1000", 1000,
            2000, false,
            "t0 0..999 w0 1..1000\nt0 2000..2999 w0 2001..3000\nt0 2500..3499 w1 1..1000" },
        { "last block of a wave file goes with it",
            "t0 1000..1999 w0 1..1000\nt0 5000..5999 w1 1..1000", 1000, 2000, true,
            "t0 4000..4999 w0 1..1000" },
        { "no range changes nothing", "t0 0..2999 w0 1..3000", 2000, 2000, true,
            "t0 0..2999 w0 1..3000" },
    };
    for (const EraseCase& c : kCases) {
        SCOPED_TRACE(c.Name);
        RangeFixture f;
        f.Place(c.Before);
        f.Marks(c.In, c.Out);
        EXPECT_TRUE(EraseSelected(f.P, c.Shrink));
        EXPECT_EQ(BlockTable(f.P), c.After);
        EXPECT_EQ(f.P.CheckInvariants(), "");
    }
}

TEST(EraseSelected, RemovedWaveFileRenumbersTheRest)
{
    RangeFixture f;
    f.Place("t0 1000..1999 w0 1..1000\nt0 5000..5999 w1 1..1000");
    std::string second = f.P.WaveFiles[1].FileName;
    f.Marks(1000, 2000);
    ASSERT_TRUE(EraseSelected(f.P, false));
    ASSERT_EQ(f.P.WaveFileCount(), 1);
    EXPECT_EQ(f.P.WaveFiles[0].FileName, second);
    EXPECT_TRUE(std::filesystem::exists(f.Dir.File("w0.wav"))); // the file stays on disk
}

TEST(EraseSelected, EnvelopesAndFadePointsStay)
{
    RangeFixture f;
    f.Place("t0 0..9999 w0 1..10000");
    f.NumberEnvelope(0);
    f.P.AddFadePoint();
    f.P.FadePoints.back() = FadePoint { 3, 0, 3 };
    TrackEnvelope before = f.P.Envelopes[0];
    f.Marks(2048, 6144);
    ASSERT_TRUE(EraseSelected(f.P, true));
    EXPECT_EQ(f.P.Envelopes[0], before);
    EXPECT_EQ(FadePointTable(f.P.FadePoints), "t0 f3 c3");
}

TEST(EraseSelected, SplitKeepsTheSelectedBlockIndexOnItsBlock)
{
    RangeFixture f;
    f.Place("t0 0..2999 w0 1..3000\nt1 0..999 w1 1..1000");
    f.P.SelectedBlock = 1;
    f.Marks(1000, 2000);
    ASSERT_TRUE(EraseSelected(f.P, false));
    EXPECT_EQ(f.P.SelectedBlock, 2);
    EXPECT_EQ(f.P.Blocks[2].TrackNo, 1);
}

TEST(CopyRange, BlocksAreCutToTheRangeAndWaveFilesCopiedOnce)
{
    RangeFixture f({ 10000, 10000 });
    f.Place("t0 0..2999 w0 1..3000\nt1 1500..4999 w1 1..3500\nt2 0..999 w0 5001..6000\nt1 "
            "2500..2599 w0 7001..7100");
    f.SelectOnly({ 0, 1 });
    f.Marks(1000, 3000);
    f.P.Peaks[1][6] = 77;
    ASSERT_TRUE(CopyRange(f.P));
    const ClipProject& c = f.P.Clip;
    EXPECT_EQ(c.Length, 2000);
    EXPECT_EQ(c.FirstTrack, 0);
    EXPECT_EQ(c.LastTrackNo, 1);
    EXPECT_EQ(BlockTable(c.Blocks),
        "t0 0..1999 w0 1001..3000\nt1 500..1999 w1 1..1500\nt1 1500..1599 w0 7001..7100");
    ASSERT_EQ(c.WaveFiles.size(), 2u);
    EXPECT_EQ(c.WaveFiles[0], f.P.WaveFiles[0]);
    EXPECT_EQ(c.WaveFiles[1], f.P.WaveFiles[1]);
    ASSERT_EQ(c.Peaks.size(), 2u);
    EXPECT_EQ(c.Peaks[1], f.P.Peaks[1]);
    EXPECT_FALSE(c.NoEnvelope);
    EXPECT_EQ(f.P.CheckInvariants(), "");
}

TEST(CopyRange, TracksCountFromTheFirstSelectedOneAndGapsAreNotPresent)
{
    RangeFixture f;
    f.Place("t2 0..2999 w0 1..3000\nt5 0..2999 w1 1..3000");
    f.SelectOnly({ 2, 4, 5 });
    f.Marks(0, 3000);
    ASSERT_TRUE(CopyRange(f.P));
    const ClipProject& c = f.P.Clip;
    EXPECT_EQ(c.FirstTrack, 2);
    EXPECT_EQ(c.LastTrackNo, 3);
    EXPECT_EQ(c.TrackPresent, (std::vector<uint8_t> { 1, 0, 1, 1 }));
    EXPECT_TRUE(c.Envelopes[1].empty());
    EXPECT_EQ(BlockTable(c.Blocks), "t0 0..2999 w0 1..3000\nt3 0..2999 w1 1..3000");
}

TEST(CopyRange, EnvelopeFramesAndFadePointsCoverTheRange)
{
    RangeFixture f;
    f.Place("t0 0..9999 w0 1..10000");
    f.NumberEnvelope(0);
    f.NumberEnvelope(1);
    for (FadePoint point : { FadePoint { 1, 0, 1 }, FadePoint { 2, 0, 3 }, FadePoint { 5, 0, 2 },
             FadePoint { 6, 0, 1 }, FadePoint { 3, 1, 3 } }) {
        f.P.AddFadePoint();
        f.P.FadePoints.back() = point;
    }
    f.Marks(4096, 8192); // frames 2 .. 5 (length / 2048 + 2 = 4), fade points below frame 6
    ASSERT_TRUE(CopyRange(f.P));
    const ClipProject& c = f.P.Clip;
    ASSERT_EQ(c.Envelopes.size(), 1u);
    EXPECT_EQ(c.Envelopes[0], (TrackEnvelope { 3, 4, 4, 5, 5, 6, 6, 7 }));
    EXPECT_EQ(FadePointTable(c.FadePoints), "t0 f0 c3\nt0 f3 c2");
}

TEST(CopyRange, WithoutSelectedTrackOnlyTheLengthIsKept)
{
    RangeFixture f;
    f.Place("t0 0..2999 w0 1..3000");
    f.Marks(0, 3000);
    ASSERT_TRUE(CopyRange(f.P));
    ASSERT_EQ(f.P.Clip.Blocks.size(), 1u);
    f.SelectOnly({});
    f.Marks(500, 1500);
    ASSERT_TRUE(CopyRange(f.P));
    EXPECT_EQ(f.P.Clip.Length, 1000);
    EXPECT_TRUE(f.P.Clip.Blocks.empty());
    EXPECT_TRUE(f.P.Clip.WaveFiles.empty());
    EXPECT_TRUE(f.P.Clip.Envelopes.empty());
}

TEST(CopyRange, NothingWithoutBlocksOrBeyondTheEnvelopes)
{
    RangeFixture f;
    f.Marks(0, 1000);
    f.P.Clip.Length = 77;
    EXPECT_FALSE(CopyRange(f.P));
    EXPECT_EQ(f.P.Clip.Length, 77);

    f.Place("t0 0..999 w0 1..1000");
    f.Marks(f.P.EnvelopeLength * 2048 + 2048, f.P.EnvelopeLength * 2048 + 4096);
    EXPECT_FALSE(CopyRange(f.P));
    EXPECT_EQ(f.P.Clip.Length, 77);
}

TEST(InsertSpace, BlocksMoveAndSplitAtMarkIn)
{
    struct Case {
        const char* Name;
        const char* Before;
        const char* After;
    };
    static const Case kCases[] = {
        { "block across MarkIn is split", "t0 0..9999 w0 1..10000",
            "t0 0..4095 w0 1..4096\nt0 8192..14095 w0 4097..10000" },
        { "block from MarkIn on moves", "t0 4096..5095 w0 1..1000", "t0 8192..9191 w0 1..1000" },
        { "block before MarkIn stays", "t0 0..4095 w0 1..4096", "t0 0..4095 w0 1..4096" },
        // Frame MarkIn itself moves right with everything after it.
        { "block ending on MarkIn loses that frame to the right", "t0 0..4096 w0 1..4097",
            "t0 0..4095 w0 1..4096\nt0 8192..8192 w0 4097..4097" },
        { "unselected track stays", "t3 4096..5095 w0 1..1000", "t3 4096..5095 w0 1..1000" },
        { "split keeps the stacking order", "t0 0..9999 w0 1..10000\nt0 5000..5999 w1 1..1000",
            "t0 0..4095 w0 1..4096\nt0 8192..14095 w0 4097..10000\nt0 9096..10095 w1 1..1000" },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Name);
        RangeFixture f;
        f.Place(c.Before);
        f.Marks(4096, 4096);
        EXPECT_TRUE(InsertSpace(f.P, 4096, f.Folder));
        EXPECT_EQ(BlockTable(f.P), c.After);
        EXPECT_EQ(f.P.CheckInvariants(), "");
    }
}

TEST(InsertSpace, EnvelopeFramesMoveByWholeFramesWithAUnityGap)
{
    RangeFixture f;
    f.Place("t0 0..9999 w0 1..10000");
    f.SelectOnly({ 0 });
    f.NumberEnvelope(0);
    f.NumberEnvelope(1);
    for (FadePoint point : { FadePoint { 1, 0, 1 }, FadePoint { 2, 0, 3 }, FadePoint { 7, 0, 2 },
             FadePoint { 7, 1, 2 } }) {
        f.P.AddFadePoint();
        f.P.FadePoints.back() = point;
    }
    f.Marks(4096, 4096);
    ASSERT_TRUE(InsertSpace(f.P, 4096, f.Folder));
    const uint8_t unity = static_cast<uint8_t>(f.P.UnityLevel);
    // Frames 0 and 1 stay, 2..4 are unity, frame k from 5 on holds the former frame k - 2.
    std::vector<uint8_t> expected = { 1, 2, unity, unity, unity, 4, 5, 6 };
    for (int32_t k = 0; k < 8; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(f.Left(0, k), expected[k]);
    }
    EXPECT_EQ(f.P.Envelopes[0][2 * 4 + 1], unity);
    EXPECT_EQ(f.Left(1, 3), 4); // unselected track unchanged
    EXPECT_EQ(FadePointTable(f.P.FadePoints), "t0 f1 c1\nt0 f4 c3\nt0 f9 c2\nt1 f7 c2");

    // The envelope went to a fresh file holding the new frames.
    const std::string& file = f.P.Tracks[0].EnvelopeFile;
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(file.rfind(f.Dir.Path(), 0), 0u);
    std::string bytes = test::ReadFileBytes(file);
    ASSERT_EQ(bytes.size(), static_cast<size_t>(f.P.EnvelopeLength) * 2);
    EXPECT_EQ(static_cast<uint8_t>(bytes[10]), 4);
    EXPECT_TRUE(f.P.Tracks[1].EnvelopeFile.empty());
    EXPECT_EQ(f.P.CheckInvariants(), "");
}

TEST(InsertSpace, InsertBeyondTheEndGrowsTheProject)
{
    RangeFixture f;
    f.Place("t0 0..999 w0 1..1000");
    int32_t frames = f.P.EnvelopeLength;
    f.Marks(frames * 2048 + 10000, frames * 2048 + 10000);
    ASSERT_TRUE(InsertSpace(f.P, 500000, f.Folder));
    EXPECT_EQ(BlockTable(f.P), "t0 0..999 w0 1..1000");
    EXPECT_EQ(f.P.CheckInvariants(), "");
}

TEST(PasteClip, ClipTracksBeyondTheLastTrackAreDropped)
{
    RangeFixture f;
    f.Place("t2 0..999 w0 1..1000\nt3 0..999 w0 2001..3000\nt4 0..999 w1 1..1000\nt5 0..999 w1 "
            "2001..3000");
    f.SelectOnly({ 2, 3, 4, 5 });
    f.Marks(0, 1000);
    ASSERT_TRUE(CopyRange(f.P));
    f.P.CurrentTrack = 6;
    f.Marks(5000, 5000);
    ASSERT_TRUE(PasteClip(f.P, f.Folder));
    EXPECT_EQ(BlockTable(f.P),
        "t2 0..999 w0 1..1000\nt3 0..999 w0 2001..3000\nt4 0..999 w1 1..1000\nt5 0..999 w1 "
        "2001..3000\n"
        "t6 5000..5999 w0 1..1000\nt7 5000..5999 w0 2001..3000");
    // Envelopes of clip tracks 0 and 1 landed; the rest had nowhere to go.
    EXPECT_FALSE(f.P.Tracks[6].EnvelopeFile.empty());
    EXPECT_FALSE(f.P.Tracks[7].EnvelopeFile.empty());
    EXPECT_EQ(f.P.CheckInvariants(), "");
}

TEST(PasteClip, AWaveFileThatLeftTheProjectComesBackWithItsPeaks)
{
    RangeFixture f;
    f.Place("t0 0..999 w0 1..1000\nt1 0..999 w1 1..1000");
    f.P.Peaks[0][4] = 201;
    f.Marks(0, 1000);
    ASSERT_TRUE(CopyRange(f.P));
    ASSERT_TRUE(EraseSelected(f.P, true));
    ASSERT_EQ(f.P.WaveFileCount(), 1);
    f.Marks(2000, 2000);
    ASSERT_TRUE(PasteClip(f.P, f.Folder));
    EXPECT_EQ(BlockTable(f.P), "t1 0..999 w0 1..1000\nt0 2000..2999 w1 1..1000");
    EXPECT_EQ(f.P.WaveFiles[1].FileName, f.Dir.File("w0.wav"));
    EXPECT_EQ(f.P.Peaks[1][4], 201);
    EXPECT_EQ(f.P.CheckInvariants(), "");
}

TEST(PasteClip, AWaveFileGoneFromDiskIsSkipped)
{
    RangeFixture f;
    f.Place("t0 0..999 w0 1..1000\nt0 1000..1999 w1 1..1000");
    f.Marks(0, 2000);
    ASSERT_TRUE(CopyRange(f.P));
    ASSERT_TRUE(EraseSelected(f.P, true));
    std::filesystem::remove(f.Dir.File("w0.wav"));
    f.Marks(0, 0);
    EXPECT_FALSE(PasteClip(f.P, f.Folder));
    EXPECT_EQ(BlockTable(f.P), "t0 1000..1999 w0 1..1000");
    EXPECT_EQ(f.P.CheckInvariants(), "");
}

TEST(PasteClip, EnvelopeFramesAndFadePointsLandAtMarkIn)
{
    RangeFixture f;
    f.Place("t0 0..9999 w0 1..10000");
    f.NumberEnvelope(0);
    f.P.AddFadePoint();
    f.P.FadePoints.back() = FadePoint { 3, 0, 2 };
    f.Marks(4096, 8192);
    ASSERT_TRUE(CopyRange(f.P)); // frames 2..5, fade point at clip frame 1
    f.P.CurrentTrack = 1;
    f.Marks(2048, 2048);
    ASSERT_TRUE(PasteClip(f.P, f.Folder));
    const uint8_t unity = static_cast<uint8_t>(f.P.UnityLevel);
    std::vector<uint8_t> expected = { unity, 3, 4, 5, 6, unity };
    for (int32_t k = 0; k < 6; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(f.Left(1, k), expected[k]);
    }
    EXPECT_EQ(FadePointTable(f.P.FadePoints), "t0 f3 c2\nt1 f2 c2");
    EXPECT_FALSE(f.P.Tracks[1].EnvelopeFile.empty());
}

TEST(PasteClip, BeyondTheEndTheEnvelopesGrow)
{
    RangeFixture f;
    f.Place("t0 0..9999 w0 1..10000");
    f.Marks(0, 10000);
    ASSERT_TRUE(CopyRange(f.P));
    const int32_t far = f.P.EnvelopeLength * 2048 + 100000;
    f.Marks(far, far);
    ASSERT_TRUE(PasteClip(f.P, f.Folder));
    EXPECT_GE(f.P.EnvelopeLength, (far + 10000) / 2048 + 1);
    EXPECT_EQ(f.P.CheckInvariants(), "");
    f.P.UpdateTitleLength(false);
    EXPECT_EQ(f.P.ProjectLength, far + 10000);
    EXPECT_EQ(f.P.CheckInvariants(), "");
}

TEST(PasteClip, WithoutEnvelopesOnlyBlocksArePasted)
{
    RangeFixture f;
    f.Place("t0 0..9999 w0 1..10000");
    f.NumberEnvelope(0);
    f.P.AddFadePoint();
    f.P.FadePoints.back() = FadePoint { 1, 0, 3 };
    f.Marks(0, 4096);
    ASSERT_TRUE(CopyRange(f.P));
    f.P.Clip.NoEnvelope = true;
    f.P.CurrentTrack = 1;
    ASSERT_TRUE(PasteClip(f.P, f.Folder));
    EXPECT_EQ(f.P.BlockCount(), 2);
    EXPECT_EQ(f.Left(1, 0), f.P.UnityLevel);
    EXPECT_EQ(f.P.FadePointCount(), 1);
    EXPECT_TRUE(f.P.Tracks[1].EnvelopeFile.empty());
}

TEST(TrimQuiet, ThresholdAnswers)
{
    static const struct {
        double Answer, Threshold;
    } kCases[] = { { -70, -60 }, { 12, -12 }, { 70, -60 }, { -40, -40 }, { 0, 0 }, { -60, -60 } };
    for (auto c : kCases) {
        SCOPED_TRACE(c.Answer);
        EXPECT_EQ(TrimThresholdDb(c.Answer), c.Threshold);
    }
}

TEST(TrimQuiet, QuietTestPerPeakScale)
{
    static const struct {
        uint8_t Left, Right;
        double Threshold;
        int32_t Mode;
        bool Quiet;
    } kCases[] = {
        { 0, 0, -60, 0, true },
        { 2, 2, -40, 0, true }, // 20 log10(2/255) = -42.1 dB
        { 3, 2, -40, 0, false }, // -38.6 dB on the left
        { 255, 255, -1, 0, false },
        { 54, 54, -40, 1, true }, // 54 - 255 = -201 < -200
        { 55, 0, -40, 1, false },
    };
    for (auto c : kCases) {
        SCOPED_TRACE(std::to_string(c.Left) + " " + std::to_string(c.Right) + " mode "
            + std::to_string(c.Mode));
        EXPECT_EQ(IsQuietPeak(c.Left, c.Right, c.Threshold, c.Mode), c.Quiet);
    }
}

TEST(TrimQuiet, QuietEdgesAreCutAndQuietBlocksDeleted)
{
    struct Case {
        const char* Name;
        const char* Before;
        int32_t In, Out;
        const char* After;
    };
    // Wave 0 has 1280 frames = peak entries 0..20: entries 0..4 and 15..20 quiet, 5..14 loud.
    // Wave 1 is quiet throughout.
    static const Case kCases[] = {
        { "both edges inside", "t0 0..1279 w0 1..1280", 0, 1280, "t0 255..959 w0 256..960" },
        { "only the head inside", "t0 0..1279 w0 1..1280", 0, 1000, "t0 255..1279 w0 256..1280" },
        { "only the tail inside", "t0 0..1279 w0 1..1280", 100, 1280, "t0 0..959 w0 1..960" },
        // A source start inside an entry keeps every frame at its place on the timeline.
        { "source start inside an entry", "t0 1000..2269 w0 11..1280", 1000, 3000,
            "t0 1245..1949 w0 256..960" },
        { "quiet block is deleted", "t0 0..1279 w1 1..1280", 0, 1280, "" },
        { "block spanning the range stays", "t0 0..1279 w0 1..1280", 100, 1000,
            "t0 0..1279 w0 1..1280" },
        { "block outside the marks stays", "t0 0..1279 w0 1..1280", 2000, 3000,
            "t0 0..1279 w0 1..1280" },
        { "unselected track stays", "t1 0..1279 w0 1..1280", 0, 1280, "t1 0..1279 w0 1..1280" },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Name);
        RangeFixture f({ 1280, 1280 });
        for (int32_t e = 0; e < 21; ++e) {
            uint8_t v = e >= 5 && e <= 14 ? 200 : 1;
            f.P.Peaks[0][2 * e] = f.P.Peaks[0][2 * e + 1] = v;
            f.P.Peaks[1][2 * e] = f.P.Peaks[1][2 * e + 1] = 1;
        }
        f.Place(c.Before);
        f.Marks(c.In, c.Out);
        EXPECT_TRUE(TrimQuiet(f.P, -40, 0));
        EXPECT_EQ(BlockTable(f.P), c.After);
        EXPECT_EQ(f.P.CheckInvariants(), "");
    }
}

TEST(SelectAll, MarksTheWholeProjectOnEveryTrack)
{
    RangeFixture f;
    f.Place("t3 100..1099 w0 1..1000");
    SelectAll(f.P);
    EXPECT_EQ(f.P.MarkIn, 0);
    EXPECT_EQ(f.P.MarkOut, 1100);
    for (const Track& t : f.P.Tracks)
        EXPECT_EQ(t.Selected, 1);
}

} // namespace tarvok
