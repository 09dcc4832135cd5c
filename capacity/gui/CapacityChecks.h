#pragma once

#include "CapacityWindow.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <vector>

namespace kardelo::capacity {

// The check windows a main window opened: one per mount point, none of them modal. Closing the
// main window stops every running check as Ctrl+C would and waits for their ends, so no check's
// file stays behind unless the user chose to keep them.
class CapacityChecks : public QObject {
    Q_OBJECT

public:
    // The windows belong to `owner` (they stay above it and go with it); `environment` tells
    // what each new window works with.
    CapacityChecks(QWidget& owner, std::function<CapacityWindowEnvironment()> environment);
    ~CapacityChecks() override;

    // The medium's window, made or raised; a window whose check is over takes the row's
    // current mount.
    CapacityWindow& open(const DriveListEntry& medium);
    std::vector<CapacityWindow*> windows() const;
    bool anyRunning() const;
    // Every running check ends at its next block and its window closes once it has; the
    // windows without a check close at once.
    void stopAll();

signals:
    // No check runs any more.
    void allEnded();

private:
    QWidget& m_owner;
    std::function<CapacityWindowEnvironment()> m_environment;
    std::vector<QPointer<CapacityWindow>> m_windows;
};

} // namespace kardelo::capacity
