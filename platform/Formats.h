#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <cstdint>

// Number and date texts as the program shows and stores them: always under the user's regional
// settings (QLocale's own data, so German settings give the same bytes on every machine,
// whatever locales the system has installed), and always rounding half to even.
namespace kardelo::formats {

// The user's locale with digit grouping switched on (the C locale leaves it off by default,
// but the grouped patterns always group).
QLocale userLocale();

// Rounds to the given number of decimals, ties to even.
double roundHalfEven(double value, int decimals = 0);
// Conversion to a signed 32-bit whole number: ties to even, RuntimeError(Overflow) outside
// the range.
std::int32_t toInt32(double value);
// A settings-list text such as " 128" as a whole number: blanks around it allowed, a fraction
// rounded half to even; RuntimeError(TypeMismatch) for a text that is no number.
std::int32_t textToInt32(const QString& text, const QLocale& locale = userLocale());

// "0.00" / "0.000": at least one integer digit, no grouping, exactly that many decimals.
QString fixed(double value, int decimals, const QLocale& locale = userLocale());
// "###,##0.000": grouped, at least one integer digit, three decimals.
QString groupedThreeDecimals(double value, const QLocale& locale = userLocale());
// "##,###,###,###": grouped whole number with no mandatory digit, so 0 gives the empty text.
QString groupedOrEmpty(double value, const QLocale& locale = userLocale());
// "##,###,###,##0": grouped whole number, 0 gives "0".
QString grouped(double value, const QLocale& locale = userLocale());
// "000": at least three digits with leading zeros.
QString threeDigits(int value);
// The general date format: short date with a four-digit year, one blank, long time without
// the zone ("27.12.2007 09:36:04" under German settings).
QString generalDate(const QDateTime& when, const QLocale& locale = userLocale());

} // namespace kardelo::formats
