#pragma once

#include <cstdint>
#include <random>

namespace kardelo {

// The program's one pseudo-random generator. Both tests draw from it; only the single-file
// test reseeds it, so multi-file runs without one in between continue the sequence.
class Random {
public:
    static constexpr std::uint32_t InitialState = 327680;

    explicit Random(std::uint32_t seed = InitialState) : m_engine(seed) {}

    // A fresh uniform number in [0, 1).
    double next() { return static_cast<double>(m_engine() >> 8) / 16777216.0; }
    void seed(std::uint32_t value) { m_engine.seed(value); }
    void seedFromTimeOfDay();

    static Random& program();

private:
    std::mt19937 m_engine;
};

} // namespace kardelo
