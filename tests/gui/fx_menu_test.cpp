#include "window_fixture.h"

#include "app/commands/apply_effect.h"
#include "core/command_ids.h"
#include "core/project.h"
#include "core/project_file.h"
#include "fx/fx_table.h"
#include "gui/main_menus.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace tarvok::test {

namespace {

/// A main window holding a 2-second tone on track 0, with a range selected on it by a
/// drag in the track's upper half.
struct SelectedToneWindow : WindowFixture {
    SelectedToneWindow()
    {
        Drop(ToneFile("tone.wav", 2.0), QPoint(0, LowerHalfY(0)));
        DragOnTracks(QPoint(20, UpperHalfY(0)), QPoint(120, UpperHalfY(0)));
    }
};

/// The working file of every block, in block order: an effect that edited replaces some.
std::vector<std::string> BlockFiles(const Project& pProject)
{
    std::vector<std::string> files;
    for (const Block& b : pProject.Blocks)
        files.push_back(pProject.WaveFiles[static_cast<size_t>(b.WaveNo)].FileName);
    return files;
}

/// What the effect window showed when it opened.
struct Seen {
    bool Opened = false;
    QString Name;
    QString Title;
};

/// Triggers the menu item of effect pId; while its window is open, pAct runs on it. The
/// timer lives only as long as the call, so a window that never opened leaves nothing
/// behind to act on the next one.
Seen TriggerEffect(WindowFixture& pWindow, int32_t pId, const std::function<void(QWidget&)>& pAct)
{
    Seen seen;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        seen.Opened = true;
        seen.Name = modal->objectName();
        seen.Title = modal->windowTitle();
        pAct(*modal);
        if (modal->isVisible())
            QTest::mouseClick(
                modal->findChild<QPushButton*>(QStringLiteral("CancelButton")), Qt::LeftButton);
    });
    timer.start(0);
    QAction* action = pWindow.Window->Menus().Command(pId);
    EXPECT_NE(action, nullptr);
    if (action)
        action->trigger();
    WindowFixture::Settle();
    return seen;
}

/// Checks that the effect window shows one fader per parameter with its label, range and
/// value panel, the check boxes and the extra box of pInfo, none of them cut short.
void ExpectPanels(QWidget& pDialog, const FxInfo& pInfo)
{
    QStringList labels;
    for (QLabel* l : pDialog.findChildren<QLabel*>())
        labels << l->text();
    for (size_t i = 0; i < pInfo.Faders.size(); ++i) {
        const FxFader& f = pInfo.Faders[i];
        SCOPED_TRACE(f.Label);
        auto* slider = pDialog.findChild<QSlider*>(QStringLiteral("SliderValue%1").arg(i));
        auto* value = pDialog.findChild<QLabel*>(QStringLiteral("TextValue%1").arg(i));
        ASSERT_NE(slider, nullptr);
        ASSERT_NE(value, nullptr);
        EXPECT_TRUE(slider->isVisible());
        EXPECT_EQ(slider->minimum(), f.Min);
        EXPECT_EQ(slider->maximum(), f.Max);
        EXPECT_EQ(value->text().toStdString(), FaderText(f.Display, slider->value()));
        EXPECT_GE(value->width(), value->sizeHint().width());
        EXPECT_TRUE(labels.contains(QString::fromStdString(f.Label)));
    }
    EXPECT_EQ(pDialog.findChild<QSlider*>(
                  QStringLiteral("SliderValue%1").arg(static_cast<int>(pInfo.Faders.size()))),
        nullptr);
    for (size_t i = 0; i < pInfo.Checks.size(); ++i) {
        auto* check = pDialog.findChild<QCheckBox*>(QStringLiteral("CheckOPT%1").arg(i));
        ASSERT_NE(check, nullptr);
        EXPECT_EQ(check->text().toStdString(), std::string(pInfo.Checks[i]));
        EXPECT_GE(check->width(), check->sizeHint().width());
    }
    EXPECT_EQ(pDialog.findChild<QLineEdit*>(QStringLiteral("TextTime")) != nullptr,
        pInfo.Box != FxBox::None);
    for (const char* name : { "OKButton", "CancelButton", "SaveButton", "PreviewButton" }) {
        auto* button = pDialog.findChild<QPushButton*>(QString::fromLatin1(name));
        ASSERT_NE(button, nullptr) << name;
        EXPECT_GE(button->width(), button->sizeHint().width()) << name;
    }
}

} // namespace

TEST(FxMenu, EveryEffectOpensItsWindowFromTheMenuAndCancelLeavesTheProject)
{
    SelectedToneWindow w;
    Project& p = w.Proj();
    ASSERT_EQ(p.BlockCount(), 1);
    ASSERT_LT(p.MarkIn, p.MarkOut);
    ASSERT_EQ(p.Tracks[0].Selected, 1);
    for (const FxInfo& info : AllEffects()) {
        SCOPED_TRACE(info.Id);
        SCOPED_TRACE(std::string(info.Label));
        QAction* action = w.Window->Menus().Command(info.Id);
        ASSERT_NE(action, nullptr);
        EXPECT_TRUE(action->isEnabled());
        // The effect menu holds 106..135, the stereo effect menu the rest.
        QMenu* menu = w.Window->Menus().Heading(info.Id < kFirstStereoEffect
                ? QStringLiteral("エフェクト")
                : QStringLiteral("ステレオエフェクト"));
        ASSERT_NE(menu, nullptr);
        EXPECT_TRUE(menu->isEnabled());
        EXPECT_TRUE(menu->actions().contains(action));
        const std::string before = ProjectFileText(p);
        const std::vector<std::string> files = BlockFiles(p);
        if (!IsEffectAvailable(info.Id)) {
            // Only the filters and equalisers may still be waiting for their processor; the
            // item then says so and changes nothing.
            EXPECT_GE(info.Id, kCmdFxBandPass);
            EXPECT_LE(info.Id, kCmdFxPeq);
            const Seen seen = TriggerEffect(w, info.Id, [](QWidget&) {});
            EXPECT_FALSE(seen.Opened);
            EXPECT_EQ(ProjectFileText(p), before);
            continue;
        }
        if (!info.HasDialog) {
            // Effects without parameters edit at once.
            const Seen seen = TriggerEffect(w, info.Id, [](QWidget&) {});
            EXPECT_FALSE(seen.Opened);
            EXPECT_NE(BlockFiles(p), files);
            EXPECT_EQ(p.CheckInvariants(), "");
            continue;
        }
        const Seen seen
            = TriggerEffect(w, info.Id, [&info](QWidget& pDialog) { ExpectPanels(pDialog, info); });
        EXPECT_TRUE(seen.Opened);
        EXPECT_EQ(seen.Name, QStringLiteral("FrmFX"));
        EXPECT_EQ(seen.Title.toStdString(), std::string(info.Label));
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_EQ(ProjectFileText(p), before);
    }
}

TEST(FxMenu, OkFromTheMenuRendersOneEffectOfEachFamily)
{
    for (const int32_t id : { kCmdFxEcho, kCmdFxFlanger, kCmdFxTimeStretch, kCmdFxCompressor,
             kCmdFxNorm, kCmdFxMixLr }) {
        SCOPED_TRACE(id);
        SelectedToneWindow w;
        Project& p = w.Proj();
        ASSERT_EQ(p.BlockCount(), 1);
        const std::vector<std::string> files = BlockFiles(p);
        const Seen seen = TriggerEffect(w, id, [](QWidget& pDialog) {
            QTest::mouseClick(
                pDialog.findChild<QPushButton*>(QStringLiteral("OKButton")), Qt::LeftButton);
        });
        EXPECT_TRUE(seen.Opened);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        // The selected part of the tone is now a block of its own over a new working file.
        EXPECT_GT(p.BlockCount(), 1);
        EXPECT_NE(BlockFiles(p), files);
        EXPECT_EQ(p.CheckInvariants(), "");
        // One undo brings the tone back.
        w.Window->Menus().Command(kCmdUndo)->trigger();
        WindowFixture::Settle();
        EXPECT_EQ(BlockFiles(p), files);
    }
}

} // namespace tarvok::test
