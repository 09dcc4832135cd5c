#include "ColumnCollection.h"

#include "Formats.h"
#include "RuntimeError.h"

#include <cmath>

namespace kardelo {

std::optional<std::int32_t> IndexOrKey::position() const
{
    if (const auto* number = std::get_if<std::int32_t>(&m_value))
        return *number;
    bool isNumber = false;
    const double value =
        formats::userLocale().toDouble(std::get<QString>(m_value).trimmed(), &isNumber);
    if (!isNumber || !std::isfinite(value))
        return std::nullopt;
    return formats::toInt32(value);
}

std::int32_t ColumnCollection::resolve(const IndexOrKey& index) const
{
    if (const auto position = index.position()) {
        if (*position < 0 || *position >= Count())
            throw RuntimeError(ErrorCode::SubscriptOutOfRange);
        return *position;
    }
    for (std::int32_t i = 0; i < Count(); ++i)
        if (m_columns[i]->key.compare(index.key(), Qt::CaseInsensitive) == 0)
            return i;
    throw RuntimeError(ErrorCode::SubscriptOutOfRange, index.key());
}

Column& ColumnCollection::Item(const IndexOrKey& index)
{
    return *m_columns[resolve(index)];
}

const Column& ColumnCollection::Item(const IndexOrKey& index) const
{
    return *m_columns[resolve(index)];
}

Column& ColumnCollection::Add(const QString& key)
{
    for (const auto& column : m_columns)
        if (column->key.compare(key, Qt::CaseInsensitive) == 0)
            throw RuntimeError(ErrorCode::KeyNotUnique);
    auto column = std::make_unique<Column>();
    column->key = key;
    m_columns.push_back(std::move(column));
    return *m_columns.back();
}

void ColumnCollection::Remove(const IndexOrKey& index)
{
    m_columns.erase(m_columns.begin() + resolve(index));
}

} // namespace kardelo
