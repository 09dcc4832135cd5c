#include "RowTexts.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace kardelo {

namespace {

// Block: a flags byte and three spare ones, the end offset of every cell (16 bits each while
// the row holds at most 65,535 characters, else 32), then the characters.
constexpr std::uint8_t WideCharacters = 1;
constexpr std::uint8_t WideOffsets = 2;
constexpr std::size_t HeaderSize = 4;

} // namespace

struct RowTexts::Layout {
    bool wideCharacters = false;
    bool wideOffsets = false;
    const std::uint8_t* offsets = nullptr;
    const std::uint8_t* characters = nullptr;

    std::uint32_t end(std::int32_t index) const
    {
        if (index < 0)
            return 0;
        if (wideOffsets) {
            std::uint32_t value;
            std::memcpy(&value, offsets + 4 * static_cast<std::size_t>(index), 4);
            return value;
        }
        std::uint16_t value;
        std::memcpy(&value, offsets + 2 * static_cast<std::size_t>(index), 2);
        return value;
    }
};

RowTexts::Layout RowTexts::layout() const
{
    Layout result;
    if (!m_block)
        return result;
    const std::uint8_t flags = m_block[0];
    result.wideCharacters = flags & WideCharacters;
    result.wideOffsets = flags & WideOffsets;
    result.offsets = m_block.get() + HeaderSize;
    result.characters =
        result.offsets + static_cast<std::size_t>(m_count) * (result.wideOffsets ? 4 : 2);
    return result;
}

std::int32_t RowTexts::length(std::int32_t index) const
{
    if (!m_block)
        return 0;
    const Layout l = layout();
    return static_cast<std::int32_t>(l.end(index) - l.end(index - 1));
}

RowTexts::CellView RowTexts::view(std::int32_t index) const
{
    if (!m_block)
        return {};
    const Layout l = layout();
    const std::uint32_t start = l.end(index - 1);
    const std::size_t width = l.wideCharacters ? 2 : 1;
    return {l.characters + width * start, l.end(index) - start, l.wideCharacters};
}

RowTexts::CellView RowTexts::wideView(QStringView text)
{
    return {text.utf16(), static_cast<std::size_t>(text.size()), true};
}

QString RowTexts::Text(std::int32_t index) const
{
    if (!m_block)
        return {};
    const Layout l = layout();
    const std::uint32_t start = l.end(index - 1);
    const auto size = static_cast<qsizetype>(l.end(index) - start);
    if (size == 0)
        return {};
    if (!l.wideCharacters)
        return QString::fromLatin1(reinterpret_cast<const char*>(l.characters) + start, size);
    QString text(size, Qt::Uninitialized);
    std::memcpy(text.data(), l.characters + 2 * std::size_t{start},
                2 * static_cast<std::size_t>(size));
    return text;
}

QStringView RowTexts::View(std::int32_t index, std::u16string& scratch) const
{
    const CellView cell = view(index);
    if (cell.size == 0)
        return {};
    if (cell.wide)
        return QStringView(static_cast<const char16_t*>(cell.data),
                           static_cast<qsizetype>(cell.size));
    const auto* bytes = static_cast<const std::uint8_t*>(cell.data);
    scratch.assign(bytes, bytes + cell.size);
    return scratch;
}

void RowTexts::Reset(std::int32_t count)
{
    m_block.reset();
    m_size = 0;
    m_count = std::max(count, 0);
}

void RowTexts::SetText(std::int32_t index, QStringView text)
{
    build([&](std::int32_t cell) { return cell == index ? wideView(text) : view(cell); });
}

void RowTexts::SetTexts(std::span<const QString> texts)
{
    build([&](std::int32_t cell) {
        return static_cast<std::size_t>(cell) < texts.size()
                   ? wideView(texts[static_cast<std::size_t>(cell)])
                   : CellView{};
    });
}

void RowTexts::build(const std::function<CellView(std::int32_t)>& cell)
{
    std::uint64_t total = 0;
    bool latin1 = true;
    for (std::int32_t i = 0; i < m_count; ++i) {
        const CellView text = cell(i);
        total += text.size;
        if (latin1 && text.wide) {
            const auto* units = static_cast<const char16_t*>(text.data);
            latin1 =
                std::all_of(units, units + text.size, [](char16_t unit) { return unit <= 0xFF; });
        }
    }
    if (total > std::numeric_limits<std::uint32_t>::max() / 4)
        throw std::bad_alloc();
    if (total == 0) {
        Reset(m_count);
        return;
    }
    const bool wideOffsets = total > std::numeric_limits<std::uint16_t>::max();
    const std::size_t offsetWidth = wideOffsets ? 4 : 2;
    const std::size_t charWidth = latin1 ? 1 : 2;
    const std::size_t size = HeaderSize + static_cast<std::size_t>(m_count) * offsetWidth +
                             static_cast<std::size_t>(total) * charWidth;
    auto block = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    std::memset(block.get(), 0, HeaderSize);
    block[0] =
        static_cast<std::uint8_t>((latin1 ? 0 : WideCharacters) | (wideOffsets ? WideOffsets : 0));
    std::uint8_t* offsets = block.get() + HeaderSize;
    std::uint8_t* characters = offsets + static_cast<std::size_t>(m_count) * offsetWidth;
    std::uint32_t end = 0;
    const auto writeEnd = [&](std::int32_t i) {
        if (wideOffsets) {
            std::memcpy(offsets + 4 * static_cast<std::size_t>(i), &end, 4);
        } else {
            const auto narrow = static_cast<std::uint16_t>(end);
            std::memcpy(offsets + 2 * static_cast<std::size_t>(i), &narrow, 2);
        }
    };
    for (std::int32_t i = 0; i < m_count; ++i) {
        const CellView text = cell(i);
        const std::size_t count = text.size;
        if (count == 0) {
            writeEnd(i);
            continue;
        }
        std::uint8_t* to = characters + std::size_t{end} * charWidth;
        if (text.wide) {
            const auto* from = static_cast<const char16_t*>(text.data);
            if (latin1)
                std::transform(from, from + count, to,
                               [](char16_t unit) { return static_cast<std::uint8_t>(unit); });
            else
                std::memcpy(to, from, 2 * count);
        } else {
            const auto* from = static_cast<const std::uint8_t*>(text.data);
            if (latin1)
                std::memcpy(to, from, count);
            else
                for (std::size_t c = 0; c < count; ++c) {
                    const char16_t unit = from[c];
                    std::memcpy(to + 2 * c, &unit, 2);
                }
        }
        end += static_cast<std::uint32_t>(count);
        writeEnd(i);
    }
    m_block = std::move(block);
    m_size = static_cast<std::uint32_t>(size);
}

} // namespace kardelo
