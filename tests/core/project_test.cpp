#include "core/project.h"

#include <gtest/gtest.h>

namespace tarvok {

namespace {

Project MakeProject()
{
    Project p;
    p.SetFadeTableType(1);
    p.SetTrackCount(8);
    return p;
}

WaveFile Wave(int32_t pFrames)
{
    WaveFile w;
    w.FileName = "/data/~t000001.wav";
    w.DataOffset = 44;
    w.Length = pFrames;
    w.PeakCount = pFrames / 64 + 1;
    return w;
}

// Adds a block over the whole of a new wave file and returns its index.
int32_t AddWholeBlock(
    Project& p, const std::string& pPath, int32_t pFrames, int32_t pTrack, int32_t pStart)
{
    int32_t w = p.AddWaveFileEntry(pPath, 44, pFrames);
    EXPECT_GE(w, 0);
    EXPECT_TRUE(p.AddBlock());
    Block& b = p.Blocks.back();
    b.TrackNo = pTrack;
    b.StartAdr = pStart;
    b.WaveNo = w;
    b.SrcStart = 1;
    b.SrcEnd = pFrames;
    p.NormalizeBlock(p.BlockCount() - 1);
    return p.BlockCount() - 1;
}

} // namespace

TEST(Project, NormalizeBlockReestablishesTheBlockInvariants)
{
    struct Case {
        const char* Name;
        Block In;
        int32_t WaveFrames;
        int32_t SrcStart, SrcEnd, Length, StartAdr, EndAdr, PeakStart, PeakEnd;
    };
    auto block = [](int32_t track, int32_t start, int32_t srcStart, int32_t srcEnd) {
        Block b;
        b.TrackNo = track;
        b.StartAdr = start;
        b.SrcStart = srcStart;
        b.SrcEnd = srcEnd;
        return b;
    };
    const Case kCases[] = {
        { "source start 0 becomes 1", block(0, 100, 0, 10), 1000, 1, 10, 10, 100, 109, 0, 0 },
        { "negative start becomes 0", block(0, -50, 1, 10), 1000, 1, 10, 10, 0, 9, 0, 0 },
        { "end beyond the wave is cut", block(0, 0, 900, 5000), 1000, 900, 1000, 101, 0, 100, 14,
            15 },
        { "start beyond the wave is cut", block(0, 0, 2000, 5000), 1000, 1000, 1000, 1, 0, 0, 15,
            15 },
        { "moved left of MaxLength", block(0, kMaxLength - 5, 1, 100), 1000, 1, 100, 100,
            kMaxLength - 100, kMaxLength - 1, 0, 1 },
        { "track clamped", block(99, 0, 1, 64), 1000, 1, 64, 64, 0, 63, 0, 1 },
        { "end before start keeps one frame", block(0, 0, 50, 10), 1000, 50, 50, 1, 0, 0, 0, 0 },
        { "peak entries capped at the last", block(0, 0, 1, 128), 128, 1, 128, 128, 0, 127, 0, 2 },
    };
    Project p = MakeProject();
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Name);
        Block b = c.In;
        p.NormalizeBlock(b, Wave(c.WaveFrames));
        EXPECT_EQ(b.SrcStart, c.SrcStart);
        EXPECT_EQ(b.SrcEnd, c.SrcEnd);
        EXPECT_EQ(b.Length, c.Length);
        EXPECT_EQ(b.StartAdr, c.StartAdr);
        EXPECT_EQ(b.EndAdr, c.EndAdr);
        EXPECT_EQ(b.PeakStart, c.PeakStart);
        EXPECT_EQ(b.PeakEnd, c.PeakEnd);
        EXPECT_EQ(b.PeakLen, c.PeakEnd - c.PeakStart + 1);
        EXPECT_LE(b.TrackNo, p.LastTrackNo);
        EXPECT_LT(b.EndAdr, kMaxLength);
    }
}

TEST(Project, DeletingTheOnlyBlockOfAWaveFileRemovesItAndRenumbersLaterBlocks)
{
    Project p = MakeProject();
    AddWholeBlock(p, "/d/a.wav", 1000, 0, 0);
    AddWholeBlock(p, "/d/b.wav", 2000, 1, 0);
    AddWholeBlock(p, "/d/c.wav", 3000, 2, 0);
    p.SelectedBlock = 2;
    ASSERT_EQ(p.CheckInvariants(), "");

    ASSERT_TRUE(p.DeleteBlock(1));
    EXPECT_EQ(p.SelectedBlock, -1);
    ASSERT_EQ(p.WaveFileCount(), 2);
    EXPECT_EQ(p.WaveFiles[1].FileName, "/d/c.wav");
    EXPECT_EQ(p.Blocks[1].WaveNo, 1);
    EXPECT_EQ(p.Peaks.size(), 2u);
    EXPECT_EQ(p.Peaks[1].size(), static_cast<size_t>(3000 / 64 + 1) * 2);
    EXPECT_EQ(p.CheckInvariants(), "");
    EXPECT_FALSE(p.DeleteBlock(5));
    EXPECT_FALSE(p.DeleteBlock(-1));
}

TEST(Project, AWaveFileSharedByTwoBlocksStaysUntilTheLastIsDeleted)
{
    Project p = MakeProject();
    AddWholeBlock(p, "/d/a.wav", 1000, 0, 0);
    ASSERT_TRUE(p.AddBlock());
    p.Blocks[1] = p.Blocks[0];
    p.Blocks[1].StartAdr = 5000;
    p.NormalizeBlock(1);
    ASSERT_TRUE(p.DeleteBlock(0));
    EXPECT_EQ(p.WaveFileCount(), 1);
    ASSERT_TRUE(p.DeleteBlock(0));
    EXPECT_EQ(p.WaveFileCount(), 0);
    EXPECT_TRUE(p.Peaks.empty());
}

TEST(Project, WaveFilesAreFoundWithoutRegardToCaseAndNeverAddedTwice)
{
    Project p = MakeProject();
    int32_t a = p.AddWaveFileEntry("/Data/~T000001.WAV", 44, 100);
    EXPECT_EQ(p.FindWaveFile("/data/~t000001.wav"), a);
    EXPECT_EQ(p.AddWaveFileEntry("/data/~t000001.wav", 44, 100), a);
    EXPECT_EQ(p.WaveFileCount(), 1);
    EXPECT_EQ(p.FindWaveFile("/data/other.wav"), -1);
    EXPECT_EQ(p.AddWaveFileEntry("/data/bad.wav", -1, 100), -1);
}

TEST(Project, IsBlockInRangeNeedsASelectedTrackAndAnOverlap)
{
    Project p = MakeProject();
    int32_t b = AddWholeBlock(p, "/d/a.wav", 1000, 1, 100); // frames 100..1099
    p.MarkIn = 0;
    p.MarkOut = 100;
    EXPECT_FALSE(p.IsBlockInRange(b)); // track 1 not selected
    p.Tracks[1].Selected = 1;
    EXPECT_FALSE(p.IsBlockInRange(b)); // MarkOut is exclusive
    p.MarkOut = 101;
    EXPECT_TRUE(p.IsBlockInRange(b));
    p.MarkIn = 1099;
    p.MarkOut = 2000;
    EXPECT_TRUE(p.IsBlockInRange(b));
    p.MarkIn = 1100;
    EXPECT_FALSE(p.IsBlockInRange(b));
}

TEST(Project, UpdateTitleLengthOnlyLongerAndEnvelopeShrinkRule)
{
    Project p = MakeProject();
    p.SampleRate = 44100;
    AddWholeBlock(p, "/d/a.wav", 44100, 0, 0);
    EXPECT_TRUE(p.UpdateTitleLength(false));
    EXPECT_EQ(p.ProjectLength, 44100);
    int32_t grown = (44100 + 441000) / 2048;
    EXPECT_EQ(p.EnvelopeLength, grown);
    for (const TrackEnvelope& env : p.Envelopes) {
        ASSERT_EQ(env.size(), static_cast<size_t>(grown) * 2);
        EXPECT_EQ(env.front(), 207);
    }

    ASSERT_TRUE(p.DeleteBlock(0));
    EXPECT_FALSE(p.UpdateTitleLength(true));
    EXPECT_EQ(p.ProjectLength, 44100);
    EXPECT_TRUE(p.UpdateTitleLength(false));
    EXPECT_EQ(p.ProjectLength, 0);
    EXPECT_EQ(p.EnvelopeLength, grown); // a loss of one second does not shrink them

    // A loss of more than 60 seconds does.
    AddWholeBlock(p, "/d/b.wav", 44100 * 70, 0, 0);
    p.UpdateTitleLength(false);
    ASSERT_TRUE(p.DeleteBlock(0));
    p.UpdateTitleLength(false);
    EXPECT_EQ(p.EnvelopeLength, 441000 / 2048);
    EXPECT_EQ(p.CheckInvariants(), "");
}

TEST(Project, TrackCountIsClampedAndNewTracksGetUnityEnvelopes)
{
    Project p = MakeProject();
    p.EnvelopeLength = 3;
    for (auto& env : p.Envelopes)
        env.assign(6, 207);
    p.CurrentTrack = 7;
    p.SetTrackCount(100);
    EXPECT_EQ(p.TrackCount(), 64);
    EXPECT_EQ(p.Envelopes[63], TrackEnvelope(6, 207));
    p.SetTrackCount(-5);
    EXPECT_EQ(p.TrackCount(), 1);
    EXPECT_EQ(p.CurrentTrack, 0);
    EXPECT_EQ(p.CheckInvariants(), "");
}

TEST(Project, ResetEmptiesEverythingTheProjectOwns)
{
    Project p = MakeProject();
    AddWholeBlock(p, "/d/a.wav", 44100, 0, 0);
    p.UpdateTitleLength(false);
    p.AddFadePoint();
    p.Tracks[2].Name = "Vocals";
    p.Tracks[2].EnvelopeFile = "/d/~t000001.wfd";
    p.ProjectFile = "/d/song.tvp";
    p.Clip.Blocks.push_back({});
    p.ZeroPos = 99;
    p.ResetProject();
    EXPECT_EQ(p.BlockCount(), 0);
    EXPECT_EQ(p.WaveFileCount(), 0);
    EXPECT_EQ(p.FadePointCount(), 0);
    EXPECT_TRUE(p.Peaks.empty());
    EXPECT_EQ(p.EnvelopeLength, 0);
    EXPECT_TRUE(p.Tracks[2].Name.empty());
    EXPECT_TRUE(p.Tracks[2].EnvelopeFile.empty());
    EXPECT_TRUE(p.ProjectFile.empty());
    EXPECT_TRUE(p.Clip.Empty());
    EXPECT_EQ(p.ZeroPos, 0);
    EXPECT_EQ(p.CheckInvariants(), "");
}

TEST(Project, InvariantCheckerNamesTheBrokenRule)
{
    Project p = MakeProject();
    AddWholeBlock(p, "/d/a.wav", 1000, 0, 0);
    ASSERT_EQ(p.CheckInvariants(), "");
    Project broken = p;
    broken.Blocks[0].EndAdr += 1;
    EXPECT_NE(broken.CheckInvariants(), "");
    broken = p;
    broken.Blocks[0].WaveNo = 3;
    EXPECT_NE(broken.CheckInvariants(), "");
    broken = p;
    broken.AddWaveFileEntry("/d/unused.wav", 44, 10);
    EXPECT_NE(broken.CheckInvariants(), "");
}

} // namespace tarvok
