#pragma once

#include "ISubclass.h"
#include "WindowMessages.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace kardelo {

struct SubclassedWindow;

// Puts a procedure in front of a window's own and hands the messages a client asked for to the
// client's WndProc. One Subclasser serves any number of windows. Failures are written to the
// event log, never thrown.
class Subclasser {
public:
    static constexpr std::int32_t ALL_MESSAGES = -1;
    static constexpr int MSG_ENTRIES = 32;
    static constexpr std::int32_t MSG_BEFORE = 1;
    static constexpr std::int32_t MSG_AFTER = 2;
    static constexpr std::int32_t MSG_BEFORE_AND_AFTER = 3;

    Subclasser() = default;
    ~Subclasser();
    Subclasser(const Subclasser&) = delete;
    Subclasser& operator=(const Subclasser&) = delete;

    // The client must outlive the window's subclassing (it releases its windows before it goes).
    bool Subclass(WindowHandle lng_hWnd, ISubclass* oCallback, std::int32_t lParamUser = 0,
                  bool bIdeSafety = true);
    // Stops the callbacks at once; the window's own procedure is back in place once the next
    // message has passed.
    void UnSubclass(WindowHandle lng_hWnd);
    void Terminate();

    void AddMsg(WindowHandle lng_hWnd, std::int32_t uMsg, std::int32_t When = MSG_AFTER);
    void DelMsg(WindowHandle lng_hWnd, std::int32_t uMsg, std::int32_t When = MSG_AFTER);

    std::int32_t CallOrigWndProc(WindowHandle lng_hWnd, std::uint32_t uMsg, std::int32_t wParam,
                                 std::int32_t lParam);
    std::int32_t lParamUser(WindowHandle lng_hWnd);
    void lParamUser(WindowHandle lng_hWnd, std::int32_t newValue);

private:
    std::shared_ptr<SubclassedWindow> zMap_hWnd(WindowHandle lng_hWnd);

    // The subclassed windows in the order of subclassing; none before the first Subclass and
    // after Terminate.
    std::optional<std::vector<std::pair<WindowHandle, std::shared_ptr<SubclassedWindow>>>>
        m_windows;
};

} // namespace kardelo
