#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <filesystem>

namespace kardelo::testing {

// A /sys and /proc shaped like the kernel's, with devices and a mount table the test writes.
class SystemFixture {
public:
    SystemFixture()
    {
        QDir().mkpath(sys() + "/dev/block");
        QDir().mkpath(proc() + "/self");
    }
    QString proc() const { return m_dir.path() + "/proc"; }
    QString sys() const { return m_dir.path() + "/sys"; }

    bool write(const QString& path, const QByteArray& text) const
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(text) == text.size();
    }
    void link(const QString& target, const QString& at) const
    {
        QDir().mkpath(QFileInfo(at).absolutePath());
        std::filesystem::create_directory_symlink(target.toStdString(), at.toStdString());
    }
    // A disk (paths below /sys/devices) with its device folder holding the given files, and
    // optionally one partition; the node of major:minor is the partition when there is one.
    void disk(const QString& diskPath, const QString& devicePath, const QString& numbers,
              bool removable, const QMap<QString, QByteArray>& deviceFiles,
              const QString& partition = {}, bool readOnly = false) const
    {
        const QString diskDir = sys() + "/devices/" + diskPath;
        write(diskDir + "/removable", removable ? "1\n" : "0\n");
        write(diskDir + "/ro", readOnly ? "1\n" : "0\n");
        if (!devicePath.isEmpty()) {
            const QString deviceDir = sys() + "/devices/" + devicePath;
            QDir().mkpath(deviceDir);
            for (auto it = deviceFiles.begin(); it != deviceFiles.end(); ++it)
                write(deviceDir + "/" + it.key(), it.value());
            link(QDir(diskDir).relativeFilePath(deviceDir), diskDir + "/device");
        }
        QString node = diskDir;
        if (!partition.isEmpty()) {
            node = diskDir + "/" + partition;
            write(node + "/partition", "1\n");
            write(node + "/ro", readOnly ? "1\n" : "0\n");
        }
        link(QDir(sys() + "/dev/block").relativeFilePath(node), sys() + "/dev/block/" + numbers);
        write(sys() + "/class/block/" + QFileInfo(node).fileName() + "/dev", numbers.toLatin1());
    }
    // A loop device ("loop3", "7:3") backed by a file, attached read-only or not.
    void loop(const QString& name, const QString& numbers, const QString& backingFile,
              bool readOnly) const
    {
        disk("virtual/block/" + name, {}, numbers, false, {}, {}, readOnly);
        write(sys() + "/devices/virtual/block/" + name + "/loop/backing_file",
              backingFile.toUtf8() + "\n");
    }
    bool mountinfo(const QByteArray& text) const { return write(proc() + "/self/mountinfo", text); }
    void removeMountinfo() const { QFile::remove(proc() + "/self/mountinfo"); }

private:
    QTemporaryDir m_dir;
};

} // namespace kardelo::testing
