#pragma once

#include "Clock.h"
#include "FaultyFileSystem.h"

#include <QHash>
#include <QString>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

namespace kardelo::testing {

// A clock that moves only when told: a medium model advances it by the time its transfers
// take, so throughput figures come out exactly.
class ManualClock : public Clock {
public:
    std::optional<std::int64_t> frequency() override { return 1'000'000'000; }
    std::int64_t counter() override { return m_now; }
    void advance(double seconds) { m_now += static_cast<std::int64_t>(seconds * 1e9 + 0.5); }

private:
    std::int64_t m_now = 0;
};

// A medium with the faults of cheap and counterfeit flash, behind real files in a folder.
// Positions are those of the check: the medium's files one after another, in the order they
// were created (or, for files it did not see created, first opened). Writes land in the real
// files unchanged; the model decides how much fits and what reads give back.
class MediumModel : public FaultyFileSystem {
public:
    static constexpr std::uint64_t Unlimited = std::numeric_limits<std::uint64_t>::max();

    std::uint64_t capacity = Unlimited; // beyond it writes fail with fullError (or fall short)
    int fullError = ENOSPC;
    std::uint64_t maxFileSize = Unlimited; // files end here: writes beyond fail with EFBIG
    // Counterfeit flash of this size: every position reads what was last written at the same
    // position modulo the size.
    std::optional<std::uint64_t> wrapBeyond;
    std::optional<std::uint64_t> zerosBeyond;    // reads from here on give zeros
    std::optional<std::uint64_t> flippedByte;    // its lowest bit reads inverted
    std::optional<std::uint64_t> unreadableFrom; // reads touching [from, to) fail with EIO
    std::uint64_t unreadableTo = 0;
    bool everythingFails = false; // every transfer fails with EIO; names still answer
    // Transfer times on the clock, in bytes per second at a position.
    ManualClock* clock = nullptr;
    std::function<double(std::uint64_t position)> writeSpeed = [](std::uint64_t) { return 20e6; };
    std::function<double(std::uint64_t position)> readSpeed = [](std::uint64_t) { return 40e6; };
    // Runs before every positioned transfer with its direction and position.
    std::function<void(bool writing, std::uint64_t position)> beforeTransferAt;

    int failedReads = 0;

    OpenResult openDirect(const QString& path, OpenMode mode) override;
    bool close(FileHandle handle) override;
    int remove(const QString& path) override;
    TransferResult writeAt(FileHandle handle, const std::byte* data, std::size_t count,
                           std::uint64_t offset) override;
    TransferResult readAt(FileHandle handle, std::byte* data, std::size_t count,
                          std::uint64_t offset) override;
    std::optional<DiskSpace> diskSpace(const QString& path) override;

    std::uint64_t storedBytes() const;

private:
    struct File {
        QString path;
        std::uint64_t size = 0;
    };
    std::uint64_t baseOf(std::size_t file) const;
    // The data last written where position lies on wrapping flash.
    void readLatest(std::uint64_t position, std::byte* data, std::size_t count) const;

    std::vector<File> m_files;
    QHash<FileHandle, std::size_t> m_open;
};

} // namespace kardelo::testing
