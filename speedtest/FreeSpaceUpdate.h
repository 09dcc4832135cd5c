#pragma once

#include "FileSystem.h"
#include "TestWindow.h"

namespace kardelo {

// Refreshes the free-space frame and its three figures for a drive path (a drive root from the
// tests, a drive from a click in the drive list) and leaves the bytes available to the user in
// the test state. A failed query shows empty figures and leaves 0 free bytes, so a following
// test refuses to run for lack of space.
void updateFreeSpace(TestWindow& window, FileSystem& fileSystem, const QString& drivePath);
// The same for a drive that can no longer be reached, without asking the system: whatever is
// mounted beneath its mount point now is not the drive.
void showUnreachableDrive(TestWindow& window, const QString& drivePath);

} // namespace kardelo
