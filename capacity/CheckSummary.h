#pragma once

#include "CheckReport.h"

#include <QList>
#include <QString>

// What the check tells the user in words, for the console and the window alike: one place for
// every German text of its progress, its figures and its verdict.
namespace kardelo::capacity {

// "Schreiben", "Lesen", ...
QString phaseName(CheckPhase phase);
// "1:02:03" or "2:03".
QString durationText(double seconds);
// The percentage of the phase done, 0 to 100.
int progressPercent(const CheckObserver::Progress& progress);
// "19,98 MByte/s  seit 0:12, noch etwa 3:45"
QString progressDetails(const CheckObserver::Progress& progress);
// "Schreiben: 37 %  19,98 MByte/s  seit 0:12, noch etwa 3:45"
QString checkProgressText(const CheckObserver::Progress& progress);

// One line of the summary: its label ("Gelesen:") and what follows it.
struct SummaryRow {
    QString label;
    QString value;
    friend bool operator==(const SummaryRow&, const SummaryRow&) = default;
};
// Every figure of a check that was not refused, in the order the summary gives them.
QList<SummaryRow> summaryRows(const CheckReport& report, bool keep);
// The German summary: a heading, every figure, then the one-line verdict.
QString verifySummary(const CheckReport& report, const QString& folder, bool keep,
                      bool interrupted);
// "Ergebnis: ..." in one line. interrupted: ended by Ctrl+C rather than by the window.
QString verdictText(const CheckReport& report, bool interrupted);

enum class Verdict {
    AllIntact, // every byte written (or kept) came back
    DataLost,  // data lost or the capacity faked
    Unfinished // refused, aborted, failed or the medium gone, without a lost byte
};
Verdict verdictOf(const CheckReport& report);
// "Nutzbare Kapazität: 0 Byte (0,00 MByte)."
QString usableCapacitySentence(const CheckReport& report);

} // namespace kardelo::capacity
