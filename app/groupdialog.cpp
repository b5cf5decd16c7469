// The "Auto sort by groups" dialog.
#include "app/groupdialog.h"

#include "events/groupdialogmodel.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lapvane {

Tfrmgroup::Tfrmgroup(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmgroup"));
    setWindowTitle(QStringLiteral("Auto sort by groups"));
    setModal(true);

    m_records = new QLabel(this);
    m_records->setObjectName(QStringLiteral("lbrecords"));
    m_groups = new QLineEdit(this);
    m_groups->setObjectName(QStringLiteral("grpmax"));
    m_pilots = new QLineEdit(this);
    m_pilots->setObjectName(QStringLiteral("edpilotspergrp"));
    m_channels = new QPlainTextEdit(this);
    m_channels->setObjectName(QStringLiteral("memoch"));
    m_channels->setTabChangesFocus(true);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("TOTAL PILOTS:"), m_records);
    form->addRow(QStringLiteral("Groups:"), m_groups);
    form->addRow(QStringLiteral("Pilots per grp:"), m_pilots);
    form->addRow(QStringLiteral("VTX:"), m_channels);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btok"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btcancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

bool Tfrmgroup::run(GroupDialogModel &model)
{
    // The edits follow the model while the dialog is up: typing in one makes
    // the model work out the other, which is mirrored back here.
    QList<QMetaObject::Connection> links;
    links << connect(m_groups, &QLineEdit::textEdited, &model, &GroupDialogModel::editGroups);
    links << connect(m_pilots, &QLineEdit::textEdited, &model, &GroupDialogModel::editPilotsPerGroup);
    links << connect(&model, &GroupDialogModel::groupsTextChanged, m_groups, &QLineEdit::setText);
    links << connect(&model, &GroupDialogModel::pilotsPerGroupTextChanged, m_pilots, &QLineEdit::setText);

    m_records->setText(QString::number(model.records()));
    m_groups->setText(model.groupsText());
    m_pilots->setText(model.pilotsPerGroupText());
    m_channels->setPlainText(model.channels().join(QLatin1Char('\n')));
    m_pilots->setFocus();
    m_pilots->selectAll();

    const bool ok = exec() == QDialog::Accepted;
    for (const QMetaObject::Connection &c : links)
        disconnect(c);
    if (ok)
        model.setChannels(m_channels->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts));
    return ok;
}

} // namespace lapvane
