// Kardelo: how fast does a USB stick or memory card really write and read?

#include "DesktopSetup.h"
#include "TerminationSignals.h"
#include "Version.h"
#include "frmSpeedTest.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

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

    // A session that ends, or a kill from a terminal, closes the window the usual way.
    const kardelo::TerminationSignals termination;
    QObject::connect(&termination, &kardelo::TerminationSignals::requested, &window,
                     &QWidget::close);

    window.show();
    return QApplication::exec();
}
