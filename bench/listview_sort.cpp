// Benchmark, not a test: header-click sorts of realistic results-log rows, each kind of column,
// 10,000, 100,000 and 1,000,000 rows, under German settings. Prints the time of each sort.
// Aim: every first click under 150 ms at 100,000 rows.

#include "ListTable.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QLocale>
#include <QRandomGenerator>
#include <cstdio>

using namespace kardelo;

namespace {

const char* const Columns[] = {"Name",           "Write MB/s",    "Read MB/s", "TestFile Size(MB)",
                               "BlockSize (KB)", "Capacity (MB)", "Date Time"};

void fill(ListTable& table, int rows, QRandomGenerator& random)
{
    static const QStringList names{"BUFFALO USB 2GByte",    "LEXAR GEYSER JUMPDRIVE 1.00",
                                   "Trekstor USB 256KByte", "SD-Card SanDisk Extreme III 1GB",
                                   "SD-Card HAMA 128MB",    "Paradies-NoName-8GB",
                                   "Intenso Rainbow",       "Kingston DataTraveler",
                                   "Samsung BAR Plus",      "Verbatim Store"};
    const QLocale german(QLocale::German, QLocale::Germany);
    for (int i = 0; i < rows; ++i) {
        const int row = table.AddItem(-1, names[random.bounded(int(names.size()))] +
                                              QStringLiteral(" #%1").arg(random.bounded(500)));
        const bool multi = random.bounded(2) == 1;
        table.SetItemText(row, 1, german.toString(random.bounded(300.0), 'f', 2));
        table.SetItemText(row, 2, german.toString(random.bounded(300.0), 'f', 2));
        table.SetItemText(row, 3,
                          multi ? QStringLiteral("%1 Files (10K-4M)").arg(random.bounded(1, 101))
                                : QStringLiteral("%1").arg(16 << random.bounded(7), 4));
        table.SetItemText(row, 4,
                          multi ? QStringLiteral("variabel")
                                : QStringLiteral("%1").arg(1 << random.bounded(13), 4));
        table.SetItemText(row, 5, german.toString(random.bounded(64'000'000)));
        const QDateTime when =
            QDateTime(QDate(2007, 1, 1), QTime(0, 0)).addSecs(random.bounded(600'000'000));
        table.SetItemText(row, 6, german.toString(when, QStringLiteral("dd.MM.yyyy HH:mm:ss")));
    }
}

} // namespace

int main()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    std::printf("%-20s %10s %12s %12s\n", "column", "rows", "1st click ms", "2nd click ms");
    for (int rows : {10'000, 100'000, 1'000'000}) {
        QRandomGenerator random(42);
        ListTable table;
        for (const char* column : Columns)
            table.AddColumn(QString::fromLatin1(column), QString::fromLatin1(column));
        fill(table, rows, random);
        for (int column = 0; column < table.ColumnCount(); ++column) {
            qint64 times[2];
            for (qint64& time : times) {
                QElapsedTimer timer;
                timer.start();
                table.SortByHeader(column);
                time = timer.elapsed();
            }
            std::printf("%-20s %10d %12lld %12lld\n", Columns[column], rows,
                        static_cast<long long>(times[0]), static_cast<long long>(times[1]));
        }
    }
    return 0;
}
