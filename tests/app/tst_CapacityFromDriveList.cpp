// The capacity check as the main window offers it: the drive list's menu, one check window per
// medium, the speed tests refused on a medium being checked, and every check stopped when the
// main window closes.

#include "CapacityChecks.h"
#include "DesktopSetup.h"
#include "DriveRowMenu.h"
#include "ListView.h"
#include "MountIdentity.h"
#include "PosixFileSystem.h"
#include "RecordingDialogs.h"
#include "TestMessages.h"
#include "frmSpeedTest.h"
#include "ui_CapacityWindow.h"
#include "ui_frmSpeedTest.h"

#include <QDir>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

using namespace kardelo;
using namespace kardelo::capacity;

namespace {

// The real file system, whose writes wait from the given one on until the test lets them go
// (or ten seconds passed, so that a failing test never hangs).
class HeldWrites final : public PosixFileSystem {
public:
    std::atomic<int> heldFrom{std::numeric_limits<int>::max()};
    std::atomic<int> held{0};
    std::atomic<bool> released{false};

    void reset()
    {
        heldFrom = std::numeric_limits<int>::max();
        held = 0;
        released = false;
        m_writes = 0;
    }

    TransferResult writeAt(FileHandle handle, const std::byte* data, std::size_t count,
                           std::uint64_t offset) override
    {
        if (m_writes.fetch_add(1) + 1 >= heldFrom) {
            ++held;
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!released && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return PosixFileSystem::writeAt(handle, data, count, offset);
    }

private:
    std::atomic<int> m_writes{0};
};

enum class Request { RightClick, MenuKey, ShiftF10 };

} // namespace

Q_DECLARE_METATYPE(Request)

class tst_CapacityFromDriveList : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_first;
    std::unique_ptr<QTemporaryDir> m_second;
    std::unique_ptr<QTemporaryDir> m_programFolder;
    HeldWrites m_files;
    testing::RecordingDialogs m_dialogs;
    std::unique_ptr<frmSpeedTest> m_window;

    ListView& list() { return *m_window->ui().ListView1; }
    QPoint rowCentre(int row)
    {
        return {40, list().HeaderHeight() + row * list().ItemHeight() + list().ItemHeight() / 2};
    }
    void clickRow(int row)
    {
        QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, rowCentre(row));
    }
    void request(Request how, int row)
    {
        if (how == Request::RightClick) {
            QTest::mousePress(list().viewport(), Qt::RightButton, {}, rowCentre(row));
            QContextMenuEvent event(QContextMenuEvent::Mouse, rowCentre(row),
                                    list().viewport()->mapToGlobal(rowCentre(row)));
            QCoreApplication::sendEvent(list().viewport(), &event);
            QTest::mouseRelease(list().viewport(), Qt::RightButton, {}, rowCentre(row));
            return;
        }
        if (row >= 0)
            clickRow(row);
        if (how == Request::MenuKey)
            QTest::keyClick(&list(), Qt::Key_Menu);
        else
            QTest::keyClick(&list(), Qt::Key_F10, Qt::ShiftModifier);
    }
    QStringList menuEntries()
    {
        QStringList texts;
        if (QMenu* menu = m_window->driveMenu().openMenu())
            for (const QAction* action : menu->actions())
                texts << action->text();
        return texts;
    }
    CapacityWindow& openCheck(int row)
    {
        request(Request::RightClick, row);
        m_window->driveMenu().openMenu()->actions().value(0)->trigger();
        m_window->driveMenu().openMenu()->close();
        return *m_window->capacityChecks().windows().back();
    }
    static QStringList filesIn(const QTemporaryDir& dir)
    {
        return QDir(dir.path()).entryList({QStringLiteral("$_cap*")}, QDir::Files);
    }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QVERIFY(installGermanQtTexts(*QCoreApplication::instance()));
    }

    void init()
    {
        m_first = std::make_unique<QTemporaryDir>();
        m_second = std::make_unique<QTemporaryDir>();
        m_programFolder = std::make_unique<QTemporaryDir>();
        m_dialogs = {};
        m_files.reset();
        const QString first = m_first->path();
        const QString second = m_second->path();
        CheckSettings checks = windowCheckSettings();
        // The temporary folders lie on the system's file system.
        checks.protectedFolders = {};
        const MainWindowEnvironment environment{
            .platform = Platform{m_files, MonotonicClock::instance(), Platform::system().random},
            .roots = {},
            .drives =
                [first, second] {
                    return std::vector<DriveListEntry>{
                        {first, QStringLiteral("USB"), QStringLiteral("ja"),
                         QStringLiteral("Stick A"), *mountIdentityOf(first)},
                        {second, QStringLiteral("SD"), QStringLiteral("ja"),
                         QStringLiteral("<b>Card</b> B"), *mountIdentityOf(second)}};
                },
            .programFolder = m_programFolder->path() + QLatin1Char('/'),
            .dialogs = &m_dialogs,
            .attentionAfter = std::chrono::seconds(5),
            .askForAttention = {},
            .capacityCheck = checks,
        };
        m_window = std::make_unique<frmSpeedTest>(environment);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup()
    {
        m_files.released = true;
        m_window.reset();
    }

    void menuOnTheDriveList_data()
    {
        QTest::addColumn<Request>("how");
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("menu");
        QTest::newRow("right click on a drive row") << Request::RightClick << 1 << true;
        QTest::newRow("right click on a filler row") << Request::RightClick << 2 << false;
        QTest::newRow("menu key on the selected drive") << Request::MenuKey << 1 << true;
        QTest::newRow("Shift+F10 on the selected drive") << Request::ShiftF10 << 0 << true;
        QTest::newRow("menu key on a selected filler row") << Request::MenuKey << 4 << false;
        QTest::newRow("menu key with no row selected") << Request::MenuKey << -1 << false;
    }

    // A drive row's menu opens the medium's check window, one per medium however often it is
    // chosen; a filler row has no menu.
    void menuOnTheDriveList()
    {
        QFETCH(Request, how);
        QFETCH(int, row);
        QFETCH(bool, menu);
        request(how, row);
        if (!menu) {
            QCOMPARE(menuEntries(), QStringList());
            QCOMPARE(QApplication::activePopupWidget(), nullptr);
            return;
        }
        QCOMPARE(menuEntries(), QStringList{QStringLiteral("Kapazität und Daten prüfen…")});
        QCOMPARE(QApplication::activePopupWidget(), m_window->driveMenu().openMenu());
        const QString drive = (row == 0 ? m_first : m_second)->path();
        for (int time = 0; time < 2; ++time) {
            if (time > 0)
                request(how, row);
            m_window->driveMenu().openMenu()->actions().value(0)->trigger();
            m_window->driveMenu().openMenu()->close();
        }
        const std::vector<CapacityWindow*> windows = m_window->capacityChecks().windows();
        QCOMPARE(windows.size(), std::size_t{1});
        QCOMPARE(windows[0]->windowTitle(),
                 QStringLiteral("Kapazität und Daten prüfen – %1").arg(drive));
        QCOMPARE(windows[0]->ui().mountPoint->text(), drive);
        // A device calls itself what it likes: its name is shown as it is, never as markup.
        const QLabel& name = *windows[0]->ui().deviceName;
        const QString shown = row == 0 ? "Stick A" : "<b>Card</b> B";
        QCOMPARE(name.text(), shown);
        QVERIFY(name.sizeHint().width() >= name.fontMetrics().horizontalAdvance(shown));
        QVERIFY(windows[0]->isVisible());
    }

    // While a check runs on a medium, the main window's speed tests are refused there and say
    // why; on the other medium they are not.
    void speedTestRefusedOnAMediumBeingChecked()
    {
        CapacityWindow& check = openCheck(0);
        check.ui().limitedAmount->setChecked(true);
        check.ui().amountMBytes->setValue(8);
        m_files.heldFrom = 2;
        check.ui().startButton->click();
        QTRY_VERIFY(m_files.held > 0);

        clickRow(0);
        m_window->ui().Command1->click();
        QCOMPARE(
            m_dialogs.messageTexts(),
            QStringList{QStringLiteral(
                "Der Datenträger wird gerade von einem anderen Test oder einer Prüfung von "
                "Kapazität und Daten benutzt. Bitte warten, bis dieser Vorgang beendet ist!")});
        m_files.released = true;
        QTRY_VERIFY_WITH_TIMEOUT(!check.checkRunning(), 20000);
        QCOMPARE(check.lastReport()->outcome, CheckOutcome::Completed);
        QCOMPARE(filesIn(*m_first), QStringList());
    }

    // Closing the main window stops every check as Ctrl+C would, asks nothing, and goes once
    // they have ended: the files of a check go, unless the user chose to keep them.
    void closingTheMainWindowStopsEveryCheck()
    {
        CapacityWindow& first = openCheck(0);
        CapacityWindow& second = openCheck(1);
        for (CapacityWindow* check : {&first, &second}) {
            check->ui().limitedAmount->setChecked(true);
            check->ui().amountMBytes->setValue(8);
        }
        second.ui().keepFiles->setChecked(true);
        m_files.heldFrom = 1;
        first.ui().startButton->click();
        second.ui().startButton->click();
        QTRY_COMPARE(m_files.held.load(), 2);

        QVERIFY(!m_window->close());
        QVERIFY(m_window->isVisible());
        m_files.released = true;
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->isVisible(), 20000);
        QTRY_COMPARE(m_window->capacityChecks().windows().size(), std::size_t{0});
        QCOMPARE(m_dialogs.questions, QStringList());
        QCOMPARE(filesIn(*m_first), QStringList());
        QCOMPARE(filesIn(*m_second), QStringList{QStringLiteral("$_cap0001.$$$")});
    }
};

QTEST_MAIN(tst_CapacityFromDriveList)
#include "tst_CapacityFromDriveList.moc"
