#pragma once

#include "WindowMessages.h"

#include <optional>

// The two scroll bars of a registered QAbstractScrollArea, used like a window's own bars: a
// range, a page and a position that the system keeps within minimum .. maximum - page + 1.
// The bars move only when the window sets them; what the user does on them arrives at the
// window as WM_HSCROLL / WM_VSCROLL (and WM_NC?BUTTONDOWN, WM_MOUSEWHEEL) messages. The first
// call for a bar takes it over.
namespace kardelo {

inline constexpr int SB_HORZ = 0;
inline constexpr int SB_VERT = 1;

inline constexpr unsigned SIF_RANGE = 0x01;
inline constexpr unsigned SIF_PAGE = 0x02;
inline constexpr unsigned SIF_POS = 0x04;
inline constexpr unsigned SIF_TRACKPOS = 0x10;
inline constexpr unsigned SIF_ALL = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;

struct ScrollInfo {
    int min = 0;
    int max = 0;
    int page = 0;
    int pos = 0;
    int trackPos = 0; // while the thumb is dragged, where it is; else the position
};

// Writes the fields named by the mask and returns the resulting position (0 when the window
// has no such bar).
int setScrollInfo(WindowHandle window, int bar, const ScrollInfo& info, unsigned mask);
// The fields named by the mask (the others 0); nothing when the window has no such bar.
std::optional<ScrollInfo> getScrollInfo(WindowHandle window, int bar, unsigned mask);
bool showScrollBar(WindowHandle window, int bar, bool show);
bool enableScrollBar(WindowHandle window, int bar, bool enable);

// The desktop's lines per wheel notch.
int wheelScrollLines();

} // namespace kardelo
