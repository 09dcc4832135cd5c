#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

namespace kardelo::testing {

// What a hostile user or medium puts at a name the program writes to.
enum class Planted { SymbolicLink, DanglingLink, HardLink, Fifo, Folder };

inline QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

inline QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Puts `planted` at name; a link or hard link leads to target, a dangling link to target.none.
inline void plant(Planted planted, const QString& name, const QString& target)
{
    switch (planted) {
    case Planted::SymbolicLink:
        QVERIFY(QFile::link(target, name));
        break;
    case Planted::DanglingLink:
        QVERIFY(QFile::link(target + QStringLiteral(".none"), name));
        break;
    case Planted::HardLink:
        QVERIFY(::link(native(target).constData(), native(name).constData()) == 0);
        break;
    case Planted::Fifo:
        QVERIFY(::mkfifo(native(name).constData(), 0600) == 0);
        break;
    case Planted::Folder:
        QVERIFY(QDir().mkdir(name));
        break;
    }
}

struct PlantedKind {
    Planted planted;
    const char* description;
};
inline constexpr PlantedKind PlantedKinds[] = {
    {Planted::SymbolicLink, "link to a user's file"},
    {Planted::DanglingLink, "dangling link"},
    {Planted::HardLink, "hard link to a user's file"},
    {Planted::Fifo, "FIFO"},
    {Planted::Folder, "folder"},
};

} // namespace kardelo::testing
