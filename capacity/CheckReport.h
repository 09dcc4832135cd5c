#pragma once

#include "UnitPattern.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kardelo::capacity {

inline constexpr std::uint64_t MiB = std::uint64_t{1} << 20;
// The MByte of every figure of the check.
inline constexpr double BytesPerMByte = 1048576.0;

// The folders whose file systems the check refuses to fill: the system's ("/") and the
// user's home folder.
QStringList defaultProtectedFolders();

struct CheckSettings {
    QString folder;                          // the medium's root, or a folder on it
    std::optional<std::uint64_t> sizeLimit;  // bytes; nothing: until the medium is full
    bool keepFiles = false;                  // leave the check's files on the medium
    bool readOnly = false;                   // check the files a kept check left, write nothing
    std::uint64_t maxFileBytes = 1024 * MiB; // FAT32 holds files below 4 GiB
    std::size_t blockBytes = 4 * MiB;
    // A trace point stands for 1 % of the data, but never for less than this.
    std::uint64_t minimumTraceInterval = 64 * MiB;
    QStringList protectedFolders = defaultProtectedFolders();
};

enum class CheckPhase { Preparing, Writing, Reading, Deleting };

// One stretch of the medium in the throughput trace, with the speed each phase moved it at.
struct TracePoint {
    std::uint64_t position = 0; // of its first byte, on the check's scale
    std::uint64_t length = 0;
    std::optional<double> writeBytesPerSecond;
    std::optional<double> readBytesPerSecond;

    friend bool operator==(const TracePoint&, const TracePoint&) = default;
};

struct PhaseFigures {
    std::uint64_t bytes = 0;
    double seconds = 0;

    double bytesPerSecond() const { return seconds > 0 ? static_cast<double>(bytes) / seconds : 0; }
    double mbytesPerSecond() const { return bytesPerSecond() / BytesPerMByte; }
};

enum class CheckOutcome {
    Completed, // both phases ran to their end (writing may have ended with an error)
    Aborted,   // ended on request; the figures are those of what was done until then
    DriveGone, // the medium could no longer be reached
    Refused,   // nothing was written: the medium or what sits on it does not allow the check
    Failed,    // ended by an error of its own, named in the messages
};

// Everything a check found. Positions are on the check's scale: the files one after another,
// in the order of their numbers.
struct CheckReport {
    CheckOutcome outcome = CheckOutcome::Failed;
    bool readOnly = false;
    std::uint64_t run = 0;
    std::uint32_t files = 0;
    std::size_t blockBytes = 0;
    std::uint64_t plannedBytes = 0; // the amount the check set out to write or read

    std::uint64_t bytesWritten = 0; // whole units that landed on the medium
    bool mediumFull = false;        // writing ended because the medium took no more
    bool writeFailed = false;       // writing ended with an error before the medium was full
    // A phase's figures; nothing when the phase did not run or the medium was lost in it.
    std::optional<PhaseFigures> writing;
    std::optional<PhaseFigures> reading;

    Tally tally; // every unit read back, by kind
    std::uint64_t traceInterval = 0;
    std::vector<TracePoint> trace;
    double elapsedSeconds = 0;
    QStringList messages;

    std::uint64_t checkedBytes() const { return tally.totalBytes(); }
    std::uint64_t badBytes() const { return checkedBytes() - tally.bytes(UnitKind::Intact); }
    // Intact bytes from the start up to the first unit that is not. A medium that gave back
    // units written elsewhere holds no more than the shortest distance between two places it
    // maps onto one; filled up, it overwrote its start with its end, yet it holds that much.
    std::uint64_t usableCapacity() const
    {
        if (tally.units(UnitKind::Overwritten) == 0)
            return tally.firstBadPosition().value_or(tally.bytes(UnitKind::Intact));
        const std::uint64_t mapped =
            tally.shortestAlias().value_or(tally.firstBadPosition().value_or(0));
        return std::min(tally.firstLossPosition().value_or(checkedBytes()), mapped);
    }
};

// What the check tells while it runs. Every call comes from the thread that runs the check,
// and none may throw.
class CheckObserver {
public:
    struct Progress {
        CheckPhase phase = CheckPhase::Preparing;
        std::uint64_t bytesDone = 0;       // in this phase
        std::uint64_t bytesTotal = 0;      // of this phase, as far as known now
        double bytesPerSecond = 0;         // over about the last two seconds
        double elapsedSeconds = 0;         // since the check began
        std::optional<double> secondsLeft; // for the whole check; nothing until a rate is known
    };

    virtual ~CheckObserver() = default;
    // Writing (not in read-only mode), Reading, Deleting, each as it begins; before the first
    // the check is Preparing (refusals happen there).
    virtual void phaseChanged(CheckPhase) {}
    // After every block.
    virtual void progress(const Progress&) {}
    // A point of the trace got its write figure (a new point) or its read figure.
    virtual void traceUpdated(std::size_t /*index*/, const TracePoint&) {}
    // Units found not intact; a region may continue the one reported before it.
    virtual void badRegion(const Region&) {}
    virtual void message(const QString&) {}
};

} // namespace kardelo::capacity
