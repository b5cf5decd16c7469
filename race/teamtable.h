// The team standings of a team race ("TEAM TABLE"): one row per team with its
// laps and finishing place, read and written by the pass loop.
#pragma once

#include <QAbstractTableModel>
#include <QSqlDatabase>
#include <QStringList>

namespace lapvane {

// Data rows only; the fixed header "Team", "Laps", "Place" is the model's
// horizontal header. Like the grid it stands for, it always has at least one
// data row (an empty one before the teams are listed).
class TeamTable : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { TeamColumn = 0, LapsColumn = 1, PlaceColumn = 2 };

    explicit TeamTable(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The header texts "Team", "Laps", "Place".
    static QStringList headerTexts();

    // Number of data rows: the competitors of a team race.
    int teamCount() const { return int(m_rows.size()); }
    QString teamName(int row) const;
    int laps(int row) const;
    // The finishing place as text; empty until the team finishes.
    QString place(int row) const;

    // The last data row whose name equals group exactly, or -1.
    int findTeam(const QString &group) const;

    void setLaps(int row, int laps);
    void setPlace(int row, const QString &place);

    // "Refresh Team Table": the header and one empty row, then one row per
    // distinct non-empty group in the given order, each with 0 laps and no place.
    void rebuild(const QStringList &groupsInListOrder);
    // The same from the race list, in its table order. False (and error set)
    // when the race list cannot be read; the table is then left as it was.
    bool rebuildFromRaceList(QSqlDatabase db, QString *error = nullptr);

private:
    struct Row
    {
        QString name;
        int laps = 0;
        QString place;
    };
    QList<Row> m_rows;
};

} // namespace lapvane
