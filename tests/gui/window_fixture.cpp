#include "window_fixture.h"

#include "gui/track_area.h"
#include "support/wav_fixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

#include <gtest/gtest.h>

#include <cmath>

namespace tarvok::test {

WindowFixture::WindowFixture(SoundDevices pDevices)
{
    Session = std::make_unique<GuiSession>(pDevices);
    Session->Ui.AnswerHook = [this](const QString& pText) -> std::optional<QString> {
        Asked << pText;
        if (Answers.empty())
            return QString();
        QString a = Answers.front();
        Answers.pop_front();
        return a;
    };
    EXPECT_TRUE(Session->Startup(Home.Dir().File("datafolder")));
    Window = std::make_unique<FrmMain>(Session->Context, Session->Ui);
    Window->Start("", false, false);
    Window->resize(1200, 800);
    Settle();
}

WindowFixture::~WindowFixture()
{
    Window.reset();
    Session.reset();
}

void WindowFixture::Settle()
{
    for (int i = 0; i < 4; ++i)
        QApplication::processEvents();
}

std::string WindowFixture::ToneFile(const std::string& pName, double pSeconds)
{
    WavSpec spec;
    const int frames = static_cast<int>(pSeconds * 44100);
    spec.Samples.resize(static_cast<size_t>(frames) * 4);
    for (int f = 0; f < frames; ++f) {
        const auto v = static_cast<int16_t>(12000 * std::sin(2 * 3.14159265 * 440.0 * f / 44100));
        for (int ch = 0; ch < 2; ++ch) {
            spec.Samples[4 * f + 2 * ch] = static_cast<char>(v & 0xff);
            spec.Samples[4 * f + 2 * ch + 1] = static_cast<char>((v >> 8) & 0xff);
        }
    }
    const std::string path = Home.Dir().File(pName);
    EXPECT_TRUE(WriteWav(path, spec));
    return path;
}

void WindowFixture::Drop(const std::string& pPath, QPoint pPos)
{
    QMimeData data;
    data.setUrls({ QUrl::fromLocalFile(QString::fromStdString(pPath)) });
    QWidget* area = &Window->Tracks();
    QDragEnterEvent enter(pPos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &enter);
    QDropEvent drop(QPointF(pPos), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &drop);
    Settle();
}

void WindowFixture::DragOnTracks(QPoint pFrom, QPoint pTo, Qt::KeyboardModifiers pMods)
{
    QWidget* area = &Window->Tracks();
    auto send = [&](QEvent::Type pType, QPoint pPos, Qt::MouseButtons pButtons) {
        QMouseEvent e(pType, QPointF(pPos), area->mapToGlobal(QPointF(pPos)), Qt::LeftButton,
            pButtons, pMods);
        QApplication::sendEvent(area, &e);
    };
    send(QEvent::MouseButtonPress, pFrom, Qt::LeftButton);
    const int steps = 5;
    for (int i = 1; i <= steps; ++i)
        send(QEvent::MouseMove, pFrom + (pTo - pFrom) * i / steps, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, pTo, Qt::NoButton);
    Settle();
}

void WindowFixture::Key(int pKey, Qt::KeyboardModifiers pMods, const QString& pText)
{
    QWidget* area = &Window->Tracks();
    QKeyEvent press(QEvent::KeyPress, pKey, pMods, pText);
    QApplication::sendEvent(area, &press);
    QKeyEvent release(QEvent::KeyRelease, pKey, pMods, pText);
    QApplication::sendEvent(area, &release);
    Settle();
}

int WindowFixture::LowerHalfY(int32_t pTrack)
{
    MainView& v = Window->View();
    return v.LaneTop(pTrack) + v.TrackHeight * 3 / 4;
}

int WindowFixture::UpperHalfY(int32_t pTrack)
{
    MainView& v = Window->View();
    return v.LaneTop(pTrack) + v.TrackHeight / 4;
}

} // namespace tarvok::test
