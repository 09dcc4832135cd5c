#include "Formats.h"
#include "RuntimeError.h"

#include <QTest>

using namespace kardelo;
using namespace kardelo::formats;

class tst_Formats : public QObject {
    Q_OBJECT

    const QLocale german{QLocale::German, QLocale::Germany};
    const QLocale english{QLocale::English, QLocale::UnitedStates};

private slots:
    void germanTextsMatchTheStoredRecords()
    {
        QCOMPARE(fixed(32, 2, german), QStringLiteral("32,00"));
        QCOMPARE(fixed(19.4799, 2, german), QStringLiteral("19,48"));
        QCOMPARE(fixed(1234.5, 3, german), QStringLiteral("1234,500")); // no grouping
        QCOMPARE(fixed(0.0004, 3, german), QStringLiteral("0,000"));
        QCOMPARE(fixed(-0.0001, 2, german), QStringLiteral("0,00"));
        QCOMPARE(groupedOrEmpty(1234567890, german), QStringLiteral("1.234.567.890"));
        QCOMPARE(groupedOrEmpty(18446744073709551615.0, german),
                 QStringLiteral("18.446.744.073.709.551.616"));
        QCOMPARE(groupedThreeDecimals(1234.5678, german), QStringLiteral("1.234,568"));
        QCOMPARE(grouped(204800000, german), QStringLiteral("204.800.000"));
        QCOMPARE(generalDate(QDateTime(QDate(2007, 12, 27), QTime(9, 36, 4)), german),
                 QStringLiteral("27.12.2007 09:36:04"));
    }

    void englishAndCLocales()
    {
        QCOMPARE(fixed(32, 2, english), QStringLiteral("32.00"));
        QCOMPARE(groupedOrEmpty(1234567890, english), QStringLiteral("1,234,567,890"));
        QCOMPARE(groupedThreeDecimals(1234.5678, english), QStringLiteral("1,234.568"));
        const QString date = generalDate(QDateTime(QDate(2007, 12, 27), QTime(9, 36, 4)), english);
        QVERIFY2(date.startsWith(QStringLiteral("12/27/2007 9:36:04")), qPrintable(date));
        // The grouped patterns group even where the locale normally leaves it out.
        QCOMPARE(groupedOrEmpty(1234567, QLocale::c()), QStringLiteral("1,234,567"));
        QCOMPARE(fixed(1234567, 2, QLocale::c()), QStringLiteral("1234567.00"));
    }

    void wholeNumbersWithoutMandatoryDigit()
    {
        QCOMPARE(groupedOrEmpty(0, german), QString());
        QCOMPARE(groupedOrEmpty(0.4, german), QString());
        QCOMPARE(grouped(0, german), QStringLiteral("0"));
        QCOMPARE(threeDigits(1), QStringLiteral("001"));
        QCOMPARE(threeDigits(100), QStringLiteral("100"));
    }

    void roundingIsHalfToEven()
    {
        QCOMPARE(roundHalfEven(2.5), 2.0);
        QCOMPARE(roundHalfEven(3.5), 4.0);
        QCOMPARE(roundHalfEven(0.125, 2), 0.12);
        QCOMPARE(roundHalfEven(0.375, 2), 0.38);
        QCOMPARE(toInt32(0.5), 0);
        QCOMPARE(toInt32(1.5), 2);
    }

    void conversionErrors()
    {
        const auto errorOf = [](auto&& step) {
            try {
                step();
            } catch (const RuntimeError& error) {
                return error.code();
            }
            return ErrorCode{};
        };
        QCOMPARE(errorOf([] { toInt32(2147483648.0); }), ErrorCode::Overflow);
        for (const char* text : {"abc", "", "  ", "12abc", "nan"})
            QCOMPARE(errorOf([&] { textToInt32(QString::fromLatin1(text), german); }),
                     ErrorCode::TypeMismatch);
        QCOMPARE(textToInt32(QStringLiteral(" 128"), german), 128);
        QCOMPARE(textToInt32(QStringLiteral("12,5"), german), 12);
        QCOMPARE(textToInt32(QStringLiteral("13.5"), german), 14);
        QCOMPARE(textToInt32(QStringLiteral("  4096  "), english), 4096);
    }
};

QTEST_GUILESS_MAIN(tst_Formats)
#include "tst_Formats.moc"
