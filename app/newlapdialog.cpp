// The lap entry dialog.
#include "app/newlapdialog.h"

#include "race/lapcorrections.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lapvane {

Tfrmnewlap::Tfrmnewlap(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmnewlap"));
    setWindowTitle(LapCorrections::entryCaption());
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("MaskEdit1"));
    m_edit->setInputMask(LapCorrections::entryMask());
    auto *buttons = new QDialogButtonBox(this);
    m_add = buttons->addButton(QStringLiteral("ADD"), QDialogButtonBox::AcceptRole);
    m_add->setObjectName(QStringLiteral("btadd"));
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("btcancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_edit, &QLineEdit::textChanged, this,
            [this](const QString &t) { m_add->setEnabled(LapCorrections::entryComplete(t)); });
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(LapCorrections::entryLabel(), this));
    layout->addWidget(m_edit);
    layout->addWidget(buttons);
    m_add->setEnabled(false);
}

QString Tfrmnewlap::text() const
{
    return m_edit->text();
}

QString Tfrmnewlap::askLapTime()
{
    m_edit->clear();
    m_edit->setFocus();
    return exec() == QDialog::Accepted ? m_edit->text() : QString();
}

} // namespace lapvane
