#include "gui/dialogs/frm_automation.h"
#include "gui/dialogs/frm_draw_level.h"

#include "app/commands/command_dispatch.h"
#include "app/shell/main_logic.h"
#include "app/windows/main_view.h"
#include "core/command_ids.h"
#include "core/envelope.h"
#include "core/project.h"
#include "edit/fade_edit.h"
#include "gui/controls/uc_fader.h"
#include "gui/dialogs/dialog_commands.h"
#include "gui/gui_context.h"
#include "gui/main_menus.h"
#include "gui_app.h"
#include "support/logic_fixture.h"
#include "window_fixture.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

namespace tarvok {

namespace {

/// A block of 10 s on track 0 with a 4-second selection from 1 s; tracks 0 and 1 selected.
void Prepare(test::LogicFixture& f)
{
    ASSERT_GE(f.AddBlock("a.wav", 0, 0, 441000), 0);
    Project& p = f.Logic.Proj();
    p.UpdateTitleLength(false);
    p.Tracks[1].Selected = 1;
    p.MarkIn = 44100;
    p.MarkOut = 44100 * 5;
}

int32_t E(MainLogic& pLogic, int32_t pTrack, int32_t pFrame)
{
    return EnvelopeLevel(pLogic.Proj(), pTrack, 0, pFrame);
}

} // namespace

TEST(FrmDrawLevel, DrawingAHandleShapesTheSelectedTracksAndClosingSaves)
{
    test::EnsureApp();
    test::LogicFixture f;
    Prepare(f);
    GuiContext context { f.Logic };
    ASSERT_EQ(RunDialogCommand(kCmdFadeDraw, context, nullptr), std::optional<bool>(true));
    FrmDrawLevel* window = OpenDrawLevelWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("フェードを描く"));
    EXPECT_EQ(window->FirstButton()->text(), QStringLiteral("Clear"));
    EXPECT_FALSE(window->FadeInBox()->isVisible());
    EXPECT_TRUE(f.Logic.DrawWindowOpen);
    // A second FADE_DRAW only brings it forward; the fade commands are refused.
    EXPECT_EQ(RunDialogCommand(kCmdFadeDraw, context, nullptr), std::optional<bool>(false));
    EXPECT_FALSE(RunCommand(f.Logic, kCmdFadeIn));

    PictureFade* picture = window->Picture();
    window->resize(800, 400);
    test::WindowFixture::Settle();
    DrawLevelModel& model = window->Model();
    ASSERT_EQ(model.Width(), picture->width());
    const int x = picture->width() / 2;
    const int y = model.YOfLevel(60);
    QTest::mousePress(picture, Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
    QTest::mouseMove(picture, QPoint(x, model.YOfLevel(30)));
    QTest::mouseRelease(picture, Qt::LeftButton, Qt::NoModifier, QPoint(x, model.YOfLevel(30)));
    ASSERT_EQ(model.Handles().size(), 3u);
    const DrawHandle& handle = model.Handles()[2];
    EXPECT_NEAR(handle.Level, 30, 2);
    for (int32_t t : { 0, 1 })
        EXPECT_EQ(E(f.Logic, t, handle.Frame), handle.Level) << t;
    EXPECT_EQ(E(f.Logic, 2, handle.Frame), f.Logic.Proj().UnityLevel);
    ASSERT_TRUE(test::SaveShot(*window, QStringLiteral("FrmDrawLevel")));

    // "Clear" leaves a straight line again.
    QTest::mouseClick(window->FirstButton(), Qt::LeftButton);
    EXPECT_EQ(model.Handles().size(), 2u);
    EXPECT_EQ(E(f.Logic, 0, handle.Frame), f.Logic.Proj().UnityLevel);

    const std::string before = f.Logic.Proj().Tracks[1].EnvelopeFile;
    QTest::mouseClick(window->CloseButton(), Qt::LeftButton);
    test::WindowFixture::Settle();
    EXPECT_EQ(OpenDrawLevelWindow(), nullptr);
    EXPECT_FALSE(f.Logic.DrawWindowOpen);
    EXPECT_NE(f.Logic.Proj().Tracks[1].EnvelopeFile, before);
    EXPECT_TRUE(RunCommand(f.Logic, kCmdFadeIn));
}

TEST(FrmDrawLevel, BackgroundModeShowsItsTimesAndSavesThem)
{
    test::EnsureApp();
    test::LogicFixture f;
    Prepare(f);
    GuiContext context { f.Logic };
    ASSERT_EQ(RunDialogCommand(kCmdFadeBg, context, nullptr), std::optional<bool>(true));
    FrmDrawLevel* window = OpenDrawLevelWindow();
    ASSERT_NE(window, nullptr);
    test::WindowFixture::Settle();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("BGフェード"));
    EXPECT_EQ(window->FirstButton()->text(), QStringLiteral("Save"));
    EXPECT_TRUE(window->FadeInBox()->isVisible());
    EXPECT_EQ(window->FadeInBox()->text(), QStringLiteral("3000"));
    EXPECT_EQ(window->Slider()->value(), 128);
    // 4 s with 3 s each way: the handles meet in the middle at the BG level.
    ASSERT_EQ(window->Model().Handles().size(), 4u);
    int32_t lowest = 255;
    for (int32_t k = 44100 / 2048; k <= 44100 * 5 / 2048 + 1; ++k)
        lowest = std::min(lowest, E(f.Logic, 1, k));
    EXPECT_EQ(lowest, 128);
    ASSERT_TRUE(test::SaveShot(*window, QStringLiteral("FrmDrawLevel-BG")));
    window->FadeInBox()->selectAll();
    QTest::keyClicks(window->FadeInBox(), QStringLiteral("500"));
    window->FadeOutBox()->selectAll();
    QTest::keyClicks(window->FadeOutBox(), QStringLiteral("700"));
    QTest::mouseClick(window->FirstButton(), Qt::LeftButton);
    EXPECT_EQ(f.Store.GetSetting("BGFadeIn", int32_t { 0 }), 500);
    EXPECT_EQ(f.Store.GetSetting("BGFadeOut", int32_t { 0 }), 700);
    window->close();
    test::WindowFixture::Settle();
    EXPECT_FALSE(f.Logic.DrawWindowOpen);
}

TEST(FrmAutomation, OpeningArmsAndTheFaderSetsTheSelectedTracks)
{
    test::EnsureApp();
    test::LogicFixture f;
    Prepare(f);
    GuiContext context { f.Logic };
    ASSERT_EQ(RunDialogCommand(kCmdFadeAuto, context, nullptr), std::optional<bool>(true));
    FrmAutomation* window = OpenAutomationWindow();
    ASSERT_NE(window, nullptr);
    window->show();
    test::WindowFixture::Settle();
    EXPECT_TRUE(f.Logic.Automation.Mode);
    EXPECT_TRUE(f.Logic.Automation.Armed);
    const Project& p = f.Logic.Proj();
    EXPECT_EQ(window->ValueText()->text(), QString::fromStdString(LevelText(p.Fades, 207)));
    // Dragging the fader down stores its level in the selected tracks.
    UC_Fader* fader = window->Fader();
    const QPoint from(fader->width() / 2, fader->YOfIndex(207));
    const QPoint to(fader->width() / 2, fader->YOfIndex(150));
    QTest::mousePress(fader, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(fader, to);
    QTest::mouseRelease(fader, Qt::LeftButton, Qt::NoModifier, to);
    const int32_t level = window->Model().Fader();
    EXPECT_LT(level, 207);
    EXPECT_EQ(p.Tracks[0].AutoLevelL, level);
    EXPECT_EQ(p.Tracks[1].AutoLevelR, level);
    EXPECT_EQ(p.Tracks[2].AutoLevelL, 207);
    EXPECT_EQ(window->ValueText()->text(), QString::fromStdString(LevelText(p.Fades, level)));
    // A click on the text disarms.
    QTest::mouseClick(window->ValueText(), Qt::LeftButton);
    EXPECT_FALSE(f.Logic.Automation.Armed);
    ASSERT_TRUE(test::SaveShot(*window, QStringLiteral("FrmAutomation")));
    // FADE_AUTO again closes it.
    EXPECT_EQ(RunDialogCommand(kCmdFadeAuto, context, nullptr), std::optional<bool>(true));
    test::WindowFixture::Settle();
    EXPECT_EQ(OpenAutomationWindow(), nullptr);
    EXPECT_FALSE(f.Logic.Automation.Mode);
}

TEST(FadeMenu, ChannelItemsKeepOneChannelOnAndTheWindowsOpenFromTheMenu)
{
    test::EnsureApp();
    test::WindowFixture w;
    auto* left = w.Window->findChild<QAction*>(QStringLiteral("MenuFadeOn0"));
    auto* right = w.Window->findChild<QAction*>(QStringLiteral("MenuFadeOn1"));
    ASSERT_NE(left, nullptr);
    ASSERT_NE(right, nullptr);
    EXPECT_TRUE(left->isChecked());
    EXPECT_TRUE(right->isChecked());
    left->trigger();
    EXPECT_EQ(w.Logic().FadeChannels, kFadeRight);
    EXPECT_FALSE(left->isChecked());
    right->trigger(); // the only one on: the other comes on
    EXPECT_EQ(w.Logic().FadeChannels, kFadeLeft);
    EXPECT_TRUE(left->isChecked());
    EXPECT_FALSE(right->isChecked());

    auto* automation = w.Window->findChild<QAction*>(QStringLiteral("FADE_AUTO"));
    ASSERT_NE(automation, nullptr);
    automation->trigger();
    test::WindowFixture::Settle();
    ASSERT_NE(OpenAutomationWindow(), nullptr);
    EXPECT_TRUE(w.Logic().Automation.Mode);
    automation->trigger();
    test::WindowFixture::Settle();
    EXPECT_EQ(OpenAutomationWindow(), nullptr);
}

TEST(TrackAreaFadePoints, DraggingADotMovesTheEnvelopeAndRightClickDeletesIt)
{
    test::EnsureApp();
    test::WindowFixture w;
    const std::string tone = w.ToneFile("t.wav", 4.0);
    w.Drop(tone, QPoint(10, w.LowerHalfY(0)));
    test::WindowFixture::Settle();
    Project& p = w.Proj();
    ASSERT_GT(p.EnvelopeLength, 60);
    p.CurrentTrack = 0;
    p.Head = 40 * 2048;
    ASSERT_TRUE(RunCommand(w.Logic(), kCmdFadeFphead));
    ASSERT_EQ(p.FadePointCount(), 1);
    auto* area = w.Window->findChild<QWidget*>(QStringLiteral("PictureTrack"));
    ASSERT_NE(area, nullptr);
    area->update();
    test::WindowFixture::Settle();
    area->repaint();
    const FadePoint& fp = p.FadePoints[0];
    ASSERT_GE(fp.DotX[0], 1.0f) << "the dot is on screen";
    const QPoint dot(static_cast<int>(fp.DotX[0]), static_cast<int>(fp.DotY[0]));
    const QPoint lower(dot.x(), dot.y() + 6);
    QTest::mousePress(area, Qt::LeftButton, Qt::NoModifier, dot);
    QTest::mouseMove(area, lower);
    QTest::mouseRelease(area, Qt::LeftButton, Qt::NoModifier, lower);
    test::WindowFixture::Settle();
    EXPECT_LT(EnvelopeLevel(p, 0, 0, 40), p.UnityLevel);
    EXPECT_EQ(EnvelopeLevel(p, 0, 0, 0), p.UnityLevel);
    ASSERT_EQ(p.FadePointCount(), 1);
    area->repaint();
    const QPoint moved(
        static_cast<int>(p.FadePoints[0].DotX[0]), static_cast<int>(p.FadePoints[0].DotY[0]));
    QTest::mouseClick(area, Qt::RightButton, Qt::NoModifier, moved);
    test::WindowFixture::Settle();
    EXPECT_EQ(p.FadePointCount(), 0);
}

} // namespace tarvok
