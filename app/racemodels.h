// Table models of the race page: the race list (sorted by the engine's order,
// stream-channel rows in yellow), the laps of the selected pilot and the copy
// of the previous race. Edits are posted at once.
#pragma once

#include <QHash>
#include <QSet>
#include <QSqlTableModel>

#include <functional>

class QTableView;

namespace lapvane {

class StreamChannels;

class RaceListModel : public QSqlTableModel
{
    Q_OBJECT
public:
    RaceListModel(QSqlDatabase db, const StreamChannels &channels, QObject *parent = nullptr);

    // Orders the rows by "<field> ASC|DESC" ("" for table order). Unknown
    // fields are ignored.
    void setOrderBy(const QString &orderBy);
    QString orderBy() const { return m_orderBy; }

    // The key `id` of a row, and the row of a key (-1 when not shown).
    int rowId(int row) const;
    int rowOf(int id) const;

    // Re-reads just these rows (keys `id`) from the store, each in its place;
    // the view repaints only what changed.
    void refreshRows(const QSet<int> &ids);
    // The rows are sorted by the field a pass changes (the lap count), so a
    // changed row may have to move: re-read the whole list instead.
    bool orderFollowsPasses() const { return m_orderBy.startsWith(QLatin1String("lapno ")); }

    // The stage the race belongs to. While it races by a format other than
    // the default, the Place and Laps cells carry each pilot's deciding value
    // as their tooltip, read again with the rows.
    void setRaceStage(std::function<int()> stageId);
    QString decidingText(int pilotId) const { return m_deciding.value(pilotId); }

    // Counted laps of a row (key `id`) that still wait for the database: the
    // Laps cell shows them with the stored count and says so in its tooltip.
    void setWaitingLaps(std::function<int(int rowId)> waiting) { m_waiting = std::move(waiting); }

    bool select() override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

signals:
    // The order the rows are shown in changed (the receivers follow it).
    void orderByChanged(const QString &orderBy);

protected:
    QString orderByClause() const override;

private:
    const StreamChannels &m_channels;
    QString m_orderBy;
    void readDeciding();

    int m_pilotIdColumn = -1;
    int m_placeColumn = -1;
    int m_lapsColumn = -1;
    std::function<int()> m_raceStage;
    QHash<int, QString> m_deciding; // pilot id -> deciding value text
    std::function<int(int)> m_waiting;
    // Row of each key, built when first needed after the rows came or went.
    mutable QHash<int, int> m_rowOfId;
    mutable bool m_rowOfIdValid = false;
};

// The laps of one pilot in lap order.
class LapsModel : public QSqlTableModel
{
    Q_OBJECT
public:
    explicit LapsModel(QSqlDatabase db, QObject *parent = nullptr);
    void showPilot(int pilotId);
    int pilotId() const { return m_pilotId; }
    // The laps of this pilot changed: re-read them when they are the ones shown.
    // True when they were.
    bool refreshPilot(int pilotId);
    int lapId(int row) const;

private:
    int m_pilotId = 0;
};

// Shows the columns named, in that order, with their headings; hides the rest.
void showColumns(QTableView *view, QSqlTableModel *model, const QList<QPair<QString, QString>> &columns);

} // namespace lapvane
