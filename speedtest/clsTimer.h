#pragma once

#include "Clock.h"

#include <QString>
#include <cstdint>

namespace kardelo {

// Measures one interval with the high-resolution counter. ResetTimer and StopTimer read the
// counter and nothing else, so the interval holds as little of the timer's own work as can be.
class clsTimer {
public:
    explicit clsTimer(Clock& clock);

    bool HasCounter() const noexcept { return m_hasCounter; }
    // The frequency as a signed 32-bit number; RuntimeError(Overflow) above its range.
    std::int32_t TicksPerSecond() const;

    void ResetTimer() { m_start = m_clock.counter(); }
    void StopTimer() { m_stop = m_clock.counter(); }
    // Milliseconds between the last ResetTimer and the last StopTimer, unrounded.
    // RuntimeError(DivisionByZero) on a machine without a counter.
    double Elapsed() const;
    // "Execution took 1.234,568 ms" under German settings.
    QString strElapsed() const;

private:
    Clock& m_clock;
    std::int64_t m_frequency = 0;
    bool m_hasCounter = false;
    std::int64_t m_start = 0;
    std::int64_t m_stop = 0;
};

} // namespace kardelo
