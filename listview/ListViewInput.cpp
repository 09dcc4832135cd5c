#include "EventLog.h"
#include "Formats.h"
#include "ListView.h"
#include "RuntimeError.h"

#include <QCursor>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>

namespace kardelo {

namespace {

constexpr float BorderGrip = 5.0f;
constexpr std::int32_t MinimumColumnWidth = 5;
constexpr float CheckboxLeft = 3.0f;
constexpr float CheckboxRight = 15.0f;
constexpr int AutoScrollMargin = 3;

constexpr std::int16_t LeftButtonCode = 1;
constexpr std::int16_t RightButtonCode = 2;
constexpr std::int16_t MiddleButtonCode = 4;

constexpr std::int16_t NoShift = 0;
constexpr std::int16_t ShiftKey = 1;
constexpr std::int16_t CtrlKey = 2;
constexpr std::int16_t AltKey = 4;

constexpr std::int16_t KeyCodeSpace = VK_SPACE;
constexpr std::int16_t KeyCodePageUp = VK_PRIOR;
constexpr std::int16_t KeyCodePageDown = VK_NEXT;
constexpr std::int16_t KeyCodeUp = VK_UP;
constexpr std::int16_t KeyCodeDown = VK_DOWN;

// The OLEDragOver states.
constexpr std::int32_t DragEnter = 0;
constexpr std::int32_t DragOver = 2;

// Copy, move and link have the same bits as the drop effects hosts know.
constexpr std::int32_t DropEffectMask = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

// The last control that saw a double click: the release that ends it is no click of its own.
const QObject* g_doubleClicked = nullptr;

std::int16_t buttonsCode(Qt::MouseButtons buttons)
{
    std::int16_t code = 0;
    if (buttons & Qt::LeftButton)
        code |= LeftButtonCode;
    if (buttons & Qt::RightButton)
        code |= RightButtonCode;
    if (buttons & Qt::MiddleButton)
        code |= MiddleButtonCode;
    return code;
}

std::int32_t roundToInt32(double value)
{
    constexpr double limit = 1e9;
    return static_cast<std::int32_t>(formats::roundHalfEven(std::clamp(value, -limit, limit)));
}

// Qt may not let an exception pass through its event delivery, and neither a host's event
// handler nor a table call may end the program from here.
template <typename Step> void guarded(Step&& step) noexcept
{
    containAndLog("ListView", std::forward<Step>(step));
}

void setAllSelected(ListItemCollection& items, bool selected)
{
    for (std::int32_t i = 0; i < items.ItemCount(); ++i)
        items.Item(i).Selected = selected;
}

std::optional<std::int16_t> keyCode(const QKeyEvent& event)
{
    const std::optional<WindowMessage> message = messageForEvent(event);
    if (!message)
        return std::nullopt;
    return static_cast<std::int16_t>(message->wParam);
}

} // namespace

std::int16_t ListView::shiftState(Qt::KeyboardModifiers modifiers)
{
    std::int16_t shift = NoShift;
    if (modifiers & Qt::ShiftModifier)
        shift |= ShiftKey;
    if (modifiers & Qt::ControlModifier)
        shift |= CtrlKey;
    if (modifiers & Qt::AltModifier)
        shift |= AltKey;
    return shift;
}

std::int32_t ListView::ColumnFromPoint(float X, float) const
{
    if (X >= static_cast<float>(m_totalWidth))
        return -1;
    const ColumnCollection& columns = m_table.Columns();
    std::int32_t left = 0;
    for (std::int32_t i = 0; i < columns.Count(); ++i) {
        const Column& column = columns.Item(i);
        if (!column.Visible)
            continue;
        const std::int32_t right = left + columnWidth(column);
        if (X >= static_cast<float>(left) && X < static_cast<float>(right))
            return i;
        left = right;
    }
    return -1;
}

std::int32_t ListView::RowFromPoint(float X, float y, bool HitTest) const
{
    // The whole-number part: a row starts at its top pixel line.
    const double height = std::max(ItemHeight(), 1);
    const std::int32_t row =
        m_scrollbars.Value(Scrollbars::Vertical) +
        roundToInt32(std::floor((static_cast<double>(y) - m_headerHeight) / height));
    if (!HitTest)
        return row;
    if (X < static_cast<float>(m_totalWidth) && row >= 0 && row < ItemCount())
        return row;
    return -1;
}

void ListView::MakeSureVisible(std::int32_t lngItem, std::int32_t lngColumn)
{
    m_scrollbars.Value(Scrollbars::Vertical, lngItem);
    if (lngColumn >= 0 && !m_columnsAutoSize && viewport()->width() < m_totalWidth) {
        const ColumnCollection& columns = m_table.Columns();
        std::int32_t offset = 0;
        for (std::int32_t i = 0; i < std::min(lngColumn, columns.Count()); ++i) {
            const Column& column = columns.Item(i);
            if (column.Visible)
                offset += column.Width;
        }
        m_scrollbars.Value(Scrollbars::Horizontal, offset);
    }
    DrawControl();
}

void ListView::SelectAll()
{
    if (m_multiSelect)
        setAllSelected(m_table.Items(), true);
}

void ListView::UnSelectAll()
{
    setAllSelected(m_table.Items(), false);
}

void ListView::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (!m_enabled)
        return;
    g_doubleClicked = nullptr;
    const std::int16_t button = buttonsCode(event->button());
    const std::int16_t shift = shiftState(event->modifiers());
    const auto y = static_cast<float>(event->position().y());
    const auto x = static_cast<float>(event->position().x() + horizontalOffset());
    guarded([&] {
        ListItemCollection& items = m_table.Items();
        const bool left = button == LeftButtonCode;

        if (x >= static_cast<float>(m_totalWidth)) {
            if (left)
                UnSelectAll();
            DrawControl();
            emit MouseDown(-1, button, shift, x, y);
            return;
        }

        if (m_columnsVisible && y >= 0 && y < static_cast<float>(m_headerHeight)) {
            ColumnCollection& columns = m_table.Columns();
            std::int32_t columnLeft = 0;
            for (std::int32_t i = 0; i < columns.Count(); ++i) {
                Column& column = columns.Item(i);
                if (!column.Visible)
                    continue;
                const std::int32_t right = columnLeft + columnWidth(column);
                if (std::abs(x - static_cast<float>(right)) < BorderGrip) {
                    if (column.Resizable) {
                        m_mouseState = Resizing;
                        m_resizeColumn = i;
                    }
                    return;
                }
                if (x >= static_cast<float>(columnLeft) + BorderGrip &&
                    x < static_cast<float>(right) - BorderGrip) {
                    column.Pushed = true;
                    m_mouseState = HeaderPressed;
                    DrawControl();
                    return;
                }
                columnLeft = right;
            }
            return;
        }

        if (y < static_cast<float>(m_headerHeight) || y >= static_cast<float>(viewport()->height()))
            return;
        const std::int32_t row = RowFromPoint(x, y);
        if (row < 0 || row >= items.ItemCount()) {
            if (left)
                UnSelectAll();
            DrawControl();
            emit MouseDown(-1, button, shift, x, y);
            return;
        }

        ListItem& item = items.Item(row);
        if (m_checkboxes && ColumnFromPoint(x, y) == 0 && x >= CheckboxLeft && x < CheckboxRight) {
            item.Checked = !item.Checked;
            emit ItemCheck(row);
            DrawControl();
            return;
        }

        if (shift == ShiftKey || !item.Selected) {
            if (m_multiSelect && shift == ShiftKey) {
                const std::int32_t last = items.ItemCount() - 1;
                const std::int32_t from = std::clamp(std::min(SelectedItem(), row), 0, last);
                const std::int32_t to = std::clamp(std::max(SelectedItem(), row), 0, last);
                for (std::int32_t i = from; i <= to; ++i)
                    items.Item(i).Selected = !m_deselectMode;
            } else if (!m_multiSelect || shift == NoShift) {
                UnSelectAll();
                if (m_multiSelect) {
                    m_mouseState = Selecting;
                    m_moveTimer.start();
                }
            }
        }
        if ((!m_multiSelect || item.Selected) && shift == NoShift) {
            m_mouseState = RowPressed;
            if (m_reorder)
                m_moveTimer.start();
            m_rowsMoved = false;
        }

        m_table.SetSelectedItem(row);
        if (shift == CtrlKey) {
            m_deselectMode = item.Selected;
            item.Selected = !item.Selected;
        } else if (shift == ShiftKey) {
            item.Selected = !m_deselectMode;
        } else {
            item.Selected = true;
            m_deselectMode = false;
        }
        m_anchorItem = row;

        DrawControl();
        emit MouseDown(row, button, shift, x, y);
    });
}

void ListView::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    const auto position = event->position();
    guarded([&] {
        handleMouseMove(buttonsCode(event->buttons()), shiftState(event->modifiers()),
                        static_cast<float>(position.x()), static_cast<float>(position.y()));
    });
}

void ListView::handleMouseMove(std::int16_t, std::int16_t, float X, float y)
{
    if (!m_enabled)
        return;
    const float x = X + static_cast<float>(horizontalOffset());
    ListItemCollection& items = m_table.Items();
    ColumnCollection& columns = m_table.Columns();

    switch (m_mouseState) {
    case Idle: {
        std::optional<Qt::CursorShape> shape;
        if (m_columnsVisible && y >= 0 && y < static_cast<float>(m_headerHeight)) {
            if (!m_columnsAutoSize) {
                std::int32_t right = 0;
                for (std::int32_t i = 0; i < columns.Count(); ++i) {
                    const Column& column = columns.Item(i);
                    if (!column.Visible)
                        continue;
                    right += columnWidth(column);
                    if (std::abs(x - static_cast<float>(right)) < BorderGrip) {
                        if (column.Resizable)
                            shape = Qt::SizeHorCursor;
                        break;
                    }
                }
            }
        } else if (y >= static_cast<float>(m_headerHeight) &&
                   y < static_cast<float>(viewport()->height())) {
            shape = Qt::ArrowCursor;
        }
        QWidget* area = viewport();
        if (!shape) {
            if (area->testAttribute(Qt::WA_SetCursor))
                area->unsetCursor();
        } else if (!area->testAttribute(Qt::WA_SetCursor) || m_cursor != *shape) {
            m_cursor = *shape;
            area->setCursor(*shape);
        }
        break;
    }
    case Resizing: {
        if (m_columnsAutoSize || m_resizeColumn < 0 || m_resizeColumn >= columns.Count())
            break;
        std::int32_t left = 0;
        for (std::int32_t i = 0; i < m_resizeColumn; ++i) {
            const Column& column = columns.Item(i);
            if (column.Visible)
                left += columnWidth(column);
        }
        columns.Item(m_resizeColumn).Width = std::max(
            roundToInt32(static_cast<double>(x) - static_cast<double>(left)), MinimumColumnWidth);
        Refresh();
        break;
    }
    case Selecting: {
        const std::int32_t count = items.ItemCount();
        if (count == 0)
            break;
        const std::int32_t row = std::clamp(RowFromPoint(x, y), 0, count - 1);
        const std::int32_t from = std::min(m_anchorItem, row);
        const std::int32_t to = std::max(m_anchorItem, row);
        for (std::int32_t i = 0; i < count; ++i)
            items.Item(i).Selected = i >= from && i <= to;
        if (SelectedItem() != row)
            m_table.SetSelectedItem(row);
        if (count > VisibleRowCount()) {
            const QPoint pointer = viewport()->mapFromGlobal(QCursor::pos());
            const int first = m_scrollbars.Value(Scrollbars::Vertical);
            if (pointer.y() > viewport()->height() - AutoScrollMargin)
                m_scrollbars.Value(Scrollbars::Vertical, first + 1);
            else if (pointer.y() < m_headerHeight)
                m_scrollbars.Value(Scrollbars::Vertical, first - 1);
        }
        DrawControl();
        break;
    }
    case RowPressed: {
        if (!m_reorder)
            break;
        const std::int32_t count = items.ItemCount();
        const std::int32_t delta = RowFromPoint(x, y) - SelectedItem();
        // The outermost selected row in the direction of the move decides whether all fit.
        if (delta > 0) {
            bool first = true;
            for (std::int32_t i = count - 1; i >= 0; --i) {
                if (!items.Item(i).Selected)
                    continue;
                if (first && i + delta > count - 1)
                    break;
                first = false;
                items.MoveItem(i, i + delta);
                if (i == SelectedItem())
                    m_table.SetSelectedItem(i + delta);
                m_rowsMoved = true;
            }
        } else if (delta < 0) {
            bool first = true;
            for (std::int32_t i = 0; i < count; ++i) {
                if (!items.Item(i).Selected)
                    continue;
                if (first && i + delta < 0)
                    break;
                first = false;
                items.MoveItem(i, i + delta);
                if (i == SelectedItem())
                    m_table.SetSelectedItem(i + delta);
                m_rowsMoved = true;
            }
        }
        if (m_rowsMoved) {
            emit ItemsMoved();
            DrawControl();
        }
        break;
    }
    case HeaderPressed:
        break;
    }
}

void ListView::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    const std::int16_t button = buttonsCode(event->button());
    const std::int16_t shift = shiftState(event->modifiers());
    const auto X = static_cast<float>(event->position().x());
    const auto y = static_cast<float>(event->position().y());
    const bool endsDoubleClick = g_doubleClicked == this;
    g_doubleClicked = nullptr;
    guarded([&] {
        if (button == LeftButtonCode && m_mouseState == RowPressed && !m_rowsMoved) {
            UnSelectAll();
            const std::int32_t current = SelectedItem();
            if (current >= 0 && current < ItemCount())
                m_table.Items().Item(current).Selected = true;
            DrawControl();
        }
        if (m_mouseState == HeaderPressed) {
            ColumnCollection& columns = m_table.Columns();
            for (std::int32_t i = 0; i < columns.Count(); ++i) {
                if (!columns.Item(i).Pushed)
                    continue;
                if (m_sortable)
                    m_table.SortByHeader(i);
                emit ColumnClick(i);
            }
            for (std::int32_t i = 0; i < columns.Count(); ++i)
                columns.Item(i).Pushed = false;
            DrawControl();
        }
    });
    m_mouseState = Idle;
    m_moveTimer.stop();
    guarded([&] {
        emit MouseUp(SelectedItem(), button, shift, X, y);
        const std::int32_t current = SelectedItem();
        if (m_enabled && !endsDoubleClick &&
            viewport()->rect().contains(event->position().toPoint()) && current >= 0 &&
            current < ItemCount())
            emit Click(current);
    });
}

void ListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
    if (!m_enabled)
        return;
    g_doubleClicked = this;
    guarded([&] {
        const std::int32_t current = SelectedItem();
        if (current >= 0 && current < ItemCount() && m_table.ItemSelected(current))
            emit DblClick(current);
    });
}

void ListView::keyPressEvent(QKeyEvent* event)
{
    if (!m_enabled) {
        event->ignore();
        return;
    }
    std::int16_t code = keyCode(*event).value_or(0);
    std::int16_t shift = shiftState(event->modifiers());
    bool handled = false;
    guarded([&] {
        emit KeyDown(code, shift);
        ListItemCollection& items = m_table.Items();
        const std::int32_t count = items.ItemCount();
        const std::int32_t current = SelectedItem();
        switch (code) {
        case KeyCodeSpace:
            handled = true;
            if (current >= 0 && current < count) {
                ListItem& item = items.Item(current);
                if (shift == CtrlKey && m_multiSelect) {
                    item.Selected = !item.Selected;
                    m_deselectMode = !item.Selected;
                }
                if (m_checkboxes)
                    item.Checked = !item.Checked;
            }
            break;
        case KeyCodeUp:
        case KeyCodeDown:
        case KeyCodePageUp:
        case KeyCodePageDown: {
            handled = true;
            if (shift == NoShift || !m_multiSelect) {
                UnSelectAll();
                m_deselectMode = false;
            }
            if (count > 0) {
                const std::int32_t page = VisibleRowCount() - 1;
                const bool down = code == KeyCodeDown || code == KeyCodePageDown;
                const std::int32_t step = (code == KeyCodeUp || code == KeyCodeDown) ? 1 : page;
                const std::int32_t row =
                    down ? std::min(current + step, count - 1) : std::max(current - step, 0);
                m_table.SetSelectedItem(row);
                const std::int32_t first = m_scrollbars.Value(Scrollbars::Vertical);
                if (down && row > first + page - 1)
                    m_scrollbars.Value(Scrollbars::Vertical,
                                       code == KeyCodeDown ? first + 1 : first + page);
                else if (!down && row < first)
                    m_scrollbars.Value(Scrollbars::Vertical,
                                       code == KeyCodeUp ? first - 1 : first - page);
            }
            const std::int32_t row = SelectedItem();
            if (!(shift == CtrlKey && m_multiSelect) && row >= 0 && row < count)
                items.Item(row).Selected = !m_deselectMode;
            // Raised once the row is selected: a host that asks for the selection finds it.
            emit Click(row);
            break;
        }
        default:
            break;
        }
        DrawControl();
        const QString text = event->text();
        if (!text.isEmpty()) {
            auto ascii = static_cast<std::int16_t>(text.at(0).unicode());
            emit KeyPress(ascii);
        }
    });
    event->setAccepted(handled);
}

void ListView::keyReleaseEvent(QKeyEvent* event)
{
    if (!m_enabled) {
        event->ignore();
        return;
    }
    event->accept();
    const std::optional<std::int16_t> code = keyCode(*event);
    if (!code)
        return;
    const std::int16_t shift = shiftState(event->modifiers());
    guarded([&] { emit KeyUp(*code, shift); });
}

void ListView::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    m_hasFocus = true;
    guarded([this] { DrawControl(); });
}

void ListView::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    m_hasFocus = false;
    guarded([this] { DrawControl(); });
}

namespace {

// The host's answer becomes Qt's drop action: the proposed one when the host allows it, else
// the first it allows, else none.
bool applyEffect(QDropEvent& event, std::int32_t effect)
{
    effect &= DropEffectMask;
    const Qt::DropAction proposed = event.proposedAction();
    if (effect & proposed) {
        event.setDropAction(proposed);
    } else if (effect & Qt::CopyAction) {
        event.setDropAction(Qt::CopyAction);
    } else if (effect & Qt::MoveAction) {
        event.setDropAction(Qt::MoveAction);
    } else if (effect & Qt::LinkAction) {
        event.setDropAction(Qt::LinkAction);
    } else {
        event.ignore();
        return false;
    }
    event.accept();
    return true;
}

} // namespace

void ListView::dragEnterEvent(QDragEnterEvent* event)
{
    dragMoveEvent(event);
}

void ListView::dragMoveEvent(QDragMoveEvent* event)
{
    event->ignore();
    if (!m_enabled || m_oleDropMode != 1)
        return;
    const std::int32_t state = event->type() == QEvent::DragEnter ? DragEnter : DragOver;
    guarded([&] {
        std::int32_t effect = static_cast<std::int32_t>(event->possibleActions()) & DropEffectMask;
        const QPointF at = event->position();
        emit OLEDragOver(event->mimeData(), effect, buttonsCode(event->buttons()),
                         shiftState(event->modifiers()), static_cast<float>(at.x()),
                         static_cast<float>(at.y()), state);
        applyEffect(*event, effect);
    });
}

void ListView::dropEvent(QDropEvent* event)
{
    event->ignore();
    if (!m_enabled || m_oleDropMode != 1)
        return;
    guarded([&] {
        std::int32_t effect = static_cast<std::int32_t>(event->possibleActions()) & DropEffectMask;
        const QPointF at = event->position();
        emit OLEDragDrop(event->mimeData(), effect, buttonsCode(event->buttons()),
                         shiftState(event->modifiers()), static_cast<float>(at.x()),
                         static_cast<float>(at.y()));
        applyEffect(*event, effect);
    });
}

void ListView::onMoveTimer()
{
    guarded([this] {
        const QPoint pointer = viewport()->mapFromGlobal(QCursor::pos());
        const int first = m_scrollbars.Value(Scrollbars::Vertical);
        if (ItemCount() - VisibleRowCount() >= 0 &&
            pointer.y() > viewport()->height() - AutoScrollMargin)
            m_scrollbars.Value(Scrollbars::Vertical, first + 1);
        else if (pointer.y() < m_headerHeight - AutoScrollMargin)
            m_scrollbars.Value(Scrollbars::Vertical, first - 1);
        else
            return;
        handleMouseMove(LeftButtonCode, NoShift, static_cast<float>(pointer.x()),
                        static_cast<float>(pointer.y()));
    });
}

} // namespace kardelo
