#include "app/windows/main_view.h"

#include "app/commands/command_table.h"
#include "app/shell/main_logic.h"
#include "core/headless_ui.h"
#include "core/settings.h"
#include "engine/engine_clock.h"
#include "engine/playback_engine.h"
#include "engine/recording_engine.h"
#include "engine/virtual_wave_device.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvok {

namespace {

/// Eight tracks, nothing on them; the view arranged for 4 lanes of 100 pixels.
struct ViewFixture {
    MemorySettingsBackend Backend;
    Settings Store { Backend };
    HeadlessUi Ui;
    MainLogic Logic { Store, Ui };
    Project& P = Logic.Proj();
    MainView View { Logic };

    ViewFixture()
    {
        P.SetTrackCount(8);
        P.ViewTrackCount = 3;
        // 4 lanes of 100 pixels: 4 x 100 + 3 x 3 + 5.
        View.Arrange(414, 800);
    }

    /// A block on pTrack at pStart frames over a peak array of pEntries entries of pValue.
    int32_t AddBlock(int32_t pTrack, int32_t pStart, int32_t pEntries, uint8_t pValue)
    {
        P.Peaks.push_back(PeakArray(static_cast<size_t>(pEntries) * 2, pValue));
        Block b;
        b.TrackNo = pTrack;
        b.StartAdr = pStart;
        b.PeakStart = 0;
        b.PeakEnd = pEntries - 1;
        b.PeakLen = pEntries;
        b.EndAdr = pStart + pEntries * P.SampleStep - 1;
        P.Blocks.push_back(b);
        return static_cast<int32_t>(P.Blocks.size()) - 1;
    }
};

} // namespace

TEST(MainView, LanesAreThreePixelsApartAndAtLeastThreeHigh)
{
    ViewFixture f;
    EXPECT_EQ(f.View.TrackHeight, 100);
    EXPECT_EQ(f.View.HalfHeight, 50);
    ASSERT_EQ(f.View.TrackY.size(), 8u);
    for (int32_t t = 0; t < 8; ++t)
        EXPECT_EQ(f.View.TrackY[t], 103 * t);
    EXPECT_EQ(f.View.ContainerHeight(), 414);
    EXPECT_EQ(f.Logic.TrackAreaWidthPx, 800);
    f.View.Arrange(10, 800);
    EXPECT_EQ(f.View.TrackHeight, 3);
    EXPECT_EQ(f.View.PointRadius, 4);
    f.View.Arrange(4 * 1200 + 14, 800);
    EXPECT_EQ(f.View.PointRadius, 16);
}

TEST(MainView, LanesTooLowToReadScrollInsteadAndLeaveNoBandBelow)
{
    struct Case {
        int32_t Tracks;
        int32_t ViewCount; // ViewTrackCount asked for
        int32_t Room; // pixels of the lane container
        bool Held; // fewer lanes shown than asked
    };
    const Case cases[] = {
        { 64, 63, 480, true },
        { 64, 63, 300, true },
        { 64, 15, 480, false },
        { 32, 31, 900, false },
        { 8, 7, 480, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Tracks << " tracks in " << c.Room << " px");
        ViewFixture f;
        f.P.SetTrackCount(c.Tracks);
        f.P.ViewTrackCount = c.ViewCount;
        f.P.ViewScroll = 0;
        f.View.Arrange(c.Room, 800);
        EXPECT_GE(f.View.TrackHeight, kMinReadableLaneHeight);
        EXPECT_EQ(f.View.ShownTrackCount() < c.ViewCount, c.Held);
        EXPECT_EQ(f.P.ViewTrackCount, c.ViewCount); // what was asked for stays
        if (!c.Held)
            continue;
        EXPECT_TRUE(f.View.VerticalBarShown());
        EXPECT_EQ(f.View.ContainerHeight(), c.Room);
        EXPECT_EQ(f.View.LaneTop(0), 0);
        // The bar's far end shows the last lane ending at the surface's bottom row.
        EXPECT_TRUE(f.View.SetVerticalBar(-1000));
        EXPECT_EQ(f.View.LaneTop(c.Tracks - 1) + f.View.TrackHeight, f.View.SurfaceHeight);
        EXPECT_EQ(f.View.TrackFromY(f.View.SurfaceHeight - 1), c.Tracks - 1);
        // Moving to a lane brings it onto the surface.
        f.View.ScrollToTrack(30);
        EXPECT_TRUE(f.View.LaneVisible(30));
    }
}

TEST(MainView, TrackDownCentresTheCurrentLane)
{
    ViewFixture f;
    struct Case {
        int32_t Track;
        int32_t ViewScroll;
        int32_t Offset;
    };
    const Case cases[] = { { 3, 377, -155 }, { 7, 1000, -412 }, { 0, 0, 0 }, { 1, 0, 0 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Track);
        f.View.ScrollToTrack(c.Track);
        EXPECT_EQ(f.P.ViewScroll, c.ViewScroll);
        EXPECT_EQ(f.View.ScrollOffset, c.Offset);
        EXPECT_EQ(f.View.VerticalBarValue(), -c.ViewScroll);
    }
    f.View.ScrollToTrack(3);
    EXPECT_EQ(f.View.LaneTop(3), 154);
    EXPECT_EQ(f.View.LaneTop(3) + f.View.TrackHeight, 254);
    EXPECT_EQ(f.View.TrackFromY(200), 3);
    EXPECT_EQ(f.View.TrackFromY(100000), 7);
}

TEST(MainView, AllLanesShownNeverScroll)
{
    ViewFixture f;
    f.View.SetViewTrackCount(99);
    EXPECT_EQ(f.P.ViewTrackCount, 7);
    EXPECT_FALSE(f.View.VerticalBarShown());
    f.View.ScrollToTrack(7);
    EXPECT_EQ(f.View.ScrollOffset, 0);
    EXPECT_EQ(f.View.VerticalBarValue(), 0);
    f.View.SetViewTrackCount(-5);
    EXPECT_EQ(f.P.ViewTrackCount, 0);
    EXPECT_TRUE(f.View.VerticalBarShown());
}

TEST(MainView, VerticalBarRedrawsOnlyOnChange)
{
    ViewFixture f;
    const int before = f.Ui.RedrawCount();
    EXPECT_TRUE(f.View.SetVerticalBar(-500));
    EXPECT_EQ(f.P.ViewScroll, 500);
    EXPECT_EQ(f.View.ScrollOffset, -206);
    const int after = f.Ui.RedrawCount();
    EXPECT_GT(after, before);
    EXPECT_FALSE(f.View.SetVerticalBar(-500));
    EXPECT_EQ(f.Ui.RedrawCount(), after);
}

TEST(MainView, TrackSelectionFollowsModifiers)
{
    ViewFixture f;
    f.P.CurrentTrack = 1;
    f.P.Tracks[1].Selected = 1;
    f.View.SetCurrentTrack(4, kModShift);
    for (int32_t t = 0; t < 8; ++t)
        EXPECT_EQ(f.P.Tracks[t].Selected, t >= 1 && t <= 4 ? 1 : 0) << t;
    f.View.SetCurrentTrack(6, kModCtrl);
    EXPECT_EQ(f.P.Tracks[6].Selected, 1);
    EXPECT_EQ(f.P.Tracks[2].Selected, 1);
    const std::vector<int32_t> changed = f.View.SetCurrentTrack(0, kModCtrl | kModShift);
    EXPECT_EQ(f.P.CurrentTrack, 0);
    for (int32_t t = 0; t < 8; ++t)
        EXPECT_EQ(f.P.Tracks[t].Selected, t == 0 ? 1 : 0) << t;
    EXPECT_EQ(changed.size(), 6u);
    EXPECT_TRUE(f.View.SetCurrentTrack(0, 0).empty());
}

TEST(MainView, ZoomLimits)
{
    ViewFixture f;
    f.P.Zoom = 8192;
    f.View.ZoomStep(false);
    EXPECT_EQ(f.P.Zoom, 16384);
    f.View.ZoomStep(false);
    EXPECT_EQ(f.P.Zoom, 16384);
    f.P.Zoom = 1;
    f.View.ZoomStep(true);
    EXPECT_EQ(f.P.Zoom, 1);
    // 800 pixels x 64 frames at 44100 Hz.
    EXPECT_EQ(f.Ui.LastStatus(), "1.2秒表示");
}

TEST(MainView, ZoomToFitDoublesUntilTheLengthFits)
{
    ViewFixture f;
    f.P.ViewStart = 1234;
    f.View.ZoomToFit(10000000);
    EXPECT_EQ(f.P.Zoom, 256);
    EXPECT_EQ(f.P.ViewStart, 0);
    f.View.ZoomToFit(2000000000LL);
    EXPECT_EQ(f.P.Zoom, 16384);
}

TEST(MainView, ZoomToOneFrameSelectionCentresIt)
{
    ViewFixture f;
    f.P.ProjectLength = 1000000;
    f.P.MarkIn = 500000;
    f.P.MarkOut = 500001;
    f.View.ZoomToSelection();
    EXPECT_EQ(f.P.Zoom, 1);
    // 400 pixels of 64 frames left of the middle, rounded down to whole pixels.
    EXPECT_EQ(f.P.ViewStart, 64 * ((500000 - 400 * 64) / 64));
    const int32_t x = f.View.XOfFrame(f.P.MarkIn);
    EXPECT_NEAR(x, 400, 1);
}

TEST(MainView, ScrollToHoldsViewStartInsideTheProject)
{
    ViewFixture f;
    f.View.ScrollTo(5000);
    EXPECT_EQ(f.P.ViewStart, 0) << "an empty project does not scroll";
    f.P.ProjectLength = 100000;
    f.View.ScrollTo(5000);
    EXPECT_EQ(f.P.ViewStart, 4096);
    f.View.ScrollTo(-5000);
    EXPECT_EQ(f.P.ViewStart, 0);
    f.View.ScrollTo(500000);
    EXPECT_EQ(f.P.ViewStart, 100000);
    f.P.ViewStart = 25000;
    EXPECT_EQ(f.View.SliderValue(), 2500);
    EXPECT_TRUE(f.View.SetSlider(5000));
    EXPECT_EQ(f.P.ViewStart, 2048 * (50000 / 2048));
    EXPECT_FALSE(f.View.SetSlider(5000));
    EXPECT_TRUE(f.View.SetSlider(0));
    EXPECT_EQ(f.P.ViewStart, 0);
}

TEST(MainView, HeadXCountsWholePixelsFromTheViewAndMarksAHeadBeforeIt)
{
    ViewFixture f;
    const int64_t fpp = f.View.Fpp();
    struct Case {
        int32_t ViewStart;
        int64_t Head;
        int32_t X;
    };
    const Case kCases[] = {
        { 0, 0, 0 },
        { 0, fpp * 10 + fpp - 1, 10 }, // whole pixels: rounded down
        { 1000, 1000 + fpp * 3, 3 },
        { 1000, 999, -9 },
        { 4096, 0, -9 },
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Head);
        f.P.ViewStart = c.ViewStart;
        f.P.Head = static_cast<int32_t>(c.Head);
        EXPECT_EQ(f.View.HeadX(), c.X);
    }
}

TEST(MainView, LevelZoomStepsByThreeWithinThirty)
{
    ViewFixture f;
    for (int i = 0; i < 12; ++i)
        f.View.LevelZoom(true);
    EXPECT_EQ(f.P.LevelZoomDB, 30);
    EXPECT_EQ(f.Ui.LastStatus(), "30db");
    for (int i = 0; i < 30; ++i)
        f.View.LevelZoom(false);
    EXPECT_EQ(f.P.LevelZoomDB, -30);
}

TEST(MainView, FullScalePeakFillsAQuarterLaneAndLevelZoomClips)
{
    ViewFixture f;
    const int32_t b = f.AddBlock(0, 0, 100, 255);
    const BlockPlacement place = f.View.PlaceBlock(f.P.Blocks[b], f.P.Peaks[0]);
    ASSERT_TRUE(place.Visible);
    std::vector<WaveLine> lines;
    f.View.BlockWave(place, f.P.Peaks[0], lines);
    ASSERT_FALSE(lines.empty());
    // Left channel centred at 25, right at 75 in a 100-pixel lane.
    EXPECT_EQ(lines[0].Y1, 0);
    EXPECT_EQ(lines[0].Y2, 50);
    EXPECT_EQ(lines[1].Y1, 50);
    EXPECT_EQ(lines[1].Y2, 100);
    // Half scale doubles with +6 dB.
    f.P.Peaks[0].assign(200, 100);
    lines.clear();
    f.View.BlockWave(place, f.P.Peaks[0], lines);
    const int32_t plain = lines[0].Y2 - lines[0].Y1;
    f.View.LevelZoom(true);
    f.View.LevelZoom(true);
    lines.clear();
    f.View.BlockWave(place, f.P.Peaks[0], lines);
    EXPECT_NEAR(lines[0].Y2 - lines[0].Y1, 2 * plain, 2);
    f.P.Peaks[0].assign(200, 255);
    lines.clear();
    f.View.BlockWave(place, f.P.Peaks[0], lines);
    EXPECT_EQ(lines[0].Y2 - lines[0].Y1, 50) << "clipped at the quarter lane";
}

TEST(MainView, BlockLeftOfTheViewStartsAtThePeakUnderTheEdge)
{
    ViewFixture f;
    // Zoom 32 x step 64: 2048 frames a pixel.
    const int32_t b = f.AddBlock(1, 10 * 2048, 32 * 500, 0);
    f.P.ViewStart = 110 * 2048;
    const BlockPlacement place = f.View.PlaceBlock(f.P.Blocks[b], f.P.Peaks[0]);
    ASSERT_TRUE(place.Visible);
    EXPECT_EQ(place.Left, 0);
    EXPECT_FALSE(place.StartLine);
    EXPECT_EQ(place.FirstPeak, 100 * 32);
    EXPECT_EQ(place.Top, 103);
    EXPECT_TRUE(place.EndLine);
    EXPECT_EQ(place.Right, 399);
    // Past the right edge: the box reaches the surface's edge, no end line.
    f.P.ViewStart = 0;
    f.P.Blocks[b].StartAdr = 700 * 2048;
    const BlockPlacement right = f.View.PlaceBlock(f.P.Blocks[b], f.P.Peaks[0]);
    EXPECT_EQ(right.Left, 700);
    EXPECT_EQ(right.Right, 800);
    EXPECT_FALSE(right.EndLine);
    // Entirely left of the view.
    f.P.ViewStart = 2000 * 2048;
    EXPECT_FALSE(f.View.PlaceBlock(f.P.Blocks[b], f.P.Peaks[0]).Visible);
}

TEST(MainView, ScaleTicksLabelWholeSecondsFromZeroPos)
{
    ViewFixture f;
    EXPECT_TRUE(f.View.ScaleTicks().empty()) << "empty project";
    f.P.ProjectLength = 44100 * 60;
    f.P.Zoom = 16; // 1024 frames a pixel: 800 pixels show 18 s
    const std::vector<ScaleTick> ticks = f.View.ScaleTicks();
    // 18 s > 16: halved to 9 ticks of 2 s, plus two.
    ASSERT_EQ(ticks.size(), 11u);
    EXPECT_EQ(ticks[0].X, 1);
    EXPECT_EQ(ticks[1].X, 1 + 88200 / 1024 + ((88200 % 1024) * 2 > 1024 ? 1 : 0));
    EXPECT_EQ(ticks[0].Label.substr(0, 1), "|");
    EXPECT_NE(ticks[0].Label, ticks[1].Label);
}

TEST(MainView, EnvelopeLineMeetsTheFadePointDots)
{
    ViewFixture f;
    f.P.EnvelopeLength = 1000;
    f.P.Envelopes.assign(8, TrackEnvelope(2000, 207));
    f.P.Zoom = 1; // 64 frames a pixel: 32 pixels per envelope frame
    f.P.ViewStart = 1000;
    f.P.AddFadePoint();
    f.P.FadePoints[0].EnvFrame = 3;
    f.P.FadePoints[0].TrackNo = 2;
    f.P.FadePoints[0].Channels = 3;
    f.P.Envelopes[2][6] = 0;
    const std::vector<int32_t> shown = f.View.PlaceFadePoints(2);
    ASSERT_EQ(shown.size(), 1u);
    const std::vector<EnvPoint> line = f.View.EnvelopeLine(2, 0);
    bool met = false;
    for (const EnvPoint& pt : line)
        met = met || (pt.X == f.P.FadePoints[0].DotX[0] && pt.Y == f.P.FadePoints[0].DotY[0]);
    EXPECT_TRUE(met);
    // Level 0 lies on the left baseline (lane top + half height).
    EXPECT_EQ(f.P.FadePoints[0].DotY[0], f.View.LaneTop(2) + 50);
    // A coarse zoom draws one point per pixel.
    f.P.Zoom = 64;
    f.P.ViewStart = 0;
    EXPECT_LE(f.View.EnvelopeLine(2, 1).size(), 802u);
}

TEST(MainView, MarksAndSelectionInPixels)
{
    ViewFixture f;
    f.P.MarkIn = 100 * 2048;
    f.P.MarkOut = 300 * 2048;
    EXPECT_EQ(f.View.MarkImageLeft(f.P.MarkIn), 96);
    EXPECT_EQ(f.View.MarkFromImage(96), 100 * 2048);
    EXPECT_EQ(f.View.MarkFromImage(-50), 0);
    EXPECT_EQ(f.View.SelectionSpan(), (std::pair<int32_t, int32_t>(100, 300)));
    f.P.MarkOut = f.P.MarkIn;
    const auto empty = f.View.SelectionSpan();
    EXPECT_GE(empty.first, empty.second);
}

TEST(MainView, Labels)
{
    ViewFixture f;
    f.P.Tracks[2].Name = "pad";
    EXPECT_EQ(f.View.TrackLabel(2), "3 pad");
    EXPECT_EQ(f.View.TrackLabel(0), "1");
    Block b;
    b.Name = "take";
    b.GroupID = 2;
    b.LevelL = -3.0f;
    b.LevelR = 1.5f;
    EXPECT_EQ(MainView::BlockLabel(b), "take [2] (-3.0db : 1.5db)");
}

TEST(MainView, FlatRunsOfAnEnvelopeLineAreOneLine)
{
    struct Case {
        const char* Name;
        std::vector<EnvPoint> In;
        std::vector<EnvPoint> Out;
    };
    const Case cases[] = {
        { "flat", { { 0, 5 }, { 1, 5 }, { 2, 5 }, { 3, 5 } }, { { 0, 5 }, { 3, 5 } } },
        { "step", { { 0, 5 }, { 1, 5 }, { 2, 5 }, { 3, 9 }, { 4, 9 }, { 5, 9 } },
            { { 0, 5 }, { 2, 5 }, { 3, 9 }, { 5, 9 } } },
        { "slope", { { 0, 1 }, { 1, 2 }, { 2, 3 } }, { { 0, 1 }, { 1, 2 }, { 2, 3 } } },
        // The start drawn at 0 before the column -1 point stays: x goes back there.
        { "back", { { 0, 5 }, { -1, 5 }, { 0, 5 }, { 1, 5 }, { 2, 5 } },
            { { 0, 5 }, { -1, 5 }, { 2, 5 } } },
        { "short", { { 0, 5 }, { 1, 5 } }, { { 0, 5 }, { 1, 5 } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<EnvPoint> line = c.In;
        MergeFlatRuns(line);
        ASSERT_EQ(line.size(), c.Out.size());
        for (size_t k = 0; k < line.size(); ++k) {
            EXPECT_EQ(line[k].X, c.Out[k].X) << k;
            EXPECT_EQ(line[k].Y, c.Out[k].Y) << k;
        }
    }
    // A whole flat lane at a coarse zoom: two points per channel instead of one per pixel.
    ViewFixture f;
    f.P.EnvelopeLength = 1000;
    f.P.Envelopes.assign(8, TrackEnvelope(2000, 207));
    f.P.Zoom = 64;
    std::vector<EnvPoint> flat = f.View.EnvelopeLine(1, 0);
    ASSERT_GT(flat.size(), 100u);
    const EnvPoint end = flat.back();
    MergeFlatRuns(flat);
    EXPECT_LE(flat.size(), 3u);
    EXPECT_EQ(flat.back().X, end.X);
}

TEST(MainView, AltGangedFadersMoveEveryTrackAlike)
{
    ViewFixture f;
    for (int32_t t = 0; t < 8; ++t) {
        f.P.Tracks[t].LevelL = 100 + t;
        f.P.Tracks[t].LevelR = 50 + t;
        f.P.Tracks[t].LevelLinked = t % 2;
    }
    f.P.Tracks[7].LevelL = 250;
    const std::vector<int32_t> changed = GangTrackLevels(f.P, 0, 10, -5);
    EXPECT_EQ(changed.size(), 7u);
    EXPECT_EQ(f.P.Tracks[0].LevelL, 100); // the moved fader stored its own values already
    EXPECT_EQ(f.P.Tracks[2].LevelL, 112);
    EXPECT_EQ(f.P.Tracks[2].LevelR, 47);
    // A linked track takes its left value on the right too; values stop at 255.
    EXPECT_EQ(f.P.Tracks[1].LevelL, 111);
    EXPECT_EQ(f.P.Tracks[1].LevelR, 111);
    EXPECT_EQ(f.P.Tracks[7].LevelL, 255);
    EXPECT_EQ(f.P.Tracks[7].LevelR, 255);

    f.P.Tracks[3].LevelLinked = 1;
    CopyTrackLink(f.P, 3);
    for (int32_t t = 0; t < 8; ++t)
        EXPECT_EQ(f.P.Tracks[t].LevelLinked, 1) << t;
    AllTracksToUnity(f.P);
    for (int32_t t = 0; t < 8; ++t) {
        EXPECT_EQ(f.P.Tracks[t].LevelL, f.P.UnityLevel) << t;
        EXPECT_EQ(f.P.Tracks[t].LevelR, f.P.UnityLevel) << t;
    }
}

TEST(MainView, MarkerFlagsAreFoundAndDraggedAlone)
{
    ViewFixture f; // 2048 frames a pixel, lanes of 100 pixels
    f.P.CurrentTrack = 1;
    f.P.MarkIn = 100 * 2048;
    f.P.MarkOut = 300 * 2048;
    const int32_t top = f.View.LaneTop(1);
    struct Case {
        int32_t X, Y, Marker;
    };
    const Case cases[] = {
        { 100, top + 2, 0 }, { 103, top + 99, 0 }, { 297, top + 2, 1 }, { 300, top + 95, 1 },
        { 100, top + 50, -1 }, // the middle of the lane selects a range
        { 200, top + 2, -1 }, { 100, f.View.LaneTop(0) + 2, -1 }, // another lane
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.X << "," << c.Y);
        EXPECT_EQ(f.View.MarkerAt(c.X, c.Y), c.Marker);
    }
    // Dragging one mark keeps the other; passing it takes the other along.
    f.View.MoveMarker(0, 150);
    EXPECT_EQ(f.P.MarkIn, 150 * 2048);
    EXPECT_EQ(f.P.MarkOut, 300 * 2048);
    f.View.MoveMarker(1, 400);
    EXPECT_EQ(f.P.MarkIn, 150 * 2048);
    EXPECT_EQ(f.P.MarkOut, 400 * 2048);
    f.View.MoveMarker(1, 120);
    EXPECT_EQ(f.P.MarkIn, 120 * 2048);
    EXPECT_EQ(f.P.MarkOut, 120 * 2048);
    f.View.MoveMarker(0, 500);
    EXPECT_EQ(f.P.MarkIn, 500 * 2048);
    EXPECT_EQ(f.P.MarkOut, 500 * 2048);
    // Both at one place: the side of the line picks the mark.
    EXPECT_EQ(f.View.MarkerAt(502, top + 2), 1);
    EXPECT_EQ(f.View.MarkerAt(498, top + 2), 0);
}

TEST(MainView, SearchBoxCoversTheSecondHeard)
{
    ViewFixture f; // 2048 frames a pixel: a second at 44.1 kHz is 21 pixels
    f.P.CurrentTrack = 0;
    const int64_t mark = 100 * 2048;
    struct Case {
        int Direction;
        int32_t Left, Right;
    };
    const Case cases[] = { { 0, 67, 88 }, { 1, 100, 121 }, { -1, 79, 100 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Direction);
        const MainView::SearchBox box = f.View.SearchBoxAt(mark, c.Direction);
        EXPECT_EQ(box.Left, c.Left);
        EXPECT_EQ(box.Right, c.Right);
        EXPECT_EQ(box.Top, 50);
        EXPECT_EQ(box.Bottom, 100);
    }
}

TEST(MainView, WheelZoomKeepsTheFrameUnderThePointer)
{
    ViewFixture f;
    f.P.ProjectLength = 44100 * 600;
    f.P.Zoom = 32;
    f.P.ViewStart = 1000 * 2048;
    const int64_t under = f.View.FrameOfX(400);
    f.View.ZoomAt(true, 400);
    EXPECT_EQ(f.P.Zoom, 16);
    EXPECT_EQ(f.View.FrameOfX(400), under);
    f.View.ZoomAt(false, 400);
    EXPECT_EQ(f.P.Zoom, 32);
    EXPECT_EQ(f.View.FrameOfX(400), under);
    ASSERT_FALSE(f.Ui.Events().empty());
    EXPECT_NE(f.Ui.Events().back().Text.find(kSecondsShown), std::string::npos);
    // Shift and the wheel: a tenth of the width a notch, never before the start.
    f.View.ScrollNotches(2);
    EXPECT_EQ(f.P.ViewStart, (1000 + 160) * 2048);
    f.View.ScrollNotches(-100);
    EXPECT_EQ(f.P.ViewStart, 0);
}

TEST(MainView, RecordingTakesArePlacedOnTheirArmedLanes)
{
    ViewFixture f;
    VirtualWaveOut out;
    VirtualWaveIn in;
    SystemEngineClock clock;
    PlaybackEngine engine(out, f.P, f.Ui, f.Logic.Options(), clock);
    RecordingEngine rec(in, engine, f.P, f.Ui, f.Logic.Options(), f.Logic.Folder());
    f.Logic.Recorder = &rec;
    EXPECT_TRUE(f.View.RecordingBlocks().empty());
    f.P.Tracks[2].RecSelected = 1;
    f.P.Tracks[5].RecSelected = 1;
    auto target = [&](int32_t pIndex, int32_t pTrack, int32_t pEntries) {
        RecordingEngine::RecTarget& t = rec.Targets[static_cast<size_t>(pIndex)];
        t.TrackNo = pTrack;
        t.StartAdr = 44100;
        t.Peaks.assign(static_cast<size_t>(pEntries) * 2, 200);
        t.PeakEntries = pEntries;
        t.Total = pEntries * f.P.SampleStep;
    };
    target(0, 2, 100);
    target(1, 2, 50); // a second target on the same lane is not drawn
    target(2, 5, 0); // nothing gathered yet
    rec.Recording = true;
    std::vector<RecordingLane> lanes = f.View.RecordingBlocks();
    ASSERT_EQ(lanes.size(), 1u);
    EXPECT_EQ(lanes[0].Place.TrackNo, 2);
    EXPECT_EQ(lanes[0].Place.StartAdr, 44100);
    EXPECT_EQ(lanes[0].Place.PeakLen, 100);
    EXPECT_EQ(lanes[0].Peaks, &rec.Targets[0].Peaks);
    // The take grows as the engine gathers peaks.
    target(0, 2, 400);
    lanes = f.View.RecordingBlocks();
    ASSERT_EQ(lanes.size(), 1u);
    const BlockPlacement place = f.View.PlaceBlock(lanes[0].Place, *lanes[0].Peaks);
    EXPECT_TRUE(place.Visible);
    EXPECT_EQ(place.Right - place.Left, 400 / f.P.Zoom);
    // Not drawn with waveforms while recording turned off, nor once the engine stopped.
    f.Logic.Options().MaxPow = 0;
    EXPECT_TRUE(f.View.RecordingBlocks().empty());
    f.Logic.Options().MaxPow = 1;
    rec.Recording = false;
    EXPECT_TRUE(f.View.RecordingBlocks().empty());
    f.Logic.Recorder = nullptr;
}

} // namespace tarvok
