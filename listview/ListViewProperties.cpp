#include "DynamicPropertyBag.h"
#include "ListView.h"
#include "PropertyBag.h"

#include <QApplication>
#include <bit>
#include <limits>

namespace kardelo {

namespace {

constexpr OleColor DefaultBackColor = systemColor(5);
constexpr OleColor DefaultForeColor = systemColor(8);
constexpr OleColor DefaultSelectedBackColor = systemColor(13);
constexpr OleColor DefaultSelectedForeColor = systemColor(14);
constexpr OleColor DefaultFocusRectColor = systemColor(13);
constexpr OleColor DefaultCheckboxColor = 0x000000;
constexpr OleColor DefaultCheckboxSelectedColor = 0xFFFFFF;
constexpr std::int32_t DefaultBorderStyle = 1;
constexpr std::int16_t DefaultPaddingTop = 4, DefaultPaddingBottom = 4, DefaultPaddingLeft = 4,
                       DefaultPaddingRight = 5;
// A new control starts with 16-pixel pictures, but a stored set without the keys means 13.
constexpr std::int16_t InitialPictureSize = 16, StoredPictureSize = 13;

QFont standardFont()
{
    return QApplication::font();
}

// Colours are kept as signed 32-bit numbers (a system colour is negative); a bag may also hand
// back the unsigned or a wider form of the same bits.
QVariant storedColor(OleColor color)
{
    return QVariant(std::bit_cast<std::int32_t>(color));
}

OleColor readColor(const PropertyBag& bag, const char* name, OleColor defaultValue)
{
    bool ok = false;
    const qlonglong value =
        bag.ReadProperty(QLatin1String(name), storedColor(defaultValue)).toLongLong(&ok);
    if (!ok || value < std::numeric_limits<std::int32_t>::min() ||
        value > qlonglong(std::numeric_limits<std::uint32_t>::max()))
        return defaultValue;
    return static_cast<OleColor>(value);
}

template <typename Int> Int readInteger(const PropertyBag& bag, const char* name, Int defaultValue)
{
    bool ok = false;
    const qlonglong value =
        bag.ReadProperty(QLatin1String(name), QVariant(int(defaultValue))).toLongLong(&ok);
    if (!ok || value < std::numeric_limits<Int>::min() || value > std::numeric_limits<Int>::max())
        return defaultValue;
    return static_cast<Int>(value);
}

bool readBool(const PropertyBag& bag, const char* name, bool defaultValue)
{
    const QVariant value = bag.ReadProperty(QLatin1String(name), QVariant(defaultValue));
    if (!value.canConvert<bool>())
        return defaultValue;
    return value.toBool();
}

QFont readFont(const PropertyBag& bag, const char* name)
{
    const QFont defaultValue = standardFont();
    const QVariant value = bag.ReadProperty(QLatin1String(name), QVariant(defaultValue));
    if (value.typeId() == QMetaType::QFont)
        return value.value<QFont>();
    QFont font = defaultValue;
    if (value.typeId() == QMetaType::QString && font.fromString(value.toString()))
        return font;
    return defaultValue;
}

void writeColor(PropertyBag& bag, const char* name, OleColor value, OleColor defaultValue)
{
    bag.WriteProperty(QLatin1String(name), storedColor(value), storedColor(defaultValue));
}

template <typename Int>
void writeInteger(PropertyBag& bag, const char* name, Int value, Int defaultValue)
{
    bag.WriteProperty(QLatin1String(name), QVariant(int(value)), QVariant(int(defaultValue)));
}

void writeBool(PropertyBag& bag, const char* name, bool value, bool defaultValue)
{
    bag.WriteProperty(QLatin1String(name), QVariant(value), QVariant(defaultValue));
}

} // namespace

void ListView::InitProperties()
{
    setBackColor(DefaultBackColor);
    SetForeColor(DefaultForeColor);
    SetSelectedBackColor(DefaultSelectedBackColor);
    SetSelectedForeColor(DefaultSelectedForeColor);
    SetFocusRectColor(DefaultFocusRectColor);
    SetCheckboxColor(DefaultCheckboxColor);
    SetCheckboxSelectedColor(DefaultCheckboxSelectedColor);
    SetReorder(true);
    SetMultiSelect(true);
    SetColumnsAutoSize(false);
    SetColumnsVisible(true);
    SetEnabled(true);
    SetBorderStyle(DefaultBorderStyle);
    SetSolidFocusRect(true);
    SetCheckboxes(false);
    SetItemPaddingBottom(DefaultPaddingBottom);
    SetItemPaddingLeft(DefaultPaddingLeft);
    SetItemPaddingRight(DefaultPaddingRight);
    SetItemPaddingTop(DefaultPaddingTop);
    SetPictureHeight(InitialPictureSize);
    SetPictureWidth(InitialPictureSize);
    SetPicturesVisible(true);
    SetSortable(true);
}

void ListView::ReadProperties(const PropertyBag& bag)
{
    m_propertiesLoaded = true;
    AttachScrollbars(ScrollBars(), Handle());
    SetRedraw(false);
    CreateBackBuffer();

    setBackColor(readColor(bag, "BackColor", DefaultBackColor));
    SetForeColor(readColor(bag, "ForeColor", DefaultForeColor));
    SetSelectedBackColor(readColor(bag, "SelectedBackColor", DefaultSelectedBackColor));
    SetSelectedForeColor(readColor(bag, "SelectedForeColor", DefaultSelectedForeColor));
    SetFocusRectColor(readColor(bag, "FocusRectColor", DefaultFocusRectColor));
    SetReorder(readBool(bag, "Reorder", true));
    SetMultiSelect(readBool(bag, "MultiSelect", true));
    SetColumnsAutoSize(readBool(bag, "ColumnsAutoSize", false));
    SetEnabled(readBool(bag, "Enabled", true));
    SetBorderStyle(readInteger(bag, "BorderStyle", DefaultBorderStyle));
    SetFont(readFont(bag, "Font"));
    SetColumnsVisible(readBool(bag, "ColumnsVisible", true));
    SetSolidFocusRect(readBool(bag, "SolidFocusRect", true));
    SetOLEDropMode(readInteger(bag, "OLEDropMode", std::int16_t(0)));
    SetCheckboxes(readBool(bag, "Checkboxes", false));
    SetCheckboxColor(readColor(bag, "CheckboxColor", DefaultCheckboxColor));
    SetCheckboxSelectedColor(readColor(bag, "CheckboxSelectedColor", DefaultCheckboxSelectedColor));
    SetItemPaddingTop(readInteger(bag, "ItemPaddingTop", DefaultPaddingTop));
    SetItemPaddingBottom(readInteger(bag, "ItemPaddingBottom", DefaultPaddingBottom));
    SetItemPaddingLeft(readInteger(bag, "ItemPaddingLeft", DefaultPaddingLeft));
    SetItemPaddingRight(readInteger(bag, "ItemPaddingRight", DefaultPaddingRight));
    SetPictureWidth(readInteger(bag, "PictureWidth", StoredPictureSize));
    SetPictureHeight(readInteger(bag, "PictureHeight", StoredPictureSize));
    SetPicturesVisible(readBool(bag, "PicturesVisible", true));
    SetItemsAutoSize(readBool(bag, "ItemsAutoSize", true));
    SetSortable(readBool(bag, "Sortable", true));

    ApplyFont();
    SetRedraw(true);
}

void ListView::WriteProperties(PropertyBag& bag) const
{
    writeColor(bag, "BackColor", BackColor(), DefaultBackColor);
    writeColor(bag, "ForeColor", ForeColor(), DefaultForeColor);
    writeColor(bag, "SelectedBackColor", SelectedBackColor(), DefaultSelectedBackColor);
    writeColor(bag, "SelectedForeColor", SelectedForeColor(), DefaultSelectedForeColor);
    writeColor(bag, "FocusRectColor", FocusRectColor(), DefaultFocusRectColor);
    writeBool(bag, "Reorder", Reorder(), true);
    writeBool(bag, "MultiSelect", MultiSelect(), true);
    writeBool(bag, "ColumnsAutoSize", ColumnsAutoSize(), false);
    writeBool(bag, "Enabled", Enabled(), true);
    writeInteger(bag, "BorderStyle", BorderStyle(), DefaultBorderStyle);
    bag.WriteProperty(QStringLiteral("Font"), QVariant(Font()), QVariant(standardFont()));
    writeBool(bag, "ColumnsVisible", ColumnsVisible(), true);
    writeBool(bag, "SolidFocusRect", SolidFocusRect(), true);
    writeInteger(bag, "OLEDropMode", OLEDropMode(), std::int16_t(0));
    writeBool(bag, "Checkboxes", Checkboxes(), false);
    writeColor(bag, "CheckboxColor", CheckboxColor(), DefaultCheckboxColor);
    writeColor(bag, "CheckboxSelectedColor", CheckboxSelectedColor(), DefaultCheckboxSelectedColor);
    writeInteger(bag, "ItemPaddingTop", ItemPaddingTop(), DefaultPaddingTop);
    writeInteger(bag, "ItemPaddingBottom", ItemPaddingBottom(), DefaultPaddingBottom);
    writeInteger(bag, "ItemPaddingLeft", ItemPaddingLeft(), DefaultPaddingLeft);
    writeInteger(bag, "ItemPaddingRight", ItemPaddingRight(), DefaultPaddingRight);
    writeInteger(bag, "PictureWidth", PictureWidth(), StoredPictureSize);
    writeInteger(bag, "PictureHeight", PictureHeight(), StoredPictureSize);
    writeBool(bag, "PicturesVisible", PicturesVisible(), true);
    writeBool(bag, "ItemsAutoSize", ItemsAutoSize(), true);
    writeBool(bag, "Sortable", Sortable(), true);
}

void ListView::LoadStoredProperties()
{
    if (m_propertiesLoaded)
        return;
    ReadProperties(DynamicPropertyBag(*this));
}

} // namespace kardelo
