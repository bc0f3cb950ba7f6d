#pragma once

#include <QApplication>
#include <QString>
#include <QWidget>

#include <cstdlib>

namespace tarvok::test {

/// The one QApplication the widget tests share; made on first use unless a test main made
/// one already.
inline void EnsureApp()
{
    if (QApplication::instance())
        return;
    // Widget tests paint offscreen unless the caller asked for a real display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = { name, nullptr };
    // Never destroyed: tearing Qt down from the exit handlers, after its own globals are
    // gone, crashes; the process ends right after the tests anyway.
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
}

/// Saves a picture of pWidget as pName.png in the folder named by TARVOK_SHOT_DIR, when that
/// is set, for looking at a window by eye; does nothing otherwise. False only when a set
/// folder could not be written.
inline bool SaveShot(QWidget& pWidget, const QString& pName)
{
    const char* folder = std::getenv("TARVOK_SHOT_DIR");
    if (!folder || !*folder)
        return true;
    pWidget.adjustSize();
    return pWidget.grab().save(QString::fromLocal8Bit(folder) + "/" + pName + ".png");
}

} // namespace tarvok::test
