#pragma once

#include "CapacityCheck.h"

#include <QObject>
#include <QStringList>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace kardelo::capacity {

// What a running check told since it was last asked.
struct CheckNews {
    std::optional<CheckPhase> phase;                       // the phase it is in, when it changed
    std::optional<CheckObserver::Progress> progress;       // the latest
    std::vector<std::pair<std::size_t, TracePoint>> trace; // points that got a figure, in order
    std::vector<Region> regions; // found not intact; adjacent ones of a kind joined
    QStringList messages;
};

// Runs one check at a time on a thread of its own, so that a window's event loop never waits
// for the medium. The check's reports are collected for the window to take when it repaints
// (at its own pace, however fast the medium is); its end is signalled on the runner's thread.
class CheckRunner : public QObject {
    Q_OBJECT

public:
    CheckRunner(FileSystem& fileSystem, Clock& clock, QObject* parent = nullptr);
    // A check still running is asked to stop and waited for.
    ~CheckRunner() override;
    CheckRunner(const CheckRunner&) = delete;
    CheckRunner& operator=(const CheckRunner&) = delete;

    // Does nothing while a check runs. Settings the check refuses, and a thread that cannot be
    // had, end it at once with a failed report.
    void start(const CheckSettings& settings);
    // The check ends at its next block, as after Ctrl+C; its files go unless they are kept.
    void abort() { m_abort = true; }
    bool running() const { return m_running; }
    CheckNews takeNews();
    // The last check's report, once `finished` was signalled.
    const std::optional<CheckReport>& report() const { return m_report; }

signals:
    void finished();

private:
    class Collector;
    void collect(const std::function<void(CheckNews&)>& change);
    void endLater(CheckReport report);
    void end(CheckReport report);

    FileSystem& m_fileSystem;
    Clock& m_clock;
    std::atomic<bool> m_abort{false};
    bool m_running = false;
    std::optional<CheckReport> m_report;
    std::mutex m_mutex;
    CheckNews m_news;
    std::thread m_thread;
};

} // namespace kardelo::capacity
