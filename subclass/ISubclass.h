#pragma once

#include "WindowMessages.h"

#include <cstdint>

namespace kardelo {

// A client of the Subclasser: sees the messages it asked for, before and/or after the window's
// own procedure. Setting bHandled before stops the message with lReturn as its reply.
class ISubclass {
public:
    virtual ~ISubclass() = default;

    virtual void WndProc(bool bBefore, bool& bHandled, std::int32_t& lReturn, WindowHandle lng_hWnd,
                         std::uint32_t uMsg, std::int32_t wParam, std::int32_t lParam,
                         std::int32_t& lParamUser) = 0;
};

} // namespace kardelo
