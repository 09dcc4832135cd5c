// Benchmark, not a test: painting of the list control with 7 columns and 100,000 rows in an
// 800x600 window on the offscreen platform. Prints the median time of a full repaint, of the
// paint event alone and of scrolling by one row.

#include "ListView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace kardelo;

namespace {

constexpr int Rows = 100'000;
constexpr int Runs = 50;

qint64 median(const std::function<void()>& step)
{
    std::vector<qint64> times;
    times.reserve(Runs);
    for (int run = 0; run < Runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        step();
        times.push_back(timer.nsecsElapsed());
    }
    std::nth_element(times.begin(), times.begin() + Runs / 2, times.end());
    return times[Runs / 2];
}

void print(const char* what, qint64 nanoseconds)
{
    std::printf("%-44s %10.3f ms\n", what, double(nanoseconds) / 1e6);
}

void fill(ListView& view)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    view.AddColumn("Name", "Name", 0, 200);
    view.AddColumn("Write", "Schreiben MB/s", 1, 100);
    view.AddColumn("Read", "Lesen MB/s", 1, 100);
    view.AddColumn("FileSize", "Testdatei (MB)", 1, 100);
    view.AddColumn("BlockSize", "Blockgröße (KB)", 1, 100);
    view.AddColumn("Capacity", "Kapazität (MB)", 1, 110);
    view.AddColumn("When", "Datum Zeit", 0, 150);
    for (int i = 0; i < Rows; ++i) {
        const std::int32_t row = view.AddItem(-1, QStringLiteral("USB-Stick Nr. %1").arg(i));
        view.SetItemText(row, 1, german.toString(double(i % 3000) / 100.0, 'f', 2));
        view.SetItemText(row, 2, german.toString(double(i % 4000) / 100.0, 'f', 2));
        view.SetItemText(row, 3, QString::number(16 << (i % 7)));
        view.SetItemText(row, 4, QString::number(1 << (i % 13)));
        view.SetItemText(row, 5, german.toString(128 << (i % 8)));
        view.SetItemText(row, 6, QStringLiteral("27.12.2007 09:36:04"));
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    ListView view;
    view.resize(800, 600);

    QElapsedTimer timer;
    timer.start();
    view.SetRedraw(false);
    fill(view);
    view.SetRedraw(true);
    const qint64 filled = timer.nsecsElapsed();
    view.show();
    QApplication::processEvents();

    std::printf("list control painting: %d rows, 7 columns, %dx%d, %d visible rows, median of "
                "%d runs\n",
                view.ItemCount(), view.width(), view.height(), view.VisibleRowCount(), Runs);
    print("fill (redraw off)", filled);

    const int paintsBefore = view.PaintCount();
    print("Refresh (layout, scroll range, page)", median([&] { view.Refresh(); }));
    print("paint event (viewport repaint)", median([&] { view.viewport()->repaint(); }));
    print("scroll one row, then repaint", median([&] {
              Scrollbars& bars = view.ScrollBars();
              const int next = bars.Value(Scrollbars::Vertical) + 1;
              bars.Value(Scrollbars::Vertical, next > bars.Max(Scrollbars::Vertical) ? 0 : next);
              view.viewport()->repaint();
          }));
    std::printf("pictures painted meanwhile: %d, first row shown at the end: %d\n",
                view.PaintCount() - paintsBefore, view.ScrollBars().Value(Scrollbars::Vertical));
    return 0;
}
