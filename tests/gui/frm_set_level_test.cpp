#include "gui/dialogs/frm_set_level.h"

#include "core/command_ids.h"
#include "core/project.h"
#include "gui/dialogs/dialog_commands.h"
#include "gui/dialogs/frm_rename.h"
#include "gui/dialogs/frm_time_input.h"
#include "gui/gui_context.h"
#include "gui_app.h"
#include "support/logic_fixture.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace tarvok {

namespace {

/// Runs pAct on the modal dialog as soon as it is open (the dialog's exec() blocks).
void WhenModal(std::function<void(QWidget&)> pAct)
{
    QTimer::singleShot(0, [pAct] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        pAct(*modal);
    });
}

void Retype(QLineEdit* pBox, const QString& pText)
{
    ASSERT_NE(pBox, nullptr);
    pBox->selectAll();
    QTest::keyClicks(pBox, pText);
}

} // namespace

TEST(FrmSetLevel, BlockLevelCommandSetsTheBlock)
{
    test::EnsureApp();
    test::LogicFixture f;
    const int32_t block = f.AddBlock("a.wav", 0, 0, 1000);
    ASSERT_GE(block, 0);
    f.Logic.Proj().SelectedBlock = block;
    GuiContext context { f.Logic };
    WhenModal([](QWidget& pDialog) {
        EXPECT_EQ(pDialog.objectName(), QStringLiteral("FrmSetLevel"));
        auto* left = pDialog.findChild<QLineEdit*>(QStringLiteral("TextLevelL"));
        auto* right = pDialog.findChild<QLineEdit*>(QStringLiteral("TextLevelR"));
        EXPECT_EQ(left->text(), QStringLiteral("00.0"));
        Retype(left, QStringLiteral("-6.5"));
        QTest::keyClick(left, Qt::Key_Return); // to the right box
        Retype(right, QStringLiteral("2"));
        QTest::keyClick(right, Qt::Key_Return);
    });
    std::optional<bool> ran = RunDialogCommand(kCmdBlockLevel, context, nullptr);
    ASSERT_TRUE(ran.has_value());
    EXPECT_TRUE(*ran);
    EXPECT_EQ(f.Logic.Proj().Blocks[block].LevelL, -6.5f);
    EXPECT_EQ(f.Logic.Proj().Blocks[block].LevelR, 2.0f);
}

TEST(FrmSetLevel, LinkedTrackFollowsTheLeftBoxAndCancelChangesNothing)
{
    test::EnsureApp();
    test::LogicFixture f;
    Project& p = f.Logic.Proj();
    p.Tracks[2].LevelLinked = 1;
    GuiContext context { f.Logic };
    WhenModal([](QWidget& pDialog) {
        auto* left = pDialog.findChild<QLineEdit*>(QStringLiteral("TextLevelL"));
        auto* right = pDialog.findChild<QLineEdit*>(QStringLiteral("TextLevelR"));
        EXPECT_FALSE(right->isEnabled());
        Retype(left, QStringLiteral("-5"));
        EXPECT_EQ(right->text(), QStringLiteral("-5"));
        QTest::keyClick(left, Qt::Key_Return); // confirms: the right box is disabled
    });
    EXPECT_TRUE(RunTrackLevelDialog(context, 2, nullptr));
    EXPECT_EQ(p.Tracks[2].LevelL, 179);
    EXPECT_EQ(p.Tracks[2].LevelR, 179);

    WhenModal([](QWidget& pDialog) {
        Retype(pDialog.findChild<QLineEdit*>(QStringLiteral("TextLevelL")), QStringLiteral("3"));
        QTest::keyClick(&pDialog, Qt::Key_Escape);
    });
    EXPECT_FALSE(RunTrackLevelDialog(context, 2, nullptr));
    EXPECT_EQ(p.Tracks[2].LevelL, 179);
}

TEST(FrmSetLevel, UnreadableValueKeepsTheDialogOpen)
{
    test::EnsureApp();
    test::LogicFixture f;
    FrmSetLevel dialog(LevelDialogModel(0, 0, false), f.Ui, QStringLiteral("x"));
    dialog.show();
    Retype(dialog.LeftBox(), QStringLiteral("1e39"));
    dialog.Confirm();
    EXPECT_FALSE(dialog.Result().has_value());
    EXPECT_EQ(dialog.Values(), std::make_pair(FrmSetLevel::kNoChange, FrmSetLevel::kNoChange));
    ASSERT_FALSE(f.Ui.BoxTexts().empty());
    EXPECT_EQ(f.Ui.BoxTexts().back(), "値が不正です");
    EXPECT_TRUE(dialog.isVisible());
}

TEST(FrmRename, RenamesTheBlockWithTheCleanedName)
{
    test::EnsureApp();
    test::LogicFixture f;
    const int32_t block = f.AddBlock("a.wav", 0, 0, 1000);
    ASSERT_GE(block, 0);
    f.Logic.Proj().SelectedBlock = block;
    GuiContext context { f.Logic };
    WhenModal([](QWidget& pDialog) {
        EXPECT_EQ(pDialog.windowTitle(), QStringLiteral("名称入力"));
        auto* text = pDialog.findChild<QLineEdit*>(QStringLiteral("TextName"));
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->selectedText(), text->text());
        QTest::keyClicks(text, QStringLiteral(" lead, take 2 "));
        QTest::keyClick(text, Qt::Key_Return);
    });
    EXPECT_EQ(RunDialogCommand(kCmdBlockName, context, nullptr), std::optional<bool>(true));
    EXPECT_EQ(f.Logic.Proj().Blocks[block].Name, "lead. take 2");
}

TEST(FrmTimeInput, ShowsTheTimeAsReadAndGivesFrames)
{
    test::EnsureApp();
    test::LogicFixture f;
    Project& p = f.Logic.Proj();
    p.ZeroPos = 44100;
    FrmTimeInput dialog(p, QStringLiteral("位置を入力"), 44100 + 65250 * 441 / 10, true);
    EXPECT_EQ(dialog.TextTime()->text(), QStringLiteral("001'05.250"));
    Retype(dialog.TextTime(), QStringLiteral("1:05.5"));
    EXPECT_TRUE(dialog.Preview()->text().contains(QStringLiteral("001'05.500")));
    dialog.accept();
    EXPECT_EQ(dialog.Frames(), std::optional<int32_t>(44100 + 65500 * 441 / 10));
    dialog.TextTime()->clear();
    EXPECT_EQ(dialog.Frames(), std::nullopt);
}

} // namespace tarvok
