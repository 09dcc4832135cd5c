#include "DriveList.h"

#include "ListView.h"
#include "OleColor.h"
#include "RuntimeError.h"
#include "modDevInfo.h"

#include <array>

namespace kardelo {

namespace {

constexpr std::int32_t Centred = 2;

std::int32_t colour(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    return static_cast<std::int32_t>(rgb(red, green, blue));
}

} // namespace

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
            QueryBlockDeviceProperties(volume.major, volume.minor, roots);
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

void create_drive_grid(ListView& list, ICustomDraw* callback)
{
    ignoreErrors([&] { list.SetRedraw(false); });
    // "Gerät" shows a whole mount point such as /media/anna/INTENSO, not a drive letter.
    ignoreErrors(
        [&] { list.AddColumn(QStringLiteral("Gerät"), QStringLiteral("Gerät"), Centred, 190); });
    ignoreErrors([&] { list.AddColumn(QStringLiteral("trenner1"), {}, Centred, 1, false); });
    ignoreErrors(
        [&] { list.AddColumn(QStringLiteral("Bus Typ"), QStringLiteral("Bus Typ"), Centred, 70); });
    ignoreErrors([&] { list.AddColumn(QStringLiteral("trenner2"), {}, Centred, 1, false); });
    ignoreErrors([&] {
        list.AddColumn(QStringLiteral("Wechselbar"), QStringLiteral("Wechselbar"), Centred, 80);
    });
    ignoreErrors([&] { list.AddColumn(QStringLiteral("trenner4"), {}, Centred, 1, false); });
    ignoreErrors(
        [&] { list.AddColumn(QStringLiteral("Name"), QStringLiteral("Name"), Centred, 263); });
    ignoreErrors([&] { list.SetDrawCallback(callback); });
    ignoreErrors([&] { list.SetRedraw(true); });
}

void load_drive_list(ListView& list, const std::vector<DriveListEntry>& entries)
{
    ignoreErrors([&] { list.Clear(); });
    ignoreErrors([&] { list.SetRedraw(false); });
    ignoreErrors([&] { list.Clear(); });
    for (const DriveListEntry& entry : entries) {
        std::int32_t row = -1;
        ignoreErrors([&] { row = list.AddItem(); });
        ignoreErrors([&] { list.SetItemText(row, DriveColumnDevice, entry.rootPath); });
        ignoreErrors([&] { list.SetItemText(row, DriveColumnBusType, entry.busType); });
        ignoreErrors([&] { list.SetItemText(row, DriveColumnRemovable, entry.removable); });
        ignoreErrors([&] { list.SetItemText(row, DriveColumnName, entry.name); });
    }
    ignoreErrors([&] {
        // Without columns AddItem throws, which also ends this loop.
        while (list.ItemCount() < DriveListMinimumRows)
            list.AddItem();
    });
    ignoreErrors([&] { list.SetRedraw(true); });
}

QString check_select(const ListView& list)
{
    QString result;
    ignoreErrors([&] {
        for (std::int32_t row = 0; row < list.ItemCount(); ++row) {
            const QString device = list.ItemText(row, DriveColumnDevice);
            if (device.isEmpty())
                return;
            if (list.Table().ItemSelected(row)) {
                result = device;
                return;
            }
        }
    });
    return result;
}

bool driveRowColours(const ListView& list, std::int32_t row, std::int32_t column,
                     std::int32_t& back, std::int32_t& fore)
{
    bool selected = false;
    ignoreErrors([&] { selected = list.Table().ItemSelected(row); });
    if (selected)
        back = colour(141, 239, 140);
    else if (row % 2 != 0)
        back = colour(255, 255, 255);
    else
        back = colour(217, 252, 253);
    if (column % 2 != 0 && column >= 1 && column <= 19)
        back = colour(192, 192, 192);
    // The rows are light whatever the desktop's colours: their text keeps the dark colour it has
    // on a light desktop, so a dark one does not put light text on them.
    fore = colour(0, 0, 0);
    return true;
}

} // namespace kardelo
