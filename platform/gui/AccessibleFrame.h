#pragma once

struct QMetaObject;

namespace kardelo {

// Qt presents a top-level window made from a plain QWidget to assistive technology as an
// anonymous pane. A window class registered here is presented as a frame named by its title,
// as screen readers expect an application's window to be. Call it in the window's constructor
// before anything else, so that no other view of the window is made first; calling it again
// changes nothing.
void presentAsFrame(const QMetaObject& windowClass);

} // namespace kardelo
