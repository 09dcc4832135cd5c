// kardelo-cli: the speed tests on a terminal, with the same procedures, figures and texts as
// the main window.

#include "CliOptions.h"
#include "ConsoleWindow.h"
#include "ControlNames.h"
#include "DriveEntries.h"
#include "LogListing.h"
#include "MultiFileTest.h"
#include "Platform.h"
#include "PosixFileSystem.h"
#include "ResultsLog.h"
#include "SingleFileTest.h"
#include "TerminationSignals.h"
#include "Summary.h"
#include "VerifyCommand.h"
#include "Version.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <cerrno>
#include <clocale>
#include <cstdio>

using namespace kardelo;

namespace {

void print(std::FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

int listDrives(bool json)
{
    const std::vector<DriveListEntry> entries = driveEntries();
    if (json) {
        QJsonArray rows;
        for (const DriveListEntry& entry : entries)
            rows.append(
                QJsonObject{{QStringLiteral("device"), entry.rootPath},
                            {QStringLiteral("busType"), entry.busType},
                            {QStringLiteral("removable"), entry.removable == QLatin1String("ja")},
                            {QStringLiteral("name"), entry.name}});
        std::fputs(QJsonDocument(rows).toJson(QJsonDocument::Indented).constData(), stdout);
        return 0;
    }
    for (const DriveListEntry& entry : entries)
        print(stdout, QStringList{entry.rootPath, entry.busType, entry.removable, entry.name}.join(
                          QLatin1Char('\t')) +
                          QLatin1Char('\n'));
    return 0;
}

// Appends the record as the window's "Sa&ve" would, with the name given instead of prompted.
bool saveResult(cli::ConsoleWindow& window, const cli::Options& options, TestKind kind)
{
    results::TestResult result;
    result.kind = kind;
    result.singleWriteSpeed = window.text(controls::Label2);
    result.singleReadSpeed = window.text(controls::Label4);
    result.multiWriteSpeed = window.text(controls::Label18);
    result.multiReadSpeed = window.text(controls::Label19);
    result.fileSizeText = options.fileSizeText;
    result.blockSizeText = options.blockSizeText;
    result.testFileCount = window.testState().testFileCount;
    result.totalSizeText = window.text(controls::Label33);
    FileSystem& files = PosixFileSystem::instance();
    results::prot_dump(files); // as the window's start-up would have done
    const results::SaveResult saved = results::appendTestResult(
        files, results::logFilePath(), result, *options.saveName, QDateTime::currentDateTime());
    if (saved.outcome == results::SaveOutcome::Written ||
        saved.outcome == results::SaveOutcome::NothingToSave)
        return true;
    if (saved.outcome == results::SaveOutcome::AccessRefused)
        print(stderr,
              results::writeErrorText().replace(QLatin1String("\r\n"), QLatin1String("\n")) +
                  QLatin1Char('\n'));
    // Where it tried and why it failed: the window's message names neither.
    const QString folder = QFileInfo(saved.path).path();
    const QString executableFolder = QCoreApplication::applicationDirPath();
    if (QFileInfo(folder) != QFileInfo(executableFolder))
        print(stderr, QStringLiteral("kardelo-cli: Der Programmordner %1 ist nicht beschreibbar, "
                                     "die Protokolldatei liegt deshalb in %2.\n")
                          .arg(executableFolder, folder));
    QString reason = files.errorText(saved.error);
    if (saved.error == 0) {
        reason = QStringLiteral("die Größe des Datenträgers ist unbekannt");
    } else if (saved.error == ENOENT && !QFileInfo(folder).isDir()) {
        const int made = files.makeFolders(folder);
        reason = QStringLiteral("der Ordner kann nicht angelegt werden: ") +
                 files.errorText(made ? made : ENOENT);
    }
    print(stderr, QStringLiteral("kardelo-cli: Das Ergebnis wurde nicht in %1 eingetragen: %2\n")
                      .arg(saved.path, reason));
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    std::setlocale(LC_ALL, "");
    // The results log lives in the program folder, which needs the application's path.
    QCoreApplication application(argc, argv);
    // The installed program's per-user data folder is named after the application: the same
    // one as the window's, so both share one log.
    QCoreApplication::setApplicationName(QStringLiteral("kardelo"));
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    const cli::ParseResult parsed = cli::parseArguments(arguments);
    if (!parsed.options) {
        print(stderr, QStringLiteral("kardelo-cli: ") + parsed.error + QStringLiteral("\n\n") +
                          cli::usageText());
        return 2;
    }
    const cli::Options& options = *parsed.options;
    if (options.command == cli::Command::Help) {
        print(stdout, cli::usageText());
        return 0;
    }
    if (options.command == cli::Command::Version) {
        std::printf("kardelo-cli %s\n", Version);
        return 0;
    }
    if (options.command == cli::Command::Drives)
        return listDrives(options.json);
    if (options.command == cli::Command::Log)
        return cli::listLog(results::logFilePath(), options.json, stdout, stderr);

    setFlagOnTermination(cli::interruptRequested);
    if (options.command == cli::Command::Verify)
        return cli::runVerify(options, stdout, stderr);

    cli::ConsoleWindow window(options.drive, stderr);
    window.setText(controls::Combo1, options.fileSizeText);
    window.setText(controls::Combo2, options.blockSizeText);

    RunReport report;
    if (options.command == cli::Command::SingleFile) {
        SingleFileTest test(window, Platform::system());
        test.recordBlockTimes(options.tracePath.has_value());
        report = test.run();
    } else {
        report = MultiFileTest(window, Platform::system()).run();
    }
    window.finishProgressLine();
    const bool traceWritten =
        !options.tracePath ||
        cli::writeTextFile(*options.tracePath, cli::singleTraceCsv(report), stderr);

    const bool interrupted = cli::interruptRequested != 0;
    if (options.json)
        std::fputs(cli::jsonReport(report, window, interrupted).constData(), stdout);
    else
        print(stdout, cli::summaryText(report, window));

    if (report.completed)
        return (!options.saveName || saveResult(window, options, report.kind)) && traceWritten ? 0
                                                                                               : 1;
    return interrupted ? 130 : 1;
}
