#include "ResultsLog.h"

#include "DriveRoot.h"
#include "PosixFileSystem.h"
#include "RuntimeError.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>

// Outside any namespace, as the macro requires.
static void initSeedResource()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(results_seed);
        return true;
    }();
    (void)done;
}

namespace kardelo::results {

namespace {

// The cases the write-error message names: a write-protected folder, missing rights, and
// something at the log's name that is not the log.
bool isAccessRefused(int error)
{
    return error == EACCES || error == EPERM || error == EROFS || error == NotARegularFile;
}

// Root may write into /usr/bin, but an installed program never leaves files beside itself.
bool isInstalledFolder(const QString& folder)
{
    const QString installed =
        QFileInfo(QStringLiteral(KARDELO_INSTALLED_BINDIR)).canonicalFilePath();
    return !installed.isEmpty() && QFileInfo(folder).canonicalFilePath() == installed;
}

} // namespace

QString sharedDataFolder()
{
    // Named explicitly: the application's own name differs between the window and the
    // command line, and so would a folder derived from it.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return {};
    return withTrailingSlash(data) + QLatin1String(DataFolderName) + QLatin1Char('/');
}

QString programFolderFor(FileSystem& fileSystem, const QString& executableFolder)
{
    if (!executableFolder.isEmpty() && !isInstalledFolder(executableFolder) &&
        fileSystem.checkWritable(executableFolder) == 0)
        return withTrailingSlash(executableFolder);
    const QString data = sharedDataFolder();
    if (data.isEmpty())
        return withTrailingSlash(executableFolder);
    fileSystem.makeFolders(data);
    return data;
}

QString programFolder()
{
    return programFolderFor(PosixFileSystem::instance(), QCoreApplication::applicationDirPath());
}

QString logFilePath(const QString& folder)
{
    return withTrailingSlash(folder.isEmpty() ? programFolder() : folder) +
           QLatin1String(LogFileName);
}

QByteArray seedBytes()
{
    initSeedResource();
    QFile seed(QStringLiteral(":/results/protokoll.dat"));
    if (!seed.open(QIODevice::ReadOnly))
        return {};
    return seed.readAll();
}

void prot_dump(FileSystem& fileSystem, const QString& folder)
{
    // Anything at the name, even a dangling link, counts as an existing log and is left alone.
    createLog(fileSystem, logFilePath(folder), seedBytes());
}

std::optional<QString> capacityField(const QString& totalSizeText, const QLocale& locale)
{
    QString digits = totalSizeText;
    digits.remove(QLatin1Char('.'));
    bool ok = false;
    const double bytes = locale.toDouble(digits.trimmed(), &ok);
    if (!ok)
        return std::nullopt;
    return formats::groupedOrEmpty(bytes / 1024.0, locale);
}

QString dateField(const QDateTime& when, const QLocale& locale)
{
    const QTime time = when.time();
    if (time.hour() != 0 || time.minute() != 0 || time.second() != 0)
        return formats::generalDate(when, locale);
    // The same short date that generalDate writes in front of the time.
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return locale.toString(when.date(), format);
}

QString cleanName(const QString& name)
{
    QString clean = name;
    clean.replace(QLatin1Char('|'), QLatin1Char('/'));
    clean.replace(QLatin1String("\r\n"), QLatin1String(" "));
    clean.replace(QLatin1Char('\r'), QLatin1Char(' '));
    clean.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return clean;
}

std::optional<QString> buildRecord(const TestResult& result, const QString& name,
                                   const QDateTime& when, const QLocale& locale)
{
    const std::optional<QString> capacity = capacityField(result.totalSizeText, locale);
    if (!capacity)
        return std::nullopt;
    QStringList fields;
    switch (result.kind) {
    case TestKind::SingleFile:
        fields = {result.singleWriteSpeed, result.singleReadSpeed, result.fileSizeText,
                  result.blockSizeText};
        break;
    case TestKind::MultiFile:
        fields = {result.multiWriteSpeed, result.multiReadSpeed,
                  QString::number(result.testFileCount) + QLatin1String(" Files (10K-4M)"),
                  QStringLiteral("variabel")};
        break;
    case TestKind::None:
        return QString();
    }
    fields.prepend(cleanName(name));
    fields << *capacity << dateField(when, locale);
    return fields.join(QLatin1Char('|'));
}

SaveResult appendTestResult(FileSystem& fileSystem, const QString& logPath,
                            const TestResult& result, const QString& name, const QDateTime& when)
{
    SaveResult saved{SaveOutcome::NothingToSave, logPath, 0};
    if (name.isEmpty())
        return saved;
    const std::optional<QString> record = buildRecord(result, name, when);
    if (!record) {
        saved.outcome = SaveOutcome::Failed;
        return saved;
    }
    if (record->isEmpty())
        return saved;
    // A log deleted while the program runs fails here, so it is not recreated.
    saved.error = appendToLog(fileSystem, logPath, toWindows1252(*record) + "\r\n");
    if (saved.error == 0)
        saved.outcome = SaveOutcome::Written;
    else
        saved.outcome =
            isAccessRefused(saved.error) ? SaveOutcome::AccessRefused : SaveOutcome::Failed;
    return saved;
}

QString savePromptTitle()
{
    return QStringLiteral("Datenträgername ändern oder ergänzen?");
}

QString savePromptText()
{
    return QStringLiteral(
        "Hier kann der Datenträgername verändert werden. Dieser Datenträgername wird in die "
        "Protokolldatei geschrieben. Wenn Sie \"Abbrechen\" wählen, wird kein Eintrag in die "
        "Protokolldatei geschrieben.");
}

QString writeErrorText()
{
    return QStringLiteral(
        "Fehler beim Schreiben! Mögliche Ursachen:\r\n"
        "1. Der aktuelle Ordner befindet sich auf einen schreibgeschützten Datenträger.\r\n"
        "2. Sie besitzen nicht die erforderlichen Rechte um in diesen Ordner zu schreiben.");
}

bool logExists(FileSystem& fileSystem, const QString& logPath)
{
    return fileSystem.pathStatus(logPath).exists;
}

QString logMissingText()
{
    return QStringLiteral("Die Protokolldatei \"protokoll.dat\"  wurde nicht gefunden.");
}

QString logNotRegularText()
{
    return QStringLiteral("Die Protokolldatei \"protokoll.dat\" ist keine gewöhnliche Datei "
                          "(ein Link, Ordner, FIFO oder Gerät) und wird nicht gelesen.");
}

} // namespace kardelo::results
