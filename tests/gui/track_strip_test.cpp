#include "gui/track_strip.h"

#include "app/shell/main_logic.h"
#include "core/command_ids.h"
#include "engine/playback_engine.h"
#include "engine/virtual_wave_device.h"
#include "gui/controls/uc_io_selector.h"
#include "gui/controls/uc_needle.h"
#include "gui/controls/uc_track_vu.h"
#include "gui/controls/uc_vvu.h"
#include "gui/dialogs/frm_time_input.h"
#include "gui/master_meters.h"
#include "gui_app.h"
#include "window_fixture.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace tarvok::test {

namespace {

/// Moves the virtual output clock on in 50 ms steps, running the main window's timers.
void Play(WindowFixture& pF, int64_t pFrames)
{
    for (int64_t done = 0; done < pFrames; done += 2205) {
        pF.Session->VirtualOut()->AdvanceFrames(2205);
        pF.Window->TimerProgTick();
        pF.Window->TimerVUTick();
    }
}

/// The actions of a menu by visibility, as "text" strings.
QStringList Visible(QMenu& pMenu)
{
    QStringList out;
    for (QAction* a : pMenu.actions())
        if (a->isVisible() && !a->isSeparator())
            out << a->text();
    return out;
}

QAction* Item(QMenu& pMenu, const QString& pName) { return pMenu.findChild<QAction*>(pName); }

/// Runs pAct on the modal dialog as soon as it is open (the dialog's exec() blocks).
void WhenModal(std::function<void(QWidget&)> pAct)
{
    QTimer::singleShot(0, [pAct] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        pAct(*modal);
    });
}

} // namespace

TEST(TrackStrip, TheInputMenuOffersTheEnabledInputsAndRoutesTheTrack)
{
    WindowFixture f(SoundDevices::Virtual);
    f.Logic().Options().DevInID[1] = 1; // input slots 0 and 1
    f.Window->Engine()->ComputeDeviceSlots();
    Project& p = f.Proj();
    TrackStrip& strip = f.Window->Strip();
    std::unique_ptr<QMenu> menu = strip.InputMenu(0);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(Visible(*menu), QStringList({ "1+2", "3+4", "1", "2", "3", "4" }));
    EXPECT_TRUE(Item(*menu, "MenuRecCh0")->isChecked()); // RecCh 0

    // Track 1 armed on the stereo input of slot 0; track 0 takes its left channel and is
    // armed: the stereo input overlaps, so track 1 is disarmed.
    p.Tracks[1].RecCh = 0;
    emit strip.Selector(1)->InputToggled();
    ASSERT_EQ(p.Tracks[1].RecSelected, 1);
    Item(*menu, "MenuRecCh8")->trigger();
    EXPECT_EQ(p.Tracks[0].RecCh, 100);
    EXPECT_EQ(strip.Selector(0)->RecCh(), 100);
    emit strip.Selector(0)->InputToggled();
    EXPECT_EQ(p.Tracks[0].RecSelected, 1);
    EXPECT_EQ(p.Tracks[1].RecSelected, 0);
    EXPECT_FALSE(strip.Selector(1)->Armed());
    // The right channel of the same slot may be armed beside the left one.
    strip.InputMenu(2)->findChild<QAction*>(QStringLiteral("MenuRecCh9"))->trigger();
    emit strip.Selector(2)->InputToggled();
    EXPECT_EQ(p.Tracks[2].RecCh, 101);
    EXPECT_EQ(p.Tracks[2].RecSelected, 1);
    EXPECT_EQ(p.Tracks[0].RecSelected, 1);

    // Outputs: only slot 0 has a device.
    std::unique_ptr<QMenu> outputs = strip.OutputMenu(0);
    ASSERT_NE(outputs, nullptr);
    EXPECT_EQ(Visible(*outputs), QStringList({ "1+2" }));

    // Neither menu while recording.
    f.Logic().Recording = true;
    EXPECT_EQ(strip.InputMenu(0), nullptr);
    EXPECT_EQ(strip.OutputMenu(0), nullptr);
    emit strip.Selector(0)->InputToggled();
    EXPECT_EQ(p.Tracks[0].RecSelected, 1);
    f.Logic().Recording = false;
}

TEST(MainMeters, PlaybackFeedsTheTrackAndMasterMetersAndStopSetsThemBack)
{
    WindowFixture f(SoundDevices::Virtual);
    ASSERT_TRUE(f.Logic().ImportSoundFile(0, f.ToneFile("tone.wav", 3.0), 0, true));
    f.Window->DrawAll();
    MasterMeters& master = f.Window->Meters();
    EXPECT_EQ(master.Caption(), QStringLiteral("RMS"));
    EXPECT_EQ(master.Readout(), QStringLiteral("-∞ -∞"));

    ASSERT_TRUE(f.Window->Run(kCmdPlayWhole));
    Play(f, 22050);
    // The tone's peak entries (12000 of 32767) read about -9 dB on track 0; track 1 holds
    // nothing and stays at the floor.
    const std::vector<TrackMeterPair>& meters = f.Window->TrackMeters();
    ASSERT_EQ(meters.size(), static_cast<size_t>(f.Proj().TrackCount()));
    EXPECT_NEAR(meters[0][0], 20 * std::log10(12000 / 32767.0), 1.0);
    EXPECT_EQ(meters[0][0], meters[0][1]);
    EXPECT_EQ(meters[1][0], -kMeterFloorDb);
    EXPECT_EQ(f.Window->Strip().Meter(0)->Values(), meters[0]);
    // The mix is the tone itself: RMS 12000 / sqrt 2 is -11.7 dB, its peak -8.7 dB.
    EXPECT_EQ(master.Readout(), QStringLiteral("-12 -12"));
    EXPECT_NEAR(master.Bar(0)->ShownBar(), -117, 1);
    EXPECT_NEAR(master.Bar(1)->ShownPeak(), -87, 1);
    // A click on the master panel shows the peak instead.
    QTest::mouseClick(&master, Qt::LeftButton);
    EXPECT_EQ(f.Logic().Options().ShowRMS, 0);
    Play(f, 2205);
    EXPECT_EQ(master.Caption(), QStringLiteral("Peak"));
    EXPECT_EQ(master.Readout(), QStringLiteral("-09 -09"));
    // The needles read the RMS against the reference level (-23 dB reads 1.0).
    EXPECT_NEAR(master.Needle(0)->Value(), std::pow(10.0, (-11.73 + 23) / 20), 0.05);

    ASSERT_TRUE(f.Window->Run(kCmdStop));
    f.Window->TimerVUTick();
    EXPECT_EQ(master.Readout(), QStringLiteral("-∞ -∞"));
    EXPECT_EQ(master.Bar(0)->ShownBar(), -500);
    EXPECT_EQ(f.Window->TrackMeters()[0][0], -kMeterFloorDb);
    EXPECT_EQ(f.Window->Strip().Meter(0)->Values()[0], -kMeterFloorDb);
    EXPECT_EQ(master.Needle(0)->Value(), 0.0);
    ASSERT_TRUE(SaveShot(*f.Window, "FrmMainMeters"));
}

TEST(FrmTimeInput, TheMarkAndBlankCommandsAskThroughTheTimeInput)
{
    WindowFixture f;
    ASSERT_TRUE(f.Logic().ImportSoundFile(0, f.ToneFile("tone.wav", 5.0), 0, true));
    Project& p = f.Proj();
    p.ZeroPos = 44100;
    // Nobody stands in for the user: the dialogs open.
    f.Session->Ui.AnswerHook = [](const QString&) { return std::optional<QString>(); };
    WhenModal([](QWidget& pDialog) {
        ASSERT_EQ(pDialog.objectName(), QStringLiteral("FrmTimeInput"));
        auto* text = pDialog.findChild<QLineEdit*>(QStringLiteral("TextTime"));
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->text(), QStringLiteral("-000'01.000")); // MarkIn 0 less ZeroPos
        text->selectAll();
        QTest::keyClicks(text, QStringLiteral("2"));
        static_cast<QDialog&>(pDialog).accept();
    });
    ASSERT_TRUE(f.Window->Run(kCmdMarkinSet));
    EXPECT_EQ(p.MarkIn, 44100 + 2 * 44100);

    // A length: INSB asks for the blank's length and inserts it at the mark.
    WhenModal([](QWidget& pDialog) {
        auto* text = pDialog.findChild<QLineEdit*>(QStringLiteral("TextTime"));
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->text(), QStringLiteral("000'00.000"));
        text->selectAll();
        QTest::keyClicks(text, QStringLiteral("0.5"));
        static_cast<QDialog&>(pDialog).accept();
    });
    p.Tracks[0].Selected = 1;
    const int32_t length = p.ProjectLength;
    ASSERT_TRUE(f.Window->Run(kCmdInsb));
    EXPECT_EQ(p.ProjectLength, length + 22050);

    // Cancel leaves the mark.
    WhenModal([](QWidget& pDialog) { static_cast<QDialog&>(pDialog).reject(); });
    EXPECT_FALSE(f.Window->Run(kCmdMarkinSet));
    EXPECT_EQ(p.MarkIn, 44100 + 2 * 44100);
}

} // namespace tarvok::test
