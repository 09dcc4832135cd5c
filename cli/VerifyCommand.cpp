#include "VerifyCommand.h"

#include "CapacityCheck.h"
#include "CheckSummary.h"
#include "Clock.h"
#include "ConsoleWindow.h"
#include "Formats.h"
#include "PosixFileSystem.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <unistd.h>

namespace kardelo::cli {

using capacity::CheckOutcome;
using capacity::CheckPhase;
using capacity::CheckReport;
using capacity::UnitKind;

namespace {

constexpr std::size_t MaxRegionsInJson = 10000;

QString kindKey(UnitKind kind)
{
    switch (kind) {
    case UnitKind::Intact:
        return QStringLiteral("intact");
    case UnitKind::Corrupted:
        return QStringLiteral("corrupted");
    case UnitKind::Overwritten:
        return QStringLiteral("overwritten");
    case UnitKind::Empty:
        return QStringLiteral("empty");
    }
    return {};
}

QString stateKey(const CheckReport& report, bool interrupted)
{
    switch (report.outcome) {
    case CheckOutcome::Completed:
        return QStringLiteral("completed");
    case CheckOutcome::Aborted:
        return interrupted ? QStringLiteral("interrupted") : QStringLiteral("aborted");
    case CheckOutcome::DriveGone:
        return QStringLiteral("driveGone");
    case CheckOutcome::Refused:
        return QStringLiteral("refused");
    case CheckOutcome::Failed:
        return QStringLiteral("failed");
    }
    return {};
}

QJsonValue optionalNumber(const std::optional<double>& value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

// Figures for a CSV file: a decimal point whatever the user's settings, no grouping.
QByteArray csvNumber(const std::optional<double>& value, int decimals)
{
    return value ? QByteArray::number(*value, 'f', decimals) : QByteArray();
}

} // namespace

ConsoleCheckObserver::ConsoleCheckObserver(std::FILE* stream)
    : m_stream(stream), m_terminal(::isatty(::fileno(stream)) == 1)
{}

void ConsoleCheckObserver::phaseChanged(CheckPhase phase)
{
    m_phase = phase;
    m_lastTenth = -1;
    // Each phase keeps its last line on the terminal.
    finishLine();
    if (phase == CheckPhase::Deleting) {
        std::fprintf(m_stream, "%s ...\n", capacity::phaseName(phase).toLocal8Bit().constData());
        std::fflush(m_stream);
    }
}

void ConsoleCheckObserver::progress(const Progress& progress)
{
    const auto now = std::chrono::steady_clock::now();
    const int tenth = progress.bytesTotal > 0
                          ? static_cast<int>(progress.bytesDone * 10 / progress.bytesTotal)
                          : 0;
    const QByteArray text = capacity::checkProgressText(progress).toLocal8Bit();
    if (m_terminal) {
        // A few redraws a second are enough to read; a fast medium finishes hundreds of blocks.
        const bool done = progress.bytesDone >= progress.bytesTotal;
        if (!done && m_lineOpen && now - m_lastDraw < std::chrono::milliseconds(200))
            return;
        std::fprintf(m_stream, "\r%s\033[K", text.constData());
        m_lineOpen = true;
    } else {
        if (tenth == m_lastTenth)
            return;
        std::fprintf(m_stream, "%s\n", text.constData());
    }
    m_lastTenth = tenth;
    m_lastDraw = now;
    std::fflush(m_stream);
}

void ConsoleCheckObserver::message(const QString& text)
{
    finishLine();
    std::fprintf(m_stream, "Warnung: %s\n", text.toLocal8Bit().constData());
    std::fflush(m_stream);
}

void ConsoleCheckObserver::finishLine()
{
    if (!m_lineOpen)
        return;
    std::fputc('\n', m_stream);
    std::fflush(m_stream);
    m_lineOpen = false;
}

int verifyExitStatus(const CheckReport& report, bool interrupted)
{
    if (interrupted)
        return 130;
    switch (capacity::verdictOf(report)) {
    case capacity::Verdict::AllIntact:
        return 0;
    case capacity::Verdict::DataLost:
        return 3;
    case capacity::Verdict::Unfinished:
        break;
    }
    return 1;
}

QByteArray verifyJson(const CheckReport& report, const QString& folder, bool keep, bool interrupted)
{
    const auto number = [](std::uint64_t value) { return static_cast<double>(value); };
    const auto phase = [&](const std::optional<capacity::PhaseFigures>& figures,
                           const QString& name, QJsonObject& json) {
        json.insert(name + QStringLiteral("Seconds"),
                    figures ? QJsonValue(figures->seconds) : QJsonValue(QJsonValue::Null));
        json.insert(name + QStringLiteral("BytesPerSecond"),
                    figures ? QJsonValue(figures->bytesPerSecond()) : QJsonValue(QJsonValue::Null));
        json.insert(name + QStringLiteral("MBps"), figures ? QJsonValue(figures->mbytesPerSecond())
                                                           : QJsonValue(QJsonValue::Null));
    };
    QJsonObject json{
        {QStringLiteral("command"), QStringLiteral("verify")},
        {QStringLiteral("path"), folder},
        {QStringLiteral("state"), stateKey(report, interrupted)},
        {QStringLiteral("readOnly"), report.readOnly},
        {QStringLiteral("keep"), keep},
        {QStringLiteral("run"), QString::number(report.run, 16)},
        {QStringLiteral("files"), static_cast<int>(report.files)},
        {QStringLiteral("blockBytes"), number(report.blockBytes)},
        {QStringLiteral("bytesPerMByte"), capacity::BytesPerMByte},
        {QStringLiteral("plannedBytes"), number(report.plannedBytes)},
        {QStringLiteral("bytesWritten"), number(report.bytesWritten)},
        {QStringLiteral("mediumFull"), report.mediumFull},
        {QStringLiteral("writeFailed"), report.writeFailed},
        {QStringLiteral("elapsedSeconds"), report.elapsedSeconds},
        {QStringLiteral("verdict"), capacity::verdictText(report, interrupted)},
        {QStringLiteral("exitStatus"), verifyExitStatus(report, interrupted)},
    };
    phase(report.writing, QStringLiteral("write"), json);
    phase(report.reading, QStringLiteral("read"), json);
    const auto& tally = report.tally;
    const bool read = report.reading.has_value();
    const auto figure = [&](std::uint64_t value) {
        return read ? QJsonValue(number(value)) : QJsonValue(QJsonValue::Null);
    };
    json.insert(QStringLiteral("bytesChecked"), figure(report.checkedBytes()));
    for (const UnitKind kind :
         {UnitKind::Intact, UnitKind::Corrupted, UnitKind::Overwritten, UnitKind::Empty}) {
        QString key = kindKey(kind);
        key[0] = key[0].toUpper();
        json.insert(QStringLiteral("bytes") + key, figure(tally.bytes(kind)));
    }
    const auto firstBad = tally.firstBadPosition();
    json.insert(QStringLiteral("firstBadPosition"),
                read && firstBad ? QJsonValue(number(*firstBad)) : QJsonValue(QJsonValue::Null));
    json.insert(QStringLiteral("usableCapacity"), figure(report.usableCapacity()));
    QJsonArray regions;
    for (const capacity::Region& region : tally.regions()) {
        if (static_cast<std::size_t>(regions.size()) >= MaxRegionsInJson)
            break;
        regions.append(QJsonObject{{QStringLiteral("kind"), kindKey(region.kind)},
                                   {QStringLiteral("position"), number(region.position)},
                                   {QStringLiteral("length"), number(region.length)}});
    }
    json.insert(QStringLiteral("badRegions"), regions);
    json.insert(QStringLiteral("badRegionsOmitted"),
                number(tally.regions().size() - static_cast<std::size_t>(regions.size()) +
                       tally.omittedRegions()));
    json.insert(QStringLiteral("traceInterval"), number(report.traceInterval));
    QJsonArray trace;
    for (const capacity::TracePoint& point : report.trace) {
        const auto mbps = [](const std::optional<double>& bytesPerSecond) -> std::optional<double> {
            if (!bytesPerSecond)
                return std::nullopt;
            return *bytesPerSecond / capacity::BytesPerMByte;
        };
        trace.append(QJsonObject{
            {QStringLiteral("position"), number(point.position)},
            {QStringLiteral("length"), number(point.length)},
            {QStringLiteral("writeMBps"), optionalNumber(mbps(point.writeBytesPerSecond))},
            {QStringLiteral("readMBps"), optionalNumber(mbps(point.readBytesPerSecond))}});
    }
    json.insert(QStringLiteral("trace"), trace);
    json.insert(QStringLiteral("messages"), QJsonArray::fromStringList(report.messages));
    return QJsonDocument(json).toJson(QJsonDocument::Indented);
}

QByteArray checkTraceCsv(const CheckReport& report)
{
    QByteArray csv = "position,write_MBps,read_MBps\n";
    for (const capacity::TracePoint& point : report.trace) {
        const auto mbps = [](const std::optional<double>& bytesPerSecond) -> std::optional<double> {
            if (!bytesPerSecond)
                return std::nullopt;
            return *bytesPerSecond / capacity::BytesPerMByte;
        };
        csv += QByteArray::number(static_cast<qulonglong>(point.position)) + ',' +
               csvNumber(mbps(point.writeBytesPerSecond), 2) + ',' +
               csvNumber(mbps(point.readBytesPerSecond), 2) + '\n';
    }
    return csv;
}

QByteArray singleTraceCsv(const RunReport& report)
{
    QByteArray csv = "block,position,write_ms,write_MBps,read_ms,read_MBps\n";
    const std::size_t blocks =
        std::max(report.writeBlockMilliseconds.size(), report.readBlockMilliseconds.size());
    const auto figures = [&](const std::vector<double>& times, std::size_t block) {
        if (block >= times.size())
            return QByteArray(",");
        const double ms = times[block];
        const std::optional<double> mbps =
            ms > 0 ? std::optional<double>(static_cast<double>(report.blockBytes) /
                                           capacity::BytesPerMByte / (ms / 1000.0))
                   : std::nullopt;
        return QByteArray::number(ms, 'f', 3) + ',' + csvNumber(mbps, 2);
    };
    for (std::size_t block = 0; block < blocks; ++block)
        csv += QByteArray::number(static_cast<qulonglong>(block + 1)) + ',' +
               QByteArray::number(static_cast<qulonglong>(block) *
                                  static_cast<qulonglong>(report.blockBytes)) +
               ',' + figures(report.writeBlockMilliseconds, block) + ',' +
               figures(report.readBlockMilliseconds, block) + '\n';
    return csv;
}

bool writeTextFile(const QString& path, const QByteArray& bytes, std::FILE* errors)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    std::fprintf(errors, "kardelo-cli: %s konnte nicht geschrieben werden: %s\n",
                 path.toLocal8Bit().constData(), file.errorString().toLocal8Bit().constData());
    return false;
}

int runVerify(const Options& options, std::FILE* out, std::FILE* err)
{
    capacity::CheckSettings settings;
    settings.folder = options.drive;
    settings.keepFiles = options.keep;
    settings.readOnly = options.readOnly;
    if (options.checkSizeMB)
        settings.sizeLimit = static_cast<std::uint64_t>(*options.checkSizeMB) * capacity::MiB;
    capacity::CapacityCheck check(PosixFileSystem::instance(), MonotonicClock::instance(),
                                  settings);
    ConsoleCheckObserver observer(err);
    const CheckReport report = check.run(observer, interruptRequested);
    observer.finishLine();

    const bool interrupted = interruptRequested.load();
    int status = verifyExitStatus(report, interrupted);
    if (options.json)
        std::fputs(verifyJson(report, options.drive, options.keep, interrupted).constData(), out);
    else
        std::fputs(capacity::verifySummary(report, options.drive, options.keep, interrupted)
                       .toLocal8Bit()
                       .constData(),
                   out);
    if (options.tracePath && !writeTextFile(*options.tracePath, checkTraceCsv(report), err) &&
        status == 0)
        status = 1;
    return status;
}

} // namespace kardelo::cli
