#include "ListTable.h"
#include "RuntimeError.h"
#include "modShellSort.h"
#include "modSortCallback.h"

#include <QRandomGenerator>
#include <QTest>
#include <algorithm>
#include <numeric>

using namespace kardelo;

namespace {
ErrorCode errorOf(auto&& step)
{
    try {
        step();
    } catch (const RuntimeError& error) {
        return error.code();
    }
    return ErrorCode{};
}

void fill(ListTable& table, const QStringList& texts)
{
    for (const QString& text : texts)
        table.AddItem(-1, text);
}

const QLocale German(QLocale::German, QLocale::Germany);
const QLocale English(QLocale::English, QLocale::UnitedStates);
const QLocale Indian(QLocale::English, QLocale::India);

ListTable tableOf(const QStringList& texts, const QStringList& second = {})
{
    ListTable table;
    table.AddColumn(QStringLiteral("first"));
    table.AddColumn(QStringLiteral("second"));
    for (qsizetype i = 0; i < texts.size(); ++i) {
        const int row = table.AddItem(-1, texts[i]);
        if (i < second.size())
            table.SetItemText(row, 1, second[i]);
    }
    return table;
}

QStringList column(const ListTable& table, int index)
{
    QStringList texts;
    for (int i = 0; i < table.ItemCount(); ++i)
        texts << table.ItemText(i, index);
    return texts;
}

// Cells of every kind a log column holds, and the near misses between the kinds.
QString randomCell(QRandomGenerator& random, const QLocale& locale)
{
    static const QStringList fixed =
        QStringLiteral("| |0|-0|0,000|0.000|1e3|1E-2|-1e3|1.000|1,000|27.12.2007|01.03.2008|"
                       "15.06.2007|12/27/2007|27.12.2007 09:36:04|09:36|9:36 PM|0,1|"
                       "0,10000000000000001|0.1|12 Files (10K-4M)|variabel|Variabel|äpfel|Apfel|"
                       "Zebra|12.34|1.2345|1,234.5|1.234,5|123456789012345678901234567890|"
                       "123456789012345678901234567891|  128|-|e5")
            .split(u'|');
    switch (random.bounded(5)) {
    case 0:
        return fixed[random.bounded(int(fixed.size()))];
    case 1:
        return locale.toString(random.bounded(2e6) - 1e6, 'f', random.bounded(4));
    case 2:
        return locale.toString(qlonglong(random.bounded(100'000'000)));
    case 3:
        return locale.toString(
            QDateTime(QDate(2007, 1, 1), QTime(0, 0)).addSecs(random.bounded(100'000'000)),
            QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    default:
        return QStringLiteral("Stick %1").arg(QChar(u'a' + random.bounded(26)));
    }
}
} // namespace

class tst_ListTable : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(German); }

    void columnKeys()
    {
        ListTable table;
        table.AddColumn();
        QCOMPARE(errorOf([&] { table.AddColumn(); }), ErrorCode::KeyNotUnique); // "" == ""
        table.AddColumn(QStringLiteral("Name"), QStringLiteral("Name"), 1, 120);
        QCOMPARE(errorOf([&] { table.AddColumn(QStringLiteral("NAME")); }),
                 ErrorCode::KeyNotUnique);
        QCOMPARE(table.ColumnWidth(QStringLiteral("name")), 120); // look-ups ignore case
        QCOMPARE(table.ColumnIndex(QStringLiteral("NAME")), 0);   // ... ColumnIndex does not
        QCOMPARE(errorOf([&] { table.ColumnCaption(QStringLiteral("unknown")); }),
                 ErrorCode::SubscriptOutOfRange);

        // A key that reads as a number is a position.
        table.AddColumn(QStringLiteral("3"), QStringLiteral("three"));
        QCOMPARE(errorOf([&] { table.ColumnCaption(QStringLiteral("3")); }),
                 ErrorCode::SubscriptOutOfRange);
        QCOMPARE(table.ColumnCaption(QStringLiteral("2")), QStringLiteral("three"));
        table.RemoveColumn(QStringLiteral("Name"));
        QCOMPARE(table.ColumnKey(1), QStringLiteral("3"));
        QCOMPARE(errorOf([&] { table.RemoveColumn(2); }), ErrorCode::SubscriptOutOfRange);
    }

    void columnsAreFixedWhileRowsExist()
    {
        ListTable table;
        QCOMPARE(errorOf([&] { table.AddItem(); }), ErrorCode::ItemsNeedColumns);
        table.AddColumn(QStringLiteral("a"));
        table.AddItem(-1, QStringLiteral("row"));
        QCOMPARE(errorOf([&] { table.AddColumn(QStringLiteral("b")); }),
                 ErrorCode::ColumnsFixedWhileItems);
        QCOMPARE(errorOf([&] { table.RemoveColumn(0); }), ErrorCode::ColumnsFixedWhileItems);
        // Refused while rows exist: the array would drop them with ItemCount still counting.
        QCOMPARE(errorOf([&] { table.Items().PrepareForItems(0); }),
                 ErrorCode::InvalidProcedureCall);
        table.AddItem(-1, QStringLiteral("next"));
        QCOMPARE(column(table, 0), (QStringList{"row", "next"}));
        table.Clear();
        table.AddColumn(QStringLiteral("b"));
        table.AddItem();
        QCOMPARE(table.Items().Item(0).SubItemCount(), 2);
    }

    void currentRowFollowsInsertionAndRemoval()
    {
        ListTable table;
        table.AddColumn();
        fill(table, {"a", "b", "c"});
        table.SetSelectedItem(0);
        QCOMPARE(table.AddItem(0, QStringLiteral("new")), 0);
        QCOMPARE(table.SelectedItem(), 1); // still on "a"
        table.AddItem(-1, QStringLiteral("last"));
        QCOMPARE(table.SelectedItem(), 1);
        table.RemoveItem(0);
        QCOMPARE(table.SelectedItem(), 0);
        table.SetSelectedItem(3);
        table.RemoveItem(3); // the current row was the last one
        QCOMPARE(table.SelectedItem(), 2);
        QCOMPARE(errorOf([&] { table.RemoveItem(3); }), ErrorCode::SubscriptOutOfRange);
        QCOMPARE(errorOf([&] { table.RemoveItem(-1); }), ErrorCode::SubscriptOutOfRange);
        QCOMPARE(errorOf([&] { table.MoveItem(0, 3); }), ErrorCode::SubscriptOutOfRange);
        QCOMPARE(column(table, 0), (QStringList{"a", "b", "c"}));
        for (int i = 0; i < 3; ++i)
            table.RemoveItem(0);
        QCOMPARE(table.SelectedItem(), -1);
    }

    // A row keeps its texts in one block, a byte per character while they fit Latin-1: a
    // wider character or a very long cell must not damage the other cells.
    void rowTextsSurviveEachOther()
    {
        const QString longText(70'000, u'x');
        for (QStringList texts : {QStringList(13), QStringList{"abc", "", "äöü"},
                                  QStringList{"€", "", "x"}, QStringList{"a", longText, "b"}}) {
            ListItem item;
            item.SetSubItemCount(static_cast<std::int32_t>(texts.size()));
            item.SetTexts(std::span(texts.constData(), static_cast<std::size_t>(texts.size())));
            const int last = int(texts.size()) - 1;
            item.SetText(last, QStringLiteral("Ω"));
            texts[last] = QStringLiteral("Ω");
            std::u16string scratch;
            for (int i = 0; i < texts.size(); ++i) {
                QCOMPARE(item.Text(i), texts[i]);
                QCOMPARE(item.TextView(i, scratch).toString(), texts[i]);
            }
            QCOMPARE(errorOf([&] { item.Text(last + 1); }), ErrorCode::SubscriptOutOfRange);
            QCOMPARE(errorOf([&] { item.SetText(-1, u"x"); }), ErrorCode::SubscriptOutOfRange);
        }
    }

    void shellSortPassesAndItsOutOfOrderAnswer()
    {
        // 100 elements: passes with gaps 40, 13, 4, 1; the gaps decide where equal rows land.
        std::vector<int> values(100);
        std::iota(values.begin(), values.end(), 0);
        std::vector<std::pair<int, int>> compared;
        ShellSort(std::span(values), [&](int a, int b) {
            compared.emplace_back(a, b);
            return 0;
        });
        QCOMPARE(compared.size(), std::size_t(60 + 87 + 96 + 99));
        QCOMPARE(compared[60], std::make_pair(0, 13));

        // Only exactly 1 means "out of order".
        std::vector<int> kept{3, 2, 1};
        ShellSort(std::span(kept), [](int a, int b) { return a > b ? 2 : -1; });
        QCOMPARE(kept, (std::vector<int>{3, 2, 1}));

        std::vector<int> random(4097);
        for (int& value : random)
            value = QRandomGenerator::global()->bounded(50);
        std::vector<int> expected = random;
        std::sort(expected.begin(), expected.end());
        ShellSort(std::span(random), [](int a, int b) { return a > b ? 1 : a < b ? -1 : 0; });
        QCOMPARE(random, expected);
    }

    void headerClicksAlternatePerColumn()
    {
        ListTable table = tableOf({"2", "10", "1"}, {"b", "C", "a"});
        table.SortByHeader(0);
        QCOMPARE(column(table, 0), (QStringList{"10", "2", "1"})); // numbers: largest first
        table.SortByHeader(0);
        QCOMPARE(column(table, 0), (QStringList{"1", "2", "10"}));
        table.SortByHeader(1);                                    // its own first click: order 0
        QCOMPARE(column(table, 1), (QStringList{"a", "b", "C"})); // words: A to Z
        table.SortByHeader(1);
        QCOMPARE(column(table, 1), (QStringList{"C", "b", "a"}));

        // Sort by key does not change the next header order; an unknown key sorts column 0.
        table.Sort(QStringLiteral("second"), 0);
        QCOMPARE(column(table, 1), (QStringList{"a", "b", "C"}));
        table.Sort(QStringLiteral("unknown"), 0);
        QCOMPARE(column(table, 0), (QStringList{"10", "2", "1"}));
        table.SortByHeader(1);
        QCOMPARE(column(table, 1), (QStringList{"a", "b", "C"}));

        // A column outside the table: nothing happens.
        table.Items().Sort(2, 0);
        table.Items().Sort(-1, 0);
        QCOMPARE(column(table, 1), (QStringList{"a", "b", "C"}));
    }
    void firstClickOrder_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("firstClick");
        QTest::newRow("decimal commas by value")
            << German << QStringList{"9,5", "10,25", "1.004.980", "-3"}
            << QStringList{"1.004.980", "10,25", "9,5", "-3"};
        QTest::newRow("dates, latest first")
            << German
            << QStringList{"27.12.2007 09:36:04", "01.03.2008 16:53:54", "27.12.2007 13:33:46",
                           "20.02.2009"}
            << QStringList{"20.02.2009", "01.03.2008 16:53:54", "27.12.2007 13:33:46",
                           "27.12.2007 09:36:04"};
        QTest::newRow("dates without a time are no numbers")
            << German << QStringList{"27.12.2007", "01.03.2008", "15.06.2007"}
            << QStringList{"01.03.2008", "27.12.2007", "15.06.2007"};
        QTest::newRow("exact decimals")
            << German << QStringList{"0,1", "0,10000000000000001", "0,09999999999999999999"}
            << QStringList{"0,10000000000000001", "0,1", "0,09999999999999999999"};
        QTest::newRow("beyond 64 bits")
            << English
            << QStringList{"18446744073709551616", "18446744073709551617",
                           "1.8446744073709551615e19"}
            << QStringList{"18446744073709551617", "18446744073709551616",
                           "1.8446744073709551615e19"};
        QTest::newRow("English grouping")
            << English << QStringList{"999", "1,234.5", "10,000", "-0.5"}
            << QStringList{"10,000", "1,234.5", "999", "-0.5"};
        QTest::newRow("words ignore case, umlauts collate")
            << German << QStringList{"Zebra", "äpfel", "Apfel", "banane"}
            << QStringList{"Apfel", "äpfel", "banane", "Zebra"};
        QTest::newRow("an empty cell is text beside a number")
            << German << QStringList{"5", "", "12"} << QStringList{"", "12", "5"};
        QTest::newRow("list sizes with leading blanks")
            << German << QStringList{" 128", "  64", "1024", "  16"}
            << QStringList{"1024", " 128", "  64", "  16"};
    }
    void firstClickOrder()
    {
        QFETCH(QLocale, locale);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, firstClick);
        QLocale::setDefault(locale);
        ListTable table = tableOf(texts);
        table.SortByHeader(0);
        QCOMPARE(column(table, 0), firstClick);
    }

    void readings_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("number");
        QTest::addColumn<bool>("date");
        const auto row = [](const QLocale& locale, const char* text, bool number, bool date) {
            QTest::addRow("%s \"%s\"", qPrintable(locale.name()), text)
                << locale << QString::fromUtf8(text) << number << date;
        };
        row(German, " 1.234,5 ", true, false);
        row(German, "1e3", true, false);
        row(German, ",5", true, false);
        row(German, "27.12.2007", false, true);
        row(German, "27.12.07", false, true);
        row(German, "1.2", false, false);      // a group of one digit
        row(German, "1.2345", false, false);   // a group of four
        row(German, "1.234.56", false, false); // the last group cut short
        row(German, "1.23.456", false, false); // a middle group cut short
        row(German, "1234.567", false, false); // a leading group longer than three
        row(German, "1.", false, false);       // a separator at the end
        row(German, "", false, false);
        row(German, "29.02.2008", false, true);
        row(German, "30.02.2008", false, false);
        row(German, "27.12.2007 25:00:00", false, false);
        row(German, "09:36", false, true);
        row(English, "1,234.5", true, false);
        row(English, "1.", true, false);
        row(English, "27.12.2007", false, false);
        row(English, "12/27/2007 9:36 PM", false, true);
        row(Indian, "1,23,456", true, false);
        row(Indian, "123,456", false, false);
        row(Indian, "1,234,567", false, false);
    }
    void readings()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, text);
        QFETCH(bool, number);
        QFETCH(bool, date);
        const modSortCallback::Session session(locale);
        QCOMPARE(modSortCallback::ReadNumber(text).has_value(), number);
        QCOMPARE(modSortCallback::ReadDate(text).has_value(), date);
    }

    // Every cell read once must give exactly the order of comparing the texts pair by pair:
    // the same answers, the same passes, and the same places for equal rows.
    void keyedSortGivesThePairwiseOrder_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("order");
        for (const QLocale& locale : {German, English, QLocale::c()})
            for (int rows : {2, 40, 700, 3000})
                for (int order : {0, 1})
                    QTest::addRow("%s %d rows order %d", qPrintable(locale.name()), rows, order)
                        << locale << rows << order;
    }
    void keyedSortGivesThePairwiseOrder()
    {
        QFETCH(QLocale, locale);
        QFETCH(int, rows);
        QFETCH(int, order);
        QLocale::setDefault(locale);
        QRandomGenerator random(static_cast<quint32>(rows * 31 + order));
        ListTable table;
        table.AddColumn(QStringLiteral("a"));
        table.AddColumn(QStringLiteral("b"));
        for (int i = 0; i < rows; ++i) {
            const int row = table.AddItem(-1, QString::number(i));
            table.SetItemText(row, 1, randomCell(random, locale));
        }
        // A row made while the store counted one column only has no text to compare.
        table.Items().SetColumnCount(1);
        table.AddItem(rows / 2, QStringLiteral("short"));
        table.Items().SetColumnCount(2);

        std::vector<const ListItem*> expected;
        for (int i = 0; i < table.ItemCount(); ++i)
            expected.push_back(&table.Items().Item(i));
        modSortCallback::SetSortColumn(1);
        modSortCallback::SetSortOrder(order);
        {
            const modSortCallback::Session session(locale);
            ShellSort(std::span(expected), [](const ListItem* a, const ListItem* b) {
                return modSortCallback::CompareItems(*a, *b);
            });
        }
        table.Items().Sort(1, order);
        for (int i = 0; i < table.ItemCount(); ++i)
            QVERIFY(&table.Items().Item(i) == expected[std::size_t(i)]);
    }
};

QTEST_GUILESS_MAIN(tst_ListTable)
#include "tst_ListTable.moc"
