#include "ListItemCollection.h"

#include "Formats.h"
#include "RuntimeError.h"
#include "modShellSort.h"
#include "modSortCallback.h"

#include <algorithm>
#include <numeric>
#include <span>

namespace kardelo {

ListItemCollection::ListItemCollection() : m_slots(InitialCapacity) {}

void ListItemCollection::checkPosition(std::int32_t index, std::int32_t last) const
{
    if (index < 0 || index > last)
        throw RuntimeError(ErrorCode::SubscriptOutOfRange);
}

ListItem& ListItemCollection::Item(std::int32_t index)
{
    checkPosition(index, m_count - 1);
    return *m_slots[static_cast<std::size_t>(index)];
}

const ListItem& ListItemCollection::Item(std::int32_t index) const
{
    checkPosition(index, m_count - 1);
    return *m_slots[static_cast<std::size_t>(index)];
}

ListItem& ListItemCollection::AddItem(std::int32_t insertAt)
{
    const auto slot = static_cast<std::size_t>(insertAt < 0 ? m_count : insertAt);
    if (insertAt >= 0) {
        checkPosition(insertAt, m_count);
        // One block of references moves up; the slot behind the last row is always free.
        std::move_backward(m_slots.begin() + insertAt, m_slots.begin() + m_count,
                           m_slots.begin() + m_count + 1);
    }
    m_slots[slot] = std::make_unique<ListItem>();
    m_slots[slot]->SetSubItemCount(m_columnCount);
    ++m_count;
    if (m_count > Capacity() - 1) {
        const double grown = Capacity() + Capacity() / 2.0;
        m_slots.resize(static_cast<std::size_t>(formats::toInt32(grown)));
    }
    return *m_slots[slot];
}

void ListItemCollection::RemoveItem(std::int32_t index)
{
    checkPosition(index, m_count - 1);
    m_slots[static_cast<std::size_t>(index)].reset();
    std::move(m_slots.begin() + index + 1, m_slots.begin() + m_count, m_slots.begin() + index);
    --m_count;
}

void ListItemCollection::MoveItem(std::int32_t indexFrom, std::int32_t indexTo)
{
    // Positions outside the rows would move empty slots into the list.
    checkPosition(indexFrom, m_count - 1);
    checkPosition(indexTo, m_count - 1);
    const auto begin = m_slots.begin();
    if (indexTo > indexFrom)
        std::rotate(begin + indexFrom, begin + indexFrom + 1, begin + indexTo + 1);
    else if (indexFrom > indexTo)
        std::rotate(begin + indexTo, begin + indexFrom, begin + indexFrom + 1);
}

void ListItemCollection::Clear()
{
    std::vector<std::unique_ptr<ListItem>>(m_slots.size()).swap(m_slots);
    m_count = 0;
}

void ListItemCollection::PrepareForItems(std::int32_t count)
{
    // The rows would be dropped with the old array while ItemCount still counted them.
    if (m_count > 0)
        throw RuntimeError(ErrorCode::InvalidProcedureCall);
    std::vector<std::unique_ptr<ListItem>>(static_cast<std::size_t>(std::max(count, 1)))
        .swap(m_slots);
}

void ListItemCollection::Sort(std::int32_t column, std::int32_t sortOrder)
{
    if (m_count <= 0 || column < 0 || column >= m_columnCount)
        return;
    modSortCallback::SetSortColumn(column);
    modSortCallback::SetSortOrder(sortOrder);
    const modSortCallback::Session comparison;
    const auto rows = std::span(m_slots.data(), static_cast<std::size_t>(m_count));
    // The shell sort runs over row numbers with each cell read once; it compares and moves
    // exactly as it would over the rows themselves, which then take their places.
    const modSortCallback::ColumnKeys keys(rows, column);
    std::vector<std::uint32_t> order(rows.size());
    std::iota(order.begin(), order.end(), 0u);
    ShellSort(std::span(order), [&keys](std::uint32_t first, std::uint32_t second) {
        return keys.Compare(first, second);
    });
    std::vector<std::unique_ptr<ListItem>> sorted;
    sorted.reserve(rows.size());
    for (const std::uint32_t from : order)
        sorted.push_back(std::move(rows[from]));
    std::move(sorted.begin(), sorted.end(), rows.begin());
}

} // namespace kardelo
