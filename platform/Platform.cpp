#include "Platform.h"

#include "PosixFileSystem.h"

namespace kardelo {

Platform Platform::system()
{
    return {PosixFileSystem::instance(), MonotonicClock::instance(), Random::program()};
}

} // namespace kardelo
