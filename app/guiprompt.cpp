// Operator questions and notices as message boxes.
#include "app/guiprompt.h"

#include <QInputDialog>
#include <QMessageBox>

namespace lapvane {

bool GuiPrompt::ask(const QString &question)
{
    return QMessageBox::warning(m_parent, QStringLiteral("Lapvane Admin"), question,
                                QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
           == QMessageBox::Yes;
}

void GuiPrompt::notice(const QString &text)
{
    QMessageBox::information(m_parent, QStringLiteral("Lapvane Admin"), text);
}

bool GuiPrompt::askText(const QString &title, const QString &prompt, QString *text)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(m_parent, title, prompt, QLineEdit::Normal, *text, &ok);
    if (ok)
        *text = answer;
    return ok;
}

} // namespace lapvane
