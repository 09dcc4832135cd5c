#include "ProgressBoxAccessible.h"

#include "ProgressBox.h"

#include <QAccessibleWidget>

namespace kardelo {

namespace {

class ProgressBoxAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit ProgressBoxAccessible(ProgressBox* box)
        : QAccessibleWidget(box, QAccessible::ProgressBar)
    {}

    QString text(QAccessible::Text t) const override
    {
        const auto* box = qobject_cast<const ProgressBox*>(object());
        if (!box || !box->accessibleName().isEmpty())
            return QAccessibleWidget::text(t);
        if (t == QAccessible::Name)
            return box->shownText();
        if (t == QAccessible::Value)
            return box->lastPicture().drawBar ? QStringLiteral("%1 %").arg(box->shownPercent())
                                              : QString();
        return QAccessibleWidget::text(t);
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // QAccessibleValueInterface: the bar shows, it is not set.
    QVariant currentValue() const override
    {
        const auto* box = qobject_cast<const ProgressBox*>(object());
        return box ? box->shownPercent() : 0;
    }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }
};

QAccessibleInterface* progressBoxFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String(ProgressBox::staticMetaObject.className()) && object &&
        object->isWidgetType())
        return new ProgressBoxAccessible(static_cast<ProgressBox*>(object));
    return nullptr;
}

} // namespace

void installProgressBoxAccessibility()
{
    QAccessible::installFactory(progressBoxFactory);
}

} // namespace kardelo
