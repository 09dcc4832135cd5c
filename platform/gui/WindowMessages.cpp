#include "WindowMessages.h"

#include "EventLog.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QWheelEvent>
#include <QWidget>
#include <algorithm>
#include <array>
#include <unordered_map>
#include <vector>

namespace kardelo {
namespace {

constexpr std::int32_t ERROR_INVALID_PARAMETER = 87;
constexpr std::int32_t ERROR_INVALID_WINDOW_HANDLE = 1400;

struct Window {
    QWidget* widget = nullptr;
    WindowProcedure procedure;
};

// A message on its way through a window's chain, with the Qt event it stands for, if any.
// Deliveries nest when a procedure sends further messages, so the innermost one is the last.
struct Delivery {
    WindowHandle window = NoWindow;
    QObject* target = nullptr;
    QEvent* event = nullptr;
    bool reachedOwnProcedure = false;
};

struct Registry {
    std::unordered_map<WindowHandle, Window> windows;
    std::unordered_map<const QWidget*, WindowHandle> handles;
    std::vector<Delivery> deliveries;
    // Events a window's own procedure is handing on to Qt right now: the filters let them pass.
    std::vector<const QEvent*> handedOn;
    WindowHandle nextHandle = 1;
    std::int32_t lastError = 0;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

Window* findWindow(WindowHandle window)
{
    auto& windows = registry().windows;
    const auto found = windows.find(window);
    return found == windows.end() ? nullptr : &found->second;
}

// Qt delivers mouse and key events that a widget ignores to its parents itself.
bool propagates(const QEvent& event)
{
    switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        return true;
    default:
        return false;
    }
}

class HandingOn {
public:
    explicit HandingOn(const QEvent* event) { registry().handedOn.push_back(event); }
    ~HandingOn() { registry().handedOn.pop_back(); }
    HandingOn(const HandingOn&) = delete;
    HandingOn& operator=(const HandingOn&) = delete;
};

// The base of every chain: Qt's own handling of the event behind the message. Its reply is 1
// when the widget took the event, 0 when it let it pass (and for a message without an event).
WindowProcedure ownProcedure(WindowHandle window)
{
    return [window](WindowHandle, std::uint32_t, std::int32_t, std::int32_t) -> std::int32_t {
        auto& deliveries = registry().deliveries;
        if (deliveries.empty() || deliveries.back().window != window)
            return 0;
        Delivery& delivery = deliveries.back();
        delivery.reachedOwnProcedure = true;
        if (!delivery.event)
            return 0;
        QObject* target = delivery.target;
        QEvent* event = delivery.event;
        {
            const HandingOn passing(event);
            QCoreApplication::sendEvent(target, event);
        }
        return event->isAccepted() ? 1 : 0;
    };
}

// Tells whether the window's own procedure ran, also when a procedure threw on the way out.
class DeliveryScope {
public:
    DeliveryScope(const Delivery& delivery, bool& reachedOwnProcedure)
        : m_reached(reachedOwnProcedure)
    {
        registry().deliveries.push_back(delivery);
    }
    ~DeliveryScope()
    {
        m_reached = registry().deliveries.back().reachedOwnProcedure;
        registry().deliveries.pop_back();
    }
    DeliveryScope(const DeliveryScope&) = delete;
    DeliveryScope& operator=(const DeliveryScope&) = delete;

private:
    bool& m_reached;
};

std::int32_t deliver(WindowHandle window, const WindowMessage& message, bool& reachedOwnProcedure,
                     QObject* target = nullptr, QEvent* event = nullptr)
{
    reachedOwnProcedure = false;
    const Window* found = findWindow(window);
    if (!found)
        return 0;
    // A copy: the procedure may replace itself in the chain while it runs.
    const WindowProcedure procedure = found->procedure;
    const DeliveryScope scope({window, target, event, false}, reachedOwnProcedure);
    return procedure(window, message.msg, message.wParam, message.lParam);
}

void forgetWindow(WindowHandle window)
{
    auto& windows = registry().windows;
    const auto found = windows.find(window);
    if (found == windows.end())
        return;
    registry().handles.erase(found->second.widget);
    windows.erase(found);
}

std::int32_t keyState(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    std::int32_t state = 0;
    if (buttons & Qt::LeftButton)
        state |= MK_LBUTTON;
    if (buttons & Qt::RightButton)
        state |= MK_RBUTTON;
    if (buttons & Qt::MiddleButton)
        state |= MK_MBUTTON;
    if (modifiers & Qt::ShiftModifier)
        state |= MK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        state |= MK_CONTROL;
    return state;
}

std::int32_t virtualKey(int key)
{
    // Qt numbers these keys with their upper-case ASCII codes, as the virtual keys do.
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return key;
    switch (key) {
    case Qt::Key_Backspace:
        return VK_BACK;
    case Qt::Key_Tab:
        return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Shift:
        return VK_SHIFT;
    case Qt::Key_Control:
        return VK_CONTROL;
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Space:
        return VK_SPACE;
    case Qt::Key_PageUp:
        return VK_PRIOR;
    case Qt::Key_PageDown:
        return VK_NEXT;
    case Qt::Key_End:
        return VK_END;
    case Qt::Key_Home:
        return VK_HOME;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Down:
        return VK_DOWN;
    case Qt::Key_Delete:
        return VK_DELETE;
    default:
        return 0;
    }
}

// Down, up and double-click message of a mouse button, in that order.
std::optional<std::array<std::uint32_t, 3>> buttonMessages(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return std::array{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK};
    case Qt::RightButton:
        return std::array{WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK};
    case Qt::MiddleButton:
        return std::array{WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK};
    default:
        return std::nullopt;
    }
}

std::optional<WindowMessage> mouseMessage(const QMouseEvent& event)
{
    const QPoint at = event.position().toPoint();
    const std::int32_t lParam = makeLong(at.x(), at.y());
    const std::int32_t wParam = keyState(event.buttons(), event.modifiers());
    if (event.type() == QEvent::MouseMove)
        return WindowMessage{WM_MOUSEMOVE, wParam, lParam};
    const auto messages = buttonMessages(event.button());
    if (!messages)
        return std::nullopt;
    const std::size_t which = event.type() == QEvent::MouseButtonPress     ? 0
                              : event.type() == QEvent::MouseButtonRelease ? 1
                                                                           : 2;
    return WindowMessage{(*messages)[which], wParam, lParam};
}

std::optional<WindowMessage> keyMessage(const QKeyEvent& event)
{
    constexpr std::uint32_t repeatCountOne = 1;
    constexpr std::uint32_t wasDown = 1u << 30;
    constexpr std::uint32_t released = 1u << 31;
    const std::int32_t key = virtualKey(event.key());
    if (event.type() == QEvent::KeyPress) {
        const std::uint32_t flags = repeatCountOne | (event.isAutoRepeat() ? wasDown : 0u);
        return WindowMessage{WM_KEYDOWN, key, static_cast<std::int32_t>(flags)};
    }
    // Qt reports a held key as release and press pairs; the system only repeats the press.
    if (event.isAutoRepeat())
        return std::nullopt;
    return WindowMessage{WM_KEYUP, key,
                         static_cast<std::int32_t>(repeatCountOne | wasDown | released)};
}

// Translates the events of one registered widget; lives as its child, so the window is
// forgotten together with the widget.
class EventTranslator final : public QObject {
public:
    EventTranslator(WindowHandle window, QWidget* widget) : QObject(widget), m_window(window)
    {
        widget->installEventFilter(this);
        m_clientArea = widget;
        if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) {
            m_clientArea = area->viewport();
            m_clientArea->installEventFilter(this);
        }
    }
    ~EventTranslator() override { forgetWindow(m_window); }
    EventTranslator(const EventTranslator&) = delete;
    EventTranslator& operator=(const EventTranslator&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!translatedAt(watched, event->type()))
            return false;
        const std::optional<WindowMessage> message = messageForEvent(*event);
        return message && deliverEvent(m_window, watched, event, *message).filtered;
    }

private:
    bool translatedAt(const QObject* watched, QEvent::Type type) const
    {
        switch (type) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            return watched == parent();
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::Resize:
        case QEvent::Paint:
            return watched == m_clientArea;
        default:
            return false;
        }
    }

    WindowHandle m_window;
    QObject* m_clientArea = nullptr;
};

} // namespace

WindowHandle registerWindow(QWidget* widget)
{
    if (!widget)
        return NoWindow;
    auto& reg = registry();
    if (const auto found = reg.handles.find(widget); found != reg.handles.end())
        return found->second;
    const WindowHandle window = reg.nextHandle++;
    reg.windows.emplace(window, Window{widget, ownProcedure(window)});
    reg.handles.emplace(widget, window);
    new EventTranslator(window, widget); // owned by the widget
    return window;
}

bool isWindow(WindowHandle window)
{
    return findWindow(window) != nullptr;
}

QWidget* widgetOf(WindowHandle window)
{
    const Window* found = findWindow(window);
    return found ? found->widget : nullptr;
}

WindowProcedure setWindowProcedure(WindowHandle window, WindowProcedure procedure)
{
    Window* target = findWindow(window);
    if (!target || !procedure) {
        registry().lastError = target ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE;
        return {};
    }
    std::swap(target->procedure, procedure);
    return procedure;
}

WindowProcedure windowProcedure(WindowHandle window)
{
    const Window* found = findWindow(window);
    return found ? found->procedure : WindowProcedure{};
}

std::int32_t lastWindowError()
{
    return registry().lastError;
}

std::int32_t callWindowProcedure(const WindowProcedure& procedure, WindowHandle window,
                                 std::uint32_t msg, std::int32_t wParam, std::int32_t lParam)
{
    if (!procedure)
        return 0;
    const WindowProcedure running = procedure;
    return running(window, msg, wParam, lParam);
}

std::int32_t sendMessage(WindowHandle window, std::uint32_t msg, std::int32_t wParam,
                         std::int32_t lParam)
{
    bool reached = false;
    return deliver(window, {msg, wParam, lParam}, reached);
}

std::optional<WindowMessage> messageForEvent(const QEvent& event)
{
    switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
        return mouseMessage(static_cast<const QMouseEvent&>(event));
    case QEvent::Wheel: {
        const auto& wheel = static_cast<const QWheelEvent&>(event);
        const QPoint at = wheel.globalPosition().toPoint();
        return WindowMessage{
            WM_MOUSEWHEEL,
            makeLong(keyState(wheel.buttons(), wheel.modifiers()), wheel.angleDelta().y()),
            makeLong(at.x(), at.y())};
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        return keyMessage(static_cast<const QKeyEvent&>(event));
    case QEvent::FocusIn:
        return WindowMessage{WM_SETFOCUS, 0, 0};
    case QEvent::FocusOut:
        return WindowMessage{WM_KILLFOCUS, 0, 0};
    case QEvent::Resize: {
        const QSize size = static_cast<const QResizeEvent&>(event).size();
        return WindowMessage{WM_SIZE, 0, makeLong(size.width(), size.height())};
    }
    case QEvent::Paint:
        return WindowMessage{WM_PAINT, 0, 0};
    default:
        return std::nullopt;
    }
}

void deliverMessage(WindowHandle window, const WindowMessage& message) noexcept
{
    bool reached = false;
    containAndLog("WindowMessages", [&] { deliver(window, message, reached); });
}

EventDelivery deliverEvent(WindowHandle window, QObject* target, QEvent* event,
                           const WindowMessage& message) noexcept
{
    const auto& handedOn = registry().handedOn;
    if (!isWindow(window) || std::find(handedOn.begin(), handedOn.end(), event) != handedOn.end())
        return {};
    bool reached = false;
    const std::exception_ptr failure =
        contain([&] { deliver(window, message, reached, target, event); });
    logContainedError("WindowMessages", failure);
    const bool failed = failure != nullptr;
    if (reached) {
        // Qt handled the event inside the chain and must not handle it again. Mouse and key
        // events went on to the parents there already; the others may still go on from here.
        if (propagates(*event))
            event->accept();
        return {true, true};
    }
    if (failed)
        return {};   // a procedure failed before the window: Qt handles the event as usual
    event->accept(); // stopped by a procedure
    return {true, false};
}

} // namespace kardelo
