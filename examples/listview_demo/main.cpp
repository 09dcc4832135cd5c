#include "ListViewDemo.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    ListViewDemo window;
    window.show();
    return QApplication::exec();
}
