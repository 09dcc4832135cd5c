#include "ListView.h"

#include "EventLog.h"
#include "Formats.h"
#include "ListViewAccessible.h"
#include "RuntimeError.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QtMath>
#include <cmath>

namespace kardelo {

namespace {

constexpr OleColor ButtonFaceColor = systemColor(15);
constexpr OleColor ButtonTextColor = systemColor(18);

QColor paletteColor(OleColor color)
{
    return Color::translate(color, QApplication::palette()).value_or(QColor());
}

// The 3-D edges of a header button, drawn as the window system draws them: each border is a
// pair of one-pixel lines, top and left first, bottom and right over them.
enum EdgeSides { Left = 1, Top = 2, Right = 4, Bottom = 8, AllSides = 15 };

void drawBorder(QPainter& painter, const QRect& r, const QColor& topLeft, const QColor& bottomRight,
                int sides)
{
    if (r.width() <= 0 || r.height() <= 0)
        return;
    if (sides & Top)
        painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), topLeft);
    if (sides & Left)
        painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), topLeft);
    if (sides & Bottom)
        painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
    if (sides & Right)
        painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
}

void drawEdge(QPainter& painter, const QRect& cell, bool etched, int sides)
{
    const QPalette& palette = QApplication::palette();
    const QColor light = palette.color(QPalette::Midlight);    // 3-D light
    const QColor highlight = palette.color(QPalette::Light);   // button highlight
    const QColor shadow = palette.color(QPalette::Dark);       // button shadow
    const QColor darkShadow = palette.color(QPalette::Shadow); // 3-D dark shadow
    const QRect inner = cell.adjusted(sides & Left ? 1 : 0, sides & Top ? 1 : 0,
                                      sides & Right ? -1 : 0, sides & Bottom ? -1 : 0);
    if (etched) {
        drawBorder(painter, cell, shadow, highlight, sides);
        drawBorder(painter, inner, highlight, shadow, sides);
    } else {
        drawBorder(painter, cell, light, darkShadow, sides);
        drawBorder(painter, inner, highlight, shadow, sides);
    }
}

Qt::Alignment alignmentOf(std::int32_t textAlign)
{
    switch (textAlign) {
    case 1:
        return Qt::AlignRight;
    case 2:
        return Qt::AlignHCenter;
    default:
        return Qt::AlignLeft;
    }
}

// One line from `from` towards `to`, the end point itself not drawn.
void lineTo(QPainter& painter, QPoint from, QPoint to)
{
    const int dx = std::abs(to.x() - from.x()), dy = -std::abs(to.y() - from.y());
    const int sx = from.x() < to.x() ? 1 : -1, sy = from.y() < to.y() ? 1 : -1;
    int error = dx + dy;
    QPoint p = from;
    while (p != to) {
        painter.drawPoint(p);
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            p.rx() += sx;
        }
        if (twice <= dx) {
            error += dx;
            p.ry() += sy;
        }
    }
}

} // namespace

ListView::ListView(QWidget* parent)
    : QAbstractScrollArea(parent),
      m_scrollbars(
          Scrollbars::Events{[this](Scrollbars::Bar, Scrollbars::MouseButton) { DrawControl(); },
                             [this](Scrollbars::Bar) { DrawControl(); },
                             [this](Scrollbars::Bar) { DrawControl(); },
                             {}})
{
    installListViewAccessibility();
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    m_moveTimer.setInterval(15);
    connect(&m_moveTimer, &QTimer::timeout, this, &ListView::onMoveTimer);

    m_handle = registerWindow(this);
    m_font = QApplication::font();
    InitProperties();
    AttachScrollbars(m_scrollbars, m_handle);
    ApplyFont();
    Refresh();
}

ListView::~ListView()
{
    containAndLog("ListView", [this] { m_scrollbars.Terminate(); });
}

// ---- Layout ----

std::int32_t ListView::columnWidth(const Column& column) const
{
    return m_columnsAutoSize ? column.WidthAutoSized : column.Width;
}

std::int32_t ListView::horizontalOffset() const
{
    return m_totalWidth > viewport()->width() ? m_scrollbars.Value(Scrollbars::Horizontal) : 0;
}

std::int32_t ListView::ItemHeight() const
{
    if (!m_itemsAutoSize)
        return m_fontHeight + m_paddingTop + m_paddingBottom;
    std::int32_t height = m_fontHeight + 4;
    if (m_checkboxes)
        height = std::max(height, 19);
    if (m_picturesVisible && PictureCount() >= 1)
        height = std::max(height, m_pictureHeight + 3);
    return height == 0 ? 1 : height;
}

std::int32_t ListView::VisibleRowCount() const
{
    const double rows =
        static_cast<double>(m_listRect.bottom() - m_listRect.top() + 1) / ItemHeight() + 0.5;
    return formats::toInt32(rows);
}

void ListView::ApplyFont()
{
    const double points = m_font.pointSizeF();
    if (points > 0) {
        const int dpi = logicalDpiY();
        m_fontHeight = static_cast<std::int32_t>(
            std::lround(std::round(points) * static_cast<double>(dpi) / 72.0));
    } else {
        m_fontHeight = m_font.pixelSize();
    }
    m_gdiFont = m_font;
    m_gdiFont.setPixelSize(std::max(m_fontHeight, 1));
}

void ListView::CalculateLayout()
{
    QRect client = viewport()->rect();
    ColumnCollection& columns = m_table.Columns();
    if (!m_columnsAutoSize) {
        m_totalWidth = 0;
        for (std::int32_t i = 0; i < columns.Count(); ++i)
            if (columns.Item(i).Visible)
                m_totalWidth += columns.Item(i).Width;
    } else {
        m_totalWidth = client.width();
        double resizable = 0, fixed = 0;
        for (std::int32_t i = 0; i < columns.Count(); ++i) {
            Column& column = columns.Item(i);
            if (!column.Visible)
                continue;
            if (column.Resizable) {
                resizable += column.Width;
            } else {
                fixed += column.Width;
                column.WidthAutoSized = column.Width;
            }
        }
        std::int32_t used = 0;
        for (std::int32_t i = 0; i < columns.Count(); ++i) {
            Column& column = columns.Item(i);
            if (!column.Visible)
                continue;
            if (column.Resizable) {
                column.WidthAutoSized =
                    formats::toInt32(column.Width / resizable * (client.width() - fixed) + 0.5);
                if (i == columns.Count() - 1 && used + column.WidthAutoSized > client.width())
                    column.WidthAutoSized = client.width() - used;
            }
            used += column.WidthAutoSized;
        }
    }
    UpdateHorizontalScrollBar(m_scrollbars, m_totalWidth, client.width(), m_enabled);
    client = viewport()->rect();
    CreateBackBuffer();
    const std::int32_t listRight = std::max(m_totalWidth, client.width());
    m_headerHeight = m_columnsVisible ? m_fontHeight + 8 : 0;
    m_headerWidth = m_columnsVisible ? listRight : 0;
    m_listRect = QRect(QPoint(0, m_headerHeight), QPoint(listRight, client.height()));
}

void ListView::CreateBackBuffer()
{
    // Never under the painter: a host's callback that changes the layout gets it afterwards.
    if (m_drawing) {
        m_layoutRequested = true;
        return;
    }
    const QSize client = viewport()->size();
    const QSize size(std::max(client.width(), m_totalWidth), client.height());
    // At the window's pixel ratio, so that the text is as sharp as in the widgets around it.
    const qreal ratio = devicePixelRatioF();
    const QSize logical = size.expandedTo(QSize(1, 1));
    const QSize pixels(qCeil(logical.width() * ratio), qCeil(logical.height() * ratio));
    if (m_backBuffer.size() != pixels || m_backBuffer.devicePixelRatio() != ratio) {
        m_backBuffer = QPixmap(pixels);
        m_backBuffer.setDevicePixelRatio(ratio);
    }
    m_bufferPainted = false;
}

void ListView::updateVerticalScrollRange()
{
    UpdateVerticalScrollBar(m_scrollbars, ItemCount(), VisibleRowCount(), m_enabled);
}

void ListView::Refresh()
{
    if (m_drawing) {
        m_layoutRequested = true;
        return;
    }
    CalculateLayout();
    updateVerticalScrollRange();
    DrawControl();
}

void ListView::SetRedraw(bool redraw)
{
    m_redraw = redraw;
    if (redraw)
        Refresh();
}

// ---- Painting ----

void ListView::DrawControl()
{
    if (m_drawing) {
        m_repaintRequested = true;
        return;
    }
    if (!m_redraw || m_backBuffer.isNull())
        return;
    // What a host changes from its CustomDraw callback is drawn once more right afterwards; a
    // change of the layout waits until the painter has let go of the buffer.
    for (int pass = 0; pass < 2; ++pass) {
        m_repaintRequested = false;
        m_drawing = true;
        containAndLog("ListView", [this] {
            QPainter painter(&m_backBuffer);
            painter.setFont(m_gdiFont);
            DrawHeader(painter);
            DrawRows(painter);
        });
        m_drawing = false;
        ++m_paintCount;
        m_bufferPainted = true;
        if (m_layoutRequested) {
            m_layoutRequested = false;
            containAndLog("ListView", [this] {
                CalculateLayout();
                updateVerticalScrollRange();
            });
            m_repaintRequested = true;
        }
        if (!m_repaintRequested || !m_redraw || m_backBuffer.isNull())
            break;
    }
    if (!m_inPaintEvent)
        viewport()->update();
}

void ListView::DrawHeader(QPainter& painter)
{
    if (!m_columnsVisible)
        return;
    const QColor face = paletteColor(ButtonFaceColor);
    painter.setPen(paletteColor(ButtonTextColor));
    const ColumnCollection& columns = m_table.Columns();
    std::int32_t x = 0;
    for (std::int32_t i = 0; i < columns.Count(); ++i) {
        const Column& column = columns.Item(i);
        if (!column.Visible)
            continue;
        const QRect cell(x, 0, columnWidth(column), m_headerHeight);
        painter.fillRect(cell, face);
        drawEdge(painter, cell, column.Pushed, AllSides);
        const QRect text = cell.adjusted(m_paddingLeft, 0, -m_paddingRight, 0);
        if (text.width() >= 1 && column.TextAlign >= 0 && column.TextAlign <= 2)
            painter.drawText(
                text, alignmentOf(column.TextAlign) | Qt::AlignVCenter | Qt::TextSingleLine,
                painter.fontMetrics().elidedText(column.Caption, Qt::ElideRight, text.width()));
        x += cell.width();
    }
    if (x < m_headerWidth) {
        const QRect rest(x, 0, m_headerWidth - x, m_headerHeight);
        painter.fillRect(rest, face);
        drawEdge(painter, rest, false, Left | Top | Bottom);
    }
}

void ListView::DrawRows(QPainter& painter)
{
    const ListItemCollection& items = m_table.Items();
    const ColumnCollection& columns = m_table.Columns();
    const QBrush& background = m_backColor.GDIBrush();
    if (items.ItemCount() == 0) {
        painter.fillRect(m_listRect, background);
        return;
    }
    const std::int32_t count = items.ItemCount();
    const std::int32_t first = std::min(m_scrollbars.Value(Scrollbars::Vertical), count - 1);
    const std::int32_t page = std::min(VisibleRowCount(), count);
    const std::int32_t last = std::min(first + page, count - 1);
    const std::int32_t height = ItemHeight();
    const QFontMetrics metrics(m_gdiFont);
    QColor textColor;
    std::int32_t top = m_listRect.top();

    // The callback may change the list in any way, so no row or column is held across it:
    // both are looked up again by position afterwards, and drawing stops where they end.
    for (std::int32_t row = std::max(first, 0); row <= last && row < items.ItemCount();
         ++row, top += height) {
        std::int32_t x = 0;
        for (std::int32_t c = 0; c < columns.Count() && row < items.ItemCount(); ++c) {
            if (!columns.Item(c).Visible)
                continue;
            const QRect cell(x, top, columnWidth(columns.Item(c)), height);
            x += cell.width();

            std::int32_t back = -1, fore = -1;
            bool custom = false;
            containAndLog("ListView",
                          [&] { custom = m_drawCallback->CustomDraw(row, c, back, fore); });
            if (row >= items.ItemCount() || c >= columns.Count())
                break;
            const ListItem& item = items.Item(row);
            const Column& column = columns.Item(c);
            const QBrush* fill;
            QColor text;
            if (!custom) {
                fill = &(item.Selected ? m_selectedBackColor : m_backColor).GDIBrush();
                text = (item.Selected ? m_selectedForeColor : m_foreColor).qColor();
            } else {
                if (back != -1 && static_cast<OleColor>(back) != m_customBackColor.OLEColor())
                    m_customBackColor.SetColor(static_cast<OleColor>(back), true);
                if (fore != -1 && static_cast<OleColor>(fore) != m_customForeColor.OLEColor())
                    m_customForeColor.SetColor(static_cast<OleColor>(fore));
                fill = back == -1 ? &background : &m_customBackColor.GDIBrush();
                text = (fore == -1 ? m_foreColor : m_customForeColor).qColor();
            }
            painter.fillRect(cell, *fill);

            std::int32_t textLeft = cell.left();
            if (c == 0) {
                if (m_picturesVisible && PictureCount() >= 1)
                    textLeft += 2 + m_pictureWidth + 3;
                if (m_checkboxes) {
                    DrawCheckbox(painter, QRect(QPoint(textLeft, cell.top()), cell.bottomRight()),
                                 item.Selected, item.Checked);
                    textLeft += 18;
                }
            }
            if (column.TextAlign < 0 || column.TextAlign > 2 || c >= item.SubItemCount())
                continue;
            const QRect textRect(QPoint(textLeft + m_paddingLeft, cell.top()),
                                 QPoint(cell.right() - m_paddingRight, cell.bottom()));
            if (text != textColor) {
                textColor = text;
                painter.setPen(textColor);
            }
            const QString cellText = item.Text(c);
            painter.drawText(textRect,
                             alignmentOf(column.TextAlign) | Qt::AlignVCenter | Qt::TextSingleLine,
                             metrics.horizontalAdvance(cellText) <= textRect.width()
                                 ? cellText
                                 : metrics.elidedText(cellText, Qt::ElideRight, textRect.width()));
        }
        if (x < m_listRect.right())
            painter.fillRect(QRect(x, top, m_listRect.right() - x, height), background);

        if (row == m_table.SelectedItem() && m_hasFocus && m_enabled && x > 0) {
            const QRect frame(0, top, x, height);
            if (m_solidFocusRect) {
                painter.setPen(m_focusRectColor.GDIPen());
                painter.drawRect(frame.adjusted(0, 0, -1, -1));
            } else {
                painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
                painter.drawRect(frame.adjusted(0, 0, -1, -1));
            }
            textColor = QColor();
        }
    }
    if (top < viewport()->height())
        painter.fillRect(QRect(0, top, m_listRect.right(), viewport()->height() - top), background);
}

void ListView::DrawCheckbox(QPainter& painter, const QRect& cell, bool selected, bool checked)
{
    const QPen saved = painter.pen();
    painter.setPen((selected ? m_checkboxSelectedColor : m_checkboxColor).GDIPen());
    const int X = cell.left() + 3;
    const int Y = formats::toInt32((cell.top() + cell.bottom() + 1) / 2.0 - 6 - 0.5);
    const auto frame = [&](int left, int top, int size) {
        lineTo(painter, {left, top}, {left + size, top});
        lineTo(painter, {left + size, top}, {left + size, top + size});
        lineTo(painter, {left + size, top + size}, {left, top + size});
        lineTo(painter, {left, top + size}, {left, top});
    };
    frame(X, Y, 12);
    frame(X - 1, Y - 1, 14);
    if (checked) {
        static constexpr int strokes[7][4] = {{9, 5, 5, 9}, {9, 4, 4, 9}, {9, 3, 3, 9},
                                              {3, 5, 5, 8}, {3, 6, 6, 9}, {3, 7, 6, 10},
                                              {3, 7, 7, 9}};
        for (const auto& s : strokes)
            lineTo(painter, {X + s[0], Y + s[1]}, {X + s[2], Y + s[3]});
    }
    painter.setPen(saved);
}

QPixmap ListView::Picture() const
{
    const QRectF visible(horizontalOffset(), 0, viewport()->width(), viewport()->height());
    const qreal ratio = m_backBuffer.devicePixelRatio();
    return m_backBuffer.copy(QRectF(visible.topLeft() * ratio, visible.size() * ratio).toRect());
}

void ListView::paintEvent(QPaintEvent*)
{
    if (m_drawing) { // asked for by a host's callback while the buffer is being drawn
        viewport()->update();
        return;
    }
    m_inPaintEvent = true;
    if (m_backBuffer.devicePixelRatio() != devicePixelRatioF())
        CreateBackBuffer(); // the window went to a screen of another pixel ratio
    if (!m_bufferPainted)
        DrawControl();
    m_inPaintEvent = false;
    const qreal ratio = m_backBuffer.devicePixelRatio();
    QPainter painter(viewport());
    painter.drawPixmap(QRectF(viewport()->rect()), m_backBuffer,
                       QRectF(horizontalOffset() * ratio, 0, viewport()->width() * ratio,
                              viewport()->height() * ratio));
}

void ListView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    containAndLog("ListView", [this] { Refresh(); });
}

void ListView::scrollContentsBy(int, int)
{
    // The bars only say where the picture starts; the picture is redrawn, never shifted.
    viewport()->update();
}

bool ListView::event(QEvent* event)
{
    if (event->type() == QEvent::Polish && !m_propertiesLoaded && !dynamicPropertyNames().isEmpty())
        containAndLog("ListView", [this] { LoadStoredProperties(); });
    return QAbstractScrollArea::event(event);
}

bool ListView::CustomDraw(std::int32_t, std::int32_t, std::int32_t&, std::int32_t&)
{
    return false;
}

void ListView::SetDrawCallback(ICustomDraw* callback)
{
    m_drawCallback = callback ? callback : this;
    DrawControl();
}

// ---- Properties ----

void ListView::setColor(Color& color, OleColor value, bool brush, bool pen)
{
    color.SetColor(value, brush, pen);
    DrawControl();
}

void ListView::setBackColor(OleColor color)
{
    setColor(m_backColor, color, true, false);
}
void ListView::SetForeColor(OleColor color)
{
    setColor(m_foreColor, color, false, false);
}
void ListView::SetSelectedBackColor(OleColor color)
{
    setColor(m_selectedBackColor, color, true, false);
}
void ListView::SetSelectedForeColor(OleColor color)
{
    setColor(m_selectedForeColor, color, false, false);
}
void ListView::SetFocusRectColor(OleColor color)
{
    setColor(m_focusRectColor, color, false, true);
}
void ListView::SetCheckboxColor(OleColor color)
{
    setColor(m_checkboxColor, color, false, true);
}
void ListView::SetCheckboxSelectedColor(OleColor color)
{
    setColor(m_checkboxSelectedColor, color, false, true);
}

void ListView::SetColumnsAutoSize(bool on)
{
    m_columnsAutoSize = on;
    Refresh();
}

void ListView::SetEnabled(bool on)
{
    m_enabled = on;
    Refresh();
}

void ListView::SetBorderStyle(std::int32_t style)
{
    m_borderStyle = style;
    switch (style) {
    case 0:
        setFrameStyle(QFrame::NoFrame);
        break;
    case 1: // a thin edge
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setLineWidth(1);
        break;
    case 2: // a sunken 3-D edge
        setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
        setLineWidth(2);
        break;
    default: // only a plain border would go, and the list never has one
        break;
    }
}

void ListView::SetFont(const QFont& font)
{
    m_font = font;
    ApplyFont();
    Refresh();
}

void ListView::SetColumnsVisible(bool on)
{
    m_columnsVisible = on;
    Refresh();
}

void ListView::SetOLEDropMode(std::int16_t mode)
{
    m_oleDropMode = mode;
    viewport()->setAcceptDrops(mode == 1);
}

void ListView::SetItemPaddingTop(std::int16_t pixels)
{
    m_paddingTop = pixels;
    Refresh();
}

void ListView::SetItemPaddingBottom(std::int16_t pixels)
{
    m_paddingBottom = pixels;
    Refresh();
}

void ListView::SetPicturesVisible(bool on)
{
    m_picturesVisible = on;
    Refresh();
}

} // namespace kardelo
