#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace kardelo {

// Which mount a folder lies on and which file system that is: the kernel's mount id (as in
// /proc/self/mountinfo) and the device number (st_dev). A medium that is unmounted leaves its
// mount-point folder behind on the file system beneath, whose mount and device differ.
struct MountIdentity {
    std::uint64_t mountId = 0; // 0: unknown (a kernel older than Linux 5.8 does not tell)
    std::uint64_t device = 0;
};

// The identity of what is at path now, without following a final link; nothing when the path
// cannot be reached (removed, a FUSE daemon gone, an I/O error).
std::optional<MountIdentity> mountIdentityOf(const QString& path);

} // namespace kardelo
