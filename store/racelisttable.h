// The race list (`onerace`) and its laps as stored: its rows in the order the
// window shows them, the `confirmed` flag, emptying the list with its laps,
// and clearing it for a new race. Every command that empties or clears the
// race list does it here.
#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QStringList>
#include <QString>

#include <optional>

namespace lapvane {

class RaceListTable
{
public:
    struct Row
    {
        int rowId = 0;
        int pilotId = 0;
        qint32 pilottrans = 0;
        QString pilotname;
        QString confirmed;
    };

    explicit RaceListTable(QSqlDatabase db) : m_db(db) {}

    // The order in which the window lists the race list, as an ORDER BY text
    // of race-list columns ("vtx ASC", "place ASC", "lapno DESC,totaltime ASC");
    // "" is the table order. Anything but known column names with ASC or DESC
    // is refused (false) and the order stays as it was.
    bool setOrderBy(const QString &orderBy);
    QString orderBy() const { return m_orderBy; }

    // The rows in the shown order; empty optional (and error) when the store failed.
    std::optional<QList<Row>> rows(QString *error) const;
    bool setConfirmed(int rowId, const QString &flag, QString *error);
    // Deletes the laps of every race-list pilot, then every race-list row,
    // in one transaction.
    bool empty(QString *error);
    // A new race on the same list: the laps of every race-list pilot are
    // deleted and every row's laps, place, best lap and total cleared, in one
    // transaction.
    bool clearForNewRace(QString *error);

private:
    QSqlDatabase m_db;
    QString m_orderBy;
};

} // namespace lapvane
