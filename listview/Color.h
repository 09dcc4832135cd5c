#pragma once

#include "OleColor.h"

#include <QBrush>
#include <QColor>
#include <QPalette>
#include <QPen>
#include <cstdint>
#include <optional>

namespace kardelo {

// One colour of the list control with the brush and pen made from it, so painting never makes
// them per cell. The colour is an RGB value or a system-colour reference looked up in the
// palette when it is set.
class Color {
public:
    static constexpr OleColor None = 0xFFFFFFFFu;

    // False, with no brush and no pen, when the colour cannot be translated.
    bool SetColor(OleColor color, bool createBrush = false, bool createPen = false);
    void Update();
    void Dispose();

    OleColor OLEColor() const { return m_ole; }
    std::int32_t RGBColor() const { return m_rgb; } // 0x00BBGGRR, -1 when not translated
    QColor qColor() const;
    const QBrush& GDIBrush() const { return m_brush; }
    bool GotGDIBrush() const { return m_gotBrush; }
    const QPen& GDIPen() const { return m_pen; }
    bool GotGDIPen() const { return m_gotPen; }

    // System colour indexes map onto the palette's roles (5 window, 8 window text, 13
    // highlight, 14 highlight text, 15 button face, 18 button text, ...).
    static std::optional<QColor> translate(OleColor color, const QPalette& palette = QPalette());
    static OleColor fromQColor(const QColor& color);

private:
    OleColor m_ole = None;
    std::int32_t m_rgb = -1;
    QBrush m_brush;
    QPen m_pen;
    bool m_gotBrush = false;
    bool m_gotPen = false;
};

} // namespace kardelo
