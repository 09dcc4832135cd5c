#pragma once

#include "ListItem.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace kardelo {

// The rows, positions 0..ItemCount-1, held by owning references. Insertion, removal, moves and
// sorting shift the references only: an item is never copied or made anew once it exists.
class ListItemCollection {
public:
    static constexpr std::int32_t InitialCapacity = 1000;

    ListItemCollection();

    std::int32_t ItemCount() const { return m_count; }
    // Always above ItemCount, so the slot behind the last row exists and is empty.
    std::int32_t Capacity() const { return static_cast<std::int32_t>(m_slots.size()); }
    std::int32_t ColumnCount() const { return m_columnCount; }
    void SetColumnCount(std::int32_t count) { m_columnCount = count; }

    // RuntimeError(SubscriptOutOfRange) outside 0..ItemCount-1.
    ListItem& Item(std::int32_t index);
    const ListItem& Item(std::int32_t index) const;

    // Appends when insertAt < 0, else inserts at insertAt (0..ItemCount).
    ListItem& AddItem(std::int32_t insertAt = -1);
    void RemoveItem(std::int32_t index);
    void MoveItem(std::int32_t indexFrom, std::int32_t indexTo);
    // Releases every item; the capacity stays as it has grown.
    void Clear();
    // Room for count items from the start; RuntimeError(InvalidProcedureCall), and nothing
    // changes, while the collection holds rows.
    void PrepareForItems(std::int32_t count);
    // Orders the rows by one column's texts; order 1 inverts the comparison.
    void Sort(std::int32_t column, std::int32_t sortOrder);

private:
    void checkPosition(std::int32_t index, std::int32_t last) const;

    std::vector<std::unique_ptr<ListItem>> m_slots;
    std::int32_t m_count = 0;
    std::int32_t m_columnCount = 0;
};

} // namespace kardelo
