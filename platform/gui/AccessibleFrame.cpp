#include "AccessibleFrame.h"

#include <QAccessibleWidget>
#include <QWidget>
#include <algorithm>
#include <vector>

namespace kardelo {

namespace {

std::vector<const QMetaObject*>& frameClasses()
{
    static std::vector<const QMetaObject*> classes;
    return classes;
}

QAccessibleInterface* frameFactory(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType() || !static_cast<QWidget*>(object)->isWindow())
        return nullptr;
    for (const QMetaObject* windowClass : frameClasses())
        if (className == QLatin1String(windowClass->className()))
            return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
    return nullptr;
}

} // namespace

void presentAsFrame(const QMetaObject& windowClass)
{
    std::vector<const QMetaObject*>& classes = frameClasses();
    if (std::find(classes.begin(), classes.end(), &windowClass) == classes.end())
        classes.push_back(&windowClass);
    QAccessible::installFactory(frameFactory);
}

} // namespace kardelo
