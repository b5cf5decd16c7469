// The receivers' view of the race list (`onerace`): its rows in the order the
// window shows them, the `confirmed` flag, and emptying the list with its laps.
#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace lapvane {

class RaceListAccess
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

    explicit RaceListAccess(QSqlDatabase db) : m_db(db) {}

    // The order in which the window lists the race list, as an ORDER BY text
    // of race-list columns ("vtx ASC", "place ASC", "lapno DESC,totaltime ASC");
    // "" is the table order. Anything but known column names with ASC or DESC
    // is refused (false) and the order stays as it was.
    bool setOrderBy(const QString &orderBy);
    QString orderBy() const { return m_orderBy; }

    // The rows in the shown order; empty optional (and error) when the store failed.
    std::optional<QList<Row>> rows(QString *error) const;
    bool setConfirmed(int rowId, const QString &flag, QString *error);
    // Deletes the laps of every race-list pilot, then every race-list row.
    bool reset(QString *error);

private:
    QSqlDatabase m_db;
    QString m_orderBy;
};

} // namespace lapvane
