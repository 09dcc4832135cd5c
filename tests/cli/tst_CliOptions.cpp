#include "CliOptions.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace kardelo::cli;

class tst_CliOptions : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void accepted()
    {
        const ParseResult single = parseArguments(
            {"single", m_dir.path() + "/", "--size", "16", "--block", "4096", "--json"});
        QVERIFY2(single.options, qPrintable(single.error));
        QCOMPARE(single.options->command, Command::SingleFile);
        QCOMPARE(single.options->drive, m_dir.path());
        // The texts the settings lists would show for these values.
        QCOMPARE(single.options->fileSizeText, QStringLiteral("  16"));
        QCOMPARE(single.options->blockSizeText, QStringLiteral("4096"));
        QVERIFY(single.options->json);
        QVERIFY(parseArguments({"single", "/", "--size", "2047", "--block", "4096"}).options);

        QVERIFY(QDir(m_dir.path()).mkpath("relative/dir"));
        QDir::setCurrent(m_dir.path());
        const ParseResult saved = parseArguments({"single", "relative/dir", "--save", " Stick "});
        QCOMPARE(saved.options->drive, m_dir.filePath("relative/dir"));
        QCOMPARE(saved.options->fileSizeText, QStringLiteral(" 128"));
        QCOMPARE(saved.options->blockSizeText, QStringLiteral(" 256"));
        QCOMPARE(saved.options->saveName.value_or("<none>"), QStringLiteral(" Stick "));

        const QString csv = m_dir.filePath("trace.csv");
        const ParseResult verify = parseArguments(
            {"verify", m_dir.path(), "--size", "64", "--keep", "--read-only", "--trace", csv});
        QVERIFY2(verify.options, qPrintable(verify.error));
        QCOMPARE(verify.options->command, Command::Verify);
        QCOMPARE(verify.options->checkSizeMB, std::optional<std::int64_t>(64));
        QVERIFY(verify.options->keep && verify.options->readOnly && !verify.options->json);
        QCOMPARE(verify.options->tracePath, std::optional<QString>(csv));
        const ParseResult plain = parseArguments({"verify", m_dir.path()});
        QCOMPARE(plain.options->checkSizeMB, std::nullopt);
        QVERIFY(!plain.options->keep && !plain.options->readOnly);

        const std::pair<QStringList, Command> commands[] = {{{"multi", "/"}, Command::MultiFile},
                                                            {{"--help"}, Command::Help},
                                                            {{"--version"}, Command::Version},
                                                            {{"drives", "--json"}, Command::Drives},
                                                            {{"log"}, Command::Log}};
        for (const auto& [arguments, command] : commands)
            QCOMPARE(parseArguments(arguments).options->command, command);
    }

    void refusedArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error"); // empty: any text will do
        const QString file = m_dir.filePath("file");
        QFile(file).open(QIODevice::WriteOnly);
        QTest::newRow("nothing") << QStringList{} << "";
        QTest::newRow("unknown test") << QStringList{"fast", "/mnt"} << "";
        QTest::newRow("no path") << QStringList{"single"} << "";
        QTest::newRow("size not a number") << QStringList{"single", "/", "--size", "big"} << "";
        QTest::newRow("block negative") << QStringList{"single", "/", "--block", "-4"} << "";
        QTest::newRow("size for multi") << QStringList{"multi", "/", "--size", "16"} << "";
        QTest::newRow("unknown option") << QStringList{"single", "/", "--fast"} << "";
        QTest::newRow("path for drives") << QStringList{"drives", "/"} << "";
        QTest::newRow("save without name") << QStringList{"multi", "/", "--save"} << "";
        QTest::newRow("other options for log") << QStringList{"log", "--all"} << "";
        QTest::newRow("block for verify") << QStringList{"verify", "/", "--block", "64"}
                                          << "--block gilt nur für den Test single.";
        QTest::newRow("keep for single")
            << QStringList{"single", "/", "--keep"} << "--keep gilt nur für verify.";
        QTest::newRow("save for verify")
            << QStringList{"verify", "/", "--save", "x"} << "--save gilt nur für single und multi.";
        QTest::newRow("trace for multi") << QStringList{"multi", "/", "--trace", file}
                                         << "--trace gilt nur für single und verify.";
        QTest::newRow("trace into a folder")
            << QStringList{"verify", "/", "--trace", m_dir.path()}
            << "--trace braucht eine Datei, " + m_dir.path() + " ist ein Ordner.";
        QTest::newRow("trace in no folder")
            << QStringList{"verify", "/", "--trace", m_dir.filePath("gone/t.csv")}
            << "Den Ordner für --trace (" + m_dir.filePath("gone") + ") gibt es nicht.";
        QTest::newRow("verify size zero") << QStringList{"verify", "/", "--size", "0"} << "";
        QTest::newRow("path is a file") << QStringList{"single", file}
                                        << QStringLiteral("Der PFAD %1 ist kein Ordner.").arg(file);
    }
    void refusedArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        const ParseResult result = parseArguments(arguments);
        QVERIFY(!result.options);
        QVERIFY(!result.error.isEmpty());
        if (!error.isEmpty())
            QCOMPARE(result.error, error);
    }
};

QTEST_GUILESS_MAIN(tst_CliOptions)
#include "tst_CliOptions.moc"
