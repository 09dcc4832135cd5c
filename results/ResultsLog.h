#pragma once

#include "FileSystem.h"
#include "Formats.h"
#include "LogFile.h"
#include "TestKind.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

namespace kardelo {

// The results log protokoll.dat: one record per line, seven fields separated by "|", lines
// ended by CR LF, Windows-1252 text.
namespace results {

inline constexpr const char* LogFileName = "protokoll.dat";
inline constexpr std::int64_t SeedSize = 1169;

// The window and the command line keep one log: in the executable's folder (both executables
// lie in one folder), or, where that folder is not writable (an installed program), in the one
// per-user data folder of this name (~/.local/share/kardelo/), created if need be.
inline constexpr const char* DataFolderName = "kardelo";
QString sharedDataFolder();
// The folder for the log and the screenshots, with "/" appended.
QString programFolderFor(FileSystem& fileSystem, const QString& executableFolder);
QString programFolder();
// programFolder() + "protokoll.dat", or the log inside folder when one is given.
QString logFilePath(const QString& folder = {});

// The 14 seed records exactly as they are written to a new log.
QByteArray seedBytes();
// At start-up: writes the seed where no log exists (an existing log, even an empty one, is left
// alone) and makes it read-only. Every failing step is skipped silently.
void prot_dump(FileSystem& fileSystem, const QString& folder = {});

// What the main window holds of the last completed test when "Sa&ve" is clicked.
struct TestResult {
    TestKind kind = TestKind::None;
    QString singleWriteSpeed; // Label2
    QString singleReadSpeed;  // Label4
    QString multiWriteSpeed;  // Label18
    QString multiReadSpeed;   // Label19
    QString fileSizeText;     // Combo1, e.g. " 128"
    QString blockSizeText;    // Combo2, e.g. " 256"
    std::int32_t testFileCount = 0;
    QString totalSizeText; // Label33, the medium's total size in bytes with digit grouping
};

// Label33's bytes / 1024 as "###,###,###,###"; nullopt when the text holds no number.
std::optional<QString> capacityField(const QString& totalSizeText,
                                     const QLocale& locale = formats::userLocale());
// The general date format, or the date alone at midnight.
QString dateField(const QDateTime& when, const QLocale& locale = formats::userLocale());
// "|" becomes "/" and each line break one blank, so the record stays one line of seven fields.
QString cleanName(const QString& name);
// The record line without its CR LF; empty when no test has run; nullopt when the total-size
// text holds no number.
std::optional<QString> buildRecord(const TestResult& result, const QString& name,
                                   const QDateTime& when,
                                   const QLocale& locale = formats::userLocale());

enum class SaveOutcome {
    Written,       // the window disables "Sa&ve"
    NothingToSave, // empty name, or no test has run
    AccessRefused, // the three-line write-error message is due
    Failed,        // every other failure: silent
};

struct SaveResult {
    SaveOutcome outcome = SaveOutcome::Failed;
    QString path;  // the log
    int error = 0; // of the step that failed
};

// Appends the record of a confirmed name to the log at logPath.
SaveResult appendTestResult(FileSystem& fileSystem, const QString& logPath,
                            const TestResult& result, const QString& name, const QDateTime& when);

QString savePromptTitle();
QString savePromptText();
QString writeErrorText(); // three lines joined by CR LF

// "&Protokoll": whether anything sits at the log's name (a read-only log counts; what is not a
// regular file is refused by the reader), and the message when nothing does.
bool logExists(FileSystem& fileSystem, const QString& logPath);
QString logMissingText();
// What the viewer and the command line say about a log that is not a regular file.
QString logNotRegularText();

} // namespace results
} // namespace kardelo
