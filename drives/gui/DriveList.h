#pragma once

#include "DriveEntries.h"

#include <QString>
#include <cstdint>
#include <utility>
#include <vector>

namespace kardelo {

class ICustomDraw;
class ListView;

// Column positions of the drive list.
enum DriveColumn : std::int32_t {
    DriveColumnDevice = 0,
    DriveColumnBusType = 2,
    DriveColumnRemovable = 4,
    DriveColumnName = 6,
};

// The list always shows at least this many rows; empty ones are filler rows.
constexpr std::int32_t DriveListMinimumRows = 9;

// Each of these runs step by step with run-time errors ignored, as a host's event handler
// must never end the program.
void create_drive_grid(ListView& list, ICustomDraw* callback);
void load_drive_list(ListView& list, const std::vector<DriveListEntry>& entries);
// The mount point of the first selected drive row, or empty text when no drive row is
// selected (a selected filler row counts as none).
QString check_select(const ListView& list);
// The "Name" cell of that row, for the results log and the screenshot; empty likewise.
QString check_snap(const ListView& list);

// The drive list's cell colours (0x00BBGGRR) for the host's ICustomDraw::CustomDraw: selected
// rows light green, striped rows otherwise, separator columns grey; black text on all of them.
bool driveRowColours(const ListView& list, std::int32_t row, std::int32_t column,
                     std::int32_t& back, std::int32_t& fore);

} // namespace kardelo
