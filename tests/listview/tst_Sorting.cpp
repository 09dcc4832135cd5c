#include "ListTable.h"
#include "modShellSort.h"
#include "modSortCallback.h"

#include <QRandomGenerator>
#include <QTest>
#include <algorithm>

using namespace kardelo;

namespace {
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
} // namespace

class tst_Sorting : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void shellSortOrdersLikeAReference()
    {
        for (int count : {0, 1, 2, 3, 13, 14, 100, 1000, 4097}) {
            std::vector<int> values(static_cast<std::size_t>(count));
            for (int& value : values)
                value = QRandomGenerator::global()->bounded(50);
            std::vector<int> expected = values;
            std::sort(expected.begin(), expected.end());
            ShellSort(std::span(values), [](int a, int b) { return a > b ? 1 : a < b ? -1 : 0; });
            QCOMPARE(values, expected);
        }
    }

    void passesAndTheOutOfOrderAnswer()
    {
        // 100 elements: passes with gaps 40, 13, 4, 1, each visiting j = gap .. 99 in order.
        std::vector<int> values(100);
        std::iota(values.begin(), values.end(), 0);
        std::vector<std::pair<int, int>> compared;
        ShellSort(std::span(values), [&](int a, int b) {
            compared.emplace_back(a, b);
            return 0;
        });
        QCOMPARE(compared.size(), std::size_t(60 + 87 + 96 + 99));
        QCOMPARE(compared.front(), std::make_pair(0, 40));
        QCOMPARE(compared[60], std::make_pair(0, 13));
        QCOMPARE(compared.back(), std::make_pair(98, 99));

        // Only exactly 1 means "out of order".
        std::vector<int> kept{3, 2, 1};
        ShellSort(std::span(kept), [](int a, int b) { return a > b ? 2 : -1; });
        QCOMPARE(kept, (std::vector<int>{3, 2, 1}));

        int calls = 0;
        std::vector<int> one{1};
        ShellSort(std::span(one), [&](int, int) { return ++calls; });
        QCOMPARE(calls, 0);
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
        table.SortByHeader(0);
        QCOMPARE(column(table, 0), (QStringList{"10", "2", "1"}));

        // Sort by key neither repaints nor changes the next header order.
        table.Sort(QStringLiteral("second"), 0);
        QCOMPARE(column(table, 1), (QStringList{"a", "b", "C"}));
        QCOMPARE(table.Columns().Item(1).LastSortOrder, 0);
        table.Sort(QStringLiteral("unknown"), 1); // an unknown key sorts column 0
        QCOMPARE(column(table, 0), (QStringList{"1", "2", "10"}));
    }

    void kindsOfText_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("firstClick");
        QTest::newRow("decimal commas by value") << QStringList{"9,5", "10,25", "1.004.980", "-3"}
                                                 << QStringList{"1.004.980", "10,25", "9,5", "-3"};
        QTest::newRow("dates, latest first")
            << QStringList{"27.12.2007 09:36:04", "01.03.2008 16:53:54", "27.12.2007 13:33:46",
                           "20.02.2009"}
            << QStringList{"20.02.2009", "01.03.2008 16:53:54", "27.12.2007 13:33:46",
                           "27.12.2007 09:36:04"};
        QTest::newRow("words ignore case, umlauts collate")
            << QStringList{"Zebra", "äpfel", "Apfel", "banane"}
            << QStringList{"Apfel", "äpfel", "banane", "Zebra"};
        QTest::newRow("an empty cell is text beside a number")
            << QStringList{"5", "", "12"} << QStringList{"", "12", "5"};
        QTest::newRow("list sizes with leading blanks")
            << QStringList{" 128", "  64", "1024", "  16"}
            << QStringList{"1024", " 128", "  64", "  16"};
    }
    void kindsOfText()
    {
        QFETCH(QStringList, texts);
        QFETCH(QStringList, firstClick);
        ListTable table = tableOf(texts);
        table.SortByHeader(0);
        QCOMPARE(column(table, 0), firstClick);
        table.SortByHeader(0);
        std::reverse(firstClick.begin(), firstClick.end());
        if (QTest::currentDataTag() != QByteArray("words ignore case, umlauts collate"))
            QCOMPARE(column(table, 0), firstClick);
    }

    void readings()
    {
        using namespace modSortCallback;
        QCOMPARE(ReadNumber(u" 1.234,5 "), std::optional(1234.5));
        QCOMPARE(ReadNumber(u"1e3"), std::optional(1000.0));
        for (QStringView text : {u"", u"1.", u",", u"12 Files", u"1.2.3,4,5"})
            QVERIFY2(!ReadNumber(text), qPrintable(text.toString()));
        QVERIFY(ReadDate(u"29.02.2008"));
        QVERIFY(!ReadDate(u"30.02.2008"));
        QVERIFY(!ReadDate(u"27.12.2007 25:00:00"));
        QCOMPARE(*ReadDate(u"02.01.1970 00:00:01"), 86401.0);
        QCOMPARE(*ReadDate(u"09:36"), 9 * 3600.0 + 36 * 60);
    }

    void emptyOrUnknownColumnsSortNothing()
    {
        ListTable table = tableOf({"b", "a"});
        table.Items().Sort(2, 0);
        table.Items().Sort(-1, 0);
        QCOMPARE(column(table, 0), (QStringList{"b", "a"}));
    }
};

QTEST_GUILESS_MAIN(tst_Sorting)
#include "tst_Sorting.moc"
