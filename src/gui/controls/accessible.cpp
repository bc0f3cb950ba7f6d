#include "gui/controls/accessible.h"

#include <QAccessibleWidget>
#include <QObject>
#include <QWidget>

namespace tarvok {

namespace {

/// Holds a widget's description as a child object, so that it lives and dies with it.
class DescriptionHolder : public QObject {
public:
    DescriptionHolder(QWidget* pWidget, AccessibleDescription pDescription)
        : QObject(pWidget)
        , Description(std::move(pDescription))
    {
        setObjectName(QStringLiteral("tarvok-accessible"));
    }
    AccessibleDescription Description;
};

const DescriptionHolder* HolderOf(const QObject* pObject)
{
    for (const QObject* child : pObject->children())
        if (child->objectName() == QLatin1String("tarvok-accessible"))
            return static_cast<const DescriptionHolder*>(child);
    return nullptr;
}

/// The interface of a described widget: QAccessibleWidget for the tree, focus and states,
/// with the described role, name and value.
class DescribedWidget : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit DescribedWidget(QWidget* pWidget)
        : QAccessibleWidget(pWidget, HolderOf(pWidget)->Description.Role)
    {
    }

    QString text(QAccessible::Text pText) const override
    {
        const AccessibleDescription& d = Description();
        switch (pText) {
        case QAccessible::Name: {
            QString name = widget()->accessibleName();
            if (name.isEmpty())
                name = d.DefaultName;
            if (d.NameWithValue && d.ValueText)
                name += QLatin1Char(' ') + d.ValueText();
            return name;
        }
        case QAccessible::Value:
            return d.ValueText ? d.ValueText() : QString();
        default:
            return QAccessibleWidget::text(pText);
        }
    }

    void* interface_cast(QAccessible::InterfaceType pType) override
    {
        if (pType == QAccessible::ValueInterface && Description().Number)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(pType);
    }

    QVariant currentValue() const override { return Description().Number().Value; }
    void setCurrentValue(const QVariant& pValue) override
    {
        if (Description().SetNumber)
            Description().SetNumber(pValue.toDouble());
    }
    QVariant maximumValue() const override { return Description().Number().Max; }
    QVariant minimumValue() const override { return Description().Number().Min; }
    QVariant minimumStepSize() const override { return Description().Number().Step; }

private:
    const AccessibleDescription& Description() const { return HolderOf(widget())->Description; }
};

QAccessibleInterface* DescribedFactory(const QString&, QObject* pObject)
{
    if (pObject == nullptr || !pObject->isWidgetType() || HolderOf(pObject) == nullptr)
        return nullptr;
    return new DescribedWidget(static_cast<QWidget*>(pObject));
}

} // namespace

void SetAccessible(QWidget* pWidget, AccessibleDescription pDescription)
{
    static const bool installed = [] {
        QAccessible::installFactory(DescribedFactory);
        return true;
    }();
    (void)installed;
    if (const DescriptionHolder* old = HolderOf(pWidget))
        delete old;
    new DescriptionHolder(pWidget, std::move(pDescription));
}

void NotifyAccessibleValue(QWidget* pWidget)
{
    if (!QAccessible::isActive())
        return;
    const DescriptionHolder* holder = HolderOf(pWidget);
    if (holder != nullptr && holder->Description.NameWithValue) {
        QAccessibleEvent event(pWidget, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
        return;
    }
    if (holder != nullptr && holder->Description.Number) {
        QAccessibleValueChangeEvent event(pWidget, holder->Description.Number().Value);
        QAccessible::updateAccessibility(&event);
        return;
    }
    QAccessibleEvent event(pWidget, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

} // namespace tarvok
