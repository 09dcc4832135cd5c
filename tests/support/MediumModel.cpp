#include "MediumModel.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kardelo::testing {

OpenResult MediumModel::openDirect(const QString& path, OpenMode mode)
{
    const OpenResult opened = FaultyFileSystem::openDirect(path, mode);
    if (opened.handle == InvalidHandle)
        return opened;
    const auto known = std::find_if(m_files.begin(), m_files.end(),
                                    [&](const File& file) { return file.path == path; });
    if (mode == OpenMode::CreateForWrite && known != m_files.end())
        m_files.erase(known);
    std::size_t index = static_cast<std::size_t>(known - m_files.begin());
    if (mode == OpenMode::CreateForWrite || known == m_files.end()) {
        m_files.push_back({path, static_cast<std::uint64_t>(QFileInfo(path).size())});
        index = m_files.size() - 1;
    }
    m_open.insert(opened.handle, index);
    return opened;
}

int MediumModel::remove(const QString& path)
{
    const int error = FaultyFileSystem::remove(path);
    if (error == 0)
        std::erase_if(m_files, [&](const File& file) { return file.path == path; });
    return error;
}

bool MediumModel::close(FileHandle handle)
{
    m_open.remove(handle);
    return FaultyFileSystem::close(handle);
}

std::uint64_t MediumModel::baseOf(std::size_t file) const
{
    std::uint64_t base = 0;
    for (std::size_t i = 0; i < file; ++i)
        base += m_files[i].size;
    return base;
}

std::uint64_t MediumModel::storedBytes() const
{
    return baseOf(m_files.size());
}

std::optional<DiskSpace> MediumModel::diskSpace(const QString& path)
{
    if (space || driveGone || capacity == Unlimited)
        return FaultyFileSystem::diskSpace(path);
    const std::uint64_t free = capacity - std::min(capacity, storedBytes());
    return DiskSpace{free, capacity, free};
}

TransferResult MediumModel::writeAt(FileHandle handle, const std::byte* data, std::size_t count,
                                    std::uint64_t offset)
{
    File& file = m_files.at(m_open.value(handle));
    if (beforeTransferAt)
        beforeTransferAt(true, baseOf(m_open.value(handle)) + offset);
    if (driveGone)
        return {false, ENOTCONN, 0};
    if (everythingFails)
        return {false, EIO, 0};
    if (offset >= maxFileSize)
        return {false, EFBIG, 0};
    const std::uint64_t growth = offset + count > file.size ? offset + count - file.size : 0;
    const std::uint64_t room = capacity - std::min(capacity, storedBytes());
    std::size_t allowed =
        static_cast<std::size_t>(std::min<std::uint64_t>(count, maxFileSize - offset));
    if (growth > room)
        allowed = static_cast<std::size_t>(std::min<std::uint64_t>(
            allowed, file.size + room > offset ? file.size + room - offset : 0));
    if (allowed == 0)
        return {false, fullError, 0};
    // Cache-bypassing writes move whole sectors; the part of a unit that fits is only claimed.
    const std::size_t whole = allowed == count ? count : allowed / 4096 * 4096;
    const TransferResult written =
        whole > 0 ? PosixFileSystem::writeAt(handle, data, whole, offset) : TransferResult{true};
    if (!written.ok)
        return written;
    file.size = std::max(file.size, offset + allowed);
    if (clock)
        clock->advance(static_cast<double>(allowed) /
                       writeSpeed(baseOf(m_open.value(handle)) + offset));
    if (allowed < count)
        return {false, ShortTransfer, allowed};
    return written;
}

void MediumModel::readLatest(std::uint64_t position, std::byte* data, std::size_t count) const
{
    const std::uint64_t flash = *wrapBeyond;
    const std::uint64_t stored = storedBytes();
    for (std::size_t done = 0; done < count;) {
        const std::uint64_t at = position + done;
        // The last position written that shares its place on the flash.
        const std::uint64_t latest = at + (stored - 1 - at) / flash * flash;
        std::size_t file = 0;
        while (baseOf(file + 1) <= latest)
            ++file;
        const std::uint64_t within = latest - baseOf(file);
        const std::size_t piece = static_cast<std::size_t>(
            std::min<std::uint64_t>(count - done, m_files[file].size - within));
        const int fd = ::open(QFile::encodeName(m_files[file].path).constData(), O_RDONLY);
        if (fd >= 0) {
            if (::pread(fd, data + done, piece, static_cast<off_t>(within)) !=
                static_cast<ssize_t>(piece))
                std::memset(data + done, 0xA5, piece);
            ::close(fd);
        }
        done += piece;
    }
}

TransferResult MediumModel::readAt(FileHandle handle, std::byte* data, std::size_t count,
                                   std::uint64_t offset)
{
    const std::uint64_t position = baseOf(m_open.value(handle)) + offset;
    if (beforeTransferAt)
        beforeTransferAt(false, position);
    if (driveGone)
        return {false, ENOTCONN, 0};
    if (everythingFails ||
        (unreadableFrom && position < unreadableTo && position + count > *unreadableFrom)) {
        ++failedReads;
        return {false, EIO, 0};
    }
    const TransferResult got = PosixFileSystem::readAt(handle, data, count, offset);
    const std::size_t moved = got.moved;
    if (wrapBeyond)
        readLatest(position, data, moved);
    if (zerosBeyond)
        for (std::size_t i = 0; i < moved; ++i)
            if (position + i >= *zerosBeyond)
                data[i] = std::byte{0};
    if (flippedByte && *flippedByte >= position && *flippedByte < position + moved)
        data[*flippedByte - position] ^= std::byte{1};
    if (clock)
        clock->advance(static_cast<double>(moved) / readSpeed(position));
    return got;
}

} // namespace kardelo::testing
