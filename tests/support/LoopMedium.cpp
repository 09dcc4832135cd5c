#include "LoopMedium.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <unistd.h>

namespace kardelo::testing {

namespace {

bool toolExists(const QString& tool)
{
    return !QStandardPaths::findExecutable(tool).isEmpty() ||
           !QStandardPaths::findExecutable(tool,
                                           {QStringLiteral("/sbin"), QStringLiteral("/usr/sbin")})
                .isEmpty();
}

} // namespace

bool runProgram(const QString& program, const QStringList& arguments, QString* output)
{
    QProcess process;
    // A daemon that forks off (a FUSE file system) must not write into a pipe that closes.
    if (!output)
        process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return false;
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    return true;
}

LoopMedium::LoopMedium(Kind kind) : m_kind(kind) {}

LoopMedium::~LoopMedium()
{
    for (auto point = m_mounts.crbegin(); point != m_mounts.crend(); ++point) {
        if (!runProgram(QStringLiteral("umount"), {*point}))
            runProgram(QStringLiteral("umount"), {QStringLiteral("-l"), *point});
    }
    // A FUSE daemon lets go of the device a moment after its unmount.
    for (int attempt = 0; !m_device.isEmpty() && attempt < 20; ++attempt) {
        if (runProgram(QStringLiteral("losetup"), {QStringLiteral("-d"), m_device}))
            break;
        QThread::msleep(100);
    }
}

QString LoopMedium::create()
{
    if (::geteuid() != 0)
        return QStringLiteral("attaching and mounting media needs root");
    const bool fuse = m_kind == Kind::FuseFat;
    QStringList tools{QStringLiteral("losetup"), QStringLiteral("mount"), QStringLiteral("umount")};
    tools << (fuse ? QStringList{QStringLiteral("mkfs.vfat"), QStringLiteral("fusefat")}
                   : QStringList{QStringLiteral("mkfs.ext4")});
    for (const QString& tool : tools) {
        if (!toolExists(tool))
            return tool + QStringLiteral(" is not installed");
    }
    if (fuse && !QFile::exists(QStringLiteral("/dev/fuse")))
        return QStringLiteral("this machine has no /dev/fuse");
    const QString image = m_dir.filePath(QStringLiteral("medium.img"));
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(40 * 1024 * 1024))
        return QStringLiteral("no room for the image in ") + m_dir.path();
    file.close();
    // FAT16: fusefat reports no free space on a small FAT32 with 512-byte clusters.
    const bool formatted = fuse ? runProgram(QStringLiteral("mkfs.vfat"), {image})
                                : runProgram(QStringLiteral("mkfs.ext4"),
                                             {QStringLiteral("-q"), QStringLiteral("-F"), image});
    if (!formatted)
        return QStringLiteral("the image could not be formatted");
    if (!runProgram(QStringLiteral("losetup"),
                    {QStringLiteral("--find"), QStringLiteral("--show"), image}, &m_device))
        return QStringLiteral("no loop device available");
    return {};
}

QString LoopMedium::mountPoint(const QString& name) const
{
    QDir(m_dir.path()).mkpath(name);
    return m_dir.filePath(name);
}

bool LoopMedium::mount(const QString& point)
{
    if (m_kind == Kind::Ext4)
        return mountOther({m_device}, point);
    // The device as the mount's source, as a desktop's FUSE mount shows it.
    if (!runProgram(QStringLiteral("fusefat"),
                    {QStringLiteral("-o"),
                     QStringLiteral("rw+,fsname=%1,subtype=fusefat").arg(m_device), m_device,
                     point}))
        return false;
    m_mounts << point;
    return true;
}

bool LoopMedium::mountOther(const QStringList& arguments, const QString& point)
{
    if (!runProgram(QStringLiteral("mount"), arguments + QStringList{point}))
        return false;
    m_mounts << point;
    return true;
}

bool LoopMedium::unmount(const QString& point)
{
    if (!runProgram(QStringLiteral("umount"), {point}))
        return false;
    m_mounts.removeAll(point);
    return true;
}

} // namespace kardelo::testing
