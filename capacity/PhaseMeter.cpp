#include "PhaseMeter.h"

namespace kardelo::capacity {

namespace {
constexpr double RateWindowSeconds = 2.0;
}

PhaseMeter::PhaseMeter(Clock& clock, std::uint64_t interval, IntervalDone intervalDone)
    : m_clock(clock), m_interval(interval > 0 ? interval : 1),
      m_intervalDone(std::move(intervalDone))
{
    m_frequency = m_clock.frequency().value_or(0);
}

void PhaseMeter::start()
{
    m_start = m_last = m_clock.counter();
    m_recent = {{m_start, 0}};
}

void PhaseMeter::blockDone(std::uint64_t position, std::uint64_t bytes)
{
    const std::int64_t now = m_clock.counter();
    std::uint64_t index = position / m_interval;
    // A block that moved nothing (the medium was full) only adds its time to the stretch it
    // ends; it opens none of its own.
    if (bytes == 0 && m_intervalOpen)
        index = m_intervalIndex;
    if (m_intervalOpen && index != m_intervalIndex)
        closeInterval();
    if (!m_intervalOpen) {
        m_intervalOpen = true;
        m_intervalIndex = index;
    }
    m_intervalBytes += bytes;
    m_intervalTicks += now - m_last;
    m_last = now;
    m_bytes += bytes;

    m_recent.push_back({now, m_bytes});
    const auto windowTicks =
        static_cast<std::int64_t>(RateWindowSeconds * static_cast<double>(m_frequency));
    while (m_recent.size() > 2 && now - m_recent[1].ticks >= windowTicks)
        m_recent.pop_front();
}

void PhaseMeter::stop()
{
    const std::int64_t now = m_clock.counter();
    m_intervalTicks += now - m_last;
    m_last = now;
    if (m_intervalOpen)
        closeInterval();
}

void PhaseMeter::closeInterval()
{
    if (m_intervalDone)
        m_intervalDone(m_intervalIndex, m_intervalBytes, toSeconds(m_intervalTicks));
    m_intervalOpen = false;
    m_intervalBytes = 0;
    m_intervalTicks = 0;
}

double PhaseMeter::toSeconds(std::int64_t ticks) const
{
    return m_frequency > 0 ? static_cast<double>(ticks) / static_cast<double>(m_frequency) : 0.0;
}

double PhaseMeter::seconds() const
{
    return toSeconds(m_last - m_start);
}

double PhaseMeter::currentBytesPerSecond() const
{
    if (m_recent.size() < 2)
        return 0;
    const Sample& first = m_recent.front();
    const Sample& last = m_recent.back();
    const double elapsed = toSeconds(last.ticks - first.ticks);
    return elapsed > 0 ? static_cast<double>(last.bytes - first.bytes) / elapsed : 0;
}

double PhaseMeter::averageBytesPerSecond() const
{
    const double elapsed = seconds();
    return elapsed > 0 ? static_cast<double>(m_bytes) / elapsed : 0;
}

} // namespace kardelo::capacity
