#include "TestFiles.h"

#include "EventLog.h"
#include "RuntimeError.h"

#include <QFileInfo>

namespace kardelo {

FolderLock::FolderLock(FileSystem& fileSystem, const QString& folder) : m_fileSystem(fileSystem)
{
    const OpenResult locked = m_fileSystem.lockFolder(folder);
    m_handle = locked.handle;
    m_error = locked.error;
}

FolderLock::~FolderLock()
{
    if (m_handle != InvalidHandle)
        m_fileSystem.close(m_handle);
}

NameState testFileNameState(FileSystem& fileSystem, const DriveRoot& drive, const QString& path)
{
    switch (drive.entryAt(path)) {
    case EntryKind::None:
        return NameState::Free;
    case EntryKind::Directory:
        return NameState::Directory;
    case EntryKind::RegularFile:
        return fileSystem.isLockedByAnother(path) ? NameState::HeldByAnotherRun
                                                  : NameState::Removable;
    default:
        return NameState::Removable;
    }
}

NameState clearTestFileName(FileSystem& fileSystem, const DriveRoot& drive, const QString& path)
{
    const NameState state = testFileNameState(fileSystem, drive, path);
    if (state != NameState::Removable)
        return state;
    drive.removeFile(path);
    return NameState::Free;
}

void removeLeftTestFile(FileSystem& fileSystem, const QString& path)
{
    if (path.isEmpty())
        return;
    containAndLog("test files", [&] {
        const QString folder = QFileInfo(path).path();
        const FolderLock lock(fileSystem, folder);
        if (lock.heldByAnotherRun())
            return;
        const DriveRoot drive(fileSystem, folder);
        clearTestFileName(fileSystem, drive, path);
    });
}

} // namespace kardelo
