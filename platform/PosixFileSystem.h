#pragma once

#include "FileSystem.h"

namespace kardelo {

class PosixFileSystem : public FileSystem {
public:
    // sysfsRoot lets tests point the block-device look-up at a fixture tree.
    explicit PosixFileSystem(QString sysfsRoot = QStringLiteral("/sys"));

    OpenResult openDirect(const QString& path, OpenMode mode) override;
    OpenResult openFile(const QString& path, FileAccess access) override;
    TransferResult write(FileHandle handle, const std::byte* data, std::size_t count) override;
    TransferResult read(FileHandle handle, std::byte* data, std::size_t count) override;
    TransferResult writeAt(FileHandle handle, const std::byte* data, std::size_t count,
                           std::uint64_t offset) override;
    TransferResult readAt(FileHandle handle, std::byte* data, std::size_t count,
                          std::uint64_t offset) override;
    std::optional<std::uint64_t> fileSize(FileHandle handle) override;
    int flush(FileHandle handle) override;
    bool close(FileHandle handle) override;
    std::optional<FileIdentity> identity(FileHandle handle) override;
    int setWritable(FileHandle handle, bool writable) override;

    PathStatus pathStatus(const QString& path) override;
    DirectoryStatus directoryStatus(const QString& path) override;
    int remove(const QString& path) override;
    bool isLockedByAnother(const QString& path) override;
    OpenResult lockFolder(const QString& path) override;
    int checkWritable(const QString& folder) override;
    int makeFolders(const QString& folder) override;
    std::optional<DiskSpace> diskSpace(const QString& path) override;
    std::uint32_t directIoAlignment(const QString& path) override;
    QString errorText(int error) override;

    // The program's one real file system.
    static PosixFileSystem& instance();

private:
    std::uint32_t logicalBlockSize(unsigned major, unsigned minor) const;

    QString m_sysfsRoot;
};

} // namespace kardelo
