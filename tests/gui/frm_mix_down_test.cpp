#include "gui/dialogs/frm_mix_down.h"

#include "core/project.h"
#include "core/wave_info.h"
#include "gui/controls/uc_file_hand.h"
#include "gui/gui_context.h"
#include "gui_app.h"
#include "support/logic_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace tarvok {

namespace {

template <class T> T* Child(QWidget& pWindow, const char* pName)
{
    T* child = pWindow.findChild<T*>(QLatin1String(pName));
    EXPECT_NE(child, nullptr) << pName;
    return child;
}

} // namespace

TEST(FrmMixDown, OkRunsTheMixdownAndWritesTheFile)
{
    test::EnsureApp();
    test::LogicFixture f;
    ASSERT_GE(f.AddBlock("a.wav", 0, 0, 4410), 0);
    ASSERT_GE(f.AddBlock("b.wav", 1, 2205, 4410), 0);
    GuiContext context { f.Logic };
    FrmMixDown window(context);
    window.show();
    ASSERT_TRUE(test::SaveShot(window, "FrmMixDown"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("wavファイル作成"));

    const QString target = QString::fromStdString(f.Home.Dir().File("mix.wav"));
    QLineEdit* path = Child<QLineEdit>(window, "TextTargetFile");
    path->clear();
    QTest::keyClicks(path, target);
    Child<QComboBox>(window, "ComboFmt")->setCurrentIndex(2); // Mono16bit
    QLineEdit* loop = Child<QLineEdit>(window, "TextLoop");
    loop->clear();
    QTest::keyClicks(loop, QStringLiteral("2"));

    QPushButton* ok = nullptr;
    for (QPushButton* b : window.findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("OK"))
            ok = b;
    ASSERT_NE(ok, nullptr);
    QTest::mouseClick(ok, Qt::LeftButton);

    ASSERT_TRUE(window.LastResult().has_value());
    EXPECT_EQ(window.LastResult()->Outcome, MixdownOutcome::Finished);
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_FALSE(window.Progress()->isVisible());
    const WaveInfo info = ReadWaveInfo(target.toStdString());
    EXPECT_EQ(info.Valid, 1);
    EXPECT_EQ(info.Channels, 1);
    EXPECT_EQ(info.Frames, 2 * (2205 + 4410));
    EXPECT_EQ(f.Ui.LastStatus(), "終了");
    // The window's place is remembered.
    EXPECT_TRUE(f.Store.GetRaw("MixWindowLeft").has_value());
}

TEST(FrmMixDown, MessagesKeepTheWindowOpenAndTargetsEnableTheirControls)
{
    test::EnsureApp();
    test::LogicFixture f;
    ASSERT_GE(f.AddBlock("a.wav", 0, 0, 1000), 0);
    GuiContext context { f.Logic };
    FrmMixDown window(context);
    window.show();
    Child<QLineEdit>(window, "TextTargetFile")->clear();
    window.RunOk();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(f.Ui.BoxTexts().back(), "ファイル名を入力してください");
    EXPECT_TRUE(Child<QPushButton>(window, "SaveButtons")->isEnabled());

    QComboBox* tracks = Child<QComboBox>(window, "ComboTargetTrack");
    QComboBox* format = Child<QComboBox>(window, "ComboFmt");
    QLineEdit* path = Child<QLineEdit>(window, "TextTargetFile");
    EXPECT_FALSE(tracks->isEnabled());
    QTest::mouseClick(Child<QRadioButton>(window, "CheckTarget1"), Qt::LeftButton);
    EXPECT_TRUE(tracks->isEnabled());
    EXPECT_FALSE(format->isEnabled());
    EXPECT_FALSE(path->isEnabled());
    QTest::mouseClick(Child<QRadioButton>(window, "CheckTarget2"), Qt::LeftButton);
    EXPECT_FALSE(tracks->isEnabled());
    EXPECT_TRUE(format->isEnabled());
    EXPECT_FALSE(path->isEnabled());
    // Without an encoder the mp3 box is never available.
    EXPECT_FALSE(Child<QCheckBox>(window, "CheckEncode")->isEnabled());
    QLineEdit* level = Child<QLineEdit>(window, "TextNormalize");
    EXPECT_FALSE(level->isEnabled());
    QTest::mouseClick(Child<QCheckBox>(window, "CheckNormalize"), Qt::LeftButton);
    EXPECT_TRUE(level->isEnabled());

    // "Save Values" stores what the controls show.
    QTest::mouseClick(Child<QPushButton>(window, "SaveButtons"), Qt::LeftButton);
    EXPECT_EQ(f.Store.GetSetting("MixTargetMode", int32_t { -1 }), 2);
    EXPECT_EQ(f.Store.GetSetting("CheckNormalize", int32_t { -1 }), 1);
}

TEST(FrmMixDown, ChosenFileGetsTheExtensionOfTheOutput)
{
    test::EnsureApp();
    test::LogicFixture f;
    GuiContext context { f.Logic };
    FrmMixDown window(context);
    f.Ui.QueueAnswer("/music/final take");
    QTest::mouseClick(Child<QPushButton>(window, "ButtonBrowse"), Qt::LeftButton);
    EXPECT_EQ(Child<QLineEdit>(window, "TextTargetFile")->text(),
        QStringLiteral("/music/final take.wav"));
    EXPECT_EQ(window.Model().Request().TargetFile, "/music/final take.wav");
    f.Ui.QueueAnswer("cancel");
    QTest::mouseClick(Child<QPushButton>(window, "ButtonBrowse"), Qt::LeftButton);
    EXPECT_EQ(window.Model().Request().TargetFile, "/music/final take.wav");
}

TEST(FrmMixDown, CancelOfTheProgressControlAsksTheRunToStop)
{
    test::EnsureApp();
    test::LogicFixture f;
    GuiContext context { f.Logic };
    FrmMixDown window(context);
    window.Progress()->show();
    QTest::mouseClick(window.Progress()->CancelButton(), Qt::LeftButton);
    EXPECT_TRUE(f.Logic.CancelRequest);
    EXPECT_TRUE(window.Progress()->Canceled());
}

} // namespace tarvok
