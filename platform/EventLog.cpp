#include "EventLog.h"

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

} // namespace kardelo
