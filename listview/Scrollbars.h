#pragma once

#include "ISubclass.h"
#include "Subclasser.h"
#include "WindowMessages.h"

#include <array>
#include <cstdint>
#include <functional>

namespace kardelo {

// The list view's two window scroll bars: their ranges, positions and page sizes, the
// window's scroll, wheel and non-client click messages turned into moves, and events to the
// owner.
class Scrollbars final : public ISubclass {
public:
    enum Bar : int { Horizontal = 0, Vertical = 1 };
    enum MouseButton : int { LeftButton = 1, RightButton = 2 };

    // The owner's handlers; any of them may be left empty.
    struct Events {
        std::function<void(Bar eBar, MouseButton eButton)> ScrollClick;
        std::function<void(Bar eBar)> Scroll;
        std::function<void(Bar eBar)> Change;
        std::function<void(Bar eBar, std::int32_t& lAmount)> MouseWheel;
    };

    explicit Scrollbars(Events events = {});
    ~Scrollbars() override;
    Scrollbars(const Scrollbars&) = delete;
    Scrollbars& operator=(const Scrollbars&) = delete;

    void Create(WindowHandle hWndA);
    void Terminate();

    bool Visible(Bar eBar) const { return m_visible[eBar]; }
    void Visible(Bar eBar, bool value);
    bool Enabled(Bar eBar) const { return m_enabled[eBar]; }
    void Enabled(Bar eBar, bool value);
    int Orientation() const { return m_orientation; }
    void Orientation(int value) { m_orientation = value; }
    int Style() const { return m_style; }
    void Style(int value);
    // Flat bars do not exist on this system: the standard bars are always in use.
    bool CanBeFlat() const { return !m_standardBars; }
    int SmallChange(Bar eBar) const { return m_smallChange[eBar]; }
    void SmallChange(Bar eBar, int value) { m_smallChange[eBar] = value; }

    int Min(Bar eBar) const;
    void Min(Bar eBar, int value);
    int Max(Bar eBar) const;
    void Max(Bar eBar, int value);
    int LargeChange(Bar eBar) const;
    void LargeChange(Bar eBar, int value);
    int Value(Bar eBar) const;
    void Value(Bar eBar, int value);

    void WndProc(bool bBefore, bool& bHandled, std::int32_t& lReturn, WindowHandle lng_hWnd,
                 std::uint32_t uMsg, std::int32_t wParam, std::int32_t lParam,
                 std::int32_t& lParamUser) override;

private:
    void scrollRequest(Bar eBar, std::int32_t code);
    bool mouseWheel(std::int32_t wParam);
    void moveTo(Bar eBar, int value, bool dragging);
    void checkValue(Bar eBar, bool dragging);

    Events m_events;
    WindowHandle m_hWnd = NoWindow;
    int m_orientation = 2;
    int m_style = 0;
    bool m_standardBars = true;
    std::array<int, 2> m_smallChange{1, 1};
    std::array<bool, 2> m_enabled{};
    std::array<bool, 2> m_visible{};
    int m_wheelLines = 3;
    int m_wheelRemainder = 0; // of the wheel deltas so far, less than one notch
    bool m_subclassed = false;
    std::array<int, 2> m_lastValue{};
    Subclasser m_subclasser;
};

// How the list view drives its bars.

// At load, while the host runs: both bars visible, the horizontal one enabled, the vertical one
// disabled with a page of 10 rows.
void AttachScrollbars(Scrollbars& bars, WindowHandle hWnd);
// The vertical bar's value is the first row drawn.
void UpdateVerticalScrollBar(Scrollbars& bars, int itemCount, int visibleRowCount,
                             bool controlEnabled);
// The horizontal bar's value is the picture's horizontal pixel offset.
void UpdateHorizontalScrollBar(Scrollbars& bars, int totalWidth, int clientWidth,
                               bool controlEnabled);

} // namespace kardelo
