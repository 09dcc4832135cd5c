#pragma once

#include <cstdint>
#include <functional>
#include <optional>

class QEvent;
class QObject;
class QWidget;

// Window messages for our widgets: each registered widget gets an integer handle and a chain of
// window procedures whose base is the widget's own procedure: Qt's normal handling of the event
// behind the message. Qt events of a registered widget travel the chain as messages; Qt
// handles an event when, and only when, its message reaches the base.
namespace kardelo {

using WindowHandle = std::int32_t;
inline constexpr WindowHandle NoWindow = 0;

inline constexpr std::uint32_t WM_SIZE = 0x05;
inline constexpr std::uint32_t WM_SETFOCUS = 0x07;
inline constexpr std::uint32_t WM_KILLFOCUS = 0x08;
inline constexpr std::uint32_t WM_PAINT = 0x0F;
inline constexpr std::uint32_t WM_NCLBUTTONDOWN = 0xA1;
inline constexpr std::uint32_t WM_NCRBUTTONDOWN = 0xA4;
inline constexpr std::uint32_t WM_NCMBUTTONDOWN = 0xA7;
inline constexpr std::uint32_t WM_KEYDOWN = 0x100;
inline constexpr std::uint32_t WM_KEYUP = 0x101;
inline constexpr std::uint32_t WM_CHAR = 0x102;
inline constexpr std::uint32_t WM_HSCROLL = 0x114;
inline constexpr std::uint32_t WM_VSCROLL = 0x115;
inline constexpr std::uint32_t WM_MOUSEMOVE = 0x200;
inline constexpr std::uint32_t WM_LBUTTONDOWN = 0x201;
inline constexpr std::uint32_t WM_LBUTTONUP = 0x202;
inline constexpr std::uint32_t WM_LBUTTONDBLCLK = 0x203;
inline constexpr std::uint32_t WM_RBUTTONDOWN = 0x204;
inline constexpr std::uint32_t WM_RBUTTONUP = 0x205;
inline constexpr std::uint32_t WM_RBUTTONDBLCLK = 0x206;
inline constexpr std::uint32_t WM_MBUTTONDOWN = 0x207;
inline constexpr std::uint32_t WM_MBUTTONUP = 0x208;
inline constexpr std::uint32_t WM_MBUTTONDBLCLK = 0x209;
inline constexpr std::uint32_t WM_MOUSEWHEEL = 0x20A;
inline constexpr std::uint32_t WM_DEVICECHANGE = 0x219;

// Request codes of WM_HSCROLL / WM_VSCROLL (low word of wParam).
inline constexpr std::int32_t SB_LINEUP = 0;
inline constexpr std::int32_t SB_LINEDOWN = 1;
inline constexpr std::int32_t SB_PAGEUP = 2;
inline constexpr std::int32_t SB_PAGEDOWN = 3;
inline constexpr std::int32_t SB_THUMBPOSITION = 4;
inline constexpr std::int32_t SB_THUMBTRACK = 5;
inline constexpr std::int32_t SB_TOP = 6;
inline constexpr std::int32_t SB_BOTTOM = 7;
inline constexpr std::int32_t SB_ENDSCROLL = 8;

// Hit-test codes of the non-client button messages (wParam).
inline constexpr std::int32_t HTHSCROLL = 6;
inline constexpr std::int32_t HTVSCROLL = 7;

// Key-state bits of the mouse messages (wParam; low word of WM_MOUSEWHEEL's wParam).
inline constexpr std::int32_t MK_LBUTTON = 0x01;
inline constexpr std::int32_t MK_RBUTTON = 0x02;
inline constexpr std::int32_t MK_SHIFT = 0x04;
inline constexpr std::int32_t MK_CONTROL = 0x08;
inline constexpr std::int32_t MK_MBUTTON = 0x10;

// Virtual-key codes of WM_KEYDOWN / WM_KEYUP. Letters and digits are their upper-case ASCII
// codes; keys without a code here arrive as 0.
inline constexpr std::int32_t VK_BACK = 0x08;
inline constexpr std::int32_t VK_TAB = 0x09;
inline constexpr std::int32_t VK_RETURN = 0x0D;
inline constexpr std::int32_t VK_SHIFT = 0x10;
inline constexpr std::int32_t VK_CONTROL = 0x11;
inline constexpr std::int32_t VK_ESCAPE = 0x1B;
inline constexpr std::int32_t VK_SPACE = 0x20;
inline constexpr std::int32_t VK_PRIOR = 0x21;
inline constexpr std::int32_t VK_NEXT = 0x22;
inline constexpr std::int32_t VK_END = 0x23;
inline constexpr std::int32_t VK_HOME = 0x24;
inline constexpr std::int32_t VK_LEFT = 0x25;
inline constexpr std::int32_t VK_UP = 0x26;
inline constexpr std::int32_t VK_RIGHT = 0x27;
inline constexpr std::int32_t VK_DOWN = 0x28;
inline constexpr std::int32_t VK_DELETE = 0x2E;

constexpr std::int32_t makeLong(int low, int high)
{
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(high) << 16) |
                                     (static_cast<std::uint32_t>(low) & 0xFFFFu));
}
constexpr std::uint16_t lowWord(std::int32_t value)
{
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(value) & 0xFFFFu);
}
constexpr std::uint16_t highWord(std::int32_t value)
{
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(value) >> 16);
}
constexpr std::int16_t signedLowWord(std::int32_t value)
{
    return static_cast<std::int16_t>(lowWord(value));
}
constexpr std::int16_t signedHighWord(std::int32_t value)
{
    return static_cast<std::int16_t>(highWord(value));
}

using WindowProcedure = std::function<std::int32_t(WindowHandle window, std::uint32_t msg,
                                                   std::int32_t wParam, std::int32_t lParam)>;

struct WindowMessage {
    std::uint32_t msg = 0;
    std::int32_t wParam = 0;
    std::int32_t lParam = 0;
};

// The widget's handle, handed out on first use and stable while the widget lives; its events
// are translated from then on. For a QAbstractScrollArea the client area is the viewport:
// mouse, wheel, size and paint messages come from there, key and focus messages from the area.
WindowHandle registerWindow(QWidget* widget);
bool isWindow(WindowHandle window);
QWidget* widgetOf(WindowHandle window);

// Puts the procedure in front of the window's chain and returns the one it replaced, or an
// empty function (and nothing changes) when the window or the procedure is invalid.
WindowProcedure setWindowProcedure(WindowHandle window, WindowProcedure procedure);
// The procedure now in front of the window's chain; empty for an invalid window.
WindowProcedure windowProcedure(WindowHandle window);
// The reason of the last failed setWindowProcedure, numbered like the system errors it stands
// for (1400 invalid window handle, 87 invalid parameter).
std::int32_t lastWindowError();

// Passes a message on to a procedure further down a chain (0 for an empty one).
std::int32_t callWindowProcedure(const WindowProcedure& procedure, WindowHandle window,
                                 std::uint32_t msg, std::int32_t wParam, std::int32_t lParam);
// Delivers a message through the window's current chain; 0 for an invalid window.
std::int32_t sendMessage(WindowHandle window, std::uint32_t msg, std::int32_t wParam,
                         std::int32_t lParam);

// The message a Qt input, focus, size or paint event stands for, in the coordinates of the
// widget that received it (the wheel, like the system's, in screen coordinates).
std::optional<WindowMessage> messageForEvent(const QEvent& event);
// Delivers a message with no Qt event behind it; whatever a procedure throws ends here, in the
// event log.
void deliverMessage(WindowHandle window, const WindowMessage& message) noexcept;

struct EventDelivery {
    bool filtered = false;            // what an event filter returns: Qt is done with the event
    bool reachedOwnProcedure = false; // Qt's own handling ran inside the chain
};
// For event filters that translate a registered window's events: delivers the message of an
// event sent to target through the window's chain, where the window's own procedure hands
// the event on to Qt, so procedures behind it see the state after Qt handled it and its
// reply. An event stopped by a procedure is not handed on. The event is left to Qt as usual
// (filtered false) for an unknown window, while it is being handed on, and when a procedure
// failed before it reached the window. Whatever a procedure throws ends here, in the event log.
EventDelivery deliverEvent(WindowHandle window, QObject* target, QEvent* event,
                           const WindowMessage& message) noexcept;

} // namespace kardelo
