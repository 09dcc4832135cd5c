#pragma once

#include "Clock.h"
#include "DriveRoot.h"
#include "FileSystem.h"
#include "PatternPipeline.h"
#include "UnitPattern.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// Moving the check's blocks to and from the medium.
namespace kardelo::capacity {

inline std::uint64_t wholeUnits(std::uint64_t bytes)
{
    return bytes / UnitSize * UnitSize;
}

// The medium takes no more: ENOSPC, the user's quota, or EPERM, which some FUSE file systems
// (fusefat) answer when they are full.
bool meansFull(int error);

// Raises the drive-access error.
[[noreturn]] void driveGone();

// Where the blocks of the write phase go: files of at most maxFileBytes, one after another,
// until limit bytes are planned.
class BlockPlan {
public:
    BlockPlan(std::uint64_t limit, std::uint64_t maxFileBytes, std::size_t blockBytes)
        : m_limit(limit), m_maxFile(maxFileBytes), m_block(blockBytes)
    {}

    std::optional<Stretch> next();
    // The rest goes into a new file from this position on.
    void continueInFile(std::uint32_t file, std::uint64_t global);

private:
    std::uint64_t m_limit;
    std::uint64_t m_maxFile;
    std::size_t m_block;
    std::uint32_t m_file = 1;
    std::uint64_t m_fileOffset = 0;
    std::uint64_t m_global = 0;
};

enum class WriteEnd {
    None,     // the whole block landed
    Full,     // not even one more unit fits
    FileFull, // the file system allows this file no more (EFBIG)
    Failed,   // a write error
};

struct BlockWritten {
    std::uint64_t landed = 0; // whole units
    WriteEnd end = WriteEnd::None;
    int error = 0;             // of the call that failed
    std::size_t attempted = 0; // its size
    std::size_t moved = 0;     // what it moved
};

// Writes a block at its place in an open file. A block that no longer fits goes on in smaller
// pieces down to a single unit, so that a full medium is really full. Raises the drive-access
// error when the drive is gone.
BlockWritten writeBlock(FileSystem& fileSystem, const DriveRoot& drive, FileHandle handle,
                        const std::byte* data, const Stretch& block);

// Reads blocks back. A block that fails is halved until the units that fail are found, as far
// as a budget of failed reads and time allows (a failing medium may take seconds for each);
// reading goes on behind it.
class BlockReader {
public:
    BlockReader(FileSystem& fileSystem, const DriveRoot& drive, Clock& clock);

    // The block's stretches, delivered or not, in order. Raises the drive-access error when the
    // drive is gone.
    std::vector<Stretch> read(FileHandle handle, std::byte* buffer, const Stretch& block);

private:
    void readRange(std::size_t at, std::size_t bytes);
    bool budgetLeft() const;

    FileSystem& m_fs;
    const DriveRoot& m_drive;
    Clock& m_clock;
    std::int64_t m_frequency = 0;
    // The block under way.
    FileHandle m_handle = InvalidHandle;
    std::byte* m_buffer = nullptr;
    Stretch m_block;
    std::vector<Stretch> m_stretches;
    int m_failures = 0;
    std::int64_t m_firstFailure = 0;
};

} // namespace kardelo::capacity
