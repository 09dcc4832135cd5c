#include "ControlNames.h"
#include "DesktopSetup.h"
#include "LoopMedium.h"
#include "MountIdentity.h"
#include "RecordingDialogs.h"
#include "ResultsLog.h"
#include "ScreenReader.h"
#include "TestMessages.h"
#include "VolumeMonitor.h"
#include "WindowMessages.h"
#include "frmInfo.h"
#include "frmProtokoll.h"
#include "frmSpeedTest.h"
#include "ui_frmSpeedTest.h"

#include <QAbstractButton>
#include <QAccessibleActionInterface>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace kardelo;
using testing::LoopMedium;
using testing::ScreenReader;

class tst_frmSpeedTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_secondDir;
    std::unique_ptr<QTemporaryDir> m_programFolder;
    std::unique_ptr<frmSpeedTest::Environment> m_environment;
    std::unique_ptr<frmSpeedTest> m_window;
    testing::RecordingDialogs m_dialogs;

    QString label(QStringView name) const { return m_window->text(name); }
    QStringList testFilesLeft() const
    {
        return QDir(m_dir->path()).entryList({QStringLiteral("$_test*")}, QDir::Files);
    }
    void selectDriveRow()
    {
        ListView& list = *m_window->ui().ListView1;
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                          QPoint(20, list.HeaderHeight() + list.ItemHeight() / 2));
    }
    // Runs a step while the test of the button runs, at its first chance to look at messages.
    void openWindow()
    {
        m_window.reset();
        m_window = std::make_unique<frmSpeedTest>(*m_environment);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void duringTest(std::function<void()> step, int delayMs = 0)
    {
        QTimer::singleShot(delayMs, m_window.get(), std::move(step));
    }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QVERIFY(installGermanQtTexts(*QCoreApplication::instance()));
        // Every window of this suite is made while a screen reader listens.
        QVERIFY(ScreenReader::start());
    }

    // One main window at a time, as in the program: its device-change registration is single.
    void cleanup() { m_window.reset(); }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_secondDir = std::make_unique<QTemporaryDir>();
        m_dialogs = {};
        // The name prompt's answer: the preset with " 2" appended.
        m_dialogs.answer = [](const QString& preset) { return preset + QStringLiteral(" 2"); };
        m_environment = std::make_unique<frmSpeedTest::Environment>();
        const QString drive = m_dir->path();
        const QString second = m_secondDir->path();
        m_environment->drives = [drive, second] {
            return std::vector<DriveListEntry>{{drive, QStringLiteral("USB"), QStringLiteral("ja"),
                                                QStringLiteral("Test Stick 1.00"),
                                                *mountIdentityOf(drive)},
                                               {second, QStringLiteral("SD"), QStringLiteral("ja"),
                                                QStringLiteral("Card"), *mountIdentityOf(second)}};
        };
        m_environment->dialogs = &m_dialogs;
        m_programFolder = std::make_unique<QTemporaryDir>();
        m_environment->programFolder = m_programFolder->path() + QLatin1Char('/');
        openWindow();
    }

    // What the user reads at start, control by control: captions, texts and tooltips literally.
    void textsAtStart_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("toolTip");
        const auto row = [](const char* control, const char* text, const char* toolTip = "") {
            QTest::newRow(control) << QString::fromLatin1(control) << QString::fromUtf8(text)
                                   << QString::fromUtf8(toolTip);
        };
        row("Frame3", "USB-Stick auswählen");
        row("Command2", "&Refresh",
            "DriveList Refresh, falls ein USB-Stick-Wechsel nicht automatisch erkannt werden "
            "sollte.");
        row("Frame5", "Single-File Test");
        row("Command1", "&SingleFile-SpeedTest starten");
        row("Label15", "Resultate:");
        row("Label15_2", "Resultate:");
        for (const char* time : {"Label1", "Label3", "Label20", "Label21"})
            row(time, "Time: 0,000 s");
        for (const char* speed : {"Label2", "Label4", "Label18", "Label19"})
            row(speed, "0,00");
        for (const char* read : {"Label5", "Label17"})
            row(read, "Read (MByte/s):");
        for (const char* write : {"Label6", "Label16"})
            row(write, "Write (MByte/s):");
        row("Frame2", "Multi-File Test");
        row("Command8", "&MultiFile-SpeedTest starten");
        row("Label23", "Bei diesem Test werden 100 Dateien mit variabler Grösse (10 KByte - "
                       "4MByte) und variabler Blocklaenge auf den ausgewählten Datenträger "
                       "geschrieben und gelesen.");
        row("Label14", "Dateigroesse und BlockSize auswählen");
        row("Label8", "Schreiben und Lesen (MByte)");
        row("Combo1", " 128");
        row("Label13", "BlockSize (KByte)");
        row("Combo2", " 256");
        row("Command6", "D", "Default Werte einstellen");
        row("Frame1", "Verfügbarer Speicher auf dem ausgewählten Datenträger");
        row("Label9", "Speicher total (Byte)l:");
        row("Label10", "Frei für aktuellen User (Byte):");
        row("Label12", "Frei total (Byte):");
        for (const char* space : {"Label33", "Label11", "Label22"})
            row(space, "0");
        row("Command3", "&Abbrechen", "Bricht den Speedtest ab.");
        row("Command4", "&Beenden");
        row("cmdProt", "Sa&ve",
            "Speichert die ermittelten Werte des zuletzt ausgeführten Tests in einer "
            "Protokolldatei.");
        row("cmdSnap", "S&creenShot", "Speichert das Ergebnis als PNG-ScreenShot.");
        row("Command7", "&Protokoll", "Zeigt die Protokolldatei an.");
        row("Command5", "&Info", "Info");
    }
    void textsAtStart()
    {
        QFETCH(QString, control);
        QFETCH(QString, text);
        QFETCH(QString, toolTip);
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Kardelo"));
        const QWidget* widget = m_window->findChild<QWidget*>(control);
        QVERIFY(widget);
        QString shown;
        if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            shown = button->text();
        else
            shown = label(control);
        QCOMPARE(shown, text);
        QCOMPARE(widget->toolTip(), toolTip);
    }

    void startState()
    {
        QVERIFY(!m_window->ui().cmdProt->isEnabled());
        QVERIFY(!m_window->ui().cmdSnap->isEnabled());
        QVERIFY(m_window->ui().Command1->isEnabled());
        QVERIFY(!m_window->ui().ListView1->Sortable());

        m_window->ui().Combo1->setEditText(QStringLiteral("  16"));
        m_window->ui().Command6->click();
        QCOMPARE(label(controls::Combo1), QStringLiteral(" 128"));
    }

    void rowClickShowsFreeSpaceAndRowColours()
    {
        selectDriveRow();
        QCOMPARE(label(controls::Frame1),
                 QStringLiteral("Verfügbarer Speicher auf dem ausgewählten Datenträger ") +
                     m_dir->path());
        QVERIFY(label(controls::Label11).contains(u'.'));

        const ListView& list = *m_window->ui().ListView1;
        const QImage picture = list.Picture().toImage();
        const auto at = [&](int column, int row) {
            int x = 0;
            for (int c = 0; c < column; ++c)
                x += list.Table().Columns().Item(c).Width;
            // Beside the text: a separator's only pixel column, else near the cell's left edge.
            x += list.Table().Columns().Item(column).Width > 1 ? 2 : 0;
            return picture.pixel(x, list.HeaderHeight() + row * list.ItemHeight() + 2);
        };
        QCOMPARE(at(2, 0), qRgb(141, 239, 140)); // the selected row
        QCOMPARE(at(2, 1), qRgb(255, 255, 255));
        QCOMPARE(at(2, 2), qRgb(217, 252, 253));
        QCOMPARE(at(1, 0), qRgb(192, 192, 192)); // separators, selected or not
        QCOMPARE(at(3, 2), qRgb(192, 192, 192));
    }

    // Up and Down move the highlight and the free-space frame follows it at once.
    void theFrameShowsTheHighlightedDrive()
    {
        ListView& list = *m_window->ui().ListView1;
        list.setFocus();
        const QString frame =
            QStringLiteral("Verfügbarer Speicher auf dem ausgewählten Datenträger ");
        const int rowHeight = list.ItemHeight();
        const struct {
            Qt::Key key; // no key: a right click on the row
            int row;
            QString drive;
        } steps[] = {{Qt::Key_Down, 0, m_dir->path()},
                     {Qt::Key_Down, 0, m_secondDir->path()},
                     {Qt::Key_Up, 0, m_dir->path()},
                     {Qt::Key_unknown, 1, m_secondDir->path()}};
        for (const auto& step : steps) {
            if (step.key == Qt::Key_unknown) {
                const int y = list.HeaderHeight() + step.row * rowHeight + rowHeight / 2;
                // As on a desktop: the press, then the menu, which takes the release.
                QTest::mousePress(list.viewport(), Qt::RightButton, {}, QPoint(20, y));
                QContextMenuEvent request(QContextMenuEvent::Mouse, QPoint(20, y),
                                          list.viewport()->mapToGlobal(QPoint(20, y)));
                QApplication::sendEvent(list.viewport(), &request);
                QWidget* menu = QApplication::activePopupWidget();
                QVERIFY(menu);
                menu->close();
            } else {
                QTest::keyClick(&list, step.key);
            }
            QCOMPARE(m_window->checkSelect(), step.drive);
            QCOMPARE(label(controls::Frame1), frame + step.drive);
            QVERIFY(label(controls::Label11).contains(u'.'));
        }
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    // A screen reader finds the window by the program's name, the settings lists by their
    // captions, picks the stick in the drive list and reads the bar and the figures.
    void aScreenReaderRunsATest()
    {
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(m_window.get());
        QCOMPARE(window->role(), QAccessible::Window);
        QCOMPARE(window->text(QAccessible::Name), QStringLiteral("Kardelo"));
        QList<QAccessibleInterface*> tree{window};
        for (qsizetype next = 0; next < tree.size(); ++next)
            for (int i = 0; i < tree[next]->childCount(); ++i)
                tree.append(tree[next]->child(i));
        const auto find = [&](QAccessible::Role role) {
            return *std::find_if(tree.begin(), tree.end(),
                                 [&](auto* iface) { return iface->role() == role; });
        };
        QStringList settings; // their captions come before their frame's title
        for (QAccessibleInterface* iface : tree)
            if (iface->role() == QAccessible::ComboBox)
                settings << iface->relations(QAccessible::Label)
                                    .value(0)
                                    .first->text(QAccessible::Name) +
                                u'=' + iface->text(QAccessible::Value);
        QCOMPARE(settings,
                 (QStringList{"Schreiben und Lesen (MByte)= 128", "BlockSize (KByte)= 256"}));

        QAccessibleTableInterface* drives = find(QAccessible::Table)->tableInterface();
        QCOMPARE(drives->rowCount(), 9);
        QStringList headers, firstRow;
        for (int column = 0; column < drives->columnCount(); ++column) {
            headers << drives->columnDescription(column);
            firstRow << drives->cellAt(0, column)->text(QAccessible::Name);
        }
        QCOMPARE(headers, (QStringList{"Gerät", "Bus Typ", "Wechselbar", "Name"}));
        QCOMPARE(firstRow, (QStringList{m_dir->path(), "USB", "ja", "Test Stick 1.00"}));
        drives->cellAt(0, 0)->actionInterface()->doAction(
            QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(label(controls::Frame1).endsWith(m_dir->path())); // Click followed
        QCOMPARE(m_window->checkSelect(), m_dir->path());

        m_window->ui().Combo1->setEditText(QStringLiteral("  16"));
        ScreenReader::heard().clear();
        m_window->ui().Command1->click();
        QAccessibleInterface* bar = find(QAccessible::ProgressBar);
        QCOMPARE(bar->text(QAccessible::Name), QStringLiteral("Ende des Tests: 100 %"));
        QCOMPARE(bar->valueInterface()->currentValue().toInt(), 100);
        QVERIFY(ScreenReader::heard(QAccessible::ValueChanged).size() >= 2);
        QVERIFY(std::any_of(tree.begin(), tree.end(), [&](auto* iface) {
            return iface->text(QAccessible::Name) == label(controls::Label2);
        }));
    }

    // The user turned to another window during a long test: its end draws the eye back.
    void aLongTestEndingInTheBackgroundAsksForAttention_data()
    {
        QTest::addColumn<int>("attentionAfterMs");
        QTest::addColumn<bool>("windowActive");
        QTest::addColumn<int>("alerts");
        QTest::newRow("long test, window behind another") << 0 << false << 1;
        QTest::newRow("long test, window in front") << 0 << true << 0;
        QTest::newRow("short test, window behind another") << 3'600'000 << false << 0;
    }
    void aLongTestEndingInTheBackgroundAsksForAttention()
    {
        QFETCH(int, attentionAfterMs);
        QFETCH(bool, windowActive);
        QFETCH(int, alerts);
        QList<QWidget*> asked;
        m_environment->attentionAfter = std::chrono::milliseconds(attentionAfterMs);
        m_environment->askForAttention = [&](QWidget& window) { asked << &window; };
        openWindow();
        selectDriveRow();
        m_window->ui().Combo1->setEditText(QStringLiteral("  16"));
        QWidget other;
        QWidget& front = windowActive ? *m_window : other;
        front.show();
        front.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&front));
        m_window->ui().Command1->click();
        QCOMPARE(asked, QList<QWidget*>(alerts, m_window.get()));
    }

    void resultsAreKept()
    {
        const QString log = m_programFolder->filePath(QStringLiteral("protokoll.dat"));
        QCOMPARE(QFileInfo(log).size(), 1169); // the seed, written at start-up
        selectDriveRow();
        m_window->ui().Combo1->setEditText(QStringLiteral("  16"));
        m_window->ui().Command1->click();
        QVERIFY2(m_dialogs.messages.isEmpty(), qPrintable(m_dialogs.messageTexts().join(u'\n')));
        QVERIFY(label(controls::Label2) != QStringLiteral("0,00"));
        QVERIFY(label(controls::Label4) != QStringLiteral("0,00"));
        QCOMPARE(m_window->ui().picProgress->lastPicture().text,
                 QStringLiteral("Ende des Tests: 100 %"));
        m_window->ui().cmdProt->click();
        QVERIFY(!m_window->ui().cmdProt->isEnabled());
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray lines = file.readAll();
        QVERIFY(lines.startsWith("BUFFALO USB 2GByte|19,48|30,12| 128| 256|"));
        QVERIFY(
            lines.contains("\r\nTest Stick 1.00 2|" + label(controls::Label2).toLatin1() + "|"));
        QVERIFY(lines.contains("|  16| 256|"));

        m_window->ui().Command8->click();
        QVERIFY2(m_dialogs.messages.isEmpty(), qPrintable(m_dialogs.messageTexts().join(u'\n')));
        QVERIFY(label(controls::Label18) != QStringLiteral("0,00"));
        QVERIFY(testFilesLeft().isEmpty());
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Kardelo"));
        QVERIFY(!m_window->testRunning());

        m_window->ui().Command7->click();
        QVERIFY(openLogViewer());
        m_window->ui().cmdSnap->click();
        QVERIFY(!m_window->ui().cmdSnap->isEnabled());
        QVERIFY(
            QFileInfo::exists(m_programFolder->filePath(QStringLiteral("Test_Stick_1.00.png"))));
        m_window->ui().Command5->click();
        QVERIFY(openInfoWindow());

        // Closing the main window closes its companions.
        m_window->close();
        QVERIFY(!openLogViewer());
        QVERIFY(!openInfoWindow());
    }

    // The name prompt says 'Wenn Sie "Abbrechen" wählen': its button must say so too, and the
    // whole dialog must fit a small screen.
    void savePromptInGermanOnASmallScreen()
    {
        m_environment->dialogs = nullptr;
        openWindow();
        selectDriveRow();
        m_window->ui().Combo1->setEditText(QStringLiteral("  16"));
        m_window->ui().Command1->click();
        QStringList buttons;
        QSize size;
        bool textShown = false;
        QTimer::singleShot(0, m_window.get(), [&] {
            auto* prompt = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            auto* box = prompt ? prompt->findChild<QDialogButtonBox*>() : nullptr;
            if (!box)
                return;
            for (QAbstractButton* button : box->buttons())
                buttons << button->text();
            size = prompt->frameGeometry().size();
            for (const QLabel* text : prompt->findChildren<QLabel*>()) {
                if (text->text() == results::savePromptText())
                    textShown = text->height() >= text->heightForWidth(text->width());
            }
            box->button(QDialogButtonBox::Cancel)->click();
        });
        m_window->ui().cmdProt->click();
        QCOMPARE(buttons, (QStringList{QStringLiteral("OK"), QStringLiteral("Abbrechen")}));
        QVERIFY2(size.width() <= 800 && size.height() <= 600,
                 qPrintable(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height())));
        QVERIFY(textShown);
        QVERIFY(m_window->ui().cmdProt->isEnabled()); // Cancel writes nothing

        // The settings lists' own menu speaks German too.
        const std::unique_ptr<QMenu> menu(
            m_window->ui().Combo1->lineEdit()->createStandardContextMenu());
        QStringList entries;
        for (const QAction* action : menu->actions())
            entries << action->text().section(u'\t', 0, 0);
        QVERIFY2(entries.contains(QStringLiteral("&Kopieren")) &&
                     entries.contains(QStringLiteral("Alles auswählen")),
                 qPrintable(entries.join(u' ')));
    }

    // A stick unmounted while its row stays leaves its empty mount-point folder on the disk
    // beneath: neither a click nor a test may measure that disk or write into the folder.
    void aRemovedMediumIsNeverMeasured_data()
    {
        QTest::addColumn<LoopMedium::Kind>("kind");
        QTest::addColumn<QString>("action");
        for (const auto& [kind, name] : {std::pair{LoopMedium::Kind::Ext4, "ext4"},
                                         std::pair{LoopMedium::Kind::FuseFat, "FUSE"}}) {
            for (const char* action : {"row click", "single-file test", "multi-file test"})
                QTest::addRow("%s, %s", name, action) << kind << QString::fromLatin1(action);
        }
    }
    void aRemovedMediumIsNeverMeasured()
    {
        QFETCH(LoopMedium::Kind, kind);
        QFETCH(QString, action);
        LoopMedium medium(kind);
        if (const QString missing = medium.create(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        const QString point = medium.mountPoint(QStringLiteral("stick"));
        QVERIFY(medium.mount(point));
        m_environment->drives = [point] {
            std::vector<DriveListEntry> rows = driveEntries();
            std::erase_if(rows, [&](const DriveListEntry& row) { return row.rootPath != point; });
            return rows;
        };
        // The window's volume monitor reads a table that stays as it is, so the row stays
        // whatever the machine mounts; the mounts themselves are real.
        QTemporaryDir proc;
        QVERIFY(QDir(proc.path()).mkpath(QStringLiteral("self")));
        QVERIFY(QFile::copy(QStringLiteral("/proc/self/mountinfo"),
                            proc.filePath(QStringLiteral("self/mountinfo"))));
        m_environment->roots.proc = proc.path();
        openWindow();
        QCOMPARE(m_window->ui().ListView1->ItemText(0, 0), point);
        selectDriveRow();
        const qint64 stickBytes = label(controls::Label33).remove(u'.').toLongLong();
        QVERIFY2(stickBytes > 0 && stickBytes < 64 * 1024 * 1024,
                 qPrintable(label(controls::Label33)));

        QVERIFY(medium.unmount(point));
        m_window->ui().Combo1->setEditText(QStringLiteral("  16"));
        if (action == QLatin1String("row click"))
            selectDriveRow();
        else
            (action == QLatin1String("single-file test") ? m_window->ui().Command1
                                                         : m_window->ui().Command8)
                ->click();

        QCOMPARE(m_dialogs.messageTexts(), QStringList{messages::DriveAccess});
        QCOMPARE(QDir(point).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                       QDir::System),
                 QStringList{});
        if (action == QLatin1String("row click")) {
            QCOMPARE(label(controls::Frame1),
                     QStringLiteral("Verfügbarer Speicher auf dem ausgewählten Datenträger ") +
                         point);
            for (const auto name : {controls::Label11, controls::Label22, controls::Label33})
                QCOMPARE(label(name), QString());
            QCOMPARE(m_window->testState().freeBytes, 0.0);
        } else {
            QCOMPARE(m_window->ui().picProgress->lastPicture().text,
                     QStringLiteral("Abbruch des Tests: 100 %"));
            for (const auto name : {controls::Label2, controls::Label18})
                QCOMPARE(label(name), QStringLiteral("0,00"));
            QVERIFY(!m_window->ui().cmdProt->isEnabled());
        }
    }

    void noDriveSelected()
    {
        m_window->ui().Command1->click();
        QCOMPARE(m_dialogs.messageTexts(), QStringList{messages::NoDriveSelected});
        QCOMPARE(m_window->ui().picProgress->lastPicture().text,
                 QStringLiteral("Abbruch des Tests: 100 %"));
    }

    // Everything a user can do while a test yields re-enters the window; none of it may take
    // the test's file, handles or window away.
    void whatTheUserDoesDuringATest_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("completes");
        QTest::newRow("abort button") << "abort" << false;
        QTest::newRow("refresh") << "refresh" << true;
        QTest::newRow("click on a filler row") << "row" << true;
        QTest::newRow("a stick plugged in") << "device" << true;
        QTest::newRow("close") << "close" << false;
        QTest::newRow("Beenden") << "quit" << false;
    }
    void whatTheUserDoesDuringATest()
    {
        QFETCH(QString, action);
        QFETCH(bool, completes);
        selectDriveRow();
        m_window->ui().Combo1->setEditText(QStringLiteral("  16"));
        m_window->ui().Combo2->setEditText(QStringLiteral("   4"));
        bool acted = false;
        duringTest([&] {
            acted = m_window->testRunning();
            auto& ui = m_window->ui();
            if (action == QLatin1String("abort"))
                ui.Command3->click();
            else if (action == QLatin1String("refresh"))
                ui.Command2->click();
            else if (action == QLatin1String("row"))
                QTest::mouseClick(
                    ui.ListView1->viewport(), Qt::LeftButton, {},
                    QPoint(20, ui.ListView1->HeaderHeight() + 4 * ui.ListView1->ItemHeight() + 2));
            else if (action == QLatin1String("device")) {
                const ScopedDeviceBroadcast volume{DeviceBroadcastVolume{}};
                sendMessage(registerWindow(m_window.get()), WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                            volume.token());
            } else if (action == QLatin1String("close"))
                m_window->close();
            else
                ui.Command4->click();
        });
        m_window->ui().Command1->click();
        QVERIFY(acted);
        QVERIFY(testFilesLeft().isEmpty());
        QCOMPARE(m_window->ui().picProgress->lastPicture().text,
                 completes ? QStringLiteral("Ende des Tests: 100 %")
                           : QStringLiteral("Abbruch des Tests: 100 %"));
        const bool closing = action == QLatin1String("close") || action == QLatin1String("quit");
        QCOMPARE(m_window->isVisible(), !closing);
        QCOMPARE(m_window->ui().Command1->isEnabled(), true);
        // A rebuild of the list during the test dropped the selection, as a rebuild does.
        if (action == QLatin1String("refresh") || action == QLatin1String("device"))
            QCOMPARE(m_window->checkSelect(), QString());
    }
};

QTEST_MAIN(tst_frmSpeedTest)
#include "tst_frmSpeedTest.moc"
