#include "FakeClock.h"
#include "RuntimeError.h"
#include "clsTimer.h"

#include <QTest>

using namespace kardelo;
using namespace kardelo::testing;

class tst_clsTimer : public QObject {
    Q_OBJECT

private slots:
    void elapsedIsExactMilliseconds()
    {
        FakeClock clock(25'000'000, 10'000'000);
        clsTimer timer(clock);
        QVERIFY(timer.HasCounter());
        QCOMPARE(timer.TicksPerSecond(), 10'000'000);
        timer.ResetTimer();
        timer.StopTimer();
        QCOMPARE(timer.Elapsed(), 2500.0);
        QCOMPARE(timer.Elapsed(), 2500.0); // reading it does not change it
    }

    void realCounterIsMonotonic()
    {
        clsTimer timer(MonotonicClock::instance());
        QCOMPARE(timer.TicksPerSecond(), 1'000'000'000);
        timer.ResetTimer();
        timer.StopTimer();
        QVERIFY(timer.Elapsed() >= 0);
        QVERIFY(timer.Elapsed() < 1000);
    }

    void textUnderGermanSettings()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        FakeClock clock(12'345'678, 10'000'000);
        clsTimer timer(clock);
        timer.ResetTimer();
        timer.StopTimer();
        QCOMPARE(timer.strElapsed(), QStringLiteral("Execution took 1.234,568 ms"));
        QLocale::setDefault(QLocale::c());
    }

    void noCounterOrTooFastACounter()
    {
        FakeClock none(1000, 0, false);
        clsTimer timer(none);
        QVERIFY(!timer.HasCounter());
        QCOMPARE(timer.TicksPerSecond(), 0);
        timer.ResetTimer();
        timer.StopTimer();
        QVERIFY_THROWS_EXCEPTION(RuntimeError, timer.Elapsed());

        FakeClock fast(1, 3'000'000'000);
        QVERIFY_THROWS_EXCEPTION(RuntimeError, clsTimer(fast).TicksPerSecond());
    }
};

QTEST_GUILESS_MAIN(tst_clsTimer)
#include "tst_clsTimer.moc"
