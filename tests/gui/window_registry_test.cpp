#include "gui/dialogs/window_registry.h"

#include "app/transport/transport.h"
#include "core/command_ids.h"
#include "engine/engine_clock.h"
#include "engine/playback_engine.h"
#include "engine/recording_engine.h"
#include "engine/virtual_wave_device.h"
#include "fx/fx_table.h"
#include "gui/gui_context.h"
#include "gui_app.h"
#include "support/logic_fixture.h"

#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace tarvok {

TEST(WindowRegistry, EveryNamedWindowIsMadeAndDrawn)
{
    test::EnsureApp();
    test::LogicFixture f;
    ASSERT_GE(f.AddBlock("a.wav", 0, 0, 1000), 0);
    // The sample editor opens on a selection of the current track.
    f.Logic.Proj().CurrentTrack = 0;
    f.Logic.Proj().MarkIn = 100;
    f.Logic.Proj().MarkOut = 900;
    GuiContext context { f.Logic };
    const QStringList names = NamedWindows();
    for (const char* expected : { "FrmMixDown", "FrmConf", "FrmRename", "FrmSetLevel",
             "FrmTimeInput", "FrmVer", "FrmMon", "FrmSampleEdit", "FrmRip" })
        EXPECT_TRUE(names.contains(QLatin1String(expected))) << expected;
    // The recording monitor needs a recording engine: none without devices, virtual ones here.
    EXPECT_EQ(CreateNamedWindow(QStringLiteral("FrmMon"), context, nullptr), nullptr);
    VirtualWaveOut out;
    VirtualWaveIn in;
    SystemEngineClock clock;
    PlaybackEngine engine(out, f.Logic.Proj(), f.Logic.Ui(), f.Logic.Options(), clock);
    engine.ComputeDeviceSlots();
    RecordingEngine recorder(
        in, engine, f.Logic.Proj(), f.Logic.Ui(), f.Logic.Options(), f.Logic.Folder());
    Transport transport(f.Logic, engine);
    transport.AttachRecorder(recorder);
    context.Engine = &engine;
    context.Transport = &transport;
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
    f.Logic.Recorder = nullptr;
    f.Logic.TransportHandler = nullptr;
}

TEST(WindowRegistry, NamesAreListedOnce)
{
    const QStringList names = NamedWindows();
    const std::set<QString> unique(names.begin(), names.end());
    EXPECT_EQ(unique.size(), static_cast<size_t>(names.size()));
}

TEST(WindowRegistry, AnEffectWithADialogIsMadeByItsNumber)
{
    test::EnsureApp();
    test::LogicFixture f;
    GuiContext context { f.Logic };
    std::unique_ptr<QWidget> window(
        CreateNamedWindow(QStringLiteral("FrmFX-%1").arg(kCmdFxReverb), context, nullptr));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->objectName(), QStringLiteral("FrmFX"));
    EXPECT_FALSE(window->windowTitle().isEmpty());

    int32_t withoutDialog = -1;
    for (const FxInfo& fx : AllEffects())
        if (!fx.HasDialog) {
            withoutDialog = fx.Id;
            break;
        }
    ASSERT_GE(withoutDialog, 0);
    for (const QString& name :
        { QStringLiteral("FrmFX-%1").arg(withoutDialog), QStringLiteral("FrmFX-"),
            QStringLiteral("FrmFX-x"), QStringLiteral("FrmFX-999999") }) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(CreateNamedWindow(name, context, nullptr), nullptr);
    }
}

} // namespace tarvok
