#pragma once

#include <QString>
#include <QVariant>

namespace kardelo {

// Where a control's stored property set lives: with the host window's layout. Reads give the
// default for a key the set lacks; writes leave out a value equal to its default.
class PropertyBag {
public:
    virtual ~PropertyBag() = default;
    virtual QVariant ReadProperty(const QString& name, const QVariant& defaultValue) const = 0;
    virtual void WriteProperty(const QString& name, const QVariant& value,
                               const QVariant& defaultValue) = 0;
};

} // namespace kardelo
