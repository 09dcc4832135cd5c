#pragma once

#include "Column.h"
#include "IndexOrKey.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace kardelo {

// The columns in display order, positions 0..Count-1.
class ColumnCollection {
public:
    std::int32_t Count() const { return static_cast<std::int32_t>(m_columns.size()); }
    // RuntimeError(SubscriptOutOfRange) for an unknown key or a position outside the store.
    Column& Item(const IndexOrKey& index);
    const Column& Item(const IndexOrKey& index) const;
    // RuntimeError(KeyNotUnique) when a column of that key (in any case) exists already.
    Column& Add(const QString& key = {});
    void Remove(const IndexOrKey& index);

private:
    std::int32_t resolve(const IndexOrKey& index) const;

    std::vector<std::unique_ptr<Column>> m_columns;
};

} // namespace kardelo
