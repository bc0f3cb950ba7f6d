#include "gui/controls/uc_fader.h"
#include "gui/controls/uc_file_hand.h"
#include "gui/controls/uc_io_selector.h"
#include "gui/controls/uc_vvu.h"

#include "app/shell/file_copy.h"
#include "gui_app.h"
#include "support/temp_dir.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

namespace tarvok {

TEST(UC_Fader, ScaleAndPositionsFollowTheFadeTable)
{
    test::EnsureApp();
    UC_Fader fader;
    FadeTable table {};
    BuildFadeTable(1, table);
    fader.SetFadeTable(table, 207);
    fader.resize(80, 275);
    for (int index : { 0, 1, 100, 207, 255 }) {
        SCOPED_TRACE(index);
        EXPECT_EQ(fader.IndexAtY(fader.YOfIndex(index)), index);
    }
    EXPECT_LT(fader.YOfIndex(255), fader.YOfIndex(0));
    fader.SetLevels(207, 0);
    EXPECT_EQ(fader.FaderText(), QStringLiteral("00.0db : -∞db"));
    EXPECT_EQ(fader.LevelText(179), QStringLiteral("-05.0db"));
    ASSERT_TRUE(test::SaveShot(fader, "UC_Fader"));
}

TEST(UC_Fader, UserMovesEmitAndTheLinkMovesBothSides)
{
    test::EnsureApp();
    UC_Fader fader;
    fader.resize(80, 275);
    fader.show();
    QSignalSpy changed(&fader, &UC_Fader::LevelsChanged);
    QSignalSpy released(&fader, &UC_Fader::Released);
    QSignalSpy link(&fader, &UC_Fader::LinkChanged);
    fader.SetLevels(100, 100);
    EXPECT_EQ(changed.count(), 0); // setters stay quiet
    fader.SetLinked(true);
    QTest::keyClick(&fader, Qt::Key_Up);
    EXPECT_EQ(fader.LevelL(), 101);
    EXPECT_EQ(fader.LevelR(), 101);
    ASSERT_EQ(changed.count(), 1);

    // A right-button release opens the link; then a drag on the right half moves only R.
    QTest::mouseRelease(&fader, Qt::RightButton, {}, QPoint(50, 100));
    ASSERT_EQ(link.count(), 1);
    EXPECT_FALSE(fader.Linked());
    const int x = fader.width() - 5;
    const int y = fader.YOfIndex(fader.LevelR());
    QTest::mousePress(&fader, Qt::LeftButton, {}, QPoint(x, y));
    QMouseEvent move(QEvent::MouseMove, QPointF(x, y - 40), QPointF(x, y - 40), Qt::NoButton,
        Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&fader, &move);
    QTest::mouseRelease(&fader, Qt::LeftButton, {}, QPoint(x, y - 40));
    EXPECT_EQ(fader.LevelL(), 101);
    EXPECT_GT(fader.LevelR(), 101);
    EXPECT_EQ(released.count(), 1);

    QTest::mouseDClick(&fader, Qt::LeftButton, {}, QPoint(40, 10));
    EXPECT_EQ(fader.LevelL(), 207);
    EXPECT_EQ(fader.LevelR(), 207);
}

TEST(UC_VVU, BarJumpsUpAndFallsBackEachTick)
{
    test::EnsureApp();
    UC_VVU meter;
    meter.resize(8, 100);
    meter.DrawVU(-500, -500);
    EXPECT_EQ(meter.ShownBar(), -500);
    EXPECT_EQ(meter.YOfValue(meter.ShownBar()), 100);
    meter.DrawVU(0, 0);
    EXPECT_EQ(meter.ShownBar(), 0);
    EXPECT_EQ(meter.YOfValue(meter.ShownBar()), 0);
    meter.DrawVU(-500, -500);
    EXPECT_NEAR(meter.ShownBar(), -500.0 / 30.0, 1e-9);
    EXPECT_NEAR(meter.ShownPeak(), -500.0 / 30.0, 1e-9);
    // Without an independent peak the mark follows the bar value, not the peak value, and
    // falls ten times faster.
    meter.SetPeakIndp(false);
    meter.DrawVU(-100, 0);
    EXPECT_EQ(meter.ShownPeak(), -100);
    EXPECT_NEAR(meter.ShownBar(), -2 * 500.0 / 30.0, 1e-9);
    meter.DrawVU(-500, -500);
    EXPECT_NEAR(meter.ShownBar(), -3 * 500.0 / 30.0, 1e-9);
    EXPECT_NEAR(meter.ShownPeak(), -100 - 5000.0 / 30.0, 1e-9);
    meter.ClearVU();
    EXPECT_EQ(meter.ShownPeak(), -500);
}

TEST(UC_IOSelector, TextsOfTheChannelChoices)
{
    test::EnsureApp();
    const std::pair<int, const char*> kInputs[]
        = { { 0, "1+2" }, { 7, "15+16" }, { 100, "1" }, { 115, "16" }, { 50, "-" } };
    for (auto [value, text] : kInputs) {
        SCOPED_TRACE(text);
        EXPECT_EQ(UC_IOSelector::InputText(value), QString::fromLatin1(text));
    }
    EXPECT_EQ(UC_IOSelector::OutputText(1), QStringLiteral("3+4"));
    UC_IOSelector io;
    io.resize(io.sizeHint());
    io.show();
    QSignalSpy input(&io, &UC_IOSelector::InputToggled);
    QSignalSpy output(&io, &UC_IOSelector::OutputToggled);
    QSignalSpy menu(&io, &UC_IOSelector::OutputMenuRequested);
    QTest::mouseClick(&io, Qt::LeftButton, {}, QPoint(5, 3));
    QTest::mouseClick(&io, Qt::LeftButton, {}, QPoint(5, io.height() - 3));
    QTest::mouseClick(&io, Qt::RightButton, {}, QPoint(5, io.height() - 3));
    EXPECT_EQ(input.count(), 1);
    EXPECT_EQ(output.count(), 1);
    EXPECT_EQ(menu.count(), 1);
    io.SetInputAvailable(false);
    QTest::mouseClick(&io, Qt::LeftButton, {}, QPoint(5, 3));
    EXPECT_EQ(input.count(), 1);
    ASSERT_TRUE(test::SaveShot(io, "UC_IOSelector"));
}

TEST(UC_FileHand, FollowsACopyAndItsCancelStopsIt)
{
    test::EnsureApp();
    test::TempDir dir;
    const std::string source = dir.File("big.bin");
    ASSERT_TRUE(test::WriteFileBytes(source, std::string(40000, 'x')));
    FileCopy copy;
    copy.SetWait([](int32_t) {});
    UC_FileHand control;
    control.Init(1);
    control.Attach(copy);
    control.show();
    ASSERT_TRUE(test::SaveShot(control, "UC_FileHand"));
    ASSERT_TRUE(copy.MirrorFile(source, dir.File("copy.bin"), 1, 10000));
    EXPECT_EQ(control.Fraction(), 1.0);
    // The self-drawn mode shows the same state.
    control.Init(0);
    control.ShowProgress(QStringLiteral("ファイルコピー中…"), 0.4);
    ASSERT_TRUE(test::SaveShot(control, "UC_FileHandMode0"));
    EXPECT_FALSE(control.CancelButton()->isHidden());
    control.Init(1);

    // Cancel after the first chunk: the copy stops and leaves no target.
    int events = 0;
    control.Attach(copy);
    QObject::connect(&control, &UC_FileHand::CancelClicked, [] {});
    FileCopy::ProgressHandler clickOnce = [&](double pRate, std::string_view) {
        control.ShowProgress(QStringLiteral("copy"), pRate);
        if (++events == 2)
            QTest::mouseClick(control.CancelButton(), Qt::LeftButton);
        return !control.Canceled();
    };
    copy.SetMirrorProg(clickOnce);
    EXPECT_FALSE(copy.MirrorFile(source, dir.File("copy2.bin"), 1, 10000));
    EXPECT_EQ(events, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.File("copy2.bin")));
}

} // namespace tarvok
