#include "frmInfo.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

using namespace kardelo;

class tst_frmInfo : public QObject {
    Q_OBJECT

private slots:
    void showsNameVersionAndHelpText()
    {
        frmInfo info;
        QCOMPARE(info.windowTitle(), QStringLiteral("Info"));
        QCOMPARE(info.findChild<QLabel*>(QStringLiteral("Label3"))->text(),
                 QStringLiteral("Kardelo"));
        QCOMPARE(info.findChild<QLabel*>(QStringLiteral("Label4"))->text(),
                 QStringLiteral("Version: 2.1"));

        const QStringList lines = info.findChild<QPlainTextEdit*>(QStringLiteral("Text1"))
                                      ->toPlainText()
                                      .split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 55);
        QCOMPARE(lines[0], QStringLiteral("Zuerst wird in der Laufwerksliste ein angeschlossener "
                                          "USB-Stick auswählt. "));
        QCOMPARE(lines[1], QString());
        QCOMPARE(lines[6], QStringLiteral("  Lesegeschwindigkeit ermittelt."));
        QCOMPARE(lines[18], QStringLiteral(" "));
        QCOMPARE(lines[31], QString(68, QLatin1Char('_')));
        QCOMPARE(lines[41], QStringLiteral("- SLC-Chips sind erheblich schneller und verbrauchen "
                                           "weniger Strom  "));
        QCOMPARE(lines[42], QStringLiteral("  als  MLC-Chips. "));
        QCOMPARE(lines[54],
                 QStringLiteral("[gültig für derzeitigen Stand der Technologie, -2007-]"));
    }

    void opensCentredOnceAndCloses()
    {
        QWidget owner;
        showInfoWindow(&owner);
        frmInfo* first = openInfoWindow();
        QVERIFY(first);
        QVERIFY(first->isVisible());
        QCOMPARE(first->size(), QSize(554, 577));
        const QRect screen = first->screen()->geometry();
        QCOMPARE(first->frameGeometry().x(), (screen.width() - first->frameGeometry().width()) / 2);
        QCOMPARE(first->frameGeometry().y(),
                 (screen.height() - first->frameGeometry().height()) / 2);

        showInfoWindow(&owner);
        QCOMPARE(openInfoWindow(), first);
        QCOMPARE(owner.findChildren<frmInfo*>().size(), 1);

        closeInfoWindow();
        QVERIFY(!openInfoWindow());
        QVERIFY(!first->isVisible());
        showInfoWindow(&owner);
        QVERIFY(openInfoWindow() && openInfoWindow() != first);
        closeInfoWindow();
    }
};

QTEST_MAIN(tst_frmInfo)
#include "tst_frmInfo.moc"
