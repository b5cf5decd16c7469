// Group dialog arithmetic.
#include "events/groupdialogmodel.h"

namespace lapvane {

namespace {
const QString kErr = QStringLiteral("err");
}

GroupDialogModel::GroupDialogModel(QObject *parent) : QObject(parent) {}

QString GroupDialogModel::otherValue(int records, const QString &divisor)
{
    bool ok = false;
    const int d = divisor.trimmed().toInt(&ok);
    if (!ok || d <= 0)
        return kErr;
    return QString::number(records / d + (records % d > 0 ? 1 : 0));
}

void GroupDialogModel::show(int records)
{
    m_records = records;
    if (otherValue(records, m_pilots) != kErr)
        setGroups(otherValue(records, m_pilots));
}

void GroupDialogModel::editPilotsPerGroup(const QString &text)
{
    m_pilots = text;
    setGroups(otherValue(m_records, text));
}

void GroupDialogModel::editGroups(const QString &text)
{
    m_groups = text;
    setPilots(otherValue(m_records, text));
}

// Each edit changes only when its text differs, and an "err" does not travel
// further, so the exchange always settles.
void GroupDialogModel::setGroups(const QString &text)
{
    if (text == m_groups)
        return;
    m_groups = text;
    emit groupsTextChanged(text);
    if (text != kErr)
        setPilots(otherValue(m_records, text));
}

void GroupDialogModel::setPilots(const QString &text)
{
    if (text == m_pilots)
        return;
    m_pilots = text;
    emit pilotsPerGroupTextChanged(text);
    if (text != kErr)
        setGroups(otherValue(m_records, text));
}

} // namespace lapvane
