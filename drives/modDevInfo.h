#pragma once

#include "MountTable.h"

#include <QString>
#include <cstdint>

namespace kardelo {

// Bus type numbers as the Windows storage stack numbers them, so that names and logs compare
// with what the same device reports there.
enum StorageBusType : std::int32_t {
    BusTypeUnknown = 0,
    BusTypeScsi = 1,
    BusTypeAtapi = 2,
    BusTypeAta = 3,
    BusType1394 = 4,
    BusTypeSsa = 5,
    BusTypeFibre = 6,
    BusTypeUsb = 7,
    BusTypeRAID = 8,
    BusTypeiScsi = 9,
    BusTypeSas = 10,
    BusTypeSata = 11,
    BusTypeSd = 12,
    BusTypeMmc = 13,
    BusTypeVirtual = 14,
    BusTypeFileBackedVirtual = 15,
    BusTypeSpaces = 16,
    BusTypeNvme = 17,
    BusTypeSCM = 18,
    BusTypeUfs = 19,
};

// What the storage device under a drive reports about itself. When Success is false every
// other field keeps its initial value.
struct DeviceProperties {
    bool Success = false;
    std::int32_t BusType = BusTypeUnknown;
    bool Removable = false;
    QString VendorId;
    QString ProductId;
    QString ProductRevision;
};

// drive: a local volume's mount point, with or without a trailing "/" ("/" for the root).
// Fails for anything that is not mounted from a local block device that sysfs knows.
DeviceProperties QueryDeviceProperties(const QString& drive, const SystemRoots& roots = {});

// The same for a block device (whole disk or partition) given by its device numbers.
DeviceProperties queryBlockDeviceProperties(int major, int minor, const SystemRoots& roots = {});

} // namespace kardelo
