#pragma once

#include <QDialog>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace kardelo {

// A text input prompt with OK and Cancel. Its text wraps, so even a long one (the name prompt
// of "Sa&ve") leaves the dialog with its buttons on a small screen.
class TextPrompt final : public QDialog {
    Q_OBJECT

public:
    TextPrompt(QWidget* parent, const QString& title, const QString& text, const QString& preset);

    QLabel& label() const { return *m_label; }
    QLineEdit& edit() const { return *m_edit; }
    QDialogButtonBox& buttons() const { return *m_buttons; }

private:
    QLabel* m_label;
    QLineEdit* m_edit;
    QDialogButtonBox* m_buttons;
};

} // namespace kardelo
