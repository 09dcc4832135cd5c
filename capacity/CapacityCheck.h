#pragma once

#include "CheckReport.h"
#include "Clock.h"
#include "FileSystem.h"

#include <atomic>
#include <cstdint>

namespace kardelo::capacity {

// The capacity and data check: fills the free space of a medium with files of recognisable
// units ("$_cap0001.$$$" onwards in the folder given), reads them back with the cache
// bypassed, classifies every unit and deletes the files (unless kept). With readOnly it only
// reads back and classifies the files a kept check left.
//
// Threading: run() does all its work before it returns, on the thread that calls it (a window
// calls it from a worker thread of its own, never from its event loop); it starts and joins one
// helper thread that makes and checks the data. Every observer call comes from the calling
// thread. abortRequested may be set from any thread; the check then ends at its next block.
class CapacityCheck {
public:
    // Throws std::invalid_argument for block or file sizes that are no whole number of units,
    // or files smaller than a block.
    CapacityCheck(FileSystem& fileSystem, Clock& clock, CheckSettings settings);

    CheckReport run(CheckObserver& observer, const std::atomic<bool>& abortRequested);

    static QString fileName(std::uint32_t number);

private:
    FileSystem& m_fileSystem;
    Clock& m_clock;
    CheckSettings m_settings;
};

} // namespace kardelo::capacity
