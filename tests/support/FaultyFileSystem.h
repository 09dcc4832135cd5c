#pragma once

#include "PosixFileSystem.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

namespace kardelo::testing {

// The real file system with switches to make single calls fail the way real media fail.
class FaultyFileSystem : public PosixFileSystem {
public:
    int openWriteError = 0;     // errno for every open for writing
    int openWriteErrorFrom = 1; // ... starting with this open (1-based)
    int openReadError = 0;
    int writeError = 0; // errno for the write transfer number failWriteAt (1-based)
    int failWriteAt = 0;
    int shortWriteAt = 0; // this write moves half its bytes, as a medium pulled out part-way
    int readError = 0;
    int failReadAt = 0;
    int removeError = 0;      // errno for every removal
    int openFileError = 0;    // errno for every plain open (log, screenshot)
    int setWritableError = 0; // errno for every change of the write bits
    // Runs before every plain open: tests swap what sits at the name from here.
    std::function<void(const QString& path, FileAccess access)> beforeOpenFile;
    bool driveGone = false;                      // root unreachable, every look-up answers ENOTCONN
    std::optional<std::uint64_t> deviceOverride; // a different file system at the root
    std::optional<DiskSpace> space;              // reported instead of the real figures
    std::uint32_t alignment = 0;                 // reported direct-I/O alignment when set
    // Runs before every transfer with its number (1-based) and direction.
    std::function<void(int transfer, bool writing)> beforeTransfer;

    int writeCalls = 0;
    int readCalls = 0;
    int openWriteCalls = 0;
    QStringList removed;
    QStringList events; // "open-write NAME", "remove NAME", ... in order
    std::int64_t zeroBytesWritten = 0;
    QList<std::int64_t> writeSizes;

    OpenResult openDirect(const QString& path, OpenMode mode) override;
    OpenResult openFile(const QString& path, FileAccess access) override;
    int setWritable(FileHandle handle, bool writable) override;
    TransferResult write(FileHandle handle, const std::byte* data, std::size_t count) override;
    TransferResult read(FileHandle handle, std::byte* data, std::size_t count) override;
    PathStatus pathStatus(const QString& path) override;
    DirectoryStatus directoryStatus(const QString& path) override;
    int remove(const QString& path) override;
    std::optional<DiskSpace> diskSpace(const QString& path) override;
    std::uint32_t directIoAlignment(const QString& path) override;
};

} // namespace kardelo::testing
