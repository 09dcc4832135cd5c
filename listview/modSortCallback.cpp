#include "modSortCallback.h"

#include "EventLog.h"
#include "Formats.h"

#include <QCollator>
#include <algorithm>
#include <array>
#include <numeric>
#include <string_view>
#include <unordered_map>

namespace kardelo::modSortCallback {

namespace {

std::int32_t sortColumn = 0;
std::int32_t sortOrder = 0;

enum class DatePart { Day, Month, Year };

// What the comparison needs of one locale, worked out once.
struct Conventions {
    explicit Conventions(const QLocale& locale);

    QChar decimal, group, minus;
    // Digits in the group before the decimal separator, and in each group before that one
    // (3 and 3 in most locales; 3 and 2 in India).
    std::int64_t lastGroupSize = 3;
    std::int64_t groupSize = 3;
    std::array<DatePart, 3> dateOrder{DatePart::Day, DatePart::Month, DatePart::Year};
    QChar dateSeparator = u'.';
    QChar timeSeparator = u':';
    QString am, pm;
    QCollator collator;
};

QChar firstOf(const QString& text, QChar fallback)
{
    return text.isEmpty() ? fallback : text.front();
}

Conventions::Conventions(const QLocale& locale)
    : decimal(firstOf(locale.decimalPoint(), u'.')), group(firstOf(locale.groupSeparator(), u',')),
      minus(firstOf(locale.negativeSign(), u'-')), am(locale.amText()), pm(locale.pmText()),
      collator(locale)
{
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // The grouping as the locale writes a long number.
    QLocale grouped = locale;
    grouped.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    std::vector<std::int64_t> groups{0};
    for (const QChar c : grouped.toString(qlonglong{1'234'567'890'123'456'789})) {
        if (c == group)
            groups.push_back(0);
        else if (c.isDigit())
            ++groups.back();
    }
    if (groups.size() >= 3) {
        lastGroupSize = groups.back();
        groupSize = groups[groups.size() - 2];
    }
    const QString date = locale.dateFormat(QLocale::ShortFormat);
    std::size_t part = 0;
    for (qsizetype i = 0; i < date.size() && part < dateOrder.size(); ++i) {
        const QChar c = date[i];
        if (c != u'd' && c != u'M' && c != u'y') {
            if (part > 0 && part < 3 && !c.isSpace() && c != u'\'')
                dateSeparator = c;
            continue;
        }
        dateOrder[part++] = c == u'd'   ? DatePart::Day
                            : c == u'M' ? DatePart::Month
                                        : DatePart::Year;
        while (i + 1 < date.size() && date[i + 1] == c)
            ++i;
    }
    const QString time = locale.timeFormat(QLocale::ShortFormat);
    for (const QChar c : time)
        if (!c.isLetter() && !c.isSpace()) {
            timeSeparator = c;
            break;
        }
}

std::unique_ptr<Conventions> sessionConventions;

const Conventions& conventions()
{
    if (sessionConventions)
        return *sessionConventions;
    static thread_local std::unique_ptr<Conventions> fallback;
    fallback = std::make_unique<Conventions>(formats::userLocale());
    return *fallback;
}

// Reads a text from the front without copying it. Every comparison of a sort runs this on
// both of its texts, so the common ASCII cases take no table look-ups.
class Reader {
public:
    explicit Reader(QStringView text) : m_text(text.utf16()), m_size(text.size()) {}
    bool atEnd() const { return m_pos >= m_size; }
    bool peekDigit() const { return !atEnd() && isDigit(m_text[m_pos]); }
    int takeDigit() { return m_text[m_pos++] - u'0'; }
    bool take(QChar c)
    {
        if (atEnd() || m_text[m_pos] != c.unicode())
            return false;
        ++m_pos;
        return true;
    }
    void skipSpaces()
    {
        while (!atEnd() && isSpace(m_text[m_pos]))
            ++m_pos;
    }
    bool nextIsSpace() const { return !atEnd() && isSpace(m_text[m_pos]); }
    bool takeWord(QStringView word)
    {
        if (word.isEmpty() || m_size - m_pos < word.size() ||
            QStringView(m_text + m_pos, word.size()).compare(word, Qt::CaseInsensitive) != 0)
            return false;
        m_pos += word.size();
        return true;
    }
    // Up to maxDigits decimal digits as a number; nothing when no digit stands here.
    std::optional<int> digits(int maxDigits, int* count = nullptr)
    {
        int value = 0, n = 0;
        while (n < maxDigits && peekDigit()) {
            value = value * 10 + takeDigit();
            ++n;
        }
        if (count)
            *count = n;
        return n ? std::optional(value) : std::nullopt;
    }

private:
    static bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
    static bool isSpace(char16_t c)
    {
        return c == u' ' || (c >= u'\t' && c <= u'\r') || (c > 127 && QChar(c).isSpace());
    }

    const char16_t* m_text;
    qsizetype m_size;
    qsizetype m_pos = 0;
};

// Reads a number as the locale writes it: an optional sign, digits grouped as the locale
// groups them (or not at all), a decimal part and an exponent. A group separator must close a
// full group, so "27.12.2007" is no number under German settings.
std::optional<Decimal> readNumber(QStringView text, const Conventions& c)
{
    Reader in(text);
    in.skipSpaces();
    Decimal number;
    number.sign = 1;
    if (in.take(c.minus) || in.take(u'-'))
        number.sign = -1;
    else
        in.take(u'+');

    std::string& digits = number.digits;
    std::int64_t integerDigits = 0;
    std::int64_t group = 0;      // digits since the last separator
    std::int64_t firstGroup = 0; // digits before the first separator
    int separators = 0;
    while (!in.atEnd()) {
        if (in.peekDigit()) {
            digits.push_back(static_cast<char>('0' + in.takeDigit()));
            ++integerDigits;
            ++group;
        } else if (group > 0 && c.group != c.decimal && in.take(c.group)) {
            if (separators == 0)
                firstGroup = group;
            else if (group != c.groupSize)
                return std::nullopt;
            ++separators;
            group = 0;
        } else {
            break;
        }
    }
    if (separators > 0 && (group != c.lastGroupSize || firstGroup > c.groupSize))
        return std::nullopt;
    bool anyDigit = integerDigits > 0;
    if (in.take(c.decimal)) {
        while (in.peekDigit()) {
            digits.push_back(static_cast<char>('0' + in.takeDigit()));
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return std::nullopt;
    std::int64_t exponent = 0;
    if (in.take(u'e') || in.take(u'E')) {
        const bool negative = in.take(u'-');
        if (!negative)
            in.take(u'+');
        if (!in.peekDigit())
            return std::nullopt;
        constexpr std::int64_t limit = 1'000'000'000'000;
        while (in.peekDigit())
            exponent = std::min(exponent * 10 + in.takeDigit(), limit);
        if (negative)
            exponent = -exponent;
    }
    in.skipSpaces();
    if (!in.atEnd())
        return std::nullopt;

    const auto leadingZeros = std::min(digits.find_first_not_of('0'), digits.size());
    digits.erase(0, leadingZeros);
    digits.erase(std::min(digits.find_last_not_of('0') + 1, digits.size()));
    if (digits.empty())
        return Decimal{};
    number.exponent = integerDigits - static_cast<std::int64_t>(leadingZeros) + exponent;
    return number;
}

// Days from 1970-01-01 for a date of the proleptic Gregorian calendar.
long long daysFromCivil(int year, int month, int day)
{
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool validDate(int year, int month, int day)
{
    static constexpr int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= lengths[month - 1] + (month == 2 && leap ? 1 : 0);
}

// "09:36", "9:36:04", "9:36:04 AM": seconds into the day.
std::optional<int> readTime(Reader& in, const Conventions& c)
{
    const auto hour = in.digits(2);
    if (!hour || !(in.take(c.timeSeparator) || in.take(u':')))
        return std::nullopt;
    const auto minute = in.digits(2);
    if (!minute || *minute > 59)
        return std::nullopt;
    int second = 0;
    if (in.take(c.timeSeparator) || in.take(u':')) {
        const auto s = in.digits(2);
        if (!s || *s > 59)
            return std::nullopt;
        second = *s;
    }
    int h = *hour;
    in.skipSpaces();
    if (in.takeWord(c.pm) || in.takeWord(u"PM")) {
        if (h < 1 || h > 12)
            return std::nullopt;
        h = h % 12 + 12;
    } else if (in.takeWord(c.am) || in.takeWord(u"AM")) {
        if (h < 1 || h > 12)
            return std::nullopt;
        h %= 12;
    }
    if (h > 23)
        return std::nullopt;
    return h * 3600 + *minute * 60 + second;
}

std::optional<std::int64_t> readDate(QStringView text, const Conventions& c)
{
    Reader in(text);
    in.skipSpaces();
    // A time alone counts as a time of day on day zero.
    {
        Reader timeOnly = in;
        if (const auto seconds = readTime(timeOnly, c)) {
            timeOnly.skipSpaces();
            if (timeOnly.atEnd())
                return *seconds;
        }
    }
    int parts[3] = {};
    int yearDigits = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        if (i > 0 && !in.take(c.dateSeparator))
            return std::nullopt;
        int count = 0;
        const bool year = c.dateOrder[i] == DatePart::Year;
        const auto value = in.digits(year ? 4 : 2, &count);
        if (!value)
            return std::nullopt;
        parts[i] = *value;
        if (year)
            yearDigits = count;
    }
    int day = 0, month = 0, year = 0;
    for (std::size_t i = 0; i < 3; ++i)
        (c.dateOrder[i] == DatePart::Day     ? day
         : c.dateOrder[i] == DatePart::Month ? month
                                             : year) = parts[i];
    if (yearDigits <= 2)
        year += year < 30 ? 2000 : 1900;
    if (!validDate(year, month, day))
        return std::nullopt;
    std::int64_t value = daysFromCivil(year, month, day) * 86400;
    const bool spaced = in.nextIsSpace();
    in.skipSpaces();
    if (!in.atEnd()) {
        if (!spaced)
            return std::nullopt;
        const auto seconds = readTime(in, c);
        if (!seconds)
            return std::nullopt;
        in.skipSpaces();
        if (!in.atEnd())
            return std::nullopt;
        value += *seconds;
    }
    return value;
}

template <typename T> int descending(const T& a, const T& b)
{
    return a > b ? -1 : a < b ? 1 : 0;
}

int sign(int value)
{
    return value < 0 ? -1 : value > 0 ? 1 : 0;
}

} // namespace

int compare(const Decimal& a, const Decimal& b)
{
    if (a.sign != b.sign)
        return a.sign < b.sign ? -1 : 1;
    if (a.sign == 0)
        return 0;
    const int magnitude = a.exponent != b.exponent ? (a.exponent < b.exponent ? -1 : 1)
                                                   : sign(a.digits.compare(b.digits));
    return a.sign > 0 ? magnitude : -magnitude;
}

void SetSortColumn(std::int32_t column)
{
    sortColumn = column;
}
void SetSortOrder(std::int32_t order)
{
    sortOrder = order;
}
std::int32_t SortColumn()
{
    return sortColumn;
}
std::int32_t SortOrder()
{
    return sortOrder;
}

Session::Session(const QLocale& locale)
{
    QLocale withGrouping = locale;
    withGrouping.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    sessionConventions = std::make_unique<Conventions>(withGrouping);
}

Session::~Session()
{
    sessionConventions.reset();
}

std::optional<Decimal> ReadNumber(QStringView text)
{
    return readNumber(text, conventions());
}
std::optional<std::int64_t> ReadDate(QStringView text)
{
    return readDate(text, conventions());
}

int CompareItems(const ListItem& first, const ListItem& second)
{
    int result = 0;
    // A text that cannot be read leaves the pair as it is rather than stopping the sort.
    containAndLog("modSortCallback.CompareItems", [&] {
        const Conventions& c = conventions();
        const QString a = first.Text(sortColumn);
        const QString b = second.Text(sortColumn);
        const auto numberA = readNumber(a, c);
        const auto numberB = numberA ? readNumber(b, c) : std::nullopt;
        if (numberA && numberB) {
            result = -compare(*numberA, *numberB);
        } else {
            const auto dateA = readDate(a, c);
            const auto dateB = dateA ? readDate(b, c) : std::nullopt;
            if (dateA && dateB)
                result = descending(*dateA, *dateB);
            else
                result = sign(c.collator.compare(a, b));
        }
    });
    return sortOrder == 1 ? -result : result;
}

// ---- One reading per cell ----

struct ColumnKeys::Key {
    enum Flags : std::uint8_t { Number = 1, Date = 2, Unreadable = 4 };
    // A number as in Decimal: its first 19 significant digits padded with zeros as one
    // integer, and any further digits as 1 + their index in the tails.
    std::int64_t exponent = 0;
    std::uint64_t head = 0;
    std::uint32_t tail = 0;
    std::uint32_t textRank = 0; // 0 for the empty text, which comes before every other
    std::int64_t date = 0;
    std::int8_t sign = 0;
    std::uint8_t flags = 0;
};

namespace {

constexpr std::size_t HeadDigits = 19; // as many as a 64-bit integer always holds

// The distinct texts of a column, numbered from 1 in the order met.
class DistinctTexts {
public:
    std::uint32_t idOf(QStringView text)
    {
        if (text.isEmpty())
            return 0;
        const std::u16string_view key(reinterpret_cast<const char16_t*>(text.utf16()),
                                      static_cast<std::size_t>(text.size()));
        if (const auto found = m_ids.find(key); found != m_ids.end())
            return found->second;
        // A QString keeps its characters where they are when the vector moves it.
        m_texts.push_back(text.toString());
        const QString& kept = m_texts.back();
        const auto id = static_cast<std::uint32_t>(m_texts.size());
        m_ids.emplace(std::u16string_view(reinterpret_cast<const char16_t*>(kept.utf16()),
                                          static_cast<std::size_t>(kept.size())),
                      id);
        return id;
    }
    const std::vector<QString>& texts() const { return m_texts; } // id - 1

private:
    std::vector<QString> m_texts;
    std::unordered_map<std::u16string_view, std::uint32_t> m_ids;
};

// The places of the distinct texts in the collation order, from 1, equal texts sharing one.
std::vector<std::uint32_t> collationRanks(const std::vector<QString>& texts,
                                          const QCollator& collator)
{
    std::vector<std::uint32_t> order(texts.size());
    std::iota(order.begin(), order.end(), 0u);
    std::vector<std::uint32_t> ranks(texts.size() + 1);
    const auto assign = [&](auto&& compare) {
        std::sort(order.begin(), order.end(),
                  [&](std::uint32_t a, std::uint32_t b) { return compare(a, b) < 0; });
        std::uint32_t rank = 1;
        for (std::size_t i = 0; i < order.size(); ++i) {
            if (i > 0 && compare(order[i - 1], order[i]) != 0)
                ++rank;
            ranks[order[i] + 1] = rank;
        }
    };
    if (collator.locale().language() == QLocale::C) {
        // The C locale's collator compares code units without case; its sort keys do not.
        assign([&](std::uint32_t a, std::uint32_t b) {
            return texts[a].compare(texts[b], Qt::CaseInsensitive);
        });
    } else {
        std::vector<QCollatorSortKey> keys;
        keys.reserve(texts.size());
        for (const QString& text : texts)
            keys.push_back(collator.sortKey(text));
        assign([&](std::uint32_t a, std::uint32_t b) { return keys[a].compare(keys[b]); });
    }
    return ranks;
}

} // namespace

ColumnKeys::ColumnKeys(std::span<const std::unique_ptr<ListItem>> items, std::int32_t column)
    : m_keys(items.size()), m_order(sortOrder)
{
    const Conventions& c = conventions();
    std::u16string scratch;
    DistinctTexts distinct;
    std::vector<std::uint32_t> textIds(items.size());
    bool allNumbers = true, allDates = true;
    const auto textOf = [&](std::size_t i) { return items[i]->TextView(column, scratch); };

    // The rows lie scattered in memory once sorted; asking for them ahead hides the wait.
    constexpr std::size_t ahead = 8;
    for (std::size_t i = 0; i < items.size(); ++i) {
#if defined(__GNUC__)
        if (i + 2 * ahead < items.size())
            __builtin_prefetch(items[i + 2 * ahead].get());
#endif
        if (i + ahead < items.size())
            items[i + ahead]->Texts().Prefetch();
        Key& key = m_keys[i];
        if (column < 0 || column >= items[i]->SubItemCount()) {
            key.flags = Key::Unreadable; // as CompareItems, which cannot read the text either
            continue;
        }
        const QStringView text = textOf(i);
        if (const auto number = readNumber(text, c)) {
            key.flags |= Key::Number;
            key.sign = static_cast<std::int8_t>(number->sign);
            key.exponent = number->exponent;
            const std::string& digits = number->digits;
            for (std::size_t d = 0; d < HeadDigits; ++d)
                key.head = key.head * 10 + (d < digits.size() ? std::uint64_t(digits[d] - '0') : 0);
            if (digits.size() > HeadDigits) {
                m_tails.push_back(digits.substr(HeadDigits));
                key.tail = static_cast<std::uint32_t>(m_tails.size());
            }
        } else {
            allNumbers = false;
        }
        if (const auto date = readDate(text, c)) {
            key.flags |= Key::Date;
            key.date = *date;
        } else {
            allDates = false;
        }
        if (!(key.flags & (Key::Number | Key::Date)))
            textIds[i] = distinct.idOf(text);
    }

    // A pair of two numbers or two dates never reaches the collation.
    if (allNumbers || allDates)
        return;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (m_keys[i].flags & (Key::Number | Key::Date))
            textIds[i] = distinct.idOf(textOf(i));
    const std::vector<std::uint32_t> ranks = collationRanks(distinct.texts(), c.collator);
    for (std::size_t i = 0; i < items.size(); ++i)
        m_keys[i].textRank = ranks[textIds[i]];
}

ColumnKeys::~ColumnKeys() = default;

int ColumnKeys::compareNumbers(const Key& a, const Key& b) const
{
    if (a.sign != b.sign)
        return a.sign < b.sign ? -1 : 1;
    if (a.sign == 0)
        return 0;
    int magnitude;
    if (a.exponent != b.exponent)
        magnitude = a.exponent < b.exponent ? -1 : 1;
    else if (a.head != b.head)
        magnitude = a.head < b.head ? -1 : 1;
    else if (a.tail == 0 || b.tail == 0)
        magnitude = a.tail == b.tail ? 0 : a.tail == 0 ? -1 : 1;
    else
        magnitude = sign(m_tails[a.tail - 1].compare(m_tails[b.tail - 1]));
    return a.sign > 0 ? magnitude : -magnitude;
}

int ColumnKeys::Compare(std::uint32_t first, std::uint32_t second) const
{
    const Key& a = m_keys[first];
    const Key& b = m_keys[second];
    int result;
    if ((a.flags | b.flags) & Key::Unreadable)
        result = 0;
    else if (a.flags & b.flags & Key::Number)
        result = -compareNumbers(a, b);
    else if (a.flags & b.flags & Key::Date)
        result = descending(a.date, b.date);
    else
        result = a.textRank < b.textRank ? -1 : a.textRank > b.textRank ? 1 : 0;
    return m_order == 1 ? -result : result;
}

} // namespace kardelo::modSortCallback
