#pragma once

#include "DriveRoot.h"
#include "FileSystem.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

// The check's files on the medium: their names, clearing the names before a check, finding the
// files a kept check left, and the file being written.
namespace kardelo::capacity {

// "$_cap0001.$$$" for 1.
QString checkFileName(std::uint32_t number);

struct CheckFile {
    std::uint32_t number = 0;
    QString path;
    std::uint64_t bytes = 0; // whole units written, or found on the medium
};

// Removes what earlier checks left at the check's names (kept files, a killed run's), which
// would take the room this check is to measure. The message to refuse with when something
// at a name must stay (a folder, another run's file). Raises the drive-access error.
std::optional<QString> clearEarlierFiles(FileSystem& fileSystem, const DriveRoot& drive);

struct KeptFiles {
    std::vector<CheckFile> files;
    std::optional<std::uint64_t> run; // the run most of the sampled units name
    QStringList notes;                // worth telling, no reason to stop
    std::optional<QString> refusal;   // why the files cannot be checked
};

// The files a kept check left, from "$_cap0001.$$$" on until a name is free. The run number
// comes from a sample of units: the first sampleBytes of the first file and the first unit of
// every other one. Raises the drive-access error.
KeptFiles findKeptFiles(FileSystem& fileSystem, const DriveRoot& drive, std::size_t sampleBytes);

// A file being written: flushed and closed when done with, only closed on the way out of an
// error.
class OpenFile {
public:
    explicit OpenFile(FileSystem& fileSystem) : m_fs(fileSystem) {}
    ~OpenFile();
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    void take(std::uint32_t number, FileHandle handle);
    void finish();
    std::uint32_t number() const noexcept { return m_number; }
    FileHandle handle() const noexcept { return m_handle; }

private:
    FileSystem& m_fs;
    std::uint32_t m_number = 0;
    FileHandle m_handle = InvalidHandle;
};

} // namespace kardelo::capacity
