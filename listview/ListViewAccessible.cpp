#include "ListViewAccessible.h"

#include "EventLog.h"
#include "ListView.h"
#include "RuntimeError.h"

#include <QAccessibleWidget>
#include <QMouseEvent>
#include <algorithm>
#include <functional>
#include <limits>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kardelo {

namespace {

using Columns = std::vector<std::int32_t>;

std::int32_t shownWidth(const ListView& list, const Column& column)
{
    return list.ColumnsAutoSize() ? column.WidthAutoSized : column.Width;
}

// The columns a reader is told about, by position: the visible ones wide enough to show text.
// A one-pixel rule between two columns shows none, so it is not announced as an empty column.
Columns readableColumns(const ListView& list)
{
    Columns columns;
    const ColumnCollection& all = list.Table().Columns();
    const std::int32_t padding = list.ItemPaddingLeft() + list.ItemPaddingRight();
    for (std::int32_t i = 0; i < all.Count(); ++i) {
        const Column& column = all.Item(i);
        if (column.Visible && shownWidth(list, column) - padding >= 1)
            columns.push_back(i);
    }
    return columns;
}

int indexIn(const Columns& columns, std::int32_t position)
{
    const auto found = std::find(columns.begin(), columns.end(), position);
    return found == columns.end() ? -1 : static_cast<int>(found - columns.begin());
}

std::int32_t firstShownRow(ListView& list)
{
    return std::clamp(list.ScrollBars().Value(Scrollbars::Vertical), 0,
                      std::max(list.ItemCount() - 1, 0));
}

std::int32_t horizontalOffset(ListView& list)
{
    return list.TotalWidth() > list.viewport()->width()
               ? list.ScrollBars().Value(Scrollbars::Horizontal)
               : 0;
}

// A cell (row -1: the column's header) in the coordinates of the list's viewport, as painted.
QRect cellArea(ListView& list, std::int32_t row, std::int32_t position)
{
    const ColumnCollection& columns = list.Table().Columns();
    std::int32_t left = -horizontalOffset(list);
    for (std::int32_t i = 0; i < position; ++i)
        if (columns.Item(i).Visible)
            left += shownWidth(list, columns.Item(i));
    const std::int32_t width = shownWidth(list, columns.Item(position));
    if (row < 0)
        return {left, 0, width, list.HeaderHeight()};
    return {left, list.HeaderHeight() + (row - firstShownRow(list)) * list.ItemHeight(), width,
            list.ItemHeight()};
}

// What a reader was last told about the list.
struct Shown {
    std::int32_t rows = 0;
    Columns columns;
    std::int32_t current = -1;
    bool focused = false;
    std::vector<std::int32_t> selected;
};

Shown shownOf(ListView& list)
{
    Shown shown;
    ignoreErrors([&] {
        shown.rows = list.ItemCount();
        shown.columns = readableColumns(list);
        shown.current = list.SelectedItem();
        shown.focused = list.hasFocus();
        for (std::int32_t row = 0; row < shown.rows; ++row)
            if (list.Table().ItemSelected(row))
                shown.selected.push_back(row);
    });
    return shown;
}

// Collects the moments at which what the list shows may have changed and reports them once
// the event loop is back, so that a rebuild of many rows is announced once, in its final state.
class ChangeWatcher final : public QObject {
public:
    ChangeWatcher(ListView& list, std::function<void(bool content)> report)
        : m_report(std::move(report))
    {
        connect(&list, &ListView::TableChanged, this, [this] { schedule(true); });
        connect(&list, &ListView::ColumnClick, this, [this] { schedule(true); });
        connect(&list, &ListView::ItemsMoved, this, [this] { schedule(true); });
        // The mouse and the keys change the selection and the current row without the table.
        list.installEventFilter(this);
        list.viewport()->installEventFilter(this);
    }

    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::FocusIn:
        case QEvent::FocusOut:
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
            schedule(false);
            break;
        case QEvent::MouseMove:
            if (static_cast<QMouseEvent*>(event)->buttons() != Qt::NoButton)
                schedule(false);
            break;
        default:
            break;
        }
        return false;
    }

private:
    void schedule(bool content)
    {
        m_content = m_content || content;
        if (m_pending)
            return;
        m_pending = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_pending = false;
                const bool changed = std::exchange(m_content, false);
                containAndLog("ListView accessibility", [&] { m_report(changed); });
            },
            Qt::QueuedConnection);
    }

    std::function<void(bool)> m_report;
    bool m_pending = false;
    bool m_content = false;
};

class ListCellAccessible;

// The list as a table. Its children are the column headers, then the cells row by row, all
// of the readable columns only.
class ListViewAccessible final : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    enum class Pick { Only, Add, Remove };

    explicit ListViewAccessible(ListView* list)
        : QAccessibleWidget(list, QAccessible::Table), m_shown(shownOf(*list)),
          m_watcher(std::make_unique<ChangeWatcher>(
              *list, [this](bool content) { announceChanges(content); }))
    {}
    ~ListViewAccessible() override { retireCells(); }

    ListView* list() const { return qobject_cast<ListView*>(object()); }

    // The interface of a cell (row -1: a column's header), made once and kept until the rows
    // or the readable columns change shape.
    QAccessibleInterface* cell(std::int32_t row, std::int32_t position) const;
    int childIndex(std::int32_t row, std::int32_t position) const;
    // Selection as a click makes it: the row becomes the current one and the host hears of
    // it through Click. False when the list takes no input now or the row does not exist.
    bool pick(std::int32_t row, Pick pick);

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        if (const ListView* view = list(); view && view->MultiSelect())
            state.multiSelectable = state.extSelectable = true;
        return state;
    }
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // QAccessibleTableInterface: columns are counted among the readable ones.
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override { return selectedRowCount() * columnCount(); }
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int column) const override;
    QString rowDescription(int) const override { return {}; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return static_cast<int>(selectedRows().size()); }
    int columnCount() const override
    {
        const ListView* view = list();
        return view ? static_cast<int>(readableColumns(*view).size()) : 0;
    }
    int rowCount() const override
    {
        const ListView* view = list();
        return view ? view->ItemCount() : 0;
    }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override;
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override;
    bool selectRow(int row) override { return pick(row, Pick::Add); }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int row) override { return pick(row, Pick::Remove); }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent* event) override
    {
        if (event->modelChangeType() != QAccessibleTableModelChangeEvent::DataChanged)
            retireCells();
    }

private:
    void announceChanges(bool contentChanged);
    void retireCells();

    mutable std::unordered_map<std::int64_t, QAccessible::Id> m_cells;
    Shown m_shown;
    std::unique_ptr<ChangeWatcher> m_watcher;
};

// One cell of the list, or the header of one column (row -1). It is a position: its text is
// read from the table whenever asked, so sorting or new texts never leave it stale.
class ListCellAccessible final : public QAccessibleInterface,
                                 public QAccessibleTableCellInterface,
                                 public QAccessibleActionInterface {
public:
    ListCellAccessible(ListViewAccessible& table, std::int32_t row, std::int32_t position)
        : m_table(table), m_row(row), m_position(position)
    {}

    std::int32_t row() const { return m_row; }
    std::int32_t position() const { return m_position; }
    const ListViewAccessible& owner() const { return m_table; }

    bool isValid() const override
    {
        const ListView* list = m_table.list();
        return list && m_position < list->ColumnCount() && m_row < list->ItemCount();
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_table.window(); }
    QAccessibleInterface* parent() const override { return &m_table; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override
    {
        QString text;
        if (t == QAccessible::Name && isValid())
            ignoreErrors([&] {
                const ListView& list = *m_table.list();
                text = m_row < 0 ? list.Table().ColumnCaption(m_position)
                                 : list.ItemText(m_row, m_position);
            });
        return text;
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override
    {
        if (!isValid())
            return {};
        ListView& list = *m_table.list();
        const QRect area = cellArea(list, m_row, m_position);
        return {list.viewport()->mapToGlobal(area.topLeft()), area.size()};
    }
    QAccessible::Role role() const override
    {
        return m_row < 0 ? QAccessible::ColumnHeader : QAccessible::Cell;
    }
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (m_row < 0)
            return nullptr;
        if (type == QAccessible::TableCellInterface)
            return static_cast<QAccessibleTableCellInterface*>(this);
        if (type == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }

    // QAccessibleTableCellInterface
    bool isSelected() const override { return m_table.isRowSelected(m_row); }
    QList<QAccessibleInterface*> columnHeaderCells() const override
    {
        return {m_table.cell(-1, m_position)};
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override
    {
        const ListView* list = m_table.list();
        return list ? indexIn(readableColumns(*list), m_position) : -1;
    }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return &m_table; }

    // QAccessibleActionInterface: "Press" picks the row alone, as a click does; "Toggle" adds
    // it to the selection or takes it out, as a click with Ctrl does.
    QStringList actionNames() const override { return {pressAction(), toggleAction()}; }
    void doAction(const QString& name) override
    {
        using Pick = ListViewAccessible::Pick;
        if (name == pressAction())
            m_table.pick(m_row, Pick::Only);
        else if (name == toggleAction())
            m_table.pick(m_row, isSelected() ? Pick::Remove : Pick::Add);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    ListViewAccessible& m_table;
    std::int32_t m_row;
    std::int32_t m_position;
};

QAccessible::State ListCellAccessible::state() const
{
    QAccessible::State state;
    if (!isValid()) {
        state.invalid = true;
        return state;
    }
    ListView& list = *m_table.list();
    const QRect area = cellArea(list, m_row, m_position);
    const QRect rows(0, list.HeaderHeight(), list.viewport()->width(),
                     list.viewport()->height() - list.HeaderHeight());
    if (m_row < 0) {
        state.invisible = !list.ColumnsVisible();
        state.offscreen = !list.viewport()->rect().intersects(area);
        return state;
    }
    state.offscreen = !rows.intersects(area);
    state.disabled = !list.Enabled() || !list.isEnabled();
    state.selectable = state.focusable = true;
    state.selected = isSelected();
    state.focused = list.hasFocus() && m_row == list.SelectedItem() &&
                    columnIndex() == 0; // the cell that took the focus event
    if (list.Checkboxes() && m_position == 0) {
        state.checkable = true;
        ignoreErrors([&] { state.checked = list.Table().ItemChecked(m_row); });
    }
    return state;
}

QAccessibleInterface* ListViewAccessible::cell(std::int32_t row, std::int32_t position) const
{
    const std::int64_t key = static_cast<std::int64_t>(row) * (std::int64_t{1} << 32) + position;
    if (const auto found = m_cells.find(key); found != m_cells.end())
        if (QAccessibleInterface* known = QAccessible::accessibleInterface(found->second))
            return known;
    // Qt's cache owns the interface from here on; retireCells gives it back.
    auto* made = new ListCellAccessible(const_cast<ListViewAccessible&>(*this), row, position);
    m_cells[key] = QAccessible::registerAccessibleInterface(made);
    return made;
}

void ListViewAccessible::retireCells()
{
    for (const auto& [key, id] : std::exchange(m_cells, {}))
        QAccessible::deleteAccessibleInterface(id);
}

int ListViewAccessible::childIndex(std::int32_t row, std::int32_t position) const
{
    const ListView* view = list();
    if (!view)
        return -1;
    const Columns columns = readableColumns(*view);
    const int column = indexIn(columns, position);
    if (column < 0)
        return -1;
    const std::int64_t index =
        static_cast<std::int64_t>(row + 1) * static_cast<std::int64_t>(columns.size()) + column;
    return index <= std::numeric_limits<int>::max() ? static_cast<int>(index) : -1;
}

int ListViewAccessible::childCount() const
{
    const ListView* view = list();
    if (!view)
        return 0;
    const std::int64_t count = static_cast<std::int64_t>(view->ItemCount() + 1) *
                               static_cast<std::int64_t>(readableColumns(*view).size());
    return static_cast<int>(std::min<std::int64_t>(count, std::numeric_limits<int>::max()));
}

QAccessibleInterface* ListViewAccessible::child(int index) const
{
    const ListView* view = list();
    if (!view || index < 0)
        return nullptr;
    const Columns columns = readableColumns(*view);
    if (columns.empty())
        return nullptr;
    const int width = static_cast<int>(columns.size());
    const std::int32_t row = index / width - 1;
    if (row >= view->ItemCount())
        return nullptr;
    return cell(row, columns[static_cast<std::size_t>(index % width)]);
}

int ListViewAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    const auto* cell = dynamic_cast<const ListCellAccessible*>(child);
    if (!cell || &cell->owner() != this || !cell->isValid())
        return -1;
    return childIndex(cell->row(), cell->position());
}

QAccessibleInterface* ListViewAccessible::childAt(int x, int y) const
{
    ListView* view = list();
    if (!view)
        return nullptr;
    const QPoint point = view->viewport()->mapFromGlobal(QPoint(x, y));
    if (!view->viewport()->rect().contains(point))
        return nullptr;
    std::int32_t row = -1;
    if (point.y() >= view->HeaderHeight()) {
        row = firstShownRow(*view) + (point.y() - view->HeaderHeight()) / view->ItemHeight();
        if (row >= view->ItemCount())
            return nullptr;
    }
    for (const std::int32_t position : readableColumns(*view))
        if (const QRect area = cellArea(*view, row, position);
            point.x() >= area.left() && point.x() <= area.right())
            return cell(row, position);
    return nullptr;
}

QAccessibleInterface* ListViewAccessible::focusChild() const
{
    ListView* view = list();
    if (!view || !view->hasFocus())
        return nullptr;
    const Columns columns = readableColumns(*view);
    const std::int32_t current = view->SelectedItem();
    if (columns.empty() || current < 0 || current >= view->ItemCount())
        return nullptr;
    return cell(current, columns.front());
}

QAccessibleInterface* ListViewAccessible::cellAt(int row, int column) const
{
    const ListView* view = list();
    if (!view || row < 0 || row >= view->ItemCount() || column < 0)
        return nullptr;
    const Columns columns = readableColumns(*view);
    if (static_cast<std::size_t>(column) >= columns.size())
        return nullptr;
    return cell(row, columns[static_cast<std::size_t>(column)]);
}

QList<QAccessibleInterface*> ListViewAccessible::selectedCells() const
{
    QList<QAccessibleInterface*> cells;
    const ListView* view = list();
    if (!view)
        return cells;
    const Columns columns = readableColumns(*view);
    for (const int row : selectedRows())
        for (const std::int32_t position : columns)
            cells.append(cell(row, position));
    return cells;
}

QString ListViewAccessible::columnDescription(int column) const
{
    const ListView* view = list();
    if (!view || column < 0)
        return {};
    const Columns columns = readableColumns(*view);
    if (static_cast<std::size_t>(column) >= columns.size())
        return {};
    return view->Table().ColumnCaption(columns[static_cast<std::size_t>(column)]);
}

QList<int> ListViewAccessible::selectedRows() const
{
    QList<int> rows;
    const ListView* view = list();
    if (!view)
        return rows;
    for (std::int32_t row = 0; row < view->ItemCount(); ++row)
        if (view->Table().ItemSelected(row))
            rows.append(row);
    return rows;
}

bool ListViewAccessible::isRowSelected(int row) const
{
    const ListView* view = list();
    return view && row >= 0 && row < view->ItemCount() && view->Table().ItemSelected(row);
}

bool ListViewAccessible::pick(std::int32_t row, Pick pick)
{
    ListView* view = list();
    if (!view || !view->Enabled() || !view->isEnabled() || row < 0 || row >= view->ItemCount())
        return false;
    bool picked = false;
    ignoreErrors([&] {
        if (pick == Pick::Only || (pick == Pick::Add && !view->MultiSelect()))
            view->UnSelectAll();
        view->Table().SetItemSelected(row, pick != Pick::Remove);
        view->SetSelectedItem(row);
        picked = true;
    });
    if (picked)
        // After the reader's request has returned, so that whatever the host shows then (a
        // message box) does not keep the reader waiting.
        QMetaObject::invokeMethod(
            view,
            [view, row] {
                if (row < view->ItemCount())
                    emit view->Click(row);
            },
            Qt::QueuedConnection);
    return picked;
}

void ListViewAccessible::announceChanges(bool contentChanged)
{
    ListView* view = list();
    if (!view)
        return;
    Shown now = shownOf(*view);
    const bool reshaped = now.rows != m_shown.rows || now.columns != m_shown.columns;
    const auto cellEvent = [&](std::int32_t row, QAccessible::Event type) {
        QAccessibleEvent event(view, type);
        event.setChild(childIndex(row, now.columns.front()));
        QAccessible::updateAccessibility(&event);
    };
    if (reshaped) {
        retireCells();
        QAccessibleTableModelChangeEvent reset(view, QAccessibleTableModelChangeEvent::ModelReset);
        QAccessible::updateAccessibility(&reset);
    } else if (!now.columns.empty()) {
        if (contentChanged && now.rows > 0) {
            QAccessibleTableModelChangeEvent changed(view,
                                                     QAccessibleTableModelChangeEvent::DataChanged);
            changed.setFirstRow(0);
            changed.setLastRow(now.rows - 1);
            changed.setFirstColumn(0);
            changed.setLastColumn(static_cast<int>(now.columns.size()) - 1);
            QAccessible::updateAccessibility(&changed);
        }
        std::vector<std::int32_t> toggled;
        std::set_symmetric_difference(m_shown.selected.begin(), m_shown.selected.end(),
                                      now.selected.begin(), now.selected.end(),
                                      std::back_inserter(toggled));
        // Row by row up to a page of them; beyond that (select all) one event for the table.
        if (static_cast<std::int32_t>(toggled.size()) <= std::max(view->VisibleRowCount(), 1)) {
            for (const std::int32_t row : toggled)
                cellEvent(row, QAccessible::Selection);
        } else {
            QAccessibleEvent within(view, QAccessible::SelectionWithin);
            QAccessible::updateAccessibility(&within);
        }
    }
    const bool currentValid = now.current >= 0 && now.current < now.rows;
    if (now.focused && currentValid && !now.columns.empty() &&
        (reshaped || !m_shown.focused || now.current != m_shown.current))
        cellEvent(now.current, QAccessible::Focus);
    m_shown = std::move(now);
}

QAccessibleInterface* listViewFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String(ListView::staticMetaObject.className()) && object &&
        object->isWidgetType())
        return new ListViewAccessible(static_cast<ListView*>(object));
    return nullptr;
}

} // namespace

void installListViewAccessibility()
{
    // Qt ignores a factory it holds already.
    QAccessible::installFactory(listViewFactory);
}

} // namespace kardelo
