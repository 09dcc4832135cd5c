#pragma once

#include "TestWindow.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace kardelo::testing {

// The main window as the speed tests see it, recording every visible effect in order.
class RecordingWindow : public TestWindow {
public:
    struct Message {
        QString text;
        MessageIcon icon;
    };

    QString drive; // what check_select answers
    TestState state;
    QHash<QString, QString> texts;
    QHash<QString, bool> enabled;
    QString windowCaption = QStringLiteral("Kardelo");
    bool busy = false;
    int busyChanges = 0;
    QList<Message> shownMessages;
    QList<ProgressRequest> progress;
    QStringList captions; // every caption set, in order
    QList<OleColor> backgrounds;
    int processEventsCalls = 0;
    // Runs inside every processEvents with the call's number (1-based): tests press the
    // abort button or pull the drive from here, as a user would while a test runs.
    std::function<void(int call)> onProcessEvents;

    RecordingWindow();

    TestState& testState() override { return state; }
    QString text(QStringView control) const override { return texts.value(control.toString()); }
    void setText(QStringView control, const QString& text) override;
    void setControlEnabled(QStringView control, bool on) override
    {
        enabled[control.toString()] = on;
    }
    QString caption() const override { return windowCaption; }
    void setCaption(const QString& caption) override;
    void setBusyPointer(bool on) override;
    void showMessage(const QString& text, MessageIcon icon) override;
    void processEvents() override;
    QString checkSelect() override { return drive; }
    void setProgressBackground(OleColor color) override { backgrounds << color; }
    void updateProgress(const ProgressRequest& request) override { progress << request; }

    QStringList messageTexts() const;
    QList<ProgressRequest> progressWithCaption(const QString& caption) const;
    // Enabled states of the test, save and screenshot buttons.
    bool testButtonsEnabled() const;
    bool resultButtonsEnabled() const;
    // What is amiss after a run that should have left through its end-of-test path: the bar's
    // last caption, the buttons, the pointer, the caption, the flag and the handles. Empty when
    // everything is as it must be.
    QString endOfTestPathProblems() const;
};

} // namespace kardelo::testing
