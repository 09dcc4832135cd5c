// Benchmark, not a test: opening the log viewer on a generated log, from the window's creation
// (reading and filling the list) to its first picture on the offscreen platform, and the
// process's resident size before and after. Aims: load and first paint well under 0.3 s at
// 100,000 records; under 400 MB resident with a 100 MB log (1,200,000 records).
//
//   bench_log_viewer_load [RECORDS]      default 100000

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
#include <cstdlib>

using namespace kardelo;

namespace {

// Writes the log record by record, so the benchmark itself holds no copy of it.
qint64 writeRealisticLog(QFile& file, int records)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    static const char* const names[] = {
        "BUFFALO USB 2GByte", "LEXAR GEYSER JUMPDRIVE 1.00",   "Trekstor USB 256KByte ",
        "SD-Card HAMA 128MB", "Kingston DataTraveler G3 1.00", "Paradies-NoName-8GB"};
    static const char* const sizes[] = {"  16", "  32", "  64", " 128", " 256", " 512"};
    const QDateTime start(QDate(2007, 12, 27), QTime(9, 36, 4));
    qint64 written = 0;
    for (int i = 0; i < records; ++i) {
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

// VmRSS and VmHWM of this process in MB.
std::pair<double, double> residentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    double rss = 0, peak = 0;
    if (!status.open(QIODevice::ReadOnly))
        return {rss, peak};
    for (const QByteArray& line : status.readAll().split('\n')) {
        const QList<QByteArray> parts = line.simplified().split(' ');
        if (parts.size() < 2)
            continue;
        if (parts[0] == "VmRSS:")
            rss = parts[1].toDouble() / 1024;
        else if (parts[0] == "VmHWM:")
            peak = parts[1].toDouble() / 1024;
    }
    return {rss, peak};
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int records = argc > 1 ? std::atoi(argv[1]) : 100'000;
    if (records <= 0) {
        std::fprintf(stderr, "usage: bench_log_viewer_load [RECORDS]\n");
        return 2;
    }

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("protokoll.dat"));
    QFile file(path);
    qint64 size = -1;
    if (dir.isValid() && file.open(QIODevice::WriteOnly))
        size = writeRealisticLog(file, records);
    file.close();
    if (size < 0) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }

    const auto before = residentMegabytes();
    // The one reader alone, as `kardelo-cli log` uses it: it never holds the log as a whole.
    QElapsedTimer readTimer;
    readTimer.start();
    int read = 0;
    results::readLog(PosixFileSystem::instance(), path,
                     [&](const results::LogRecord&) { ++read; });
    const qint64 readAlone = readTimer.nsecsElapsed();
    const auto afterReading = residentMegabytes();

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
    const auto after = residentMegabytes();

    std::printf("log viewer: %d records, %.1f MB, %d rows shown\n", records, double(size) / 1e6,
                viewer->ListView1().ItemCount());
    std::printf("%-34s %10.3f ms, %d records, peak resident %.1f MB\n", "reader alone",
                double(readAlone) / 1e6, read, afterReading.second);
    std::printf("%-34s %10.3f ms\n", "load (read, parse, fill)", double(loaded) / 1e6);
    std::printf("%-34s %10.3f ms\n", "load + first paint", double(painted) / 1e6);
    std::printf("pictures painted by show: %d\n", viewer->ListView1().PaintCount() - paintsBefore);
    std::printf("%-34s %10.1f MB\n", "resident before the viewer", before.first);
    std::printf("%-34s %10.1f MB\n", "resident with the viewer open", after.first);
    std::printf("%-34s %10.1f MB\n", "peak resident", after.second);
    delete viewer;
    return 0;
}
