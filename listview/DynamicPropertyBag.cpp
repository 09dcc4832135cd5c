#include "DynamicPropertyBag.h"

#include "ListView.h"

#include <QFont>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <limits>

namespace kardelo {

QVariant DynamicPropertyBag::ReadProperty(const QString& name, const QVariant& defaultValue) const
{
    const QVariant value = m_object.property(name.toUtf8().constData());
    return value.isValid() ? value : defaultValue;
}

void DynamicPropertyBag::WriteProperty(const QString& name, const QVariant& value,
                                       const QVariant& defaultValue)
{
    const QByteArray key = name.toUtf8();
    m_object.setProperty(key.constData(), value == defaultValue ? QVariant() : value);
}

namespace {

// Designer's own form: one-space indentation, fonts as their set attributes.
class UiXmlPropertyBag final : public PropertyBag {
public:
    UiXmlPropertyBag() : m_writer(&m_xml)
    {
        m_writer.setAutoFormatting(true);
        m_writer.setAutoFormattingIndent(1);
    }

    QVariant ReadProperty(const QString&, const QVariant& defaultValue) const override
    {
        return defaultValue;
    }

    void WriteProperty(const QString& name, const QVariant& value,
                       const QVariant& defaultValue) override
    {
        if (value == defaultValue)
            return;
        m_writer.writeStartElement(QStringLiteral("property"));
        m_writer.writeAttribute(QStringLiteral("name"), name);
        m_writer.writeAttribute(QStringLiteral("stdset"), QStringLiteral("0"));
        switch (value.typeId()) {
        case QMetaType::Bool:
            m_writer.writeTextElement(QStringLiteral("bool"), value.toBool()
                                                                  ? QStringLiteral("true")
                                                                  : QStringLiteral("false"));
            break;
        case QMetaType::QFont:
            writeFont(value.value<QFont>());
            break;
        case QMetaType::QString:
            m_writer.writeTextElement(QStringLiteral("string"), value.toString());
            break;
        default:
            m_writer.writeTextElement(QStringLiteral("number"), value.toString());
            break;
        }
        m_writer.writeEndElement();
    }

    QString xml() const
    {
        const QString elements = m_xml.trimmed();
        return elements.isEmpty() ? elements : elements + QLatin1Char('\n');
    }

private:
    void writeFont(const QFont& font)
    {
        const auto flag = [this](const char* element, bool on) {
            if (on)
                m_writer.writeTextElement(QLatin1String(element), QStringLiteral("true"));
        };
        m_writer.writeStartElement(QStringLiteral("font"));
        m_writer.writeTextElement(QStringLiteral("family"), font.family());
        if (font.pointSize() > 0)
            m_writer.writeTextElement(QStringLiteral("pointsize"),
                                      QString::number(font.pointSize()));
        flag("italic", font.italic());
        flag("bold", font.bold());
        flag("underline", font.underline());
        flag("strikeout", font.strikeOut());
        m_writer.writeEndElement();
    }

    QString m_xml;
    QXmlStreamWriter m_writer;
};

QFont readFont(QXmlStreamReader& reader)
{
    QFont font;
    while (reader.readNextStartElement()) {
        const auto element = reader.name();
        const QString text = reader.readElementText();
        const bool on = text == QLatin1String("true");
        if (element == QLatin1String("family"))
            font.setFamilies({text});
        else if (element == QLatin1String("pointsize"))
            font.setPointSize(text.toInt());
        else if (element == QLatin1String("italic"))
            font.setItalic(on);
        else if (element == QLatin1String("bold"))
            font.setBold(on);
        else if (element == QLatin1String("underline"))
            font.setUnderline(on);
        else if (element == QLatin1String("strikeout"))
            font.setStrikeOut(on);
    }
    return font;
}

QVariant readValue(QXmlStreamReader& reader)
{
    const auto kind = reader.name();
    if (kind == QLatin1String("font"))
        return readFont(reader);
    QVariant value;
    if (kind == QLatin1String("bool")) {
        value = reader.readElementText() == QLatin1String("true");
    } else if (kind == QLatin1String("number")) {
        bool ok = false;
        const qlonglong number = reader.readElementText().toLongLong(&ok);
        if (ok && number >= std::numeric_limits<int>::min() &&
            number <= std::numeric_limits<int>::max())
            value = int(number);
        else if (ok)
            value = number;
    } else if (kind == QLatin1String("string")) {
        value = reader.readElementText();
    } else {
        reader.skipCurrentElement();
    }
    return value;
}

} // namespace

QString uiPropertyXml(const ListView& view)
{
    UiXmlPropertyBag bag;
    view.WriteProperties(bag);
    return bag.xml();
}

int applyUiPropertyXml(QObject& object, const QString& xml)
{
    QXmlStreamReader reader(QStringLiteral("<properties>") + xml + QStringLiteral("</properties>"));
    int placed = 0;
    if (!reader.readNextStartElement())
        return placed;
    while (reader.readNextStartElement()) {
        if (reader.name() != QLatin1String("property")) {
            reader.skipCurrentElement();
            continue;
        }
        const QByteArray name = reader.attributes().value(QLatin1String("name")).toUtf8();
        QVariant value;
        while (reader.readNextStartElement()) {
            if (value.isValid())
                reader.skipCurrentElement();
            else
                value = readValue(reader);
        }
        if (!name.isEmpty() && value.isValid()) {
            object.setProperty(name.constData(), value);
            ++placed;
        }
    }
    return placed;
}

} // namespace kardelo
