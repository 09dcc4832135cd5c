#pragma once

#include "CapacityWindow.h"
#include "Dialogs.h"
#include "DriveList.h"
#include "ICustomDraw.h"
#include "Platform.h"
#include "ResultsLog.h"
#include "TestRun.h"
#include "TestWindow.h"

#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace Ui {
class frmSpeedTest;
}

namespace kardelo {

class DriveRowMenu;
namespace capacity {
class CapacityChecks;
}

// What the main window takes from the machine; tests hand in a temporary folder as the drive.
struct MainWindowEnvironment {
    Platform platform = Platform::system();
    // Where the drive list and the volume monitor read the mounts and devices.
    SystemRoots roots;
    // The drive rows; empty: the media mounted on this machine (driveEntries).
    std::function<std::vector<DriveListEntry>()> drives;
    // Where the results log and the screenshots go; empty: the program folder.
    QString programFolder;
    // Message boxes and the name prompt; null: real ones over the window (tests answer them).
    Dialogs* dialogs = nullptr;
    // A test that ran at least this long and ends while the window is not the active one asks
    // for the user's attention (QApplication::alert, unless given here).
    std::chrono::milliseconds attentionAfter = std::chrono::seconds(5);
    std::function<void(QWidget&)> askForAttention;
    // What every capacity check started from the drive list's menu starts from.
    capacity::CheckSettings capacityCheck = capacity::windowCheckSettings();
};

// The main window: the drive list, both speed tests with their settings and results, the
// free space of the selected drive, the progress bar and the buttons. It is the tests' window
// (TestWindow) and the drive list's colour callback (ICustomDraw).
class frmSpeedTest : public QWidget, public TestWindow, public ICustomDraw {
    Q_OBJECT

public:
    using Environment = MainWindowEnvironment;

    explicit frmSpeedTest(Environment environment = {}, QWidget* parent = nullptr);
    ~frmSpeedTest() override;

    // TestWindow
    TestState& testState() override { return m_state; }
    QString text(QStringView control) const override;
    void setText(QStringView control, const QString& text) override;
    void setControlEnabled(QStringView control, bool enabled) override;
    QString caption() const override { return windowTitle(); }
    void setCaption(const QString& caption) override { setWindowTitle(caption); }
    void setBusyPointer(bool busy) override;
    void showMessage(const QString& text, MessageIcon icon) override;
    void processEvents() override;
    QString checkSelect() override;
    void setProgressBackground(OleColor color) override;
    void updateProgress(const ProgressRequest& request) override;

    // ICustomDraw: the drive list's row and separator colours.
    bool CustomDraw(std::int32_t ItemIndex, std::int32_t ColumnIndex, std::int32_t& BackColor,
                    std::int32_t& ForeColor) override;

    bool testRunning() const { return m_testRunning; }
    // The figures of the last run, for benchmarks that compare the window with the console.
    const RunReport& lastReport() const { return m_lastReport; }
    Ui::frmSpeedTest& ui() { return *m_ui; }
    // The capacity checks opened from the drive list's menu.
    capacity::CapacityChecks& capacityChecks() { return *m_capacityChecks; }
    DriveRowMenu& driveMenu() { return *m_driveMenu; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void startUp();
    void fillSettingsLists();
    void loadDriveList();
    bool canReach(const QString& drive) const;
    void updateFreeSpaceOfSelection();
    void runTest(bool singleFile);
    void saveResult();
    void exportScreenshot();
    void showLog();
    void openCapacityCheck(const QString& drive);
    QString programFolder() const;
    Dialogs& dialogs();
    void requestClose(bool fromTitleBar);
    void shutDown();
    QWidget* control(QStringView name) const;

    std::unique_ptr<Ui::frmSpeedTest> m_ui;
    Environment m_environment;
    WidgetDialogs m_ownDialogs{this};
    // The rows of the drive list as they were made, with the mounts they stand for.
    std::vector<DriveListEntry> m_drives;
    TestState m_state;
    RunReport m_lastReport;
    bool m_busy = false;
    bool m_testRunning = false;
    bool m_closeAfterTest = false;
    bool m_closeAfterChecks = false;
    DriveRowMenu* m_driveMenu = nullptr;                  // owned by the drive list
    capacity::CapacityChecks* m_capacityChecks = nullptr; // owned by the window
    bool m_shutDown = false;
};

} // namespace kardelo
