#pragma once

#include "PropertyBag.h"

#include <QObject>
#include <QString>

namespace kardelo {

class ListView;

// The stored set as an object's dynamic properties: a Designer layout file places each key on
// the widget as a property with stdset="0", and uic sets it with QObject::setProperty. Keys
// that are not set read as their default; a value written equal to its default is removed.
class DynamicPropertyBag final : public PropertyBag {
public:
    explicit DynamicPropertyBag(QObject& object) : m_object(object) {}

    QVariant ReadProperty(const QString& name, const QVariant& defaultValue) const override;
    void WriteProperty(const QString& name, const QVariant& value,
                       const QVariant& defaultValue) override;

private:
    QObject& m_object;
};

// The list's stored set as the property elements of a Designer layout file, in the order of
// the set, values equal to their default left out: what goes inside its <widget> element.
QString uiPropertyXml(const ListView& view);

// Places the stored-set elements of uiPropertyXml's form on an object as dynamic properties,
// the way a layout file compiled by uic does. Returns how many were placed; elements of a kind
// the stored set does not use are skipped.
int applyUiPropertyXml(QObject& object, const QString& xml);

} // namespace kardelo
