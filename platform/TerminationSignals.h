#pragma once

#include <QObject>
#include <atomic>
#include <memory>

class QSocketNotifier;

namespace kardelo {

// SIGTERM, SIGINT and SIGHUP, the ways a terminal or an ending session asks a program to stop.
// A running test then stops at its next block and deletes its files instead of leaving them on
// the medium.

// For a program without an event loop: the signals set flag, which the running test reads.
void setFlagOnTermination(std::atomic<bool>& flag);

// For a program with an event loop: the signals arrive as requested() on the loop, where the
// program can close its window as a user would. Only one may exist at a time.
class TerminationSignals final : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void requested();

private:
    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace kardelo
