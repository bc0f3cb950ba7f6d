#include "gui/dialogs/window_registry.h"

#include "gui/gui_context.h"
#include "gui_app.h"
#include "support/logic_fixture.h"

#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace tarvok {

TEST(WindowRegistry, EveryNamedWindowIsMadeAndDrawn)
{
    test::EnsureApp();
    test::LogicFixture f;
    ASSERT_GE(f.AddBlock("a.wav", 0, 0, 1000), 0);
    GuiContext context { f.Logic };
    const QStringList names = NamedWindows();
    for (const char* expected :
        { "FrmMixDown", "FrmConf", "FrmRename", "FrmRip", "FrmSetLevel", "FrmTimeInput", "FrmVer" })
        EXPECT_TRUE(names.contains(QLatin1String(expected))) << expected;
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        std::unique_ptr<QWidget> window(CreateNamedWindow(name, context, nullptr));
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->objectName(), name);
        EXPECT_FALSE(window->windowTitle().isEmpty());
        window->show();
        const QImage picture = window->grab().toImage();
        EXPECT_GT(picture.width(), 100);
        EXPECT_GT(picture.height(), 50);
        ASSERT_TRUE(test::SaveShot(*window, name));
        window->close();
    }
    EXPECT_EQ(CreateNamedWindow(QStringLiteral("NoSuchWindow"), context, nullptr), nullptr);
}

} // namespace tarvok
