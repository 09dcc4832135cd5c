#include "Dialogs.h"

#include "TextPrompt.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLineEdit>

namespace kardelo {

QString messageBoxTitle()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void WidgetDialogs::message(QMessageBox::Icon icon, const QString& text)
{
    QMessageBox box(icon, messageBoxTitle(), text, QMessageBox::Ok, m_parent);
    box.exec();
}

bool WidgetDialogs::question(const QString& text)
{
    QMessageBox box(QMessageBox::Question, messageBoxTitle(), text,
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString WidgetDialogs::askText(const QString& title, const QString& text, const QString& preset)
{
    TextPrompt prompt(m_parent, title, text, preset);
    return prompt.exec() == QDialog::Accepted ? prompt.edit().text() : QString();
}

} // namespace kardelo
