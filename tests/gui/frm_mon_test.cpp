#include "gui/dialogs/frm_mon.h"

#include "core/command_ids.h"
#include "engine/recording_engine.h"
#include "engine/virtual_wave_device.h"
#include "gui/bottom_row.h"
#include "gui/controls/uc_vu.h"
#include "gui/main_menus.h"
#include "gui_app.h"
#include "window_fixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tarvok {

namespace {

/// A square wave of the given amplitudes on the left and right channel, so that the RMS of
/// any stretch is the amplitude itself.
std::vector<int16_t> Square(int64_t pFrames, int16_t pLeft, int16_t pRight)
{
    std::vector<int16_t> s(static_cast<size_t>(pFrames) * 2);
    for (int64_t f = 0; f < pFrames; ++f) {
        const int sign = f % 2 == 0 ? 1 : -1;
        s[2 * f] = static_cast<int16_t>(sign * pLeft);
        s[2 * f + 1] = static_cast<int16_t>(sign * pRight);
    }
    return s;
}

/// Moves both virtual clocks on in 50 ms steps, running the main window's timers.
void RunClocks(test::WindowFixture& pF, int64_t pFrames)
{
    for (int64_t done = 0; done < pFrames; done += 2205) {
        pF.Session->VirtualIn()->AdvanceFrames(2205);
        pF.Session->VirtualOut()->AdvanceFrames(2205);
        pF.Window->TimerProgTick();
        pF.Window->TimerVUTick();
    }
}

void Enter(QLineEdit* pBox, const QString& pText)
{
    pBox->selectAll();
    QTest::keyClicks(pBox, pText);
    QTest::keyClick(pBox, Qt::Key_Return);
}

} // namespace

TEST(FrmMon, RecOpensTheMonitorItsControlsSetTheInputsAndStopClosesIt)
{
    test::WindowFixture f(SoundDevices::Virtual);
    RecordingEngine& rec = *f.Session->Recorder();
    f.Logic().Options().ShowRecMon = 1;
    f.Session->VirtualIn()->SetSource(0, Square(10 * 44100, 8192, 2048));
    Track& track = f.Proj().Tracks[0];
    track.RecCh = 0;
    track.RecSelected = 1;
    for (Track& t : f.Proj().Tracks)
        t.PlaySelected = 0; // record alone

    ASSERT_TRUE(f.Window->Run(kCmdRec));
    FrmMon* mon = f.Window->Monitor();
    ASSERT_NE(mon, nullptr);
    mon->SetTimerRunning(false);
    EXPECT_TRUE(mon->isVisible());
    EXPECT_EQ(rec.MonitorOpen, 1);
    // While recording: Stop and Start, no Close.
    EXPECT_TRUE(mon->RecordingButton(0)->isVisible());
    EXPECT_TRUE(mon->RecordingButton(1)->isVisible());
    EXPECT_FALSE(mon->CloseButton()->isVisible());
    // Slot 0 alone is enabled: two channels labelled 1 and 2.
    ASSERT_EQ(mon->Model().ChannelCount(), 2);
    EXPECT_EQ(mon->Model().Meter().Label(0), "1");
    EXPECT_EQ(mon->Model().Meter().Label(1), "2");

    // The meter reads the raw input: -12.0 dB on the left, -24.1 dB on the right.
    mon->adjustSize(); // a resize starts the bars again, so settle the size first
    f.Session->VirtualIn()->AdvanceFrames(22050);
    mon->TimerMonTick();
    EXPECT_EQ(mon->Model().Meter().Text(0), "-12.0");
    EXPECT_EQ(mon->Model().Meter().Text(1), "-24.1");
    const MultiBarMeter& meter = mon->Model().Meter();
    EXPECT_EQ(meter.BarPosition(0), meter.X(20 * std::log10(8192 / 32767.0)));
    EXPECT_GT(meter.BarPosition(0), meter.BarPosition(1));
    EXPECT_EQ(meter.Width, mon->Meter()->width()); // the model measures the painted control
    ASSERT_TRUE(test::SaveShot(*mon, "FrmMon"));

    // A click on the meter switches to the linear scale; the right button does nothing.
    QTest::mouseClick(mon->Meter(), Qt::RightButton);
    EXPECT_TRUE(mon->Model().DbMode());
    QTest::mouseClick(mon->Meter(), Qt::LeftButton);
    EXPECT_FALSE(mon->Model().DbMode());

    // Level sliders write the slot's level (and so its gain); the right button resets.
    mon->LevelSlider(0)->setValue(-60);
    EXPECT_FLOAT_EQ(f.Logic().Options().LevelLdb[0], -6.0f);
    EXPECT_EQ(mon->LevelText(0)->text(), QStringLiteral("-06.0"));
    EXPECT_NEAR(rec.SlotGain(0, 0), 0.501187, 1e-5);
    mon->LevelSlider(1)->setValue(125);
    EXPECT_FLOAT_EQ(f.Logic().Options().LevelRdb[0], 12.5f);
    EXPECT_EQ(mon->LevelText(1)->text(), QStringLiteral("12.5"));
    QTest::mouseClick(mon->LevelSlider(1), Qt::RightButton);
    EXPECT_EQ(mon->LevelSlider(1)->value(), 0);
    EXPECT_FLOAT_EQ(f.Logic().Options().LevelRdb[0], 0.0f);
    mon->LevelSlider(0)->setValue(0);

    // Voice-activated settings: a text that is no number is ignored; 20 means -20.0 dB.
    QCheckBox* useStop = mon->UseMuon(1);
    useStop->setChecked(true);
    EXPECT_EQ(f.Logic().Options().UseMuonStop, 1);
    useStop->setChecked(false);
    EXPECT_EQ(f.Logic().Options().UseMuonStop, 0);
    Enter(mon->MuonDb(1), QStringLiteral("abc"));
    EXPECT_EQ(mon->MuonDb(1)->text(), QStringLiteral("-40.0"));
    EXPECT_FLOAT_EQ(f.Logic().Options().MuonStopLevelDB, -40.0f);
    Enter(mon->MuonDb(1), QStringLiteral("20"));
    EXPECT_EQ(mon->MuonDb(1)->text(), QStringLiteral("-20.0"));
    EXPECT_FLOAT_EQ(f.Logic().Options().MuonStopLevelDB, -20.0f);
    EXPECT_EQ(rec.StopAmplitude, 3277);
    Enter(mon->MuonDb(0), QStringLiteral("-35"));
    EXPECT_FLOAT_EQ(f.Logic().Options().MuonStartLevelDB, -35.0f);
    ASSERT_EQ(mon->StopSeconds()->count(), 10);
    EXPECT_EQ(mon->StopSeconds()->currentIndex(), 2); // 3000 ms
    mon->StopSeconds()->setCurrentIndex(4);
    emit mon->StopSeconds()->activated(4);
    EXPECT_EQ(f.Logic().Options().MuonStopLengthMS, 5000);
    EXPECT_EQ(rec.StopLength, 5 * 44100);

    // Start begins writing; the main window's STOP closes the monitor at its next tick.
    QTest::mouseClick(mon->RecordingButton(1), Qt::LeftButton);
    EXPECT_TRUE(rec.Recording);
    RunClocks(f, 3 * 44100);
    EXPECT_TRUE(rec.RecStarted);
    const int32_t blocks = f.Proj().BlockCount();
    ASSERT_TRUE(f.Window->Run(kCmdStop));
    EXPECT_FALSE(rec.Recording);
    EXPECT_EQ(f.Proj().BlockCount(), blocks + 1);
    EXPECT_EQ(f.Window->Monitor(), mon); // still open until its tick
    mon->TimerMonTick();
    test::WindowFixture::Settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(f.Window->Monitor(), nullptr);
    EXPECT_EQ(rec.MonitorOpen, 0);
    // Closing stored the scale and the place.
    EXPECT_EQ(f.Logic().Store().GetSetting("modedb", int32_t { 1 }), 0);
    EXPECT_NE(f.Logic().Store().GetSetting("MonWindowLeft", std::string()), "");
}

TEST(FrmMon, TheMonitorOpensOnRecOnlyWhenAskedAndFromTheMenuAndTheRecButton)
{
    struct Case {
        int32_t ShowRecMon;
        int32_t Command;
        bool Opens;
    };
    for (const Case c :
        { Case { 1, kCmdRec, true }, Case { 0, kCmdRec, false }, Case { 1, kCmdRecNow, false } }) {
        SCOPED_TRACE(testing::Message() << c.ShowRecMon << " " << c.Command);
        test::WindowFixture f(SoundDevices::Virtual);
        f.Logic().Options().ShowRecMon = c.ShowRecMon;
        f.Proj().Tracks[0].RecSelected = 1;
        ASSERT_TRUE(f.Window->Run(c.Command));
        EXPECT_EQ(f.Window->Monitor() != nullptr, c.Opens);
        f.Window->Run(kCmdStop);
    }

    {
        test::WindowFixture none;
        none.Window->Menus().MonitorAction()->trigger();
        EXPECT_EQ(none.Window->Monitor(), nullptr);
    }

    test::WindowFixture f(SoundDevices::Virtual);
    f.Window->Menus().MonitorAction()->trigger();
    FrmMon* mon = f.Window->Monitor();
    ASSERT_NE(mon, nullptr);
    mon->SetTimerRunning(false);
    // Not recording: only Close, which closes.
    EXPECT_FALSE(mon->RecordingButton(0)->isVisible());
    ASSERT_TRUE(mon->CloseButton()->isVisible());
    QTest::mouseClick(mon->CloseButton(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(f.Window->Monitor(), nullptr);
    EXPECT_EQ(f.Session->Recorder()->MonitorOpen, 0);

    // A right click on REC opens it too, without arming anything.
    QTest::mouseClick(f.Window->Bottom().TransportButton(0), Qt::RightButton);
    EXPECT_NE(f.Window->Monitor(), nullptr);
    EXPECT_FALSE(f.Session->Recorder()->Recording);
}

} // namespace tarvok
