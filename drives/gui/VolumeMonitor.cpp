#include "VolumeMonitor.h"

#include "EventLog.h"

#include <QFile>
#include <QSocketNotifier>
#include <exception>
#include <limits>
#include <map>
#include <unordered_map>
#include <vector>

namespace kardelo {
namespace {

struct BroadcastStore {
    std::unordered_map<std::int32_t, DeviceBroadcastVolume> records;
    std::int32_t lastToken = 0;
};

BroadcastStore& broadcasts()
{
    static BroadcastStore store;
    return store;
}

// One volume that arrived or went between two readings of the mount table, with the mount
// points it gained or lost.
struct VolumeChange {
    std::int32_t event = DBT_DEVICEARRIVAL; // or DBT_DEVICEREMOVECOMPLETE
    bool network = false;
    QStringList mountPoints;
};

// What one arrival or removal is about: a medium's device (a stick mounted at two points is one
// volume), a network file system's source.
QString volumeKey(const MountEntry& volume)
{
    if (volume.kind == VolumeKind::Network)
        return volume.fsType + QLatin1Char(' ') + volume.source;
    return QStringLiteral("%1:%2").arg(volume.major).arg(volume.minor);
}

// The volumes of `from` whose mount point `to` lacks or holds another mount, grouped by volume.
void addChanges(std::int32_t event, const std::vector<MountEntry>& from,
                const std::vector<MountEntry>& to, std::vector<VolumeChange>& changes)
{
    std::map<QString, int> mountIdAt;
    for (const MountEntry& volume : to)
        mountIdAt[volume.mountPoint] = volume.mountId;
    std::map<QString, std::size_t> changeOf;
    for (const MountEntry& volume : from) {
        const auto kept = mountIdAt.find(volume.mountPoint);
        if (kept != mountIdAt.end() && kept->second == volume.mountId)
            continue;
        const QString key = volumeKey(volume);
        const auto known = changeOf.find(key);
        if (known != changeOf.end()) {
            changes[known->second].mountPoints << volume.mountPoint;
            continue;
        }
        changeOf.emplace(key, changes.size());
        changes.push_back({event, volume.kind == VolumeKind::Network, {volume.mountPoint}});
    }
}

// The changes from one reading of the volumes to the next: every mount point that came, went or
// carries another mount than before, one change per volume and event, removals first.
std::vector<VolumeChange> volumeChanges(const std::vector<MountEntry>& before,
                                        const std::vector<MountEntry>& after)
{
    std::vector<VolumeChange> changes;
    addChanges(DBT_DEVICEREMOVECOMPLETE, before, after, changes);
    addChanges(DBT_DEVICEARRIVAL, after, before, changes);
    return changes;
}

} // namespace

ScopedDeviceBroadcast::ScopedDeviceBroadcast(const DeviceBroadcastVolume& record)
{
    auto& store = broadcasts();
    do {
        store.lastToken =
            store.lastToken == std::numeric_limits<std::int32_t>::max() ? 1 : store.lastToken + 1;
    } while (store.records.contains(store.lastToken));
    m_token = store.lastToken;
    store.records.emplace(m_token, record);
}

ScopedDeviceBroadcast::~ScopedDeviceBroadcast()
{
    broadcasts().records.erase(m_token);
}

std::optional<DeviceBroadcastVolume> deviceBroadcastRecord(std::int32_t token)
{
    const auto& records = broadcasts().records;
    const auto found = records.find(token);
    if (found == records.end())
        return std::nullopt;
    return found->second;
}

VolumeMonitor::VolumeMonitor(WindowHandle target, SystemRoots roots, FileSystem& fileSystem,
                             QObject* parent)
    : QObject(parent), m_target(target), m_roots(std::move(roots)), m_fileSystem(fileSystem)
{}

VolumeMonitor::~VolumeMonitor()
{
    m_notifier.reset();
    m_fileSystem.close(m_fd);
}

bool VolumeMonitor::start()
{
    if (m_fd != InvalidHandle)
        return true;
    // Opened before the first reading, so a change in between is still signalled.
    m_fd = m_fileSystem.openFile(mountInfoPath(m_roots), FileAccess::Read).handle;
    if (m_fd == InvalidHandle)
        return false;
    std::optional<std::vector<MountEntry>> volumes = readVolumes();
    if (!volumes) {
        m_fileSystem.close(m_fd);
        m_fd = InvalidHandle;
        return false;
    }
    m_volumes = std::move(*volumes);
    // The kernel marks the open table with POLLPRI | POLLERR whenever the mounts change.
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Exception);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &VolumeMonitor::poll);
    return true;
}

void VolumeMonitor::poll()
{
    std::optional<std::vector<MountEntry>> current = readVolumes();
    if (!current)
        return;
    const std::vector<VolumeChange> changes = volumeChanges(m_volumes, *current);
    // Taken over before the messages go out: a handler that polls again sees no change twice.
    m_volumes = std::move(*current);
    for (const VolumeChange& change : changes) {
        DeviceBroadcastVolume record;
        record.dbcv_flags = change.network ? DBTF_NET : 0;
        record.mountPoints = change.mountPoints;
        const ScopedDeviceBroadcast broadcast(record);
        // Runs inside a Qt slot, where no exception may arrive.
        containAndLog("Volume monitor", [&] {
            sendMessage(m_target, WM_DEVICECHANGE, change.event, broadcast.token());
        });
    }
}

std::optional<std::vector<MountEntry>> VolumeMonitor::readVolumes() const
{
    const std::optional<QByteArray> text = readMountInfo(m_roots);
    if (!text)
        return std::nullopt;
    return volumesOf(parseMountInfo(*text), m_roots);
}

} // namespace kardelo
