#pragma once

#include "ListItem.h"

#include <QLocale>
#include <QStringView>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The comparison the list control sorts its rows with, and the sort state it reads. Numbers
// compare by exact decimal value and dates by time, both largest first for order 0; other
// texts compare by the user's collation, case-insensitively, A to Z for order 0. Order 1
// inverts every answer.
namespace kardelo::modSortCallback {

void SetSortColumn(std::int32_t column);
void SetSortOrder(std::int32_t order);
std::int32_t SortColumn();
std::int32_t SortOrder();

// Holds what the comparison needs of the user's locale (separators, grouping, date order,
// collator) for the length of one sort, so no comparison has to build anything.
class Session {
public:
    explicit Session(const QLocale& locale = QLocale());
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
};

// A number read from a text, exactly: 0.d1d2d3... × 10^exponent with d1 not 0.
struct Decimal {
    int sign = 0; // -1, 0 or 1
    std::int64_t exponent = 0;
    std::string digits; // significant digits without trailing zeros; empty for 0
};
// -1, 0 or 1 as a is less than, equal to or greater than b.
int compare(const Decimal& a, const Decimal& b);

// The readings the comparison makes of a text, under the current session's locale (or the
// user's locale outside a session): a number (a group separator must be followed by a full
// group of digits as the locale groups them), or a date and time as seconds since 1970.
std::optional<Decimal> ReadNumber(QStringView text);
std::optional<std::int64_t> ReadDate(QStringView text);

// -1, 0 or 1 for the two items' texts in the sort column, reading both texts anew.
int CompareItems(const ListItem& first, const ListItem& second);

// The same answers as CompareItems for the rows of one column, with every cell read once:
// each cell is reduced to its number, its date and its place in the collation order.
class ColumnKeys {
public:
    // Reads the cells under the current session (or the user's locale outside one).
    ColumnKeys(std::span<const std::unique_ptr<ListItem>> items, std::int32_t column);
    ~ColumnKeys();
    ColumnKeys(const ColumnKeys&) = delete;
    ColumnKeys& operator=(const ColumnKeys&) = delete;

    // CompareItems of the rows at positions first and second, SortOrder applied.
    int Compare(std::uint32_t first, std::uint32_t second) const;

private:
    struct Key;
    int compareNumbers(const Key& a, const Key& b) const;

    std::vector<Key> m_keys;
    std::vector<std::string> m_tails; // digits of numbers beyond their first 19
    std::int32_t m_order = 0;
};

} // namespace kardelo::modSortCallback
