#include "Scrollbars.h"

#include "EventLog.h"
#include "Formats.h"
#include "RuntimeError.h"
#include "ScrollInfo.h"

#include <algorithm>

namespace kardelo {

namespace {

constexpr int WHEEL_DELTA = 120;

} // namespace

Scrollbars::Scrollbars(Events events) : m_events(std::move(events)) {}

Scrollbars::~Scrollbars()
{
    containAndLog("Scrollbars", [this] { Terminate(); });
}

void Scrollbars::Create(WindowHandle hWndA)
{
    if (hWndA == NoWindow || m_subclassed)
        return;
    Terminate();
    m_hWnd = hWndA;
    m_standardBars = true;
    m_subclassed = m_subclasser.Subclass(m_hWnd, this);
    if (m_subclassed) {
        for (const std::uint32_t msg : {WM_HSCROLL, WM_VSCROLL, WM_MOUSEWHEEL, WM_NCLBUTTONDOWN,
                                        WM_NCRBUTTONDOWN, WM_NCMBUTTONDOWN})
            m_subclasser.AddMsg(m_hWnd, static_cast<std::int32_t>(msg), Subclasser::MSG_AFTER);
    }
    const int lines = wheelScrollLines();
    m_wheelLines = lines < 1 ? 3 : lines;
}

void Scrollbars::Terminate()
{
    if (m_subclassed) {
        m_subclasser.UnSubclass(m_hWnd);
        m_subclassed = false;
    }
    m_hWnd = NoWindow;
}

void Scrollbars::Visible(Bar eBar, bool value)
{
    m_visible[eBar] = value;
    showScrollBar(m_hWnd, eBar, value);
}

void Scrollbars::Enabled(Bar eBar, bool value)
{
    m_enabled[eBar] = value;
    enableScrollBar(m_hWnd, eBar, value);
}

void Scrollbars::Style(int value)
{
    if (m_standardBars && value != 0)
        return;
    m_style = value;
}

namespace {

ScrollInfo scrollInfo(WindowHandle hWnd, Scrollbars::Bar eBar, unsigned mask)
{
    return getScrollInfo(hWnd, eBar, mask).value_or(ScrollInfo{});
}

} // namespace

int Scrollbars::Min(Bar eBar) const
{
    return scrollInfo(m_hWnd, eBar, SIF_RANGE).min;
}

void Scrollbars::Min(Bar eBar, int value)
{
    ScrollInfo info = scrollInfo(m_hWnd, eBar, SIF_RANGE);
    info.min = value;
    setScrollInfo(m_hWnd, eBar, info, SIF_RANGE);
}

int Scrollbars::Max(Bar eBar) const
{
    const ScrollInfo info = scrollInfo(m_hWnd, eBar, SIF_RANGE | SIF_PAGE);
    return info.max - info.page;
}

void Scrollbars::Max(Bar eBar, int value)
{
    ScrollInfo info = scrollInfo(m_hWnd, eBar, SIF_RANGE | SIF_PAGE);
    info.max = value + info.page;
    setScrollInfo(m_hWnd, eBar, info, SIF_RANGE);
    checkValue(eBar, false);
}

int Scrollbars::LargeChange(Bar eBar) const
{
    return scrollInfo(m_hWnd, eBar, SIF_PAGE).page;
}

void Scrollbars::LargeChange(Bar eBar, int value)
{
    ScrollInfo info = scrollInfo(m_hWnd, eBar, SIF_ALL);
    info.max = info.max - info.page + value;
    info.page = value;
    setScrollInfo(m_hWnd, eBar, info, SIF_RANGE | SIF_PAGE);
}

int Scrollbars::Value(Bar eBar) const
{
    return scrollInfo(m_hWnd, eBar, SIF_POS).pos;
}

void Scrollbars::Value(Bar eBar, int value)
{
    moveTo(eBar, value, false);
}

void Scrollbars::WndProc(bool, bool& bHandled, std::int32_t& lReturn, WindowHandle,
                         std::uint32_t uMsg, std::int32_t wParam, std::int32_t, std::int32_t&)
{
    switch (uMsg) {
    case WM_HSCROLL:
        scrollRequest(Horizontal, lowWord(wParam));
        break;
    case WM_VSCROLL:
        scrollRequest(Vertical, lowWord(wParam));
        break;
    case WM_MOUSEWHEEL:
        if (mouseWheel(wParam)) {
            bHandled = true;
            lReturn = 1;
        }
        break;
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN: {
        const MouseButton eButton = uMsg == WM_NCLBUTTONDOWN ? LeftButton : RightButton;
        if ((wParam == HTHSCROLL || wParam == HTVSCROLL) && m_events.ScrollClick)
            m_events.ScrollClick(wParam == HTHSCROLL ? Horizontal : Vertical, eButton);
        break;
    }
    default:
        break;
    }
}

void Scrollbars::scrollRequest(Bar eBar, std::int32_t code)
{
    switch (code) {
    case SB_LINEUP:
        moveTo(eBar, std::max(Value(eBar) - SmallChange(eBar), Min(eBar)), false);
        break;
    case SB_LINEDOWN:
        moveTo(eBar, std::min(Value(eBar) + SmallChange(eBar), Max(eBar) + 1), false);
        break;
    case SB_PAGEUP:
        moveTo(eBar, Value(eBar) - LargeChange(eBar), false);
        break;
    case SB_PAGEDOWN:
        moveTo(eBar, Value(eBar) + LargeChange(eBar), false);
        break;
    case SB_THUMBTRACK:
        moveTo(eBar, scrollInfo(m_hWnd, eBar, SIF_TRACKPOS).trackPos, true);
        break;
    case SB_TOP:
        moveTo(eBar, Min(eBar), false);
        break;
    case SB_BOTTOM:
        moveTo(eBar, Max(eBar), false);
        break;
    case SB_ENDSCROLL:
        checkValue(eBar, false);
        break;
    default:
        break;
    }
}

bool Scrollbars::mouseWheel(std::int32_t wParam)
{
    // Touchpads and fine wheels send parts of a notch; they add up to whole ones.
    const int delta = m_wheelRemainder + signedHighWord(wParam);
    m_wheelRemainder = delta % WHEEL_DELTA;
    const int notches = -delta / WHEEL_DELTA;
    std::int32_t lAmount = notches * SmallChange(Vertical) * m_wheelLines;
    if (m_events.MouseWheel)
        m_events.MouseWheel(Vertical, lAmount);
    if (lAmount == 0 || !Visible(Vertical) || !Enabled(Vertical))
        return false;
    Value(Vertical, Value(Vertical) + lAmount);
    return true;
}

void Scrollbars::moveTo(Bar eBar, int value, bool dragging)
{
    if (value == Value(eBar))
        return;
    ScrollInfo info;
    info.pos = value;
    setScrollInfo(m_hWnd, eBar, info, SIF_POS);
    checkValue(eBar, dragging);
}

void Scrollbars::checkValue(Bar eBar, bool dragging)
{
    const int position = Value(eBar);
    if (position == m_lastValue[eBar])
        return;
    m_lastValue[eBar] = position;
    const auto& event = dragging ? m_events.Scroll : m_events.Change;
    if (event)
        event(eBar);
}

void AttachScrollbars(Scrollbars& bars, WindowHandle hWnd)
{
    bars.Create(hWnd);
    bars.Orientation(2);
    bars.Visible(Scrollbars::Horizontal, true);
    bars.Visible(Scrollbars::Vertical, true);
    bars.Enabled(Scrollbars::Horizontal, true);
    bars.Enabled(Scrollbars::Vertical, false);
    bars.LargeChange(Scrollbars::Vertical, 10);
}

void UpdateVerticalScrollBar(Scrollbars& bars, int itemCount, int visibleRowCount,
                             bool controlEnabled)
{
    constexpr auto bar = Scrollbars::Vertical;
    if (!controlEnabled) {
        bars.Enabled(bar, false);
        // Rows removed meanwhile must not leave the list scrolled past its end.
        if (itemCount - visibleRowCount < 0) {
            bars.Max(bar, 0);
            bars.Value(bar, 0);
        } else if (itemCount - visibleRowCount < bars.Max(bar)) {
            bars.Max(bar, itemCount - visibleRowCount);
        }
        return;
    }
    if (itemCount - visibleRowCount < 0) {
        if (bars.Enabled(bar)) {
            bars.Enabled(bar, false);
            bars.Max(bar, 0);
            bars.Value(bar, 0);
        }
        return;
    }
    if (!bars.Enabled(bar))
        bars.Enabled(bar, true);
    bars.Max(bar, itemCount - visibleRowCount);
}

void UpdateHorizontalScrollBar(Scrollbars& bars, int totalWidth, int clientWidth,
                               bool controlEnabled)
{
    constexpr auto bar = Scrollbars::Horizontal;
    if (totalWidth <= clientWidth) {
        bars.Visible(bar, false);
        bars.Value(bar, 0);
        return;
    }
    bars.Visible(bar, true);
    bars.Min(bar, 0);
    bars.Max(bar, totalWidth - clientWidth - 1);
    bars.LargeChange(bar, formats::toInt32(totalWidth / 2.0));
    bars.SmallChange(bar, 3);
    bars.Enabled(bar, controlEnabled);
}

} // namespace kardelo
