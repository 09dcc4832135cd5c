#include "DriveRoot.h"

#include "RuntimeError.h"

#include <cerrno>

namespace kardelo {

DriveRoot::DriveRoot(FileSystem& fileSystem, QString root)
    : m_fileSystem(fileSystem), m_root(std::move(root))
{
    const DirectoryStatus status = m_fileSystem.directoryStatus(m_root);
    if (status.reachable && status.isDirectory)
        m_device = status.device;
}

bool DriveRoot::isReachable() const noexcept
{
    const DirectoryStatus status = m_fileSystem.directoryStatus(m_root);
    return status.reachable && status.isDirectory && m_device && status.device == *m_device;
}

void DriveRoot::ensureReachable() const
{
    if (!isReachable())
        throw RuntimeError(ErrorCode::BadFileNameOrNumber, m_root);
}

EntryKind DriveRoot::entryAt(const QString& path) const
{
    ensureReachable();
    const PathStatus status = m_fileSystem.pathStatus(path);
    if (status.error != 0)
        throw RuntimeError(ErrorCode::BadFileNameOrNumber, m_fileSystem.errorText(status.error));
    return status.exists ? status.kind : EntryKind::None;
}

void DriveRoot::removeFile(const QString& path) const
{
    const int error = m_fileSystem.remove(path);
    if (error == 0)
        return;
    ensureReachable();
    const QString text = m_fileSystem.errorText(error);
    switch (error) {
    case ENOENT:
        throw RuntimeError(ErrorCode::FileNotFound, text);
    case EACCES:
    case EPERM:
    case EROFS:
        throw RuntimeError(ErrorCode::PermissionDenied, text);
    default:
        throw RuntimeError(ErrorCode::PathFileAccessError, text);
    }
}

QString withTrailingSlash(const QString& folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

} // namespace kardelo
