#pragma once

#include <QString>
#include <cstdint>

namespace kardelo {

// One header column of the list control. Plain data: the control and its layout give the
// fields their meaning.
struct Column {
    QString key;                     // unique among the columns, compared case-insensitively
    QString Caption;                 // header text
    std::int32_t TextAlign = 0;      // 0 left, 1 right, 2 centred; other values draw no text
    std::int32_t Width = 0;          // pixels, as set by the host or by dragging the border
    std::int32_t WidthAutoSized = 0; // used instead of Width while the columns size themselves
    bool Pushed = false;             // header button drawn pressed
    bool Visible = false;
    bool Resizable = false;
    std::int32_t LastSortOrder = 0; // order of the next header-click sort: 0 or 1
};

} // namespace kardelo
