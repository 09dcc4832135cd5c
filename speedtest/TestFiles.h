#pragma once

#include "DriveRoot.h"
#include "FileSystem.h"

#include <QString>
#include <cerrno>

// The rules for the files at the tests' own names: what the program may remove there, and how
// one run keeps out of another's way.
namespace kardelo {

// Held by a run for its whole length on the folder it tests. A second run of this program on
// that folder sees it and leaves the folder's test files alone, also in the moments between two
// opens of a file, when no lock on the file itself shows that the first run is still at work.
class FolderLock {
public:
    FolderLock(FileSystem& fileSystem, const QString& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    bool heldByAnotherRun() const noexcept { return m_error == EWOULDBLOCK; }

private:
    FileSystem& m_fileSystem;
    FileHandle m_handle = InvalidHandle;
    int m_error = 0;
};

enum class NameState {
    Free,             // nothing sits at the name (now)
    Removable,        // a file, link, FIFO or device node that may go
    HeldByAnotherRun, // a regular file that another open holds: left alone
    Directory,        // a folder: left alone
};

// What sits at one of the test names, as far as removing it goes. Raises the drive-access error
// when the drive is gone.
NameState testFileNameState(FileSystem& fileSystem, const DriveRoot& drive, const QString& path);

// Clears one of the test names for an exclusive create: a regular file goes (for a hard link
// that is only this name, the data stays under its other names), so do a link (never what it
// points to), a FIFO or a device node. Raises the drive-access error when the drive is gone,
// and the deletion's error when a removal fails.
NameState clearTestFileName(FileSystem& fileSystem, const DriveRoot& drive, const QString& path);

// Removes a test file that a run left at path (the main window's shutdown, a run that never
// reached its drive) unless another run is at work in its folder. Never raises.
void removeLeftTestFile(FileSystem& fileSystem, const QString& path);

} // namespace kardelo
