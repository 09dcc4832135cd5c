#include "CapacityChecks.h"

#include <algorithm>

namespace kardelo::capacity {

CapacityChecks::CapacityChecks(QWidget& owner,
                               std::function<CapacityWindowEnvironment()> environment)
    : QObject(&owner), m_owner(owner), m_environment(std::move(environment))
{}

CapacityChecks::~CapacityChecks()
{
    // Their checks are stopped and waited for by the windows themselves.
    for (const QPointer<CapacityWindow>& window : m_windows)
        delete window.data();
}

std::vector<CapacityWindow*> CapacityChecks::windows() const
{
    std::vector<CapacityWindow*> open;
    for (const QPointer<CapacityWindow>& window : m_windows)
        if (window)
            open.push_back(window.data());
    return open;
}

CapacityWindow& CapacityChecks::open(const DriveListEntry& medium)
{
    std::erase_if(m_windows, [](const QPointer<CapacityWindow>& window) { return !window; });
    for (const QPointer<CapacityWindow>& window : m_windows) {
        if (window->medium().rootPath == medium.rootPath) {
            window->setMedium(medium);
            window->showNormal();
            window->raise();
            window->activateWindow();
            return *window;
        }
    }
    auto* window = new CapacityWindow(medium, m_environment(), &m_owner);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowIcon(m_owner.windowIcon());
    connect(window, &CapacityWindow::checkEnded, this, [this] {
        if (!anyRunning())
            emit allEnded();
    });
    m_windows.emplace_back(window);
    window->show();
    return *window;
}

bool CapacityChecks::anyRunning() const
{
    const std::vector<CapacityWindow*> open = windows();
    return std::any_of(open.begin(), open.end(),
                       [](const CapacityWindow* window) { return window->checkRunning(); });
}

void CapacityChecks::stopAll()
{
    for (CapacityWindow* window : windows())
        window->stopAndClose();
}

} // namespace kardelo::capacity
