#pragma once

namespace kardelo {

// Lets assistive technology see the progress box as a progress bar: its name is the text it
// shows ("Schreiben: 37 %"), its value the percentage of its bar. The box's constructor calls
// it; calling it again changes nothing.
void installProgressBoxAccessibility();

} // namespace kardelo
