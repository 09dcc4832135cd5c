#pragma once

#include "Clock.h"

namespace kardelo::testing {

// A counter that moves by a fixed step at every reading, so every timed interval of a test
// run lasts exactly one step.
class FakeClock : public Clock {
public:
    explicit FakeClock(std::int64_t step, std::int64_t ticksPerSecond = 1'000'000'000,
                       bool hasCounter = true)
        : m_step(step), m_frequency(ticksPerSecond), m_hasCounter(hasCounter)
    {}

    std::optional<std::int64_t> frequency() override
    {
        if (!m_hasCounter)
            return std::nullopt;
        return m_frequency;
    }
    std::int64_t counter() override { return m_now += m_step; }

    std::int64_t m_now = 0;

private:
    std::int64_t m_step;
    std::int64_t m_frequency;
    bool m_hasCounter;
};

} // namespace kardelo::testing
