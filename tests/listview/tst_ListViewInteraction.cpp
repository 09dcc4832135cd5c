#include "EventLog.h"
#include "ListView.h"
#include "Subclasser.h"

#include <QApplication>
#include <QCursor>
#include <QMimeData>
#include <QTest>
#include <memory>

using namespace kardelo;

namespace {

QStringList rowNames(int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << QStringLiteral("r%1").arg(i);
    return names;
}

// A shown list of two 100-pixel columns whose viewport holds exactly `visibleRows` rows,
// recording the host events in the order they are raised.
struct List {
    ListView view;
    QStringList events;

    explicit List(const QStringList& rows = rowNames(10), int visibleRows = 10)
    {
        view.AddColumn(QStringLiteral("name"), QStringLiteral("Name"), 0, 100);
        view.AddColumn(QStringLiteral("size"), QStringLiteral("Size"), 0, 100);
        for (const QString& text : rows)
            view.AddItem(-1, text);
        view.resize(300, 400);
        view.show();
        if (!QTest::qWaitForWindowExposed(&view))
            qWarning("list window not exposed");
        const int wanted = view.HeaderHeight() + visibleRows * view.ItemHeight() - 1;
        view.resize(view.width(), view.height() + wanted - view.viewport()->height());
        QApplication::processEvents();
        // Keeps the auto-scroll timer idle: the pointer rests inside the rows.
        QCursor::setPos(view.viewport()->mapToGlobal(view.viewport()->rect().center()));

        const auto record = [this](const char* name) {
            return [this, name](std::int32_t index) {
                events << QStringLiteral("%1 %2").arg(QLatin1String(name)).arg(index);
            };
        };
        QObject::connect(&view, &ListView::Click, record("Click"));
        QObject::connect(&view, &ListView::DblClick, record("DblClick"));
        QObject::connect(&view, &ListView::ColumnClick, record("ColumnClick"));
        QObject::connect(&view, &ListView::ItemCheck, record("ItemCheck"));
        QObject::connect(&view, &ListView::ItemsMoved, [this] { events << "ItemsMoved"; });
        const auto mouse = [this](const char* name) {
            return [this, name](std::int32_t row, std::int16_t button, std::int16_t shift, float,
                                float) {
                events << QStringLiteral("%1 %2 %3 %4").arg(name).arg(row).arg(button).arg(shift);
            };
        };
        QObject::connect(&view, &ListView::MouseDown, mouse("MouseDown"));
        QObject::connect(&view, &ListView::MouseUp, mouse("MouseUp"));
    }

    QWidget* area() { return view.viewport(); }
    int top() { return view.ScrollBars().Value(Scrollbars::Vertical); }
    QPoint rowPoint(int row, int x = 50)
    {
        return {x, view.HeaderHeight() + (row - top()) * view.ItemHeight() + view.ItemHeight() / 2};
    }
    QPoint headerPoint(int x) const { return {x, view.HeaderHeight() / 2}; }

    void click(int row, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(area(), Qt::LeftButton, modifiers, rowPoint(row));
    }
    void drag(QPoint from, QPoint to)
    {
        QTest::mousePress(area(), Qt::LeftButton, {}, from);
        QTest::mouseMove(area(), to);
        QTest::mouseRelease(area(), Qt::LeftButton, {}, to);
    }

    QList<int> selection() const
    {
        QList<int> rows;
        for (int i = 0; i < view.ItemCount(); ++i)
            if (view.Table().ItemSelected(i))
                rows << i;
        return rows;
    }
    QStringList order() const
    {
        QStringList texts;
        for (int i = 0; i < view.ItemCount(); ++i)
            texts << view.ItemText(i, 0);
        return texts;
    }
    void hover(QPoint at)
    {
        QMouseEvent move(QEvent::MouseMove, at, area()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(area(), &move);
    }
};

} // namespace

class tst_ListViewInteraction : public QObject {
    Q_OBJECT

    // A table call that failed inside an event handler ends up here instead of in the test.
    struct RecordingLog final : EventLog {
        QStringList entries;
        void writeError(const QString& text) override { entries << text; }
    };
    RecordingLog m_log;
    std::unique_ptr<ScopedEventLog> m_logScope;

private slots:
    void init()
    {
        m_log.entries.clear();
        m_logScope = std::make_unique<ScopedEventLog>(m_log);
    }
    void cleanup()
    {
        m_logScope.reset();
        QCOMPARE(m_log.entries, QStringList());
    }

    void shiftExtendsAndCtrlTogglesWithDeselectMode()
    {
        List list;
        list.click(2);
        list.click(5, Qt::ShiftModifier);
        QCOMPARE(list.selection(), (QList<int>{2, 3, 4, 5}));
        QCOMPARE(list.view.SelectedItem(), 5);

        list.click(3, Qt::ControlModifier);
        QCOMPARE(list.selection(), (QList<int>{2, 4, 5}));
        list.click(7, Qt::ShiftModifier);
        QCOMPARE(list.selection(), QList<int>{2});
        QCOMPARE(list.view.SelectedItem(), 7);

        // A press right of the last column clears the selection.
        list.events.clear();
        QTest::mouseClick(list.area(), Qt::LeftButton, {}, list.rowPoint(1, 250));
        QVERIFY(list.selection().isEmpty());
        QCOMPARE(list.events.first(), QStringLiteral("MouseDown -1 1 0"));
    }

    void plainClickOnSelectionNarrowsOnlyOnRelease()
    {
        List list;
        list.click(2);
        list.click(5, Qt::ShiftModifier);
        // Only the left button's release narrows the selection.
        for (const Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
            QTest::mouseClick(list.area(), button, {}, list.rowPoint(4));
            QCOMPARE(list.selection(), (QList<int>{2, 3, 4, 5}));
        }
        list.events.clear();

        QTest::mousePress(list.area(), Qt::LeftButton, {}, list.rowPoint(4));
        QCOMPARE(list.selection(), (QList<int>{2, 3, 4, 5}));
        QTest::mouseRelease(list.area(), Qt::LeftButton, {}, list.rowPoint(4));
        QCOMPARE(list.selection(), QList<int>{4});
        QCOMPARE(list.events, (QStringList{"MouseDown 4 1 0", "MouseUp 4 1 0", "Click 4"}));

        // The release that ends a double click is no click of its own.
        list.events.clear();
        QTest::mouseDClick(list.area(), Qt::LeftButton, {}, list.rowPoint(4));
        QTest::mouseRelease(list.area(), Qt::LeftButton, {}, list.rowPoint(4));
        QCOMPARE(list.events, (QStringList{"DblClick 4", "MouseUp 4 1 0"}));
    }

    void draggingSelectedRowsMovesThemTogether()
    {
        List list(rowNames(10), 14);
        list.click(3);
        list.click(4, Qt::ShiftModifier);
        list.events.clear();

        list.drag(list.rowPoint(4), list.rowPoint(6));
        QCOMPARE(list.order().mid(3, 4), (QStringList{"r5", "r6", "r3", "r4"}));
        QCOMPARE(list.view.SelectedItem(), 6);
        QCOMPARE(list.selection(), (QList<int>{5, 6}));
        QVERIFY(list.events.contains("ItemsMoved"));

        list.drag(list.rowPoint(6), list.rowPoint(1));
        QCOMPARE(list.order().mid(0, 3), (QStringList{"r3", "r4", "r0"}));
        QCOMPARE(list.view.SelectedItem(), 1);

        const QStringList before = list.order();
        list.events.clear();
        QTest::mousePress(list.area(), Qt::LeftButton, {}, list.rowPoint(1));
        QTest::mouseMove(list.area(), list.rowPoint(-1));
        QCOMPARE(list.order(), before);
        QTest::mouseMove(list.area(), list.rowPoint(11));
        QCOMPARE(list.order(), before);
        QTest::mouseRelease(list.area(), Qt::LeftButton, {}, list.rowPoint(11));
        QVERIFY(!list.events.contains("ItemsMoved"));
        // Nothing moved, so the release narrows the selection to the pressed row.
        QCOMPARE(list.selection(), QList<int>{1});

        list.view.SetReorder(false);
        list.drag(list.rowPoint(1), list.rowPoint(5));
        QCOMPARE(list.order(), before);
    }

    void dragOverUnselectedRowsSelectsTheSpanAndScrolls()
    {
        List list(rowNames(40), 10);
        QTest::mousePress(list.area(), Qt::LeftButton, {}, list.rowPoint(6));
        QTest::mouseMove(list.area(), list.rowPoint(3));
        QCOMPARE(list.selection(), (QList<int>{3, 4, 5, 6}));
        QTest::mouseMove(list.area(), list.rowPoint(8));
        QCOMPARE(list.selection(), (QList<int>{6, 7, 8}));

        // Held below the list, the pointer scrolls it on each move and while it rests there.
        const QPoint below(50, list.area()->height() + 10);
        QCursor::setPos(list.area()->mapToGlobal(below));
        QTest::mouseMove(list.area(), below);
        QCOMPARE(list.top(), 1);
        QTRY_VERIFY(list.top() >= 4);
        QTest::mouseRelease(list.area(), Qt::LeftButton, {}, below);
        // The selection followed the rows that came into view under the pointer.
        QVERIFY(list.view.SelectedItem() >= 13);
        QCOMPARE(list.selection().first(), 6);
        QCOMPARE(list.selection().size(), list.view.SelectedItem() - 5);
        QCursor::setPos(list.area()->mapToGlobal(list.area()->rect().center()));
        const int stopped = list.top();
        QTest::qWait(50);
        QCOMPARE(list.top(), stopped);

        // Dragging rows scrolls too, by the timer alone.
        list.click(stopped + 2);
        QTest::mousePress(list.area(), Qt::LeftButton, {}, list.rowPoint(stopped + 2));
        QCursor::setPos(list.area()->mapToGlobal(below));
        QTRY_VERIFY(list.top() >= stopped + 3);
        QTest::mouseRelease(list.area(), Qt::LeftButton, {}, below);
        QCursor::setPos(list.area()->mapToGlobal(list.area()->rect().center()));
    }

    void columnBorderDragResizesDownToFive()
    {
        List list;
        QWidget* area = list.area();
        list.hover(list.headerPoint(97));
        QCOMPARE(area->cursor().shape(), Qt::SizeHorCursor);
        list.hover(list.rowPoint(2));
        QCOMPARE(area->cursor().shape(), Qt::ArrowCursor);

        QTest::mousePress(area, Qt::LeftButton, {}, list.headerPoint(97));
        QTest::mouseMove(area, list.headerPoint(140));
        QCOMPARE(list.view.Table().ColumnWidth(0), 140);
        QTest::mouseMove(area, list.headerPoint(2));
        QCOMPARE(list.view.Table().ColumnWidth(0), 5);
        QTest::mouseRelease(area, Qt::LeftButton, {}, list.headerPoint(2));
        QVERIFY(list.events.filter("MouseDown").isEmpty());

        // Neither a fixed column nor auto-sized ones can be dragged wider.
        list.view.Table().SetColumnResizable(1, false);
        QTest::mousePress(area, Qt::LeftButton, {}, list.headerPoint(104));
        QTest::mouseMove(area, list.headerPoint(150));
        QTest::mouseRelease(area, Qt::LeftButton, {}, list.headerPoint(150));
        QCOMPARE(list.view.Table().ColumnWidth(1), 100);

        list.view.SetColumnsAutoSize(true);
        const std::int32_t width = list.view.Table().ColumnWidth(0);
        const std::int32_t border = list.view.Table().Columns().Item(0).WidthAutoSized;
        list.hover(list.headerPoint(border - 2));
        QVERIFY(area->cursor().shape() != Qt::SizeHorCursor);
        QTest::mousePress(area, Qt::LeftButton, {}, list.headerPoint(border - 2));
        QTest::mouseMove(area, list.headerPoint(border - 40));
        QTest::mouseRelease(area, Qt::LeftButton, {}, list.headerPoint(border - 40));
        QCOMPARE(list.view.Table().ColumnWidth(0), width);
    }

    void headerClickSortsAlternatelyEvenWhenReleasedOutside()
    {
        List list({"2", "10", "1"});
        QTest::mousePress(list.area(), Qt::LeftButton, {}, list.headerPoint(50));
        QTest::mouseRelease(list.area(), Qt::LeftButton, {}, QPoint(-40, 500));
        QCOMPARE(list.order(), (QStringList{"10", "2", "1"}));
        QCOMPARE(list.events, (QStringList{"ColumnClick 0", "MouseUp -1 1 0"}));

        // A press near a border grabs the border, not the cell; so does one at a cell's left
        // edge, where no border is.
        list.events.clear();
        for (const int x : {103, 97, 3})
            QTest::mouseClick(list.area(), Qt::LeftButton, {}, list.headerPoint(x));
        QVERIFY(list.events.filter("ColumnClick").isEmpty());

        list.view.SetSortable(false);
        QTest::mouseClick(list.area(), Qt::LeftButton, {}, list.headerPoint(50));
        QCOMPARE(list.order(), (QStringList{"10", "2", "1"}));
        QVERIFY(list.events.contains("ColumnClick 0"));
    }

    void navigationKeysMoveSelectAndScroll()
    {
        List list(rowNames(30), 10);
        list.view.setFocus();
        list.view.SetSelectedItem(0);
        QTest::keyClick(&list.view, Qt::Key_PageDown);
        QCOMPARE(list.view.SelectedItem(), 9);
        QCOMPARE(list.top(), 9);
        QCOMPARE(list.selection(), QList<int>{9});
        QCOMPARE(list.events, QStringList{"Click 9"});

        QTest::keyClick(&list.view, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(list.selection(), (QList<int>{9, 10}));
        QTest::keyClick(&list.view, Qt::Key_Up);
        QCOMPARE(list.selection(), QList<int>{9});
        QTest::keyClick(&list.view, Qt::Key_Up);
        QCOMPARE(list.top(), 8);
        // Pages of V - 1 rows both ways.
        QTest::keyClick(&list.view, Qt::Key_PageUp);
        QCOMPARE(list.view.SelectedItem(), 0);
        QCOMPARE(list.top(), 0);

        QTest::keyClick(&list.view, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(list.view.SelectedItem(), 1);
        QCOMPARE(list.selection(), QList<int>{0});
        QTest::keyClick(&list.view, Qt::Key_Up);

        // Ctrl+Space toggles the current row; a following Shift+Down then unselects.
        QTest::keyClick(&list.view, Qt::Key_Space, Qt::ControlModifier);
        QVERIFY(list.selection().isEmpty());
        list.view.Table().SetItemSelected(1, true);
        QTest::keyClick(&list.view, Qt::Key_Down, Qt::ShiftModifier);
        QVERIFY(list.selection().isEmpty());
    }

    void keyEventsAndCancellingHandler()
    {
        List list;
        list.view.setFocus();
        list.view.SetSelectedItem(3);
        QStringList keys;
        QObject::connect(&list.view, &ListView::KeyDown,
                         [&keys](std::int16_t& code, std::int16_t& shift) {
                             keys << QStringLiteral("KeyDown %1 %2").arg(code).arg(shift);
                             if (code == VK_DOWN)
                                 code = 0;
                         });
        QObject::connect(&list.view, &ListView::KeyPress, [&keys](std::int16_t& ascii) {
            keys << QStringLiteral("KeyPress %1").arg(ascii);
        });
        QObject::connect(&list.view, &ListView::KeyUp, [&keys](std::int16_t code, std::int16_t) {
            keys << QStringLiteral("KeyUp %1").arg(code);
        });

        QTest::keyClick(&list.view, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(list.view.SelectedItem(), 3);
        QVERIFY(list.events.isEmpty());
        QTest::keyClick(&list.view, Qt::Key_A);
        QCOMPARE(keys, (QStringList{"KeyDown 17 2", "KeyDown 40 2", "KeyUp 40", "KeyUp 17",
                                    "KeyDown 65 0", "KeyPress 97", "KeyUp 65"}));
    }

    // Drop notifications pass through in drop mode; a disabled control raises only MouseUp.
    void dropModeAndDisabledControl()
    {
        List list;
        QMimeData data;
        data.setText(QStringLiteral("E:"));
        QStringList drops;
        QObject::connect(
            &list.view, &ListView::OLEDragOver,
            [&drops](const QMimeData* dropped, std::int32_t& effect, std::int16_t, std::int16_t,
                     float, float, std::int32_t state) {
                drops
                    << QStringLiteral("over %1 %2 %3").arg(dropped->text()).arg(effect).arg(state);
                effect = 1;
            });
        QObject::connect(&list.view, &ListView::OLEDragDrop,
                         [&drops](const QMimeData* dropped, std::int32_t&, std::int16_t,
                                  std::int16_t shift, float, float) {
                             drops << QStringLiteral("drop %1 %2").arg(dropped->text()).arg(shift);
                         });
        int keyEvents = 0;
        QObject::connect(&list.view, &ListView::KeyDown,
                         [&keyEvents](std::int16_t&, std::int16_t&) { ++keyEvents; });
        const auto actions = Qt::CopyAction | Qt::MoveAction;
        list.view.SetOLEDropMode(1);
        QDragEnterEvent enter(list.rowPoint(1), actions, &data, Qt::LeftButton, {});
        QApplication::sendEvent(list.area(), &enter);
        QVERIFY(enter.isAccepted());
        QCOMPARE(enter.dropAction(), Qt::CopyAction);
        QDropEvent drop(list.rowPoint(2), actions, &data, Qt::LeftButton, Qt::ControlModifier);
        QApplication::sendEvent(list.area(), &drop);
        QCOMPARE(drops, (QStringList{"over E: 3 0", "drop E: 2"}));

        drops.clear();
        list.view.SetEnabled(false);
        list.view.setFocus();
        list.drag(list.rowPoint(2), list.rowPoint(4));
        QTest::mouseClick(list.area(), Qt::LeftButton, {}, list.headerPoint(50));
        QTest::keyClick(&list.view, Qt::Key_Down);
        QDragEnterEvent refused(list.rowPoint(1), actions, &data, Qt::LeftButton, {});
        QApplication::sendEvent(list.area(), &refused);
        QVERIFY(list.selection().isEmpty());
        QCOMPARE(list.view.SelectedItem(), -1);
        QCOMPARE(list.order(), rowNames(10));
        QCOMPARE(list.events, (QStringList{"MouseUp -1 1 0", "MouseUp -1 1 0"}));
        QCOMPARE(keyEvents, 0);
        QVERIFY(drops.isEmpty());
    }

    // The list's own handling of a message runs where the message chain says: an "after"
    // procedure sees the press already handled, and the list's reply.
    void afterProcedureSeesThePressHandled()
    {
        struct Watcher final : ISubclass {
            ListView* view = nullptr;
            QStringList seen;
            void WndProc(bool before, bool&, std::int32_t& reply, WindowHandle, std::uint32_t,
                         std::int32_t, std::int32_t, std::int32_t&) override
            {
                seen << QStringLiteral("%1 row %2 reply %3")
                            .arg(before ? "before" : "after")
                            .arg(view->SelectedItem())
                            .arg(reply);
            }
        };
        List list;
        Watcher watcher;
        watcher.view = &list.view;
        Subclasser subclasser;
        QVERIFY(subclasser.Subclass(list.view.Handle(), &watcher));
        subclasser.AddMsg(list.view.Handle(), WM_LBUTTONDOWN, Subclasser::MSG_BEFORE_AND_AFTER);
        QTest::mousePress(list.area(), Qt::LeftButton, {}, list.rowPoint(3));
        QCOMPARE(watcher.seen, (QStringList{"before row -1 reply 0", "after row 3 reply 1"}));
        QCOMPARE(list.events.first(), QStringLiteral("MouseDown 3 1 0"));
        QTest::mouseRelease(list.area(), Qt::LeftButton, {}, list.rowPoint(3));
        subclasser.Terminate();
    }

    // A row starts at its top pixel line, scrolled or not; a hit needs a row and a column.
    void pointQueriesAndScrolledCoordinates()
    {
        List list(rowNames(30), 10);
        const int h = list.view.ItemHeight();
        for (const int first : {0, 7, 20}) {
            list.view.ScrollBars().Value(Scrollbars::Vertical, first);
            for (int row = first; row < first + 10; ++row) {
                const int top = list.view.HeaderHeight() + (row - first) * h;
                QCOMPARE(list.view.RowFromPoint(50, float(top)), row);
                QCOMPARE(list.view.RowFromPoint(50, float(top + h - 1)), row);
                QCOMPARE(list.view.RowFromPoint(50, float(top) + 0.5f, true), row);
            }
            QCOMPARE(list.view.RowFromPoint(50, float(list.view.HeaderHeight() - 1)), first - 1);
        }
        const auto y = [&list](int row) { return float(list.rowPoint(row).y()); };
        QCOMPARE(list.view.RowFromPoint(50, y(30), true), -1);
        QCOMPARE(list.view.RowFromPoint(50, y(30)), 30);
        QCOMPARE(list.view.RowFromPoint(200, y(25), true), -1);
        QCOMPARE(list.view.ColumnFromPoint(99.5f, 0), 0);
        QCOMPARE(list.view.ColumnFromPoint(100, 0), 1);
        QCOMPARE(list.view.ColumnFromPoint(200, 0), -1);
        list.view.Table().SetColumnVisible(0, false);
        QCOMPARE(list.view.ColumnFromPoint(50, 0), 1);
        list.view.Table().SetColumnVisible(0, true);

        // The user's click on the top line of an odd row selects that row.
        list.view.ScrollBars().Value(Scrollbars::Vertical, 0);
        QTest::mouseClick(list.area(), Qt::LeftButton, {},
                          QPoint(50, list.view.HeaderHeight() + 3 * h));
        QCOMPARE(list.view.SelectedItem(), 3);

        // Wider than the window: MouseDown reports list coordinates, MouseUp window ones.
        list.view.Table().SetColumnWidth(1, 900);
        list.view.MakeSureVisible(0, 1);
        QCOMPARE(list.view.ScrollBars().Value(Scrollbars::Horizontal), 100);
        float down = -1, up = -1;
        QObject::connect(
            &list.view, &ListView::MouseDown,
            [&down](std::int32_t, std::int16_t, std::int16_t, float X, float) { down = X; });
        QObject::connect(
            &list.view, &ListView::MouseUp,
            [&up](std::int32_t, std::int16_t, std::int16_t, float X, float) { up = X; });
        QTest::mouseClick(list.area(), Qt::LeftButton, {}, list.rowPoint(2, 30));
        QCOMPARE(down, 130.0f);
        QCOMPARE(up, 30.0f);
    }

    void checkboxClickTogglesWithoutSelecting()
    {
        List list;
        list.view.SetCheckboxes(true);
        list.view.Refresh();
        list.click(0);
        list.events.clear();

        QTest::mouseClick(list.area(), Qt::LeftButton, {}, list.rowPoint(1, 8));
        QVERIFY(list.view.Table().ItemChecked(1));
        QCOMPARE(list.selection(), QList<int>{0});
        QCOMPARE(list.events, (QStringList{"ItemCheck 1", "MouseUp 0 1 0", "Click 0"}));

        QTest::mouseClick(list.area(), Qt::LeftButton, {}, list.rowPoint(1, 8));
        QVERIFY(!list.view.Table().ItemChecked(1));
        // Space toggles the current row's box, without the event.
        list.view.setFocus();
        list.events.clear();
        QTest::keyClick(&list.view, Qt::Key_Space);
        QVERIFY(list.view.Table().ItemChecked(0));
        QTest::keyClick(&list.view, Qt::Key_Space);
        QVERIFY(!list.view.Table().ItemChecked(0));
        QVERIFY(list.events.filter("ItemCheck").isEmpty());
        // Beside the box the press selects as usual.
        QTest::mouseClick(list.area(), Qt::LeftButton, {}, list.rowPoint(1, 16));
        QVERIFY(!list.view.Table().ItemChecked(1));
        QCOMPARE(list.selection(), QList<int>{1});
    }
};

QTEST_MAIN(tst_ListViewInteraction)
#include "tst_ListViewInteraction.moc"
