#pragma once

#include <functional>

#include <QAccessible>
#include <QString>

class QWidget;

namespace tarvok {

/// A numeric value as a screen reader reads and sets it: the value, its range and its step.
struct AccessibleNumber {
    double Value = 0;
    double Min = 0;
    double Max = 0;
    double Step = 1;
};

/// What a widget that Qt cannot describe by itself (a drawn control, a display label) tells
/// assistive technology: its role, the name used when the owner gave none, its value as text
/// and, for a control with a number, that number.
struct AccessibleDescription {
    QAccessible::Role Role = QAccessible::Client;
    /// The name when the widget's accessibleName is empty.
    QString DefaultName {};
    /// The value as text ("-6.0db : -6.0db"); empty function: no value.
    std::function<QString()> ValueText {};
    /// The number behind the value; empty function: the control has no number.
    std::function<AccessibleNumber()> Number {};
    /// Sets the number as the user would; empty function: read only.
    std::function<void(double)> SetNumber {};
    /// The name read is the name followed by the value (for labels that show a reading:
    /// "カウンター 0:01.500"), since a screen reader reads only the name of plain text.
    bool NameWithValue = false;
};

/// Gives pWidget the role, default name and value of pDescription for screen readers (through
/// an accessibility factory installed on first use). The functions are called on the GUI
/// thread while pWidget lives, so they may capture it.
void SetAccessible(QWidget* pWidget, AccessibleDescription pDescription);

/// Tells assistive technology that pWidget's value (or, for a reading label, its name) changed.
void NotifyAccessibleValue(QWidget* pWidget);

} // namespace tarvok
