#include "edit/block_drag.h"

#include "edit/block_layout.h"

#include <gtest/gtest.h>

namespace tarvok {

using test::BlockSpec;
using test::LayoutTable;
using test::MakeLayout;

namespace {

struct Counter {
    int Snapshots = 0;
    std::string TableAtSnapshot;
    DragHooks Hooks(const Project& pProject)
    {
        DragHooks hooks;
        hooks.TakeSnapshot = [this, &pProject] {
            ++Snapshots;
            TableAtSnapshot = LayoutTable(pProject);
            return true;
        };
        return hooks;
    }
};

DragPress LowerPress(int32_t pFrame, int32_t pTrack)
{
    DragPress press;
    press.Frame = pFrame;
    press.Track = pTrack;
    press.LowerHalf = true;
    press.EdgeFrames = 10;
    return press;
}

} // namespace

TEST(BlockDrag, AMoveTakesOneSnapshotOfTheStateBeforeIt)
{
    Project p = MakeLayout({ { 0, 1000, 1999 } });
    Counter c;
    DragHooks hooks = c.Hooks(p);
    BlockDrag drag;
    PressOutcome press = drag.Press(p, LowerPress(1500, 0), false);
    EXPECT_EQ(press.Mode, DragMode::Move);
    EXPECT_EQ(press.Message, "b0");
    EXPECT_EQ(p.SelectedBlock, 0);
    EXPECT_EQ(drag.Move(p, 1600, 0, 0, false, hooks), "ブロック位置  000'00.025");
    drag.Move(p, 1700, 1, 0, false, hooks);
    drag.Move(p, 1650, 2, 0, false, hooks);
    EXPECT_EQ(c.Snapshots, 1);
    EXPECT_EQ(c.TableAtSnapshot, "0:1000-1999@1");
    EXPECT_FALSE(p.Saved);
    EXPECT_TRUE(drag.Release(p, hooks));
    EXPECT_EQ(LayoutTable(p), "2:1150-2149@1");
    EXPECT_EQ(p.ProjectLength, 2150);
    EXPECT_EQ(drag.Mode(), DragMode::None);
    EXPECT_EQ(p.CheckInvariants(), "");
}

TEST(BlockDrag, ADragWhoseSnapshotFailsChangesNothingAndEnds)
{
    struct Case {
        const char* Name;
        int32_t PressFrame, ToFrame, ToTrack;
    };
    const Case cases[] = {
        { "move", 1500, 1700, 1 },
        { "trim the start", 1002, 1300, 0 },
        { "trim the end", 1997, 1500, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Project p = MakeLayout({ { 0, 1000, 1999 } });
        const std::string before = LayoutTable(p);
        int calls = 0;
        DragHooks hooks;
        hooks.TakeSnapshot = [&calls] {
            ++calls;
            return false;
        };
        BlockDrag drag;
        EXPECT_NE(drag.Press(p, LowerPress(c.PressFrame, 0), false).Mode, DragMode::None);
        drag.Move(p, c.ToFrame, c.ToTrack, 0, false, hooks);
        drag.Move(p, c.ToFrame + 50, c.ToTrack, 0, false, hooks);
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(drag.Mode(), DragMode::None);
        EXPECT_FALSE(drag.Release(p, hooks));
        EXPECT_EQ(LayoutTable(p), before);
        EXPECT_TRUE(p.Saved);
    }
}

TEST(BlockDrag, NoSnapshotWhenNothingMoves)
{
    struct Case {
        const char* Name;
        std::vector<BlockSpec> Blocks;
        int32_t ToFrame, ToTrack;
        bool Ctrl;
        int32_t Beyond;
    };
    const Case cases[] = {
        { "click without movement", { { 0, 1000, 1999 } }, 1500, 0, false, 0 },
        { "locked block", { { 0, 1000, 1999, 1, 0, kBlockLocked } }, 1800, 1, false, 0 },
        { "group already at frame 0", { { 0, 0, 999, 1, 3 }, { 1, 500, 999, 1, 3 } }, 0, 0, false,
            0 },
        { "Ctrl held", { { 0, 1000, 1999 } }, 1800, 0, true, 0 },
        { "pointer beyond the area", { { 0, 1000, 1999 } }, 1800, 0, false, 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Project p = MakeLayout(c.Blocks);
        std::string before = LayoutTable(p);
        Counter counter;
        DragHooks hooks = counter.Hooks(p);
        BlockDrag drag;
        int32_t pressFrame = c.Blocks[0].Start + 500;
        drag.Press(p, LowerPress(pressFrame, 0), false);
        drag.Move(p, c.ToFrame, c.ToTrack, c.Beyond, c.Ctrl, hooks);
        EXPECT_FALSE(drag.Release(p, hooks));
        EXPECT_EQ(counter.Snapshots, 0);
        EXPECT_EQ(LayoutTable(p), before);
        EXPECT_TRUE(p.Saved);
    }
}

TEST(BlockDrag, AGroupStopsWhereAMemberReachesZeroAndKeepsItsTrackOffsets)
{
    Project p = MakeLayout({ { 1, 300, 399, 1, 9 }, { 2, 100, 199, 1, 9 } });
    Counter c;
    DragHooks hooks = c.Hooks(p);
    BlockDrag drag;
    drag.Press(p, LowerPress(350, 1), false);
    drag.Move(p, 0, 3, 0, false, hooks); // 350 frames left, two tracks down
    drag.Release(p, hooks);
    EXPECT_EQ(LayoutTable(p), "2:200-299@1g9 3:0-99@1g9");
    EXPECT_EQ(c.Snapshots, 1);
    EXPECT_EQ(p.CheckInvariants(), "");
}

TEST(BlockDrag, PressPicksTheModeFromLaneHalfEdgesAndShiftToDrag)
{
    struct Case {
        const char* Name;
        int32_t Frame;
        bool Lower, Shift, ShiftToDrag;
        DragMode Mode;
    };
    // Block 1000..1999 on track 0; edges grabbed within 10 frames.
    const Case cases[] = {
        { "upper half selects a range", 1500, false, false, false, DragMode::Range },
        { "lower half moves", 1500, true, false, false, DragMode::Move },
        { "near the start trims", 1005, true, false, false, DragMode::TrimStart },
        { "near the end trims", 1990, true, false, false, DragMode::TrimEnd },
        { "ShiftToDrag without Shift drags the head", 1500, true, false, true, DragMode::Head },
        { "ShiftToDrag with Shift moves", 1500, true, true, true, DragMode::Move },
        { "empty place", 5000, true, false, false, DragMode::None },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Project p = MakeLayout({ { 0, 1000, 1999 } });
        DragPress press = LowerPress(c.Frame, 0);
        press.LowerHalf = c.Lower;
        press.Shift = c.Shift;
        BlockDrag drag;
        EXPECT_EQ(drag.Press(p, press, c.ShiftToDrag).Mode, c.Mode);
    }
    Project p = MakeLayout({ { 0, 1000, 1999 } });
    BlockDrag drag;
    PressOutcome bad = drag.Press(p, LowerPress(0, 9), false);
    EXPECT_EQ(bad.Message, "トラック選択エラー");
    EXPECT_EQ(bad.Mode, DragMode::None);
}

TEST(BlockDrag, TopmostBlockUnderThePointerIsSelected)
{
    Project p = MakeLayout({ { 0, 0, 999 }, { 0, 400, 599 }, { 1, 0, 999 } });
    BlockDrag drag;
    drag.Press(p, LowerPress(500, 0), false);
    EXPECT_EQ(p.SelectedBlock, 1);
    drag.Press(p, LowerPress(700, 0), false);
    EXPECT_EQ(p.SelectedBlock, 0);
    drag.Press(p, LowerPress(2000, 1), false);
    EXPECT_EQ(p.SelectedBlock, -1);
    EXPECT_EQ(p.CurrentTrack, 1);
}

TEST(BlockDrag, TrimmingDragsStopAtTheMinimumLength)
{
    Project p = MakeLayout({ { 0, 1000, 1999, 501 } });
    Counter c;
    DragHooks hooks = c.Hooks(p);
    BlockDrag drag;
    ASSERT_EQ(drag.Press(p, LowerPress(1995, 0), false).Mode, DragMode::TrimEnd);
    EXPECT_EQ(drag.Move(p, 1000, 0, 0, false, hooks), "ブロック終了  000'00.013");
    drag.Release(p, hooks);
    EXPECT_EQ(LayoutTable(p), "0:1000-1064@501");
    EXPECT_EQ(c.Snapshots, 1);
    EXPECT_EQ(c.TableAtSnapshot, "0:1000-1999@501");

    ASSERT_EQ(drag.Press(p, LowerPress(1002, 0), false).Mode, DragMode::TrimStart);
    EXPECT_EQ(drag.Move(p, 900, 0, 0, false, hooks), "ブロック開始  000'00.009");
    drag.Release(p, hooks);
    EXPECT_EQ(LayoutTable(p), "0:898-1064@399");
    EXPECT_EQ(p.CheckInvariants(), "");
}

TEST(BlockDrag, FadeLockedBlockCarriesItsEnvelopeAndFadePoints)
{
    // One envelope frame is 2048 samples: a block at 4096.. starts in frame 2.
    Project p = MakeLayout({ { 0, 4096, 6143, 1, 0, kBlockFadeLocked } });
    ASSERT_GE(p.EnvelopeLength, 10);
    TrackEnvelope& env = p.Envelopes[0];
    env[2 * 2] = 10;
    env[3 * 2 + 1] = 20;
    p.AddFadePoint();
    p.FadePoints.back() = FadePoint { 3, 0, 3 };
    p.AddFadePoint();
    p.FadePoints.back() = FadePoint { 9, 0, 1 }; // outside the block's section
    Counter c;
    DragHooks hooks = c.Hooks(p);
    BlockDrag drag;
    drag.Press(p, LowerPress(5000, 0), false);
    EXPECT_EQ(p.MarkIn, 4096);
    EXPECT_EQ(p.MarkOut, 6144);
    drag.Move(p, 5000 + 2048 * 3, 1, 0, false, hooks);
    ASSERT_TRUE(drag.Release(p, hooks));
    EXPECT_EQ(LayoutTable(p), "1:10240-12287@1f2");
    const auto unity = static_cast<uint8_t>(p.UnityLevel);
    EXPECT_EQ(p.Envelopes[0][2 * 2], unity);
    EXPECT_EQ(p.Envelopes[0][3 * 2 + 1], unity);
    EXPECT_EQ(p.Envelopes[1][5 * 2], 10);
    EXPECT_EQ(p.Envelopes[1][6 * 2 + 1], 20);
    ASSERT_EQ(p.FadePointCount(), 2);
    EXPECT_EQ(p.FadePoints[0].EnvFrame, 9);
    EXPECT_EQ(p.FadePoints[0].TrackNo, 0);
    EXPECT_EQ(p.FadePoints[1].EnvFrame, 6);
    EXPECT_EQ(p.FadePoints[1].TrackNo, 1);
    EXPECT_EQ(p.FadePoints[1].Channels, 3);
    EXPECT_EQ(c.Snapshots, 1);
    EXPECT_EQ(p.CheckInvariants(), "");
}

TEST(BlockDrag, PlainDragLeavesTheEnvelopeAlone)
{
    Project p = MakeLayout({ { 0, 4096, 6143 } });
    p.Envelopes[0][4] = 10;
    BlockDrag drag;
    DragHooks hooks;
    drag.Press(p, LowerPress(5000, 0), false);
    drag.Move(p, 9000, 0, 0, false, hooks);
    ASSERT_TRUE(drag.Release(p, hooks));
    EXPECT_EQ(p.Envelopes[0][4], 10);
}

TEST(BlockDrag, BeyondTheAreaSetsTheScrollDirectionAndFollowsTheScroll)
{
    Project p = MakeLayout({ { 0, 1000, 1999 } });
    Counter c;
    DragHooks hooks = c.Hooks(p);
    BlockDrag drag;
    drag.Press(p, LowerPress(1500, 0), false);
    EXPECT_EQ(drag.Move(p, 9000, 0, 1, false, hooks), "");
    EXPECT_EQ(drag.ScrollDirection(), 1);
    EXPECT_EQ(c.Snapshots, 0);
    drag.FollowScroll(p, 300, hooks);
    EXPECT_EQ(LayoutTable(p), "0:1300-2299@1");
    // The pointer now stands over frame 9300: moving to 9100 moves the block left.
    drag.Move(p, 9100, 0, 0, false, hooks);
    EXPECT_EQ(drag.ScrollDirection(), 0);
    EXPECT_EQ(LayoutTable(p), "0:1100-2099@1");
    drag.Release(p, hooks);
    EXPECT_EQ(c.Snapshots, 1);
}

} // namespace tarvok
