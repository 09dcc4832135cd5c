#include "ListView.h"
#include "PropertyBag.h"

#include <QApplication>
#include <QFocusEvent>
#include <QScrollBar>
#include <QTest>
#include <functional>

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

// Changes the list from inside its own painting, once, at the second row's second cell.
struct Meddler : ICustomDraw {
    std::function<void()> change;
    bool done = false;
    bool CustomDraw(std::int32_t row, std::int32_t column, std::int32_t&, std::int32_t&) override
    {
        if (!done && row == 1 && column == 1) {
            done = true;
            change();
        }
        return false;
    }
};

struct EmptyBag : PropertyBag {
    QVariant ReadProperty(const QString&, const QVariant& defaultValue) const override
    {
        return defaultValue;
    }
    void WriteProperty(const QString&, const QVariant&, const QVariant&) override {}
};

using Change = std::function<void(ListView&)>;

QRgb pixel(const ListView& view, int x, int y)
{
    return view.Picture().toImage().pixel(x, y);
}
QRgb colorOf(OleColor color)
{
    return Color::translate(color, QApplication::palette())->rgb();
}
QRgb paletteRgb(QPalette::ColorRole role)
{
    return QApplication::palette().color(role).rgb();
}

void giveFocus(ListView& view, bool focus)
{
    QFocusEvent event(focus ? QEvent::FocusIn : QEvent::FocusOut);
    QApplication::sendEvent(&view, &event);
}
} // namespace

Q_DECLARE_METATYPE(Change)

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
    int top() const { return m_view->ScrollBars().Value(Scrollbars::Vertical); }

private slots:
    void heightsFollowTheFont()
    {
        makeList(0);
        QCOMPARE(m_view->HeaderHeight(), 19);
        QCOMPARE(m_view->ItemHeight(), 15);
        m_view->SetCheckboxes(true);
        QCOMPARE(m_view->ItemHeight(), 19);
        m_view->SetCheckboxes(false);
        m_view->SetItemsAutoSize(false);
        QCOMPARE(m_view->ItemHeight(), 19);
    }

    // What the user sees of the header, the rows, the marks and the area around them.
    void pictureParts()
    {
        const QRgb face = colorOf(ButtonFace);
        const QRgb light = paletteRgb(QPalette::Midlight);
        const QRgb shadow = paletteRgb(QPalette::Dark);
        const QRgb darkShadow = paletteRgb(QPalette::Shadow);
        QVERIFY(light != face && shadow != face && darkShadow != face && light != shadow);

        // An empty list: the header and the list's background, no focus mark.
        makeList(0);
        m_view->SetSelectedItem(0);
        giveFocus(*m_view, true);
        const QRgb back = colorOf(m_view->BackColor());
        QCOMPARE(pixel(*m_view, 60, 10), face);
        QCOMPARE(pixel(*m_view, 0, 0), light);         // raised: light above and left ...
        QCOMPARE(pixel(*m_view, 119, 10), darkShadow); // ... darkest right and below
        QCOMPARE(pixel(*m_view, 118, 10), shadow);
        QCOMPARE(pixel(*m_view, 0, 25), back);
        // Right of the last column the header goes on, edged left, above and below.
        QCOMPARE(pixel(*m_view, 200, 10), light);
        QCOMPARE(pixel(*m_view, 300, m_view->HeaderHeight() - 1), darkShadow);
        QCOMPARE(pixel(*m_view, 399, 10), face);
        // A pressed header cell is etched: dark above and left.
        m_view->Table().Columns().Item(0).Pushed = true;
        m_view->Refresh();
        QCOMPARE(pixel(*m_view, 0, 0), shadow);
        QCOMPARE(pixel(*m_view, 120, 0), light);
        m_view->SetColumnsVisible(false);
        QCOMPARE(m_view->HeaderHeight(), 0);
        QCOMPARE(pixel(*m_view, 60, 5), back);

        // Rows: selection colours, and the background right of the columns and below.
        makeList(10);
        m_view->Table().SetItemSelected(1, true);
        for (int row = 5; row < 10; ++row)
            m_view->Table().SetItemSelected(row, true);
        const QRgb selected = colorOf(m_view->SelectedBackColor());
        QCOMPARE(pixel(*m_view, 60, rowTop(1) + 1), selected);
        QCOMPARE(pixel(*m_view, 300, rowTop(1) + 1), back);
        QCOMPARE(pixel(*m_view, 60, rowTop(7) + 1), selected);
        for (int row = 9; row >= 3; --row)
            m_view->Table().RemoveItem(row);
        QCOMPARE(pixel(*m_view, 60, rowTop(7) + 1), back); // what the removed rows left
        QCOMPARE(pixel(*m_view, 60, 299), back);

        // The dotted focus frame is black on the current row only.
        m_view->SetSolidFocusRect(false);
        m_view->SetSelectedItem(1);
        giveFocus(*m_view, true);
        const QImage picture = m_view->Picture().toImage();
        const auto blackOnLine = [&](int y) {
            int count = 0;
            for (int x = 0; x < 200; ++x)
                count += picture.pixel(x, y) == qRgb(0, 0, 0);
            return count;
        };
        QVERIFY(blackOnLine(rowTop(1)) > 50);
        QCOMPARE(blackOnLine(rowTop(2)), 0);
    }

    void cellColoursFromTheCallback()
    {
        makeList(4);
        m_view->Table().SetItemSelected(1, true);
        const QRgb back = colorOf(m_view->BackColor());
        Striped striped;
        m_view->SetDrawCallback(&striped);
        QCOMPARE(pixel(*m_view, 60, rowTop(0) + 1), qRgb(0xE0, 0xFF, 0xFF));
        QCOMPARE(pixel(*m_view, 60, rowTop(2) + 1), qRgb(0xE0, 0xFF, 0xFF));
        // True with both colours left -1: drawn like an unselected row.
        QCOMPARE(pixel(*m_view, 60, rowTop(1) + 1), back);
        m_view->SetDrawCallback(nullptr);
        QCOMPARE(pixel(*m_view, 60, rowTop(1) + 1), colorOf(m_view->SelectedBackColor()));
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
        m_view->Table().SetItemChecked(1, true);
        m_view->Table().SetItemSelected(1, true);
        m_view->Refresh();
        const QRgb pen = colorOf(m_view->CheckboxColor());
        const int X = 3;
        const int Y =
            static_cast<int>(std::nearbyint((2.0 * rowTop(0) + m_view->ItemHeight()) / 2 - 6.5));
        for (const QPoint& p : {QPoint(X - 1, Y - 1), QPoint(X + 13, Y + 13), QPoint(X + 7, Y + 7)})
            QCOMPARE(pixel(*m_view, p.x(), p.y()), pen);
        QVERIFY(pixel(*m_view, X + 10, Y + 10) != pen); // inside the box, away from the tick
        // A selected row's box in its own colour.
        const int Y1 = Y + m_view->ItemHeight();
        const QRgb selectedPen = colorOf(m_view->CheckboxSelectedColor());
        QCOMPARE(pixel(*m_view, X + 7, Y1 + 7), selectedPen);
        m_view->Table().SetItemChecked(1, false);
        QVERIFY(pixel(*m_view, X + 7, Y1 + 7) != selectedPen);
    }

    void columnsShareTheWidthWhenAutoSized_data()
    {
        QTest::addColumn<QList<int>>("widths");
        QTest::addColumn<int>("fixedColumn");
        QTest::addColumn<int>("client");
        QTest::addColumn<QList<int>>("autoSized");
        QTest::newRow("fixed column keeps its width")
            << QList<int>{50, 100, 30} << 2 << 330 << QList<int>{100, 200, 30};
        // Each third rounds up to 34; the last column gives back what the rounding took.
        QTest::newRow("last column trimmed")
            << QList<int>{1, 1, 1} << -1 << 100 << QList<int>{34, 34, 32};
    }
    void columnsShareTheWidthWhenAutoSized()
    {
        QFETCH(QList<int>, widths);
        QFETCH(int, fixedColumn);
        QFETCH(int, client);
        QFETCH(QList<int>, autoSized);
        m_view = std::make_unique<ListView>();
        for (int i = 0; i < widths.size(); ++i)
            m_view->AddColumn(QString::number(i), {}, 0, widths[i], i != fixedColumn);
        m_view->show();
        m_view->resize(client + m_view->width() - m_view->viewport()->width(), 200);
        m_view->SetColumnsAutoSize(true);
        QCOMPARE(m_view->viewport()->width(), client);
        QList<int> actual;
        for (int i = 0; i < widths.size(); ++i)
            actual << m_view->Table().Columns().Item(i).WidthAutoSized;
        QCOMPARE(actual, autoSized);
        QCOMPARE(m_view->TotalWidth(), client);
    }

    void verticalRangeFollowsTheRowsInEveryState()
    {
        // Drawing off: the range still follows each row, so a row can be brought into view.
        makeList(0);
        const int visible = m_view->VisibleRowCount();
        m_view->SetRedraw(false);
        const int before = m_view->PaintCount();
        for (int i = 0; i < 100; ++i)
            m_view->AddItem(-1, QString::number(i));
        QCOMPARE(m_view->ScrollBars().Max(Scrollbars::Vertical), 100 - visible);
        m_view->MakeSureVisible(60);
        QCOMPARE(m_view->PaintCount(), before);
        m_view->SetRedraw(true);
        QCOMPARE(m_view->PaintCount(), before + 1);
        QCOMPARE(top(), 60);

        // Disabled: the bar is disabled, and rows removed meanwhile pull the list back.
        m_view->SetEnabled(false);
        QVERIFY(!m_view->verticalScrollBar()->isEnabled());
        while (m_view->ItemCount() > 50)
            m_view->Table().RemoveItem(0);
        QVERIFY(top() <= 50 - visible + 1);
        while (m_view->ItemCount() > 3)
            m_view->Table().RemoveItem(0);
        QCOMPARE(top(), 0);
        m_view->SetEnabled(true);
        QCOMPARE(top(), 0);
        QVERIFY(!m_view->ScrollBars().Enabled(Scrollbars::Vertical));
        // The three rows left are drawn from the top, the rest is background.
        const QImage picture = m_view->Picture().toImage();
        const QImage plain = picture.copy(0, rowTop(3), 200, m_view->ItemHeight());
        QVERIFY(picture.copy(0, rowTop(0), 200, m_view->ItemHeight()) != plain);
        QVERIFY(picture.copy(0, rowTop(2), 200, m_view->ItemHeight()) != plain);
        QCOMPARE(picture.copy(0, rowTop(5), 200, m_view->ItemHeight()), plain);

        // Scrolling only moves the picture by whole rows.
        makeList(50);
        const QImage first = m_view->Picture().toImage();
        m_view->ScrollBars().Value(Scrollbars::Vertical, 1);
        QCOMPARE(m_view->Picture().toImage().copy(0, rowTop(0), 200, m_view->ItemHeight()),
                 first.copy(0, rowTop(1), 200, m_view->ItemHeight()));
    }

    // A host's callback may change the list in any way while it is painted: nothing dangles,
    // and the picture afterwards is the one a fresh paint makes.
    void customDrawMayChangeTheList_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<bool>("shown"); // the change asks for a repaint by itself
        const auto row = [](const char* name, Change change) {
            QTest::newRow(name) << change << true;
        };
        const auto quiet = [](const char* name, Change change) {
            QTest::newRow(name) << change << false;
        };
        row("Clear", [](ListView& v) { v.Clear(); });
        row("RemoveItem before", [](ListView& v) { v.Table().RemoveItem(0); });
        row("RemoveItem of the row drawn", [](ListView& v) { v.Table().RemoveItem(1); });
        row("RemoveItem after", [](ListView& v) { v.Table().RemoveItem(15); });
        row("AddItem", [](ListView& v) { v.AddItem(0, QStringLiteral("neu")); });
        row("MoveItem", [](ListView& v) { v.Table().MoveItem(1, 7); });
        row("SetItemText", [](ListView& v) { v.SetItemText(1, 1, QStringLiteral("geändert")); });
        row("SetItemSelected", [](ListView& v) { v.Table().SetItemSelected(2, true); });
        row("SetItemChecked", [](ListView& v) { v.Table().SetItemChecked(1, true); });
        row("SetSelectedItem", [](ListView& v) { v.SetSelectedItem(3); });
        quiet("SortByHeader", [](ListView& v) { v.Table().SortByHeader(1); });
        quiet("Sort", [](ListView& v) { v.Sort(QStringLiteral("b"), 1); });
        row("Clear and RemoveColumn", [](ListView& v) {
            v.Clear();
            v.Table().RemoveColumn(1);
        });
        row("Clear, AddColumn and AddItem", [](ListView& v) {
            v.Clear();
            v.AddColumn(QStringLiteral("c"), QStringLiteral("Neu"), 0, 60);
            v.AddItem(-1, QStringLiteral("x"));
        });
        row("SetColumnWidth", [](ListView& v) { v.Table().SetColumnWidth(0, 50); });
        row("SetColumnWidth beyond the window", [](ListView& v) {
            v.Table().SetColumnWidth(0, 1000); // a wider picture: a new off-screen buffer
        });
        row("SetColumnVisible", [](ListView& v) { v.Table().SetColumnVisible(0, false); });
        row("SetColumnCaption", [](ListView& v) { v.Table().SetColumnCaption(1, "x"); });
        row("SetColumnsAutoSize", [](ListView& v) { v.SetColumnsAutoSize(true); });
        row("SetColumnsVisible", [](ListView& v) { v.SetColumnsVisible(false); });
        row("SetFont", [](ListView& v) {
            QFont font(QStringLiteral("Arial"));
            font.setPointSize(14);
            v.SetFont(font);
        });
        row("SetItemPaddingTop", [](ListView& v) { v.SetItemPaddingTop(12); });
        row("SetPicturesVisible", [](ListView& v) { v.SetPicturesVisible(false); });
        row("setBackColor", [](ListView& v) { v.setBackColor(rgb(255, 0, 0)); });
        row("SetEnabled", [](ListView& v) { v.SetEnabled(false); });
        row("Redraw off and on", [](ListView& v) {
            v.SetRedraw(false);
            v.SetRedraw(true);
        });
        row("Refresh", [](ListView& v) { v.Refresh(); });
        row("MakeSureVisible", [](ListView& v) { v.MakeSureVisible(5); });
        row("resize", [](ListView& v) { v.resize(250, 200); });
        row("SetDrawCallback", [](ListView& v) { v.SetDrawCallback(nullptr); });
        row("ReadProperties", [](ListView& v) { v.ReadProperties(EmptyBag()); });
        quiet("SelectAll", [](ListView& v) { v.SelectAll(); });
        quiet("collection: RemoveItem", [](ListView& v) { v.Table().Items().RemoveItem(1); });
        quiet("collection: Clear and PrepareForItems", [](ListView& v) {
            v.Table().Items().Clear();
            v.Table().Items().PrepareForItems(3);
        });
        quiet("collection: remove a column", [](ListView& v) { v.Table().Columns().Remove(1); });
    }
    void customDrawMayChangeTheList()
    {
        QFETCH(Change, change);
        QFETCH(bool, shown);
        makeList(20);
        m_view->SetSelectedItem(1);
        giveFocus(*m_view, true);
        Meddler meddler;
        meddler.change = [&] { change(*m_view); };
        m_view->SetRedraw(false);
        m_view->SetDrawCallback(&meddler);
        m_view->SetRedraw(true);
        QVERIFY(meddler.done);
        const QImage afterwards = m_view->Picture().toImage();
        m_view->Refresh();
        if (shown)
            QCOMPARE(m_view->Picture().toImage(), afterwards);
        m_view->SetDrawCallback(nullptr);
    }
};

QTEST_MAIN(tst_ListViewPainting)
#include "tst_ListViewPainting.moc"
