#include "Random.h"

#include <QTime>

namespace kardelo {

void Random::seedFromTimeOfDay()
{
    seed(static_cast<std::uint32_t>(QTime::currentTime().msecsSinceStartOfDay()));
}

Random& Random::program()
{
    static Random generator;
    return generator;
}

} // namespace kardelo
