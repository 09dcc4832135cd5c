// Benchmark, not a test: the single-file test's figures from the main window against
// kardelo-cli's on the same folder, at 4 and 256 KByte blocks. The window draws its progress
// bar inside the timed interval; this shows what that costs.
//
//   bench_window_vs_cli DIR [SIZE_MB] [RUNS]

#include "frmSpeedTest.h"
#include "ui_frmSpeedTest.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <algorithm>
#include <cstdio>

using namespace kardelo;

namespace {

struct Speeds {
    double write = 0, read = 0; // bytes per second
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

Speeds windowRun(frmSpeedTest& window, int sizeMB, int blockKB)
{
    window.ui().Combo1->setEditText(QString::number(sizeMB).rightJustified(4));
    window.ui().Combo2->setEditText(QString::number(blockKB).rightJustified(4));
    window.ui().Command1->click();
    const RunReport& report = window.lastReport();
    if (!report.completed)
        return {};
    return {report.writeBytesPerSecond, report.readBytesPerSecond};
}

Speeds cliRun(const QString& cli, const QString& dir, int sizeMB, int blockKB)
{
    QProcess process;
    process.start(cli,
                  {QStringLiteral("single"), dir, QStringLiteral("--size"), QString::number(sizeMB),
                   QStringLiteral("--block"), QString::number(blockKB), QStringLiteral("--json")});
    process.waitForFinished(-1);
    const QJsonObject json = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    return {json.value(QStringLiteral("writeBytesPerSecond")).toDouble(),
            json.value(QStringLiteral("readBytesPerSecond")).toDouble()};
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_window_vs_cli DIR [SIZE_MB] [RUNS]\n");
        return 2;
    }
    const QString dir = args[1];
    const int sizeMB = args.size() > 2 ? args[2].toInt() : 64;
    const int runs = args.size() > 3 ? args[3].toInt() : 3;
    const QString cli = QApplication::applicationDirPath() + QStringLiteral("/kardelo-cli");

    MainWindowEnvironment environment;
    environment.drives = [dir] {
        return std::vector<DriveListEntry>{{dir, QStringLiteral("-"), QStringLiteral("-"),
                                            QStringLiteral("bench"),
                                            mountIdentityOf(dir).value_or(MountIdentity{})}};
    };
    // Messages go to the terminal: a modal box would stop the runs.
    struct PrintedDialogs final : Dialogs {
        void message(QMessageBox::Icon, const QString& text) override
        {
            std::fprintf(stderr, "message: %s\n", qPrintable(text));
        }
        bool question(const QString&) override { return false; }
        QString askText(const QString&, const QString&, const QString&) override { return {}; }
    } dialogs;
    environment.dialogs = &dialogs;
    frmSpeedTest window(environment);
    window.show();
    ListView& list = *window.ui().ListView1;
    list.Table().SetItemSelected(0, true);

    std::printf("window (%s) vs kardelo-cli on %s, %d MiB, median of %d\n",
                qPrintable(QApplication::platformName()), qPrintable(dir), sizeMB, runs);
    std::printf("%8s %12s %12s %7s %12s %12s %7s\n", "block KB", "window W", "cli W", "ratio",
                "window R", "cli R", "ratio");
    for (int blockKB : {4, 256}) {
        std::vector<double> ww, wr, cw, cr;
        for (int run = 0; run < runs; ++run) {
            const Speeds w = windowRun(window, sizeMB, blockKB);
            const Speeds c = cliRun(cli, dir, sizeMB, blockKB);
            ww.push_back(w.write);
            wr.push_back(w.read);
            cw.push_back(c.write);
            cr.push_back(c.read);
        }
        const double mb = 1048576.0;
        std::printf("%8d %12.1f %12.1f %7.3f %12.1f %12.1f %7.3f\n", blockKB, median(ww) / mb,
                    median(cw) / mb, median(ww) / median(cw), median(wr) / mb, median(cr) / mb,
                    median(wr) / median(cr));
    }
    return 0;
}
