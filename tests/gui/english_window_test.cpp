// The window in English: every text a user reads (captions, titles, tooltips, menus, list
// and table items) of the main window and of every named window is free of Japanese.
#include "base/i18n.h"
#include "core/paths.h"
#include "gui/dialogs/window_registry.h"
#include "gui_app.h"
#include "support/japanese_text.h"
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
        if (test::HasJapanese(text.toStdString()))
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
    // Devices (virtual ones) for the recording monitor, and a block with a selection for the
    // windows that work on one.
    test::WindowFixture f(SoundDevices::Virtual);
    f.Drop(f.ToneFile("a.wav", 2), QPoint(10, f.LowerHalfY(0)));
    test::WindowFixture::Settle();
    ASSERT_GT(f.Proj().BlockCount(), 0);
    f.Proj().CurrentTrack = 0;
    f.Proj().Tracks[0].Selected = 1;
    f.Proj().MarkIn = 4410;
    f.Proj().MarkOut = 44100;
    QStringList found;
    for (const QString& name : NamedWindows()) {
        std::unique_ptr<QWidget> window(
            CreateNamedWindow(name, f.Session->Context, f.Window.get()));
        ASSERT_NE(window, nullptr) << name.toStdString();
        found << JapaneseIn(*window, name);
    }
    EXPECT_TRUE(found.isEmpty()) << found.join(QLatin1Char('\n')).toStdString();
}

} // namespace
} // namespace tarvok
