#include "basFileAPI.h"

#include <cerrno>

namespace kardelo::basFileAPI {

namespace {
thread_local int lastError = 0;
thread_local std::size_t lastMoved = 0;

FileHandle open(FileSystem& fileSystem, const QString& fileName, OpenMode mode)
{
    const OpenResult result = fileSystem.openDirect(fileName, mode);
    lastError = result.error;
    return result.handle;
}

bool transferred(const TransferResult& result)
{
    lastError = result.error;
    lastMoved = result.moved;
    return result.ok;
}
} // namespace

FileHandle OpenForWrite(FileSystem& fileSystem, const QString& fileName)
{
    return open(fileSystem, fileName, OpenMode::CreateForWrite);
}

FileHandle OpenForRead(FileSystem& fileSystem, const QString& fileName)
{
    return open(fileSystem, fileName, OpenMode::ExistingForRead);
}

bool WriteBlock(FileSystem& fileSystem, FileHandle handle, const std::byte* buffer,
                std::int32_t byteCount)
{
    if (handle < 0 || byteCount < 0)
        return transferred({false, EBADF});
    return transferred(fileSystem.write(handle, buffer, static_cast<std::size_t>(byteCount)));
}

bool ReadBlock(FileSystem& fileSystem, FileHandle handle, std::byte* buffer, std::int32_t byteCount)
{
    if (handle < 0 || byteCount < 0)
        return transferred({false, EBADF});
    return transferred(fileSystem.read(handle, buffer, static_cast<std::size_t>(byteCount)));
}

bool FlushAndClose(FileSystem& fileSystem, FileHandle handle)
{
    if (handle < 0) {
        lastError = EBADF;
        return false;
    }
    fileSystem.flush(handle);
    const bool closed = fileSystem.close(handle);
    lastError = closed ? 0 : errno;
    return closed;
}

int LastError()
{
    return lastError;
}

std::size_t LastMoved()
{
    return lastMoved;
}

} // namespace kardelo::basFileAPI
