#pragma once

#include "ColumnCollection.h"
#include "IndexOrKey.h"
#include "ListItemCollection.h"

#include <QString>
#include <cstdint>
#include <span>

namespace kardelo {

// How the table asks its control to show a change: redraw repaints (nothing while drawing is
// switched off), refresh lays out, sets the vertical scroll range and repaints, and the scroll
// range alone follows row insertions and removals.
class ListTableView {
public:
    virtual ~ListTableView() = default;
    virtual void redraw() = 0;
    virtual void refresh() = 0;
    virtual void updateVerticalScrollRange() = 0;
};

// The list control's table: columns, rows, the current row and the operations hosts call.
// Usable without a window; the control passes itself as the view.
class ListTable {
public:
    explicit ListTable(ListTableView* view = nullptr) : m_view(view) {}

    ColumnCollection& Columns() { return m_columns; }
    const ColumnCollection& Columns() const { return m_columns; }
    ListItemCollection& Items() { return m_items; }
    const ListItemCollection& Items() const { return m_items; }

    // Columns are fixed while the list holds rows: RuntimeError(ColumnsFixedWhileItems).
    Column& AddColumn(const QString& key = {}, const QString& caption = {},
                      std::int32_t textAlign = 0, std::int32_t width = 300, bool resizable = true,
                      bool visible = true);
    void RemoveColumn(const IndexOrKey& index);
    std::int32_t ColumnCount() const { return m_columns.Count(); }
    // The position of the column whose key equals key exactly; 0 when none does.
    std::int32_t ColumnIndex(const QString& key) const;
    QString ColumnKey(const IndexOrKey& index) const { return m_columns.Item(index).key; }
    QString ColumnCaption(const IndexOrKey& index) const { return m_columns.Item(index).Caption; }
    void SetColumnCaption(const IndexOrKey& index, const QString& caption);
    std::int32_t ColumnWidth(const IndexOrKey& index) const { return m_columns.Item(index).Width; }
    void SetColumnWidth(const IndexOrKey& index, std::int32_t width);
    bool ColumnResizable(const IndexOrKey& index) const { return m_columns.Item(index).Resizable; }
    void SetColumnResizable(const IndexOrKey& index, bool resizable);
    std::int32_t ColumnTextAlign(const IndexOrKey& index) const;
    void SetColumnTextAlign(const IndexOrKey& index, std::int32_t align);
    bool ColumnVisible(const IndexOrKey& index) const { return m_columns.Item(index).Visible; }
    void SetColumnVisible(const IndexOrKey& index, bool visible);

    // RuntimeError(ItemsNeedColumns) without columns. Returns the new row's position.
    std::int32_t AddItem(std::int32_t insertAt = -1, const QString& text = {},
                         std::int32_t pictureIndex = -1);
    // AddItem with every text at once, as one SetItemText per column would leave it.
    std::int32_t AddRow(std::span<const QString> texts, std::int32_t insertAt = -1,
                        std::int32_t pictureIndex = -1);
    void RemoveItem(std::int32_t index);
    void MoveItem(std::int32_t indexFrom, std::int32_t indexTo);
    void Clear();
    std::int32_t ItemCount() const { return m_items.ItemCount(); }
    QString ItemText(std::int32_t index, std::int32_t column) const;
    void SetItemText(std::int32_t index, std::int32_t column, const QString& text);
    std::int32_t ItemTag(std::int32_t index) const { return m_items.Item(index).Tag; }
    void SetItemTag(std::int32_t index, std::int32_t tag);
    bool ItemSelected(std::int32_t index) const { return m_items.Item(index).Selected; }
    void SetItemSelected(std::int32_t index, bool selected);
    bool ItemChecked(std::int32_t index) const { return m_items.Item(index).Checked; }
    void SetItemChecked(std::int32_t index, bool checked);
    // The current row (drawn with the focus mark), -1 for none: a position, not an item.
    std::int32_t SelectedItem() const { return m_selectedItem; }
    void SetSelectedItem(std::int32_t position);

    // Sorts by the column keyed key (exact match; an unknown key sorts by column 0). Neither
    // repaints nor touches the columns' next header-click order.
    void Sort(const QString& key, std::int32_t sortOrder);
    // A click on a column's header: sorts with that column's next order and alternates it.
    void SortByHeader(std::int32_t column);

private:
    void redraw();
    void refresh();
    void checkNoItems() const;

    ListTableView* m_view;
    ColumnCollection m_columns;
    ListItemCollection m_items;
    std::int32_t m_selectedItem = -1;
};

} // namespace kardelo
