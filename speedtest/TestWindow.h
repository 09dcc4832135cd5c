#pragma once

#include "OleColor.h"
#include "TestState.h"
#include "modProgress.h"

#include <QString>
#include <QStringView>

namespace kardelo {

enum class MessageIcon { Information, Warning };

// What a speed test needs of the main window. The window implements it with its widgets, the
// command line on the console and the test suite with a recorder, so the test procedures
// exist exactly once. Controls are named as in the window's layout (see ControlNames.h).
class TestWindow {
public:
    virtual ~TestWindow() = default;

    virtual TestState& testState() = 0;

    // Texts of labels, frames and the two settings lists.
    virtual QString text(QStringView control) const = 0;
    virtual void setText(QStringView control, const QString& text) = 0;
    virtual void setControlEnabled(QStringView control, bool enabled) = 0;

    virtual QString caption() const = 0;
    virtual void setCaption(const QString& caption) = 0;
    // A state, not a count: true shows the busy pointer, false the normal one again (and does
    // nothing when the pointer is not busy).
    virtual void setBusyPointer(bool busy) = 0;
    // A message box with an OK button only, titled with the program's name.
    virtual void showMessage(const QString& text, MessageIcon icon) = 0;
    // Lets the window handle everything pending: clicks, the abort button, a close request.
    virtual void processEvents() = 0;

    // The selected drive ("/media/anna/STICK"), or empty when none is selected. Throws the
    // drive-access error (RuntimeError BadFileNameOrNumber) when the selected drive can no
    // longer be reached.
    virtual QString checkSelect() = 0;

    // The progress picture box picProgress.
    virtual void setProgressBackground(OleColor color) = 0;
    virtual void updateProgress(const ProgressRequest& request) = 0;
};

} // namespace kardelo
