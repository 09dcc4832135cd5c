#pragma once

#include "FileSystem.h"

#include <QString>
#include <cstdint>
#include <optional>

namespace kardelo {

// The root folder of the drive under test, and the file look-ups and deletions made in it.
// Whenever the drive itself cannot be reached (removed, unmounted, an I/O error on its root,
// a FUSE daemon gone) these raise RuntimeError(BadFileNameOrNumber), the drive-access error.
class DriveRoot {
public:
    // Remembers which file system is mounted at root now, so that an unmount during the run
    // (which leaves the bare mount-point folder behind) counts as the drive being gone.
    DriveRoot(FileSystem& fileSystem, QString root);

    const QString& path() const noexcept { return m_root; }
    QString filePath(const QString& name) const { return m_root + name; }

    // Throws the drive-access error when the drive cannot be reached.
    void ensureReachable() const;
    bool isReachable() const noexcept;
    // What sits at that full path (EntryKind::None: nothing). Never follows a link.
    EntryKind entryAt(const QString& path) const;
    bool fileExists(const QString& path) const { return entryAt(path) != EntryKind::None; }
    // Deletes the file (a link itself, not its target). Throws the drive-access error when the
    // drive is gone, else RuntimeError(PathFileAccessError / PermissionDenied / FileNotFound).
    void removeFile(const QString& path) const;

private:
    FileSystem& m_fileSystem;
    QString m_root;
    std::optional<std::uint64_t> m_device;
};

// A folder's path with "/" appended unless the text already ends in one.
QString withTrailingSlash(const QString& folder);
// The drive root of a drive such as "/media/anna/STICK": "/media/anna/STICK/".
inline QString driveRootOf(const QString& drive)
{
    return withTrailingSlash(drive);
}

} // namespace kardelo
