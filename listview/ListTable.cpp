#include "ListTable.h"

#include "RuntimeError.h"

namespace kardelo {

void ListTable::redraw()
{
    if (m_view)
        m_view->redraw();
}

void ListTable::refresh()
{
    if (m_view)
        m_view->refresh();
}

void ListTable::checkNoItems() const
{
    if (m_items.ItemCount() > 0)
        throw RuntimeError(ErrorCode::ColumnsFixedWhileItems);
}

Column& ListTable::AddColumn(const QString& key, const QString& caption, std::int32_t textAlign,
                             std::int32_t width, bool resizable, bool visible)
{
    checkNoItems();
    Column& column = m_columns.Add(key);
    column.Caption = caption;
    column.TextAlign = textAlign;
    column.Width = width;
    column.Resizable = resizable;
    column.Visible = visible;
    m_items.SetColumnCount(m_columns.Count());
    refresh();
    return column;
}

void ListTable::RemoveColumn(const IndexOrKey& index)
{
    checkNoItems();
    m_columns.Remove(index);
    m_items.SetColumnCount(m_columns.Count());
    refresh();
}

std::int32_t ListTable::ColumnIndex(const QString& key) const
{
    for (std::int32_t i = 0; i < m_columns.Count(); ++i)
        if (m_columns.Item(i).key == key)
            return i;
    return 0;
}

void ListTable::SetColumnCaption(const IndexOrKey& index, const QString& caption)
{
    m_columns.Item(index).Caption = caption;
    redraw();
}

void ListTable::SetColumnWidth(const IndexOrKey& index, std::int32_t width)
{
    m_columns.Item(index).Width = width;
    refresh();
}

void ListTable::SetColumnResizable(const IndexOrKey& index, bool resizable)
{
    m_columns.Item(index).Resizable = resizable;
    refresh();
}

std::int32_t ListTable::ColumnTextAlign(const IndexOrKey& index) const
{
    return m_columns.Item(index).TextAlign;
}

void ListTable::SetColumnTextAlign(const IndexOrKey& index, std::int32_t align)
{
    m_columns.Item(index).TextAlign = align;
    redraw();
}

void ListTable::SetColumnVisible(const IndexOrKey& index, bool visible)
{
    m_columns.Item(index).Visible = visible;
    refresh();
}

std::int32_t ListTable::AddItem(std::int32_t insertAt, const QString& text,
                                std::int32_t pictureIndex)
{
    return AddRow(std::span(&text, 1), insertAt, pictureIndex);
}

std::int32_t ListTable::AddRow(std::span<const QString> texts, std::int32_t insertAt,
                               std::int32_t pictureIndex)
{
    if (m_columns.Count() == 0)
        throw RuntimeError(ErrorCode::ItemsNeedColumns);
    ListItem& item = m_items.AddItem(insertAt);
    item.SetTexts(texts);
    item.PictureIndex = pictureIndex;
    if (insertAt >= 0 && insertAt <= m_selectedItem)
        ++m_selectedItem; // the current row stays on the same item
    if (m_view)
        m_view->updateVerticalScrollRange();
    redraw();
    return insertAt < 0 ? m_items.ItemCount() - 1 : insertAt;
}

void ListTable::RemoveItem(std::int32_t index)
{
    m_items.RemoveItem(index);
    if (m_selectedItem > index)
        --m_selectedItem;
    if (m_selectedItem > m_items.ItemCount() - 1)
        m_selectedItem = m_items.ItemCount() - 1;
    if (m_view)
        m_view->updateVerticalScrollRange();
    redraw();
}

void ListTable::MoveItem(std::int32_t indexFrom, std::int32_t indexTo)
{
    m_items.MoveItem(indexFrom, indexTo);
    redraw();
}

void ListTable::Clear()
{
    m_items.Clear();
    m_selectedItem = -1;
    redraw();
}

QString ListTable::ItemText(std::int32_t index, std::int32_t column) const
{
    return m_items.Item(index).Text(column);
}

void ListTable::SetItemText(std::int32_t index, std::int32_t column, const QString& text)
{
    m_items.Item(index).SetText(column, text);
    redraw();
}

void ListTable::SetItemTag(std::int32_t index, std::int32_t tag)
{
    m_items.Item(index).Tag = tag;
    redraw();
}

void ListTable::SetItemSelected(std::int32_t index, bool selected)
{
    m_items.Item(index).Selected = selected;
    redraw();
}

void ListTable::SetItemChecked(std::int32_t index, bool checked)
{
    m_items.Item(index).Checked = checked;
    redraw();
}

void ListTable::SetSelectedItem(std::int32_t position)
{
    m_selectedItem = position;
    redraw();
}

void ListTable::Sort(const QString& key, std::int32_t sortOrder)
{
    m_items.Sort(ColumnIndex(key), sortOrder);
}

void ListTable::SortByHeader(std::int32_t column)
{
    Column& header = m_columns.Item(column);
    const std::int32_t order = header.LastSortOrder;
    m_items.Sort(column, order);
    header.LastSortOrder = order != 0 ? 0 : 1;
}

} // namespace kardelo
