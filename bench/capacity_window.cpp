// Benchmark helper, not a test: one capacity check of DIR in the check's window, shown (under
// xvfb-run or QT_QPA_PLATFORM=offscreen) so that its chart is drawn as the check runs. Prints
// one line: write and read bytes per second, then how often the chart was painted and over how
// many seconds. bench/capacity_window_vs_cli.sh sets these beside kardelo-cli verify's figures.
//
//   bench_capacity_window DIR SIZE_MB

#include "CapacityWindow.h"
#include "MountIdentity.h"
#include "Platform.h"
#include "ui_CapacityWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <cstdio>

using namespace kardelo;
using namespace kardelo::capacity;

namespace {

// Messages go to the terminal: a modal box would stop the run.
class PrintedDialogs final : public Dialogs {
public:
    void message(QMessageBox::Icon, const QString& text) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    bool question(const QString&) override { return false; }
    QString askText(const QString&, const QString&, const QString&) override { return {}; }
};

class PaintCounter final : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments();
    bool sizeOk = false;
    const int sizeMB = args.size() == 3 ? args[2].toInt(&sizeOk) : 0;
    if (!sizeOk || sizeMB <= 0) {
        std::fprintf(stderr, "usage: bench_capacity_window DIR SIZE_MB\n");
        return 2;
    }
    const QString dir = args[1];
    const std::optional<MountIdentity> identity = mountIdentityOf(dir);
    if (!identity) {
        std::fprintf(stderr, "%s is no folder on a mounted file system\n", qPrintable(dir));
        return 2;
    }

    PrintedDialogs dialogs;
    const Platform platform = Platform::system();
    CapacityWindow window(
        DriveListEntry{dir, QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("bench"),
                       *identity},
        CapacityWindowEnvironment{platform.fileSystem, platform.clock, &dialogs, QString()});
    window.show();
    PaintCounter counter;
    window.ui().chart->installEventFilter(&counter);

    window.ui().limitedAmount->setChecked(true);
    window.ui().amountMBytes->setValue(sizeMB);
    QElapsedTimer running;
    running.start();
    window.ui().startButton->click();
    while (window.checkRunning())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double seconds = static_cast<double>(running.elapsed()) / 1000;

    const std::optional<CheckReport>& report = window.lastReport();
    if (!report || report->outcome != CheckOutcome::Completed || !report->writing ||
        !report->reading) {
        std::fprintf(stderr, "the check did not complete: %s\n",
                     qPrintable(window.ui().verdict->text()));
        return 1;
    }
    std::printf("%.0f %.0f %d %.2f\n", report->writing->bytesPerSecond(),
                report->reading->bytesPerSecond(), counter.paints, seconds);
    return 0;
}
