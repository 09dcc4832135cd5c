#include "Clock.h"

#include <ctime>

namespace kardelo {

std::optional<std::int64_t> MonotonicClock::frequency()
{
    return 1'000'000'000;
}

std::int64_t MonotonicClock::counter()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

MonotonicClock& MonotonicClock::instance()
{
    static MonotonicClock clock;
    return clock;
}

} // namespace kardelo
