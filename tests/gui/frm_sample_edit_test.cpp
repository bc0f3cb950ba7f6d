#include "gui/dialogs/frm_sample_edit.h"

#include "app/shell/main_logic.h"
#include "base/numeric.h"
#include "core/file_io.h"
#include "core/project.h"
#include "core/wave_info.h"
#include "gui/gui_context.h"
#include "gui_app.h"
#include "support/logic_fixture.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tarvok {

namespace {

/// The left channel of a 16-bit stereo WAV file.
std::vector<int16_t> LeftChannel(const std::string& pPath)
{
    const WaveInfo info = ReadWaveInfo(pPath);
    std::vector<int16_t> data(static_cast<size_t>(std::max(0, info.Frames)) * 2);
    if (!data.empty())
        ReadBytes(data.data(), static_cast<int64_t>(data.size()) * 2, 0, pPath, info.DataOffset, 0);
    std::vector<int16_t> left;
    for (size_t i = 0; i < data.size(); i += 2)
        left.push_back(data[i]);
    return left;
}

struct EditWindowFixture : test::LogicFixture {
    GuiContext Context { Logic };

    EditWindowFixture()
    {
        test::EnsureApp();
        EXPECT_GE(AddBlock("a.wav", 0, 0, 1000), 0);
        Logic.Proj().CurrentTrack = 0;
        Logic.Proj().MarkIn = 0;
        Logic.Proj().MarkOut = 1000;
        EXPECT_TRUE(PrepareSampleEdit(Logic));
    }
};

QPushButton* Button(QWidget& pWindow, const QString& pName)
{
    return pWindow.findChild<QPushButton*>(pName);
}

} // namespace

TEST(FrmSampleEdit, PencilStrokeWithTheMouseThenUndo)
{
    EditWindowFixture f;
    FrmSampleEdit window(f.Context);
    window.resize(900, 420);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    SampleEditor& model = window.Model();
    QPushButton* zoomIn = Button(window, QStringLiteral("ZoomButton1"));
    ASSERT_NE(zoomIn, nullptr);
    for (int i = 0; i < 5; ++i)
        QTest::mouseClick(zoomIn, Qt::LeftButton);
    ASSERT_EQ(model.Zoom(), 1); // 32 pixels per frame, drawing handles shown
    model.SetViewStart(100);
    const std::vector<int16_t> before = LeftChannel(model.CurrentFile());

    SampleWavePicture* wave = window.Wave();
    const int zeroY = static_cast<int>(model.ZeroLine(0));
    const QPoint from(2 * 32, zeroY - 20); // frame 102, upper half: left channel
    const QPoint to(5 * 32, zeroY - 40); // frame 105
    QTest::mousePress(wave, Qt::LeftButton, Qt::ShiftModifier, from);
    QTest::mouseMove(wave, to);
    EXPECT_TRUE(model.Stroking());
    QTest::mouseRelease(wave, Qt::LeftButton, Qt::ShiftModifier, to);
    EXPECT_FALSE(model.Stroking());
    EXPECT_EQ(model.EditNumber(), 1);

    const int32_t a = model.ValueAtY(0, from.y());
    const int32_t b = model.ValueAtY(0, to.y());
    EXPECT_GT(b, a);
    const std::vector<int16_t> after = LeftChannel(model.CurrentFile());
    ASSERT_EQ(after.size(), before.size());
    for (int32_t i = 102; i <= 105; ++i)
        EXPECT_EQ(after[static_cast<size_t>(i)], RoundHalfEven(a + (b - a) * ((i - 102) / 4.0)))
            << i;
    EXPECT_EQ(after[101], before[101]);
    EXPECT_EQ(after[106], before[106]);
    auto* message = window.findChild<QLabel*>(QStringLiteral("PictureMessage"));
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->text(), QStringLiteral("処理終了"));

    // Undo through the edit menu goes back to the rendered file.
    window.EditAction(4)->trigger();
    EXPECT_EQ(model.EditNumber(), 0);
    EXPECT_EQ(model.CurrentFile(), f.Logic.SampleEditFile);
    EXPECT_EQ(model.Sample(103, 0), before[103]);
    window.EditAction(5)->trigger(); // and redo forward again
    EXPECT_EQ(model.EditNumber(), 1);

    // Cancel leaves the project as it was.
    const int32_t counter = f.Logic.Proj().UndoCounter;
    QTest::mouseClick(Button(window, QStringLiteral("OKCancelButtons0")), Qt::LeftButton);
    EXPECT_TRUE(model.Closed());
    EXPECT_EQ(f.Logic.Proj().UndoCounter, counter);
    EXPECT_EQ(f.Logic.Proj().BlockCount(), 1);
    EXPECT_TRUE(f.Logic.SampleEditFile.empty());
}

TEST(FrmSampleEdit, OkPlacesTheResultAndTheStripsFollowTheSelection)
{
    EditWindowFixture f;
    FrmSampleEdit window(f.Context);
    window.resize(900, 420);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    SampleEditor& model = window.Model();
    // A drag in the waveform selects; the information strip shows the selection.
    QTest::mousePress(window.Wave(), Qt::LeftButton, Qt::NoModifier, QPoint(10, 50));
    QTest::mouseMove(window.Wave(), QPoint(40, 50));
    auto* message = window.findChild<QLabel*>(QStringLiteral("PictureMessage"));
    EXPECT_EQ(message->text(), QStringLiteral("11sample to 41sample"));
    QTest::mouseRelease(window.Wave(), Qt::LeftButton, Qt::NoModifier, QPoint(40, 50));
    EXPECT_EQ(model.SelFirst(), 10);
    EXPECT_EQ(model.SelLast(), 40);
    auto* selected = Button(window, QStringLiteral("InfoField4"));
    ASSERT_NE(selected, nullptr);
    EXPECT_TRUE(selected->text().startsWith(QStringLiteral("選択")));
    window.EraseAction(1)->trigger(); // silence L
    EXPECT_EQ(model.Sample(20, 0), 0);
    QTest::mouseClick(Button(window, QStringLiteral("OKCancelButtons1")), Qt::LeftButton);
    EXPECT_TRUE(model.Closed());
    ASSERT_EQ(f.Logic.Proj().BlockCount(), 1);
    const Block& block = f.Logic.Proj().Blocks[0];
    const std::vector<int16_t> placed
        = LeftChannel(f.Logic.Proj().WaveFiles[static_cast<size_t>(block.WaveNo)].FileName);
    ASSERT_EQ(placed.size(), 1000u);
    EXPECT_EQ(placed[20], 0);
    EXPECT_NE(placed[60], 0);
}

} // namespace tarvok
