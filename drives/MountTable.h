#pragma once

#include <QString>
#include <vector>

namespace kardelo {

// Where the kernel's process and device trees are mounted; tests point these at fixture trees.
struct SystemRoots {
    QString proc = QStringLiteral("/proc");
    QString sys = QStringLiteral("/sys");
};

// One mounted file system, as the mount table describes it.
struct MountEntry {
    QString mountPoint; // unescaped, e.g. "/media/anna/MY STICK"
    QString source;     // e.g. "/dev/sdb1"
    QString fsType;
    int major = 0;
    int minor = 0;
};

// "\040" and the other octal escapes of the mount table turned back into their characters.
QString unescapeMountField(const QString& field);

// Every entry of <proc>/self/mountinfo, in the table's order; empty when it cannot be read.
std::vector<MountEntry> readMountTable(const SystemRoots& roots = {});

// The local volumes: file systems on a block device known to <sys>/dev/block, mounted at the
// file system's root (a bind mount of a subdirectory is no volume of its own), one per mount
// point (the last mount over a point hides the earlier ones), sorted by mount point.
std::vector<MountEntry> localVolumes(const SystemRoots& roots = {});

// The local volume mounted at mountPoint ("/media/anna/STICK" or "/media/anna/STICK/").
bool findLocalVolume(const QString& mountPoint, MountEntry& found, const SystemRoots& roots = {});

} // namespace kardelo
