#include "DriveRowMenu.h"

#include "DriveList.h"
#include "EventLog.h"
#include "ListView.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <algorithm>

namespace kardelo {

DriveRowMenu::DriveRowMenu(ListView& list) : QObject(&list), m_list(list)
{
    list.installEventFilter(this);
    list.viewport()->installEventFilter(this);
}

DriveRowMenu::~DriveRowMenu()
{
    delete m_menu.data();
}

void DriveRowMenu::addEntry(const QString& text, std::function<void(const QString&)> action)
{
    m_entries.push_back({text, std::move(action)});
}

std::int32_t DriveRowMenu::selectedDriveRow() const
{
    std::int32_t found = -1;
    ignoreErrors([&] {
        for (std::int32_t row = 0; row < m_list.ItemCount(); ++row) {
            if (m_list.ItemText(row, DriveColumnDevice).isEmpty())
                return;
            if (m_list.Table().ItemSelected(row)) {
                found = row;
                return;
            }
        }
    });
    return found;
}

bool DriveRowMenu::eventFilter(QObject* watched, QEvent* event)
{
    bool handled = false;
    containAndLog("DriveRowMenu", [&] {
        if (event->type() == QEvent::ContextMenu) {
            auto* request = static_cast<QContextMenuEvent*>(event);
            // The context-menu key arrives as a key press as well, which opens the menu below.
            if (request->reason() != QContextMenuEvent::Mouse) {
                handled = true;
                return;
            }
            if (watched != m_list.viewport())
                return;
            const QPoint at = request->pos();
            const std::int32_t row = m_list.RowFromPoint(
                static_cast<float>(at.x() + m_list.ScrollBars().Value(Scrollbars::Horizontal)),
                static_cast<float>(at.y()), true);
            popUp(row, request->globalPos());
            handled = true;
        } else if (event->type() == QEvent::KeyPress && watched == &m_list) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool menuKey =
                key->key() == Qt::Key_Menu ||
                (key->key() == Qt::Key_F10 &&
                 (key->modifiers() & Qt::KeyboardModifierMask) == Qt::ShiftModifier);
            if (!menuKey || !m_list.isEnabled())
                return;
            const std::int32_t row = selectedDriveRow();
            const int first = m_list.ScrollBars().Value(Scrollbars::Vertical);
            const int top = m_list.HeaderHeight() + (row - first) * m_list.ItemHeight();
            const QPoint below(
                24, std::clamp(top + m_list.ItemHeight(), 0, m_list.viewport()->height()));
            popUp(row, m_list.viewport()->mapToGlobal(below));
            handled = true;
        }
    });
    return handled || QObject::eventFilter(watched, event);
}

bool DriveRowMenu::popUp(std::int32_t row, QPoint globalPosition)
{
    if (row < 0 || row >= m_list.ItemCount() || m_entries.empty())
        return false;
    const QString drive = m_list.ItemText(row, DriveColumnDevice);
    if (drive.isEmpty())
        return false;
    delete m_menu.data();
    m_menu = new QMenu(&m_list);
    m_menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const Entry& entry : m_entries) {
        connect(m_menu->addAction(entry.text), &QAction::triggered, this,
                [action = entry.action, drive] {
                    containAndLog("DriveRowMenu", [&] { action(drive); });
                });
    }
    m_menu->popup(globalPosition);
    return true;
}

} // namespace kardelo
