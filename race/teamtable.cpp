// The team standings of a team race.
#include "race/teamtable.h"

#include <QSqlError>
#include <QSqlQuery>

namespace lapvane {

TeamTable::TeamTable(QObject *parent) : QAbstractTableModel(parent)
{
    m_rows.append(Row{});
}

QStringList TeamTable::headerTexts()
{
    return {QStringLiteral("Team"), QStringLiteral("Laps"), QStringLiteral("Place")};
}

int TeamTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TeamTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant TeamTable::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size()
        || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const Row &r = m_rows.at(index.row());
    switch (index.column()) {
    case TeamColumn: return r.name;
    case LapsColumn: return r.name.isEmpty() && r.laps == 0 && r.place.isEmpty() ? QString() : QString::number(r.laps);
    case PlaceColumn: return r.place;
    default: return {};
    }
}

QVariant TeamTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 3)
        return headerTexts().at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

QString TeamTable::teamName(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).name : QString();
}

int TeamTable::laps(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).laps : 0;
}

QString TeamTable::place(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).place : QString();
}

int TeamTable::findTeam(const QString &group) const
{
    int found = -1;
    for (int i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).name == group)
            found = i;
    }
    return found;
}

void TeamTable::setLaps(int row, int laps)
{
    if (row < 0 || row >= m_rows.size())
        return;
    m_rows[row].laps = laps;
    emit dataChanged(index(row, LapsColumn), index(row, LapsColumn));
}

void TeamTable::setPlace(int row, const QString &place)
{
    if (row < 0 || row >= m_rows.size())
        return;
    m_rows[row].place = place;
    emit dataChanged(index(row, PlaceColumn), index(row, PlaceColumn));
}

void TeamTable::rebuild(const QStringList &groupsInListOrder)
{
    beginResetModel();
    m_rows.clear();
    m_rows.append(Row{});
    for (const QString &group : groupsInListOrder) {
        if (group.isEmpty() || findTeam(group) >= 0)
            continue;
        if (!m_rows.last().name.isEmpty())
            m_rows.append(Row{});
        m_rows.last() = Row{group, 0, QString()};
    }
    endResetModel();
}

bool TeamTable::rebuildFromRaceList(QSqlDatabase db, QString *error)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT \"group\" FROM onerace ORDER BY id ASC"))) {
        if (error)
            *error = q.lastError().text();
        return false;
    }
    QStringList groups;
    while (q.next())
        groups << q.value(0).toString();
    rebuild(groups);
    return true;
}

} // namespace lapvane
