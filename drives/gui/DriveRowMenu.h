#pragma once

#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <functional>
#include <vector>

namespace kardelo {

class ListView;

// A menu on the drive rows of the drive list, opened by the right mouse button on a row, or by
// the context-menu key or Shift+F10 on the selected row. A filler row has none. Each entry is
// handed the mount point of the row it was opened on; the list may have been rebuilt by then,
// so the host looks the drive up anew.
class DriveRowMenu : public QObject {
    Q_OBJECT

public:
    explicit DriveRowMenu(ListView& list);
    ~DriveRowMenu() override;

    void addEntry(const QString& text, std::function<void(const QString& drive)> action);
    // The menu while it is open, else null.
    QMenu* openMenu() const { return m_menu; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry {
        QString text;
        std::function<void(const QString&)> action;
    };
    // False for a filler row or no row at all.
    bool popUp(std::int32_t row, QPoint globalPosition);
    std::int32_t selectedDriveRow() const;

    ListView& m_list;
    std::vector<Entry> m_entries;
    QPointer<QMenu> m_menu;
};

} // namespace kardelo
