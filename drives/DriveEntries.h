#pragma once

#include "MountIdentity.h"
#include "MountTable.h"

#include <QString>
#include <cstdint>
#include <utility>
#include <vector>

namespace kardelo {

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

// "USB", "SATA", ...; "Unknown" for a number without a name.
QString busTypeName(std::int32_t busType);

// One entry per local volume whose device answers the property query, in mount-point order.
std::vector<DriveListEntry> driveEntries(const SystemRoots& roots = {});

// The drive of a row can be reached only while its root is still the mount point of the file
// system the row was made from: the same mount and the same device. Once the medium has been
// unmounted, the folder left behind belongs to the disk beneath, which is not the drive.
bool isStillMounted(const DriveListEntry& entry);

} // namespace kardelo
