#include "app/windows/draw_level_window.h"

#include "app/commands/command_dispatch.h"
#include "app/shell/main_logic.h"
#include "core/command_ids.h"
#include "core/envelope.h"
#include "core/headless_ui.h"
#include "core/project_file.h"
#include "edit/fade_edit.h"
#include "support/started_logic.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvok {

namespace {

constexpr int32_t kFrame = 2048;

// A project whose envelopes hold 1000 frames of unity; tracks 0 and 1 selected, track 0
// current. The picture is 100 x 255 pixels, so that a pixel row is a level.
struct Fixture : test::StartedLogic<> {
    DrawLevelModel Model { Logic };

    Fixture()
    {
        Project& p = P();
        p.EnvelopeLength = 1000;
        for (TrackEnvelope& e : p.Envelopes)
            e.assign(2000, static_cast<uint8_t>(p.UnityLevel));
        p.Tracks[1].Selected = 1;
        p.MarkIn = 10 * kFrame;
        p.MarkOut = 110 * kFrame; // 100 frames: one frame per pixel
    }

    int32_t E(int32_t pTrack, int32_t pChannel, int32_t pFrame)
    {
        return EnvelopeLevel(P(), pTrack, pChannel, pFrame);
    }
    int32_t Y(int32_t pLevel) const { return 255 - pLevel; }
};

} // namespace

TEST(DrawLevel, OpeningNeedsASelectionInsideTheEnvelope)
{
    struct Case {
        const char* Name;
        int32_t In, Out;
        const char* Status;
    };
    const Case cases[] = {
        { "no selection", 5000, 5000, "選択されていません" },
        { "reversed", 5000, 4000, "選択されていません" },
        { "before the timeline", -10, 4000, "" },
        { "beyond the envelope", 0, 1000 * kFrame, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Fixture f;
        f.P().MarkIn = c.In;
        f.P().MarkOut = c.Out;
        f.Ui.ClearEvents();
        const int32_t counter = f.P().UndoCounter;
        EXPECT_FALSE(f.Model.Open(DrawMode::Draw, 100, 255));
        EXPECT_FALSE(f.Logic.DrawWindowOpen);
        EXPECT_EQ(f.P().UndoCounter, counter);
        if (*c.Status != '\0')
            EXPECT_EQ(f.Ui.LastStatus(), c.Status);
        else
            EXPECT_TRUE(f.Ui.StatusTexts().empty());
    }
    Fixture f;
    f.Logic.Playing = true;
    EXPECT_FALSE(f.Model.Open(DrawMode::Background, 100, 255));
}

TEST(DrawLevel, WhileOpenFadeCommandsAreRefusedAndClosingSavesAndUndoes)
{
    Fixture f;
    const std::string before = ProjectFileText(f.P());
    const int32_t counter = f.P().UndoCounter;
    ASSERT_TRUE(f.Model.Open(DrawMode::Draw, 100, 255));
    EXPECT_TRUE(f.Logic.DrawWindowOpen);
    EXPECT_EQ(f.P().UndoCounter, counter + 1) << "a snapshot at opening";
    EXPECT_FALSE(RunCommand(f.Logic, kCmdFadeIn));
    EXPECT_FALSE(RunCommand(f.Logic, kCmdFadeMerge));
    // Draw a dip and close.
    ASSERT_TRUE(f.Model.Press(50, f.Y(100), false, false));
    f.Model.Release(false);
    const std::string fileBefore = f.P().Tracks[1].EnvelopeFile;
    f.Model.Close();
    EXPECT_FALSE(f.Logic.DrawWindowOpen);
    EXPECT_NE(f.P().Tracks[1].EnvelopeFile, fileBefore);
    std::vector<uint8_t> read;
    ASSERT_TRUE(ReadEnvelopeFile(f.P().Tracks[1].EnvelopeFile, 1000, 7, read));
    EXPECT_EQ(read, f.P().Envelopes[1]);
    EXPECT_TRUE(RunCommand(f.Logic, kCmdFadeIn));
    ASSERT_TRUE(f.Logic.UndoCommand(false));
    ASSERT_TRUE(f.Logic.UndoCommand(false));
    f.P().Tracks[1].Selected = 1; // an undo step selects only the current track
    EXPECT_EQ(ProjectFileText(f.P()), before);
    EXPECT_EQ(f.E(1, 0, 60), f.P().UnityLevel);
}

TEST(DrawLevel, GeometryMapsFramesAndLevelsToPixels)
{
    Fixture f;
    ASSERT_TRUE(f.Model.Open(DrawMode::Draw, 100, 255));
    EXPECT_DOUBLE_EQ(f.Model.FramesPerPixel(), 1.0);
    EXPECT_EQ(f.Model.FirstFrame(), 10);
    EXPECT_EQ(f.Model.XOfFrame(60), 50);
    EXPECT_EQ(f.Model.XOfFrame(3), 0);
    EXPECT_EQ(f.Model.FrameOfX(50), 60);
    EXPECT_EQ(f.Model.FrameOfX(5000), 999) << "held to the last frame";
    EXPECT_EQ(f.Model.YOfLevel(207), 48);
    EXPECT_EQ(f.Model.LevelOfY(48), 207);
    EXPECT_EQ(f.Model.LevelOfY(-9), 255);
    ASSERT_EQ(f.Model.Handles().size(), 2u);
    EXPECT_EQ(f.Model.Handles()[0].Frame, 10);
    EXPECT_EQ(f.Model.Handles()[1].Frame, 110);
    EXPECT_EQ(f.Model.Handles()[1].X, 100);
    EXPECT_EQ(f.Model.HitTest(7, 48 + 8), 0);
    EXPECT_EQ(f.Model.HitTest(9, 48), -1);
    EXPECT_EQ(f.Model.Caption(), "フェードを描く");
    f.P().Head = 35 * kFrame;
    EXPECT_EQ(f.Model.HeadX(), 25);
    f.P().Head = 200 * kFrame;
    EXPECT_FALSE(f.Model.HeadX().has_value());
}

TEST(DrawLevel, PressDragAndReleaseApplyToCurrentThenSelectedTracks)
{
    Fixture f;
    SetEnvelopeLevel(f.P(), 0, 0, 110, 107); // the end value of the current track
    SetEnvelopeLevel(f.P(), 0, 1, 110, 107);
    ASSERT_TRUE(f.Model.Open(DrawMode::Draw, 100, 255));
    EXPECT_EQ(f.Model.Handles()[1].Level, 107);
    ASSERT_TRUE(f.Model.Press(50, f.Y(57), false, false));
    EXPECT_EQ(f.Model.Dragging(), 2);
    // Applied to the current track: 207 at 10 down to 57 at 60, up to 107 at 110.
    for (int32_t c = 0; c < 2; ++c) {
        EXPECT_EQ(f.E(0, c, 10), 207);
        EXPECT_EQ(f.E(0, c, 35), 132);
        EXPECT_EQ(f.E(0, c, 60), 57);
        EXPECT_EQ(f.E(0, c, 85), 82);
        EXPECT_EQ(f.E(0, c, 110), 107);
    }
    EXPECT_EQ(f.E(1, 0, 60), f.P().UnityLevel) << "not yet on the other selected track";
    f.Model.Move(f.Y(7), false);
    EXPECT_EQ(f.E(0, 0, 60), 7);
    EXPECT_EQ(f.Ui.LastStatus(), LevelText(f.P().Fades, 7));
    f.Model.Release(false);
    EXPECT_EQ(f.Model.Dragging(), -1);
    EXPECT_EQ(f.E(1, 0, 60), 7);
    EXPECT_EQ(f.E(1, 1, 110), f.P().UnityLevel) << "track 1's own end value";
    EXPECT_EQ(f.E(1, 0, 85), 107);
    EXPECT_EQ(f.E(2, 0, 60), f.P().UnityLevel) << "track 2 is not selected";
}

TEST(DrawLevel, ShiftOnlyMovesTheHandle)
{
    Fixture f;
    ASSERT_TRUE(f.Model.Open(DrawMode::Draw, 100, 255));
    ASSERT_TRUE(f.Model.Press(30, f.Y(100), false, true));
    f.Model.Move(f.Y(20), true);
    f.Model.Release(true);
    ASSERT_EQ(f.Model.Handles().size(), 3u);
    EXPECT_EQ(f.Model.Handles()[2].Level, 20);
    EXPECT_EQ(f.Model.Handles()[2].Frame, 40);
    for (int32_t k = 0; k < 1000; ++k)
        ASSERT_EQ(f.E(0, 0, k), f.P().UnityLevel);
    // Applying it now draws it.
    ASSERT_TRUE(f.Model.ApplyHandle(2, true));
    EXPECT_EQ(f.E(1, 0, 40), 20);
}

TEST(DrawLevel, ExtraHandlesStaySortedAndOnlyThemCanBeDeleted)
{
    Fixture f;
    ASSERT_TRUE(f.Model.Open(DrawMode::Draw, 100, 255));
    for (int32_t x : { 70, 20, 45 }) {
        ASSERT_TRUE(f.Model.Press(x, f.Y(150), false, true));
        f.Model.Release(true);
    }
    EXPECT_FALSE(f.Model.Press(0, 0, false, false)) << "not strictly between the edges";
    ASSERT_EQ(f.Model.Handles().size(), 5u);
    EXPECT_EQ(f.Model.Handles()[2].X, 20);
    EXPECT_EQ(f.Model.Handles()[3].X, 45);
    EXPECT_EQ(f.Model.Handles()[4].X, 70);
    EXPECT_FALSE(f.Model.Press(0, f.Y(207), true, false)) << "the start handle stays";
    EXPECT_TRUE(f.Model.Press(45, f.Y(150), true, false));
    ASSERT_EQ(f.Model.Handles().size(), 4u);
    EXPECT_EQ(f.Model.Handles()[3].X, 70);
    // An extra handle applies between its neighbours only.
    ASSERT_TRUE(f.Model.ApplyHandle(3, false));
    EXPECT_EQ(f.E(0, 0, 40), 196); // 207 - 10 x 57 / 50, from the envelope at frame 30
    EXPECT_EQ(f.E(0, 0, 30), 207) << "left of the neighbour at 30 (frame) nothing changes";
}

TEST(DrawLevel, HandlesOnTheSameFrameAreNotApplied)
{
    Fixture f;
    f.P().MarkOut = f.P().MarkIn + 10 * kFrame; // 0.1 frame per pixel
    ASSERT_TRUE(f.Model.Open(DrawMode::Draw, 100, 255));
    ASSERT_TRUE(f.Model.Press(2, f.Y(50), false, false));
    EXPECT_EQ(f.Model.Handles()[2].Frame, 10);
    EXPECT_EQ(f.E(0, 0, 10), f.P().UnityLevel);
    EXPECT_FALSE(f.Model.ApplyHandle(2, true));
}

TEST(DrawLevel, ClearLeavesAStraightLineAndOffsetMovesTheRange)
{
    Fixture f;
    SetEnvelopeLevel(f.P(), 0, 0, 110, 7);
    SetEnvelopeLevel(f.P(), 1, 0, 110, 7);
    ASSERT_TRUE(f.Model.Open(DrawMode::Draw, 100, 255));
    ASSERT_TRUE(f.Model.Press(50, f.Y(255), false, false));
    f.Model.Release(false);
    f.Model.Clear();
    ASSERT_EQ(f.Model.Handles().size(), 2u);
    for (int32_t t : { 0, 1 }) {
        EXPECT_EQ(f.E(t, 0, 10), 207);
        EXPECT_EQ(f.E(t, 0, 60), 107);
        EXPECT_EQ(f.E(t, 0, 110), 7);
    }
    f.Model.PreviewOffset(-20);
    EXPECT_EQ(f.Ui.LastStatus(), LevelText(f.P().Fades, 187));
    EXPECT_DOUBLE_EQ(f.Model.CurveY(0), 255.0 - 187.0);
    f.Model.ApplyOffset(-20);
    EXPECT_EQ(f.Model.Offset(), 0);
    // Frames MarkIn div 2048 .. MarkOut div 2048 + 1 of the selected tracks.
    EXPECT_EQ(f.E(0, 0, 10), 187);
    EXPECT_EQ(f.E(1, 1, 60), 87) << "the left channel's value, written to both";
    EXPECT_EQ(f.E(0, 0, 111), 187);
    EXPECT_EQ(f.E(0, 0, 112), 207);
    EXPECT_EQ(f.E(0, 0, 9), 207);
    EXPECT_EQ(f.E(2, 0, 10), 207);
    EXPECT_EQ(f.Model.Handles()[0].Level, 187);
    EXPECT_EQ(f.Model.Handles()[1].Y, f.Y(0)) << "7 - 20 held at 0";
}

TEST(DrawLevel, BackgroundFadeHandlesFollowTheLengthRules)
{
    {
        // 65535 samples: only the edges, the start applied (a straight line).
        Fixture f;
        f.P().MarkIn = 10 * kFrame;
        f.P().MarkOut = f.P().MarkIn + 65535;
        SetEnvelopeLevel(f.P(), 0, 0, 42, 7);
        ASSERT_TRUE(f.Model.Open(DrawMode::Background, 100, 255));
        EXPECT_EQ(f.Model.Handles().size(), 2u);
        EXPECT_EQ(f.Model.Caption(), "BGフェード");
    }
    {
        // 5 s at 44100 Hz with 3000 ms each way: a >= b, so a is the midpoint and b one
        // frame later, both inside the selection less 2048 samples at each end.
        Fixture f;
        f.P().MarkIn = 10 * kFrame;
        f.P().MarkOut = f.P().MarkIn + 5 * 44100;
        ASSERT_TRUE(f.Model.Open(DrawMode::Background, 1000, 255));
        ASSERT_EQ(f.Model.Handles().size(), 4u);
        EXPECT_EQ(f.Model.FadeInText(), "3000");
        EXPECT_EQ(f.Model.BgLevel(), 128);
        const double a = f.P().MarkIn + 110250.0; // (MarkIn + 88200 + MarkIn + 132300) / 2
        EXPECT_EQ(f.Model.Handles()[2].X, f.Model.XOfFrame(a / kFrame));
        EXPECT_EQ(f.Model.Handles()[3].X, f.Model.XOfFrame((a + kFrame) / kFrame));
        for (int i : { 2, 3 }) {
            const int64_t samples = static_cast<int64_t>(f.Model.Handles()[i].Frame) * kFrame;
            EXPECT_GE(samples, f.P().MarkIn + 2048 - kFrame);
            EXPECT_LE(samples, f.P().MarkOut - 2048 + kFrame);
            EXPECT_EQ(f.Model.Handles()[i].Level, 128);
        }
        EXPECT_EQ(f.E(0, 0, f.Model.Handles()[2].Frame), 128);
        EXPECT_EQ(f.E(1, 1, f.Model.Handles()[3].Frame), 128);
    }
}

TEST(DrawLevel, BackgroundFadeDipsEverySelectedTrackAndFollowsTheSelection)
{
    Fixture f;
    f.Store.SaveSetting("BGFadeValue", 100);
    f.Store.SaveSetting("BGFadeIn", 1000);
    f.Store.SaveSetting("BGFadeOut", -1000);
    // 10 s from frame 10.
    f.P().MarkIn = 10 * kFrame;
    f.P().MarkOut = f.P().MarkIn + 441000;
    SetEnvelopeLevel(f.P(), 1, 0, 10, 150); // track 1 starts at its own level
    ASSERT_TRUE(f.Model.Open(DrawMode::Background, 441, 255)); // 1000 samples a pixel
    EXPECT_EQ(f.Model.FadeOutText(), "-1000");
    const int32_t a = f.Model.Handles()[2].Frame;
    const int32_t b = f.Model.Handles()[3].Frame;
    EXPECT_NEAR(a, 10 + 44100 / kFrame, 1);
    EXPECT_NEAR(b, 10 + (441000 - 44100) / kFrame, 1);
    for (int32_t t : { 0, 1 }) {
        SCOPED_TRACE(t);
        EXPECT_EQ(f.E(t, 0, (a + b) / 2), 100);
        EXPECT_EQ(f.E(t, 0, a), 100);
        EXPECT_EQ(f.E(t, 0, b), 100);
        EXPECT_EQ(f.E(t, 0, 10), t == 0 ? 207 : 150);
        EXPECT_EQ(f.E(t, 0, f.Model.Handles()[1].Frame), 207);
    }
    // The fader releases at 60: built again at 60.
    f.Model.SetBgLevel(60);
    EXPECT_EQ(f.E(1, 0, (a + b) / 2), 60);
    EXPECT_EQ(f.E(1, 0, 10), 150);

    // The selection start moves right by 5 frames on the same track: the frames it left get
    // the level that stood at the old start, and the dip is built again behind it.
    EXPECT_FALSE(f.Model.Watch());
    f.P().MarkIn += 5 * kFrame;
    ASSERT_TRUE(f.Model.Watch());
    for (int32_t k = 10; k <= 15; ++k)
        EXPECT_EQ(f.E(0, 0, k), 207) << k;
    EXPECT_EQ(f.E(1, 0, 12), 150);
    EXPECT_EQ(f.Model.Handles()[0].Frame, 15);
    EXPECT_EQ(f.E(0, 0, f.Model.Handles()[2].Frame), 60);

    // Not numeric: nothing applied.
    f.Model.SetFadeInText("abc");
    SetEnvelopeLevel(f.P(), 0, 0, 100, 3);
    f.Model.SetBgLevel(200);
    EXPECT_EQ(f.E(0, 0, 100), 3);
    EXPECT_EQ(f.Model.Handles().size(), 2u);

    // "Save" keeps the level and the numeric times as absolute integers.
    f.Model.SetFadeOutText("-2500.4");
    f.Model.SaveBgSettings();
    EXPECT_EQ(f.Store.GetSetting("BGFadeValue", int32_t { 0 }), 200);
    EXPECT_EQ(f.Store.GetSetting("BGFadeIn", int32_t { 0 }), 1000);
    EXPECT_EQ(f.Store.GetSetting("BGFadeOut", int32_t { 0 }), 2500);
}

} // namespace tarvok
