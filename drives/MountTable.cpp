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

// btrfs reports an anonymous device number (major 0) for its mounts; the source names the
// real block device, which sysfs knows by its kernel name or, for a mapped device, its dm name.
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

struct RawEntry {
    MountEntry entry;
    QString root;
    QString superOptions;
};

std::vector<RawEntry> readRaw(const SystemRoots& roots)
{
    std::vector<RawEntry> entries;
    QFile file(roots.proc + QStringLiteral("/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    // mountinfo is a pollable proc file of unknown size: read to the end, not by size.
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QStringList fields = QString::fromUtf8(line).split(QLatin1Char(' '));
        const qsizetype separator = fields.indexOf(QStringLiteral("-"), 6);
        if (fields.size() < 6 || separator < 0 || separator + 2 >= fields.size())
            continue;
        RawEntry raw;
        if (!parseMajorMinor(fields[2], raw.entry.major, raw.entry.minor))
            continue;
        raw.root = unescapeMountField(fields[3]);
        raw.entry.mountPoint = unescapeMountField(fields[4]);
        raw.entry.fsType = unescapeMountField(fields[separator + 1]);
        raw.entry.source = unescapeMountField(fields[separator + 2]);
        if (separator + 3 < fields.size())
            raw.superOptions = fields[separator + 3];
        entries.push_back(std::move(raw));
    }
    return entries;
}

} // namespace

QString unescapeMountField(const QString& field)
{
    QByteArray out;
    const QByteArray in = field.toUtf8();
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size()) {
            const QByteArray digits = in.mid(i + 1, 3);
            bool ok = false;
            const int value = digits.toInt(&ok, 8);
            if (ok && digits.size() == 3 && value < 256) {
                out.append(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        out.append(in[i]);
    }
    return QString::fromUtf8(out);
}

std::vector<MountEntry> readMountTable(const SystemRoots& roots)
{
    std::vector<MountEntry> entries;
    for (RawEntry& raw : readRaw(roots))
        entries.push_back(std::move(raw.entry));
    return entries;
}

std::vector<MountEntry> localVolumes(const SystemRoots& roots)
{
    std::map<QString, MountEntry> byMountPoint; // sorted by path; a later mount replaces
    for (RawEntry& raw : readRaw(roots)) {
        MountEntry& entry = raw.entry;
        if (entry.major == 0 &&
            !majorMinorOfSource(roots, entry.source, entry.major, entry.minor)) {
            byMountPoint.erase(entry.mountPoint);
            continue;
        }
        const bool wholeFileSystem =
            raw.root == QLatin1String("/") ||
            (entry.fsType == QLatin1String("btrfs") &&
             withoutTrailingSlash(raw.root) ==
                 withoutTrailingSlash(superOption(raw.superOptions, QStringLiteral("subvol"))));
        if (!wholeFileSystem ||
            !QFileInfo::exists(blockDevicePath(roots, entry.major, entry.minor))) {
            byMountPoint.erase(entry.mountPoint);
            continue;
        }
        byMountPoint[entry.mountPoint] = std::move(entry);
    }
    std::vector<MountEntry> volumes;
    volumes.reserve(byMountPoint.size());
    for (auto& [mountPoint, entry] : byMountPoint)
        volumes.push_back(std::move(entry));
    return volumes;
}

bool findLocalVolume(const QString& mountPoint, MountEntry& found, const SystemRoots& roots)
{
    const QString wanted = withoutTrailingSlash(mountPoint);
    for (MountEntry& entry : localVolumes(roots)) {
        if (entry.mountPoint == wanted) {
            found = std::move(entry);
            return true;
        }
    }
    return false;
}

} // namespace kardelo
