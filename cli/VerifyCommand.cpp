#include "VerifyCommand.h"

#include "CapacityCheck.h"
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

QString mbytes(double bytes)
{
    return formats::fixed(bytes / capacity::BytesPerMByte, 2);
}

QString phaseName(CheckPhase phase)
{
    switch (phase) {
    case CheckPhase::Preparing:
        return QStringLiteral("Vorbereiten");
    case CheckPhase::Writing:
        return QStringLiteral("Schreiben");
    case CheckPhase::Reading:
        return QStringLiteral("Lesen");
    case CheckPhase::Deleting:
        return QStringLiteral("Löschen der Prüfdateien");
    }
    return {};
}

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

QString bytesAndMBytes(std::uint64_t bytes)
{
    const auto value = static_cast<double>(bytes);
    return QStringLiteral("%1 Byte = %2 MByte").arg(formats::grouped(value), 15).arg(mbytes(value));
}

QString line(const QString& label, const QString& value)
{
    return label.leftJustified(20) + value + QLatin1Char('\n');
}

QString phaseLine(const std::optional<capacity::PhaseFigures>& figures)
{
    if (!figures)
        return QStringLiteral("keine Angabe (nicht beendet)");
    return bytesAndMBytes(figures->bytes) + QStringLiteral(" in %1 s: %2 MByte/s")
                                                .arg(formats::fixed(figures->seconds, 2),
                                                     formats::fixed(figures->mbytesPerSecond(), 2));
}

QString writingEnd(const CheckReport& report)
{
    if (report.mediumFull)
        return QStringLiteral("Datenträger voll");
    if (report.writeFailed)
        return QStringLiteral("mit einem Fehler");
    if (report.reading && report.outcome != CheckOutcome::Failed)
        return QStringLiteral("gewünschte Menge geschrieben");
    return QStringLiteral("vorzeitig");
}

// The slowest and fastest stretch of each phase: a medium whose write speed collapses once
// its cache is full shows here.
QString traceRange(const CheckReport& report)
{
    if (report.trace.size() < 2)
        return {};
    QStringList phases;
    const auto range = [&](const QString& name,
                           std::optional<double> capacity::TracePoint::*figure) {
        std::optional<double> low, high;
        for (const capacity::TracePoint& point : report.trace) {
            if (const auto value = point.*figure) {
                low = std::min(low.value_or(*value), *value);
                high = std::max(high.value_or(*value), *value);
            }
        }
        if (low)
            phases << QStringLiteral("%1 %2 bis %3 MByte/s").arg(name, mbytes(*low), mbytes(*high));
    };
    range(QStringLiteral("Schreiben"), &capacity::TracePoint::writeBytesPerSecond);
    range(QStringLiteral("Lesen"), &capacity::TracePoint::readBytesPerSecond);
    if (phases.isEmpty())
        return {};
    return phases.join(QStringLiteral(", ")) +
           QStringLiteral(" (%1 Abschnitte zu %2 MByte)")
               .arg(report.trace.size())
               .arg(mbytes(static_cast<double>(report.traceInterval)));
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

QString durationText(double seconds)
{
    const auto total = static_cast<long long>(seconds < 0 ? 0 : seconds + 0.5);
    const long long hours = total / 3600;
    const long long minutes = total / 60 % 60;
    const long long rest = total % 60;
    if (hours > 0)
        return QStringLiteral("%1:%2:%3")
            .arg(hours)
            .arg(minutes, 2, 10, QLatin1Char('0'))
            .arg(rest, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(minutes).arg(rest, 2, 10, QLatin1Char('0'));
}

QString ConsoleCheckObserver::progressText(const Progress& progress)
{
    const int percent = progress.bytesTotal > 0
                            ? static_cast<int>(progress.bytesDone * 100 / progress.bytesTotal)
                            : 0;
    QString text = QStringLiteral("%1: %2 %  %3 MByte/s  seit %4")
                       .arg(phaseName(progress.phase))
                       .arg(percent)
                       .arg(mbytes(progress.bytesPerSecond), durationText(progress.elapsedSeconds));
    if (progress.secondsLeft)
        text += QStringLiteral(", noch etwa ") + durationText(*progress.secondsLeft);
    return text;
}

void ConsoleCheckObserver::phaseChanged(CheckPhase phase)
{
    m_phase = phase;
    m_lastTenth = -1;
    // Each phase keeps its last line on the terminal.
    finishLine();
    if (phase == CheckPhase::Deleting) {
        std::fprintf(m_stream, "%s ...\n", phaseName(phase).toLocal8Bit().constData());
        std::fflush(m_stream);
    }
}

void ConsoleCheckObserver::progress(const Progress& progress)
{
    const auto now = std::chrono::steady_clock::now();
    const int tenth = progress.bytesTotal > 0
                          ? static_cast<int>(progress.bytesDone * 10 / progress.bytesTotal)
                          : 0;
    const QByteArray text = progressText(progress).toLocal8Bit();
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

QString verdictText(const CheckReport& report, bool interrupted)
{
    const QString prefix = QStringLiteral("Ergebnis: ");
    if (report.outcome == CheckOutcome::Refused)
        return prefix + QStringLiteral("NICHT DURCHGEFÜHRT. ") + report.messages.value(0);
    if (report.outcome == CheckOutcome::DriveGone)
        return prefix + QStringLiteral("NICHT BEENDET. Auf das Laufwerk konnte nicht "
                                       "zugegriffen werden!");
    const bool stoppedEarly = report.outcome == CheckOutcome::Aborted;
    const QString early = stoppedEarly ? QStringLiteral(" (Prüfung abgebrochen)") : QString();
    const auto checked = static_cast<double>(report.checkedBytes());
    const auto intact = static_cast<double>(report.tally.bytes(UnitKind::Intact));
    if (report.reading && report.tally.units(UnitKind::Overwritten) > 0)
        return prefix + QStringLiteral("FÄLSCHUNG%1. Der Datenträger hat weniger Platz, als er "
                                       "angibt: er gibt an Stelle älterer Daten später "
                                       "geschriebene zurück. Nur %2 von %3 Byte kamen "
                                       "unversehrt zurück.")
                            .arg(early, formats::grouped(intact), formats::grouped(checked));
    if (report.reading && report.badBytes() > 0)
        return prefix + QStringLiteral("DATENVERLUST%1. %2 von %3 Byte kamen nicht unversehrt "
                                       "zurück, der erste Fehler liegt bei Byte %4.")
                            .arg(early, formats::grouped(static_cast<double>(report.badBytes())),
                                 formats::grouped(checked),
                                 formats::grouped(static_cast<double>(
                                     report.tally.firstBadPosition().value_or(0))));
    if (stoppedEarly)
        return prefix +
               (checked > 0
                    ? QStringLiteral("ABGEBROCHEN%1. Die %2 bis dahin zurückgelesenen Byte sind "
                                     "unversehrt; der Rest ist nicht geprüft.")
                          .arg(interrupted ? QStringLiteral(" mit Strg+C") : QString(),
                               formats::grouped(checked))
                    : QStringLiteral("ABGEBROCHEN%1, bevor etwas zurückgelesen wurde: nichts ist "
                                     "geprüft.")
                          .arg(interrupted ? QStringLiteral(" mit Strg+C") : QString()));
    if (report.outcome == CheckOutcome::Failed || report.writeFailed) {
        QString reason = report.messages.value(0).trimmed();
        if (!reason.isEmpty() && !QStringLiteral(".!?").contains(reason.back()))
            reason += QLatin1Char('.');
        return prefix + QStringLiteral("NICHT BEENDET. ") + reason +
               (checked > 0 ? QStringLiteral(" Die %1 zurückgelesenen Byte sind unversehrt.")
                                  .arg(formats::grouped(checked))
                            : QStringLiteral(" Nichts ist geprüft."));
    }
    if (report.readOnly)
        return prefix + QStringLiteral("IN ORDNUNG. Alle %1 Byte der Prüfdateien sind unversehrt.")
                            .arg(formats::grouped(checked));
    return prefix + QStringLiteral("IN ORDNUNG. Alle %1 geschriebenen Byte (%2 MByte) kamen "
                                   "unversehrt zurück.")
                        .arg(formats::grouped(checked), mbytes(checked));
}

int verifyExitStatus(const CheckReport& report, bool interrupted)
{
    if (interrupted)
        return 130;
    if (report.outcome == CheckOutcome::Refused || report.outcome == CheckOutcome::DriveGone)
        return 1;
    if (report.reading && report.badBytes() > 0)
        return 3;
    return report.outcome == CheckOutcome::Completed && !report.writeFailed ? 0 : 1;
}

QString verifySummary(const CheckReport& report, const QString& folder, bool keep, bool interrupted)
{
    QString text = QStringLiteral("Prüfung von %1 (1 MByte = %2 Byte)\n")
                       .arg(folder, formats::grouped(capacity::BytesPerMByte));
    if (report.outcome != CheckOutcome::Refused) {
        text += line(QStringLiteral("Geschrieben:"),
                     report.readOnly ? QStringLiteral("nichts, nur die vorhandenen Prüfdateien "
                                                      "gelesen")
                                     : phaseLine(report.writing));
        if (!report.readOnly && report.writing)
            text += line(QStringLiteral("Schreiben endete:"), writingEnd(report));
        text += line(QStringLiteral("Gelesen:"), phaseLine(report.reading));
        if (report.reading) {
            const auto& tally = report.tally;
            text +=
                line(QStringLiteral("Unversehrt:"), bytesAndMBytes(tally.bytes(UnitKind::Intact)));
            text += line(QStringLiteral("Beschädigt:"),
                         bytesAndMBytes(tally.bytes(UnitKind::Corrupted)));
            text += line(QStringLiteral("Überschrieben:"),
                         bytesAndMBytes(tally.bytes(UnitKind::Overwritten)));
            text += line(QStringLiteral("Leer:"), bytesAndMBytes(tally.bytes(UnitKind::Empty)));
            const auto firstBad = tally.firstBadPosition();
            text += line(QStringLiteral("Erster Fehler:"),
                         firstBad ? QStringLiteral("bei Byte %1 (%2 MByte)")
                                        .arg(formats::grouped(static_cast<double>(*firstBad)),
                                             mbytes(static_cast<double>(*firstBad)))
                                  : QStringLiteral("keiner"));
            text += line(QStringLiteral("Nutzbare Kapazität:"),
                         bytesAndMBytes(report.usableCapacity()));
        }
        if (const QString trace = traceRange(report); !trace.isEmpty())
            text += line(QStringLiteral("Verlauf:"), trace);
        if (report.files > 0) {
            using capacity::CapacityCheck;
            const QString names =
                report.files == 1
                    ? CapacityCheck::fileName(1)
                    : QStringLiteral("%1 bis %2")
                          .arg(CapacityCheck::fileName(1), CapacityCheck::fileName(report.files));
            text += line(QStringLiteral("Prüfdateien:"),
                         QStringLiteral("%1 (%2), %3")
                             .arg(report.files)
                             .arg(names, keep || report.outcome == CheckOutcome::DriveGone
                                             ? QStringLiteral("auf dem Datenträger geblieben")
                                             : QStringLiteral("gelöscht")));
        }
        text += line(QStringLiteral("Dauer:"), durationText(report.elapsedSeconds));
    }
    return text + verdictText(report, interrupted) + QLatin1Char('\n');
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
        {QStringLiteral("verdict"), verdictText(report, interrupted)},
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
        std::fputs(verifySummary(report, options.drive, options.keep, interrupted)
                       .toLocal8Bit()
                       .constData(),
                   out);
    if (options.tracePath && !writeTextFile(*options.tracePath, checkTraceCsv(report), err) &&
        status == 0)
        status = 1;
    return status;
}

} // namespace kardelo::cli
