#include "edit/block_edit.h"
#include "edit/range_edit.h"

#include "core/project_file.h"
#include "edit/block_layout.h"
#include "support/temp_dir.h"
#include "support/wav_fixture.h"

#include <gtest/gtest.h>

namespace tarvok {

using test::BlockSpec;
using test::LayoutTable;
using test::MakeLayout;

TEST(SplitAtMarks, CutsBlocksAtBothMarks)
{
    struct Case {
        const char* Name;
        std::vector<BlockSpec> Blocks;
        int32_t In, Out;
        const char* After;
    };
    const Case cases[] = {
        { "runs across both marks", { { 0, 0, 999 } }, 200, 600,
            "0:0-199@1 0:200-599@201 0:600-999@601" },
        { "starts inside", { { 0, 300, 999 } }, 200, 600, "0:300-599@1 0:600-999@301" },
        { "ends inside", { { 0, 0, 399 } }, 200, 600, "0:0-199@1 0:200-399@201" },
        { "wholly inside", { { 0, 300, 500 } }, 200, 600, "0:300-500@1" },
        { "ends on MarkOut", { { 0, 300, 600 } }, 200, 600, "0:300-600@1" },
        { "before the range", { { 0, 0, 200 } }, 200, 600, "0:0-200@1" },
        { "after the range", { { 0, 600, 900 } }, 200, 600, "0:600-900@1" },
        { "unselected track", { { 1, 0, 999 } }, 200, 600, "1:0-999@1" },
        { "source offset kept", { { 0, 0, 999, 5001 } }, 200, 600,
            "0:0-199@5001 0:200-599@5201 0:600-999@5601" },
        { "marks meet", { { 0, 0, 999 } }, 500, 500, "0:0-499@1 0:500-999@501" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Project p = MakeLayout(c.Blocks);
        p.MarkIn = c.In;
        p.MarkOut = c.Out;
        SplitAtMarks(p);
        EXPECT_EQ(LayoutTable(p), c.After);
        EXPECT_EQ(p.CheckInvariants(), "");
    }
}

TEST(SplitAtMarks, NewPartsKeepTheStackingOrder)
{
    // Block 1 lies over the middle of block 0; after the split it must still be on top.
    Project p = MakeLayout({ { 0, 0, 999 }, { 0, 400, 599 } });
    p.SelectedBlock = 1;
    p.MarkIn = 200;
    p.MarkOut = 800;
    SplitAtMarks(p);
    EXPECT_EQ(LayoutTable(p), "0:0-199@1 0:200-799@201 0:800-999@801 0:400-599@1");
    EXPECT_EQ(p.SelectedBlock, 3);
    EXPECT_EQ(p.CheckInvariants(), "");
}

TEST(SplitAtMarks, HeadSplitCutsEveryBlockAcrossTheHead)
{
    Project p = MakeLayout({ { 0, 0, 999 }, { 0, 500, 800 }, { 0, 200, 500 } });
    p.Head = 500;
    SplitAtHead(p);
    EXPECT_EQ(p.MarkIn, 500);
    EXPECT_EQ(p.MarkOut, 500);
    // A block ending on the head or starting on it is not cut.
    EXPECT_EQ(LayoutTable(p), "0:0-499@1 0:500-999@501 0:500-800@1 0:200-500@1");
    EXPECT_EQ(p.CheckInvariants(), "");
}

TEST(DeleteBlockGroup, DeletesTheGroupAndUnusedWaveFiles)
{
    Project p = MakeLayout({ { 0, 0, 99, 1, 3, 0, 0 }, { 1, 0, 99, 1, 0, 0, 0 },
        { 2, 50, 99, 1, 3 }, { 3, 0, 9, 1, 4 } });
    ASSERT_EQ(p.WaveFileCount(), 3);
    p.SelectedBlock = 0;
    EXPECT_TRUE(DeleteBlockGroup(p, 2));
    EXPECT_EQ(LayoutTable(p), "1:0-99@1 3:0-9@1g4");
    EXPECT_EQ(p.WaveFileCount(), 2); // the shared file stays, the group's own file goes
    EXPECT_EQ(p.SelectedBlock, -1);
    EXPECT_EQ(p.CheckInvariants(), "");
    EXPECT_FALSE(DeleteBlockGroup(p, 5));
    // A block without a group goes alone.
    EXPECT_TRUE(DeleteBlockGroup(p, 0));
    EXPECT_EQ(LayoutTable(p), "3:0-9@1g4");
    EXPECT_EQ(p.CheckInvariants(), "");
}

TEST(ClipBlockGroup, CopiesTheGroupRelativeToItsFirstFrameAndTrack)
{
    Project p
        = MakeLayout({ { 1, 0, 99, 1, 7, 0, 0 }, { 3, 500, 999, 1, 7, 0, 0 }, { 2, 0, 99, 1, 0 } });
    ASSERT_TRUE(ClipBlockGroup(p, 1));
    const ClipProject& c = p.Clip;
    EXPECT_EQ(c.FirstTrack, 1);
    EXPECT_EQ(c.LastTrackNo, 2);
    EXPECT_EQ(c.Length, 1000);
    EXPECT_TRUE(c.NoEnvelope);
    EXPECT_TRUE(c.FadePoints.empty());
    ASSERT_EQ(c.Blocks.size(), 2u);
    EXPECT_EQ(c.Blocks[0].StartAdr, 0);
    EXPECT_EQ(c.Blocks[0].TrackNo, 0);
    EXPECT_EQ(c.Blocks[1].StartAdr, 500);
    EXPECT_EQ(c.Blocks[1].TrackNo, 2);
    ASSERT_EQ(c.WaveFiles.size(), 1u); // the shared file is copied once
    EXPECT_EQ(c.Peaks.size(), 1u);
    EXPECT_EQ(c.Blocks[1].WaveNo, 0);
    EXPECT_EQ(p.CheckInvariants(), "");
}

TEST(ClipBlockGroup, OneFrameBlockGivesAClipOfOneFrame)
{
    Project p = MakeLayout({ { 0, 70, 70 } });
    ASSERT_TRUE(ClipBlockGroup(p, 0));
    EXPECT_EQ(p.Clip.Length, 1);
    EXPECT_FALSE(p.Clip.Empty());
    EXPECT_EQ(p.Clip.Blocks[0].StartAdr, 0);
}

TEST(MoveBlockGroup, TheGroupKeepsItsShapeAtEveryLimit)
{
    struct Case {
        const char* Name;
        int32_t Frames, Tracks;
        const char* After;
        bool Moved;
    };
    // Group 5: track 1 at 100..199 and track 2 at 300..399; block 2 is not in the group.
    const Case cases[] = {
        { "plain move", 50, 1, "2:150-249@1g5 3:350-449@1g5 0:0-99@1", true },
        { "stops where a member reaches 0", -1000, 0, "1:0-99@1g5 2:200-299@1g5 0:0-99@1", true },
        { "stops at the first track", 0, -5, "0:100-199@1g5 1:300-399@1g5 0:0-99@1", true },
        { "stops at the last track", 0, 5, "2:100-199@1g5 3:300-399@1g5 0:0-99@1", true },
        { "nothing left to move", 0, 0, "1:100-199@1g5 2:300-399@1g5 0:0-99@1", false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Project p = MakeLayout({ { 1, 100, 199, 1, 5 }, { 2, 300, 399, 1, 5 }, { 0, 0, 99 } });
        EXPECT_EQ(MoveBlockGroup(p, 1, c.Frames, c.Tracks), c.Moved);
        EXPECT_EQ(LayoutTable(p), c.After);
        EXPECT_EQ(p.CheckInvariants(), "");
    }
}

TEST(MoveBlockGroup, StopsBeforeMaxLengthWithoutBendingTheGroup)
{
    Project p = MakeLayout({ { 0, 100, 199, 1, 5 }, { 1, 300, 399, 1, 5 } });
    EXPECT_TRUE(MoveBlockGroup(p, 0, kMaxLength, 0));
    EXPECT_EQ(p.Blocks[1].EndAdr, kMaxLength - 1);
    EXPECT_EQ(p.Blocks[1].StartAdr - p.Blocks[0].StartAdr, 200);
    EXPECT_EQ(p.CheckInvariants(), "");
}

TEST(TrimBlockEdge, EdgesStopAtTheirLimits)
{
    struct Case {
        const char* Name;
        BlockEdge Edge;
        int32_t Frames;
        int32_t Moved;
        const char* After;
    };
    // Block at 1000..1999 reading source frames 501..1500 of a 2000-frame file; step 64.
    const Case cases[] = {
        { "start inward", BlockEdge::Start, 100, 100, "0:1100-1999@601" },
        { "start outward to the file start", BlockEdge::Start, -800, -500, "0:500-1999@1" },
        { "start inward to the minimum length", BlockEdge::Start, 5000, 935, "0:1935-1999@1436" },
        { "end inward to the minimum length", BlockEdge::End, -5000, -935, "0:1000-1064@501" },
        { "end outward to the file end", BlockEdge::End, 5000, 500, "0:1000-2499@501" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Project p = MakeLayout({ { 0, 1000, 1999, 501 } }, 4, 2000);
        EXPECT_EQ(TrimBlockEdge(p, 0, c.Edge, c.Frames), c.Moved);
        EXPECT_EQ(LayoutTable(p), c.After);
        EXPECT_GE(p.Blocks[0].Length, p.SampleStep + 1);
        EXPECT_EQ(p.CheckInvariants(), "");
    }
}

TEST(TrimBlockEdge, StartEdgeNeverPassesFrameZero)
{
    Project p = MakeLayout({ { 0, 100, 999, 501 } });
    EXPECT_EQ(TrimBlockEdge(p, 0, BlockEdge::Start, -400), -100);
    EXPECT_EQ(LayoutTable(p), "0:0-999@401");
    EXPECT_EQ(p.CheckInvariants(), "");
}

TEST(BlockEdit, LockTogglesTheWholeGroupAlike)
{
    Project p = MakeLayout({ { 0, 0, 99, 1, 2 }, { 1, 0, 99, 1, 2, kBlockLocked }, { 2, 0, 99 } });
    ASSERT_TRUE(ToggleGroupFlag(p, 0, kBlockLocked));
    EXPECT_EQ(LayoutTable(p), "0:0-99@1g2f1 1:0-99@1g2f1 2:0-99@1");
    ASSERT_TRUE(ToggleGroupFlag(p, 1, kBlockLocked));
    ASSERT_TRUE(ToggleGroupFlag(p, 1, kBlockFadeLocked));
    EXPECT_EQ(LayoutTable(p), "0:0-99@1g2f2 1:0-99@1g2f2 2:0-99@1");
    EXPECT_FALSE(ToggleGroupFlag(p, 3, kBlockLocked));
}

TEST(BlockEdit, FitFrontAndRear)
{
    struct Case {
        const char* Name;
        bool Front;
        std::vector<BlockSpec> Blocks;
        const char* After;
    };
    const Case cases[] = {
        { "front after the nearest earlier block", true,
            { { 0, 5000, 5099 }, { 0, 0, 99 }, { 0, 1000, 1499 }, { 1, 3000, 3999 } },
            "0:1500-1599@1 0:0-99@1 0:1000-1499@1 1:3000-3999@1" },
        { "front with no earlier block goes to 0", true, { { 0, 5000, 5099 }, { 1, 0, 99 } },
            "0:0-99@1 1:0-99@1" },
        { "rear before the nearest later block", false,
            { { 0, 0, 99 }, { 0, 9000, 9099 }, { 0, 3000, 3099 } },
            "0:2900-2999@1 0:9000-9099@1 0:3000-3099@1" },
        { "rear with no later block ends at the project end", false,
            { { 0, 0, 99 }, { 1, 9000, 9999 } }, "0:9900-9999@1 1:9000-9999@1" },
        { "rear never before frame 0", false, { { 0, 50, 549 }, { 0, 100, 199 } },
            "0:0-499@1 0:100-199@1" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Project p = MakeLayout(c.Blocks);
        EXPECT_TRUE(c.Front ? FitBlockFront(p, 0) : FitBlockRear(p, 0));
        EXPECT_EQ(LayoutTable(p), c.After);
        EXPECT_EQ(p.CheckInvariants(), "");
    }
}

TEST(BlockEdit, FrontAndBehindMoveOneRecordAndKeepTheOthersInOrder)
{
    Project p = MakeLayout({ { 0, 0, 9 }, { 0, 10, 19 }, { 0, 20, 29 }, { 0, 30, 39 } });
    p.SelectedBlock = 1;
    ASSERT_TRUE(BringBlockToFront(p, 1));
    EXPECT_EQ(LayoutTable(p), "0:0-9@1 0:20-29@1 0:30-39@1 0:10-19@1");
    EXPECT_EQ(p.SelectedBlock, 3);
    ASSERT_TRUE(BringBlockToFront(p, 3)); // already on top: unchanged
    EXPECT_EQ(LayoutTable(p), "0:0-9@1 0:20-29@1 0:30-39@1 0:10-19@1");
    EXPECT_EQ(p.SelectedBlock, 3);
    p.SelectedBlock = 2;
    ASSERT_TRUE(SendBlockBehind(p, 2));
    EXPECT_EQ(LayoutTable(p), "0:30-39@1 0:0-9@1 0:20-29@1 0:10-19@1");
    EXPECT_EQ(p.SelectedBlock, 0);
    EXPECT_EQ(p.CheckInvariants(), "");
}

TEST(BlockEdit, AddressLevelAndGroupId)
{
    Project p = MakeLayout({ { 0, 0, 99, 1, 4 }, { 1, 50, 149, 1, 4 }, { 0, 500, 599, 1, 4 } });
    ASSERT_TRUE(SetBlockAddress(p, 0, -20));
    EXPECT_EQ(p.Blocks[0].StartAdr, 0);
    ASSERT_TRUE(SetBlockAddress(p, 0, kMaxLength));
    EXPECT_EQ(p.Blocks[0].EndAdr, kMaxLength - 1);
    ASSERT_TRUE(SetBlockLevel(p, 1, -3.5f, 2.0f));
    EXPECT_EQ(p.Blocks[1].LevelL, -3.5f);
    EXPECT_EQ(p.Blocks[1].LevelR, 2.0f);
    p.Tracks[1].Selected = 1;
    p.MarkIn = 100;
    p.MarkOut = 501;
    EXPECT_EQ(SetGroupIdInRange(p, 0), 2); // block 0 now lies far away
    EXPECT_EQ(p.Blocks[0].GroupID, 4);
    EXPECT_EQ(p.Blocks[1].GroupID, 0);
    EXPECT_EQ(p.Blocks[2].GroupID, 0);
    EXPECT_EQ(p.CheckInvariants(), "");
}

TEST(Tracks, RemoveTrackRenumbersEverything)
{
    Project p = MakeLayout({ { 0, 0, 99 }, { 1, 0, 99 }, { 2, 0, 99 }, { 3, 0, 99 } });
    p.EnvelopeLength = 4;
    for (int32_t t = 0; t < 4; ++t) {
        p.Envelopes[t].assign(8, static_cast<uint8_t>(10 + t));
        p.Tracks[t].Name = "T" + std::to_string(t);
        p.AddFadePoint();
        p.FadePoints.back().TrackNo = t;
        p.FadePoints.back().EnvFrame = t;
    }
    p.CurrentTrack = 1;
    p.ViewTrackCount = 3;
    ASSERT_TRUE(RemoveTrack(p, 1));
    EXPECT_EQ(p.LastTrackNo, 2);
    EXPECT_EQ(LayoutTable(p), "0:0-99@1 1:0-99@1 2:0-99@1");
    EXPECT_EQ(p.WaveFileCount(), 3);
    EXPECT_EQ(p.Tracks[1].Name, "T2");
    EXPECT_EQ(p.Envelopes[1][0], 12);
    ASSERT_EQ(p.FadePointCount(), 3);
    EXPECT_EQ(p.FadePoints[1].TrackNo, 1);
    EXPECT_EQ(p.FadePoints[1].EnvFrame, 2);
    EXPECT_EQ(p.ViewTrackCount, 2);
    EXPECT_EQ(p.Tracks[p.CurrentTrack].Selected, 1);
    EXPECT_EQ(p.CheckInvariants(), "");

    p.CurrentTrack = 2;
    ASSERT_TRUE(RemoveTrack(p, 2));
    EXPECT_EQ(p.CurrentTrack, 0);
    EXPECT_EQ(p.CheckInvariants(), "");
    ASSERT_TRUE(RemoveTrack(p, 0));
    EXPECT_FALSE(RemoveTrack(p, 0)); // the last track stays
    EXPECT_EQ(p.LastTrackNo, 0);
    EXPECT_EQ(p.CheckInvariants(), "");
}

TEST(Tracks, InsertTrackShiftsLaterTracks)
{
    Project p = MakeLayout({ { 0, 0, 99 }, { 1, 0, 99 } }, 2);
    p.EnvelopeLength = 2;
    p.Envelopes[0].assign(4, 8);
    p.Envelopes[1].assign(4, 9);
    p.Tracks[1].Name = "second";
    p.AddFadePoint();
    p.FadePoints.back().TrackNo = 1;
    p.ViewTrackCount = 1;
    ASSERT_TRUE(InsertTrack(p, 1));
    EXPECT_EQ(p.LastTrackNo, 2);
    EXPECT_EQ(p.ViewTrackCount, 2);
    EXPECT_EQ(LayoutTable(p), "0:0-99@1 2:0-99@1");
    EXPECT_EQ(p.Tracks[2].Name, "second");
    EXPECT_EQ(p.Tracks[1].Name, "");
    EXPECT_EQ(p.Tracks[1].LevelL, p.UnityLevel);
    EXPECT_EQ(p.Tracks[1].PlaySelected, 1);
    EXPECT_EQ(p.Tracks[1].Selected, 0);
    EXPECT_EQ(p.Envelopes[1], TrackEnvelope(4, static_cast<uint8_t>(p.UnityLevel)));
    EXPECT_EQ(p.Envelopes[2][0], 9);
    EXPECT_EQ(p.FadePoints[0].TrackNo, 2);
    EXPECT_EQ(p.CheckInvariants(), "");

    Project full = MakeLayout({}, 64);
    EXPECT_FALSE(InsertTrack(full, 64));
    EXPECT_EQ(full.TrackCount(), 64);
    EXPECT_FALSE(InsertTrack(p, 5));
}

TEST(BlockEdit, CleanBlockName)
{
    EXPECT_EQ(CleanBlockName("a,b\"c\xEF\xBC\x8C"
                             "d"),
        "a.b\xEF\xBC\x82"
        "c.d");
    EXPECT_EQ(CleanBlockName(""), "");
}

TEST(MergeRange, ItsEraseLeavesAGapAndKeepsFramesOutsideTheRange)
{
    struct Case {
        std::vector<BlockSpec> Blocks;
        const char* After;
    };
    const Case cases[] = {
        { { { 0, 0, 2999 } }, "0:0-999@1 0:2000-2999@2001" },
        { { { 0, 500, 1999 } }, "0:500-999@1" },
        { { { 0, 1500, 2500 } }, "0:2000-2500@501" },
        { { { 0, 1000, 1999 } }, "" },
        { { { 0, 1000, 2000 } }, "0:2000-2000@1001" },
        { { { 1, 1000, 1999 } }, "1:1000-1999@1" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(LayoutTable(MakeLayout(c.Blocks)));
        Project p = MakeLayout(c.Blocks);
        p.MarkIn = 1000;
        p.MarkOut = 2000;
        ASSERT_TRUE(EraseSelected(p, false));
        EXPECT_EQ(LayoutTable(p), c.After);
        EXPECT_EQ(p.CheckInvariants(), "");
    }
}

TEST(MergeRange, AFailedRenderChangesNothing)
{
    Project p = MakeLayout({ { 0, 0, 2999 }, { 1, 0, 2999 } });
    p.Tracks[1].Selected = 1;
    p.MarkIn = 1000;
    p.MarkOut = 2000;
    std::string before = ProjectFileText(p);
    int renders = 0;
    Result<std::vector<PlacedFile>> merged
        = MergeRange(p, [&](const Project&, int32_t pTrack) -> Result<std::string> {
              ++renders;
              if (pTrack == 1)
                  return Fail("cancelled");
              return std::string("/nowhere/file.wav");
          });
    ASSERT_FALSE(merged);
    EXPECT_EQ(merged.error().Message, "cancelled");
    EXPECT_EQ(renders, 2);
    EXPECT_EQ(ProjectFileText(p), before);

    Result<std::vector<PlacedFile>> unwired = MergeRange(p, UnwiredTrackRender);
    ASSERT_FALSE(unwired);
    EXPECT_EQ(unwired.error().Message, "トラック1のレンダリングはできません");
    EXPECT_EQ(ProjectFileText(p), before);

    p.MarkOut = p.MarkIn;
    Result<std::vector<PlacedFile>> none = MergeRange(p, UnwiredTrackRender);
    ASSERT_FALSE(none);
    EXPECT_EQ(none.error().Message, "選択されていません");
}

TEST(MergeRange, RenderedFilesReplaceTheRange)
{
    test::TempDir dir;
    Project p = MakeLayout({ { 0, 0, 2999 }, { 1, 500, 1499 }, { 2, 0, 2999 } });
    p.Tracks[1].Selected = 1;
    p.MarkIn = 1000;
    p.MarkOut = 2000;
    Result<std::vector<PlacedFile>> merged
        = MergeRange(p, [&](const Project& pProject, int32_t pTrack) -> Result<std::string> {
              std::string path = dir.File("merge" + std::to_string(pTrack) + ".wav");
              int32_t frames = pProject.MarkOut - pProject.MarkIn;
              if (!test::WriteWav(path,
                      test::PcmSpec(
                          44100, 16, 2, std::string(static_cast<size_t>(frames) * 4, '\0'))))
                  return Fail("write");
              return path;
          });
    ASSERT_TRUE(merged);
    ASSERT_EQ(merged->size(), 2u);
    EXPECT_TRUE((*merged)[0].NewWave);
    EXPECT_EQ(LayoutTable(p),
        "0:0-999@1 0:2000-2999@2001 1:500-999@1 2:0-2999@1 0:1000-1999@1 1:1000-1999@1");
    EXPECT_EQ(p.Blocks[4].Name, "merge0");
    EXPECT_EQ(p.CheckInvariants(), "");
}

} // namespace tarvok
