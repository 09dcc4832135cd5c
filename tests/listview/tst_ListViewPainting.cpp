#include "ListView.h"

#include <QApplication>
#include <QFocusEvent>
#include <QTest>

using namespace kardelo;

namespace {
// Colours rows through the callback: even rows pale cyan, and row 1 "custom but unset".
struct Striped : ICustomDraw {
    bool CustomDraw(std::int32_t row, std::int32_t, std::int32_t& back, std::int32_t&) override
    {
        if (row % 2 == 0)
            back = static_cast<std::int32_t>(rgb(0xE0, 0xFF, 0xFF));
        return true;
    }
};

QRgb pixel(const ListView& view, int x, int y)
{
    return view.Picture().toImage().pixel(x, y);
}
QRgb colorOf(OleColor color)
{
    return Color::translate(color, QApplication::palette())->rgb();
}

void giveFocus(ListView& view, bool focus)
{
    QFocusEvent event(focus ? QEvent::FocusIn : QEvent::FocusOut);
    QApplication::sendEvent(&view, &event);
}
} // namespace

class tst_ListViewPainting : public QObject {
    Q_OBJECT

    std::unique_ptr<ListView> m_view;

    void makeList(int rows, int width = 400, int height = 300)
    {
        m_view = std::make_unique<ListView>();
        m_view->resize(width, height);
        QFont font(QStringLiteral("Arial"));
        font.setPointSize(8);
        m_view->SetFont(font);
        m_view->AddColumn(QStringLiteral("a"), QStringLiteral("Name"), 0, 120);
        m_view->AddColumn(QStringLiteral("b"), QStringLiteral("Wert"), 1, 80);
        for (int i = 0; i < rows; ++i) {
            m_view->AddItem(-1, QStringLiteral("row %1").arg(i));
            m_view->SetItemText(i, 1, QString::number(i));
        }
        m_view->Refresh();
    }
    int rowTop(int row) const { return m_view->HeaderHeight() + row * m_view->ItemHeight(); }

private slots:
    void heightsFollowTheFont()
    {
        makeList(0);
        QCOMPARE(m_view->logicalDpiY(), 96);
        QCOMPARE(m_view->FontHeight(), 11);
        QCOMPARE(m_view->HeaderHeight(), 19);
        QCOMPARE(m_view->ItemHeight(), 15);
        m_view->SetCheckboxes(true);
        QCOMPARE(m_view->ItemHeight(), 19);
        m_view->SetCheckboxes(false);
        m_view->SetItemsAutoSize(false);
        QCOMPARE(m_view->ItemHeight(), 19);
    }

    void emptyListAndHeader()
    {
        makeList(0);
        m_view->SetSelectedItem(0);
        giveFocus(*m_view, true);
        const QRgb back = colorOf(m_view->BackColor());
        const QRgb face = colorOf(ButtonFace);
        QCOMPARE(pixel(*m_view, 60, 10), face);
        // Each header button ends in its darkest one-pixel column.
        QCOMPARE(pixel(*m_view, 119, 10), QApplication::palette().color(QPalette::Shadow).rgb());
        QCOMPARE(pixel(*m_view, 118, 10), QApplication::palette().color(QPalette::Dark).rgb());
        QCOMPARE(pixel(*m_view, 0, 25), back); // no focus mark without rows
        QCOMPARE(pixel(*m_view, 300, 200), back);

        m_view->SetColumnsVisible(false);
        QCOMPARE(m_view->HeaderHeight(), 0);
        QCOMPARE(pixel(*m_view, 60, 5), back);
    }

    void cellColoursAndSelection()
    {
        makeList(4);
        m_view->Table().SetItemSelected(1, true);
        m_view->Table().SetItemSelected(2, true);
        const QRgb back = colorOf(m_view->BackColor());
        const QRgb selected = colorOf(m_view->SelectedBackColor());
        QCOMPARE(pixel(*m_view, 60, rowTop(1) + 1), selected);
        QCOMPARE(pixel(*m_view, 60, rowTop(0) + 1), back);
        // The rest of a row right of the last column stays in the list's background.
        QCOMPARE(pixel(*m_view, 300, rowTop(1) + 1), back);

        Striped striped;
        m_view->SetDrawCallback(&striped);
        QCOMPARE(pixel(*m_view, 60, rowTop(0) + 1), qRgb(0xE0, 0xFF, 0xFF));
        QCOMPARE(pixel(*m_view, 60, rowTop(2) + 1), qRgb(0xE0, 0xFF, 0xFF));
        // True with both colours left -1: drawn like an unselected row.
        QCOMPARE(pixel(*m_view, 60, rowTop(1) + 1), back);
        m_view->SetDrawCallback(nullptr);
        QCOMPARE(pixel(*m_view, 60, rowTop(1) + 1), selected);
    }

    void focusMarkOnlyWithFocus()
    {
        makeList(3);
        m_view->SetSelectedItem(1);
        const QRgb mark = colorOf(m_view->FocusRectColor());
        QVERIFY(pixel(*m_view, 0, rowTop(1)) != mark);
        giveFocus(*m_view, true);
        QCOMPARE(pixel(*m_view, 0, rowTop(1)), mark);
        QCOMPARE(pixel(*m_view, 199, rowTop(1) + 5), mark); // right edge of the last column
        QVERIFY(pixel(*m_view, 200, rowTop(1) + 5) != mark);
        m_view->SetEnabled(false);
        QVERIFY(pixel(*m_view, 0, rowTop(1)) != mark);
        m_view->SetEnabled(true);
        giveFocus(*m_view, false);
        QVERIFY(pixel(*m_view, 0, rowTop(1)) != mark);
    }

    void checkBoxStrokes()
    {
        makeList(2);
        m_view->SetCheckboxes(true);
        m_view->Table().SetItemChecked(0, true);
        m_view->Refresh();
        const QRgb pen = colorOf(m_view->CheckboxColor());
        const int X = 3;
        const int Y =
            static_cast<int>(std::nearbyint((2.0 * rowTop(0) + m_view->ItemHeight()) / 2 - 6.5));
        for (const QPoint& p : {QPoint(X, Y), QPoint(X + 12, Y + 12), QPoint(X - 1, Y - 1),
                                QPoint(X + 13, Y + 13), QPoint(X + 7, Y + 7), QPoint(X + 3, Y + 5)})
            QCOMPARE(pixel(*m_view, p.x(), p.y()), pen);
        // Inside the box away from the tick, and the unchecked box, stay clear.
        QVERIFY(pixel(*m_view, X + 10, Y + 10) != pen);
        const int Y1 = Y + m_view->ItemHeight();
        QVERIFY(pixel(*m_view, X + 7, Y1 + 7) != pen);
        QCOMPARE(pixel(*m_view, X, Y1), pen);
    }

    void columnsShareTheWidthWhenAutoSized()
    {
        m_view = std::make_unique<ListView>();
        m_view->AddColumn(QStringLiteral("a"), {}, 0, 50);
        m_view->AddColumn(QStringLiteral("b"), {}, 0, 100);
        m_view->AddColumn(QStringLiteral("c"), {}, 0, 30, false);
        m_view->show();
        m_view->resize(330 + m_view->width() - m_view->viewport()->width(), 200);
        m_view->SetColumnsAutoSize(true);
        QCOMPARE(m_view->viewport()->width(), 330);
        const ColumnCollection& columns = m_view->Table().Columns();
        QCOMPARE(columns.Item(0).WidthAutoSized, 100);
        QCOMPARE(columns.Item(1).WidthAutoSized, 200);
        QCOMPARE(columns.Item(2).WidthAutoSized, 30);
        QCOMPARE(m_view->TotalWidth(), 330);
    }

    void redrawOffAroundBulkChangesPaintsOnce()
    {
        makeList(0);
        m_view->SetRedraw(false);
        const int before = m_view->PaintCount();
        for (int i = 0; i < 1000; ++i)
            m_view->AddItem(-1, QString::number(i));
        QCOMPARE(m_view->PaintCount(), before);
        m_view->SetRedraw(true);
        QCOMPARE(m_view->PaintCount(), before + 1);
        QCOMPARE(m_view->ScrollBars().Max(Scrollbars::Vertical), 1000 - m_view->VisibleRowCount());
    }

    void verticalScrollingChangesTheFirstRow()
    {
        makeList(50);
        const QImage top = m_view->Picture().toImage();
        m_view->ScrollBars().Value(Scrollbars::Vertical, 1);
        QCOMPARE(m_view->Picture().toImage().copy(0, rowTop(0), 200, m_view->ItemHeight()),
                 top.copy(0, rowTop(1), 200, m_view->ItemHeight()));
    }
};

QTEST_MAIN(tst_ListViewPainting)
#include "tst_ListViewPainting.moc"
