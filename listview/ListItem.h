#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace kardelo {

// One row: a text per column position and the row's flags.
class ListItem {
public:
    // Replaces the texts by count empty ones; done once, when the item is made.
    void SetSubItemCount(std::int32_t count);
    std::int32_t SubItemCount() const { return static_cast<std::int32_t>(m_texts.size()); }

    // RuntimeError(SubscriptOutOfRange) outside 0..SubItemCount()-1.
    const QString& Text(std::int32_t index) const;
    void SetText(std::int32_t index, const QString& text);

    bool Selected = false;
    std::int32_t Tag = 0;
    bool Checked = false;
    std::int32_t PictureIndex = 0; // -1: none; kept for the host, not drawn

private:
    std::vector<QString> m_texts;
};

} // namespace kardelo
