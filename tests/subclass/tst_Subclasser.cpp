#include "EventLog.h"
#include "Subclasser.h"
#include "WindowMessages.h"

#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <functional>
#include <vector>

using namespace kardelo;

namespace {

class CapturedLog final : public EventLog {
public:
    void writeError(const QString& text) override { entries << text; }
    QStringList entries;
};

struct OwnState {
    std::vector<std::uint32_t> received;
    std::function<void(std::uint32_t)> onMessage;
};

// Stands for the window's own procedure: records what reaches it and answers 7.
struct OwnProcedure {
    std::shared_ptr<OwnState> state;

    std::int32_t operator()(WindowHandle, std::uint32_t msg, std::int32_t, std::int32_t) const
    {
        state->received.push_back(msg);
        if (state->onMessage)
            state->onMessage(msg);
        return 7;
    }
};

struct Call {
    bool before;
    std::uint32_t msg;
    bool operator==(const Call&) const = default;
};

class RecordingClient final : public ISubclass {
public:
    std::vector<Call> calls;
    std::function<void(bool, bool&, std::int32_t&, std::uint32_t)> react;

    void WndProc(bool bBefore, bool& bHandled, std::int32_t& lReturn, WindowHandle,
                 std::uint32_t uMsg, std::int32_t, std::int32_t, std::int32_t& lParamUser) override
    {
        calls.push_back({bBefore, uMsg});
        ++lParamUser;
        if (react)
            react(bBefore, bHandled, lReturn, uMsg);
    }
};

class PressCountingWidget final : public QWidget {
public:
    explicit PressCountingWidget(QWidget* parent = nullptr, bool takes = true)
        : QWidget(parent), m_takes(takes)
    {}
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        ++presses;
        event->setAccepted(m_takes);
    }

private:
    bool m_takes;
};

} // namespace

class tst_Subclasser : public QObject {
    Q_OBJECT

    CapturedLog log;
    ScopedEventLog scopedLog{log};

    struct Window {
        QWidget widget;
        WindowHandle handle = registerWindow(&widget);
        std::shared_ptr<OwnState> own = std::make_shared<OwnState>();
        Window() { setWindowProcedure(handle, OwnProcedure{own}); }
        bool ownProcedureInFront() const
        {
            return windowProcedure(handle).target<OwnProcedure>() != nullptr;
        }
    };

private slots:
    void init() { log.entries.clear(); }

    void messagesReachTheClientBeforeAndAfterTheWindow()
    {
        Window window;
        RecordingClient client;
        client.react = [](bool before, bool&, std::int32_t& reply, std::uint32_t) {
            if (!before)
                reply += 100;
        };
        Subclasser subclasser;
        QVERIFY(subclasser.Subclass(window.handle, &client, 40));
        subclasser.AddMsg(window.handle, WM_LBUTTONDOWN, Subclasser::MSG_BEFORE_AND_AFTER);
        subclasser.AddMsg(window.handle, WM_KEYDOWN, Subclasser::MSG_BEFORE);

        QCOMPARE(sendMessage(window.handle, WM_LBUTTONDOWN, 0, 0), 107);
        QCOMPARE(sendMessage(window.handle, WM_KEYDOWN, 0, 0), 7);
        QCOMPARE(sendMessage(window.handle, WM_PAINT, 0, 0), 7);
        const std::vector<Call> expected{
            {true, WM_LBUTTONDOWN}, {false, WM_LBUTTONDOWN}, {true, WM_KEYDOWN}};
        QVERIFY(client.calls == expected);
        QCOMPARE(window.own->received.size(), 3u);
        QCOMPARE(subclasser.lParamUser(window.handle), 43);

        QCOMPARE(subclasser.CallOrigWndProc(window.handle, WM_LBUTTONDOWN, 0, 0), 7);
        QCOMPARE(client.calls.size(), 3u);
        QVERIFY(log.entries.isEmpty());
    }

    // The window's own procedure is Qt's handling of the event: procedures behind it see the
    // widget after it handled the press, and its reply: 1 when it (or a parent it passed the
    // press to) took it, else 0. A press handled in front never reaches the widget.
    void theWindowHandlesTheEventWhereTheChainSays_data()
    {
        QTest::addColumn<bool>("takes");
        QTest::addColumn<QString>("inFront"); // what the client does before the window
        QTest::addColumn<QStringList>("seen");
        QTest::addColumn<int>("childPresses");
        QTest::addColumn<int>("parentPresses");
        QTest::newRow("taken") << true << QString()
                               << QStringList{"before 0 reply 0", "after 1 reply 1"} << 1 << 0;
        QTest::newRow("let pass") << false << QString()
                                  << QStringList{"before 0 reply 0", "after 1 reply 0"} << 1 << 1;
        QTest::newRow("called from before, then stopped")
            << true << QStringLiteral("call") << QStringList{"before 1 reply 1"} << 1 << 0;
        QTest::newRow("stopped") << true << QStringLiteral("stop")
                                 << QStringList{"before 0 reply 1"} << 0 << 0;
    }
    void theWindowHandlesTheEventWhereTheChainSays()
    {
        QFETCH(bool, takes);
        QFETCH(QString, inFront);
        QFETCH(QStringList, seen);
        QFETCH(int, childPresses);
        QFETCH(int, parentPresses);
        PressCountingWidget parent(nullptr, takes);
        PressCountingWidget child(&parent, takes);
        parent.resize(80, 80);
        child.setGeometry(10, 10, 40, 40);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        const WindowHandle handle = registerWindow(&child);
        Subclasser subclasser;
        RecordingClient client;
        QStringList recorded;
        client.react = [&](bool before, bool& handled, std::int32_t& reply, std::uint32_t msg) {
            if (before && !inFront.isEmpty()) {
                reply = inFront == u"call" ? subclasser.CallOrigWndProc(handle, msg, 0, 0) : 1;
                handled = true;
            }
            recorded << QStringLiteral("%1 %2 reply %3")
                            .arg(before ? "before" : "after")
                            .arg(child.presses)
                            .arg(reply);
        };
        QVERIFY(subclasser.Subclass(handle, &client));
        subclasser.AddMsg(handle, WM_LBUTTONDOWN, Subclasser::MSG_BEFORE_AND_AFTER);
        QTest::mouseClick(&child, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(recorded, seen);
        QCOMPARE(child.presses, childPresses);
        QCOMPARE(parent.presses, parentPresses);
        // Outside any event, a message has no Qt handling to run.
        QCOMPARE(subclasser.CallOrigWndProc(handle, WM_LBUTTONDOWN, 0, 0), 0);
        QCOMPARE(child.presses, childPresses);

        subclasser.DelMsg(handle, WM_LBUTTONDOWN, Subclasser::MSG_BEFORE_AND_AFTER);
        QTest::mouseClick(&child, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(child.presses, childPresses + 1);
        QCOMPARE(recorded, seen);
        QVERIFY(log.entries.isEmpty());
    }

    void allMessagesUntilASpecificOneNarrowsTheTable()
    {
        Window window;
        RecordingClient client;
        Subclasser subclasser;
        QVERIFY(subclasser.Subclass(window.handle, &client));
        subclasser.AddMsg(window.handle, Subclasser::ALL_MESSAGES, Subclasser::MSG_BEFORE);
        sendMessage(window.handle, WM_PAINT, 0, 0);
        sendMessage(window.handle, WM_DEVICECHANGE, 0, 0);
        QCOMPARE(client.calls.size(), 2u);

        subclasser.AddMsg(window.handle, WM_SIZE, Subclasser::MSG_BEFORE);
        sendMessage(window.handle, WM_PAINT, 0, 0);
        sendMessage(window.handle, WM_SIZE, 0, 0);
        QCOMPARE(client.calls.size(), 3u);
        QCOMPARE(client.calls.back().msg, WM_SIZE);
    }

    void tableLimitsAndMisuseAreReportedToTheEventLog()
    {
        Window window;
        RecordingClient client;
        Subclasser subclasser;
        subclasser.AddMsg(window.handle, WM_SIZE);
        QVERIFY(!subclasser.Subclass(4711, &client));
        QVERIFY(subclasser.Subclass(window.handle, &client));
        QVERIFY(!subclasser.Subclass(window.handle, &client));
        subclasser.AddMsg(window.handle + 1000, WM_SIZE);
        subclasser.AddMsg(window.handle, 0x400);
        for (std::int32_t msg = 0x400; msg < 0x400 + Subclasser::MSG_ENTRIES; ++msg)
            subclasser.AddMsg(window.handle, msg); // 0x400 is listed already: no new entry
        subclasser.DelMsg(window.handle, 0x401);
        subclasser.AddMsg(window.handle, 0x500); // a freed slot does not lower the count
        subclasser.DelMsg(window.handle, 0x114);
        const QString overflow = QStringLiteral(
            "Subclasser.zAddMsg: Message table overflow. Either increase the value of Const "
            "MSG_ENTRIES or use ALL_MESSAGES instead of specific message values");
        QCOMPARE(
            log.entries,
            QStringList({QStringLiteral("Subclasser.zMap_hWnd: Subclassing hasn't been started"),
                         QStringLiteral("Subclasser.sc_Subclass: Invalid window handle"),
                         QStringLiteral("Subclasser.sc_Subclass: Window handle is already "
                                        "subclassed"),
                         QStringLiteral("Subclasser.zMap_hWnd: Window handle isn't subclassed"),
                         overflow,
                         QStringLiteral("Subclasser.zDelMsg: Message &H114 not found in "
                                        "table")}));

        // The first subclassing still works.
        sendMessage(window.handle, 0x400, 0, 0);
        QCOMPARE(client.calls.size(), 1u);
        Subclasser unstarted;
        unstarted.UnSubclass(window.handle);
        QCOMPARE(log.entries.back(),
                 QStringLiteral("Subclasser.UnSubclass: Window handle isn't subclassed"));
    }

    void nestedMessagesDelayTheReleaseUntilTheOutermostReturns()
    {
        Window window;
        RecordingClient client;
        Subclasser subclasser;
        QVERIFY(subclasser.Subclass(window.handle, &client));
        subclasser.AddMsg(window.handle, Subclasser::ALL_MESSAGES,
                          Subclasser::MSG_BEFORE_AND_AFTER);
        bool frontDuringNested = true;
        window.own->onMessage = [&](std::uint32_t msg) {
            if (msg != WM_PAINT)
                return;
            subclasser.UnSubclass(window.handle);
            QCOMPARE(sendMessage(window.handle, WM_SIZE, 0, 0), 7);
            frontDuringNested = window.ownProcedureInFront();
        };
        QCOMPARE(sendMessage(window.handle, WM_PAINT, 0, 0), 7);
        QVERIFY(!frontDuringNested);
        QVERIFY(window.ownProcedureInFront());
        const std::vector<Call> expected{{true, WM_PAINT}};
        QVERIFY(client.calls == expected);
        const std::vector<std::uint32_t> received{WM_PAINT, WM_SIZE};
        QVERIFY(window.own->received == received);
    }

    void releasedWithTheNextMessageAfterUnSubclass()
    {
        Window window;
        RecordingClient client;
        auto subclasser = std::make_unique<Subclasser>();
        QVERIFY(subclasser->Subclass(window.handle, &client));
        subclasser->AddMsg(window.handle, WM_PAINT, Subclasser::MSG_BEFORE);
        subclasser->UnSubclass(window.handle);
        subclasser.reset(); // the procedure in front outlives its Subclasser
        QVERIFY(!window.ownProcedureInFront());
        QCOMPARE(sendMessage(window.handle, WM_PAINT, 0, 0), 7);
        QVERIFY(window.ownProcedureInFront());
        QVERIFY(client.calls.empty());

        // Subclassed again before the next message, the new procedure stays in front when the
        // old one goes.
        Subclasser again;
        QVERIFY(again.Subclass(window.handle, &client));
        again.AddMsg(window.handle, WM_PAINT);
        again.UnSubclass(window.handle);
        QVERIFY(again.Subclass(window.handle, &client));
        again.AddMsg(window.handle, WM_PAINT);
        sendMessage(window.handle, WM_PAINT, 0, 0);
        sendMessage(window.handle, WM_PAINT, 0, 0);
        QCOMPARE(client.calls.size(), 2u);
        QVERIFY(log.entries.isEmpty());
    }
};

QTEST_MAIN(tst_Subclasser)
#include "tst_Subclasser.moc"
