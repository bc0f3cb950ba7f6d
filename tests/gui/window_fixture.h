#pragma once

#include "gui/frm_main.h"
#include "gui/gui_session.h"
#include "support/temp_dir.h"

#include <QPoint>
#include <QString>
#include <QStringList>

#include <deque>
#include <memory>
#include <string>

namespace tarvok::test {

/// A main window over a fresh home folder, without sound devices (or with the virtual-clock
/// pair, which moves only when a test advances it), shown offscreen at 1200 x 800.
/// Questions are answered from Answers (an empty queue declines) and recorded.
struct WindowFixture {
    ScopedHome Home;
    std::unique_ptr<GuiSession> Session;
    std::unique_ptr<FrmMain> Window;
    std::deque<QString> Answers;
    QStringList Asked;

    explicit WindowFixture(SoundDevices pDevices = SoundDevices::None);
    ~WindowFixture();

    MainLogic& Logic() { return Session->Logic; }
    Project& Proj() { return Session->Logic.Proj(); }
    /// Lets queued events, timers of 0 ms and redraw requests run.
    static void Settle();
    /// Writes a 16-bit stereo tone of pSeconds at 44.1 kHz into the temporary folder.
    std::string ToneFile(const std::string& pName, double pSeconds);
    /// Drops pPath onto the track area at pPos (track-area pixels).
    void Drop(const std::string& pPath, QPoint pPos);
    /// Presses, moves (in steps) and releases the left button on the track area.
    void DragOnTracks(QPoint pFrom, QPoint pTo, Qt::KeyboardModifiers pMods = Qt::NoModifier);
    /// Presses and releases a key in the track area.
    void Key(int pKey, Qt::KeyboardModifiers pMods = Qt::NoModifier, const QString& pText = {});
    /// The y of the middle of track t's lower half.
    int LowerHalfY(int32_t pTrack);
    int UpperHalfY(int32_t pTrack);
};

} // namespace tarvok::test
