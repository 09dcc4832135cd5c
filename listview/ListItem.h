#pragma once

#include "RowTexts.h"

#include <QString>
#include <cstdint>
#include <span>

namespace kardelo {

// One row: a text per column position and the row's flags.
class ListItem {
public:
    // Replaces the texts by count empty ones; done once, when the item is made.
    void SetSubItemCount(std::int32_t count) { m_texts.Reset(count); }
    std::int32_t SubItemCount() const { return m_texts.Count(); }

    // RuntimeError(SubscriptOutOfRange) outside 0..SubItemCount()-1.
    QString Text(std::int32_t index) const;
    // Text without a copy where possible (see RowTexts::View); the same errors.
    QStringView TextView(std::int32_t index, std::u16string& scratch) const;
    void SetText(std::int32_t index, QStringView text);
    // Every text at once: the first SubItemCount() of texts, the cells beyond them empty.
    void SetTexts(std::span<const QString> texts) { m_texts.SetTexts(texts); }
    const RowTexts& Texts() const { return m_texts; }

    std::int32_t Tag = 0;
    std::int32_t PictureIndex = 0; // -1: none; kept for the host, not drawn
    bool Selected = false;
    bool Checked = false;

private:
    RowTexts m_texts;
};

} // namespace kardelo
