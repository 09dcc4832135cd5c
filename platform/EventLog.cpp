#include "EventLog.h"

#include "RuntimeError.h"

#include <cstdio>
#include <syslog.h>

namespace kardelo {
namespace {

EventLog*& installedLog()
{
    static EventLog* log = nullptr;
    return log;
}

} // namespace

SyslogEventLog::SyslogEventLog()
{
    openlog("kardelo", LOG_PID, LOG_USER);
}

SyslogEventLog::~SyslogEventLog()
{
    closelog();
}

void SyslogEventLog::writeError(const QString& text)
{
    syslog(LOG_ERR | LOG_USER, "%s", text.toUtf8().constData());
}

EventLog& eventLog()
{
    if (EventLog* log = installedLog())
        return *log;
    static SyslogEventLog systemLog;
    return systemLog;
}

ScopedEventLog::ScopedEventLog(EventLog& log) : m_previous(installedLog())
{
    installedLog() = &log;
}

ScopedEventLog::~ScopedEventLog()
{
    installedLog() = m_previous;
}

void logContainedError(const char* where, const std::exception_ptr& failure) noexcept
{
    if (!failure)
        return;
    try {
        QString what;
        try {
            std::rethrow_exception(failure);
        } catch (const RuntimeError& error) {
            what = error.detail().isEmpty()
                       ? error.message()
                       : error.message() + QStringLiteral(" (") + error.detail() + QLatin1Char(')');
        } catch (const std::exception& error) {
            what = QString::fromLocal8Bit(error.what());
        } catch (...) {
            what = QStringLiteral("unknown exception");
        }
        eventLog().writeError(QString::fromUtf8(where) + QStringLiteral(": ") + what);
    } catch (...) {
        // The log itself failed (no memory for the text): the terminal is the last witness.
        std::fprintf(stderr, "kardelo: %s: a contained error could not be logged\n", where);
    }
}

} // namespace kardelo
