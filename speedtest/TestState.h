#pragma once

#include "FileSystem.h"
#include "TestKind.h"

#include <QString>
#include <cstdint>

namespace kardelo {

// The main window's test state: written by the tests, the abort button, the free-space update
// and the close request; read by the tests, the results log and the shutdown.
struct TestState {
    QString testFileName;                   // full path of the single-file test's file
    FileHandle writeHandle = InvalidHandle; // test file while it is written
    FileHandle readHandle = InvalidHandle;  // test file while it is read
    bool abortRequested = false;            // asks the running test to stop at its next check
    TestKind testKind = TestKind::None;     // the test that ran last
    double freeBytes = 0;                   // available to the user on the selected drive
    std::int32_t testFileCount = 0;         // files of the last multi-file run
};

} // namespace kardelo
