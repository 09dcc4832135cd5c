#pragma once

#include "Clock.h"

#include <cstdint>
#include <deque>
#include <functional>

namespace kardelo::capacity {

// The clock of one phase: its whole time, its current rate, and the time it spent on each
// stretch of the trace. A block's time runs from the end of the block before it (or the start
// of the phase) to its own end, so opening and closing files count where they happen and the
// stretches add up to the phase.
class PhaseMeter {
public:
    // Called when a stretch of the trace is complete: its index, bytes and seconds.
    using IntervalDone = std::function<void(std::uint64_t index, std::uint64_t bytes, double)>;

    PhaseMeter(Clock& clock, std::uint64_t interval, IntervalDone intervalDone);

    void start();
    // A block that began at position has moved bytes, just now.
    void blockDone(std::uint64_t position, std::uint64_t bytes);
    // The phase is over: the time since the last block belongs to the last stretch.
    void stop();

    std::uint64_t bytes() const noexcept { return m_bytes; }
    double seconds() const;
    // Over about the last two seconds.
    double currentBytesPerSecond() const;
    double averageBytesPerSecond() const;

private:
    double toSeconds(std::int64_t ticks) const;
    void closeInterval();

    Clock& m_clock;
    std::int64_t m_frequency = 0;
    std::uint64_t m_interval;
    IntervalDone m_intervalDone;
    std::int64_t m_start = 0;
    std::int64_t m_last = 0;
    std::uint64_t m_bytes = 0;
    bool m_intervalOpen = false;
    std::uint64_t m_intervalIndex = 0;
    std::uint64_t m_intervalBytes = 0;
    std::int64_t m_intervalTicks = 0;
    struct Sample {
        std::int64_t ticks;
        std::uint64_t bytes;
    };
    std::deque<Sample> m_recent;
};

} // namespace kardelo::capacity
