#include "ScrollInfo.h"
#include "WindowMessages.h"

#include <QAbstractScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QWidget>
#include <memory>
#include <vector>

using namespace kardelo;

namespace {

class InputWidget final : public QWidget {
public:
    int presses = 0;
    int keys = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
    void keyPressEvent(QKeyEvent*) override { ++keys; }
};

} // namespace

class tst_WindowMessages : public QObject {
    Q_OBJECT

private slots:
    void qtEventsGoOnOnlyWhenTheirMessageReachedTheWidget()
    {
        InputWidget widget;
        widget.resize(100, 100);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        const WindowHandle handle = registerWindow(&widget);
        QCOMPARE(registerWindow(&widget), handle);

        std::vector<WindowMessage> seen;
        bool passOn = true;
        WindowProcedure previous;
        previous = setWindowProcedure(handle, [&](WindowHandle window, std::uint32_t msg,
                                                  std::int32_t w, std::int32_t l) {
            seen.push_back({msg, w, l});
            // A nested message that reaches the widget must not let the outer one through.
            if (msg == WM_LBUTTONDOWN)
                sendMessage(window, WM_PAINT, 0, 0);
            return passOn || msg == WM_PAINT ? callWindowProcedure(previous, window, msg, w, l) : 0;
        });
        QVERIFY(previous);

        QTest::mousePress(&widget, Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 7));
        QTest::keyClick(&widget, Qt::Key_PageDown);
        QCOMPARE(widget.presses, 1);
        QCOMPARE(widget.keys, 1);
        const auto press = std::find_if(seen.begin(), seen.end(), [](const WindowMessage& m) {
            return m.msg == WM_LBUTTONDOWN;
        });
        QVERIFY(press != seen.end());
        QCOMPARE(press->wParam, MK_LBUTTON | MK_SHIFT);
        QCOMPARE(press->lParam, (7 << 16) | 5);
        const auto key = std::find_if(seen.begin(), seen.end(),
                                      [](const WindowMessage& m) { return m.msg == WM_KEYDOWN; });
        QVERIFY(key != seen.end());
        QCOMPARE(key->wParam, VK_NEXT);

        passOn = false;
        QTest::mouseRelease(&widget, Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 7));
        QTest::mousePress(&widget, Qt::LeftButton, {}, QPoint(5, 7));
        QTest::keyClick(&widget, Qt::Key_A);
        QCOMPARE(widget.presses, 1);
        QCOMPARE(widget.keys, 1);
        QTest::mouseRelease(&widget, Qt::LeftButton, {}, QPoint(5, 7));
    }

    void aProcedureMayReplaceItselfWhileItRuns()
    {
        auto widget = std::make_unique<QWidget>();
        const WindowHandle handle = registerWindow(widget.get());
        WindowProcedure previous;
        auto state = std::make_shared<int>(41);
        previous = setWindowProcedure(handle, [&, state](WindowHandle window, std::uint32_t msg,
                                                         std::int32_t w, std::int32_t l) {
            setWindowProcedure(window, previous); // releases the chain's copy of this closure
            callWindowProcedure(previous, window, msg, w, l);
            return ++*state;
        });
        state.reset();
        QCOMPARE(sendMessage(handle, WM_PAINT, 0, 0), 42);
        QCOMPARE(sendMessage(handle, WM_PAINT, 0, 0), 0);

        widget.reset();
        QVERIFY(!isWindow(handle));
        QVERIFY(!setWindowProcedure(handle, previous));
        QCOMPARE(lastWindowError(), 1400);
    }

    void scrollPositionsFollowTheSystemRules()
    {
        QAbstractScrollArea area;
        const WindowHandle handle = registerWindow(&area);
        QCOMPARE(setScrollInfo(handle, SB_VERT, {0, 24, 10, 100, 0}, SIF_ALL), 15);
        QCOMPARE(area.verticalScrollBar()->maximum(), 15);
        QCOMPARE(area.verticalScrollBar()->pageStep(), 10);
        QCOMPARE(setScrollInfo(handle, SB_VERT, {0, 24, 0, 100, 0}, SIF_PAGE | SIF_POS), 24);
        // The page is kept within the range's size, so it never pushes the end below the start.
        QCOMPARE(setScrollInfo(handle, SB_VERT, {5, 8, 50, 0, 0}, SIF_RANGE | SIF_PAGE), 5);
        const auto info = getScrollInfo(handle, SB_VERT, SIF_ALL);
        QVERIFY(info);
        QCOMPARE(info->page, 4);
        QCOMPARE(info->trackPos, 5);

        QWidget plain;
        QVERIFY(!getScrollInfo(registerWindow(&plain), SB_VERT, SIF_ALL));
    }
};

QTEST_MAIN(tst_WindowMessages)
#include "tst_WindowMessages.moc"
