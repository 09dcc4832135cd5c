#include "ConsoleWindow.h"
#include "ControlNames.h"
#include "Summary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <cstdio>
#include <memory>

using namespace kardelo;
using namespace kardelo::cli;

namespace {

// What the window wrote to a stream that is no terminal, as a log file of a scheduled run.
struct CapturedStream {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file{std::tmpfile(), &std::fclose};
    QByteArray text() const
    {
        std::fflush(file.get());
        std::rewind(file.get());
        QByteArray all;
        char chunk[4096];
        while (const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get()))
            all.append(chunk, static_cast<qsizetype>(got));
        return all;
    }
};

RunReport singleReport(bool completed)
{
    RunReport report;
    report.kind = TestKind::SingleFile;
    report.completed = completed;
    report.plannedBytes = 16 * 1048576;
    report.plannedTransfers = 64;
    report.writtenBytes = completed ? report.plannedBytes : 2 * 262144;
    report.writtenTransfers = completed ? 64 : 2;
    report.readBytes = completed ? report.plannedBytes : 0;
    report.readTransfers = completed ? 64 : 0;
    report.blockBytes = 262144;
    report.bytesPerMByte = 1048576;
    report.writeMilliseconds = 821.25;
    report.writeMBps = completed ? 19.48 : 0;
    report.writeBytesPerSecond = completed ? 20428800.5 : 0;
    return report;
}

} // namespace

class tst_ConsoleWindow : public QObject {
    Q_OBJECT

private slots:
    void messagesAndProgressInALogFile()
    {
        CapturedStream stream;
        ConsoleWindow window(QStringLiteral("/media/anna/STICK"), stream.file.get());
        QCOMPARE(window.checkSelect(), QStringLiteral("/media/anna/STICK"));
        window.showMessage(
            QStringLiteral("Es wurde noch kein Laufwerk selektiert! Bitte einen USB-Stick "
                           "auswählen."),
            MessageIcon::Information);
        // One line per new caption and per tenth: a hundred blocks give eleven lines, and
        // repeating a request writes nothing.
        for (std::int32_t block = 1; block <= 100; ++block) {
            window.updateProgress({block, 1, 100, QStringLiteral("Schreiben: "), true});
            window.updateProgress({block, 1, 100, QStringLiteral("Schreiben: "), true});
        }
        window.updateProgress({1, 1, 3, QStringLiteral("Lesen: "), true});
        window.updateProgress({0, 0, 0, QStringLiteral("0"), true}); // clears: no text
        window.showMessage(QStringLiteral("Es kann nicht geschrieben werden! Schreibschutz "
                                          "ausschalten!"),
                           MessageIcon::Warning);
        window.finishProgressLine();

        QStringList expected{QStringLiteral("Hinweis: Es wurde noch kein Laufwerk selektiert! "
                                            "Bitte einen USB-Stick auswählen.")};
        expected << QStringLiteral("Schreiben: 1 %");
        for (int percent = 10; percent <= 100; percent += 10)
            expected << QStringLiteral("Schreiben: %1 %").arg(percent);
        expected << QStringLiteral("Lesen: 33 %")
                 << QStringLiteral(
                        "Warnung: Es kann nicht geschrieben werden! Schreibschutz ausschalten!")
                 << QString();
        QCOMPARE(QString::fromLocal8Bit(stream.text()).split(u'\n'), expected);
        QCOMPARE(window.messages().size(), 2);
    }

    void interruptBecomesAnAbortAtTheNextCheck()
    {
        CapturedStream stream;
        ConsoleWindow window(QString(), stream.file.get());
        window.processEvents();
        QVERIFY(!window.testState().abortRequested);
        interruptRequested = true;
        window.processEvents();
        interruptRequested = false;
        QVERIFY(window.testState().abortRequested);
    }

    void summaryAsTheWindowShowsIt()
    {
        CapturedStream stream;
        ConsoleWindow window(QString(), stream.file.get());
        window.setText(controls::Label1, QStringLiteral("Time: 0,821 s"));
        window.setText(controls::Label2, QStringLiteral("19,48"));
        window.setText(controls::Label3, QStringLiteral("Time: 0,531 s"));
        window.setText(controls::Label4, QStringLiteral("30,12"));
        window.setText(controls::Label18, QStringLiteral("15,41"));
        QCOMPARE(summaryText(singleReport(true), window),
                 QStringLiteral("Write (MByte/s): 19,48   Time: 0,821 s\n"
                                "Read (MByte/s):  30,12   Time: 0,531 s\n"));
        RunReport multi = singleReport(true);
        multi.kind = TestKind::MultiFile;
        QVERIFY(summaryText(multi, window).startsWith(QStringLiteral("Write (MByte/s): 15,41")));
    }

    void jsonNamesTheStateAndTheUnit_data()
    {
        QTest::addColumn<bool>("completed");
        QTest::addColumn<bool>("interrupted");
        QTest::addColumn<QString>("state");
        QTest::newRow("normal end") << true << false << "completed";
        QTest::newRow("Ctrl+C in the write phase") << false << true << "interrupted";
        QTest::newRow("early end") << false << false << "aborted";
    }
    void jsonNamesTheStateAndTheUnit()
    {
        QFETCH(bool, completed);
        QFETCH(bool, interrupted);
        QFETCH(QString, state);
        CapturedStream stream;
        ConsoleWindow window(QString(), stream.file.get());
        window.setText(controls::Label2, QStringLiteral("19,48"));
        if (!completed)
            window.showMessage(QStringLiteral("Fehler beim Schreiben auf den Datenträger! "
                                              "Input/output error"),
                               MessageIcon::Warning);
        const RunReport report = singleReport(completed);
        const QJsonObject json =
            QJsonDocument::fromJson(jsonReport(report, window, interrupted)).object();

        // The command line's run checks the byte counts against the real program.
        QCOMPARE(json[u"test"].toString(), QStringLiteral("single"));
        QCOMPARE(json[u"state"].toString(), state);
        QCOMPARE(json[u"plannedBlocks"].toInt(), 64);
        QCOMPARE(json[u"writeMilliseconds"].toDouble(), 821.25);
        QCOMPARE(json[u"writeSpeedText"].toString(), QStringLiteral("19,48"));
        const QJsonArray messages = json[u"messages"].toArray();
        QCOMPARE(messages.size(), completed ? 0 : 1);
        if (!completed)
            QCOMPARE(messages[0].toObject()[u"icon"].toString(), QStringLiteral("warning"));

        RunReport multi = report;
        multi.kind = TestKind::MultiFile;
        multi.bytesPerMByte = 1024000;
        const QJsonObject multiJson =
            QJsonDocument::fromJson(jsonReport(multi, window, interrupted)).object();
        QCOMPARE(multiJson[u"test"].toString(), QStringLiteral("multi"));
        QCOMPARE(multiJson[u"files"].toInt(), report.writtenTransfers);
        QCOMPARE(multiJson[u"plannedFiles"].toInt(), 64);
        QCOMPARE(multiJson[u"bytesPerMByte"].toDouble(), 1024000.0);
        QVERIFY(!multiJson.contains(u"blockBytes"));
    }
};

QTEST_GUILESS_MAIN(tst_ConsoleWindow)
#include "tst_ConsoleWindow.moc"
