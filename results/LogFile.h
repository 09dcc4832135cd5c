#pragma once

#include "FileSystem.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <array>
#include <functional>
#include <optional>

// The bytes of protokoll.dat: Windows-1252 text, one record of seven "|"-separated fields per
// line. The program writes CR LF; a lone LF ends a line as well. Every reader and writer of the
// log goes through here.
namespace kardelo::results {

inline constexpr int FieldCount = 7;
using LogRecord = std::array<QString, FieldCount>;

QByteArray toWindows1252(const QString& text); // "?" for characters outside the code page
QString fromWindows1252(QByteArrayView bytes);

// The record of one line (without its line end), when it is one the log shows: longer than ten
// characters and exactly seven fields.
std::optional<LogRecord> parseRecord(QByteArrayView line);

// Cuts bytes into lines as they arrive in pieces of any size.
class LineSplitter {
public:
    using LineHandler = std::function<void(QByteArrayView line)>;
    void feed(QByteArrayView bytes, const LineHandler& onLine);
    // The last line, which needs no line end.
    void finish(const LineHandler& onLine);

private:
    QByteArray m_partial;
};

enum class LogReadOutcome { Read, Missing, NotARegularFile, Failed };
struct LogReadResult {
    LogReadOutcome outcome = LogReadOutcome::Failed;
    int error = 0;
};

// Reads the log record by record in blocks from its open descriptor, so that even a large log is
// never held in memory as a whole. Refuses a link, a FIFO, a folder or a device at the name.
LogReadResult readLog(FileSystem& fileSystem, const QString& path,
                      const std::function<void(const LogRecord&)>& onRecord);
// The records of the bytes of a log.
QList<LogRecord> recordsOf(QByteArrayView bytes);

// Appends one line to the log with one write and makes it durable, lifting the log's read-only
// state for the moment of the write, all through the open file: never through a link, never to
// a file with a second name (a hard link) or anything but a regular file (NotARegularFile).
// 0 or the error of the step that failed.
int appendToLog(FileSystem& fileSystem, const QString& path, const QByteArray& line);

// Creates the log with its first bytes, read-only; EEXIST when anything sits at the name.
int createLog(FileSystem& fileSystem, const QString& path, const QByteArray& bytes);

} // namespace kardelo::results
