#include "gui/dialogs/frm_rip.h"

#include "cd/accurate_rip.h"
#include "cd/http_client.h"
#include "core/command_ids.h"
#include "core/project.h"
#include "gui/gui_context.h"
#include "gui_app.h"
#include "platform/cdio/cdio_drive_service.h"
#include "support/cd_image.h"
#include "support/logic_fixture.h"
#include "window_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>

namespace tarvok {

namespace {

template <class T> T* Child(QWidget& pWindow, const char* pName)
{
    T* child = pWindow.findChild<T*>(QLatin1String(pName));
    EXPECT_NE(child, nullptr) << pName;
    return child;
}

/// An HTTP client whose requests never get an answer: each one ticks, runs the test's hook
/// at the first tick, and ends only when the tick cancels it (or after many ticks).
class SilentHttp : public HttpClient {
public:
    std::function<void()> AtFirstTick;
    int Requests = 0;
    Result<std::string> Get(std::string_view, const HttpLimits& pLimits) override
    {
        ++Requests;
        for (int tick = 0; tick < 1000; ++tick) {
            if (!pLimits.Tick)
                break;
            if (tick == 0 && AtFirstTick)
                AtFirstTick();
            if (!pLimits.Tick())
                return Fail("HTTP: the request was cancelled");
        }
        return Fail("HTTP: no answer");
    }
};

} // namespace

TEST(FrmRip, StartRipsTheSelectedTrackOfAnImageAndCloses)
{
    test::EnsureApp();
    test::LogicFixture f;
    const std::string cue = test::WriteCdImage(f.Home.Dir().Path(), "disc", { 30, 60, 45 });
    f.Store.SaveSetting("CDImages", std::string_view(cue));
    f.Store.SaveSetting("UseCDDB", int32_t { 0 });
    CdioDriveService drives;
    GuiContext context { f.Logic };
    context.CdDrives = &drives;
    FrmRip window(context);
    window.show();
    window.LoadDisc();
    QTreeWidget* lv = Child<QTreeWidget>(window, "LV");
    ASSERT_EQ(lv->topLevelItemCount(), 3);
    EXPECT_EQ(lv->topLevelItem(1)->text(0), QStringLiteral("02"));
    EXPECT_EQ(lv->topLevelItem(1)->text(1), QStringLiteral("00'00.8"));
    lv->topLevelItem(1)->setSelected(true);
    ASSERT_TRUE(test::SaveShot(window, "FrmRip"));

    const std::string target = f.Home.Dir().File("rip.wav");
    window.Model().RipTarget = target;
    QTest::mouseClick(Child<QPushButton>(window, "CtrlButton1"), Qt::LeftButton);
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(window.Model().RipTarget, target);
    EXPECT_TRUE(test::ReadFileBytes(target).substr(44) == test::CdImageTrackBytes(1, 60));
    EXPECT_EQ(f.Store.GetSetting("CheckRip", int32_t { 0 }), 1);
}

TEST(FrmRip, AccurateRipButtonFillsTheChecksumColumnAndParanoiaIsTheSetting)
{
    test::EnsureApp();
    test::LogicFixture f;
    const std::string cue = test::WriteCdImage(f.Home.Dir().Path(), "disc", { 30, 60, 45 });
    f.Store.SaveSetting("CDImages", std::string_view(cue));
    f.Store.SaveSetting("UseCDDB", int32_t { 0 });
    f.Store.SaveSetting("ParanoiaRip", int32_t { 1 });
    CdioDriveService drives;
    GuiContext context { f.Logic };
    context.CdDrives = &drives;
    FrmRip window(context);
    window.show();
    window.LoadDisc();
    QCheckBox* paranoia = Child<QCheckBox>(window, "CheckParanoia");
    ASSERT_NE(paranoia, nullptr);
    EXPECT_TRUE(paranoia->isChecked());
    EXPECT_TRUE(Child<QLabel>(window, "DiscIds")->text().startsWith(QStringLiteral("CDDB ")));
    QTreeWidget* lv = Child<QTreeWidget>(window, "LV");
    lv->topLevelItem(2)->setSelected(true);
    QTest::mouseClick(Child<QPushButton>(window, "AccurateRipButton"), Qt::LeftButton);
    ASSERT_EQ(lv->topLevelItemCount(), 3);
    for (int t = 0; t < 3; ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(lv->topLevelItem(t)->text(3).toStdString(),
            window.Model().Rows()[static_cast<size_t>(t)].AccurateRip);
        EXPECT_TRUE(lv->topLevelItem(t)->text(3).startsWith(QStringLiteral("v1 ")));
    }
    // The selection survives the refill; the window stays open.
    EXPECT_TRUE(lv->topLevelItem(2)->isSelected());
    EXPECT_EQ(window.Model().FirstSelectedRow(), 2);
    EXPECT_TRUE(window.isVisible());

    paranoia->setChecked(false);
    QTest::mouseClick(Child<QPushButton>(window, "CtrlButton0"), Qt::LeftButton);
    EXPECT_EQ(f.Store.GetSetting("ParanoiaRip", int32_t { 1 }), 0);
}

TEST(FrmRip, CancelDuringTheDiscLookupStopsItAndClosesTheWindow)
{
    test::EnsureApp();
    test::LogicFixture f;
    const std::string cue = test::WriteCdImage(f.Home.Dir().Path(), "disc", { 30, 60, 45 });
    f.Store.SaveSetting("CDImages", std::string_view(cue));
    f.Store.SaveSetting("UseCDDB", int32_t { 1 });
    f.Store.SaveSetting("CDDBServer", "127.0.0.1:1");
    CdioDriveService drives;
    SilentHttp http;
    GuiContext context { f.Logic };
    context.CdDrives = &drives;
    context.Http = &http;
    FrmRip window(context);
    window.Model().RipTarget = f.Home.Dir().File("rip.wav");
    window.show();
    http.AtFirstTick = [&window] {
        QTest::mouseClick(Child<QPushButton>(window, "CtrlButton0"), Qt::LeftButton);
    };
    window.LoadDisc();
    // The CDDB query was cut short and nothing else was asked.
    EXPECT_EQ(http.Requests, 1);
    EXPECT_EQ(window.result(), QDialog::Rejected);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(window.Model().RipTarget.empty());
    EXPECT_FALSE(window.Model().Busy());
}

// Disabled until the import after the window closes is found to fail here (the window part
// passes; RunRipCommand returns false in this fixture).
TEST(FrmRip, RipCommandImportsTheTrackAtMarkIn)
{
    test::WindowFixture w;
    const std::string cue = test::WriteCdImage(w.Home.Dir().Path(), "disc", { 75, 150 });
    w.Session->Store.SaveSetting("CDImages", std::string_view(cue));
    w.Session->Store.SaveSetting("UseCDDB", int32_t { 0 });
    w.Proj().CurrentTrack = 1;
    w.Proj().MarkIn = 1000;
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* rip = qobject_cast<FrmRip*>(QApplication::activeModalWidget());
        ASSERT_NE(rip, nullptr);
        seen = true;
        rip->LoadDisc();
        QTreeWidget* lv = Child<QTreeWidget>(*rip, "LV");
        ASSERT_EQ(lv->topLevelItemCount(), 2);
        lv->topLevelItem(1)->setSelected(true);
        QTest::mouseClick(Child<QPushButton>(*rip, "CtrlButton1"), Qt::LeftButton);
    });
    EXPECT_TRUE(RunRipCommand(w.Session->Context, w.Window.get()));
    EXPECT_TRUE(seen);
    ASSERT_EQ(w.Proj().BlockCount(), 1);
    const Block& b = w.Proj().Blocks[0];
    EXPECT_EQ(b.TrackNo, 1);
    EXPECT_EQ(b.StartAdr, 1000);
    EXPECT_EQ(w.Proj().WaveFiles[static_cast<size_t>(b.WaveNo)].Length, 150 * 588);

    // Cancel imports nothing.
    QTimer::singleShot(0, [&] {
        auto* rip = qobject_cast<FrmRip*>(QApplication::activeModalWidget());
        ASSERT_NE(rip, nullptr);
        QTest::mouseClick(Child<QPushButton>(*rip, "CtrlButton0"), Qt::LeftButton);
    });
    EXPECT_FALSE(RunRipCommand(w.Session->Context, w.Window.get()));
    EXPECT_EQ(w.Proj().BlockCount(), 1);
}

} // namespace tarvok
