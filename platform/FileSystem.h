#pragma once

#include <QString>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <optional>

// The seam between the program and the operating system's files. Results are values: an
// errno (0 for success) where a call has nothing else to say, OpenResult and TransferResult
// for opens and transfers, std::optional where a figure may be unknown. Exceptions are kept
// for the program's run-time errors (RuntimeError); see CONTRIBUTING.md.
namespace kardelo {

// A file descriptor; -1 is the invalid handle that a failed open returns.
using FileHandle = int;
inline constexpr FileHandle InvalidHandle = -1;

// Error values of our own beside errno's (which are all positive).
inline constexpr int NotARegularFile = -2; // a link, folder, FIFO or device sits at the name
inline constexpr int ShortTransfer = -3;   // the call moved fewer bytes than it was given

enum class OpenMode {
    CreateForWrite, // a new file; fails with EEXIST when anything at all sits at the name
    ExistingForRead,
};

// Plain (cached) opens of the results log and the screenshot files.
enum class FileAccess {
    Read,      // an existing regular file
    Append,    // an existing regular file, every write at its end
    CreateNew, // a new file; fails with EEXIST when anything at all sits at the name
};

struct OpenResult {
    FileHandle handle = InvalidHandle;
    int error = 0; // errno (or one of the values above) when the open failed
};

struct TransferResult {
    bool ok = false;
    int error = 0;         // errno, or ShortTransfer
    std::size_t moved = 0; // bytes the call moved
};

struct DiskSpace {
    std::uint64_t availableToCaller = 0;
    std::uint64_t totalBytes = 0;
    std::uint64_t totalFree = 0;
};

enum class EntryKind { None, RegularFile, Directory, SymbolicLink, Other };

// What lstat tells about a name, without following a link at it.
struct PathStatus {
    bool exists = false;
    int error = 0; // errno when the look-up failed for another reason than a missing name
    EntryKind kind = EntryKind::None;
};

struct DirectoryStatus {
    bool reachable = false;
    bool isDirectory = false;
    std::uint64_t device = 0;
    int error = 0;
};

// Which file an open handle reaches, and under how many names.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t links = 0;
    bool operator==(const FileIdentity&) const = default;
};

// Every operating-system call the file side of the program makes. The real implementation is
// PosixFileSystem; tests derive from it to inject faults into single calls. No open ever
// follows a link at the name or waits for a FIFO's other end.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Exclusive open (flock) with the page cache bypassed. EWOULDBLOCK: another open holds it.
    virtual OpenResult openDirect(const QString& path, OpenMode mode) = 0;
    virtual OpenResult openFile(const QString& path, FileAccess access) = 0;
    virtual TransferResult write(FileHandle handle, const std::byte* data, std::size_t count) = 0;
    virtual TransferResult read(FileHandle handle, std::byte* data, std::size_t count) = 0;
    // The same at a given offset, leaving the file position alone: a failed block can be
    // skipped or retried in parts without losing track of where the next one goes.
    virtual TransferResult writeAt(FileHandle handle, const std::byte* data, std::size_t count,
                                   std::uint64_t offset) = 0;
    virtual TransferResult readAt(FileHandle handle, std::byte* data, std::size_t count,
                                  std::uint64_t offset) = 0;
    // The file's length in bytes, or nothing when it cannot be told.
    virtual std::optional<std::uint64_t> fileSize(FileHandle handle) = 0;
    // Makes written data durable; 0 or errno.
    virtual int flush(FileHandle handle) = 0;
    virtual bool close(FileHandle handle) = 0;
    virtual std::optional<FileIdentity> identity(FileHandle handle) = 0;
    // Sets or clears the write permission bits through the handle; 0 or errno.
    virtual int setWritable(FileHandle handle, bool writable) = 0;

    virtual PathStatus pathStatus(const QString& path) = 0;
    virtual DirectoryStatus directoryStatus(const QString& path) = 0;
    // 0 on success, else errno. Removes a link itself, never its target.
    virtual int remove(const QString& path) = 0;
    // Does another open hold the lock of the regular file at path? Never follows a link.
    virtual bool isLockedByAnother(const QString& path) = 0;
    // Takes the exclusive lock of a folder and returns the handle that holds it;
    // EWOULDBLOCK when another open holds it already.
    virtual OpenResult lockFolder(const QString& path) = 0;
    // Whether this process may create files in folder: 0 or errno.
    virtual int checkWritable(const QString& folder) = 0;
    // Creates folder and its missing parents; 0 when it is a folder afterwards, else errno.
    virtual int makeFolders(const QString& folder) = 0;

    virtual std::optional<DiskSpace> diskSpace(const QString& path) = 0;
    // The transfer size and offset multiple that cache-bypassing I/O needs on the volume
    // holding path; 0 when it cannot be told.
    virtual std::uint32_t directIoAlignment(const QString& path) = 0;
    // The system's text for an errno value, in the user's language where the system has it.
    virtual QString errorText(int error) = 0;
};

// Removes whatever sits at path but a folder: a link itself (never its target), a FIFO, a file
// (for a hard link only this name). 0 when nothing is there any more, else errno.
inline int removeUnlessFolder(FileSystem& fileSystem, const QString& path)
{
    const PathStatus status = fileSystem.pathStatus(path);
    if (!status.exists)
        return status.error;
    if (status.kind == EntryKind::Directory)
        return EISDIR;
    return fileSystem.remove(path);
}

// Closes its handle when it goes.
class ScopedHandle {
public:
    ScopedHandle(FileSystem& fileSystem, FileHandle handle) : m_fs(fileSystem), m_handle(handle) {}
    ~ScopedHandle()
    {
        if (m_handle != InvalidHandle)
            m_fs.close(m_handle);
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    FileHandle get() const noexcept { return m_handle; }

private:
    FileSystem& m_fs;
    FileHandle m_handle;
};

} // namespace kardelo
