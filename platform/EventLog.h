#pragma once

#include "RuntimeError.h"

#include <QString>
#include <exception>
#include <utility>

namespace kardelo {

// The application event log: where parts that must never interrupt the user (window
// subclassing, message delivery) leave their error entries.
class EventLog {
public:
    virtual ~EventLog() = default;
    virtual void writeError(const QString& text) = 0;
};

// The system log, facility user, priority error, under the name "kardelo".
class SyslogEventLog final : public EventLog {
public:
    SyslogEventLog();
    ~SyslogEventLog() override;
    SyslogEventLog(const SyslogEventLog&) = delete;
    SyslogEventLog& operator=(const SyslogEventLog&) = delete;

    void writeError(const QString& text) override;
};

// The process's event log: the system log unless a ScopedEventLog has put another in place.
EventLog& eventLog();

// Writes what a contained step threw to the process's event log as "where: what"; nothing
// when it threw nothing. A failure the user need not hear of is still never lost.
void logContainedError(const char* where, const std::exception_ptr& failure) noexcept;

// Runs a step that must never end the program; what it throws goes to the event log.
template <typename Step> void containAndLog(const char* where, Step&& step) noexcept
{
    logContainedError(where, contain(std::forward<Step>(step)));
}

// Puts a log in place of the process's event log for its lifetime (tests capture entries this
// way) and restores the previous one.
class ScopedEventLog {
public:
    explicit ScopedEventLog(EventLog& log);
    ~ScopedEventLog();
    ScopedEventLog(const ScopedEventLog&) = delete;
    ScopedEventLog& operator=(const ScopedEventLog&) = delete;

private:
    EventLog* m_previous;
};

} // namespace kardelo
