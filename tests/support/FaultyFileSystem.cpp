#include "FaultyFileSystem.h"

#include <QFileInfo>
#include <cerrno>

namespace kardelo::testing {

OpenResult FaultyFileSystem::openDirect(const QString& path, OpenMode mode)
{
    const bool writing = mode == OpenMode::CreateForWrite;
    events << (writing ? QStringLiteral("open-write ") : QStringLiteral("open-read ")) +
                  QFileInfo(path).fileName();
    if (writing && ++openWriteCalls >= openWriteErrorFrom && openWriteError)
        return {InvalidHandle, openWriteError};
    if (!writing && openReadError)
        return {InvalidHandle, openReadError};
    if (driveGone)
        return {InvalidHandle, ENOTCONN};
    return PosixFileSystem::openDirect(path, mode);
}

OpenResult FaultyFileSystem::openFile(const QString& path, FileAccess access)
{
    if (beforeOpenFile)
        beforeOpenFile(path, access);
    if (openFileError)
        return {InvalidHandle, openFileError};
    return PosixFileSystem::openFile(path, access);
}

int FaultyFileSystem::setWritable(FileHandle handle, bool writable)
{
    return setWritableError ? setWritableError : PosixFileSystem::setWritable(handle, writable);
}

TransferResult FaultyFileSystem::write(FileHandle handle, const std::byte* data, std::size_t count)
{
    ++writeCalls;
    if (beforeTransfer)
        beforeTransfer(writeCalls, true);
    if (failWriteAt == writeCalls && writeError)
        return {false, writeError};
    if (shortWriteAt == writeCalls) {
        const TransferResult half = PosixFileSystem::write(handle, data, count / 2);
        return {false, ShortTransfer, half.moved};
    }
    if (driveGone)
        return {false, ENOTCONN};
    for (std::size_t i = 0; i < count; ++i)
        zeroBytesWritten += data[i] == std::byte{0};
    writeSizes << static_cast<std::int64_t>(count);
    return PosixFileSystem::write(handle, data, count);
}

TransferResult FaultyFileSystem::read(FileHandle handle, std::byte* data, std::size_t count)
{
    ++readCalls;
    if (beforeTransfer)
        beforeTransfer(readCalls, false);
    if (failReadAt == readCalls && readError)
        return {false, readError};
    if (driveGone)
        return {false, ENOTCONN};
    return PosixFileSystem::read(handle, data, count);
}

PathStatus FaultyFileSystem::pathStatus(const QString& path)
{
    if (driveGone)
        return {false, ENOTCONN};
    return PosixFileSystem::pathStatus(path);
}

DirectoryStatus FaultyFileSystem::directoryStatus(const QString& path)
{
    if (driveGone)
        return {false, false, 0, ENOTCONN};
    DirectoryStatus status = PosixFileSystem::directoryStatus(path);
    if (deviceOverride && status.reachable)
        status.device = *deviceOverride;
    return status;
}

int FaultyFileSystem::remove(const QString& path)
{
    events << QStringLiteral("remove ") + QFileInfo(path).fileName();
    if (driveGone)
        return ENOTCONN;
    if (removeError)
        return removeError;
    const int error = PosixFileSystem::remove(path);
    if (error == 0)
        removed << QFileInfo(path).fileName();
    return error;
}

std::optional<DiskSpace> FaultyFileSystem::diskSpace(const QString& path)
{
    if (driveGone)
        return std::nullopt;
    if (space)
        return space;
    return PosixFileSystem::diskSpace(path);
}

std::uint32_t FaultyFileSystem::directIoAlignment(const QString& path)
{
    return alignment ? alignment : PosixFileSystem::directIoAlignment(path);
}

} // namespace kardelo::testing
