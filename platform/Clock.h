#pragma once

#include <cstdint>
#include <optional>

namespace kardelo {

// The high-resolution interval counter.
class Clock {
public:
    virtual ~Clock() = default;
    // Ticks per second; nothing when the machine has no such counter.
    virtual std::optional<std::int64_t> frequency() = 0;
    virtual std::int64_t counter() = 0;
};

// CLOCK_MONOTONIC in nanoseconds: never jumps with the wall clock.
class MonotonicClock : public Clock {
public:
    std::optional<std::int64_t> frequency() override;
    std::int64_t counter() override;

    static MonotonicClock& instance();
};

} // namespace kardelo
