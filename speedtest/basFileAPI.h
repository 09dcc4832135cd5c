#pragma once

#include "FileSystem.h"

#include <cstddef>
#include <cstdint>

// The five routines through which both speed tests create, write, read and close their test
// files, always with the page cache bypassed. They show nothing and raise nothing; the callers
// decide what a failure means. An open's handle is InvalidHandle when it failed, a transfer's
// ok flag is its success; both carry the errno the callers name in their messages. Opening
// for writing always creates the file: whatever sat at the name must have been removed before.
namespace kardelo::basFileAPI {

OpenResult OpenForWrite(FileSystem& fileSystem, const QString& fileName);
OpenResult OpenForRead(FileSystem& fileSystem, const QString& fileName);
// Moves byteCount bytes from the start of buffer in one call; moved counts the bytes that
// did move, also when the transfer failed part-way.
TransferResult WriteBlock(FileSystem& fileSystem, FileHandle handle, const std::byte* buffer,
                          std::int32_t byteCount);
TransferResult ReadBlock(FileSystem& fileSystem, FileHandle handle, std::byte* buffer,
                         std::int32_t byteCount);
// Flushes (outcome disregarded) and closes; false when the handle was not open.
bool FlushAndClose(FileSystem& fileSystem, FileHandle handle);

} // namespace kardelo::basFileAPI
