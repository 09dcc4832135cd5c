#pragma once

#include "CheckReport.h"
#include "CheckRunner.h"
#include "Clock.h"
#include "Dialogs.h"
#include "DriveEntries.h"
#include "FileSystem.h"

#include <QTimer>
#include <QWidget>
#include <memory>
#include <optional>

namespace Ui {
class CapacityWindow;
}

namespace kardelo::capacity {

// The drive list's menu entry that opens the window.
inline const QString CheckMenuEntry = QStringLiteral("Kapazität und Daten prüfen…");

// What a check in a window starts from: the settings of the console's check, but a trace point
// every block or every 1 % of the data, whichever is larger, so that even a small medium's
// speed is drawn along its length.
CheckSettings windowCheckSettings();

struct CapacityWindowEnvironment {
    FileSystem& fileSystem;
    Clock& clock;
    // Message boxes and the question before closing; null: real ones over the window.
    Dialogs* dialogs = nullptr;
    // Where "Bild speichern" puts its picture.
    QString programFolder;
    // What every check starts from; the window sets the folder, the amount and the options.
    CheckSettings settings = windowCheckSettings();
};

// The capacity and data check of one medium: the medium, how much to check and whether to keep
// the files or only read back kept ones; the throughput along the medium as the check runs, its
// progress, its figures and its verdict in green or red. The check runs on a thread of its own;
// the window looks at its news ten times a second.
class CapacityWindow : public QWidget {
    Q_OBJECT

public:
    using Environment = CapacityWindowEnvironment;
    static constexpr int NewsIntervalMs = 100;

    CapacityWindow(DriveListEntry medium, Environment environment, QWidget* parent = nullptr);
    // A check still running is stopped and waited for.
    ~CapacityWindow() override;

    const DriveListEntry& medium() const { return m_medium; }
    // Another mount of the medium's mount point; ignored while a check runs.
    void setMedium(const DriveListEntry& medium);
    bool checkRunning() const { return m_runner.running(); }
    // Ends a running check at its next block, as Ctrl+C ends the console's, and closes the
    // window once it has ended; closes it at once when none runs. Asks nothing.
    void stopAndClose();
    const std::optional<CheckReport>& lastReport() const { return m_runner.report(); }
    // The result as "Text kopieren" copies it; empty before a check ended.
    QString summaryText() const;
    // What the question before closing asks.
    QString closeQuestion() const;
    Ui::CapacityWindow& ui() { return *m_ui; }

signals:
    void checkEnded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showMedium();
    void start();
    void setRunning(bool running);
    void showNews();
    void showProgress(const CheckObserver::Progress& progress);
    void showResult();
    void showMessages();
    void saveImage();
    void copySummary();
    QString imageName() const;
    Dialogs& dialogs();

    std::unique_ptr<Ui::CapacityWindow> m_ui;
    DriveListEntry m_medium;
    Environment m_environment;
    WidgetDialogs m_ownDialogs{this};
    CheckRunner m_runner;
    QTimer m_newsTimer;
    CheckPhase m_phase = CheckPhase::Preparing;
    int m_percent = 0; // of the phase running
    QStringList m_messages;
    bool m_keepFiles = false;
    bool m_closeWhenEnded = false;
};

} // namespace kardelo::capacity
