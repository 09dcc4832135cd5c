#include "TextPrompt.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace kardelo {

TextPrompt::TextPrompt(QWidget* parent, const QString& title, const QString& text,
                       const QString& preset)
    : QDialog(parent), m_label(new QLabel(text, this)), m_edit(new QLineEdit(preset, this)),
      m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setWindowTitle(title);
    m_label->setWordWrap(true);
    m_label->setTextFormat(Qt::PlainText);
    // About the width of the prompt of the system the program comes from: some fifty
    // characters a line.
    m_label->setFixedWidth(m_label->fontMetrics().averageCharWidth() * 52);
    m_label->setBuddy(m_edit);
    m_edit->selectAll();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_edit);
    layout->addWidget(m_buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

} // namespace kardelo
