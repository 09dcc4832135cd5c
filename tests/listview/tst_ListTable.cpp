#include "ListTable.h"
#include "RuntimeError.h"

#include <QTest>

using namespace kardelo;

namespace {
// Counts what the table asked of its control.
struct RecordingView : ListTableView {
    int redraws = 0, refreshes = 0, scrollRanges = 0;
    void redraw() override { ++redraws; }
    void refresh() override { ++refreshes; }
    void updateVerticalScrollRange() override { ++scrollRanges; }
};

ErrorCode errorOf(auto&& step)
{
    try {
        step();
    } catch (const RuntimeError& error) {
        return error.code();
    }
    return ErrorCode{};
}

QStringList column0(const ListTable& table)
{
    QStringList texts;
    for (int i = 0; i < table.ItemCount(); ++i)
        texts << table.ItemText(i, 0);
    return texts;
}

void fill(ListTable& table, const QStringList& texts)
{
    for (const QString& text : texts)
        table.AddItem(-1, text);
}
} // namespace

class tst_ListTable : public QObject {
    Q_OBJECT

private slots:
    void columnKeys()
    {
        ListTable table;
        table.AddColumn();
        QCOMPARE(errorOf([&] { table.AddColumn(); }), ErrorCode::KeyNotUnique); // "" == ""
        table.AddColumn(QStringLiteral("Name"), QStringLiteral("Name"), 1, 120);
        QCOMPARE(errorOf([&] { table.AddColumn(QStringLiteral("NAME")); }),
                 ErrorCode::KeyNotUnique);
        QCOMPARE(table.ColumnCount(), 2);
        QCOMPARE(table.ColumnWidth(QStringLiteral("name")), 120); // look-ups ignore case
        QCOMPARE(table.ColumnIndex(QStringLiteral("Name")), 1);
        QCOMPARE(table.ColumnIndex(QStringLiteral("NAME")), 0); // ... ColumnIndex does not
        QCOMPARE(table.ColumnIndex(QStringLiteral("unknown")), 0);
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
        QCOMPARE(table.ColumnCount(), 2);
    }

    void columnsAreFixedWhileRowsExist()
    {
        ListTable table;
        QCOMPARE(errorOf([&] { table.AddItem(); }), ErrorCode::ItemsNeedColumns);
        QCOMPARE(table.ItemCount(), 0);
        table.AddColumn(QStringLiteral("a"));
        table.AddItem(-1, QStringLiteral("row"));
        QCOMPARE(errorOf([&] { table.AddColumn(QStringLiteral("b")); }),
                 ErrorCode::ColumnsFixedWhileItems);
        QCOMPARE(errorOf([&] { table.RemoveColumn(0); }), ErrorCode::ColumnsFixedWhileItems);
        QCOMPARE(table.ColumnCount(), 1);
        table.Clear();
        table.AddColumn(QStringLiteral("b"));
        table.AddItem();
        QCOMPARE(table.Items().Item(0).SubItemCount(), 2);
    }

    void currentRowFollowsInsertionAndRemoval()
    {
        RecordingView view;
        ListTable table(&view);
        table.AddColumn();
        fill(table, {"a", "b", "c"});
        table.SetSelectedItem(0);
        QCOMPARE(table.AddItem(0, QStringLiteral("new")), 0);
        QCOMPARE(table.SelectedItem(), 1); // still on "a"
        QCOMPARE(table.AddItem(-1, QStringLiteral("last")), 4);
        QCOMPARE(table.SelectedItem(), 1);
        table.RemoveItem(0);
        QCOMPARE(table.SelectedItem(), 0);
        table.SetSelectedItem(3);
        table.RemoveItem(3); // the current row was the last one
        QCOMPARE(table.SelectedItem(), 2);
        QCOMPARE(errorOf([&] { table.RemoveItem(3); }), ErrorCode::SubscriptOutOfRange);
        QCOMPARE(errorOf([&] { table.RemoveItem(-1); }), ErrorCode::SubscriptOutOfRange);
        QCOMPARE(column0(table), (QStringList{"a", "b", "c"}));
        table.RemoveItem(0);
        table.RemoveItem(0);
        table.RemoveItem(0);
        QCOMPARE(table.SelectedItem(), -1);
        QCOMPARE(view.scrollRanges, 5 + 5);
        QVERIFY(view.refreshes >= 1 && view.redraws >= 10);
    }

    // Refused while rows exist: the array would drop them with ItemCount still counting.
    void noShrinkingUnderExistingRows()
    {
        ListTable table;
        table.AddColumn();
        fill(table, {"a", "b", "c", "d", "e"});
        QCOMPARE(errorOf([&] { table.Items().PrepareForItems(2); }),
                 ErrorCode::InvalidProcedureCall);
        table.AddItem(-1, QStringLiteral("f"));
        QCOMPARE(column0(table), (QStringList{"a", "b", "c", "d", "e", "f"}));
    }

    // A row keeps its texts in one block: nothing for empty cells, a byte per character
    // while they fit Latin-1.
    void rowTexts_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<int>("blockSize");
        const QString longText(70'000, u'x');
        QTest::newRow("all empty") << QStringList(13) << 0;
        QTest::newRow("Latin-1") << QStringList{"abc", "", "äöü"} << 4 + 3 * 2 + 6;
        QTest::newRow("beyond Latin-1") << QStringList{"€", "", "x"} << 4 + 3 * 2 + 2 * 2;
        QTest::newRow("longer than 65,535")
            << QStringList{"a", longText, "b"} << 4 + 3 * 4 + 70'002;
    }
    void rowTexts()
    {
        QFETCH(QStringList, texts);
        QFETCH(int, blockSize);
        ListItem item;
        item.SetSubItemCount(static_cast<std::int32_t>(texts.size()));
        item.SetTexts(std::span(texts.constData(), static_cast<std::size_t>(texts.size())));
        QCOMPARE(int(item.Texts().BlockSize()), blockSize);
        std::u16string scratch;
        for (int i = 0; i < texts.size(); ++i) {
            QCOMPARE(item.Text(i), texts[i]);
            QCOMPARE(item.TextView(i, scratch).toString(), texts[i]);
        }
        // One cell changed, the others kept; a wider character widens the whole row.
        const int last = int(texts.size()) - 1;
        item.SetText(last, QStringLiteral("Ω"));
        texts[last] = QStringLiteral("Ω");
        for (int i = 0; i < texts.size(); ++i)
            QCOMPARE(item.Text(i), texts[i]);
        QCOMPARE(errorOf([&] { item.Text(last + 1); }), ErrorCode::SubscriptOutOfRange);
        QCOMPARE(errorOf([&] { item.SetText(-1, u"x"); }), ErrorCode::SubscriptOutOfRange);
    }

    void rowsMoveWithoutBeingCopied()
    {
        ListTable table;
        table.AddColumn();
        fill(table, {"0", "1", "2", "3", "4"});
        const ListItem* first = &table.Items().Item(0);
        table.SetItemSelected(0, true);
        table.SetSelectedItem(0);
        table.MoveItem(2, 2);
        QCOMPARE(column0(table), (QStringList{"0", "1", "2", "3", "4"}));
        table.MoveItem(0, 3);
        QCOMPARE(column0(table), (QStringList{"1", "2", "3", "0", "4"}));
        QCOMPARE(&table.Items().Item(3), first);
        QVERIFY(table.ItemSelected(3));    // the flag travels with its item
        QCOMPARE(table.SelectedItem(), 0); // the current row keeps its position
        table.MoveItem(4, 1);
        QCOMPARE(column0(table), (QStringList{"1", "4", "2", "3", "0"}));
        table.AddItem(2, QStringLiteral("x"));
        QCOMPARE(&table.Items().Item(5), first);
        QCOMPARE(errorOf([&] { table.MoveItem(0, 6); }), ErrorCode::SubscriptOutOfRange);
    }
};

QTEST_GUILESS_MAIN(tst_ListTable)
#include "tst_ListTable.moc"
