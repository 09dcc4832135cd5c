#pragma once

#include "MountTable.h"
#include "PosixFileSystem.h"
#include "WindowMessages.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;

namespace kardelo {

inline constexpr std::int32_t DBT_DEVICEARRIVAL = 0x8000;
inline constexpr std::int32_t DBT_DEVICEREMOVECOMPLETE = 0x8004;
inline constexpr std::uint32_t DBT_DEVTYP_VOLUME = 2;
inline constexpr std::uint16_t DBTF_MEDIA = 0x0001;
inline constexpr std::uint16_t DBTF_NET = 0x0002;

// The record of a device-change message: the broadcast header (size, device type, reserved)
// followed by the volume fields, which only mean something for device type 2. The mount points
// of the volume stand where Windows has its drive-letter mask.
struct DeviceBroadcastVolume {
    std::uint32_t dbcv_size = 18;
    std::uint32_t dbcv_devicetype = DBT_DEVTYP_VOLUME;
    std::uint32_t dbcv_reserved = 0;
    std::uint32_t dbcv_unitmask = 0;
    std::uint16_t dbcv_flags = 0;
    QStringList mountPoints;
};

// A message's lParam has 32 bits, too few for an address, so a device-change message carries a
// token for its record instead. The record is published for the lifetime of this object, which
// spans the synchronous delivery of the message; 0 is never a token and stands for "no data".
class ScopedDeviceBroadcast {
public:
    explicit ScopedDeviceBroadcast(const DeviceBroadcastVolume& record);
    ~ScopedDeviceBroadcast();
    ScopedDeviceBroadcast(const ScopedDeviceBroadcast&) = delete;
    ScopedDeviceBroadcast& operator=(const ScopedDeviceBroadcast&) = delete;

    std::int32_t token() const { return m_token; }

private:
    std::int32_t m_token;
};

// The record published under the token; nothing for 0 or a token no longer published.
std::optional<DeviceBroadcastVolume> deviceBroadcastRecord(std::int32_t token);

// Watches <proc>/self/mountinfo and tells the target window of every volume that arrives or
// goes with one WM_DEVICECHANGE message each (arrival or removal complete, volume record, the
// network flag for a network file system). Volumes are what the drive list lists, by the same
// rule (volumesOf), plus network file systems.
class VolumeMonitor final : public QObject {
    Q_OBJECT

public:
    explicit VolumeMonitor(WindowHandle target, SystemRoots roots = {},
                           FileSystem& fileSystem = PosixFileSystem::instance(),
                           QObject* parent = nullptr);
    ~VolumeMonitor() override;

    // Reads the current volumes and starts watching; false when the table cannot be read.
    bool start();
    // Re-reads the table and sends a message for each volume that came or went since the last
    // reading. A table that cannot be read changes nothing.
    void poll();

private:
    std::optional<std::vector<MountEntry>> readVolumes() const;

    WindowHandle m_target;
    SystemRoots m_roots;
    FileSystem& m_fileSystem;
    FileHandle m_fd = InvalidHandle;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::vector<MountEntry> m_volumes;
};

} // namespace kardelo
