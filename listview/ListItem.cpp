#include "ListItem.h"

#include "RuntimeError.h"

namespace kardelo {

void ListItem::SetSubItemCount(std::int32_t count)
{
    m_texts.assign(static_cast<std::size_t>(std::max(count, 0)), QString());
}

const QString& ListItem::Text(std::int32_t index) const
{
    if (index < 0 || index >= SubItemCount())
        throw RuntimeError(ErrorCode::SubscriptOutOfRange);
    return m_texts[static_cast<std::size_t>(index)];
}

void ListItem::SetText(std::int32_t index, const QString& text)
{
    if (index < 0 || index >= SubItemCount())
        throw RuntimeError(ErrorCode::SubscriptOutOfRange);
    m_texts[static_cast<std::size_t>(index)] = text;
}

} // namespace kardelo
