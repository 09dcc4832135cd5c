#include "frmSpeedTest.h"

#include "AbortRequest.h"
#include "AccessibleFrame.h"
#include "CapacityChecks.h"
#include "ControlNames.h"
#include "DesktopSetup.h"
#include "DriveRowMenu.h"
#include "EventLog.h"
#include "FreeSpaceUpdate.h"
#include "ListView.h"
#include "MultiFileTest.h"
#include "ResultsLog.h"
#include "RuntimeError.h"
#include "SaveCommand.h"
#include "Screenshot.h"
#include "SettingsLists.h"
#include "SingleFileTest.h"
#include "TestFiles.h"
#include "TestMessages.h"
#include "frmInfo.h"
#include "frmProtokoll.h"
#include "modDeviceChange.h"
#include "ui_frmSpeedTest.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <algorithm>

namespace kardelo {

frmSpeedTest::frmSpeedTest(Environment environment, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::frmSpeedTest>()),
      m_environment(std::move(environment))
{
    presentAsFrame(staticMetaObject);
    ensureLayoutFonts();
    m_ui->setupUi(this);
    startUp();
}

frmSpeedTest::~frmSpeedTest()
{
    containAndLog("frmSpeedTest", [this] { shutDown(); });
    // The list outlives this part of the window by a moment (its widgets go with QWidget's
    // destructor) and may still paint then: it must not call back into a window that is gone.
    m_ui->ListView1->SetDrawCallback(nullptr);
    m_ui->ListView1->disconnect(this);
}

void frmSpeedTest::startUp()
{
    using namespace controls;
    ignoreErrors([&] {
        for (const auto speed : {Label2, Label4, Label18, Label19})
            setText(speed, messages::ThroughputReset);
        for (const auto time : {Label3, Label1, Label20, Label21})
            setText(time, messages::TimeReset);
        for (const auto space : {Label22, Label33, Label11})
            setText(space, QStringLiteral("0"));
    });
    ignoreErrors([&] { fillSettingsLists(); });
    ignoreErrors([&] {
        RegisterDeviceChange(
            registerWindow(this), [this] { m_ui->Command2->click(); }, m_environment.roots);
    });
    ignoreErrors([&] {
        ListView& list = *m_ui->ListView1;
        list.LoadStoredProperties();
        list.SetRedraw(false);
        create_drive_grid(list, this);
        for (int row = 0; row < 9; ++row)
            list.AddItem();
        list.SetRedraw(true);
    });
    containAndLog("frmSpeedTest", [&] {
        results::prot_dump(m_environment.platform.fileSystem, m_environment.programFolder);
    });
    ignoreErrors([&] { loadDriveList(); });

    m_capacityChecks = new capacity::CapacityChecks(*this, [this] {
        return capacity::CapacityWindowEnvironment{
            m_environment.platform.fileSystem, m_environment.platform.clock, m_environment.dialogs,
            programFolder(), m_environment.capacityCheck};
    });
    connect(m_capacityChecks, &capacity::CapacityChecks::allEnded, this, [this] {
        if (m_closeAfterChecks && !m_testRunning)
            close();
    });
    m_driveMenu = new DriveRowMenu(*m_ui->ListView1);
    m_driveMenu->addEntry(capacity::CheckMenuEntry,
                          [this](const QString& drive) { openCapacityCheck(drive); });

    connect(m_ui->Command1, &QPushButton::clicked, this, [this] { runTest(true); });
    connect(m_ui->Command8, &QPushButton::clicked, this, [this] { runTest(false); });
    connect(m_ui->Command2, &QPushButton::clicked, this,
            [this] { ignoreErrors([&] { loadDriveList(); }); });
    connect(m_ui->Command3, &QPushButton::clicked, this, [this] { requestAbort(*this); });
    connect(m_ui->Command4, &QPushButton::clicked, this, [this] { requestClose(false); });
    connect(m_ui->Command6, &QPushButton::clicked, this, [this] {
        m_ui->Combo1->setEditText(settings::defaultFileSizeText());
        m_ui->Combo2->setEditText(settings::defaultBlockSizeText());
    });
    connect(m_ui->ListView1, &ListView::Click, this, [this] { updateFreeSpaceOfSelection(); });
    // A right click selects the row it hits without a Click; the frame follows it all the same,
    // so it shows the drive whose menu opens.
    connect(m_ui->ListView1, &ListView::MouseDown, this,
            [this](std::int32_t ItemIndex, std::int16_t MouseButton, std::int16_t, float, float) {
                constexpr std::int16_t RightButton = 2;
                if (MouseButton == RightButton && ItemIndex >= 0)
                    updateFreeSpaceOfSelection();
            });
    connect(m_ui->cmdProt, &QPushButton::clicked, this, [this] { saveResult(); });
    connect(m_ui->cmdSnap, &QPushButton::clicked, this, [this] { exportScreenshot(); });
    connect(m_ui->Command7, &QPushButton::clicked, this, [this] { showLog(); });
    connect(m_ui->Command5, &QPushButton::clicked, this,
            [this] { containAndLog("frmSpeedTest", [this] { showInfoWindow(this); }); });
}

void frmSpeedTest::fillSettingsLists()
{
    m_ui->Combo1->addItems(settings::fileSizeEntries());
    m_ui->Combo2->addItems(settings::blockSizeEntries());
    m_ui->Combo1->setEditText(settings::defaultFileSizeText());
    m_ui->Combo2->setEditText(settings::defaultBlockSizeText());
}

void frmSpeedTest::loadDriveList()
{
    m_drives = m_environment.drives ? m_environment.drives() : driveEntries(m_environment.roots);
    load_drive_list(*m_ui->ListView1, m_drives);
}

bool frmSpeedTest::canReach(const QString& drive) const
{
    const auto row =
        std::find_if(m_drives.begin(), m_drives.end(),
                     [&](const DriveListEntry& entry) { return entry.rootPath == drive; });
    return row != m_drives.end() && isStillMounted(*row);
}

void frmSpeedTest::updateFreeSpaceOfSelection()
{
    QString drive;
    ignoreErrors([&] { drive = check_select(*m_ui->ListView1); });
    if (!drive.isEmpty() && !canReach(drive)) {
        containAndLog("frmSpeedTest", [&] {
            showUnreachableDrive(*this, drive);
            showMessage(messages::DriveAccess, MessageIcon::Warning);
        });
        return;
    }
    ignoreErrors([&] { updateFreeSpace(*this, m_environment.platform.fileSystem, drive); });
}

// ---- Results ----

void frmSpeedTest::saveResult()
{
    using namespace controls;
    results::TestResult result;
    result.kind = m_state.testKind;
    result.singleWriteSpeed = text(Label2);
    result.singleReadSpeed = text(Label4);
    result.multiWriteSpeed = text(Label18);
    result.multiReadSpeed = text(Label19);
    result.fileSizeText = text(Combo1);
    result.blockSizeText = text(Combo2);
    result.testFileCount = m_state.testFileCount;
    result.totalSizeText = text(Label33);
    if (results::saveTestResult(dialogs(), m_environment.platform.fileSystem,
                                results::logFilePath(programFolder()), result,
                                check_snap(*m_ui->ListView1), QDateTime::currentDateTime()))
        m_ui->cmdProt->setEnabled(false);
}

void frmSpeedTest::exportScreenshot()
{
    const ScreenshotResult result =
        takeScreenshot(*this, check_snap(*m_ui->ListView1), programFolder(),
                       m_environment.platform.fileSystem, dialogs());
    if (result.attempted)
        m_ui->cmdSnap->setEnabled(false);
}

void frmSpeedTest::showLog()
{
    containAndLog("frmSpeedTest", [this] {
        const QString log = results::logFilePath(programFolder());
        if (results::logExists(m_environment.platform.fileSystem, log))
            showLogViewer(this, log);
        else
            showMessage(results::logMissingText(), MessageIcon::Warning);
    });
}

void frmSpeedTest::openCapacityCheck(const QString& drive)
{
    const auto row =
        std::find_if(m_drives.begin(), m_drives.end(),
                     [&](const DriveListEntry& entry) { return entry.rootPath == drive; });
    if (row == m_drives.end() || !isStillMounted(*row)) {
        showMessage(messages::DriveAccess, MessageIcon::Warning);
        return;
    }
    m_capacityChecks->open(*row);
}

QString frmSpeedTest::programFolder() const
{
    return m_environment.programFolder.isEmpty() ? results::programFolder()
                                                 : m_environment.programFolder;
}

Dialogs& frmSpeedTest::dialogs()
{
    return m_environment.dialogs ? *m_environment.dialogs : m_ownDialogs;
}

// ---- The tests ----

void frmSpeedTest::runTest(bool singleFile)
{
    // The buttons are disabled while a test runs, but a click from code could still arrive.
    if (m_testRunning || m_shutDown)
        return;
    m_testRunning = true;
    QElapsedTimer running;
    running.start();
    containAndLog("frmSpeedTest", [&] {
        m_lastReport = singleFile ? SingleFileTest(*this, m_environment.platform).run()
                                  : MultiFileTest(*this, m_environment.platform).run();
    });
    m_testRunning = false;
    // A close asked for while the test ran waited for its end-of-test path.
    if (m_closeAfterTest) {
        close();
        return;
    }
    // The user went on with something else during a long test: its figures are ready now.
    if (!isActiveWindow() &&
        std::chrono::milliseconds(running.elapsed()) >= m_environment.attentionAfter)
        containAndLog("frmSpeedTest", [this] {
            if (m_environment.askForAttention)
                m_environment.askForAttention(*this);
            else
                QApplication::alert(this);
        });
}

void frmSpeedTest::requestClose(bool fromTitleBar)
{
    // The title bar's close stops a running test; so does "Beenden", so that its shutdown never
    // pulls the test's handles and file from under it.
    if (fromTitleBar || m_testRunning)
        m_state.abortRequested = true;
    if (m_testRunning) {
        m_closeAfterTest = true;
        return;
    }
    close();
}

void frmSpeedTest::closeEvent(QCloseEvent* event)
{
    // Closing from the title bar (or Alt+F4) asks a running test to stop; so does any close
    // while a test runs, which then waits for the test's end-of-test path. Every capacity check
    // is stopped as Ctrl+C stops the console's, and waited for until it has cleared the medium.
    if (event->spontaneous() || m_testRunning)
        m_state.abortRequested = true;
    const bool checksRunning = m_capacityChecks->anyRunning();
    m_capacityChecks->stopAll();
    if (m_testRunning || checksRunning) {
        m_closeAfterTest = m_testRunning;
        m_closeAfterChecks = checksRunning;
        event->ignore();
        return;
    }
    containAndLog("frmSpeedTest", [this] { shutDown(); });
    event->accept();
}

void frmSpeedTest::shutDown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    FileSystem& files = m_environment.platform.fileSystem;
    containAndLog("frmSpeedTest", [&] { closeIfOpen(files, m_state.writeHandle); });
    containAndLog("frmSpeedTest", [&] { closeIfOpen(files, m_state.readHandle); });
    removeLeftTestFile(files, m_state.testFileName);
    containAndLog("frmSpeedTest", [] { closeLogViewer(); });
    containAndLog("frmSpeedTest", [] { closeInfoWindow(); });
    containAndLog("frmSpeedTest", [&] { UnregisterDeviceChange(registerWindow(this)); });
}

// ---- TestWindow ----

QWidget* frmSpeedTest::control(QStringView name) const
{
    return findChild<QWidget*>(name.toString());
}

QString frmSpeedTest::text(QStringView name) const
{
    QWidget* widget = control(name);
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        return combo->currentText();
    if (auto* frame = qobject_cast<QGroupBox*>(widget))
        return frame->title();
    throw RuntimeError(ErrorCode::SubscriptOutOfRange, name.toString());
}

void frmSpeedTest::setText(QStringView name, const QString& value)
{
    QWidget* widget = control(name);
    if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(value);
    else if (auto* combo = qobject_cast<QComboBox*>(widget))
        combo->setEditText(value);
    else if (auto* frame = qobject_cast<QGroupBox*>(widget))
        frame->setTitle(value);
    else
        throw RuntimeError(ErrorCode::SubscriptOutOfRange, name.toString());
}

void frmSpeedTest::setControlEnabled(QStringView name, bool enabled)
{
    if (QWidget* widget = control(name))
        widget->setEnabled(enabled);
}

void frmSpeedTest::setBusyPointer(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void frmSpeedTest::showMessage(const QString& message, MessageIcon icon)
{
    dialogs().message(icon == MessageIcon::Information ? QMessageBox::Information
                                                       : QMessageBox::Warning,
                      message);
}

void frmSpeedTest::processEvents()
{
    QCoreApplication::processEvents();
}

QString frmSpeedTest::checkSelect()
{
    const QString drive = check_select(*m_ui->ListView1);
    if (!drive.isEmpty() && !canReach(drive))
        throw RuntimeError(ErrorCode::BadFileNameOrNumber, drive);
    return drive;
}

void frmSpeedTest::setProgressBackground(OleColor color)
{
    m_ui->picProgress->setBackColor(color);
}

void frmSpeedTest::updateProgress(const ProgressRequest& request)
{
    m_ui->picProgress->UpdateProgress(request);
}

bool frmSpeedTest::CustomDraw(std::int32_t ItemIndex, std::int32_t ColumnIndex,
                              std::int32_t& BackColor, std::int32_t& ForeColor)
{
    return driveRowColours(*m_ui->ListView1, ItemIndex, ColumnIndex, BackColor, ForeColor);
}

} // namespace kardelo
