#pragma once

#include <QMessageBox>
#include <QString>

namespace kardelo {

// The title of every message box of the program: the executable's name without extension.
QString messageBoxTitle();

// How the windows talk to the user in dialogs: message boxes with an OK button only, a question
// with Yes and No, and a text prompt with OK and Cancel. The windows show real ones; tests
// answer them.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual void message(QMessageBox::Icon icon, const QString& text) = 0;
    // True for Yes. No is the default answer, and what closing the box gives.
    virtual bool question(const QString& text) = 0;
    // The answer, or the empty text for Cancel.
    virtual QString askText(const QString& title, const QString& text, const QString& preset) = 0;
};

// Modal dialogs over a window.
class WidgetDialogs final : public Dialogs {
public:
    explicit WidgetDialogs(QWidget* parent) : m_parent(parent) {}

    void message(QMessageBox::Icon icon, const QString& text) override;
    bool question(const QString& text) override;
    QString askText(const QString& title, const QString& text, const QString& preset) override;

private:
    QWidget* m_parent;
};

} // namespace kardelo
