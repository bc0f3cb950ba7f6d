#include "window_fixture.h"

#include "app/commands/command_dispatch.h"
#include "app/commands/command_table.h"
#include "app/shell/main_logic.h"
#include "core/command_ids.h"
#include "gui/bottom_row.h"
#include "gui/controls/uc_file_hand.h"
#include "gui/main_menus.h"
#include "gui/master_meters.h"
#include "gui/qt_ui.h"
#include "gui/track_area.h"
#include "gui/track_strip.h"

#include <QAction>
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

namespace tarvok::test {

namespace {

/// The message area's text.
QString Message(WindowFixture& f) { return f.Window->Bottom().Message(); }

/// A window holding a 2-second tone on track 0 from frame 0, imported by a drop.
struct ToneWindow : WindowFixture {
    ToneWindow() { Drop(ToneFile("tone.wav", 2.0), QPoint(0, LowerHalfY(0))); }
};

} // namespace

TEST(FrmMain, MenusCarryTheHeadingsAndEveryCommandCaption)
{
    WindowFixture f;
    QStringList headings;
    for (QAction* a : f.Window->menuBar()->actions())
        headings << a->text();
    const QStringList expected = { "ファイル(&F)", "編集(&E)", "再生", "マーク/ヘッド移動",
        "ブロック", "トラック", "フェード", "エフェクト", "ステレオエフェクト", "表示トラック(&T)",
        "設定(&C)", "ヘルプ(&H)" };
    EXPECT_EQ(headings, expected);
    // Every command but 14..37 has a menu item captioned with its description.
    for (int32_t c = 1; c < kCommandCount; ++c) {
        SCOPED_TRACE(c);
        QAction* a = f.Window->Menus().Command(c);
        if (c >= kCmdScrubPlus && c <= kCmdMoveHome) {
            EXPECT_EQ(a, nullptr);
            continue;
        }
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->text().toStdString(), std::string(GetCommandText(c, kCommandDescription)));
    }
}

TEST(FrmMain, DroppedFileIsImportedAtTheDropPoint)
{
    WindowFixture f;
    const std::string path = f.ToneFile("drop.wav", 1.0);
    const int x = 100;
    const int64_t frame = f.Window->View().FrameOfX(x);
    f.Drop(path, QPoint(x, f.LowerHalfY(2)));
    ASSERT_EQ(f.Proj().BlockCount(), 1);
    const Block& b = f.Proj().Blocks[0];
    EXPECT_EQ(b.TrackNo, 2);
    EXPECT_EQ(b.StartAdr, frame);
    EXPECT_EQ(b.EndAdr - b.StartAdr + 1, 44100);
    EXPECT_EQ(f.Proj().CurrentTrack, 2);
    // The block is painted from its peaks: the lane shows the waveform colour.
    QImage image(f.Window->Tracks().size(), QImage::Format_RGB32);
    QPainter painter(&image);
    f.Window->Tracks().PaintAll(painter);
    painter.end();
    const MainView& v = f.Window->View();
    const int xb = v.XOfFrame(b.StartAdr) + 5;
    const int centre = v.LaneTop(2) + v.HalfHeight / 2;
    EXPECT_EQ(image.pixelColor(xb, centre), QColor(18, 74, 204));
}

TEST(FrmMain, DraggingABlockMovesItAndUndoBringsItBack)
{
    ToneWindow f;
    ASSERT_EQ(f.Proj().BlockCount(), 1);
    const int32_t before = f.Proj().Blocks[0].StartAdr;
    const MainView& v = f.Window->View();
    const int x0 = v.XOfFrame(f.Proj().Blocks[0].StartAdr) + 20;
    f.DragOnTracks(QPoint(x0, f.LowerHalfY(0)), QPoint(x0 + 40, f.LowerHalfY(1)));
    const Block& b = f.Proj().Blocks[0];
    EXPECT_EQ(b.TrackNo, 1);
    EXPECT_EQ(b.StartAdr - before, 40 * v.Fpp());
    EXPECT_FALSE(f.Proj().Saved);
    EXPECT_TRUE(f.Window->Menus().Command(kCmdUndo)->isEnabled());
    f.Window->Menus().Command(kCmdUndo)->trigger();
    f.Settle();
    ASSERT_EQ(f.Proj().BlockCount(), 1);
    EXPECT_EQ(f.Proj().Blocks[0].StartAdr, before);
    EXPECT_EQ(f.Proj().Blocks[0].TrackNo, 0);
}

TEST(FrmMain, DraggingNearTheEndEdgeTrimsTheBlock)
{
    ToneWindow f;
    const MainView& v = f.Window->View();
    const Block b = f.Proj().Blocks[0];
    const int xe = v.XOfFrame(b.EndAdr);
    f.DragOnTracks(QPoint(xe, f.LowerHalfY(0)), QPoint(xe - 10, f.LowerHalfY(0)));
    EXPECT_EQ(f.Proj().Blocks[0].StartAdr, b.StartAdr);
    EXPECT_LT(f.Proj().Blocks[0].EndAdr, b.EndAdr);
    EXPECT_TRUE(Message(f).startsWith("ブロック終了")) << Message(f).toStdString();
}

TEST(FrmMain, DraggingInTheUpperHalfSelectsARange)
{
    ToneWindow f;
    const MainView& v = f.Window->View();
    f.DragOnTracks(QPoint(30, f.UpperHalfY(0)), QPoint(130, f.UpperHalfY(0)));
    EXPECT_EQ(f.Proj().MarkIn, v.FrameOfX(30));
    EXPECT_EQ(f.Proj().MarkOut, v.FrameOfX(130));
    EXPECT_FALSE(f.Window->Bottom().Info(4).isEmpty());
    // Dragging left of the press point gives an empty selection at the pointer.
    f.DragOnTracks(QPoint(130, f.UpperHalfY(0)), QPoint(60, f.UpperHalfY(0)));
    EXPECT_EQ(f.Proj().MarkIn, f.Proj().MarkOut);
    EXPECT_EQ(f.Proj().MarkIn, v.FrameOfX(60));
}

TEST(FrmMain, KeysFollowTheDecisionTable)
{
    ToneWindow f;
    f.Proj().CurrentTrack = 0;
    f.Key(Qt::Key_Down);
    EXPECT_EQ(f.Proj().CurrentTrack, 1);
    f.Key(Qt::Key_Up);
    EXPECT_EQ(f.Proj().CurrentTrack, 0);
    const int32_t zoom = f.Proj().Zoom;
    f.Key(Qt::Key_Plus, Qt::NoModifier, "+");
    EXPECT_EQ(f.Proj().Zoom, std::max(1, zoom / 2));
    EXPECT_TRUE(Message(f).endsWith("秒表示")) << Message(f).toStdString();
    f.Key(Qt::Key_Minus, Qt::NoModifier, "-");
    EXPECT_EQ(f.Proj().Zoom, zoom);
    f.Key(Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_EQ(f.Proj().LevelZoomDB, 3);
    EXPECT_EQ(Message(f), "3db");
    f.Window->View().SetViewTrackCount(3);
    const int32_t shown = f.Proj().ViewTrackCount;
    f.Key(Qt::Key_Minus, Qt::ShiftModifier);
    EXPECT_EQ(f.Proj().ViewTrackCount, shown + 1);
    f.Key(Qt::Key_Plus, Qt::ShiftModifier);
    EXPECT_EQ(f.Proj().ViewTrackCount, shown);
    // Ctrl+Left runs nothing; a key press alone runs nothing until its release.
    const int32_t viewStart = f.Proj().ViewStart;
    f.Key(Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(f.Proj().ViewStart, viewStart);
}

TEST(FrmMain, FunctionKeysRunTheirBindings)
{
    ToneWindow f;
    // F1 and F2: marks at the last click position.
    f.DragOnTracks(QPoint(200, f.LowerHalfY(3)), QPoint(200, f.LowerHalfY(3)));
    f.Key(Qt::Key_F2);
    EXPECT_EQ(f.Proj().MarkOut, f.Window->View().FrameOfX(200));
    f.DragOnTracks(QPoint(50, f.LowerHalfY(3)), QPoint(50, f.LowerHalfY(3)));
    f.Key(Qt::Key_F1);
    EXPECT_EQ(f.Proj().MarkIn, f.Window->View().FrameOfX(50));
}

TEST(FrmMain, SpaceWithAClickSetsAMarkAndRunsNothingOnRelease)
{
    ToneWindow f;
    QWidget* area = &f.Window->Tracks();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
    QApplication::sendEvent(area, &press);
    const QPoint at(150, f.LowerHalfY(0));
    QMouseEvent down(QEvent::MouseButtonPress, QPointF(at), area->mapToGlobal(QPointF(at)),
        Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(area, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, QPointF(at), area->mapToGlobal(QPointF(at)),
        Qt::RightButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(area, &up);
    f.Settle();
    EXPECT_EQ(f.Proj().MarkOut, f.Window->View().FrameOfX(150));
    EXPECT_FALSE(f.Window->Menus().EditMenu()->isVisible()) << "no pop-up while Space is held";
    const QString before = Message(f);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ");
    QApplication::sendEvent(area, &release);
    f.Settle();
    EXPECT_EQ(Message(f), before) << "the Space release was used up by the click";
}

TEST(FrmMain, RightClickOpensTheEditMenu)
{
    ToneWindow f;
    QWidget* area = &f.Window->Tracks();
    const QPoint at(40, f.LowerHalfY(0));
    QMouseEvent down(QEvent::MouseButtonPress, QPointF(at), area->mapToGlobal(QPointF(at)),
        Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(area, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, QPointF(at), area->mapToGlobal(QPointF(at)),
        Qt::RightButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(area, &up);
    f.Settle();
    QMenu* edit = f.Window->Menus().EditMenu();
    EXPECT_TRUE(edit->isVisible());
    edit->hide();
    EXPECT_EQ(f.Proj().SelectedBlock, 0);
    EXPECT_TRUE(f.Window->Menus().Command(kCmdBlockDelete)->isEnabled());
}

TEST(FrmMain, MenuEditCutsTheSelectionAndUndoRestoresIt)
{
    ToneWindow f;
    f.Window->Menus().Command(kCmdSelall)->trigger();
    f.Settle();
    EXPECT_EQ(f.Proj().MarkOut - f.Proj().MarkIn, f.Proj().ProjectLength);
    f.Window->Menus().Command(kCmdDelete)->trigger();
    f.Settle();
    EXPECT_EQ(f.Proj().BlockCount(), 0);
    EXPECT_EQ(Message(f), "処理終了");
    EXPECT_EQ(f.Window->Bottom().Info(0), "000'00.000");
    f.Key(Qt::Key_Home);
    f.Window->Menus().Command(kCmdUndo)->trigger();
    f.Settle();
    EXPECT_EQ(f.Proj().BlockCount(), 1);
    EXPECT_EQ(f.Window->Bottom().Info(0), "000'02.000");
}

TEST(FrmMain, ViewCommandsThatWereMissingNowWork)
{
    ToneWindow f;
    f.Window->Run(kCmdZoomMinus);
    EXPECT_TRUE(Message(f).endsWith("秒表示"));
    f.Window->Run(kCmdZoomlMinus);
    EXPECT_EQ(f.Proj().LevelZoomDB, -3);
    f.Window->Run(kCmdTrackDown);
    EXPECT_EQ(f.Proj().CurrentTrack, 1);
    // The mixdown window comes from the window registry; without it the command says so.
    for (int32_t c : { kCmdZoomPlus, kCmdZoomvPlus, kCmdZoomvMinus, kCmdZoomlPlus, kCmdTrackUp })
        EXPECT_NE(Message(f).toStdString(), tarvok::NotAvailableMessage(c));
}

TEST(FrmMain, TrackSelectionWithShiftAndCtrl)
{
    ToneWindow f;
    f.DragOnTracks(QPoint(600, f.LowerHalfY(1)), QPoint(600, f.LowerHalfY(1)));
    f.DragOnTracks(QPoint(600, f.LowerHalfY(3)), QPoint(600, f.LowerHalfY(3)), Qt::ShiftModifier);
    for (int32_t t = 0; t <= f.Proj().LastTrackNo; ++t)
        EXPECT_EQ(f.Proj().Tracks[t].Selected, t >= 1 && t <= 3 ? 1 : 0) << t;
    f.DragOnTracks(QPoint(600, f.LowerHalfY(5)), QPoint(600, f.LowerHalfY(5)), Qt::ControlModifier);
    EXPECT_EQ(f.Proj().Tracks[5].Selected, 1);
    EXPECT_EQ(f.Proj().Tracks[2].Selected, 1);
    EXPECT_EQ(f.Proj().CurrentTrack, 5);
}

TEST(FrmMain, InformationBarShowsLengthAndMarks)
{
    ToneWindow f;
    EXPECT_EQ(f.Window->Bottom().Info(0), "000'02.000");
    f.Proj().MarkIn = 44100 / 2;
    f.Proj().MarkOut = 44100;
    f.Window->UpdateInfo();
    EXPECT_EQ(f.Window->Bottom().Info(2), "000'00.500");
    EXPECT_EQ(f.Window->Bottom().Info(3), "000'01.000");
    EXPECT_EQ(f.Window->Bottom().Info(4), "000'00.500");
    EXPECT_TRUE(f.Window->Bottom().CounterText().contains("STOP"));
}

TEST(FrmMain, ClosingAsksFirstAndStaysOpenOnNo)
{
    ToneWindow f;
    f.Asked.clear();
    f.Answers = { "cancel" };
    EXPECT_FALSE(f.Window->close());
    ASSERT_EQ(f.Asked.size(), 1);
    EXPECT_TRUE(f.Window->isVisible());
}

TEST(FrmMain, ToolbarFollowsTheBindingsAndRunsItsCommand)
{
    WindowFixture f;
    f.Window->Menus().ToolbarAction()->trigger();
    f.Settle();
    QToolBar* bar = f.Window->ToolBar();
    EXPECT_TRUE(bar->isVisible());
    const QList<QAction*> buttons = bar->actions();
    ASSERT_EQ(buttons.size(), kDefaultToolbarCount);
    EXPECT_EQ(f.Logic().Store().GetSetting("ShowToolBar", int32_t { 0 }), 1);
}

} // namespace tarvok::test

namespace tarvok::test {

TEST(FrmMain, TheMixerButtonSaysSoWhenNoMixerIsInstalled)
{
    WindowFixture f;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    auto* mix = f.Window->findChild<QToolButton*>(QStringLiteral("DispCtrl3"));
    ASSERT_NE(mix, nullptr);
    EXPECT_TRUE(mix->toolTip().contains(QStringLiteral("ミキサー")));
    QTest::mouseClick(mix, Qt::LeftButton);
    qputenv("PATH", path);
    EXPECT_TRUE(Message(f).contains(QStringLiteral("音量ミキサーが見つかりません")))
        << Message(f).toStdString();
}

} // namespace tarvok::test

#include "app/transport/transport.h"

namespace tarvok::test {

TEST(FrmMain, AKeyReleaseWhosePressWentToAPopUpRunsNothing)
{
    WindowFixture f(SoundDevices::Virtual);
    f.Drop(f.ToneFile("tone.wav", 2.0), QPoint(0, f.LowerHalfY(0)));
    Transport& transport = *f.Session->Context.Transport;
    ASSERT_TRUE(transport.Play());
    ASSERT_EQ(transport.State(), Motion::Rolling);
    // Esc pressed in a pop-up menu closes it; only its release reaches the window.
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&f.Window->Tracks(), &release);
    WindowFixture::Settle();
    EXPECT_EQ(transport.State(), Motion::Rolling);
    f.Key(Qt::Key_Escape);
    EXPECT_EQ(transport.State(), Motion::Stopped);
}

} // namespace tarvok::test

#include <QScreen>

namespace tarvok::test {

namespace {

/// Records the rectangles the track area is asked to paint.
struct PaintLog : QObject {
    std::vector<QRect> Rects;
    bool eventFilter(QObject*, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::Paint)
            Rects.push_back(static_cast<QPaintEvent*>(pEvent)->rect());
        return false;
    }
};

} // namespace

TEST(FrmMain, WhileOnlyTheHeadMovesOnlyItsColumnsAreDrawnAndThePictureStaysRight)
{
    WindowFixture f;
    f.Drop(f.ToneFile("tone.wav", 2.0), QPoint(0, f.LowerHalfY(0)));
    TrackArea& tracks = f.Window->Tracks();
    WindowFixture::Settle();
    PaintLog log;
    tracks.installEventFilter(&log);
    for (int step = 1; step <= 5; ++step) {
        f.Proj().Head = step * 8000;
        tracks.HeadMoved(false);
        WindowFixture::Settle();
    }
    tracks.removeEventFilter(&log);
    ASSERT_FALSE(log.Rects.empty());
    for (const QRect& r : log.Rects)
        EXPECT_LT(r.width(), tracks.width() / 2) << "a head step drew the whole surface";
    // What is on the screen equals a fresh drawing of the whole surface.
    const QPoint origin = tracks.mapTo(f.Window.get(), QPoint(0, 0));
    const QImage shown = f.Window->screen()
                             ->grabWindow(f.Window->winId(), origin.x(), origin.y(), tracks.width(),
                                 tracks.height())
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    const QImage fresh = tracks.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), fresh.size());
    EXPECT_TRUE(shown == fresh);
}

} // namespace tarvok::test

namespace tarvok::test {

TEST(FrmMain, InformationFieldsNeverOverlapFromTheMinimumSizeUp)
{
    WindowFixture f;
    struct Case {
        QSize Size;
        bool Needles; // the master needle meters take room from the row
    };
    const Case cases[] = { { QSize(922, 695), false }, { QSize(922, 695), true },
        { QSize(1200, 800), true }, { QSize(1920, 1000), false } };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Size.width() << " needles " << c.Needles);
        f.Logic().Options().ShowMasterMeter = c.Needles ? 1 : 0;
        f.Window->Meters().ApplyOptions(f.Logic().Options());
        f.Window->resize(c.Size);
        WindowFixture::Settle();
        // Each field and its caption, in window coordinates.
        std::vector<QLabel*> fields;
        std::vector<QRect> boxes;
        for (int i = 0; i < 5; ++i) {
            for (const QString& name :
                { QStringLiteral("PictureInfo%1"), QStringLiteral("InfoCaption%1") }) {
                auto* label = f.Window->findChild<QLabel*>(name.arg(i));
                ASSERT_NE(label, nullptr) << name.arg(i).toStdString();
                EXPECT_TRUE(label->isVisible());
                fields.push_back(label);
                boxes.emplace_back(label->mapTo(f.Window.get(), QPoint(0, 0)), label->size());
            }
        }
        const QRect bottom(
            f.Window->Bottom().mapTo(f.Window.get(), QPoint(0, 0)), f.Window->Bottom().size());
        for (size_t i = 0; i < fields.size(); ++i) {
            const QLabel& field = *fields[i];
            const QString text = i % 2 == 0 ? QStringLiteral("000'00.000") : field.text();
            EXPECT_GE(field.contentsRect().width(), field.fontMetrics().horizontalAdvance(text))
                << field.objectName().toStdString();
            EXPECT_TRUE(bottom.contains(boxes[i])) << field.objectName().toStdString();
            for (size_t j = i + 1; j < fields.size(); ++j)
                EXPECT_FALSE(boxes[i].intersects(boxes[j])) << i << " " << j;
        }
    }
}

} // namespace tarvok::test

namespace tarvok::test {

TEST(FrmMain, CtrlZUndoesAndMenusShowTheirKeys)
{
    WindowFixture f;
    f.Drop(f.ToneFile("tone.wav", 2.0), QPoint(0, f.LowerHalfY(0)));
    ASSERT_EQ(f.Proj().BlockCount(), 1);
    f.Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(f.Proj().BlockCount(), 0) << "Ctrl+Z undoes the import";
    f.Key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(f.Proj().BlockCount(), 1) << "Ctrl+Y redoes it";
    f.Key(Qt::Key_Z);
    EXPECT_EQ(f.Proj().BlockCount(), 1) << "Z alone runs nothing";
    const std::pair<int32_t, const char*> shown[]
        = { { kCmdUndo, "Ctrl+Z" }, { kCmdPaste, "Ctrl+V" } };
    for (const auto& [command, key] : shown) {
        QAction* item = f.Window->Menus().Command(command);
        ASSERT_NE(item, nullptr) << key;
        EXPECT_EQ(item->shortcut(), QKeySequence(QString::fromLatin1(key)));
    }
}

} // namespace tarvok::test

namespace tarvok::test {

namespace {

/// Closes the fixture's window and opens a new one over the same session with "SizeRate"
/// pRate, at pSize.
void ReopenWithSizeRate(WindowFixture& pFixture, const std::string& pRate, QSize pSize)
{
    pFixture.Window.reset();
    pFixture.Logic().Options().SizeRate = pRate;
    pFixture.Window = std::make_unique<FrmMain>(pFixture.Session->Context, pFixture.Session->Ui);
    pFixture.Window->Start("", false, false);
    pFixture.Window->resize(pSize);
    WindowFixture::Settle();
}

} // namespace

TEST(FrmMain, ProgressShowsABarAndACancelButtonInBothArrangementsOfTheFields)
{
    WindowFixture f;
    for (const QSize size : { QSize(922, 695), QSize(1920, 1000) }) {
        SCOPED_TRACE(size.width());
        f.Window->resize(size);
        WindowFixture::Settle();
        BottomRow& row = f.Window->Bottom();
        f.Logic().CancelRequest = false;
        f.Logic().ShowMessage("ファイルコピー中… 42%");
        EXPECT_TRUE(row.ProgressBar()->isVisible());
        EXPECT_EQ(row.ProgressBar()->value(), 42);
        ASSERT_TRUE(row.CancelButton()->isVisible());
        QTest::mouseClick(row.CancelButton(), Qt::LeftButton);
        EXPECT_TRUE(f.Logic().CancelRequest);
        // The window's file-copy control offers its own Cancel over the window.
        UC_FileHand& copy = *f.Window->FileHand();
        ASSERT_TRUE(copy.isVisible());
        EXPECT_DOUBLE_EQ(copy.Fraction(), 0.42);
        f.Logic().CancelRequest = false;
        QTest::mouseClick(copy.CancelButton(), Qt::LeftButton);
        EXPECT_TRUE(f.Logic().CancelRequest);
        f.Logic().ShowMessage("処理終了");
        EXPECT_FALSE(row.ProgressBar()->isVisible());
        EXPECT_FALSE(row.CancelButton()->isVisible());
        EXPECT_FALSE(copy.isVisible());
    }
}

TEST(FrmMain, AnImportCopyIsShownWithItsProgress)
{
    WindowFixture f;
    std::vector<QString> shown;
    const QMetaObject::Connection watch = QObject::connect(&f.Session->Ui,
        &QtUserInterface::MessageShown, [&shown, &f](const QString& pText, int pPercent) {
            if (pPercent >= 0 && pPercent < 100) {
                EXPECT_TRUE(f.Window->Bottom().CancelButton()->isVisibleTo(f.Window.get()));
                EXPECT_TRUE(f.Window->FileHand()->isVisibleTo(f.Window.get()));
                EXPECT_EQ(f.Window->FileHand()->Message(), pText);
            }
            shown.push_back(pText);
        });
    f.Drop(f.ToneFile("tone.wav", 2.0), QPoint(0, f.LowerHalfY(0)));
    ASSERT_EQ(f.Proj().BlockCount(), 1);
    EXPECT_NE(
        std::find(shown.begin(), shown.end(), QStringLiteral("ファイルコピー中… 0%")), shown.end());
    EXPECT_NE(std::find(shown.begin(), shown.end(), QStringLiteral("ファイルコピー中… 100%")),
        shown.end());
    EXPECT_FALSE(f.Window->Bottom().CancelButton()->isVisible());
    EXPECT_FALSE(f.Window->FileHand()->isVisible());
    QObject::disconnect(watch);
}

TEST(FrmMain, EditMenuNamesTheUndoStepsAndItsHistoryTakesThemBack)
{
    ToneWindow f;
    QAction* undo = f.Window->Menus().Command(kCmdUndo);
    QAction* redo = f.Window->Menus().Command(kCmdRedo);
    f.Window->Menus().Command(kCmdSelall)->trigger();
    f.Window->Menus().Command(kCmdDelete)->trigger();
    f.Settle();
    ASSERT_EQ(f.Proj().BlockCount(), 0);
    EXPECT_EQ(undo->text(), QStringLiteral("元に戻す: 削除"));
    EXPECT_EQ(redo->text(), QStringLiteral("やり直し"));
    QMenu* history = f.Window->Menus().HistoryMenu();
    ASSERT_TRUE(history->isEnabled());
    ASSERT_GE(history->actions().size(), 2);
    EXPECT_EQ(history->actions()[0]->text(), QStringLiteral("削除"));
    undo->trigger();
    f.Settle();
    EXPECT_EQ(f.Proj().BlockCount(), 1);
    EXPECT_EQ(Message(f), QStringLiteral("元に戻す: 削除"));
    EXPECT_EQ(redo->text(), QStringLiteral("やり直し: 削除"));
    // Choosing the oldest step of the history takes back every step up to it.
    const qsizetype steps = history->actions().size();
    history->actions().back()->trigger();
    f.Settle();
    EXPECT_EQ(f.Proj().BlockCount(), 0) << steps << " steps back undo the import too";
    EXPECT_FALSE(history->isEnabled());
    EXPECT_EQ(undo->text(), QStringLiteral("元に戻す"));
}

TEST(FrmMain, SizeRateScalesTheControlsTheStripAndTheFonts)
{
    WindowFixture f;
    auto measure = [&f] {
        BottomRow& row = f.Window->Bottom();
        return std::array<int, 5> { row.TransportButton(0)->height(), row.height(),
            f.Window->Strip().NumberButton(0)->width(), QFontInfo(f.Window->font()).pixelSize(),
            f.Window->findChild<QWidget*>(QStringLiteral("MasterFader"))->width() };
    };
    ReopenWithSizeRate(f, "1.0", QSize(1200, 800));
    const std::array<int, 5> one = measure();
    EXPECT_EQ(f.Window->SizeRate(), 1.0);
    ReopenWithSizeRate(f, "2.0", QSize(1600, 1000));
    const std::array<int, 5> two = measure();
    EXPECT_EQ(f.Window->SizeRate(), 2.0);
    for (size_t i = 0; i < one.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_GE(two[i], one[i] * 17 / 10);
        EXPECT_LE(two[i], one[i] * 23 / 10 + 2);
    }
    // Out-of-range and unreadable factors are held to 0.7..3.0 and 1.
    const std::pair<const char*, double> held[] = { { "9", 3.0 }, { "0.1", 0.7 }, { "x", 1.0 } };
    for (const auto& [text, rate] : held) {
        ReopenWithSizeRate(f, text, QSize(1200, 800));
        EXPECT_EQ(f.Window->SizeRate(), rate) << text;
    }
}

TEST(FrmMain, SixtyFourTracksKeepReadableLanesAndScroll)
{
    WindowFixture f;
    f.Proj().SetTrackCount(64);
    f.Proj().ViewTrackCount = 63;
    f.Window->resize(922, 695);
    f.Window->DrawAll();
    WindowFixture::Settle();
    const MainView& v = f.Window->View();
    EXPECT_GE(v.TrackHeight, kMinReadableLaneHeight);
    EXPECT_TRUE(f.Window->VerticalBar()->isVisible());
    EXPECT_EQ(v.SurfaceHeight, f.Window->Tracks().height());
}

} // namespace tarvok::test
