// Kardelo: how fast does a USB stick or memory card really write and read?

#include "frmSpeedTest.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kardelo"));
    kardelo::frmSpeedTest window;
    window.show();
    return QApplication::exec();
}
