#include "MountTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <map>

namespace kardelo {

namespace {

QString blockDevicePath(const SystemRoots& roots, int major, int minor)
{
    return roots.sys + QStringLiteral("/dev/block/%1:%2").arg(major).arg(minor);
}

bool parseMajorMinor(const QString& text, int& major, int& minor)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    bool okMajor = false, okMinor = false;
    major = text.left(colon).toInt(&okMajor);
    minor = text.mid(colon + 1).toInt(&okMinor);
    return okMajor && okMinor;
}

// btrfs and FUSE media have an anonymous device number (major 0); the source names the real block
// device, which sysfs knows by its kernel name or, for a mapped device, its dm name.
bool majorMinorOfSource(const SystemRoots& roots, const QString& source, int& major, int& minor)
{
    if (!source.startsWith(QLatin1String("/dev/")))
        return false;
    QString name = source.mid(5);
    if (name.startsWith(QLatin1String("mapper/"))) {
        const QString wanted = name.mid(7);
        name.clear();
        const QDir blocks(roots.sys + QStringLiteral("/block"));
        for (const QString& dm : blocks.entryList({QStringLiteral("dm-*")}, QDir::AllEntries)) {
            QFile file(blocks.filePath(dm + QStringLiteral("/dm/name")));
            if (file.open(QIODevice::ReadOnly) &&
                QString::fromUtf8(file.readAll()).trimmed() == wanted) {
                name = dm;
                break;
            }
        }
    }
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return false;
    QFile dev(roots.sys + QStringLiteral("/class/block/") + name + QStringLiteral("/dev"));
    return dev.open(QIODevice::ReadOnly) &&
           parseMajorMinor(QString::fromLatin1(dev.readAll()).trimmed(), major, minor) &&
           major != 0;
}

QString superOption(const QString& options, const QString& name)
{
    const QString prefix = name + QLatin1Char('=');
    for (const QString& option : options.split(QLatin1Char(',')))
        if (option.startsWith(prefix))
            return option.mid(prefix.size());
    return {};
}

QString withoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

bool isNetworkFileSystem(const QString& type)
{
    static const QStringList types = {
        QStringLiteral("nfs"),       QStringLiteral("nfs4"),       QStringLiteral("cifs"),
        QStringLiteral("smb3"),      QStringLiteral("smbfs"),      QStringLiteral("ncpfs"),
        QStringLiteral("9p"),        QStringLiteral("afs"),        QStringLiteral("ceph"),
        QStringLiteral("glusterfs"), QStringLiteral("fuse.sshfs"), QStringLiteral("sshfs"),
        QStringLiteral("davfs"),     QStringLiteral("fuse.davfs2")};
    return types.contains(type);
}

// File system images that packages bring along (snaps, flatpaks, live systems): never a medium.
bool isPackageImageType(const QString& type)
{
    return type == QLatin1String("squashfs") || type == QLatin1String("erofs");
}

QString readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

// A loop device attached read-only holds an image, not a medium anybody could test.
bool isReadOnlyLoop(const SystemRoots& roots, int major, int minor)
{
    const QString node = QFileInfo(blockDevicePath(roots, major, minor)).canonicalFilePath();
    if (node.isEmpty())
        return false;
    const QString disk = QFileInfo::exists(node + QStringLiteral("/partition"))
                             ? QFileInfo(node).absolutePath()
                             : node;
    if (!QFileInfo::exists(disk + QStringLiteral("/loop")))
        return false;
    return readText(disk + QStringLiteral("/ro")) == QLatin1String("1") ||
           readText(node + QStringLiteral("/ro")) == QLatin1String("1");
}

bool isWholeFileSystem(const MountInfoLine& line)
{
    return line.root == QLatin1String("/") ||
           (line.fsType == QLatin1String("btrfs") &&
            withoutTrailingSlash(line.root) ==
                withoutTrailingSlash(superOption(line.superOptions, QStringLiteral("subvol"))));
}

std::optional<MountEntry> volumeOf(const MountInfoLine& line, const SystemRoots& roots)
{
    MountEntry entry;
    entry.mountId = line.mountId;
    entry.mountPoint = line.mountPoint;
    entry.source = line.source;
    entry.fsType = line.fsType;
    if (isNetworkFileSystem(line.fsType)) {
        entry.kind = VolumeKind::Network;
        return entry;
    }
    if (isPackageImageType(line.fsType) || !isWholeFileSystem(line))
        return std::nullopt;
    entry.major = line.major;
    entry.minor = line.minor;
    if (entry.major == 0 && !majorMinorOfSource(roots, line.source, entry.major, entry.minor))
        return std::nullopt;
    if (!QFileInfo::exists(blockDevicePath(roots, entry.major, entry.minor)) ||
        isReadOnlyLoop(roots, entry.major, entry.minor))
        return std::nullopt;
    return entry;
}

QByteArray unescape(const QByteArray& in)
{
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size()) {
            const QByteArray digits = in.mid(i + 1, 3);
            const bool octal = std::all_of(digits.begin(), digits.end(),
                                           [](char c) { return c >= '0' && c <= '7'; });
            const int value = octal ? digits.toInt(nullptr, 8) : 256;
            if (value < 256) {
                out.append(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        out.append(in[i]);
    }
    return out;
}

} // namespace

QString unescapeMountField(const QString& field)
{
    return QString::fromUtf8(unescape(field.toUtf8()));
}

std::vector<MountInfoLine> parseMountInfo(const QByteArray& text)
{
    std::vector<MountInfoLine> lines;
    const auto unescaped = [](const QByteArray& field) {
        return QString::fromUtf8(unescape(field));
    };
    for (const QByteArray& raw : text.split('\n')) {
        // id parent major:minor root mount-point options [optional fields...] - type source super
        const QByteArrayList fields = raw.split(' ');
        const qsizetype separator = fields.indexOf("-", 6);
        if (separator < 6 || separator + 2 >= fields.size())
            continue;
        MountInfoLine line;
        bool idOk = false;
        line.mountId = fields[0].toInt(&idOk);
        if (!idOk || !parseMajorMinor(QString::fromLatin1(fields[2]), line.major, line.minor))
            continue;
        line.root = unescaped(fields[3]);
        line.mountPoint = unescaped(fields[4]);
        line.fsType = unescaped(fields[separator + 1]);
        line.source = unescaped(fields[separator + 2]);
        if (separator + 3 < fields.size())
            line.superOptions = unescaped(fields[separator + 3]);
        lines.push_back(std::move(line));
    }
    return lines;
}

QString mountInfoPath(const SystemRoots& roots)
{
    return roots.proc + QStringLiteral("/self/mountinfo");
}

std::optional<QByteArray> readMountInfo(const SystemRoots& roots)
{
    QFile file(mountInfoPath(roots));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // mountinfo is a pollable proc file of unknown size: read to the end, not by size.
    return file.readAll();
}

std::vector<MountEntry> volumesOf(const std::vector<MountInfoLine>& table, const SystemRoots& roots)
{
    std::map<QString, MountEntry> byMountPoint; // sorted by path; a later mount hides
    for (const MountInfoLine& line : table) {
        if (std::optional<MountEntry> volume = volumeOf(line, roots))
            byMountPoint[line.mountPoint] = std::move(*volume);
        else
            byMountPoint.erase(line.mountPoint);
    }
    std::vector<MountEntry> volumes;
    volumes.reserve(byMountPoint.size());
    for (auto& [mountPoint, entry] : byMountPoint)
        volumes.push_back(std::move(entry));
    return volumes;
}

std::vector<MountEntry> localVolumes(const SystemRoots& roots)
{
    const std::optional<QByteArray> text = readMountInfo(roots);
    if (!text)
        return {};
    std::vector<MountEntry> media;
    for (MountEntry& volume : volumesOf(parseMountInfo(*text), roots)) {
        if (volume.kind == VolumeKind::Medium)
            media.push_back(std::move(volume));
    }
    return media;
}

std::optional<MountEntry> findLocalVolume(const QString& mountPoint, const SystemRoots& roots)
{
    const QString wanted = withoutTrailingSlash(mountPoint);
    for (MountEntry& entry : localVolumes(roots))
        if (entry.mountPoint == wanted)
            return std::move(entry);
    return std::nullopt;
}

} // namespace kardelo
