#include "AbortRequest.h"
#include "RecordingWindow.h"
#include "modProgress.h"

#include <QTest>

using namespace kardelo;

namespace {
const QSize Box(400, 20);
// Every character 8 pixels wide, 12 high.
QSize measure(const QString& text)
{
    return QSize(8 * static_cast<int>(text.size()), 12);
}
ProgressPicture picture(int value, int minimum, int maximum, const QString& caption = {})
{
    return layoutProgress({value, minimum, maximum, caption, true}, Box, measure);
}
} // namespace

class tst_modProgress : public QObject {
    Q_OBJECT

private slots:
    void percentAndBar_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("percent");
        QTest::addColumn<int>("barWidth");
        QTest::newRow("37 of 100") << 37 << 1 << 100 << 37 << 148;
        QTest::newRow("clamped above") << 200 << 1 << 100 << 100 << 400;
        QTest::newRow("1 of 3") << 1 << 1 << 3 << 33 << 132;
        QTest::newRow("2 of 3") << 2 << 1 << 3 << 67 << 268;
        QTest::newRow("clamped below, against the maximum alone") << 0 << 50 << 100 << 50 << 200;
        QTest::newRow("minimum above maximum") << 100 << 100 << 46 << 100 << 400;
        QTest::newRow("first of 256 blocks") << 1 << 1 << 256 << 0 << 0;
    }
    void percentAndBar()
    {
        QFETCH(int, value);
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(int, percent);
        QFETCH(int, barWidth);
        const ProgressPicture p = picture(value, minimum, maximum, QStringLiteral("Schreiben: "));
        QVERIFY(p.drawBar);
        QCOMPARE(int(p.percent), percent);
        QCOMPARE(p.barWidth, barWidth);
        QCOMPARE(p.text, QStringLiteral("Schreiben: %1 %").arg(percent));
    }

    void nothingDrawnAtZeroOrWithoutMaximum()
    {
        for (const ProgressPicture& p :
             {picture(0, 0, 0, QStringLiteral("0")), picture(5, 0, 0), picture(-3, -10, -1)}) {
            QVERIFY(!p.drawBar);
            QVERIFY(!p.drawText);
        }
        QCOMPARE(progressText({0, 0, 0, QStringLiteral("0"), true}), QString());
    }

    void textIsCentredAndTurnsWhiteUnderTheBar()
    {
        // "Lesen: 42 %" is 11 characters: 88 pixels, left edge at (400 - 88) / 2 = 156.
        const ProgressPicture short_ = picture(38, 1, 100, QStringLiteral("Lesen: "));
        QCOMPARE(short_.textPosition, QPoint(156, 4));
        QVERIFY(!short_.whiteText); // bar 152 px
        const ProgressPicture reaching = picture(39, 1, 100, QStringLiteral("Lesen: "));
        QCOMPARE(reaching.barWidth, 156);
        QVERIFY(reaching.whiteText);
    }

    void abortButtonClearsTheBar()
    {
        testing::RecordingWindow window;
        requestAbort(window);
        QVERIFY(window.state.abortRequested);
        QCOMPARE(window.progress, (QList<ProgressRequest>{{0, 0, 0, QString(), true}}));
        QCOMPARE(window.backgrounds, QList<OleColor>{0x8000000F});
    }
};

QTEST_GUILESS_MAIN(tst_modProgress)
#include "tst_modProgress.moc"
