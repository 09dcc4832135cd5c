#include "Formats.h"

#include "RuntimeError.h"

#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace kardelo::formats {

QLocale userLocale()
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale;
}

double roundHalfEven(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    // nearbyint rounds in the current mode, which is ties-to-even unless someone changed it.
    return std::nearbyint(value * scale) / scale;
}

std::int32_t toInt32(double value)
{
    if (std::isnan(value))
        throw RuntimeError(ErrorCode::Overflow);
    const double rounded = std::nearbyint(value);
    if (rounded < std::numeric_limits<std::int32_t>::min() ||
        rounded > std::numeric_limits<std::int32_t>::max())
        throw RuntimeError(ErrorCode::Overflow);
    return static_cast<std::int32_t>(rounded);
}

std::int32_t textToInt32(const QString& text, const QLocale& locale)
{
    const QString trimmed = text.trimmed();
    bool ok = false;
    double value = trimmed.isEmpty() ? 0.0 : locale.toDouble(trimmed, &ok);
    if (!ok && !trimmed.isEmpty())
        value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || std::isnan(value))
        throw RuntimeError(ErrorCode::TypeMismatch, QStringLiteral("\"%1\"").arg(text));
    return toInt32(value);
}

namespace {

QLocale withoutGrouping(QLocale locale)
{
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return locale;
}

QLocale withGrouping(QLocale locale)
{
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale;
}

// Avoids "-0,00" for values that round to zero from below.
double noNegativeZero(double value)
{
    return value == 0.0 ? 0.0 : value;
}

} // namespace

QString fixed(double value, int decimals, const QLocale& locale)
{
    return withoutGrouping(locale).toString(noNegativeZero(roundHalfEven(value, decimals)), 'f',
                                            decimals);
}

QString groupedThreeDecimals(double value, const QLocale& locale)
{
    return withGrouping(locale).toString(noNegativeZero(roundHalfEven(value, 3)), 'f', 3);
}

QString groupedOrEmpty(double value, const QLocale& locale)
{
    const double whole = noNegativeZero(roundHalfEven(value));
    if (whole == 0.0)
        return {};
    return withGrouping(locale).toString(whole, 'f', 0);
}

QString grouped(double value, const QLocale& locale)
{
    return withGrouping(locale).toString(noNegativeZero(roundHalfEven(value)), 'f', 0);
}

QString threeDigits(int value)
{
    return QStringLiteral("%1").arg(value, 3, 10, QLatin1Char('0'));
}

QString generalDate(const QDateTime& when, const QLocale& locale)
{
    QString date = locale.dateFormat(QLocale::ShortFormat);
    if (!date.contains(QLatin1String("yyyy")))
        date.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    QString time = locale.timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b\\s*"));
    time = time.replace(zone, QStringLiteral(" ")).trimmed();
    return locale.toString(when, date + QLatin1Char(' ') + time);
}

} // namespace kardelo::formats
