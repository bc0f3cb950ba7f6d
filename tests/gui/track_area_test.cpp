#include "window_fixture.h"

#include "app/shell/main_logic.h"
#include "core/command_ids.h"
#include "engine/playback_engine.h"
#include "engine/recording_engine.h"
#include "engine/virtual_wave_device.h"
#include "gui/bottom_row.h"
#include "gui/controls/uc_fader.h"
#include "gui/track_area.h"
#include "gui/track_strip.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <vector>

namespace tarvok::test {

namespace {

/// A window with a two-second tone on track 0.
struct ToneWindow : WindowFixture {
    explicit ToneWindow(SoundDevices pDevices = SoundDevices::None)
        : WindowFixture(pDevices)
    {
        Drop(ToneFile("tone.wav", 2.0), QPoint(0, LowerHalfY(0)));
    }
};

/// Sends a press, moves in steps and a release of pButton on the track area.
void DragWith(WindowFixture& pF, Qt::MouseButton pButton, QPoint pFrom, QPoint pTo)
{
    QWidget* area = &pF.Window->Tracks();
    auto send = [&](QEvent::Type pType, QPoint pPos, Qt::MouseButtons pButtons) {
        QMouseEvent e(pType, QPointF(pPos), area->mapToGlobal(QPointF(pPos)), pButton, pButtons,
            Qt::NoModifier);
        QApplication::sendEvent(area, &e);
    };
    send(QEvent::MouseButtonPress, pFrom, pButton);
    for (int i = 1; i <= 5; ++i)
        send(QEvent::MouseMove, pFrom + (pTo - pFrom) * i / 5, pButton);
    send(QEvent::MouseButtonRelease, pTo, Qt::NoButton);
    WindowFixture::Settle();
}

void Wheel(WindowFixture& pF, QPoint pPos, int pAngle, Qt::KeyboardModifiers pMods)
{
    QWidget* area = &pF.Window->Tracks();
    QWheelEvent e(QPointF(pPos), area->mapToGlobal(QPointF(pPos)), QPoint(), QPoint(0, pAngle),
        Qt::NoButton, pMods, Qt::NoScrollPhase, false);
    QApplication::sendEvent(area, &e);
    WindowFixture::Settle();
}

/// Columns of lane pTrack that show the colour of a take being recorded.
int RecordingColumns(WindowFixture& pF, int32_t pTrack)
{
    const QImage image = pF.Window->Tracks().grab().toImage().convertToFormat(QImage::Format_RGB32);
    const MainView& v = pF.Window->View();
    const QRgb recording = qRgb(192, 96, 96);
    int columns = 0;
    for (int x = 0; x < image.width(); ++x) {
        bool hit = false;
        for (int y = std::max(0, v.LaneTop(pTrack));
             y < std::min(image.height(), v.LaneTop(pTrack) + v.TrackHeight) && !hit; ++y)
            hit = image.pixel(x, y) == recording;
        columns += hit ? 1 : 0;
    }
    return columns;
}

} // namespace

TEST(TrackArea, DraggingAMarkerFlagMovesOnlyThatMark)
{
    ToneWindow f;
    const MainView& v = f.Window->View();
    f.DragOnTracks(QPoint(30, f.UpperHalfY(0)), QPoint(130, f.UpperHalfY(0)));
    const int top = v.LaneTop(0) + 2;
    const int bottom = v.LaneTop(0) + v.TrackHeight - 2;
    struct Case {
        const char* Name;
        QPoint From, To;
        int In, Out;
    };
    const Case cases[] = {
        { "out flag right", { 129, top }, { 200, top }, 30, 200 },
        { "in flag right", { 31, bottom }, { 80, bottom }, 80, 200 },
        { "out flag left", { 199, top }, { 150, top }, 80, 150 },
        { "in flag past the out mark", { 81, top }, { 260, top }, 260, 260 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        DragWith(f, Qt::LeftButton, c.From, c.To);
        EXPECT_EQ(f.Proj().MarkIn, v.FrameOfX(c.In));
        EXPECT_EQ(f.Proj().MarkOut, v.FrameOfX(c.Out));
    }
}

TEST(TrackArea, RightDraggingAMarkerPreviewsIt)
{
    ToneWindow f(SoundDevices::Virtual);
    const MainView& v = f.Window->View();
    f.DragOnTracks(QPoint(30, f.UpperHalfY(0)), QPoint(130, f.UpperHalfY(0)));
    QWidget* area = &f.Window->Tracks();
    const QPoint flag(130, v.LaneTop(0) + 2);
    auto send = [&](QEvent::Type pType, QPoint pPos, Qt::MouseButtons pButtons) {
        QMouseEvent e(pType, QPointF(pPos), area->mapToGlobal(QPointF(pPos)), Qt::RightButton,
            pButtons, Qt::NoModifier);
        QApplication::sendEvent(area, &e);
    };
    send(QEvent::MouseButtonPress, flag, Qt::RightButton);
    EXPECT_EQ(f.Window->Engine()->Mode(), PlayMode::MarkPreview);
    send(QEvent::MouseMove, flag + QPoint(40, 0), Qt::RightButton);
    EXPECT_EQ(f.Proj().MarkOut, v.FrameOfX(170));
    EXPECT_EQ(f.Proj().MarkIn, v.FrameOfX(30));
    EXPECT_TRUE(f.Window->Bottom().Message().startsWith(QStringLiteral("トラック1")))
        << f.Window->Bottom().Message().toStdString();
    // The box over the second being heard starts at the mark when moving right.
    const QImage shown = area->grab().toImage();
    const MainView::SearchBox box = v.SearchBoxAt(f.Proj().MarkOut, 1);
    EXPECT_EQ(shown.pixelColor(box.Left + 5, box.Top), QColor(236, 236, 236));
    send(QEvent::MouseButtonRelease, flag + QPoint(40, 0), Qt::NoButton);
    WindowFixture::Settle();
    EXPECT_NE(f.Window->Engine()->Mode(), PlayMode::MarkPreview);
    // No edit menu opened and the marks stay.
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(f.Proj().MarkOut, v.FrameOfX(170));
}

TEST(TrackArea, CtrlWheelZoomsAndShiftWheelScrolls)
{
    ToneWindow f;
    f.Window->View().ZoomToFit(f.Proj().ProjectLength);
    f.Window->DrawAll();
    const int32_t zoom = f.Proj().Zoom;
    const QPoint at(200, f.LowerHalfY(0));
    const int64_t under = f.Window->View().FrameOfX(200);
    Wheel(f, at, 120, Qt::ControlModifier);
    EXPECT_EQ(f.Proj().Zoom, zoom / 2);
    EXPECT_EQ(f.Window->View().FrameOfX(200), under);
    Wheel(f, at, -120, Qt::ShiftModifier);
    EXPECT_GT(f.Proj().ViewStart, 0);
    const int32_t start = f.Proj().ViewStart;
    // A plain wheel scrubs and leaves the view as it is.
    Wheel(f, at, 120, Qt::NoModifier);
    EXPECT_EQ(f.Proj().Zoom, zoom / 2);
    EXPECT_EQ(f.Proj().ViewStart, start);
}

TEST(TrackArea, AltGangsTheTrackFaders)
{
    WindowFixture f;
    Project& p = f.Proj();
    TrackStrip& strip = f.Window->Strip();
    ASSERT_GE(strip.Columns(), 3);
    p.Tracks[1].LevelL = p.Tracks[1].LevelR = 100;
    p.Tracks[2].LevelLinked = 0;
    p.Tracks[2].LevelL = 50;
    p.Tracks[2].LevelR = 60;
    f.Window->RefreshTrackControls();
    UC_Fader* fader = strip.Fader(0);
    ASSERT_NE(fader, nullptr);
    const int from = p.Tracks[0].LevelL;
    auto wheel = [&](int pAngle, Qt::KeyboardModifiers pMods) {
        QWheelEvent e(QPointF(5, 5), fader->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, pAngle),
            Qt::NoButton, pMods, Qt::NoScrollPhase, false);
        QApplication::sendEvent(fader, &e);
    };
    // Without Alt only this fader moves.
    wheel(120, Qt::NoModifier);
    EXPECT_EQ(p.Tracks[0].LevelL, from + 1);
    EXPECT_EQ(p.Tracks[1].LevelL, 100);
    // With Alt every fader moves by the same steps.
    wheel(240, Qt::AltModifier);
    EXPECT_EQ(p.Tracks[0].LevelL, from + 3);
    EXPECT_EQ(p.Tracks[1].LevelL, 102);
    EXPECT_EQ(p.Tracks[2].LevelL, 52);
    EXPECT_EQ(p.Tracks[2].LevelR, 62);
    EXPECT_EQ(strip.Fader(2)->LevelR(), 62);
    // Alt and the right button copy the link switch; an Alt double click sets unity.
    const bool linked = fader->Linked();
    QTest::mouseClick(fader, Qt::RightButton, Qt::AltModifier);
    for (int t = 0; t <= p.LastTrackNo; ++t)
        EXPECT_EQ(p.Tracks[t].LevelLinked, linked ? 0 : 1) << t;
    EXPECT_EQ(strip.Fader(2)->Linked(), !linked);
    QTest::mouseDClick(fader, Qt::LeftButton, Qt::AltModifier);
    for (int t = 0; t <= p.LastTrackNo; ++t) {
        EXPECT_EQ(p.Tracks[t].LevelL, p.UnityLevel) << t;
        EXPECT_EQ(p.Tracks[t].LevelR, p.UnityLevel) << t;
    }
}

TEST(TrackArea, ATakeGrowsOnItsLaneWhileRecording)
{
    WindowFixture f(SoundDevices::Virtual);
    f.Logic().Options().ShowRecMon = 0;
    std::vector<int16_t> tone(static_cast<size_t>(10 * 44100) * 2);
    for (size_t k = 0; k < tone.size(); ++k)
        tone[k] = static_cast<int16_t>(k % 4 < 2 ? 12000 : -12000);
    f.Session->VirtualIn()->SetSource(0, tone);
    for (Track& t : f.Proj().Tracks) {
        t.PlaySelected = 0;
        t.RecSelected = 0;
    }
    Track& track = f.Proj().Tracks[1];
    track.RecCh = 0;
    track.RecSelected = 1;
    ASSERT_TRUE(f.Window->Run(kCmdRecNow));
    auto run = [&](int64_t pFrames) {
        for (int64_t done = 0; done < pFrames; done += 2205) {
            f.Session->VirtualIn()->AdvanceFrames(2205);
            f.Session->VirtualOut()->AdvanceFrames(2205);
            f.Window->TimerProgTick();
            f.Window->TimerVUTick();
        }
    };
    run(44100);
    const int early = RecordingColumns(f, 1);
    EXPECT_GT(early, 0);
    EXPECT_EQ(RecordingColumns(f, 0), 0);
    run(2 * 44100);
    const int later = RecordingColumns(f, 1);
    EXPECT_GT(later, early);
    ASSERT_TRUE(f.Window->Run(kCmdStop));
    WindowFixture::Settle();
    EXPECT_EQ(RecordingColumns(f, 1), 0);
    EXPECT_EQ(f.Proj().BlockCount(), 1);
}

} // namespace tarvok::test
