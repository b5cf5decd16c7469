// Table models of the race page.
#include "app/racemodels.h"

#include "core/streamchannels.h"

#include <QColor>
#include <QHeaderView>
#include <QSqlRecord>
#include <QTableView>

namespace lapvane {

RaceListModel::RaceListModel(QSqlDatabase db, const StreamChannels &channels, QObject *parent)
    : QSqlTableModel(parent, db), m_channels(channels)
{
    setTable(QStringLiteral("onerace"));
    setEditStrategy(QSqlTableModel::OnFieldChange);
}

void RaceListModel::setOrderBy(const QString &orderBy)
{
    const QStringList parts = orderBy.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.isEmpty()) {
        m_orderBy.clear();
    } else if (record().indexOf(parts.first()) >= 0) {
        const bool desc = parts.size() > 1 && parts.at(1).compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0;
        m_orderBy = parts.first() + (desc ? QStringLiteral(" DESC") : QStringLiteral(" ASC"));
    } else {
        return;
    }
    select();
    emit orderByChanged(m_orderBy);
}

QString RaceListModel::orderByClause() const
{
    if (m_orderBy.isEmpty())
        return QString();
    // The field is checked against the table's own fields; the key keeps ties
    // in table order.
    const QStringList parts = m_orderBy.split(QLatin1Char(' '));
    return QStringLiteral("ORDER BY \"%1\" %2, id ASC").arg(parts.at(0), parts.at(1));
}

int RaceListModel::rowId(int row) const
{
    return record(row).value(QStringLiteral("id")).toInt();
}

int RaceListModel::rowOf(int id) const
{
    for (int r = 0; r < rowCount(); ++r) {
        if (rowId(r) == id)
            return r;
    }
    return -1;
}

QVariant RaceListModel::data(const QModelIndex &index, int role) const
{
    if (role == Qt::BackgroundRole || role == Qt::ForegroundRole) {
        const int pilotId = QSqlTableModel::data(this->index(index.row(), fieldIndex(QStringLiteral("pilotid")))).toInt();
        if (pilotId != 0 && m_channels.isShown(pilotId))
            return role == Qt::BackgroundRole ? QVariant(QColor(Qt::yellow)) : QVariant(QColor(Qt::black));
    }
    return QSqlTableModel::data(index, role);
}

LapsModel::LapsModel(QSqlDatabase db, QObject *parent) : QSqlTableModel(parent, db)
{
    setTable(QStringLiteral("laps"));
    setEditStrategy(QSqlTableModel::OnFieldChange);
    setSort(fieldIndex(QStringLiteral("lapn")), Qt::AscendingOrder);
    showPilot(0);
}

void LapsModel::showPilot(int pilotId)
{
    m_pilotId = pilotId;
    setFilter(QStringLiteral("pilotid=%1").arg(pilotId));
    select();
}

int LapsModel::lapId(int row) const
{
    return record(row).value(QStringLiteral("id")).toInt();
}

void showColumns(QTableView *view, QSqlTableModel *model, const QList<QPair<QString, QString>> &columns)
{
    QHeaderView *header = view->horizontalHeader();
    for (int c = 0; c < model->columnCount(); ++c)
        view->setColumnHidden(c, true);
    int visual = 0;
    for (const auto &[field, heading] : columns) {
        const int c = model->fieldIndex(field);
        if (c < 0)
            continue;
        model->setHeaderData(c, Qt::Horizontal, heading);
        view->setColumnHidden(c, false);
        header->moveSection(header->visualIndex(c), visual++);
    }
}

} // namespace lapvane
