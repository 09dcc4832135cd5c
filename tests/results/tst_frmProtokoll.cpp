#include "ListView.h"
#include "ResultsLog.h"
#include "frmProtokoll.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <sys/stat.h>

using namespace kardelo;

namespace {

// The records the program seeds its log with, one string each, as the file holds them.
QStringList seedRecords()
{
    return QString::fromLatin1(results::seedBytes())
        .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

// Answers every message box that comes up (the viewer's load asks from within its
// constructor) and remembers its icon, title and text.
struct MessageCatcher {
    QStringList seen;
    QTimer timer;

    MessageCatcher()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen << QStringLiteral("%1 %2: %3")
                            .arg(box->icon() == QMessageBox::Warning ? "!" : "?",
                                 box->windowTitle(), box->text());
                box->accept();
            }
        });
        timer.start(10);
    }
};

} // namespace

class tst_frmProtokoll : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<frmProtokoll> m_viewer;

    QString logPath() const { return m_dir.filePath(QStringLiteral("protokoll.dat")); }

    void writeLog(const QByteArray& bytes)
    {
        QFile file(logPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    frmProtokoll& open(const QByteArray& bytes)
    {
        writeLog(bytes);
        m_viewer = std::make_unique<frmProtokoll>(logPath());
        m_viewer->setAttribute(Qt::WA_DeleteOnClose, false);
        m_viewer->show();
        if (!QTest::qWaitForWindowExposed(m_viewer.get()))
            qWarning("viewer not exposed");
        return *m_viewer;
    }

    static QStringList row(const ListView& list, int index)
    {
        QStringList fields;
        for (int c = 0; c < frmProtokoll::ColumnCount; c += 2)
            fields << list.ItemText(index, c);
        return fields;
    }
    static QStringList column(const ListView& list, int c)
    {
        QStringList texts;
        for (int i = 0; i < list.ItemCount(); ++i)
            texts << list.ItemText(i, c);
        return texts;
    }
    static int columnLeft(const ListView& list, int c)
    {
        int x = 0;
        for (int i = 0; i < c; ++i)
            x += list.Table().ColumnWidth(i);
        return x;
    }
    static QRgb cellPixel(const ListView& list, int index, int c, int dx = 1)
    {
        const int y = list.HeaderHeight() + index * list.ItemHeight() + list.ItemHeight() / 2;
        return list.Picture().toImage().pixel(columnLeft(list, c) + dx, y);
    }
    static void clickHeader(ListView& list, int c)
    {
        const int x = columnLeft(list, c) + list.Table().ColumnWidth(c) / 2;
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(x, list.HeaderHeight() / 2));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }
    void cleanup()
    {
        m_viewer.reset();
        closeLogViewer();
    }

    void columnsAndLayoutFollowTheWindow()
    {
        frmProtokoll& viewer = open(results::seedBytes());
        ListView& list = viewer.ListView1();
        const ListTable& table = list.Table();
        QCOMPARE(viewer.windowTitle(), QStringLiteral("Protokoll Anzeige"));
        QCOMPARE(viewer.Command1().toolTip(), QStringLiteral("Fenster schliessen."));
        QStringList headings;
        for (int c = 0; c < frmProtokoll::ColumnCount; ++c)
            headings << table.ColumnCaption(c);
        QCOMPARE(headings.join(u'|'), QStringLiteral("Name||Write MB/s||Read MB/s||TestFile "
                                                     "Size(MB)||BlockSize (KB)||Capacity "
                                                     "(MB)||Date Time"));

        // 798 x 475 inside: the list 8 narrower and 28 shorter, the strip along the bottom.
        QCOMPARE(list.geometry(), QRect(4, 8, 790, 447));
        QCOMPARE(viewer.Picture1().geometry(), QRect(0, 458, 798, 17));
        viewer.resize(600, 300);
        QCOMPARE(list.geometry(), QRect(4, 8, 592, 272));
        QCOMPARE(viewer.Picture1().geometry(), QRect(0, 283, 600, 17));
        QCOMPARE(table.ColumnWidth(0), 154); // 153.92
        QCOMPARE(table.ColumnWidth(1), 1);

        // Too small for the list, or minimized: it keeps its last size.
        viewer.resize(6, 20);
        QCOMPARE(list.size(), QSize(592, 272));
        viewer.resize(600, 300);
        viewer.setWindowState(Qt::WindowMinimized);
        viewer.resize(500, 250);
        QCOMPARE(list.size(), QSize(592, 272));
    }

    // Every text of the seed and every heading fits its column in the face the list paints
    // with, so none is cut.
    void seedTextsFitTheirColumns()
    {
        const ListView& list = open(results::seedBytes()).ListView1();
        QFont painted = list.Font();
        painted.setPixelSize(list.FontHeight());
        const QFontMetrics metrics(painted);
        const ListTable& table = list.Table();
        QStringList cut;
        for (int c = 0; c < frmProtokoll::ColumnCount; c += 2) {
            const int room =
                table.ColumnWidth(c) - list.ItemPaddingLeft() - list.ItemPaddingRight();
            QStringList texts = column(list, c);
            texts << table.ColumnCaption(c);
            for (const QString& text : texts) {
                if (metrics.horizontalAdvance(text) > room)
                    cut << QStringLiteral("\"%1\" %2 > %3 px")
                               .arg(text)
                               .arg(metrics.horizontalAdvance(text))
                               .arg(room);
            }
        }
        QVERIFY2(cut.isEmpty(), qPrintable(QFontInfo(painted).family() + QStringLiteral(": ") +
                                           cut.join(QStringLiteral(", "))));
    }

    void rowColours()
    {
        frmProtokoll& viewer = open(results::seedBytes());
        ListView& list = viewer.ListView1();
        const QRgb cyan = qRgb(217, 252, 253), white = qRgb(255, 255, 255),
                   orange = qRgb(255, 192, 128), silver = qRgb(192, 192, 192);
        const int y = list.HeaderHeight() + list.ItemHeight() + list.ItemHeight() / 2;
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(50, y));
        for (int c = 0; c < 13; ++c) {
            QCOMPARE(cellPixel(list, 0, c, c % 2 ? 0 : 2), c % 2 ? silver : cyan);
            QCOMPARE(cellPixel(list, 1, c, c % 2 ? 0 : 2), c % 2 ? silver : orange);
            QCOMPARE(cellPixel(list, 3, c, c % 2 ? 0 : 2), c % 2 ? silver : white);
        }
        for (const int row : {0, 1}) {
            std::int32_t back = -1, fore = -1;
            viewer.CustomDraw(row, 0, back, fore);
            QCOMPARE(fore, 0); // black, whatever the desktop's text colour
        }
    }

    void headerClickSortsByTheColumnsReading()
    {
        ListView& list = open(results::seedBytes()).ListView1();
        clickHeader(list, 0);
        QStringList names = column(list, 0);
        QCOMPARE(names.first(), QStringLiteral("BUFFALO USB 2GByte"));
        QCOMPARE(names.last().trimmed(), QStringLiteral("Trekstor USB 256KByte"));
        clickHeader(list, 0);
        QCOMPARE(column(list, 0).first().trimmed(), QStringLiteral("Trekstor USB 256KByte"));

        // Numbers and dates by value, largest and latest first; rows move as a whole.
        clickHeader(list, 10);
        QCOMPARE(column(list, 10).first(), QStringLiteral("7.725.204"));
        QCOMPARE(column(list, 10).last(), QStringLiteral("122.912"));
        QCOMPARE(row(list, 0).join(u'|'), seedRecords()[12]);
        clickHeader(list, 2);
        QCOMPARE(column(list, 2).mid(0, 3),
                 QStringList(
                     {QStringLiteral("19,48"), QStringLiteral("15,94"), QStringLiteral("15,52")}));
        clickHeader(list, 12);
        QCOMPARE(column(list, 12).first(), QStringLiteral("10.06.2013 16:09:14"));
        QCOMPARE(column(list, 12).last(), QStringLiteral("27.12.2007 09:36:04"));
    }

    void emptyAndMissingLog()
    {
        MessageCatcher messages;
        QCOMPARE(open({}).ListView1().ItemCount(), 0);
        QVERIFY(messages.seen.isEmpty());

        QFile::remove(logPath());
        frmProtokoll missing(logPath());
        QCOMPARE(missing.ListView1().ItemCount(), 0);
        QCOMPARE(missing.ListView1().ColumnCount(), 13);
        QCOMPARE(messages.seen,
                 QStringList(QStringLiteral(
                     "! tst_frmProtokoll: Die protokolldatei protokoll.dat wurde nicht gefunden")));

        // A FIFO at the name: read at once (no wait for a writer) and refused.
        messages.seen.clear();
        QVERIFY(::mkfifo(QFile::encodeName(logPath()).constData(), 0600) == 0);
        frmProtokoll fifo(logPath());
        QCOMPARE(fifo.ListView1().ItemCount(), 0);
        QFile::remove(logPath());
        QCOMPARE(messages.seen, QStringList(QStringLiteral(
                                    "! tst_frmProtokoll: Die Protokolldatei \"protokoll.dat\" ist "
                                    "keine gewöhnliche Datei (ein Link, Ordner, FIFO oder Gerät) "
                                    "und wird nicht gelesen.")));
    }

    void oneViewerReadOnceUntilClosed()
    {
        writeLog(results::seedBytes());
        QWidget owner;
        showLogViewer(&owner, logPath());
        QPointer<frmProtokoll> first = openLogViewer();
        QVERIFY(first);
        QVERIFY(first->isVisible());
        // A tool window of the main window, which keeps it out of the taskbar.
        QCOMPARE(first->windowType(), Qt::Tool);
        QCOMPARE(first->parentWidget(), &owner);
        QCOMPARE(first->ListView1().ItemCount(), 14);

        writeLog(results::seedBytes() + seedRecords()[0].toLatin1() + "\r\n");
        showLogViewer(&owner, logPath());
        QCOMPARE(openLogViewer(), first.data());
        QCOMPARE(first->ListView1().ItemCount(), 14);

        // "<<" ends the window; the next open reads the log again, even before the old one
        // is deleted.
        QTest::mouseClick(&first->Command1(), Qt::LeftButton);
        QVERIFY(!first->isVisible());
        showLogViewer(&owner, logPath());
        QVERIFY(openLogViewer() != first.data());
        QCOMPARE(openLogViewer()->ListView1().ItemCount(), 15);
        QTRY_VERIFY(first.isNull());

        QPointer<frmProtokoll> second = openLogViewer();
        closeLogViewer();
        QVERIFY(second.isNull());
        QCOMPARE(openLogViewer(), nullptr);
        closeLogViewer();
    }
};

QTEST_MAIN(tst_frmProtokoll)
#include "tst_frmProtokoll.moc"
