#include "Summary.h"

#include "ControlNames.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace kardelo::cli {

QString summaryText(const RunReport& report, const ConsoleWindow& window)
{
    const controls::ResultLabels labels = controls::resultLabelsOf(report.kind);
    return QStringLiteral("Write (MByte/s): %1   %2\nRead (MByte/s):  %3   %4\n")
        .arg(window.text(labels.writeSpeed), window.text(labels.writeTime),
             window.text(labels.readSpeed), window.text(labels.readTime));
}

QByteArray jsonReport(const RunReport& report, const ConsoleWindow& window, bool interrupted)
{
    const bool single = report.kind == TestKind::SingleFile;
    const controls::ResultLabels labels = controls::resultLabelsOf(report.kind);
    const QString transfers = single ? QStringLiteral("blocks") : QStringLiteral("files");
    const auto number = [](std::int64_t value) { return static_cast<double>(value); };
    // "bytes" and "blocks" / "files" are what was written, "...Read" what was read back: after
    // an early end that is what actually moved, not what was planned.
    QJsonObject json{
        {QStringLiteral("test"), single ? QStringLiteral("single") : QStringLiteral("multi")},
        {QStringLiteral("state"), report.completed ? QStringLiteral("completed")
                                  : interrupted    ? QStringLiteral("interrupted")
                                                   : QStringLiteral("aborted")},
        {QStringLiteral("bytes"), number(report.writtenBytes)},
        {transfers, report.writtenTransfers},
        {QStringLiteral("bytesRead"), number(report.readBytes)},
        {transfers + QStringLiteral("Read"), report.readTransfers},
        {QStringLiteral("plannedBytes"), number(report.plannedBytes)},
        {QStringLiteral("planned") + (single ? QStringLiteral("Blocks") : QStringLiteral("Files")),
         report.plannedTransfers},
        {QStringLiteral("bytesPerMByte"), number(report.bytesPerMByte)},
        {QStringLiteral("writeMilliseconds"), report.writeMilliseconds},
        {QStringLiteral("readMilliseconds"), report.readMilliseconds},
        {QStringLiteral("writeMBps"), report.writeMBps},
        {QStringLiteral("readMBps"), report.readMBps},
        {QStringLiteral("writeBytesPerSecond"), report.writeBytesPerSecond},
        {QStringLiteral("readBytesPerSecond"), report.readBytesPerSecond},
        {QStringLiteral("writeTimeText"), window.text(labels.writeTime)},
        {QStringLiteral("writeSpeedText"), window.text(labels.writeSpeed)},
        {QStringLiteral("readTimeText"), window.text(labels.readTime)},
        {QStringLiteral("readSpeedText"), window.text(labels.readSpeed)},
    };
    if (single)
        json.insert(QStringLiteral("blockBytes"), static_cast<double>(report.blockBytes));
    QJsonArray messages;
    for (const ConsoleWindow::Message& message : window.messages())
        messages.append(
            QJsonObject{{QStringLiteral("icon"), message.icon == MessageIcon::Information
                                                     ? QStringLiteral("information")
                                                     : QStringLiteral("warning")},
                        {QStringLiteral("text"), message.text}});
    json.insert(QStringLiteral("messages"), messages);
    return QJsonDocument(json).toJson(QJsonDocument::Indented);
}

} // namespace kardelo::cli
