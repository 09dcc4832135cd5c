#include "VolumeMonitor.h"

#include "EventLog.h"

#include <QFile>
#include <QSocketNotifier>
#include <exception>
#include <fcntl.h>
#include <limits>
#include <unistd.h>
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

bool isNetworkFileSystem(const QByteArray& type)
{
    static const QByteArrayList types = {"nfs",        "nfs4",  "cifs",  "smb3",       "smbfs",
                                         "ncpfs",      "9p",    "afs",   "ceph",       "glusterfs",
                                         "fuse.sshfs", "sshfs", "davfs", "fuse.davfs2"};
    return types.contains(type);
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

VolumeSet volumesOfMountInfo(const QByteArray& mountInfo)
{
    VolumeSet volumes;
    for (const QByteArray& line : mountInfo.split('\n')) {
        // id parent major:minor root mount-point options [optional fields...] - type source ...
        const QByteArrayList fields = line.split(' ');
        const qsizetype separator = fields.indexOf("-");
        if (separator < 6 || separator + 2 >= fields.size())
            continue;
        const QByteArray& device = fields[2];
        const QByteArray& root = fields[3];
        const QByteArray& type = fields[separator + 1];
        const QByteArray& source = fields[separator + 2];
        if (isNetworkFileSystem(type)) {
            volumes[QString::fromUtf8(type + ' ' + source)] = {true};
            continue;
        }
        if (root != "/")
            continue;
        // Btrfs reports an anonymous device number; its source still names the block device.
        if (!device.startsWith("0:"))
            volumes[QString::fromUtf8(device)] = {false};
        else if (type == "btrfs" && source.startsWith("/dev/"))
            volumes[QString::fromUtf8(source)] = {false};
    }
    return volumes;
}

VolumeMonitor::VolumeMonitor(WindowHandle target, QString procRoot, QObject* parent)
    : QObject(parent), m_target(target), m_path(procRoot + QStringLiteral("/self/mountinfo"))
{}

VolumeMonitor::~VolumeMonitor()
{
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

bool VolumeMonitor::start()
{
    if (m_fd >= 0)
        return true;
    // Opened before the first reading, so a change in between is still signalled.
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    const std::optional<QByteArray> table = readTable();
    if (!table) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    m_volumes = volumesOfMountInfo(*table);
    // The kernel marks the open table with POLLPRI | POLLERR whenever the mounts change.
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Exception);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &VolumeMonitor::poll);
    return true;
}

void VolumeMonitor::poll()
{
    const std::optional<QByteArray> table = readTable();
    if (!table)
        return;
    VolumeSet current = volumesOfMountInfo(*table);
    std::vector<std::pair<std::int32_t, WatchedVolume>> changes;
    for (const auto& [key, volume] : m_volumes) {
        if (!current.contains(key))
            changes.emplace_back(DBT_DEVICEREMOVECOMPLETE, volume);
    }
    for (const auto& [key, volume] : current) {
        if (!m_volumes.contains(key))
            changes.emplace_back(DBT_DEVICEARRIVAL, volume);
    }
    // Taken over before the messages go out: a handler that polls again sees no change twice.
    m_volumes = std::move(current);
    for (const auto& [event, volume] : changes) {
        DeviceBroadcastVolume record;
        record.dbcv_flags = volume.network ? DBTF_NET : 0;
        const ScopedDeviceBroadcast broadcast(record);
        // Runs inside a Qt slot, where no exception may arrive.
        try {
            sendMessage(m_target, WM_DEVICECHANGE, event, broadcast.token());
        } catch (const std::exception& error) {
            eventLog().writeError(QStringLiteral("Volume monitor: %1").arg(error.what()));
        } catch (...) {
            eventLog().writeError(QStringLiteral("Volume monitor: unknown error"));
        }
    }
}

std::optional<QByteArray> VolumeMonitor::readTable() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

} // namespace kardelo
