// Operator questions and notices as message boxes, and the name dialog.
#include "app/guiprompt.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

namespace lapvane {

namespace {

// The name dialog's edit empties itself at the first click, so a preset such
// as "New" is replaced rather than edited.
class EmptyOnClick : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress) {
            static_cast<QLineEdit *>(watched)->clear();
            watched->removeEventFilter(this);
        }
        return false;
    }
};

} // namespace

bool GuiPrompt::ask(const QString &question)
{
    return askAs(QuestionKind::Warning, question);
}

bool GuiPrompt::askAs(QuestionKind kind, const QString &question)
{
    if (m_stopRequested)
        return false;
    // A question before adding takes Yes on Enter; one before deleting keeps
    // No, so a stray Enter never deletes.
    const QMessageBox::Icon icon = kind == QuestionKind::Adding     ? QMessageBox::Information
                                   : kind == QuestionKind::Deleting ? QMessageBox::Critical
                                                                    : QMessageBox::Warning;
    QMessageBox box(icon, QStringLiteral("Lapvane Admin"), question, QMessageBox::Yes | QMessageBox::No,
                    m_parent);
    box.setObjectName(QStringLiteral("question"));
    box.setDefaultButton(kind == QuestionKind::Adding ? QMessageBox::Yes : QMessageBox::No);
    const int answer = box.exec();
    return !m_stopRequested && answer == QMessageBox::Yes;
}

Choice GuiPrompt::askYesNoCancel(const QString &question)
{
    if (m_stopRequested)
        return Choice::Cancel;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Lapvane Admin"), question,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, m_parent);
    box.setObjectName(QStringLiteral("question"));
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    const int answer = box.exec();
    if (m_stopRequested)
        return Choice::Cancel;
    switch (answer) {
    case QMessageBox::Yes:
        return Choice::Yes;
    case QMessageBox::No:
        return Choice::No;
    default:
        return Choice::Cancel;
    }
}

void GuiPrompt::notice(const QString &text)
{
    if (m_stopRequested)
        return;
    QMessageBox::information(m_parent, QStringLiteral("Lapvane Admin"), text);
}

bool GuiPrompt::askText(const QString &title, const QString &prompt, QString *text)
{
    if (m_stopRequested)
        return false;
    QDialog dialog(m_parent);
    dialog.setObjectName(QStringLiteral("frmnewname"));
    dialog.setWindowTitle(title);
    auto *edit = new QLineEdit(*text, &dialog);
    edit->setObjectName(QStringLiteral("ednewname"));
    edit->installEventFilter(new EmptyOnClick(edit));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(prompt, &dialog));
    layout->addWidget(edit);
    layout->addWidget(buttons);
    // Enter confirms.
    if (dialog.exec() != QDialog::Accepted || m_stopRequested)
        return false;
    *text = edit->text();
    return true;
}

} // namespace lapvane
