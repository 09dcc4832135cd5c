#pragma once

#include <QString>
#include <cstdint>

// The texts the capacity check shows, beside those it shares with the speed tests.
namespace kardelo::capacity::messages {

// The folder lies on the file system of the system or of the user's home folder.
QString protectedFileSystem(const QString& folder, const QString& protectedFolder);
QString tooLittleSpace(std::uint64_t availableBytes);
QString noCheckFiles(const QString& firstFile);
QString notACheckFile(const QString& path);
inline const QString NoRunFound =
    QStringLiteral("Keine der Prüfdateien trägt eine lesbare Kennung einer Prüfung; ihr Inhalt "
                   "kann nicht als unversehrt gelten.");
QString cannotOpenForReading(const QString& path, const QString& reason);

} // namespace kardelo::capacity::messages
