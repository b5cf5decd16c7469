// Table models of the race page.
#include "app/racemodels.h"

#include "competition/stagedeciding.h"
#include "core/streamchannels.h"

#include <QColor>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QSqlRecord>
#include <QTableView>

namespace lapvane {

RaceListModel::RaceListModel(QSqlDatabase db, const StreamChannels &channels, QObject *parent)
    : QSqlTableModel(parent, db), m_channels(channels)
{
    setTable(QStringLiteral("onerace"));
    setEditStrategy(QSqlTableModel::OnFieldChange);
    m_pilotIdColumn = fieldIndex(QStringLiteral("pilotid"));
    m_placeColumn = fieldIndex(QStringLiteral("place"));
    m_lapsColumn = fieldIndex(QStringLiteral("lapno"));
    auto invalidate = [this] { m_rowOfIdValid = false; };
    connect(this, &QAbstractItemModel::modelReset, this, invalidate);
    connect(this, &QAbstractItemModel::rowsInserted, this, invalidate);
    connect(this, &QAbstractItemModel::rowsRemoved, this, invalidate);
    connect(this, &QAbstractItemModel::layoutChanged, this, invalidate);
}

void RaceListModel::setOrderBy(const QString &orderBy)
{
    const QStringList parts = orderBy.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.isEmpty()) {
        m_orderBy.clear();
    } else if (record().indexOf(parts.first()) >= 0) {
        const bool desc =
            parts.size() > 1 && parts.at(1).compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0;
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
    if (!m_rowOfIdValid) {
        m_rowOfId.clear();
        const int idColumn = fieldIndex(QStringLiteral("id"));
        for (int r = 0; r < rowCount(); ++r)
            m_rowOfId.insert(QSqlTableModel::data(index(r, idColumn)).toInt(), r);
        m_rowOfIdValid = true;
    }
    return m_rowOfId.value(id, -1);
}

void RaceListModel::refreshRows(const QSet<int> &ids)
{
    for (int id : ids) {
        const int row = rowOf(id);
        if (row < 0)
            continue;
        // Said cell by cell, so the view repaints the cells that changed (a
        // pass changes one: the lap count), not the whole grid.
        const QSqlRecord before = record(row);
        {
            const QSignalBlocker quiet(this);
            selectRow(row);
        }
        const QSqlRecord after = record(row);
        for (int c = 0; c < after.count(); ++c) {
            if (c >= before.count() || before.value(c) != after.value(c))
                emit dataChanged(index(row, c), index(row, c));
        }
    }
    if (!ids.isEmpty())
        readDeciding(); // a pass may change any pilot's standing
}

void RaceListModel::setRaceStage(std::function<int()> stageId)
{
    m_raceStage = std::move(stageId);
    readDeciding();
}

void RaceListModel::readDeciding()
{
    QString error;
    if (!m_raceStage || !raceListDeciding(database(), m_raceStage(), &m_deciding, &error))
        m_deciding.clear(); // no tooltip; the race list shows its own read failures
}

bool RaceListModel::select()
{
    const bool ok = QSqlTableModel::select();
    readDeciding();
    return ok;
}

QVariant RaceListModel::data(const QModelIndex &index, int role) const
{
    if (index.column() == m_lapsColumn && m_waiting && (role == Qt::DisplayRole || role == Qt::ToolTipRole)) {
        const int waiting = m_waiting(rowId(index.row()));
        if (waiting > 0) {
            if (role == Qt::ToolTipRole)
                return QStringLiteral("%1 of these laps wait to be written to the database").arg(waiting);
            return QSqlTableModel::data(index, role).toInt() + waiting;
        }
    }
    if (role == Qt::ToolTipRole && (index.column() == m_placeColumn || index.column() == m_lapsColumn)) {
        const QString text =
            m_deciding.value(QSqlTableModel::data(this->index(index.row(), m_pilotIdColumn)).toInt());
        return text.isEmpty() ? QVariant() : QVariant(text);
    }
    if (role == Qt::BackgroundRole || role == Qt::ForegroundRole) {
        const int pilotId = QSqlTableModel::data(this->index(index.row(), m_pilotIdColumn)).toInt();
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

bool LapsModel::refreshPilot(int pilotId)
{
    if (pilotId != m_pilotId)
        return false;
    select();
    return true;
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
