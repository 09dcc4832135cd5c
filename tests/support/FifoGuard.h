#pragma once

#include <QFile>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace kardelo::testing {

// Opens the other end of a FIFO when the code under test has not finished within a while, so an
// open that waits for it fails the test instead of blocking the suite for good.
class FifoGuard {
public:
    explicit FifoGuard(const QString& fifo)
        : m_fifo(QFile::encodeName(fifo)), m_thread([this] {
              std::unique_lock lock(m_mutex);
              if (m_finished.wait_for(lock, std::chrono::seconds(10), [this] { return m_done; }))
                  return;
              m_fired = true;
              // Read and write at once: this never waits itself and releases either kind of opener.
              const int fd = ::open(m_fifo.constData(), O_RDWR | O_NONBLOCK);
              if (fd >= 0)
                  ::close(fd);
          })
    {}
    ~FifoGuard()
    {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_finished.notify_all();
        m_thread.join();
    }
    FifoGuard(const FifoGuard&) = delete;
    FifoGuard& operator=(const FifoGuard&) = delete;

    // Did the code under test hang on the FIFO?
    bool fired() const
    {
        std::lock_guard lock(m_mutex);
        return m_fired;
    }

private:
    QByteArray m_fifo;
    mutable std::mutex m_mutex;
    std::condition_variable m_finished;
    bool m_done = false;
    bool m_fired = false;
    std::thread m_thread;
};

} // namespace kardelo::testing
