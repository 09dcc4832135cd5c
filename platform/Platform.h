#pragma once

#include "Clock.h"
#include "FileSystem.h"
#include "Random.h"

namespace kardelo {

// The operating-system services a speed test needs, handed in as one bundle so that tests
// can swap any of them.
struct Platform {
    FileSystem& fileSystem;
    Clock& clock;
    Random& random;

    // The real file system, the monotonic counter and the program's one generator.
    static Platform system();
};

} // namespace kardelo
