#include "core/project.h"
#include "fx/fx_table.h"
#include "gui/dialogs/window_registry.h"
#include "window_fixture.h"

#include <QAccessible>
#include <QStringList>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace tarvok {

namespace {

/// The roles a user acts on or reads a value from: the standard controls and the roles our
/// drawn controls take (a fader is a slider, a meter an indicator, a picture a canvas).
bool NeedsName(QAccessible::Role pRole)
{
    switch (pRole) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::Slider:
    case QAccessible::SpinBox:
    case QAccessible::EditableText:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::Dial:
    case QAccessible::Indicator:
    case QAccessible::Canvas:
        return true;
    default:
        return false;
    }
}

/// The name a screen reader reads for the control. A combo box's Name is its current text on
/// Linux, where its label comes through the label relation, so the label counts there.
QString NameOf(QAccessibleInterface& pControl)
{
    if (pControl.role() == QAccessible::ComboBox) {
        if (QObject* object = pControl.object(); object && object->isWidgetType()) {
            const QString own = static_cast<QWidget*>(object)->accessibleName();
            if (!own.isEmpty())
                return own;
        }
        const auto labels = pControl.relations(QAccessible::Label);
        return labels.isEmpty() ? QString() : labels.front().first->text(QAccessible::Name);
    }
    return pControl.text(QAccessible::Name);
}

QString Describe(QAccessibleInterface& pControl)
{
    QObject* object = pControl.object();
    return QStringLiteral("%1 \"%2\" (role 0x%3)")
        .arg(object ? QString::fromLatin1(object->metaObject()->className()) : QString(),
            object ? object->objectName() : QString(),
            QString::number(static_cast<int>(pControl.role()), 16));
}

/// Every control under pRoot that needs a name and has none, or that is a slider without a
/// value a screen reader can read.
void CollectProblems(QAccessibleInterface* pRoot, QStringList& pProblems)
{
    if (pRoot == nullptr)
        return;
    for (int i = 0; i < pRoot->childCount(); ++i) {
        QAccessibleInterface* child = pRoot->child(i);
        if (child == nullptr)
            continue;
        if (NeedsName(child->role()) && NameOf(*child).trimmed().isEmpty())
            pProblems.push_back(QStringLiteral("no name: ") + Describe(*child));
        if (child->role() == QAccessible::Slider && child->valueInterface() == nullptr)
            pProblems.push_back(QStringLiteral("no value: ") + Describe(*child));
        CollectProblems(child, pProblems);
    }
}

QStringList ProblemsOf(QWidget& pWindow)
{
    QStringList problems;
    CollectProblems(QAccessible::queryAccessibleInterface(&pWindow), problems);
    return problems;
}

} // namespace

TEST(Accessibility, EveryControlOfTheMainWindowHasANameAndAValue)
{
    test::WindowFixture f(SoundDevices::Virtual);
    const QStringList problems = ProblemsOf(*f.Window);
    EXPECT_TRUE(problems.isEmpty()) << problems.join(QLatin1Char('\n')).toStdString();
}

TEST(Accessibility, EveryControlOfEveryNamedWindowHasANameAndAValue)
{
    // A block of 10 s on track 0 and a selection in it, so that the windows that work on the
    // selection (the drawing window, the sample editor) open with all their controls.
    test::WindowFixture f(SoundDevices::Virtual);
    f.Drop(f.ToneFile("a.wav", 10), QPoint(10, f.LowerHalfY(0)));
    test::WindowFixture::Settle();
    ASSERT_GT(f.Proj().BlockCount(), 0);
    f.Proj().CurrentTrack = 0;
    f.Proj().Tracks[0].Selected = 1;
    f.Proj().MarkIn = 44100;
    f.Proj().MarkOut = 44100 * 5;
    QStringList names = NamedWindows();
    for (const FxInfo& effect : AllEffects())
        if (effect.HasDialog)
            names.push_back(QStringLiteral("FrmFX-%1").arg(effect.Id));
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        std::unique_ptr<QWidget> window(
            CreateNamedWindow(name, f.Session->Context, f.Window.get()));
        ASSERT_NE(window, nullptr);
        window->show();
        test::WindowFixture::Settle();
        const QStringList problems = ProblemsOf(*window);
        EXPECT_TRUE(problems.isEmpty()) << problems.join(QLatin1Char('\n')).toStdString();
        window->close();
    }
}

TEST(Accessibility, AFaderReadsItsLevelAsAValueInItsRange)
{
    test::WindowFixture f;
    QWidget* fader = nullptr;
    for (QWidget* w : f.Window->findChildren<QWidget*>())
        if (QString::fromLatin1(w->metaObject()->className()) == QLatin1String("tarvok::UC_Fader"))
            fader = w;
    ASSERT_NE(fader, nullptr);
    QAccessibleInterface* control = QAccessible::queryAccessibleInterface(fader);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->role(), QAccessible::Slider);
    EXPECT_FALSE(control->text(QAccessible::Value).isEmpty());
    QAccessibleValueInterface* value = control->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->minimumValue().toDouble(), 0.0);
    EXPECT_EQ(value->maximumValue().toDouble(), 255.0);
    EXPECT_TRUE(control->state().focusable);
}

} // namespace tarvok
