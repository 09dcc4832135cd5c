#include "Subclasser.h"

#include "EventLog.h"
#include "RuntimeError.h"

#include <QString>
#include <algorithm>
#include <array>

namespace kardelo {

namespace {

void report(const char* routine, const QString& message)
{
    eventLog().writeError(QStringLiteral("Subclasser.") + QLatin1String(routine) +
                          QStringLiteral(": ") + message);
}

} // namespace

// A count of 0: no messages; 1 to MSG_ENTRIES: that many entries in use, 0 marking a free slot;
// ALL_MESSAGES: every message.
struct MessageTable {
    std::int32_t count = 0;
    std::array<std::int32_t, Subclasser::MSG_ENTRIES> entries{};

    bool wants(std::uint32_t uMsg) const
    {
        if (count == Subclasser::ALL_MESSAGES)
            return true;
        const auto used = entries.begin() + std::clamp(count, 0, Subclasser::MSG_ENTRIES);
        return uMsg != 0 &&
               std::find(entries.begin(), used, static_cast<std::int32_t>(uMsg)) != used;
    }
};

struct SubclassedWindow {
    std::int32_t inUse = 0; // calls into the window's own procedure now in progress
    bool removal = false;
    bool released = false;
    WindowHandle hWnd = NoWindow;
    ISubclass* client = nullptr;
    WindowProcedure previous;
    MessageTable before;
    MessageTable after;
    std::int32_t lParamUser = 0;
};

namespace {

class InUse {
public:
    explicit InUse(std::int32_t& counter) : m_counter(counter) { ++m_counter; }
    ~InUse() { --m_counter; }
    InUse(const InUse&) = delete;
    InUse& operator=(const InUse&) = delete;

private:
    std::int32_t& m_counter;
};

// The procedure placed in front of a subclassed window. It shares its window's record with the
// Subclasser's map, so it can still release the window after UnSubclass dropped the record.
struct GeneratedProcedure {
    std::shared_ptr<SubclassedWindow> window;

    std::int32_t operator()(WindowHandle hWnd, std::uint32_t uMsg, std::int32_t wParam,
                            std::int32_t lParam) const
    {
        SubclassedWindow& record = *window;
        if (record.released)
            return callWindowProcedure(record.previous, hWnd, uMsg, wParam, lParam);

        bool bHandled = false;
        std::int32_t lReturn = 0;
        if (record.client && record.before.wants(uMsg)) {
            record.client->WndProc(true, bHandled, lReturn, hWnd, uMsg, wParam, lParam,
                                   record.lParamUser);
            if (bHandled)
                return lReturn;
        }
        {
            const InUse call(record.inUse);
            lReturn = callWindowProcedure(record.previous, hWnd, uMsg, wParam, lParam);
        }
        if (record.inUse == 0 && record.removal) {
            release(record);
            return lReturn;
        }
        if (record.client && record.after.wants(uMsg))
            record.client->WndProc(false, bHandled, lReturn, hWnd, uMsg, wParam, lParam,
                                   record.lParamUser);
        return lReturn;
    }

    static void release(SubclassedWindow& record)
    {
        record.released = true;
        // A procedure placed in front of this one since holds it as its previous; putting the
        // window's own procedure back would cut that one out, so this one stays, passing on.
        const WindowProcedure front = windowProcedure(record.hWnd);
        const auto* inFront = front.target<GeneratedProcedure>();
        if (inFront && inFront->window.get() == &record)
            setWindowProcedure(record.hWnd, record.previous);
    }
};

void zAddMsg(MessageTable& table, std::int32_t uMsg)
{
    if (uMsg == Subclasser::ALL_MESSAGES) {
        table.count = Subclasser::ALL_MESSAGES;
        return;
    }
    // The count decides, so a full table refuses messages even where deletions left free slots.
    if (table.count >= Subclasser::MSG_ENTRIES) {
        report("zAddMsg", QStringLiteral("Message table overflow. Either increase the value of "
                                         "Const MSG_ENTRIES or use ALL_MESSAGES instead of "
                                         "specific message values"));
        return;
    }
    const int used = std::max(table.count, 0);
    for (int entry = 0; entry < used; ++entry) {
        if (table.entries[entry] == 0) {
            table.entries[entry] = uMsg;
            return;
        }
        if (table.entries[entry] == uMsg)
            return;
    }
    table.entries[used] = uMsg;
    table.count = used + 1;
}

void zDelMsg(MessageTable& table, std::int32_t uMsg)
{
    if (uMsg == Subclasser::ALL_MESSAGES) {
        table.count = 0;
        return;
    }
    for (int entry = 0; entry < table.count; ++entry) {
        if (table.entries[entry] == uMsg) {
            table.entries[entry] = 0;
            return;
        }
    }
    report("zDelMsg", QStringLiteral("Message &H%1 not found in table")
                          .arg(QString::number(static_cast<std::uint32_t>(uMsg), 16).toUpper()));
}

} // namespace

Subclasser::~Subclasser()
{
    containAndLog("Subclasser", [this] { Terminate(); });
}

bool Subclasser::Subclass(WindowHandle lng_hWnd, ISubclass* oCallback, std::int32_t lParamUser,
                          [[maybe_unused]] bool bIdeSafety)
{
    constexpr const char* routine = "sc_Subclass";
    if (!isWindow(lng_hWnd)) {
        report(routine, QStringLiteral("Invalid window handle"));
        return false;
    }
    // Window handles exist only for this process's own widgets, so none belongs to another
    // process; and there is no development environment whose run state bIdeSafety could ask.
    if (!m_windows)
        m_windows.emplace();
    const bool registered = std::any_of(m_windows->begin(), m_windows->end(),
                                        [&](const auto& entry) { return entry.first == lng_hWnd; });
    if (registered) {
        report(routine, QStringLiteral("Window handle is already subclassed"));
        return false;
    }
    auto window = std::make_shared<SubclassedWindow>();
    window->hWnd = lng_hWnd;
    window->client = oCallback;
    window->lParamUser = lParamUser;
    m_windows->emplace_back(lng_hWnd, window);

    WindowProcedure previous = setWindowProcedure(lng_hWnd, GeneratedProcedure{window});
    if (!previous) {
        report(routine, QStringLiteral("SetWindowLong failed, error #%1").arg(lastWindowError()));
        m_windows->pop_back();
        return false;
    }
    window->previous = std::move(previous);
    return true;
}

void Subclasser::UnSubclass(WindowHandle lng_hWnd)
{
    if (!m_windows) {
        report("UnSubclass", QStringLiteral("Window handle isn't subclassed"));
        return;
    }
    const std::shared_ptr<SubclassedWindow> window = zMap_hWnd(lng_hWnd);
    if (!window)
        return;
    window->removal = true;
    DelMsg(lng_hWnd, ALL_MESSAGES, MSG_BEFORE_AND_AFTER);
    std::erase_if(*m_windows, [&](const auto& entry) { return entry.first == lng_hWnd; });
}

void Subclasser::Terminate()
{
    if (!m_windows)
        return;
    std::vector<WindowHandle> newestFirst;
    for (auto entry = m_windows->rbegin(); entry != m_windows->rend(); ++entry)
        newestFirst.push_back(entry->first);
    for (const WindowHandle hWnd : newestFirst)
        UnSubclass(hWnd);
    m_windows.reset();
}

void Subclasser::AddMsg(WindowHandle lng_hWnd, std::int32_t uMsg, std::int32_t When)
{
    const std::shared_ptr<SubclassedWindow> window = zMap_hWnd(lng_hWnd);
    if (!window)
        return;
    if (When & MSG_BEFORE)
        zAddMsg(window->before, uMsg);
    if (When & MSG_AFTER)
        zAddMsg(window->after, uMsg);
}

void Subclasser::DelMsg(WindowHandle lng_hWnd, std::int32_t uMsg, std::int32_t When)
{
    const std::shared_ptr<SubclassedWindow> window = zMap_hWnd(lng_hWnd);
    if (!window)
        return;
    if (When & MSG_BEFORE)
        zDelMsg(window->before, uMsg);
    if (When & MSG_AFTER)
        zDelMsg(window->after, uMsg);
}

std::int32_t Subclasser::CallOrigWndProc(WindowHandle lng_hWnd, std::uint32_t uMsg,
                                         std::int32_t wParam, std::int32_t lParam)
{
    const std::shared_ptr<SubclassedWindow> window = zMap_hWnd(lng_hWnd);
    return window ? callWindowProcedure(window->previous, lng_hWnd, uMsg, wParam, lParam) : 0;
}

std::int32_t Subclasser::lParamUser(WindowHandle lng_hWnd)
{
    const std::shared_ptr<SubclassedWindow> window = zMap_hWnd(lng_hWnd);
    return window ? window->lParamUser : 0;
}

void Subclasser::lParamUser(WindowHandle lng_hWnd, std::int32_t newValue)
{
    if (const std::shared_ptr<SubclassedWindow> window = zMap_hWnd(lng_hWnd))
        window->lParamUser = newValue;
}

std::shared_ptr<SubclassedWindow> Subclasser::zMap_hWnd(WindowHandle lng_hWnd)
{
    if (!m_windows) {
        report("zMap_hWnd", QStringLiteral("Subclassing hasn't been started"));
        return nullptr;
    }
    const auto entry =
        std::find_if(m_windows->begin(), m_windows->end(),
                     [&](const auto& candidate) { return candidate.first == lng_hWnd; });
    if (entry == m_windows->end()) {
        report("zMap_hWnd", QStringLiteral("Window handle isn't subclassed"));
        return nullptr;
    }
    return entry->second;
}

} // namespace kardelo
