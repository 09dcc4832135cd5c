#pragma once

#include <cstdint>

namespace kardelo {

// The high-resolution interval counter.
class Clock {
public:
    virtual ~Clock() = default;
    // Ticks per second; false when the machine has no such counter.
    virtual bool frequency(std::int64_t& ticksPerSecond) = 0;
    virtual std::int64_t counter() = 0;
};

// CLOCK_MONOTONIC in nanoseconds: never jumps with the wall clock.
class MonotonicClock : public Clock {
public:
    bool frequency(std::int64_t& ticksPerSecond) override;
    std::int64_t counter() override;

    static MonotonicClock& instance();
};

} // namespace kardelo
