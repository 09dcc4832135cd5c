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

QString WidgetDialogs::askText(const QString& title, const QString& text, const QString& preset)
{
    TextPrompt prompt(m_parent, title, text, preset);
    return prompt.exec() == QDialog::Accepted ? prompt.edit().text() : QString();
}

} // namespace kardelo
