#pragma once

#include "ListItem.h"

#include <QLocale>
#include <QStringView>
#include <cstdint>
#include <optional>

// The comparison the list control sorts its rows with, and the sort state it reads. Numbers
// compare by value and dates by time, both largest first for order 0; other texts compare by
// the user's collation, case-insensitively, A to Z for order 0. Order 1 inverts every answer.
namespace kardelo::modSortCallback {

void SetSortColumn(std::int32_t column);
void SetSortOrder(std::int32_t order);
std::int32_t SortColumn();
std::int32_t SortOrder();

// Holds what the comparison needs of the user's locale (separators, date order, collator)
// for the length of one sort, so no comparison has to build or allocate anything.
class Session {
public:
    explicit Session(const QLocale& locale = QLocale());
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
};

// -1, 0 or 1 for the two items' texts in the sort column.
int CompareItems(const ListItem& first, const ListItem& second);

// The readings the comparison makes of a text, under the current session's locale (or the
// user's locale outside a session): a number, or a date and time as seconds.
std::optional<double> ReadNumber(QStringView text);
std::optional<double> ReadDate(QStringView text);

} // namespace kardelo::modSortCallback
