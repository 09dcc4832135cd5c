#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace kardelo {

// The texts of one row, all in one block: a row of empty cells holds no block at all, and a
// row whose texts all fit Latin-1 keeps one byte per character. A list of a million rows
// would otherwise hold a string object per cell, empty or not.
class RowTexts {
public:
    RowTexts() = default;

    std::int32_t Count() const { return m_count; }
    // count empty cells, dropping the present ones.
    void Reset(std::int32_t count);
    // Positions must lie in 0..Count()-1; the callers check.
    QString Text(std::int32_t index) const;
    // The same text without a copy where the row holds UTF-16, else widened into scratch.
    QStringView View(std::int32_t index, std::u16string& scratch) const;
    // Asks the processor for the block ahead of a pass over many rows.
    void Prefetch() const
    {
#if defined(__GNUC__)
        __builtin_prefetch(m_block.get());
#endif
    }
    bool IsEmpty(std::int32_t index) const
    {
        return length(index) == 0;
    }
    void SetText(std::int32_t index, QStringView text);
    // The first Count() cells from texts, the ones beyond empty.
    void SetTexts(std::span<const QString> texts);
    // Bytes held beyond the object itself.
    std::size_t BlockSize() const
    {
        return m_size;
    }

private:
    struct Layout;
    // A cell's characters where they are: UTF-16 units, or Latin-1 bytes.
    struct CellView {
        const void* data = nullptr;
        std::size_t size = 0;
        bool wide = false;
    };
    static CellView wideView(QStringView text);
    Layout layout() const;
    std::int32_t length(std::int32_t index) const;
    CellView view(std::int32_t index) const;
    void build(const std::function<CellView(std::int32_t)>& cell);

    std::unique_ptr<std::uint8_t[]> m_block;
    std::uint32_t m_size = 0;
    std::int32_t m_count = 0;
};

} // namespace kardelo
