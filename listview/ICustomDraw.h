#pragma once

#include "OleColor.h"

#include <cstdint>

namespace kardelo {

// Lets a host colour single cells of the list control. Both colours come in as -1; a true
// result makes the control use what the host wrote (-1 left: the control's own colour) and
// ignore the selection colours for that cell.
class ICustomDraw {
public:
    virtual ~ICustomDraw() = default;
    virtual bool CustomDraw(std::int32_t ItemIndex, std::int32_t ColumnIndex,
                            std::int32_t& BackColor, std::int32_t& ForeColor) = 0;
};

} // namespace kardelo
