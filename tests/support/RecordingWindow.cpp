#include "RecordingWindow.h"

#include "ControlNames.h"
#include "SettingsLists.h"

namespace kardelo::testing {

RecordingWindow::RecordingWindow()
{
    texts[controls::Combo1.toString()] = settings::defaultFileSizeText();
    texts[controls::Combo2.toString()] = settings::defaultBlockSizeText();
}

void RecordingWindow::setText(QStringView control, const QString& text)
{
    texts[control.toString()] = text;
}

void RecordingWindow::setCaption(const QString& caption)
{
    windowCaption = caption;
    captions << caption;
}

void RecordingWindow::setBusyPointer(bool on)
{
    if (on != busy)
        ++busyChanges;
    busy = on;
}

void RecordingWindow::showMessage(const QString& text, MessageIcon icon)
{
    shownMessages << Message{text, icon};
}

void RecordingWindow::processEvents()
{
    ++processEventsCalls;
    if (onProcessEvents)
        onProcessEvents(processEventsCalls);
}

QStringList RecordingWindow::messageTexts() const
{
    QStringList list;
    for (const Message& message : shownMessages)
        list << message.text;
    return list;
}

QList<ProgressRequest> RecordingWindow::progressWithCaption(const QString& caption) const
{
    QList<ProgressRequest> list;
    for (const ProgressRequest& request : progress)
        if (request.caption == caption)
            list << request;
    return list;
}

bool RecordingWindow::testButtonsEnabled() const
{
    return enabled.value(controls::Command1.toString()) &&
           enabled.value(controls::Command8.toString());
}

bool RecordingWindow::resultButtonsEnabled() const
{
    return enabled.value(controls::cmdProt.toString()) &&
           enabled.value(controls::cmdSnap.toString());
}

} // namespace kardelo::testing
