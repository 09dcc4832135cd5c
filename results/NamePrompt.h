#pragma once

#include <QDialog>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace kardelo::results {

// The name prompt of "Sa&ve": its long text wraps, so the dialog with its OK and Cancel
// buttons fits a small screen.
class NamePrompt final : public QDialog {
    Q_OBJECT

public:
    NamePrompt(QWidget* parent, const QString& title, const QString& text, const QString& preset);

    QLabel& label() const { return *m_label; }
    QLineEdit& edit() const { return *m_edit; }
    QDialogButtonBox& buttons() const { return *m_buttons; }

private:
    QLabel* m_label;
    QLineEdit* m_edit;
    QDialogButtonBox* m_buttons;
};

// Shows the prompt and waits for it; the answer, or the empty text for Cancel.
QString askName(QWidget* parent, const QString& title, const QString& text, const QString& preset);

} // namespace kardelo::results
