#pragma once

#include "Dialogs.h"

#include <QList>
#include <QStringList>
#include <functional>

namespace kardelo::testing {

// The program's dialogs as a test answers them: every message and prompt is recorded, and each
// prompt is answered by `answer` (its preset, unless a test says otherwise).
class RecordingDialogs final : public Dialogs {
public:
    struct Message {
        QMessageBox::Icon icon;
        QString text;
    };

    QList<Message> messages;
    QStringList prompts;   // title, text and preset of each prompt in turn
    QStringList questions; // each question's text, answered by `yes`
    bool yes = true;
    std::function<QString(const QString& preset)> answer = [](const QString& preset) {
        return preset;
    };

    void message(QMessageBox::Icon icon, const QString& text) override
    {
        messages.append({icon, text});
    }
    bool question(const QString& text) override
    {
        questions << text;
        return yes;
    }
    QString askText(const QString& title, const QString& text, const QString& preset) override
    {
        prompts << title << text << preset;
        return answer(preset);
    }

    QStringList messageTexts() const
    {
        QStringList texts;
        for (const Message& shown : messages)
            texts << shown.text;
        return texts;
    }
};

} // namespace kardelo::testing
