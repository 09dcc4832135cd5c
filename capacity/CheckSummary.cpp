#include "CheckSummary.h"

#include "CapacityCheck.h"
#include "Formats.h"

#include <QStringList>
#include <algorithm>

namespace kardelo::capacity {

namespace {

QString mbytes(double bytes)
{
    return formats::fixed(bytes / BytesPerMByte, 2);
}

QString bytesAndMBytes(std::uint64_t bytes)
{
    const auto value = static_cast<double>(bytes);
    return QStringLiteral("%1 Byte = %2 MByte").arg(formats::grouped(value), 15).arg(mbytes(value));
}

QString phaseLine(const std::optional<PhaseFigures>& figures)
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
    const auto range = [&](const QString& name, std::optional<double> TracePoint::*figure) {
        std::optional<double> low, high;
        for (const TracePoint& point : report.trace) {
            if (const auto value = point.*figure) {
                low = std::min(low.value_or(*value), *value);
                high = std::max(high.value_or(*value), *value);
            }
        }
        if (low)
            phases << QStringLiteral("%1 %2 bis %3 MByte/s").arg(name, mbytes(*low), mbytes(*high));
    };
    range(QStringLiteral("Schreiben"), &TracePoint::writeBytesPerSecond);
    range(QStringLiteral("Lesen"), &TracePoint::readBytesPerSecond);
    if (phases.isEmpty())
        return {};
    return phases.join(QStringLiteral(", ")) +
           QStringLiteral(" (%1 Abschnitte zu %2 MByte)")
               .arg(report.trace.size())
               .arg(mbytes(static_cast<double>(report.traceInterval)));
}

} // namespace

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

int progressPercent(const CheckObserver::Progress& progress)
{
    if (progress.bytesTotal == 0)
        return 0;
    return static_cast<int>(std::min(progress.bytesDone, progress.bytesTotal) * 100 /
                            progress.bytesTotal);
}

QString progressDetails(const CheckObserver::Progress& progress)
{
    QString text = QStringLiteral("%1 MByte/s  seit %2")
                       .arg(mbytes(progress.bytesPerSecond), durationText(progress.elapsedSeconds));
    if (progress.secondsLeft)
        text += QStringLiteral(", noch etwa ") + durationText(*progress.secondsLeft);
    return text;
}

QString checkProgressText(const CheckObserver::Progress& progress)
{
    return QStringLiteral("%1: %2 %  %3")
        .arg(phaseName(progress.phase))
        .arg(progressPercent(progress))
        .arg(progressDetails(progress));
}

Verdict verdictOf(const CheckReport& report)
{
    if (report.outcome == CheckOutcome::Refused || report.outcome == CheckOutcome::DriveGone)
        return Verdict::Unfinished;
    if (report.reading && report.badBytes() > 0)
        return Verdict::DataLost;
    return report.outcome == CheckOutcome::Completed && !report.writeFailed ? Verdict::AllIntact
                                                                            : Verdict::Unfinished;
}

QString usableCapacitySentence(const CheckReport& report)
{
    const auto usable = static_cast<double>(report.usableCapacity());
    return QStringLiteral("Nutzbare Kapazität: %1 Byte (%2 MByte).")
        .arg(formats::grouped(usable), mbytes(usable));
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

QList<SummaryRow> summaryRows(const CheckReport& report, bool keep)
{
    QList<SummaryRow> rows;
    if (report.outcome == CheckOutcome::Refused)
        return rows;
    rows.append({QStringLiteral("Geschrieben:"),
                 report.readOnly ? QStringLiteral("nichts, nur die vorhandenen Prüfdateien gelesen")
                                 : phaseLine(report.writing)});
    if (!report.readOnly && report.writing)
        rows.append({QStringLiteral("Schreiben endete:"), writingEnd(report)});
    rows.append({QStringLiteral("Gelesen:"), phaseLine(report.reading)});
    if (report.reading) {
        const Tally& tally = report.tally;
        rows.append({QStringLiteral("Unversehrt:"), bytesAndMBytes(tally.bytes(UnitKind::Intact))});
        rows.append(
            {QStringLiteral("Beschädigt:"), bytesAndMBytes(tally.bytes(UnitKind::Corrupted))});
        rows.append(
            {QStringLiteral("Überschrieben:"), bytesAndMBytes(tally.bytes(UnitKind::Overwritten))});
        rows.append({QStringLiteral("Leer:"), bytesAndMBytes(tally.bytes(UnitKind::Empty))});
        const auto firstBad = tally.firstBadPosition();
        rows.append({QStringLiteral("Erster Fehler:"),
                     firstBad ? QStringLiteral("bei Byte %1 (%2 MByte)")
                                    .arg(formats::grouped(static_cast<double>(*firstBad)),
                                         mbytes(static_cast<double>(*firstBad)))
                              : QStringLiteral("keiner")});
        rows.append(
            {QStringLiteral("Nutzbare Kapazität:"), bytesAndMBytes(report.usableCapacity())});
    }
    if (const QString trace = traceRange(report); !trace.isEmpty())
        rows.append({QStringLiteral("Verlauf:"), trace});
    if (report.files > 0) {
        const QString names = report.files == 1 ? CapacityCheck::fileName(1)
                                                : QStringLiteral("%1 bis %2")
                                                      .arg(CapacityCheck::fileName(1),
                                                           CapacityCheck::fileName(report.files));
        rows.append({QStringLiteral("Prüfdateien:"),
                     QStringLiteral("%1 (%2), %3")
                         .arg(report.files)
                         .arg(names, keep || report.outcome == CheckOutcome::DriveGone
                                         ? QStringLiteral("auf dem Datenträger geblieben")
                                         : QStringLiteral("gelöscht"))});
    }
    rows.append({QStringLiteral("Dauer:"), durationText(report.elapsedSeconds)});
    return rows;
}

QString verifySummary(const CheckReport& report, const QString& folder, bool keep, bool interrupted)
{
    QString text = QStringLiteral("Prüfung von %1 (1 MByte = %2 Byte)\n")
                       .arg(folder, formats::grouped(BytesPerMByte));
    for (const SummaryRow& row : summaryRows(report, keep))
        text += row.label.leftJustified(20) + row.value + QLatin1Char('\n');
    return text + verdictText(report, interrupted) + QLatin1Char('\n');
}

} // namespace kardelo::capacity
