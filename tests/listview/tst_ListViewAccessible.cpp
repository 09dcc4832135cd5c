#include "ListView.h"
#include "ScreenReader.h"

#include <QAccessibleActionInterface>
#include <QSignalSpy>
#include <QTest>

using namespace kardelo;
using testing::ScreenReader;

// What a screen reader finds in the list control, whatever its host.
class tst_ListViewAccessible : public QObject {
    Q_OBJECT

    std::unique_ptr<ListView> m_list;

    QAccessibleInterface* table() const
    {
        return QAccessible::queryAccessibleInterface(m_list.get());
    }
    QAccessibleTableInterface* rows() const { return table()->tableInterface(); }
    void fill(const QStringList& names)
    {
        m_list->SetRedraw(false);
        m_list->Clear();
        for (const QString& name : names)
            m_list->SetItemText(m_list->AddItem(-1, name), 2, name.toUpper());
        m_list->SetRedraw(true);
    }

private slots:
    void initTestCase() { QVERIFY(ScreenReader::start()); }
    void init()
    {
        m_list = std::make_unique<ListView>(); // made while the reader listens
        m_list->resize(300, 200);
        m_list->AddColumn(QStringLiteral("g"), QStringLiteral("Gerät"), 2, 100);
        m_list->AddColumn(QStringLiteral("t"), {}, 2, 1, false); // a rule between columns
        m_list->AddColumn(QStringLiteral("n"), QStringLiteral("Name"), 0, 120);
        m_list->AddColumn(QStringLiteral("h"), QStringLiteral("Versteckt"), 0, 50, true, false);
        fill({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        m_list->show();
        m_list->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_list.get()));
        QCoreApplication::processEvents();
        ScreenReader::heard().clear();
    }
    void cleanup() { m_list.reset(); }

    void cellsUnderTheirHeaders()
    {
        // Neither the rule nor the hidden column.
        const QStringList children{"Gerät", "Name", "a", "A", "b", "B", "c", "C"};
        QCOMPARE(table()->childCount(), children.size());
        for (int i = 0; i < children.size(); ++i) {
            QAccessibleInterface* cell = table()->child(i);
            QCOMPARE(cell->text(QAccessible::Name), children[i]);
            QCOMPARE(cell->role(), i < 2 ? QAccessible::ColumnHeader : QAccessible::Cell);
            QCOMPARE(table()->indexOfChild(cell), i);
            // Where it is painted is where a pointer finds it.
            QCOMPARE(table()->childAt(cell->rect().center().x(), cell->rect().center().y()), cell);
        }
        QCOMPARE(rows()->cellAt(2, 1)->tableCellInterface()->columnHeaderCells(),
                 QList{table()->child(1)});
        QVERIFY(!rows()->cellAt(3, 0));
    }

    void selectionByTheReader_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("multiSelect");
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<int>("clicked"); // the row the host hears of, -1: none
        // Row 0 is selected before each action on row 2.
        QTest::newRow("select adds") << "select" << true << QList<int>{0, 2} << 2;
        QTest::newRow("select, one at a time") << "select" << false << QList<int>{2} << 2;
        QTest::newRow("press picks the row alone") << "press" << true << QList<int>{2} << 2;
        QTest::newRow("toggle twice takes it out") << "toggle2" << true << QList<int>{0} << 2;
        QTest::newRow("list takes no input") << "disabled" << true << QList<int>{0} << -1;
    }
    void selectionByTheReader()
    {
        QFETCH(QString, action);
        QFETCH(bool, multiSelect);
        QFETCH(QList<int>, selected);
        QFETCH(int, clicked);
        m_list->SetMultiSelect(multiSelect);
        m_list->SetEnabled(action != QLatin1String("disabled"));
        m_list->Table().SetItemSelected(0, true);
        QSignalSpy clicks(m_list.get(), &ListView::Click);
        QAccessibleActionInterface* cell = rows()->cellAt(2, 1)->actionInterface();
        if (action == QLatin1String("press"))
            cell->doAction(QAccessibleActionInterface::pressAction());
        else if (action == QLatin1String("toggle2"))
            for (int twice = 0; twice < 2; ++twice)
                cell->doAction(QAccessibleActionInterface::toggleAction());
        else
            rows()->selectRow(2);
        QCOMPARE(rows()->selectedRows(), selected);
        QCOMPARE(m_list->SelectedItem(), clicked);
        QCoreApplication::processEvents();
        QCOMPARE(clicks.isEmpty() ? -1 : clicks.last().at(0).toInt(), clicked);
    }

    // Each change is told once the event loop is back, in its final state.
    void eventsWhenRowsChange()
    {
        const QAccessible::Id gone = QAccessible::uniqueId(rows()->cellAt(2, 0));
        const struct {
            QStringList rows;
            QAccessibleTableModelChangeEvent::ModelChangeType change;
        } rebuilds[] = {{{"x", "y"}, QAccessibleTableModelChangeEvent::ModelReset},
                        // as many rows with other texts: a stick swapped for another
                        {{"v", "w"}, QAccessibleTableModelChangeEvent::DataChanged}};
        for (const auto& rebuild : rebuilds) {
            ScreenReader::heard().clear();
            fill(rebuild.rows);
            QCoreApplication::processEvents();
            QCOMPARE(ScreenReader::heard().size(), 1u);
            QCOMPARE(ScreenReader::heard().front().change, int(rebuild.change));
        }
        QVERIFY(!QAccessible::accessibleInterface(gone));
        QCOMPARE(rows()->cellAt(1, 1)->text(QAccessible::Name), QStringLiteral("W"));

        // Each key that moves the current row gives the focus to its first cell.
        m_list->setFocus();
        const struct {
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
            QString focus; // empty: no focus event
            std::size_t selectionEvents;
            QList<int> selected;
        } keys[] = {{Qt::Key_Down, {}, QStringLiteral("v"), 1, {0}},
                    {Qt::Key_Down, {}, QStringLiteral("w"), 2, {1}},  // 0 out, 1 in
                    {Qt::Key_Space, Qt::ControlModifier, {}, 1, {}}}; // 1 out
        for (const auto& step : keys) {
            ScreenReader::heard().clear();
            QTest::keyClick(m_list.get(), step.key, step.modifiers);
            QCoreApplication::processEvents();
            const auto focus = ScreenReader::heard(QAccessible::Focus);
            QCOMPARE(focus.empty() ? QString() : focus.back().name, step.focus);
            QCOMPARE(ScreenReader::heard(QAccessible::Selection).size(), step.selectionEvents);
            QCOMPARE(rows()->selectedRows(), step.selected);
        }
        QCOMPARE(table()->focusChild(), rows()->cellAt(1, 0));
        QVERIFY(table()->focusChild()->state().focused);
    }
};

QTEST_MAIN(tst_ListViewAccessible)
#include "tst_ListViewAccessible.moc"
