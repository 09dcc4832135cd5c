#include "basFileAPI.h"

#include <cerrno>

namespace kardelo::basFileAPI {

OpenResult OpenForWrite(FileSystem& fileSystem, const QString& fileName)
{
    return fileSystem.openDirect(fileName, OpenMode::CreateForWrite);
}

OpenResult OpenForRead(FileSystem& fileSystem, const QString& fileName)
{
    return fileSystem.openDirect(fileName, OpenMode::ExistingForRead);
}

TransferResult WriteBlock(FileSystem& fileSystem, FileHandle handle, const std::byte* buffer,
                          std::int32_t byteCount)
{
    if (handle < 0 || byteCount < 0)
        return {false, EBADF};
    return fileSystem.write(handle, buffer, static_cast<std::size_t>(byteCount));
}

TransferResult ReadBlock(FileSystem& fileSystem, FileHandle handle, std::byte* buffer,
                         std::int32_t byteCount)
{
    if (handle < 0 || byteCount < 0)
        return {false, EBADF};
    return fileSystem.read(handle, buffer, static_cast<std::size_t>(byteCount));
}

bool FlushAndClose(FileSystem& fileSystem, FileHandle handle)
{
    if (handle < 0)
        return false;
    fileSystem.flush(handle);
    return fileSystem.close(handle);
}

} // namespace kardelo::basFileAPI
