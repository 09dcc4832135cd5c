#include "modDevInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kardelo {

namespace {

QString readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

bool exists(const QString& path)
{
    return QFileInfo::exists(path);
}

// The sysfs directory of the whole disk that holds the block device at path.
QString wholeDisk(const QString& path)
{
    if (exists(path + QStringLiteral("/partition")))
        return QFileInfo(path).absolutePath();
    return path;
}

bool pathHas(const QString& path, const char* part)
{
    return path.contains(QLatin1String(part));
}

// disk is the sysfs directory; where is the part below the sysfs root, which names the buses.
std::int32_t busTypeOf(const QString& disk, const QString& where)
{
    const QString name = QFileInfo(disk).fileName();
    if (exists(disk + QStringLiteral("/loop")))
        return BusTypeFileBackedVirtual;
    if (exists(disk + QStringLiteral("/md")))
        return BusTypeRAID;
    // A card reader or a disk enclosure on USB is USB, whatever the medium inside.
    if (pathHas(where, "/usb"))
        return BusTypeUsb;
    if (pathHas(where, "/nvme"))
        return BusTypeNvme;
    if (pathHas(where, "/mmc_host/") || name.startsWith(QLatin1String("mmcblk"))) {
        const QString type = readText(disk + QStringLiteral("/device/type"));
        if (type == QLatin1String("SD"))
            return BusTypeSd;
        if (type == QLatin1String("MMC"))
            return BusTypeMmc;
        return BusTypeUnknown;
    }
    if (pathHas(where, "/ufs"))
        return BusTypeUfs;
    // libata cannot tell a parallel from a serial link by the path; AHCI disks are what it
    // drives today, and Windows reports those as SATA.
    if (pathHas(where, "/ata"))
        return BusTypeSata;
    if (pathHas(where, "/virtio") || pathHas(where, "/xen/") || pathHas(where, "/vbd-"))
        return BusTypeVirtual;
    if (pathHas(where, "/session"))
        return BusTypeiScsi;
    if (pathHas(where, "/end_device-"))
        return BusTypeSas;
    if (pathHas(where, "/rport-"))
        return BusTypeFibre;
    if (pathHas(where, "/target") || pathHas(where, "/host"))
        return BusTypeScsi;
    return BusTypeUnknown;
}

void readNames(const QString& disk, const QString& where, DeviceProperties& result)
{
    const QString device = disk + QStringLiteral("/device/");
    switch (result.BusType) {
    case BusTypeFileBackedVirtual: {
        QString backing = readText(disk + QStringLiteral("/loop/backing_file"));
        if (backing.endsWith(QLatin1String(" (deleted)")))
            backing.chop(10);
        result.ProductId = QFileInfo(backing).fileName().trimmed();
        return;
    }
    case BusTypeSd:
    case BusTypeMmc:
        result.ProductId = readText(device + QStringLiteral("name"));
        return;
    case BusTypeNvme:
        result.ProductId = readText(device + QStringLiteral("model"));
        result.ProductRevision = readText(device + QStringLiteral("firmware_rev"));
        return;
    default:
        // Only SCSI devices (USB mass storage, libata, SAS ...) carry texts in vendor/model/rev;
        // elsewhere vendor is a PCI id such as 0x1af4.
        if (!pathHas(where, "/target"))
            return;
        result.VendorId = readText(device + QStringLiteral("vendor"));
        result.ProductId = readText(device + QStringLiteral("model"));
        result.ProductRevision = readText(device + QStringLiteral("rev"));
    }
}

// A mapped device (LUKS, LVM) stands for the disk beneath it.
QString underlyingDisk(QString disk)
{
    for (int depth = 0; depth < 8; ++depth) {
        if (!QFileInfo(disk).fileName().startsWith(QLatin1String("dm-")))
            break;
        const QDir slaves(disk + QStringLiteral("/slaves"));
        const QStringList names =
            slaves.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
        if (names.isEmpty())
            break;
        const QString next = QFileInfo(slaves.filePath(names.first())).canonicalFilePath();
        if (next.isEmpty())
            break;
        disk = wholeDisk(next);
    }
    return disk;
}

} // namespace

DeviceProperties queryBlockDeviceProperties(int major, int minor, const SystemRoots& roots)
{
    DeviceProperties result;
    if (major == 0)
        return result;
    const QString node =
        QFileInfo(roots.sys + QStringLiteral("/dev/block/%1:%2").arg(major).arg(minor))
            .canonicalFilePath();
    if (node.isEmpty())
        return result;
    const QString disk = underlyingDisk(wholeDisk(node));
    const QString sysRoot = QFileInfo(roots.sys).canonicalFilePath();
    const QString where = disk.startsWith(sysRoot) ? disk.mid(sysRoot.size()) : disk;
    result.Success = true;
    result.BusType = busTypeOf(disk, where);
    result.Removable = readText(disk + QStringLiteral("/removable")) == QLatin1String("1");
    readNames(disk, where, result);
    return result;
}

DeviceProperties QueryDeviceProperties(const QString& drive, const SystemRoots& roots)
{
    const std::optional<MountEntry> volume = findLocalVolume(drive, roots);
    if (!volume)
        return {};
    return queryBlockDeviceProperties(volume->major, volume->minor, roots);
}

} // namespace kardelo
