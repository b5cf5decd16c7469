// The values of the "Auto sort by groups" dialog and the arithmetic that keeps
// its two edits in step.
#pragma once

#include <QObject>
#include <QStringList>

namespace lapvane {

class GroupDialogModel : public QObject
{
    Q_OBJECT
public:
    explicit GroupDialogModel(QObject *parent = nullptr);

    // FormShow: the number of rows to group (lbrecords). Groups are worked
    // out again from the pilots per group, so values kept from another stage
    // never go stale.
    void show(int records);

    // edpilotspergrpChange / grpmaxChange: the operator typed into one edit;
    // the other follows (and back, until the two settle). The window calls
    // these on textEdited and mirrors the *Changed signals into the edits.
    void editPilotsPerGroup(const QString &text);
    void editGroups(const QString &text);

    int records() const { return m_records; }
    QString groupsText() const { return m_groups; }         // grpmax
    QString pilotsPerGroupText() const { return m_pilots; } // edpilotspergrp
    QStringList channels() const { return m_channels; }      // memoch lines
    void setChannels(const QStringList &lines) { m_channels = lines; }

    // The ceiling of records / divisor as text, "err" when divisor is not a
    // whole number above 0.
    static QString otherValue(int records, const QString &divisor);

signals:
    void groupsTextChanged(const QString &text);
    void pilotsPerGroupTextChanged(const QString &text);

private:
    void setGroups(const QString &text);
    void setPilots(const QString &text);

    int m_records = 0;
    QString m_groups;
    QString m_pilots = QStringLiteral("4");
    QStringList m_channels = {QStringLiteral("R2"), QStringLiteral("R3"), QStringLiteral("R6"),
                              QStringLiteral("R8")};
};

} // namespace lapvane
