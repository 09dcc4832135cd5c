// Kardelo: how fast does a USB stick or memory card really write and read?

#include "DesktopSetup.h"
#include "Version.h"
#include "frmSpeedTest.h"

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

int main(int argc, char* argv[])
{
    // Answered before the application connects to a display, so it works on any terminal.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("kardelo %s\n", kardelo::Version);
            return 0;
        }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kardelo"));
    kardelo::installGermanQtTexts(application);
    QGuiApplication::setDesktopFileName(QStringLiteral(KARDELO_APP_ID));
    kardelo::frmSpeedTest window;

    // A session that ends, or a kill from a terminal, closes the window the usual way: a running
    // test stops at its next block and deletes its file instead of leaving it on the medium.
    std::unique_ptr<QSocketNotifier> terminate;
    if (::pipe(signalPipe) == 0) {
        terminate = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(terminate.get(), &QSocketNotifier::activated, &window, [&window] {
            char byte;
            [[maybe_unused]] const auto got = ::read(signalPipe[0], &byte, 1);
            window.close();
        });
        struct sigaction action {};
        action.sa_handler = onTerminate;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGHUP, &action, nullptr);
    }

    window.show();
    return QApplication::exec();
}
