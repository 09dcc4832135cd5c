#include "TerminationSignals.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace kardelo {

namespace {

// Lock-free, so a signal handler may set it.
static_assert(std::atomic<bool>::is_always_lock_free);
std::atomic<bool>* g_flag = nullptr;
int g_pipeWriter = -1;

void setFlag(int)
{
    if (g_flag)
        g_flag->store(true);
}

// Async-signal-safe: one byte into the pipe wakes the event loop.
void wakeLoop(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_pipeWriter, &byte, 1);
}

void handleTermination(void (*handler)(int), int flags)
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

} // namespace

void setFlagOnTermination(std::atomic<bool>& flag)
{
    g_flag = &flag;
    // No SA_RESTART: a blocking call returns with EINTR, so the flag is seen at once.
    handleTermination(setFlag, 0);
}

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    g_pipeWriter = m_pipe[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(m_pipe[0], bytes, sizeof bytes) > 0) {
        }
        emit requested();
    });
    handleTermination(wakeLoop, SA_RESTART);
}

TerminationSignals::~TerminationSignals()
{
    if (m_pipe[0] < 0)
        return;
    handleTermination(SIG_DFL, 0);
    g_pipeWriter = -1;
    m_notifier.reset();
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

} // namespace kardelo
