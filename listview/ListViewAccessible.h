#pragma once

namespace kardelo {

// Lets assistive technology see every ListView as a table: its rows, the cells with their
// texts, the column headers, the current and the selected rows, selection through the
// accessibility actions, and events when rows, texts or the selection change. The control's
// constructor calls it, so every host gets this without code of its own; calling it again
// changes nothing.
void installListViewAccessibility();

} // namespace kardelo
