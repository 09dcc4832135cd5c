#include "Color.h"

#include <QApplication>

namespace kardelo {

std::optional<QColor> Color::translate(OleColor color, const QPalette& palette)
{
    if (!isSystemColor(color)) {
        if (color >> 24)
            return std::nullopt;
        return QColor(int(color & 0xFF), int(color >> 8 & 0xFF), int(color >> 16 & 0xFF));
    }
    switch (color & 0xFFFF) {
    case 0:  // scroll bar
    case 15: // button face
        return palette.color(QPalette::Active, QPalette::Button);
    case 1: // desktop
    case 4: // menu
        return palette.color(QPalette::Active, QPalette::Window);
    case 5: // window background
        return palette.color(QPalette::Active, QPalette::Base);
    case 6:  // window frame
    case 21: // 3-D dark shadow
        return palette.color(QPalette::Active, QPalette::Shadow);
    case 7: // menu text
    case 8: // window text
        return palette.color(QPalette::Active, QPalette::Text);
    case 13: // highlight
        return palette.color(QPalette::Active, QPalette::Highlight);
    case 14: // highlight text
        return palette.color(QPalette::Active, QPalette::HighlightedText);
    case 16: // button shadow
        return palette.color(QPalette::Active, QPalette::Dark);
    case 17: // grey text
        return palette.color(QPalette::Disabled, QPalette::Text);
    case 18: // button text
        return palette.color(QPalette::Active, QPalette::ButtonText);
    case 20: // button highlight
        return palette.color(QPalette::Active, QPalette::Light);
    case 22: // 3-D light
        return palette.color(QPalette::Active, QPalette::Midlight);
    case 23: // tooltip text
        return palette.color(QPalette::Active, QPalette::ToolTipText);
    case 24: // tooltip background
        return palette.color(QPalette::Active, QPalette::ToolTipBase);
    default:
        return std::nullopt;
    }
}

OleColor Color::fromQColor(const QColor& color)
{
    return rgb(static_cast<std::uint8_t>(color.red()), static_cast<std::uint8_t>(color.green()),
               static_cast<std::uint8_t>(color.blue()));
}

bool Color::SetColor(OleColor color, bool createBrush, bool createPen)
{
    Dispose();
    m_ole = color;
    const auto translated = translate(color, QApplication::palette());
    if (!translated)
        return false;
    m_rgb = static_cast<std::int32_t>(fromQColor(*translated));
    if (createBrush) {
        m_brush = QBrush(*translated);
        m_gotBrush = true;
    }
    if (createPen) {
        m_pen = QPen(*translated, 1);
        m_gotPen = true;
    }
    return true;
}

void Color::Update()
{
    const bool brush = m_gotBrush, pen = m_gotPen;
    SetColor(m_ole, brush, pen);
}

void Color::Dispose()
{
    m_brush = QBrush();
    m_pen = QPen();
    m_gotBrush = m_gotPen = false;
    m_ole = None;
    m_rgb = -1;
}

QColor Color::qColor() const
{
    if (m_rgb < 0)
        return {};
    const auto value = static_cast<OleColor>(m_rgb);
    return QColor(int(value & 0xFF), int(value >> 8 & 0xFF), int(value >> 16 & 0xFF));
}

} // namespace kardelo
