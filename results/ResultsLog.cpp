#include "ResultsLog.h"

#include "DriveList.h"
#include "ListView.h"
#include "NamePrompt.h"
#include "RuntimeError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Windows-1252 bytes 0x80..0x9F; 0 marks the five bytes the code page leaves undefined.
constexpr std::array<char16_t, 32> HighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

QByteArray nativePath(const QString& path)
{
    return QFile::encodeName(path);
}

bool isAccessRefused(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

QString messageTitle()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QString defaultPrompt(QWidget* parent, const QString& title, const QString& label,
                      const QString& preset)
{
    return askName(parent, title, label, preset);
}

void defaultWarning(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, messageTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

// Root may write into /usr/bin, but an installed program never leaves files beside itself.
bool isInstalledFolder(const QString& folder)
{
    const QString installed =
        QFileInfo(QStringLiteral(KARDELO_INSTALLED_BINDIR)).canonicalFilePath();
    return !installed.isEmpty() && QFileInfo(folder).canonicalFilePath() == installed;
}

} // namespace

QString programFolder()
{
    const QString exeFolder = QCoreApplication::applicationDirPath();
    if (!exeFolder.isEmpty() && !isInstalledFolder(exeFolder) &&
        ::access(nativePath(exeFolder).constData(), W_OK) == 0)
        return exeFolder.endsWith(QLatin1Char('/')) ? exeFolder : exeFolder + QLatin1Char('/');
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return data.endsWith(QLatin1Char('/')) ? data : data + QLatin1Char('/');
}

QString logFilePath(const QString& folder)
{
    QString base = folder.isEmpty() ? programFolder() : folder;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base + QLatin1String(LogFileName);
}

QByteArray seedBytes()
{
    initSeedResource();
    QFile seed(QStringLiteral(":/results/protokoll.dat"));
    if (!seed.open(QIODevice::ReadOnly))
        return {};
    return seed.readAll();
}

void prot_dump(const QString& folder)
{
    const QString path = logFilePath(folder);
    const QByteArray native = nativePath(path);
    struct stat info {};
    if (::lstat(native.constData(), &info) == 0)
        return;
    const QByteArray seed = seedBytes();
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
        qsizetype written = 0;
        while (written < seed.size()) {
            const ssize_t n = ::write(fd, seed.constData() + written,
                                      static_cast<std::size_t>(seed.size() - written));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            written += n;
        }
        ::close(fd);
    }
    setLogWritable(path, false);
}

QString check_snap(const ListView& driveList)
{
    QString result;
    ignoreErrors([&] {
        for (std::int32_t row = 0; row < driveList.ItemCount(); ++row) {
            if (driveList.ItemText(row, DriveColumnDevice).isEmpty())
                return;
            if (driveList.Table().ItemSelected(row)) {
                result = driveList.ItemText(row, DriveColumnName);
                return;
            }
        }
    });
    return result;
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

QByteArray toWindows1252(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const char32_t code : text.toUcs4()) {
        char byte = '?';
        if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
            byte = static_cast<char>(code);
        } else {
            for (std::size_t i = 0; i < HighControls.size(); ++i) {
                const auto mapped =
                    HighControls[i] ? char32_t{HighControls[i]} : char32_t(0x80 + i);
                if (mapped == code) {
                    byte = static_cast<char>(0x80 + i);
                    break;
                }
            }
        }
        bytes.append(byte);
    }
    return bytes;
}

QString fromWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        const char16_t high = value >= 0x80 && value < 0xA0 ? HighControls[value - 0x80] : 0;
        *out++ = QChar(high ? high : char16_t(value));
    }
    return text;
}

QStringList validRecords(const QByteArray& logBytes)
{
    QStringList records;
    const QStringList lines = fromWindows1252(logBytes).split(QLatin1String("\r\n"));
    for (const QString& line : lines)
        if (line.size() > 10 && line.count(QLatin1Char('|')) == 6)
            records << line;
    return records;
}

int setLogWritable(const QString& path, bool writable)
{
    const QByteArray native = nativePath(path);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0)
        return errno;
    const mode_t mode =
        writable ? (info.st_mode | S_IWUSR) : (info.st_mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH));
    return ::chmod(native.constData(), mode & 07777) == 0 ? 0 : errno;
}

int appendLine(const QString& path, const QByteArray& line)
{
    const int fd = ::open(nativePath(path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = 0;
    qsizetype written = 0;
    // One write carries the whole line; the loop only finishes a short write.
    while (written < line.size()) {
        const ssize_t n = ::write(fd, line.constData() + written,
                                  static_cast<std::size_t>(line.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        written += n;
    }
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error;
}

SaveOutcome appendTestResult(const TestResult& result, const QString& name, const SaveHooks& hooks)
{
    if (name.isEmpty())
        return SaveOutcome::NothingToSave;
    const QString path = logFilePath(hooks.folder);
    const QDateTime when = hooks.now ? hooks.now() : QDateTime::currentDateTime();
    const std::optional<QString> record = buildRecord(result, name, when);
    if (!record)
        return SaveOutcome::Failed;
    const auto setWritable = hooks.setWritable ? hooks.setWritable : setLogWritable;
    const auto append = hooks.append ? hooks.append : appendLine;

    // A log deleted while the program runs fails here, so it is not recreated.
    if (const int error = setWritable(path, true); error != 0)
        return isAccessRefused(error) ? SaveOutcome::AccessRefused : SaveOutcome::Failed;
    if (record->isEmpty())
        return SaveOutcome::NothingToSave;
    if (const int error = append(path, toWindows1252(*record) + "\r\n"); error != 0)
        return isAccessRefused(error) ? SaveOutcome::AccessRefused : SaveOutcome::Failed;
    if (const int error = setWritable(path, false); error != 0)
        return isAccessRefused(error) ? SaveOutcome::AccessRefused : SaveOutcome::Failed;
    return SaveOutcome::Written;
}

bool SaveTestResult(QWidget* parent, const TestResult& result, const QString& suggestedName,
                    const SaveHooks& hooks)
{
    bool written = false;
    contain([&] {
        if (suggestedName.isEmpty())
            return;
        const QString name =
            hooks.prompt
                ? hooks.prompt(parent, savePromptTitle(), savePromptText(), suggestedName)
                : defaultPrompt(parent, savePromptTitle(), savePromptText(), suggestedName);
        const SaveOutcome outcome = appendTestResult(result, name, hooks);
        if (outcome == SaveOutcome::AccessRefused) {
            if (hooks.warning)
                hooks.warning(parent, writeErrorText());
            else
                defaultWarning(parent, writeErrorText());
        }
        written = outcome == SaveOutcome::Written;
    });
    return written;
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

bool LogExists(const QString& folder)
{
    bool exists = false;
    contain([&] { exists = QFileInfo::exists(logFilePath(folder)); });
    return exists;
}

QString logMissingText()
{
    return QStringLiteral("Die Protokolldatei \"protokoll.dat\"  wurde nicht gefunden.");
}

} // namespace kardelo::results
