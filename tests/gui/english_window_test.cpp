// The window in English: every text a user reads (captions, titles, tooltips, menus, list
// and table items) of the main window and of every named window is free of Japanese.
#include "app/transport/transport.h"
#include "base/i18n.h"
#include "core/paths.h"
#include "engine/engine_clock.h"
#include "engine/playback_engine.h"
#include "engine/recording_engine.h"
#include "engine/virtual_wave_device.h"
#include "gui/dialogs/window_registry.h"
#include "gui/gui_context.h"
#include "gui_app.h"
#include "support/logic_fixture.h"
#include "window_fixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QTabWidget>
#include <QTableWidget>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace tarvok {
namespace {

bool HasJapanese(const QString& pText)
{
    for (const QChar c : pText) {
        const char16_t u = c.unicode();
        if ((u >= 0x3000 && u <= 0x30FF) || (u >= 0x3400 && u <= 0x9FFF)
            || (u >= 0xFF00 && u <= 0xFFEF))
            return true;
    }
    return false;
}

// Every text of pWindow and its children that a user reads; each as "where: text".
QStringList Texts(QWidget& pWindow)
{
    QStringList out;
    auto add = [&](const QObject* pWhere, const QString& pText) {
        // A language's own name is shown in that language in the language list.
        if (!pText.isEmpty() && pText != QStringLiteral("日本語"))
            out << pWhere->metaObject()->className() + QStringLiteral(" ") + pWhere->objectName()
                    + QStringLiteral(": ") + pText;
    };
    QList<QWidget*> widgets = pWindow.findChildren<QWidget*>();
    widgets.prepend(&pWindow);
    for (QWidget* w : widgets) {
        add(w, w->windowTitle());
        add(w, w->toolTip());
        add(w, w->accessibleName());
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            add(w, b->text());
        if (auto* l = qobject_cast<QLabel*>(w))
            add(w, l->text());
        if (auto* g = qobject_cast<QGroupBox*>(w))
            add(w, g->title());
        if (auto* c = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < c->count(); ++i)
                add(w, c->itemText(i));
        if (auto* t = qobject_cast<QTabWidget*>(w))
            for (int i = 0; i < t->count(); ++i)
                add(w, t->tabText(i));
        if (auto* l = qobject_cast<QListWidget*>(w))
            for (int i = 0; i < l->count(); ++i)
                add(w, l->item(i)->text());
        if (auto* t = qobject_cast<QTableWidget*>(w)) {
            for (int c = 0; c < t->columnCount(); ++c)
                if (QTableWidgetItem* h = t->horizontalHeaderItem(c))
                    add(w, h->text());
            for (int r = 0; r < t->rowCount(); ++r)
                for (int c = 0; c < t->columnCount(); ++c)
                    if (QTableWidgetItem* item = t->item(r, c))
                        add(w, item->text());
        }
        if (auto* m = qobject_cast<QMenu*>(w))
            add(w, m->title());
    }
    for (QAction* a : pWindow.findChildren<QAction*>()) {
        add(a, a->text());
        add(a, a->toolTip());
    }
    return out;
}

QStringList JapaneseIn(QWidget& pWindow, const QString& pName)
{
    QStringList found;
    for (const QString& text : Texts(pWindow))
        if (HasJapanese(text))
            found << pName + QStringLiteral(" / ") + text;
    return found;
}

class EnglishWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::EnsureApp();
        ASSERT_TRUE(SetLanguage(Language::English, EnglishCatalogueFile()))
            << "the English catalogue is not built: " << EnglishCatalogueFile();
    }
    void TearDown() override { SetLanguage(Language::Japanese); }
};

TEST_F(EnglishWindows, MainWindowShowsNoJapanese)
{
    test::WindowFixture f;
    const QStringList found = JapaneseIn(*f.Window, QStringLiteral("FrmMain"));
    EXPECT_TRUE(found.isEmpty()) << found.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(Texts(*f.Window).isEmpty());
}

TEST_F(EnglishWindows, EveryNamedWindowShowsNoJapanese)
{
    test::LogicFixture f;
    ASSERT_GE(f.AddBlock("a.wav", 0, 0, 1000), 0);
    f.Logic.Proj().CurrentTrack = 0;
    f.Logic.Proj().MarkIn = 100;
    f.Logic.Proj().MarkOut = 900;
    GuiContext context { f.Logic };
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
    QStringList found;
    for (const QString& name : NamedWindows()) {
        std::unique_ptr<QWidget> window(CreateNamedWindow(name, context, nullptr));
        ASSERT_NE(window, nullptr) << name.toStdString();
        found << JapaneseIn(*window, name);
    }
    EXPECT_TRUE(found.isEmpty()) << found.join(QLatin1Char('\n')).toStdString();
    f.Logic.Recorder = nullptr;
    f.Logic.TransportHandler = nullptr;
}

} // namespace
} // namespace tarvok
