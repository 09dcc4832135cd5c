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

int retryOnInterrupt(auto call)
{
    int result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
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
    const QByteArray name = native(path);
    // No O_TRUNC here: the file is truncated only once we hold the lock, so a file that
    // another run still has open is never cut short under it.
    const int flags = O_DIRECT | O_NOFOLLOW | O_CLOEXEC |
                      (mode == OpenMode::CreateForWrite ? O_WRONLY | O_CREAT : O_RDONLY);
    const int fd = retryOnInterrupt([&] { return ::open(name.constData(), flags, 0666); });
    if (fd == -1)
        return {InvalidHandle, errno};

    // Exclusivity: a second open of the same file, by us or another cooperating program,
    // fails while this handle lives. File systems without flock support still get the open.
    if (retryOnInterrupt([&] { return ::flock(fd, LOCK_EX | LOCK_NB); }) == -1 &&
        errno == EWOULDBLOCK) {
        const int error = errno;
        ::close(fd);
        return {InvalidHandle, error};
    }
    if (mode == OpenMode::CreateForWrite &&
        retryOnInterrupt([&] { return ::ftruncate(fd, 0); }) == -1) {
        const int error = errno;
        ::close(fd);
        return {InvalidHandle, error};
    }
    return {fd, 0};
}

TransferResult PosixFileSystem::write(FileHandle handle, const std::byte* data, std::size_t count)
{
    ssize_t written;
    do {
        written = ::write(handle, data, count);
    } while (written == -1 && errno == EINTR);
    if (written == -1)
        return {false, errno};
    // A short direct write means the medium ran out of room part-way.
    if (static_cast<std::size_t>(written) != count)
        return {false, ENOSPC};
    return {true, 0};
}

TransferResult PosixFileSystem::read(FileHandle handle, std::byte* data, std::size_t count)
{
    ssize_t got;
    do {
        got = ::read(handle, data, count);
    } while (got == -1 && errno == EINTR);
    if (got == -1)
        return {false, errno};
    if (static_cast<std::size_t>(got) != count)
        return {false, EIO};
    return {true, 0};
}

void PosixFileSystem::flush(FileHandle handle)
{
    if (handle >= 0)
        ::fdatasync(handle);
}

bool PosixFileSystem::close(FileHandle handle)
{
    if (handle < 0)
        return false;
    // Linux releases the descriptor even when close reports EINTR; never retry it.
    return ::close(handle) == 0 || errno == EINTR;
}

PathStatus PosixFileSystem::pathStatus(const QString& path)
{
    struct stat info {};
    if (::lstat(native(path).constData(), &info) == 0)
        return {true, 0};
    return {false, errno == ENOENT ? 0 : errno};
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

QString PosixFileSystem::errorText(int error)
{
    return QString::fromLocal8Bit(::strerror(error));
}

} // namespace kardelo
