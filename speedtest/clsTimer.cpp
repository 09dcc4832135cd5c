#include "clsTimer.h"

#include "Formats.h"
#include "RuntimeError.h"

namespace kardelo {

clsTimer::clsTimer(Clock& clock) : m_clock(clock)
{
    const std::optional<std::int64_t> frequency = m_clock.frequency();
    m_hasCounter = frequency.has_value();
    m_frequency = frequency.value_or(0);
}

std::int32_t clsTimer::TicksPerSecond() const
{
    return formats::toInt32(static_cast<double>(m_frequency));
}

double clsTimer::Elapsed() const
{
    if (m_frequency == 0)
        throw RuntimeError(ErrorCode::DivisionByZero);
    const std::int64_t ticks = m_stop - m_start;
    return static_cast<double>(ticks) / static_cast<double>(m_frequency) * 1000.0;
}

QString clsTimer::strElapsed() const
{
    return QStringLiteral("Execution took ") + formats::groupedThreeDecimals(Elapsed()) +
           QStringLiteral(" ms");
}

} // namespace kardelo
