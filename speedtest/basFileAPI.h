#pragma once

#include "FileSystem.h"

#include <cstddef>
#include <cstdint>

// The five routines through which both speed tests create, write, read and close their test
// files, always with the page cache bypassed. They show nothing and raise nothing; the callers
// decide what a failure means. LastError() tells the errno of the last failure, as the
// tests need it for their messages. Opening for writing always creates the file: whatever sat
// at the name must have been removed before.
namespace kardelo::basFileAPI {

FileHandle OpenForWrite(FileSystem& fileSystem, const QString& fileName);
FileHandle OpenForRead(FileSystem& fileSystem, const QString& fileName);
// Moves byteCount bytes from the start of buffer in one call.
bool WriteBlock(FileSystem& fileSystem, FileHandle handle, const std::byte* buffer,
                std::int32_t byteCount);
bool ReadBlock(FileSystem& fileSystem, FileHandle handle, std::byte* buffer,
               std::int32_t byteCount);
// Flushes (outcome disregarded) and closes; false when the handle was not open.
bool FlushAndClose(FileSystem& fileSystem, FileHandle handle);

int LastError();
// Bytes the last transfer moved, also when it failed part-way.
std::size_t LastMoved();

} // namespace kardelo::basFileAPI
