#include "BlockTransfer.h"

#include "RuntimeError.h"
#include "TestRun.h"

#include <algorithm>
#include <cerrno>

namespace kardelo::capacity {

namespace {
constexpr int NarrowingFailures = 32;
constexpr double NarrowingSeconds = 2.0;
} // namespace

bool meansFull(int error)
{
    return error == ENOSPC || error == EDQUOT || error == EPERM;
}

void driveGone()
{
    throw RuntimeError(ErrorCode::BadFileNameOrNumber);
}

std::optional<Stretch> BlockPlan::next()
{
    if (m_global >= m_limit)
        return std::nullopt;
    if (m_fileOffset >= m_maxFile) {
        ++m_file;
        m_fileOffset = 0;
    }
    const std::uint64_t size =
        std::min({std::uint64_t{m_block}, m_maxFile - m_fileOffset, m_limit - m_global});
    const Stretch stretch{0, static_cast<std::size_t>(size), m_file, m_fileOffset, m_global};
    m_fileOffset += size;
    m_global += size;
    return stretch;
}

void BlockPlan::continueInFile(std::uint32_t file, std::uint64_t global)
{
    m_file = file;
    m_fileOffset = 0;
    m_global = global;
}

BlockWritten writeBlock(FileSystem& fileSystem, const DriveRoot& drive, FileHandle handle,
                        const std::byte* data, const Stretch& block)
{
    BlockWritten result;
    std::size_t piece = block.length;
    while (result.landed < block.length) {
        const auto done = static_cast<std::size_t>(result.landed);
        piece = std::min(piece, block.length - done);
        const TransferResult moved =
            fileSystem.writeAt(handle, data + done, piece, block.fileOffset + done);
        if (moved.ok) {
            result.landed += piece;
            continue;
        }
        // Only whole units count: a partial one cannot be checked, and the next call writes it
        // again from its start.
        const std::uint64_t landed = wholeUnits(moved.moved);
        result.landed += landed;
        if (moved.error == ShortTransfer && landed > 0)
            continue; // the next call tells why the medium stopped
        if (moved.error == ShortTransfer || meansFull(moved.error)) {
            if (piece <= UnitSize) {
                result.end = WriteEnd::Full;
                return result;
            }
            piece = std::max<std::size_t>(UnitSize, piece / 2 / UnitSize * UnitSize);
            continue;
        }
        if (meansDriveGone(moved.error) || !drive.isReachable())
            driveGone();
        result.end = moved.error == EFBIG ? WriteEnd::FileFull : WriteEnd::Failed;
        result.error = moved.error;
        result.attempted = piece;
        result.moved = moved.moved;
        return result;
    }
    return result;
}

BlockReader::BlockReader(FileSystem& fileSystem, const DriveRoot& drive, Clock& clock)
    : m_fs(fileSystem), m_drive(drive), m_clock(clock)
{
    m_frequency = m_clock.frequency().value_or(0);
}

std::vector<Stretch> BlockReader::read(FileHandle handle, std::byte* buffer, const Stretch& block)
{
    m_handle = handle;
    m_buffer = buffer;
    m_block = block;
    m_stretches.clear();
    m_failures = 0;
    readRange(0, block.length);
    return std::move(m_stretches);
}

bool BlockReader::budgetLeft() const
{
    const double seconds = m_frequency > 0
                               ? static_cast<double>(m_clock.counter() - m_firstFailure) /
                                     static_cast<double>(m_frequency)
                               : 0.0;
    return m_failures < NarrowingFailures && seconds < NarrowingSeconds;
}

void BlockReader::readRange(std::size_t at, std::size_t bytes)
{
    const auto add = [&](std::size_t from, std::size_t length, bool delivered) {
        if (length > 0)
            m_stretches.push_back({from, length, m_block.fileNumber, m_block.fileOffset + from,
                                   m_block.globalPosition + from, delivered});
    };
    const TransferResult got = m_fs.readAt(m_handle, m_buffer + at, bytes, m_block.fileOffset + at);
    if (got.ok) {
        add(at, bytes, true);
        return;
    }
    const auto landed = static_cast<std::size_t>(wholeUnits(got.moved));
    if (landed > 0) {
        add(at, landed, true);
        readRange(at + landed, bytes - landed);
        return;
    }
    if (got.error == ShortTransfer) { // the file ends before the data does
        add(at, bytes, false);
        return;
    }
    if (meansDriveGone(got.error) || !m_drive.isReachable())
        driveGone();
    if (m_failures++ == 0)
        m_firstFailure = m_clock.counter();
    if (bytes <= UnitSize || !budgetLeft()) {
        add(at, bytes, false);
        return;
    }
    const std::size_t half = bytes / 2 / UnitSize * UnitSize;
    readRange(at, half);
    readRange(at + half, bytes - half);
}

} // namespace kardelo::capacity
