// Benchmark, not a test: opening the log viewer on a log of 100,000 records, from the
// window's creation (reading and filling the list) to its first picture on the offscreen
// platform. Aim: well under one second.

#include "ListView.h"
#include "LogFile.h"
#include "PosixFileSystem.h"
#include "frmProtokoll.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

using namespace kardelo;

namespace {

int Records = 100'000;

// Peak resident memory of the process so far, in MByte.
double peakResidentMB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

// Written record by record, so the bench itself never holds the whole log.
qint64 writeRealisticLog(QFile& file)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    static const char* const names[] = {
        "BUFFALO USB 2GByte", "LEXAR GEYSER JUMPDRIVE 1.00",   "Trekstor USB 256KByte ",
        "SD-Card HAMA 128MB", "Kingston DataTraveler G3 1.00", "Paradies-NoName-8GB"};
    static const char* const sizes[] = {"  16", "  32", "  64", " 128", " 256", " 512"};
    const QDateTime start(QDate(2007, 12, 27), QTime(9, 36, 4));
    qint64 written = 0;
    for (int i = 0; i < Records; ++i) {
        const bool multi = i % 2 == 1;
        const QString record =
            QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
                .arg(QLatin1String(names[i % 6]))
                .arg(german.toString(double((qint64(i) * 7919) % 3000) / 100.0, 'f', 2))
                .arg(german.toString(double((qint64(i) * 104729) % 4000) / 100.0, 'f', 2))
                .arg(multi ? QStringLiteral("%1 Files (10K-4M)").arg(20 + i % 81)
                           : QLatin1String(sizes[i % 6]))
                .arg(multi ? QStringLiteral("variabel") : QStringLiteral(" 256"))
                .arg(german.toString(qlonglong(122912) << (i % 7)))
                .arg(german.toString(start.addSecs(qint64(i) * 3607),
                                     QStringLiteral("dd.MM.yyyy HH:mm:ss")));
        const QByteArray line = record.toLatin1() + "\r\n";
        if (file.write(line) != line.size())
            return -1;
        written += line.size();
    }
    return written;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 1)
        Records = std::max(1, QByteArray(argv[1]).toInt());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("protokoll.dat"));
    QFile file(path);
    const qint64 logBytes =
        dir.isValid() && file.open(QIODevice::WriteOnly) ? writeRealisticLog(file) : -1;
    if (logBytes < 0) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    file.close();
    const double peakBefore = peakResidentMB();

    // The one reader alone, as `kardelo-cli log` uses it: it never holds the log as a whole.
    QElapsedTimer readTimer;
    readTimer.start();
    int records = 0;
    results::readLog(PosixFileSystem::instance(), path,
                     [&](const results::LogRecord&) { ++records; });
    std::printf("%-34s %10.3f ms, %d records, peak resident %.1f MB\n", "reader alone",
                double(readTimer.nsecsElapsed()) / 1e6, records, peakResidentMB());

    QElapsedTimer timer;
    timer.start();
    auto* viewer = new frmProtokoll(path);
    const qint64 loaded = timer.nsecsElapsed();
    viewer->show();
    const int paintsBefore = viewer->ListView1().PaintCount();
    viewer->ListView1().viewport()->repaint();
    const qint64 painted = timer.nsecsElapsed();
    if (!QTest::qWaitForWindowExposed(viewer))
        std::fprintf(stderr, "viewer not exposed\n");

    std::printf("log viewer: %d records, %.1f MB, %d rows shown\n", Records, double(logBytes) / 1e6,
                viewer->ListView1().ItemCount());
    std::printf("%-34s %10.1f MB (before the load: %.1f MB)\n", "peak resident memory",
                peakResidentMB(), peakBefore);
    std::printf("%-34s %10.3f ms\n", "load (read, parse, fill)", double(loaded) / 1e6);
    std::printf("%-34s %10.3f ms\n", "load + first paint", double(painted) / 1e6);
    std::printf("pictures painted by show: %d\n", viewer->ListView1().PaintCount() - paintsBefore);
    delete viewer;
    return 0;
}
