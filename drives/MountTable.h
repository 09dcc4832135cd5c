#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace kardelo {

// Where the kernel's process and device trees are mounted; tests point these at fixture trees.
struct SystemRoots {
    QString proc = QStringLiteral("/proc");
    QString sys = QStringLiteral("/sys");
};

// One line of the mount table (<proc>/self/mountinfo), fields unescaped.
struct MountInfoLine {
    int mountId = 0;
    int major = 0; // st_dev of the file system; major 0 for anonymous numbers (FUSE, btrfs)
    int minor = 0;
    QString root; // the folder of the file system that is mounted here
    QString mountPoint;
    QString fsType;
    QString source;
    QString superOptions;
};

// "\040" and the other octal escapes of the mount table turned back into their characters.
QString unescapeMountField(const QString& field);

// The lines of a mount table's text, in its order; malformed lines are left out.
std::vector<MountInfoLine> parseMountInfo(const QByteArray& text);
// <proc>/self/mountinfo
QString mountInfoPath(const SystemRoots& roots);
// The text of the mount table; nothing when it cannot be read.
std::optional<QByteArray> readMountInfo(const SystemRoots& roots = {});

enum class VolumeKind {
    Medium,  // a local medium: a row of the drive list
    Network, // a network file system: watched, never listed
};

// A mounted file system that counts as a volume.
struct MountEntry {
    int mountId = 0;
    QString mountPoint; // e.g. "/media/anna/MY STICK"
    QString source;     // e.g. "/dev/sdb1", "server:/export"
    QString fsType;
    VolumeKind kind = VolumeKind::Medium;
    int major = 0; // a medium's block device in sysfs, also where the mount has an anonymous
    int minor = 0; // number (FUSE, btrfs) and its source names the device
};

// The one rule for what is a volume. A medium is a file system on a block device that sysfs
// knows (directly, or through a "/dev/..." source where the mount has an anonymous number, as
// FUSE and btrfs mounts do), mounted at the file system's root (or a btrfs subvolume's). Package
// images are no media: squashfs and erofs, and anything on a read-only loop device. A network
// file system is a volume of its own kind. The last mount over a point hides the earlier ones,
// so there is at most one volume per mount point; sorted by mount point.
std::vector<MountEntry> volumesOf(const std::vector<MountInfoLine>& table,
                                  const SystemRoots& roots = {});

// The media mounted now: the rows of the drive list.
std::vector<MountEntry> localVolumes(const SystemRoots& roots = {});

// The medium mounted at mountPoint ("/media/anna/STICK" or "/media/anna/STICK/").
std::optional<MountEntry> findLocalVolume(const QString& mountPoint,
                                          const SystemRoots& roots = {});

} // namespace kardelo
