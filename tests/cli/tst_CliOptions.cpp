#include "CliOptions.h"

#include <QDir>
#include <QTest>

using namespace kardelo::cli;

class tst_CliOptions : public QObject {
    Q_OBJECT

private slots:
    void singleWithSizes()
    {
        const ParseResult result = parseArguments(
            {"single", "/media/anna/STICK/", "--size", "16", "--block", "4096", "--json"});
        QVERIFY(result.options);
        QCOMPARE(result.options->command, Command::SingleFile);
        QCOMPARE(result.options->drive, QStringLiteral("/media/anna/STICK"));
        // The texts the settings lists would show for these values.
        QCOMPARE(result.options->fileSizeText, QStringLiteral("  16"));
        QCOMPARE(result.options->blockSizeText, QStringLiteral("4096"));
        QVERIFY(result.options->json);
    }

    void defaultsAndPaths()
    {
        const ParseResult multi = parseArguments({"multi", "/"});
        QVERIFY(multi.options);
        QCOMPARE(multi.options->drive, QStringLiteral("/"));
        QCOMPARE(multi.options->command, Command::MultiFile);
        const ParseResult single = parseArguments({"single", "relative/dir"});
        QCOMPARE(single.options->drive, QDir::current().absoluteFilePath("relative/dir"));
        QCOMPARE(single.options->fileSizeText, QStringLiteral(" 128"));
        QCOMPARE(single.options->blockSizeText, QStringLiteral(" 256"));
        QCOMPARE(parseArguments({"--help"}).options->command, Command::Help);
        const ParseResult drives = parseArguments({"drives", "--json"});
        QCOMPARE(drives.options->command, Command::Drives);
        QVERIFY(drives.options->json);
        QCOMPARE(parseArguments({"log"}).options->command, Command::Log);
        QCOMPARE(multi.options->saveName, std::nullopt);
        const ParseResult saved = parseArguments({"single", "/a", "--save", " Stick 2GB "});
        QCOMPARE(saved.options->saveName.value_or("<none>"), QStringLiteral(" Stick 2GB "));
    }

    void refusedArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("nothing") << QStringList{};
        QTest::newRow("unknown test") << QStringList{"fast", "/mnt"};
        QTest::newRow("no path") << QStringList{"single"};
        QTest::newRow("size not a number") << QStringList{"single", "/a", "--size", "big"};
        QTest::newRow("block negative") << QStringList{"single", "/a", "--block", "-4"};
        QTest::newRow("size for multi") << QStringList{"multi", "/a", "--size", "16"};
        QTest::newRow("unknown option") << QStringList{"single", "/a", "--fast"};
        QTest::newRow("path for drives") << QStringList{"drives", "/a"};
        QTest::newRow("save without name") << QStringList{"multi", "/a", "--save"};
        QTest::newRow("options for log") << QStringList{"log", "--json"};
    }
    void refusedArguments()
    {
        QFETCH(QStringList, arguments);
        const ParseResult result = parseArguments(arguments);
        QVERIFY(!result.options);
        QVERIFY(!result.error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_CliOptions)
#include "tst_CliOptions.moc"
