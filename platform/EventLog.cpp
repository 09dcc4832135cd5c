#include "EventLog.h"

#include "RuntimeError.h"

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

void logContainedError(const QString& where, const std::exception_ptr& failure)
{
    if (!failure)
        return;
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
    eventLog().writeError(where + QStringLiteral(": ") + what);
}

} // namespace kardelo
