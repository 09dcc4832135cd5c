#pragma once

#include "MountIdentity.h"
#include "MountTable.h"

#include <QString>
#include <cstdint>
#include <utility>
#include <vector>

namespace kardelo {

class ICustomDraw;
class ListView;

// The cells of one drive row (the separator cells stay empty), and the mount it was made from.
struct DriveListEntry {
    DriveListEntry() = default;
    DriveListEntry(QString root, QString bus, QString isRemovable, QString deviceName,
                   MountIdentity identity = {})
        : rootPath(std::move(root)), busType(std::move(bus)), removable(std::move(isRemovable)),
          name(std::move(deviceName)), mount(identity)
    {}

    QString rootPath;  // cell 0 "Gerät": the mount point, "/" for the root
    QString busType;   // cell 2 "Bus Typ": busTypeName of the device's bus type
    QString removable; // cell 4 "Wechselbar": "ja" or "nein"
    QString name;      // cell 6 "Name": vendor, product and revision
    MountIdentity mount;
};

// Column positions of the drive list.
enum DriveColumn : std::int32_t {
    DriveColumnDevice = 0,
    DriveColumnBusType = 2,
    DriveColumnRemovable = 4,
    DriveColumnName = 6,
};

// The list always shows at least this many rows; empty ones are filler rows.
constexpr std::int32_t DriveListMinimumRows = 9;

// "USB", "SATA", ...; "Unknown" for a number without a name.
QString busTypeName(std::int32_t busType);

// One entry per local volume whose device answers the property query, in mount-point order.
std::vector<DriveListEntry> driveEntries(const SystemRoots& roots = {});

// The drive of a row can be reached only while its root is still the mount point of the file
// system the row was made from: the same mount and the same device. Once the medium has been
// unmounted, the folder left behind belongs to the disk beneath, which is not the drive.
bool isStillMounted(const DriveListEntry& entry);

// Each of these runs step by step with run-time errors ignored, as a host's event handler
// must never end the program.
void create_drive_grid(ListView& list, ICustomDraw* callback);
void load_drive_list(ListView& list, const std::vector<DriveListEntry>& entries);
// The mount point of the first selected drive row, or empty text when no drive row is
// selected (a selected filler row counts as none).
QString check_select(const ListView& list);

// The drive list's cell colours (0x00BBGGRR) for the host's ICustomDraw::CustomDraw: selected
// rows light green, striped rows otherwise, separator columns grey; black text on all of them.
bool driveRowColours(const ListView& list, std::int32_t row, std::int32_t column,
                     std::int32_t& back, std::int32_t& fore);

} // namespace kardelo
