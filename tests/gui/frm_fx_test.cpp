#include "gui/dialogs/frm_fx.h"

#include "app/command_ids.h"
#include "core/project.h"
#include "core/project_file.h"
#include "gui/dialogs/dialog_commands.h"
#include "gui/gui_context.h"
#include "gui_app.h"
#include "support/logic_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace tarvok {

namespace {

void WhenModal(std::function<void(QWidget&)> pAct)
{
    QTimer::singleShot(0, [pAct] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        pAct(*modal);
    });
}

template <class T> T* Child(QWidget& pParent, const char* pName)
{
    T* w = pParent.findChild<T*>(QString::fromLatin1(pName));
    EXPECT_NE(w, nullptr) << pName;
    return w;
}

} // namespace

TEST(FrmFX, OkAppliesTheFadersShownToTheSelection)
{
    test::EnsureApp();
    test::LogicFixture f;
    const int32_t block = f.AddBlock("a.wav", 0, 0, 4000);
    ASSERT_GE(block, 0);
    Project& p = f.Logic.Proj();
    p.Tracks[0].Selected = 1;
    p.MarkIn = 0;
    p.MarkOut = 4000;
    const int32_t wave = p.Blocks[static_cast<size_t>(block)].WaveNo;
    const std::string oldFile = p.WaveFiles[static_cast<size_t>(wave)].FileName;
    GuiContext context { f.Logic };
    WhenModal([](QWidget& pDialog) {
        EXPECT_EQ(pDialog.objectName(), QStringLiteral("FrmFX"));
        EXPECT_EQ(pDialog.windowTitle(), QStringLiteral("アンプリファイ"));
        // With Link on, moving L moves R too.
        QTest::mouseClick(Child<QWidget>(pDialog, "CheckOPT0"), Qt::LeftButton);
        Child<QSlider>(pDialog, "SliderValue0")->setValue(-6);
        EXPECT_EQ(Child<QSlider>(pDialog, "SliderValue1")->value(), -6);
        EXPECT_EQ(Child<QLabel>(pDialog, "TextValue1")->text(), QStringLiteral("-6"));
        QTest::mouseClick(Child<QPushButton>(pDialog, "OKButton"), Qt::LeftButton);
    });
    std::optional<bool> ran = RunDialogCommand(kCmdFxAmplify, context, nullptr);
    ASSERT_TRUE(ran.has_value());
    EXPECT_TRUE(*ran);
    ASSERT_EQ(p.BlockCount(), 1);
    const std::string newFile = p.WaveFiles[static_cast<size_t>(p.Blocks[0].WaveNo)].FileName;
    EXPECT_NE(newFile, oldFile);
    EXPECT_EQ(p.CheckInvariants(), "");
}

TEST(FrmFX, InvalidValuesKeepTheWindowOpenAndCancelChangesNothing)
{
    test::EnsureApp();
    test::LogicFixture f;
    ASSERT_GE(f.AddBlock("a.wav", 0, 0, 4000), 0);
    Project& p = f.Logic.Proj();
    p.Tracks[0].Selected = 1;
    p.MarkIn = 0;
    p.MarkOut = 4000;
    const std::string before = ProjectFileText(p);
    GuiContext context { f.Logic };
    bool stayedOpen = false;
    WhenModal([&](QWidget& pDialog) {
        auto* box = Child<QLineEdit>(pDialog, "TextTime");
        EXPECT_EQ(box->text(), QStringLiteral("1000"));
        box->selectAll();
        QTest::keyClicks(box, QStringLiteral("5"));
        QTest::mouseClick(Child<QPushButton>(pDialog, "OKButton"), Qt::LeftButton);
        stayedOpen = pDialog.isVisible();
        QTest::keyClick(&pDialog, Qt::Key_Escape);
    });
    std::optional<bool> ran = RunDialogCommand(kCmdFxSign, context, nullptr);
    ASSERT_TRUE(ran.has_value());
    EXPECT_FALSE(*ran);
    EXPECT_TRUE(stayedOpen);
    ASSERT_FALSE(f.Ui.BoxTexts().empty());
    EXPECT_EQ(f.Ui.BoxTexts().back(), "20～20000の値を入力してください");
    EXPECT_EQ(ProjectFileText(p), before);
}

TEST(FrmFX, ValuePanelsFollowTheDisplayRulesAndPreviewIsMade)
{
    test::EnsureApp();
    test::LogicFixture f;
    ASSERT_GE(f.AddBlock("a.wav", 0, 0, 44100 * 8), 0);
    Project& p = f.Logic.Proj();
    p.Tracks[0].Selected = 1;
    p.MarkIn = 0;
    p.MarkOut = 44100 * 8;
    p.SelectedBlock = 0;
    GuiContext context { f.Logic };
    FrmFX window(context, kCmdFxHcFilter);
    window.show();
    EXPECT_EQ(
        window.findChild<QLabel*>(QStringLiteral("TextValue0"))->text(), QStringLiteral("630"));
    window.Fader(0)->setValue(860);
    EXPECT_EQ(
        window.findChild<QLabel*>(QStringLiteral("TextValue0"))->text(), QStringLiteral("19900"));

    FrmFX delay(context, kCmdFxDelay);
    delay.show();
    delay.findChild<QSlider*>(QStringLiteral("SliderPreviewSec"))->setValue(5);
    QTest::mouseClick(
        delay.findChild<QPushButton*>(QStringLiteral("PreviewButton")), Qt::LeftButton);
    EXPECT_EQ(delay.findChild<QLabel*>(QStringLiteral("TextMessage"))->text(),
        QStringLiteral("作成完了"));
}

} // namespace tarvok

namespace tarvok {

TEST(FrmFX, NormaliseOffersLufsBesideRmsAndTheMeterSwitchesToRms)
{
    test::EnsureApp();
    test::LogicFixture f;
    ASSERT_GE(f.AddBlock("a.wav", 0, 0, 4000), 0);
    Project& p = f.Logic.Proj();
    p.Tracks[0].Selected = 1;
    p.MarkIn = 0;
    p.MarkOut = 4000;
    GuiContext context { f.Logic };
    FrmFX window(context, kCmdFxNorm);
    window.show();
    auto* rms = window.findChild<QCheckBox*>(QStringLiteral("CheckOPT0"));
    auto* lufs = window.findChild<QCheckBox*>(QStringLiteral("CheckOPT1"));
    ASSERT_NE(rms, nullptr);
    ASSERT_NE(lufs, nullptr);
    EXPECT_EQ(lufs->text(), QStringLiteral("LUFS"));
    QTest::mouseClick(rms, Qt::LeftButton);
    QTest::mouseClick(lufs, Qt::LeftButton);
    EXPECT_TRUE(lufs->isChecked());
    EXPECT_FALSE(rms->isChecked()) << "one measuring mode at a time";

    auto* meter = window.findChild<QWidget*>(QStringLiteral("PictureMVU"));
    ASSERT_NE(meter, nullptr);
    EXPECT_FALSE(window.MeterShowsRms());
    QTest::mouseClick(meter, Qt::LeftButton);
    EXPECT_TRUE(window.MeterShowsRms());
    QTest::mouseClick(meter, Qt::LeftButton);
    EXPECT_FALSE(window.MeterShowsRms());
}

} // namespace tarvok
