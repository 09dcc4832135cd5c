#pragma once

#include "CheckReport.h"
#include "CheckSummary.h"
#include "CliOptions.h"
#include "TestRun.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <chrono>
#include <cstdio>

namespace kardelo::cli {

// The check's progress on stderr: one line redrawn in place on a terminal, a line at every
// phase and every tenth percent in a log file; messages as warnings.
class ConsoleCheckObserver : public capacity::CheckObserver {
public:
    explicit ConsoleCheckObserver(std::FILE* stream);

    void phaseChanged(capacity::CheckPhase phase) override;
    void progress(const Progress& progress) override;
    void message(const QString& text) override;
    // Ends a progress line still open on the terminal.
    void finishLine();

private:
    std::FILE* m_stream;
    bool m_terminal;
    bool m_lineOpen = false;
    capacity::CheckPhase m_phase = capacity::CheckPhase::Preparing;
    int m_lastTenth = -1;
    std::chrono::steady_clock::time_point m_lastDraw;
};

// 0 all intact, 3 data lost or capacity faked, 1 the check could not finish, 130 Ctrl+C.
int verifyExitStatus(const capacity::CheckReport& report, bool interrupted);
QByteArray verifyJson(const capacity::CheckReport& report, const QString& folder, bool keep,
                      bool interrupted);
// position in bytes, write MB/s, read MB/s; a figure a phase did not give stays empty.
QByteArray checkTraceCsv(const capacity::CheckReport& report);
// Every block of the single-file test: its position and time in both phases.
QByteArray singleTraceCsv(const RunReport& report);
// Replaces path as a whole (never writing through a link at it); false with the reason on
// errors.
bool writeTextFile(const QString& path, const QByteArray& bytes, std::FILE* errors);

// The verify command from start to exit status.
int runVerify(const Options& options, std::FILE* out, std::FILE* err);

} // namespace kardelo::cli
