#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace kardelo::testing {

// A small medium on a loop device, as a stick is to the program: an ext4 file system mounted by
// the kernel, or a FAT file system mounted through FUSE (fusefat, with the loop device as its
// source, which gives it an anonymous device number). Everything it mounted and attached is
// undone when it goes.
class LoopMedium {
public:
    enum class Kind { Ext4, FuseFat };

    explicit LoopMedium(Kind kind = Kind::Ext4);
    ~LoopMedium();
    LoopMedium(const LoopMedium&) = delete;
    LoopMedium& operator=(const LoopMedium&) = delete;

    // Makes the image and attaches it. Empty when that worked, else why this machine cannot
    // have such a medium (not root, a tool missing, no loop device, no FUSE).
    QString create();

    // A new empty folder to mount on.
    QString mountPoint(const QString& name) const;
    // Mounts the medium at point.
    bool mount(const QString& point);
    // Mounts whatever the arguments say (e.g. "-t tmpfs tmpfs") at point.
    bool mountOther(const QStringList& arguments, const QString& point);
    bool unmount(const QString& point);
    QString device() const { return m_device; }

private:
    Kind m_kind;
    QTemporaryDir m_dir;
    QString m_device;
    QStringList m_mounts;
};

// Runs a program to its end; true when it exited with 0. Its standard output goes to output.
bool runProgram(const QString& program, const QStringList& arguments, QString* output = nullptr);

} // namespace kardelo::testing
