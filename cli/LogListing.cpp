#include "LogListing.h"

#include "PosixFileSystem.h"
#include "ResultsLog.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace kardelo::cli {

namespace {

const char* const JsonKeys[results::FieldCount] = {
    "name", "write", "read", "testFileSize", "blockSize", "capacity", "dateTime"};

void print(std::FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

QString logLine(const results::LogRecord& record)
{
    QString line;
    for (int field = 0; field < results::FieldCount; ++field) {
        if (field > 0)
            line += QLatin1Char('|');
        for (const QChar character : record[field]) {
            if (character.category() == QChar::Other_Control)
                line += QStringLiteral("\\x%1").arg(character.unicode(), 2, 16, QLatin1Char('0'));
            else
                line += character;
        }
    }
    return line;
}

int listLog(const QString& path, bool json, std::FILE* out, std::FILE* err)
{
    QJsonArray rows;
    const results::LogReadResult read =
        results::readLog(PosixFileSystem::instance(), path, [&](const results::LogRecord& record) {
            if (!json) {
                print(out, logLine(record) + QLatin1Char('\n'));
                return;
            }
            QJsonObject row;
            for (int field = 0; field < results::FieldCount; ++field)
                row.insert(QLatin1String(JsonKeys[field]), record[field]);
            rows.append(row);
        });
    switch (read.outcome) {
    case results::LogReadOutcome::Read:
        break;
    case results::LogReadOutcome::Missing:
        print(err, results::logMissingText() + QLatin1Char('\n'));
        return 1;
    case results::LogReadOutcome::NotARegularFile:
        print(err, results::logNotRegularText() + QLatin1Char('\n'));
        return 1;
    case results::LogReadOutcome::Failed:
        print(err, QStringLiteral("kardelo-cli: %1: %2\n")
                       .arg(path, PosixFileSystem::instance().errorText(read.error)));
        return 1;
    }
    if (json)
        std::fputs(QJsonDocument(rows).toJson(QJsonDocument::Indented).constData(), out);
    return 0;
}

} // namespace kardelo::cli
