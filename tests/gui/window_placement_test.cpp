#include "gui/dialogs/window_placement.h"

#include "core/settings.h"
#include "gui_app.h"

#include <QWidget>

#include <gtest/gtest.h>

namespace tarvok {
namespace {

TEST(WindowPlacement, WithoutAStoredPlaceAWindowOpensCentredOverItsOwner)
{
    test::EnsureApp();
    MemorySettingsBackend backend;
    Settings store(backend);
    QWidget owner;
    owner.setGeometry(200, 150, 900, 700);
    QWidget window(&owner, Qt::Window);
    window.resize(300, 200);
    RestoreWindowPlacement(window, store, QStringLiteral("Mix"), true);
    EXPECT_EQ(QRect(window.pos(), window.size()).center(), owner.frameGeometry().center());
}

TEST(WindowPlacement, ASavedPlaceIsRestoredExactlyAgainAndAgain)
{
    test::EnsureApp();
    MemorySettingsBackend backend;
    Settings store(backend);
    QWidget owner;
    owner.setGeometry(0, 0, 900, 700);
    const QPoint place(123, 87);
    {
        QWidget window(&owner, Qt::Window);
        window.move(place);
        window.resize(410, 320);
        SaveWindowPlacement(window, store, QStringLiteral("Draw"));
    }
    for (int start = 0; start < 10; ++start) {
        QWidget window(&owner, Qt::Window);
        window.resize(100, 100);
        RestoreWindowPlacement(window, store, QStringLiteral("Draw"), false);
        ASSERT_EQ(window.pos(), place) << "start " << start;
        ASSERT_EQ(window.size(), QSize(410, 320)) << "start " << start;
        SaveWindowPlacement(window, store, QStringLiteral("Draw"));
    }
}

} // namespace
} // namespace tarvok
