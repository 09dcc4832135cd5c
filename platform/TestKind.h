#pragma once

#include <cstdint>

namespace kardelo {

// Which test ran last: the speed tests set it, the results log reads it.
enum class TestKind : std::int16_t { None = 0, SingleFile = 1, MultiFile = 2 };

} // namespace kardelo
