#include "Scrollbars.h"
#include "WindowMessages.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <memory>

using namespace kardelo;

namespace {

using Bar = Scrollbars::Bar;

// A list control's window with its bars attached, recording the events in order.
struct ListWindow {
    QAbstractScrollArea area;
    WindowHandle handle = registerWindow(&area);
    QStringList events;
    std::int32_t wheelAmountSet = -1; // what the owner leaves in lAmount, -1 for untouched
    std::unique_ptr<Scrollbars> bars;

    ListWindow()
    {
        QApplication::setWheelScrollLines(3);
        area.resize(200, 150);
        area.show();
        bars = std::make_unique<Scrollbars>(Scrollbars::Events{
            [this](Bar bar, Scrollbars::MouseButton button) {
                events << QStringLiteral("ScrollClick %1 %2").arg(bar).arg(button);
            },
            [this](Bar bar) {
                events << QStringLiteral("Scroll %1 %2").arg(bar).arg(bars->Value(bar));
            },
            [this](Bar bar) {
                events << QStringLiteral("Change %1 %2").arg(bar).arg(bars->Value(bar));
            },
            [this](Bar bar, std::int32_t& amount) {
                events << QStringLiteral("MouseWheel %1 %2").arg(bar).arg(amount);
                if (wheelAmountSet >= 0)
                    amount = wheelAmountSet;
            }});
        AttachScrollbars(*bars, handle);
        UpdateVerticalScrollBar(*bars, 25, 10, true);
    }

    std::int32_t vscroll(std::int32_t code) { return sendMessage(handle, WM_VSCROLL, code, 0); }
    QScrollBar& vbar() { return *area.verticalScrollBar(); }
};

} // namespace

class tst_Scrollbars : public QObject {
    Q_OBJECT

private slots:
    void arrowsReachOnePastMaxAndPagesAreLimited()
    {
        ListWindow window;
        Scrollbars& bars = *window.bars;
        QCOMPARE(window.vbar().maximum(), 16);

        window.vscroll(SB_LINEUP);
        for (int step = 0; step < 20; ++step)
            window.vscroll(SB_LINEDOWN);
        QCOMPARE(bars.Value(Bar::Vertical), 16);
        QCOMPARE(window.events.size(), 16);
        QCOMPARE(window.events.back(), QStringLiteral("Change 1 16"));

        window.events.clear();
        window.vscroll(SB_TOP);
        window.vscroll(SB_PAGEDOWN);
        window.vscroll(SB_PAGEDOWN);
        window.vscroll(SB_PAGEUP);
        window.vscroll(SB_BOTTOM);
        window.vscroll(SB_ENDSCROLL);
        window.vscroll(SB_THUMBPOSITION);
        QCOMPARE(window.events, QStringList({"Change 1 0", "Change 1 10", "Change 1 16",
                                             "Change 1 6", "Change 1 15"}));
    }

    void eventsOnlyWhenThePositionMoved()
    {
        ListWindow window;
        Scrollbars& bars = *window.bars;
        bars.Value(Bar::Vertical, 0);
        bars.Value(Bar::Vertical, 100);
        bars.Value(Bar::Vertical, 100);
        bars.Value(Bar::Vertical, -5);
        QCOMPARE(window.events, QStringList({"Change 1 16", "Change 1 0"}));

        // Fewer rows than fit: the bar is disabled and back at the top.
        bars.Value(Bar::Vertical, 12);
        UpdateVerticalScrollBar(bars, 4, 10, true);
        QCOMPARE(bars.Value(Bar::Vertical), 0);
        QVERIFY(!window.vbar().isEnabled());
        QVERIFY(window.vbar().isVisible());
    }

    void wheelScrollsByWholeNotches_data()
    {
        QTest::addColumn<QList<int>>("deltas");
        QTest::addColumn<int>("ownerAmount"); // what the owner leaves in lAmount, -1 untouched
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QList<int>>("replies");
        QTest::addColumn<int>("top");
        QTest::newRow("a notch towards the user")
            << QList<int>{-120} << -1 << true << QList<int>{1} << 3;
        QTest::newRow("a notch away at the top")
            << QList<int>{120} << -1 << true << QList<int>{1} << 0;
        QTest::newRow("touchpad steps add up")
            << QList<int>{-30, -30, -30, -30, -30, -30, -30, -30} << -1 << true
            << QList<int>{0, 0, 0, 1, 0, 0, 0, 1} << 6;
        QTest::newRow("both ways")
            << QList<int>{-60, 30, -90, -119} << -1 << true << QList<int>{0, 0, 1, 0} << 3;
        QTest::newRow("the owner cancels") << QList<int>{-120} << 0 << true << QList<int>{0} << 0;
        QTest::newRow("the owner doubles") << QList<int>{-120} << 6 << true << QList<int>{1} << 6;
        QTest::newRow("a disabled bar")
            << QList<int>{-120, -120} << -1 << false << QList<int>{0, 0} << 0;
    }
    void wheelScrollsByWholeNotches()
    {
        QFETCH(QList<int>, deltas);
        QFETCH(int, ownerAmount);
        QFETCH(bool, enabled);
        QFETCH(QList<int>, replies);
        QFETCH(int, top);
        ListWindow window;
        window.wheelAmountSet = ownerAmount;
        UpdateVerticalScrollBar(*window.bars, 25, 10, enabled);
        QList<int> answered;
        for (const int delta : deltas)
            answered << sendMessage(window.handle, WM_MOUSEWHEEL, makeLong(0, delta), 0);
        QCOMPARE(answered, replies);
        QCOMPARE(window.bars->Value(Bar::Vertical), top);
    }

    void realWheelTurnsArriveAsMessages()
    {
        ListWindow window;
        window.bars->Value(Bar::Vertical, 9);
        window.events.clear();
        // Two notches away from the user, over the list: Qt's own wheel handling of the bar
        // moves nothing, the message does.
        QWheelEvent turn(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, 240), Qt::NoButton,
                         Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(window.area.viewport(), &turn);
        QCOMPARE(window.bars->Value(Bar::Vertical), 3);
        QCOMPARE(window.events, QStringList({"MouseWheel 1 -6", "Change 1 3"}));
    }

    void userActionsOnTheBarArriveAsMessages()
    {
        ListWindow window;
        Scrollbars& bars = *window.bars;
        QScrollBar& bar = window.vbar();
        bar.setSliderDown(true); // dragging the thumb raises Scroll, not Change
        bar.setSliderPosition(7);
        bar.setSliderPosition(9);
        bar.setSliderDown(false);
        QCOMPARE(window.events, QStringList({"Scroll 1 7", "Scroll 1 9"}));
        QCOMPARE(bars.Value(Bar::Vertical), 9);
        bars.Value(Bar::Vertical, 0);

        bars.SmallChange(Bar::Vertical, 2);
        window.vbar().triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(bars.Value(Bar::Vertical), 2);
        window.vbar().triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(bars.Value(Bar::Vertical), 12);

        QVERIFY(QTest::qWaitForWindowExposed(&window.area));
        QTest::mousePress(&window.vbar(), Qt::RightButton, {}, QPoint(2, 60));
        QTest::mouseRelease(&window.vbar(), Qt::RightButton, {}, QPoint(2, 60));
        QCOMPARE(window.events.back(), QStringLiteral("ScrollClick 1 2"));

        // Detached, the bar's own actions move nothing.
        bars.Terminate();
        window.vbar().triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(window.vbar().value(), 12);
    }

    void horizontalBarFollowsTheColumnWidths()
    {
        ListWindow window;
        Scrollbars& bars = *window.bars;
        UpdateHorizontalScrollBar(bars, 1001, 300, false);
        QCOMPARE(bars.Max(Bar::Horizontal), 700);
        QCOMPARE(bars.LargeChange(Bar::Horizontal), 500); // 500.5, ties to even
        QVERIFY(!window.area.horizontalScrollBar()->isEnabled());
        bars.Value(Bar::Horizontal, 400);

        UpdateHorizontalScrollBar(bars, 300, 300, true);
        QCOMPARE(bars.Value(Bar::Horizontal), 0);
        QVERIFY(!window.area.horizontalScrollBar()->isVisible());
    }
};

QTEST_MAIN(tst_Scrollbars)
#include "tst_Scrollbars.moc"
