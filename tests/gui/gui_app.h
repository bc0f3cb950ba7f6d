#pragma once

#include <QApplication>
#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace tarvok::test {

/// The one QApplication the widget tests share, on the offscreen platform unless
/// QT_QPA_PLATFORM names another. It is made before the first test and destroyed after the
/// last one, inside main, so that Qt frees its caches before the leak check at exit; a test
/// main that made its own application keeps it.
class GuiAppEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        if (QApplication::instance())
            return;
        // Widget tests never need a display; a test run from a desktop session stays off it.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[10] = "gui_tests";
    char* argv_[2] = { name_, nullptr };
    std::unique_ptr<QApplication> app_;
};

inline testing::Environment* const kGuiAppEnvironment
    = testing::AddGlobalTestEnvironment(new GuiAppEnvironment);

/// Makes sure the shared application exists (tests call it first).
inline void EnsureApp() { ASSERT_NE(QApplication::instance(), nullptr); }

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
