#include "PosixFileSystem.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#ifndef STATX_DIOALIGN
#define STATX_DIOALIGN 0x00002000U
#endif

namespace kardelo {

namespace {

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

// Never through a link at the name, never waiting for a FIFO's other end (O_NONBLOCK has no
// effect on a regular file). No retry after EINTR: here only an abort request interrupts an
// open, and a retried open would not see it.
OpenResult openName(const QString& path, int flags, bool regularOnly)
{
    const int fd =
        ::open(native(path).constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd == -1)
        return {InvalidHandle, errno};
    struct stat info {};
    if (regularOnly && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(fd);
        return {InvalidHandle, NotARegularFile};
    }
    return {fd, 0};
}

// Part of a block: the medium stopped taking or giving data (pulled out, full, failing, the
// end of the file); which of them the next call would tell, so this one says only what
// happened.
TransferResult outcome(ssize_t moved, std::size_t count)
{
    if (moved == -1)
        return {false, errno, 0};
    if (static_cast<std::size_t>(moved) != count)
        return {false, ShortTransfer, static_cast<std::size_t>(moved)};
    return {true, 0, count};
}

EntryKind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return EntryKind::RegularFile;
    if (S_ISDIR(mode))
        return EntryKind::Directory;
    if (S_ISLNK(mode))
        return EntryKind::SymbolicLink;
    return EntryKind::Other;
}

} // namespace

PosixFileSystem::PosixFileSystem(QString sysfsRoot) : m_sysfsRoot(std::move(sysfsRoot)) {}

PosixFileSystem& PosixFileSystem::instance()
{
    static PosixFileSystem fileSystem;
    return fileSystem;
}

OpenResult PosixFileSystem::openDirect(const QString& path, OpenMode mode)
{
    // For writing, always a file this open creates: whatever sat at the name (a hard link to
    // someone's file, another run's file) must have been removed first, or the open fails.
    const bool writing = mode == OpenMode::CreateForWrite;
    const OpenResult opened =
        openName(path, O_DIRECT | (writing ? O_WRONLY | O_CREAT | O_EXCL : O_RDONLY), !writing);
    if (opened.handle == InvalidHandle)
        return opened;
    // Exclusivity: a second open of the same file, by us or another cooperating program,
    // fails while this handle lives. File systems without flock support still get the open.
    if (::flock(opened.handle, LOCK_EX | LOCK_NB) == -1 && errno == EWOULDBLOCK) {
        ::close(opened.handle);
        return {InvalidHandle, EWOULDBLOCK};
    }
    return opened;
}

OpenResult PosixFileSystem::openFile(const QString& path, FileAccess access)
{
    int flags = O_RDONLY;
    if (access == FileAccess::Append)
        flags = O_WRONLY | O_APPEND;
    else if (access == FileAccess::CreateNew)
        flags = O_WRONLY | O_CREAT | O_EXCL;
    OpenResult opened = openName(path, flags, access != FileAccess::CreateNew);
    if (opened.error == ELOOP)
        opened.error = NotARegularFile;
    return opened;
}

TransferResult PosixFileSystem::write(FileHandle handle, const std::byte* data, std::size_t count)
{
    ssize_t written;
    do {
        written = ::write(handle, data, count);
    } while (written == -1 && errno == EINTR);
    return outcome(written, count);
}

TransferResult PosixFileSystem::read(FileHandle handle, std::byte* data, std::size_t count)
{
    ssize_t got;
    do {
        got = ::read(handle, data, count);
    } while (got == -1 && errno == EINTR);
    return outcome(got, count);
}

TransferResult PosixFileSystem::writeAt(FileHandle handle, const std::byte* data, std::size_t count,
                                        std::uint64_t offset)
{
    ssize_t written;
    do {
        written = ::pwrite(handle, data, count, static_cast<off_t>(offset));
    } while (written == -1 && errno == EINTR);
    return outcome(written, count);
}

TransferResult PosixFileSystem::readAt(FileHandle handle, std::byte* data, std::size_t count,
                                       std::uint64_t offset)
{
    ssize_t got;
    do {
        got = ::pread(handle, data, count, static_cast<off_t>(offset));
    } while (got == -1 && errno == EINTR);
    return outcome(got, count);
}

std::optional<std::uint64_t> PosixFileSystem::fileSize(FileHandle handle)
{
    struct stat info {};
    if (::fstat(handle, &info) != 0 || info.st_size < 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

int PosixFileSystem::flush(FileHandle handle)
{
    if (handle < 0)
        return EBADF;
    return ::fdatasync(handle) == 0 ? 0 : errno;
}

bool PosixFileSystem::close(FileHandle handle)
{
    if (handle < 0)
        return false;
    // Linux releases the descriptor even when close reports EINTR; never retry it.
    return ::close(handle) == 0 || errno == EINTR;
}

std::optional<FileIdentity> PosixFileSystem::identity(FileHandle handle)
{
    struct stat info {};
    if (::fstat(handle, &info) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                        static_cast<std::uint64_t>(info.st_ino),
                        static_cast<std::uint64_t>(info.st_nlink)};
}

int PosixFileSystem::setWritable(FileHandle handle, bool writable)
{
    struct stat info {};
    if (::fstat(handle, &info) != 0)
        return errno;
    const mode_t mode =
        writable ? (info.st_mode | S_IWUSR) : (info.st_mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH));
    return ::fchmod(handle, mode & 07777) == 0 ? 0 : errno;
}

PathStatus PosixFileSystem::pathStatus(const QString& path)
{
    struct stat info {};
    if (::lstat(native(path).constData(), &info) == 0)
        return {true, 0, kindOf(info.st_mode)};
    return {false, errno == ENOENT ? 0 : errno, EntryKind::None};
}

DirectoryStatus PosixFileSystem::directoryStatus(const QString& path)
{
    struct stat info {};
    if (::stat(native(path).constData(), &info) != 0)
        return {false, false, 0, errno};
    return {true, S_ISDIR(info.st_mode), static_cast<std::uint64_t>(info.st_dev), 0};
}

int PosixFileSystem::remove(const QString& path)
{
    return ::unlink(native(path).constData()) == 0 ? 0 : errno;
}

bool PosixFileSystem::isLockedByAnother(const QString& path)
{
    const OpenResult opened = openName(path, O_RDONLY, true);
    if (opened.handle == InvalidHandle)
        return false;
    // A shared lock is refused only while someone holds the exclusive one a test file's open
    // takes; closing the probe drops it again at once.
    const bool held = ::flock(opened.handle, LOCK_SH | LOCK_NB) == -1 && errno == EWOULDBLOCK;
    ::close(opened.handle);
    return held;
}

OpenResult PosixFileSystem::lockFolder(const QString& path)
{
    // The folder itself may be reached through a link (a mount point's alias): it is ours to
    // test, unlike whatever sits at one of our file names.
    const int fd = ::open(native(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd == -1)
        return {InvalidHandle, errno};
    if (::flock(fd, LOCK_EX | LOCK_NB) == -1 && errno == EWOULDBLOCK) {
        ::close(fd);
        return {InvalidHandle, EWOULDBLOCK};
    }
    return {fd, 0};
}

std::optional<DiskSpace> PosixFileSystem::diskSpace(const QString& path)
{
    struct statvfs info {};
    if (path.isEmpty() || ::statvfs(native(path).constData(), &info) != 0)
        return std::nullopt;
    const std::uint64_t unit = info.f_frsize ? info.f_frsize : info.f_bsize;
    return DiskSpace{info.f_bavail * unit, info.f_blocks * unit, info.f_bfree * unit};
}

std::uint32_t PosixFileSystem::directIoAlignment(const QString& path)
{
    struct statx info {};
    if (::statx(AT_FDCWD, native(path).constData(), 0, STATX_DIOALIGN, &info) != 0)
        return 0;
    if ((info.stx_mask & STATX_DIOALIGN) && info.stx_dio_offset_align != 0)
        return info.stx_dio_offset_align;
    return logicalBlockSize(info.stx_dev_major, info.stx_dev_minor);
}

std::uint32_t PosixFileSystem::logicalBlockSize(unsigned major, unsigned minor) const
{
    const QString device =
        QStringLiteral("%1/dev/block/%2:%3").arg(m_sysfsRoot).arg(major).arg(minor);
    // A partition has no queue of its own; its whole disk is one level up.
    for (const QString& queue : {device + QStringLiteral("/queue/logical_block_size"),
                                 device + QStringLiteral("/../queue/logical_block_size")}) {
        QFile file(queue);
        if (file.open(QIODevice::ReadOnly)) {
            bool ok = false;
            const auto size = file.readAll().trimmed().toUInt(&ok);
            if (ok && size > 0)
                return size;
        }
    }
    return 0;
}

int PosixFileSystem::checkWritable(const QString& folder)
{
    return ::access(native(folder).constData(), W_OK) == 0 ? 0 : errno;
}

int PosixFileSystem::makeFolders(const QString& folder)
{
    QByteArray path = native(folder);
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    if (path.isEmpty())
        return ENOENT;
    if (::mkdir(path.constData(), 0777) == 0)
        return 0;
    if (errno == ENOENT) {
        const qsizetype slash = path.lastIndexOf('/');
        if (slash <= 0)
            return ENOENT;
        if (const int parent = makeFolders(QFile::decodeName(path.left(slash))))
            return parent;
        if (::mkdir(path.constData(), 0777) == 0)
            return 0;
    }
    const int error = errno;
    struct stat info {};
    if (error == EEXIST && ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode))
        return 0;
    return error == EEXIST ? ENOTDIR : error;
}

QString PosixFileSystem::errorText(int error)
{
    if (error == NotARegularFile)
        return QStringLiteral("keine gewöhnliche Datei (ein Link, Ordner, FIFO oder Gerät)");
    if (error == ShortTransfer)
        return QStringLiteral("nur ein Teil der Daten wurde übertragen");
    return QString::fromLocal8Bit(::strerror(error));
}

} // namespace kardelo
