// kardelo-cli and kardelo as a user calls them: the real executables on a real folder. The
// command line copy lives in a folder of its own, which is its program folder and so holds its
// results log.

#include "ListView.h"
#include "frmProtokoll.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

using namespace kardelo;

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
    QJsonObject json() const { return QJsonDocument::fromJson(out.toUtf8()).object(); }
};

Run runProgram(const QString& program, const QStringList& arguments,
               std::function<void()> inChild = {})
{
    QProcess process;
    if (inChild)
        process.setChildProcessModifier(inChild);
    process.start(program, arguments);
    Run run;
    if (!process.waitForFinished(120000))
        return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

class tst_CommandLine : public QObject {
    Q_OBJECT

    QTemporaryDir m_programFolder;
    QTemporaryDir m_medium;
    QString m_cli;

    Run cli(const QStringList& arguments, std::function<void()> inChild = {})
    {
        return runProgram(m_cli, arguments, std::move(inChild));
    }
    QString logPath() const { return m_programFolder.filePath(QStringLiteral("protokoll.dat")); }
    void writeLog(const QByteArray& bytes)
    {
        QFile::remove(logPath());
        QFile file(logPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }
    QStringList testFilesLeft() const
    {
        return QDir(m_medium.path()).entryList({QStringLiteral("$_test*")}, QDir::AllEntries);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_programFolder.isValid() && m_medium.isValid());
        m_cli = m_programFolder.filePath(QStringLiteral("kardelo-cli"));
        QVERIFY(QFile::copy(QStringLiteral(KARDELO_CLI), m_cli));
        QVERIFY(QFile::setPermissions(m_cli, QFile::ReadOwner | QFile::ExeOwner));
    }

    void bothExecutablesTellOneVersion()
    {
        const Run command = cli({"--version"});
        QCOMPARE(command.exitCode, 0);
        QCOMPARE(command.out, QStringLiteral("kardelo-cli " KARDELO_VERSION_TEXT "\n"));
        // Answered without a display.
        qunsetenv("QT_QPA_PLATFORM");
        const Run window = runProgram(QStringLiteral(KARDELO_WINDOW), {"--version"});
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QCOMPARE(window.exitCode, 0);
        QCOMPARE(window.out, QStringLiteral("kardelo " KARDELO_VERSION_TEXT "\n"));
    }

    void valuesTheTestCannotRunWith_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        const QString medium = m_medium.path();
        QTest::newRow("size 2048") << QStringList{"single", medium, "--size", "2048"}
                                   << "--size muss zwischen 1 und 2047 MByte liegen, nicht 2048.";
        QTest::newRow("block 8192") << QStringList{"single", medium, "--block", "8192"}
                                    << "--block muss zwischen 1 und 4096 KByte liegen, nicht 8192.";
        QTest::newRow("no whole block")
            << QStringList{"single", medium, "--size", "1", "--block", "4096"}
            << "Die Testdatei (1 MByte) muss mindestens einen ganzen Block (4096 KByte) fassen.";
        QTest::newRow("no such folder") << QStringList{"multi", medium + "/gone"}
                                        << "Den PFAD " + medium + "/gone gibt es nicht.";
    }
    void valuesTheTestCannotRunWith()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const Run run = cli(arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.startsWith(QStringLiteral("kardelo-cli: ") + message),
                 qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
        QVERIFY(testFilesLeft().isEmpty());
    }

    void figuresNameTheirUnit()
    {
        const Run run = cli({"single", m_medium.path(), "--size", "16", "--json"});
        QCOMPARE(run.exitCode, 0);
        const QJsonObject json = run.json();
        QCOMPARE(json["bytesPerMByte"].toDouble(), 1048576.0);
        QCOMPARE(json["bytes"].toDouble(), 16.0 * 1048576);
        QCOMPARE(json["bytesRead"].toDouble(), 16.0 * 1048576);
        const double perSecond = json["writeBytesPerSecond"].toDouble();
        QVERIFY(qAbs(json["writeMBps"].toDouble() - perSecond / 1048576) <= 0.005);
    }

    void aMediumThatStopsPartWay()
    {
        // The file-size limit cuts the fifth 256 KByte block in half, as a medium that is
        // pulled out or fails does: the run reports what moved and names a partial write.
        const Run run = cli({"single", m_medium.path(), "--size", "16", "--json"}, [] {
            const rlimit limit{4 * 262144 + 131072, 4 * 262144 + 131072};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ::signal(SIGXFSZ, SIG_IGN);
        });
        QCOMPARE(run.exitCode, 1);
        const QJsonObject json = run.json();
        QCOMPARE(json["state"].toString(), QStringLiteral("aborted"));
        QCOMPARE(json["messages"].toArray().first()["text"].toString(),
                 QStringLiteral("Fehler beim Schreiben auf den Datenträger! Nur 131,072 von "
                                "262,144 Byte wurden geschrieben."));
        QCOMPARE(json["blocks"].toInt(), 4);
        QCOMPARE(json["bytes"].toDouble(), 4.0 * 262144 + 131072);
        QCOMPARE(json["bytesRead"].toDouble(), 0.0);
        QCOMPARE(json["plannedBytes"].toDouble(), 16.0 * 1048576);
        QVERIFY(testFilesLeft().isEmpty());
    }

    void logReadersAgree_data()
    {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<QStringList>("records"); // as the viewer shows them, fields joined
        QTest::addColumn<QStringList>("printed"); // as `kardelo-cli log` prints them
        const QByteArray a = "Stick A|19,48|30,12| 128| 256|2.023.136|27.12.2007 09:36:04";
        const QByteArray b = "Stick B|1,12|6,71|46 Files (10K-4M)|variabel|122.912|20.02.2009";
        const QStringList both{QString::fromLatin1(a), QString::fromLatin1(b)};
        QTest::newRow("CR LF, as the program writes") << a + "\r\n" + b + "\r\n" << both << both;
        QTest::newRow("LF alone") << a + "\n" + b + "\n" << both << both;
        QTest::newRow("mixed, last line without an end") << a + "\n" + b << both << both;
        QTest::newRow("lines that are no records")
            << "six|fields|only|1|2|3\r\n" + a + "\r\n\r\nabcd||||||\r\nName|with|bar|1|2|3|4|5\n" +
                   "abcde||||||\r\n"
            << QStringList{both[0], "abcde||||||"} << QStringList{both[0], "abcde||||||"};
        QByteArray nul = "Stick";
        nul += '\0';
        nul += "X\x01|1,00|2,00| 128| 256|1.000|01.01.2020\r\n";
        QTest::newRow("NUL and control characters in a field")
            << nul + b + "\r\n"
            << QStringList{QStringLiteral("Stick") + QChar(0) +
                               QStringLiteral("X\x01|1,00|2,00| 128| 256|1.000|01.01.2020"),
                           both[1]}
            << QStringList{"Stick\\x00X\\x01|1,00|2,00| 128| 256|1.000|01.01.2020", both[1]};
        QTest::newRow("CR inside a line, Windows-1252")
            << QByteArray("Gr\xF6\xDF\x65\r\x80|1|2|3|4|5|6\r\n")
            << QStringList{QStringLiteral("Größe\r€|1|2|3|4|5|6")}
            << QStringList{QStringLiteral("Größe\\x0d€|1|2|3|4|5|6")};
    }
    void logReadersAgree()
    {
        QFETCH(QByteArray, log);
        QFETCH(QStringList, records);
        QFETCH(QStringList, printed);
        writeLog(log);

        frmProtokoll viewer(logPath());
        QStringList shown;
        const ListView& list = viewer.ListView1();
        for (int row = 0; row < list.ItemCount(); ++row) {
            QStringList fields;
            for (int column = 0; column < frmProtokoll::ColumnCount; column += 2)
                fields << list.ItemText(row, column);
            shown << fields.join(u'|');
        }
        QCOMPARE(shown, records);

        const Run text = cli({"log"});
        QCOMPARE(text.exitCode, 0);
        QCOMPARE(text.out, printed.join(u'\n') + u'\n');

        const Run json = cli({"log", "--json"});
        QCOMPARE(json.exitCode, 0);
        QStringList fromJson;
        for (const QJsonValue row : QJsonDocument::fromJson(json.out.toUtf8()).array()) {
            QStringList fields;
            for (const char* key :
                 {"name", "write", "read", "testFileSize", "blockSize", "capacity", "dateTime"})
                fields << row[QLatin1String(key)].toString();
            fromJson << fields.join(u'|');
        }
        QCOMPARE(fromJson, records);
    }
};

QTEST_MAIN(tst_CommandLine)
#include "tst_CommandLine.moc"
