#include "ListItem.h"

#include "RuntimeError.h"

namespace kardelo {

QString ListItem::Text(std::int32_t index) const
{
    if (index < 0 || index >= SubItemCount())
        throw RuntimeError(ErrorCode::SubscriptOutOfRange);
    return m_texts.Text(index);
}

QStringView ListItem::TextView(std::int32_t index, std::u16string& scratch) const
{
    if (index < 0 || index >= SubItemCount())
        throw RuntimeError(ErrorCode::SubscriptOutOfRange);
    return m_texts.View(index, scratch);
}

void ListItem::SetText(std::int32_t index, QStringView text)
{
    if (index < 0 || index >= SubItemCount())
        throw RuntimeError(ErrorCode::SubscriptOutOfRange);
    m_texts.SetText(index, text);
}

} // namespace kardelo
