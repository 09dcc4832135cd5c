#include "CheckFiles.h"

#include "AlignedBuffer.h"
#include "BlockTransfer.h"
#include "CheckMessages.h"
#include "TestFiles.h"
#include "TestMessages.h"
#include "TestRun.h"
#include "UnitPattern.h"

#include <algorithm>
#include <map>

namespace kardelo::capacity {

QString checkFileName(std::uint32_t number)
{
    return QStringLiteral("$_cap%1.$$$").arg(number, 4, 10, QLatin1Char('0'));
}

std::optional<QString> clearEarlierFiles(FileSystem& fileSystem, const DriveRoot& drive)
{
    for (std::uint32_t number = 1;; ++number) {
        const QString path = drive.filePath(checkFileName(number));
        const NameState state = clearTestFileName(fileSystem, drive, path);
        if (state == NameState::Free)
            return std::nullopt;
        if (auto blocked = blockedNameText(state, path))
            return blocked;
    }
}

KeptFiles findKeptFiles(FileSystem& fileSystem, const DriveRoot& drive, std::size_t sampleBytes)
{
    KeptFiles kept;
    std::map<std::uint64_t, std::uint64_t> runVotes;
    AlignedBuffer sample(sampleBytes);
    for (std::uint32_t number = 1;; ++number) {
        const QString path = drive.filePath(checkFileName(number));
        const EntryKind kind = drive.entryAt(path);
        if (kind == EntryKind::None)
            break;
        if (kind == EntryKind::Directory) {
            kept.refusal = kardelo::messages::folderAtTestName(path);
            return kept;
        }
        if (kind != EntryKind::RegularFile) {
            kept.notes << messages::notACheckFile(path);
            break;
        }
        if (fileSystem.isLockedByAnother(path)) {
            kept.refusal = kardelo::messages::OtherRunActive;
            return kept;
        }
        const OpenResult opened = fileSystem.openDirect(path, OpenMode::ExistingForRead);
        if (opened.handle == InvalidHandle) {
            if (meansDriveGone(opened.error))
                driveGone();
            drive.ensureReachable();
            kept.refusal = messages::cannotOpenForReading(path, fileSystem.errorText(opened.error));
            return kept;
        }
        const ScopedHandle handle(fileSystem, opened.handle);
        const std::uint64_t size = wholeUnits(fileSystem.fileSize(handle.get()).value_or(0));
        // Every unit's header names the run; a few of them outvote a damaged one.
        const auto bytes = static_cast<std::size_t>(
            std::min<std::uint64_t>(size, number == 1 ? sampleBytes : UnitSize));
        if (bytes > 0 && fileSystem.readAt(handle.get(), sample.data(), bytes, 0).ok) {
            for (std::size_t at = 0; at < bytes; at += UnitSize)
                if (const auto header = readHeader({sample.data() + at, UnitSize}))
                    ++runVotes[header->run];
        }
        kept.files.push_back({number, path, size});
    }
    if (kept.files.empty())
        kept.refusal = messages::noCheckFiles(drive.filePath(checkFileName(1)));
    else if (runVotes.empty())
        kept.notes << messages::NoRunFound;
    else
        kept.run = std::max_element(runVotes.begin(), runVotes.end(), [](auto& a, auto& b) {
                       return a.second < b.second;
                   })->first;
    return kept;
}

OpenFile::~OpenFile()
{
    if (m_handle != InvalidHandle)
        m_fs.close(m_handle);
}

void OpenFile::take(std::uint32_t number, FileHandle handle)
{
    m_number = number;
    m_handle = handle;
}

void OpenFile::finish()
{
    if (m_handle == InvalidHandle)
        return;
    m_fs.flush(m_handle);
    m_fs.close(m_handle);
    m_handle = InvalidHandle;
}

} // namespace kardelo::capacity
