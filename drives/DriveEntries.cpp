#include "DriveEntries.h"

#include "modDevInfo.h"

#include <array>

namespace kardelo {

QString busTypeName(std::int32_t busType)
{
    static const std::array<const char*, 20> names = {
        "Unknown", "SCSI",  "ATAPI", "ATA",  "1394", "SSA", "Fibre",   "USB",
        "RAID",    "iSCSI", "SAS",   "SATA", "SD",   "MMC", "Virtual", "FileBackedVirtual",
        "Spaces",  "NVMe",  "SCM",   "UFS"};
    if (busType < 0 || busType >= static_cast<std::int32_t>(names.size()))
        return QStringLiteral("Unknown");
    return QString::fromLatin1(names[static_cast<std::size_t>(busType)]);
}

std::vector<DriveListEntry> driveEntries(const SystemRoots& roots)
{
    std::vector<DriveListEntry> entries;
    for (const MountEntry& volume : localVolumes(roots)) {
        const DeviceProperties device =
            queryBlockDeviceProperties(volume.major, volume.minor, roots);
        if (!device.Success)
            continue;
        // A root that cannot be reached now keeps device 0, which no file system has.
        const MountIdentity root = mountIdentityOf(volume.mountPoint).value_or(MountIdentity{});
        entries.push_back({volume.mountPoint,
                           busTypeName(device.BusType),
                           device.Removable ? QStringLiteral("ja") : QStringLiteral("nein"),
                           (device.VendorId + QLatin1Char(' ') + device.ProductId +
                            QLatin1Char(' ') + device.ProductRevision)
                               .trimmed(),
                           {static_cast<std::uint64_t>(volume.mountId), root.device}});
    }
    return entries;
}

bool isStillMounted(const DriveListEntry& entry)
{
    const std::optional<MountIdentity> now = mountIdentityOf(entry.rootPath);
    if (!now || now->device == 0 || now->device != entry.mount.device)
        return false;
    // Without mount ids from the kernel the device alone decides.
    return now->mountId == 0 || now->mountId == entry.mount.mountId;
}

} // namespace kardelo
