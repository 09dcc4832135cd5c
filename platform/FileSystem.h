#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace kardelo {

// A file descriptor; -1 is the invalid handle that a failed open returns.
using FileHandle = int;
inline constexpr FileHandle InvalidHandle = -1;

enum class OpenMode {
    CreateForWrite, // create, or truncate an existing file
    ExistingForRead,
};

struct OpenResult {
    FileHandle handle = InvalidHandle;
    int error = 0; // errno when the open failed
};

struct TransferResult {
    bool ok = false;
    int error = 0; // errno when the transfer failed (EIO for a short transfer)
};

struct DiskSpace {
    std::uint64_t availableToCaller = 0;
    std::uint64_t totalBytes = 0;
    std::uint64_t totalFree = 0;
};

// What lstat tells about a name, without following a link at it.
struct PathStatus {
    bool exists = false;
    int error = 0; // errno when the look-up failed for another reason than a missing name
};

struct DirectoryStatus {
    bool reachable = false;
    bool isDirectory = false;
    std::uint64_t device = 0;
    int error = 0;
};

// Every operating-system call the file side of the program makes. The real implementation is
// PosixFileSystem; tests derive from it to inject faults into single calls.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Exclusive open with the page cache bypassed; never follows a link at the name.
    virtual OpenResult openDirect(const QString& path, OpenMode mode) = 0;
    virtual TransferResult write(FileHandle handle, const std::byte* data, std::size_t count) = 0;
    virtual TransferResult read(FileHandle handle, std::byte* data, std::size_t count) = 0;
    virtual void flush(FileHandle handle) = 0;
    virtual bool close(FileHandle handle) = 0;

    virtual PathStatus pathStatus(const QString& path) = 0;
    virtual DirectoryStatus directoryStatus(const QString& path) = 0;
    // 0 on success, else errno. Removes a link itself, never its target.
    virtual int remove(const QString& path) = 0;
    virtual std::optional<DiskSpace> diskSpace(const QString& path) = 0;
    // The transfer size and offset multiple that cache-bypassing I/O needs on the volume
    // holding path; 0 when it cannot be told.
    virtual std::uint32_t directIoAlignment(const QString& path) = 0;
    // The system's text for an errno value, in the user's language where the system has it.
    virtual QString errorText(int error) = 0;
};

} // namespace kardelo
