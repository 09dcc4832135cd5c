#include "RecordingWindow.h"

#include "ControlNames.h"
#include "SettingsLists.h"
#include "TestMessages.h"

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

QString RecordingWindow::endOfTestPathProblems() const
{
    QStringList problems;
    const auto expect = [&](bool condition, const char* what) {
        if (!condition)
            problems << QString::fromLatin1(what);
    };
    expect(!progress.isEmpty() &&
               progress.last() ==
                   ProgressRequest{100, 100, 100, QStringLiteral("Abbruch des Tests: "), true},
           "bar does not end with the abort caption");
    expect(testButtonsEnabled(), "test buttons disabled");
    expect(!enabled.value(controls::cmdProt.toString(), true), "save button enabled");
    expect(!enabled.value(controls::cmdSnap.toString(), true), "screenshot button enabled");
    expect(!busy, "busy pointer left");
    expect(!state.abortRequested, "abort flag left set");
    expect(windowCaption == QStringLiteral("Kardelo"), "caption not restored");
    expect(state.writeHandle == InvalidHandle, "write handle open");
    expect(state.readHandle == InvalidHandle, "read handle open");
    return problems.join(QStringLiteral("; "));
}

} // namespace kardelo::testing
