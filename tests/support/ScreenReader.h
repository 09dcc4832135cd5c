#pragma once

#include <QAccessible>
#include <vector>

namespace kardelo::testing {

// This process's accessibility switched on as a running screen reader switches it on, with
// what the program tells the reader recorded instead of sent to the desktop.
struct ScreenReader {
    struct Heard {
        QAccessible::Event type;
        int change;   // of a TableModelChanged event, else -1
        QString name; // of the object the event is about
    };

    // False where the platform has no accessibility to switch on.
    static bool start();
    static std::vector<Heard>& heard();
    static std::vector<Heard> heard(QAccessible::Event type);
};

} // namespace kardelo::testing
