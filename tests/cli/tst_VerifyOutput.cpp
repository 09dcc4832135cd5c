// What kardelo-cli verify tells the user: the verdict nobody can misread, the exit status, the
// summary under German settings, the JSON and the CSV of the trace.

#include "TestMessages.h"
#include "VerifyCommand.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTest>
#include <functional>

using namespace kardelo;
using namespace kardelo::capacity;
using namespace kardelo::cli;

namespace {

constexpr std::uint64_t Unit = UnitSize;
using Build = std::function<void(CheckReport&)>;

// A finished check of 256 MiB; the build step changes what it found.
CheckReport reportOf(const Build& build)
{
    CheckReport report;
    report.outcome = CheckOutcome::Completed;
    report.run = 0xc0ffee;
    report.files = 1;
    report.blockBytes = 4 * MiB;
    report.plannedBytes = 256 * MiB;
    report.bytesWritten = 256 * MiB;
    report.mediumFull = true;
    report.writing = PhaseFigures{256 * MiB, 12.8};
    report.reading = PhaseFigures{256 * MiB, 6.4};
    report.elapsedSeconds = 19.4;
    report.traceInterval = 64 * MiB;
    build(report);
    if (report.reading && report.tally.totalUnits() == 0)
        report.tally.record(UnitKind::Intact, 0, report.reading->bytes / Unit);
    return report;
}

void counterfeit(CheckReport& report)
{
    report.tally.record(UnitKind::Overwritten, 0, 192 * MiB / Unit);
    report.tally.record(UnitKind::Intact, 192 * MiB, 64 * MiB / Unit);
}

} // namespace

Q_DECLARE_METATYPE(Build)

class tst_VerifyOutput : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void verdictAndExitStatus_data()
    {
        QTest::addColumn<Build>("build");
        QTest::addColumn<bool>("interrupted");
        QTest::addColumn<QString>("verdict");
        QTest::addColumn<int>("status");
        const auto row = [](const char* name, Build build, bool interrupted, const char* verdict,
                            int status) {
            QTest::newRow(name) << build << interrupted << QString::fromUtf8(verdict) << status;
        };
        row(
            "all intact", [](CheckReport&) {}, false,
            "Ergebnis: IN ORDNUNG. Alle 268.435.456 geschriebenen Byte (256,00 MByte) kamen "
            "unversehrt zurück.",
            0);
        row(
            "kept files all intact",
            [](CheckReport& r) {
                r.readOnly = true;
                r.writing.reset();
            },
            false, "Ergebnis: IN ORDNUNG. Alle 268.435.456 Byte der Prüfdateien sind unversehrt.",
            0);
        row("counterfeit", counterfeit, false,
            "Ergebnis: FÄLSCHUNG. Der Datenträger hat weniger Platz, als er angibt: er gibt an "
            "Stelle älterer Daten später geschriebene zurück. Nur 67.108.864 von 268.435.456 Byte "
            "kamen unversehrt zurück.",
            3);
        row(
            "one corrupted unit",
            [](CheckReport& r) {
                r.tally.record(UnitKind::Intact, 0, 256 * MiB / Unit - 1);
                r.tally.record(UnitKind::Corrupted, 5 * MiB, 1);
            },
            false,
            "Ergebnis: DATENVERLUST. 4.096 von 268.435.456 Byte kamen nicht unversehrt zurück, der "
            "erste Fehler liegt bei Byte 5.242.880.",
            3);
        row(
            "Ctrl+C while reading",
            [](CheckReport& r) {
                r.outcome = CheckOutcome::Aborted;
                r.reading = PhaseFigures{100 * MiB, 2.5};
            },
            true,
            "Ergebnis: ABGEBROCHEN mit Strg+C. Die 104.857.600 bis dahin zurückgelesenen Byte sind "
            "unversehrt; der Rest ist nicht geprüft.",
            130);
        row(
            "Ctrl+C while writing",
            [](CheckReport& r) {
                r.outcome = CheckOutcome::Aborted;
                r.mediumFull = false;
                r.reading.reset();
            },
            true,
            "Ergebnis: ABGEBROCHEN mit Strg+C, bevor etwas zurückgelesen wurde: nichts ist "
            "geprüft.",
            130);
        row(
            "Ctrl+C after overwritten data was found",
            [](CheckReport& r) {
                counterfeit(r);
                r.outcome = CheckOutcome::Aborted;
            },
            true,
            "Ergebnis: FÄLSCHUNG (Prüfung abgebrochen). Der Datenträger hat weniger Platz, als er "
            "angibt: er gibt an Stelle älterer Daten später geschriebene zurück. Nur 67.108.864 "
            "von "
            "268.435.456 Byte kamen unversehrt zurück.",
            130);
        row(
            "medium pulled out while reading",
            [](CheckReport& r) {
                r.outcome = CheckOutcome::DriveGone;
                r.reading.reset();
                r.tally.record(UnitKind::Corrupted, 0, 1); // found before: no figure all the same
                r.messages = {kardelo::messages::DriveAccess};
            },
            false, "Ergebnis: NICHT BEENDET. Auf das Laufwerk konnte nicht zugegriffen werden!", 1);
        row(
            "refused",
            [](CheckReport& r) {
                r = CheckReport();
                r.outcome = CheckOutcome::Refused;
                r.messages = {kardelo::messages::OtherRunActive};
            },
            false,
            "Ergebnis: NICHT DURCHGEFÜHRT. Der Datenträger wird gerade von einem anderen Test "
            "oder einer Prüfung von Kapazität und Daten benutzt. Bitte warten, bis dieser Vorgang "
            "beendet ist!",
            1);
        row(
            "writing ended with an error, the rest intact",
            [](CheckReport& r) {
                r.mediumFull = false;
                r.writeFailed = true;
                r.messages = {kardelo::messages::WriteFailed + "Eingabe-/Ausgabefehler"};
                r.reading = PhaseFigures{7 * MiB, 0.2};
            },
            false,
            "Ergebnis: NICHT BEENDET. Fehler beim Schreiben auf den Datenträger! "
            "Eingabe-/Ausgabefehler. Die 7.340.032 zurückgelesenen Byte sind unversehrt.",
            1);
    }
    void verdictAndExitStatus()
    {
        QFETCH(Build, build);
        QFETCH(bool, interrupted);
        QFETCH(QString, verdict);
        QFETCH(int, status);
        const CheckReport report = reportOf(build);
        QCOMPARE(verdictText(report, interrupted), verdict);
        QCOMPARE(verifyExitStatus(report, interrupted), status);
        // The summary ends with the verdict, which is one line.
        QVERIFY(verifySummary(report, "/media/anna/STICK", false, interrupted)
                    .endsWith("\n" + verdict + "\n"));
    }

    void summaryOfACounterfeit()
    {
        const CheckReport report = reportOf([](CheckReport& r) {
            counterfeit(r);
            r.files = 2;
            r.trace = {{0, 64 * MiB, 25.0 * MiB, 40.0 * MiB},
                       {64 * MiB, 64 * MiB, 4.5 * MiB, 41.0 * MiB}};
        });
        QCOMPARE(verifySummary(report, "/media/anna/FAKE", false, false),
                 QString::fromUtf8(
                     "Prüfung von /media/anna/FAKE (1 MByte = 1.048.576 Byte)\n"
                     "Geschrieben:            268.435.456 Byte = 256,00 MByte in 12,80 s: 20,00 "
                     "MByte/s\n"
                     "Schreiben endete:   Datenträger voll\n"
                     "Gelesen:                268.435.456 Byte = 256,00 MByte in 6,40 s: 40,00 "
                     "MByte/s\n"
                     "Unversehrt:              67.108.864 Byte = 64,00 MByte\n"
                     "Beschädigt:                       0 Byte = 0,00 MByte\n"
                     "Überschrieben:          201.326.592 Byte = 192,00 MByte\n"
                     "Leer:                             0 Byte = 0,00 MByte\n"
                     "Erster Fehler:      bei Byte 0 (0,00 MByte)\n"
                     "Nutzbare Kapazität:               0 Byte = 0,00 MByte\n"
                     "Verlauf:            Schreiben 4,50 bis 25,00 MByte/s, Lesen 40,00 bis 41,00 "
                     "MByte/s (2 Abschnitte zu 64,00 MByte)\n"
                     "Prüfdateien:        2 ($_cap0001.$$$ bis $_cap0002.$$$), gelöscht\n"
                     "Dauer:              0:19\n"
                     "Ergebnis: FÄLSCHUNG. Der Datenträger hat weniger Platz, als er angibt: er "
                     "gibt an Stelle älterer Daten später geschriebene zurück. Nur 67.108.864 von "
                     "268.435.456 Byte kamen unversehrt zurück.\n"));
    }

    void jsonHasEveryFigureAndNoneForAnUnfinishedPhase()
    {
        CheckReport report = reportOf(counterfeit);
        report.trace = {{0, 64 * MiB, 20.0 * MiB, 40.0 * MiB},
                        {64 * MiB, 64 * MiB, 10.0 * MiB, {}}};
        QJsonObject json = QJsonDocument::fromJson(verifyJson(report, "/m", true, false)).object();
        QCOMPARE(json["state"].toString(), QStringLiteral("completed"));
        QCOMPARE(json["keep"].toBool(), true);
        const std::pair<const char*, double> figures[] = {
            {"bytesPerMByte", 1048576.0}, {"bytesWritten", 256.0 * MiB},
            {"writeMBps", 20.0},          {"readMBps", 40.0},
            {"bytesIntact", 64.0 * MiB},  {"bytesOverwritten", 192.0 * MiB},
            {"bytesCorrupted", 0.0},      {"bytesEmpty", 0.0},
            {"firstBadPosition", 0.0},    {"usableCapacity", 0.0},
            {"exitStatus", 3.0}};
        for (const auto& [key, value] : figures)
            QVERIFY2(json[key].isDouble() && json[key].toDouble() == value, key);
        QCOMPARE(json["badRegions"].toArray(),
                 (QJsonArray{QJsonObject{
                     {"kind", "overwritten"}, {"position", 0.0}, {"length", 192.0 * MiB}}}));
        QCOMPARE(json["trace"].toArray().at(1).toObject(),
                 (QJsonObject{{"position", 64.0 * MiB},
                              {"length", 64.0 * MiB},
                              {"writeMBps", 10.0},
                              {"readMBps", QJsonValue::Null}}));

        report.outcome = CheckOutcome::DriveGone;
        report.reading.reset();
        json = QJsonDocument::fromJson(verifyJson(report, "/m", false, false)).object();
        QCOMPARE(json["state"].toString(), QStringLiteral("driveGone"));
        for (const char* key : {"readMBps", "readSeconds", "bytesIntact", "bytesOverwritten",
                                "firstBadPosition", "usableCapacity", "bytesChecked"})
            QVERIFY2(json[key].isNull(), key);
        QCOMPARE(json["writeMBps"].toDouble(), 20.0);
    }

    void traceFiles()
    {
        CheckReport check;
        check.trace = {{0, 64 * MiB, 19.994 * MiB, 40.5 * MiB}, {64 * MiB, 3 * MiB, 7.5 * MiB, {}}};
        QCOMPARE(checkTraceCsv(check), QByteArray("position,write_MBps,read_MBps\n"
                                                  "0,19.99,40.50\n"
                                                  "67108864,7.50,\n"));
        RunReport single;
        single.blockBytes = 256 * 1024;
        single.writeBlockMilliseconds = {12.5, 50.0};
        single.readBlockMilliseconds = {6.25, 6.25};
        QCOMPARE(singleTraceCsv(single),
                 QByteArray("block,position,write_ms,write_MBps,read_ms,read_MBps\n"
                            "1,0,12.500,20.00,6.250,40.00\n"
                            "2,262144,50.000,5.00,6.250,40.00\n"));
    }
};

QTEST_GUILESS_MAIN(tst_VerifyOutput)
#include "tst_VerifyOutput.moc"
