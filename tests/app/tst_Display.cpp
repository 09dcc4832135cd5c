#include "ListView.h"
#include "MountIdentity.h"
#include "frmSpeedTest.h"
#include "ui_frmSpeedTest.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace kardelo;

// The main window on a screen scaled by 2, in a dark desktop theme.
class tst_Display : public QObject {
    Q_OBJECT

public:
    static void initMain() { qputenv("QT_SCALE_FACTOR", "2"); }

private slots:
    void sharpPicturesAndDarkTextOnLightRows()
    {
        QPalette dark(QColor(53, 53, 53));
        for (const auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
            dark.setColor(role, QColor(230, 230, 230));
        dark.setColor(QPalette::Base, QColor(30, 30, 30));
        QApplication::setPalette(dark);
        QTemporaryDir drive, programFolder;
        frmSpeedTest::Environment environment;
        environment.drives = [path = drive.path()] {
            const DriveListEntry stick{path, QStringLiteral("USB"), QStringLiteral("ja"),
                                       QStringLiteral("Stick 1.00"), *mountIdentityOf(path)};
            return std::vector<DriveListEntry>{stick, stick};
        };
        environment.programFolder = programFolder.path() + QLatin1Char('/');
        frmSpeedTest window(environment);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.devicePixelRatioF(), 2.0);

        ProgressBox& box = *window.ui().picProgress;
        box.UpdateProgress({37, 1, 100, QStringLiteral("Schreiben: "), true});
        ListView& list = *window.ui().ListView1;
        for (const auto& [picture, shown] : {std::pair{box.Picture(), box.size()},
                                             std::pair{list.Picture(), list.viewport()->size()}}) {
            QCOMPARE(picture.devicePixelRatio(), 2.0);
            QCOMPARE(picture.size(), shown * 2);
        }

        // The rows stay light, selected (row 1) or not: their text must stay dark.
        list.Table().SetItemSelected(1, true);
        const QImage rows = list.Picture().toImage();
        int nameLeft = 0;
        for (int c = 0; c < 6; ++c)
            nameLeft += list.Table().ColumnWidth(c);
        for (const int row : {0, 1}) {
            const QRect cell(QPoint(nameLeft, list.HeaderHeight() + row * list.ItemHeight()) * 2,
                             QSize(list.Table().ColumnWidth(6), list.ItemHeight()) * 2);
            int darkest = 255;
            for (int y = cell.top(); y <= cell.bottom(); ++y)
                for (int x = cell.left(); x <= cell.right(); ++x)
                    darkest = std::min(darkest, qGray(rows.pixel(x, y)));
            const int background = qGray(rows.pixel(cell.topLeft() + QPoint(1, 1)));
            QVERIFY2(
                background > 150 && darkest < 60,
                qPrintable(
                    QStringLiteral("row %1: text %2 on %3").arg(row).arg(darkest).arg(background)));
        }
    }
};

QTEST_MAIN(tst_Display)
#include "tst_Display.moc"
