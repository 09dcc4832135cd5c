#include "modSortCallback.h"

#include "Formats.h"

#include <QCollator>
#include <array>
#include <charconv>
#include <memory>

namespace kardelo::modSortCallback {

namespace {

std::int32_t sortColumn = 0;
std::int32_t sortOrder = 0;

enum class DatePart { Day, Month, Year };

// What the comparison needs of one locale, worked out once.
struct Conventions {
    explicit Conventions(const QLocale& locale);

    QChar decimal, group, minus;
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

std::optional<double> readNumber(QStringView text, const Conventions& c)
{
    std::array<char, 128> buffer{};
    std::size_t used = 0;
    const auto put = [&](char ch) {
        if (used + 1 >= buffer.size())
            return false;
        buffer[used++] = ch;
        return true;
    };
    Reader in(text);
    in.skipSpaces();
    if (in.take(c.minus) || in.take(u'-')) {
        put('-');
    } else {
        in.take(u'+');
    }
    int integerDigits = 0, fractionDigits = 0;
    bool lastWasDigit = false;
    while (!in.atEnd()) {
        if (in.peekDigit()) {
            if (!put(static_cast<char>('0' + in.takeDigit())))
                return std::nullopt;
            ++integerDigits;
            lastWasDigit = true;
        } else if (lastWasDigit && c.group != c.decimal && in.take(c.group)) {
            lastWasDigit = false;
        } else {
            break;
        }
    }
    if (!lastWasDigit && integerDigits > 0)
        return std::nullopt; // a group separator at the end
    if (in.take(c.decimal)) {
        put('.');
        while (in.peekDigit()) {
            if (!put(static_cast<char>('0' + in.takeDigit())))
                return std::nullopt;
            ++fractionDigits;
        }
    }
    if (integerDigits + fractionDigits == 0)
        return std::nullopt;
    if (in.take(u'e') || in.take(u'E')) {
        put('e');
        if (in.take(u'-'))
            put('-');
        else
            in.take(u'+');
        int exponentDigits = 0;
        while (in.peekDigit()) {
            if (!put(static_cast<char>('0' + in.takeDigit())))
                return std::nullopt;
            ++exponentDigits;
        }
        if (exponentDigits == 0)
            return std::nullopt;
    }
    in.skipSpaces();
    if (!in.atEnd())
        return std::nullopt;
    double value = 0;
    const auto result = std::from_chars(buffer.data(), buffer.data() + used, value);
    if (result.ec != std::errc())
        return std::nullopt;
    return value;
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

std::optional<double> readDate(QStringView text, const Conventions& c)
{
    Reader in(text);
    in.skipSpaces();
    // A time alone counts as a time of day on day zero.
    {
        Reader timeOnly = in;
        if (const auto seconds = readTime(timeOnly, c)) {
            timeOnly.skipSpaces();
            if (timeOnly.atEnd())
                return static_cast<double>(*seconds);
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
    double value = static_cast<double>(daysFromCivil(year, month, day)) * 86400.0;
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

int compareValues(double a, double b)
{
    return a > b ? -1 : a < b ? 1 : 0;
}

} // namespace

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

std::optional<double> ReadNumber(QStringView text)
{
    return readNumber(text, conventions());
}
std::optional<double> ReadDate(QStringView text)
{
    return readDate(text, conventions());
}

int CompareItems(const ListItem& first, const ListItem& second)
{
    int result = 0;
    // A text that cannot be read leaves the pair as it is rather than stopping the sort.
    try {
        const Conventions& c = conventions();
        const QString& a = first.Text(sortColumn);
        const QString& b = second.Text(sortColumn);
        const auto numberA = readNumber(a, c);
        const auto numberB = numberA ? readNumber(b, c) : std::nullopt;
        if (numberA && numberB) {
            result = compareValues(*numberA, *numberB);
        } else {
            const auto dateA = readDate(a, c);
            const auto dateB = dateA ? readDate(b, c) : std::nullopt;
            if (dateA && dateB) {
                result = compareValues(*dateA, *dateB);
            } else {
                const int order = c.collator.compare(a, b);
                result = order < 0 ? -1 : order > 0 ? 1 : 0;
            }
        }
    } catch (...) {
        result = 0;
    }
    return sortOrder == 1 ? -result : result;
}

} // namespace kardelo::modSortCallback
