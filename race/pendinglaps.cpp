// Counted laps on their way to the database.
#include "race/pendinglaps.h"

#include "store/laptime.h"
#include "store/transaction.h"

#include <QSqlError>
#include <QSqlQuery>

namespace lapvane {

int PendingLaps::countFor(int rowId) const
{
    int n = 0;
    for (const PendingLap &lap : m_laps)
        n += lap.rowId == rowId;
    return n;
}

qint64 PendingLaps::lastRaceMsOf(int pilotId) const
{
    for (auto it = m_laps.crbegin(); it != m_laps.crend(); ++it) {
        if (it->pilotId == pilotId)
            return it->raceMs;
    }
    return -1;
}

QList<qint64> PendingLaps::raceTimesOf(int pilotId) const
{
    QList<qint64> times;
    for (const PendingLap &lap : m_laps) {
        if (lap.pilotId == pilotId)
            times << lap.raceMs;
    }
    return times;
}

QString PendingLaps::plainError(const QString &driverText, const QString &nativeCode)
{
    // SQLITE_FULL: the disk (or the file's size limit) left no room.
    if (nativeCode == QLatin1String("13") || driverText.contains(QLatin1String("disk is full")))
        return QStringLiteral("the disk is full");
    return driverText;
}

int PendingLaps::write(QSqlDatabase db, QString *error, QList<qint64> *lapIds)
{
    if (!m_prepared) {
        m_count = QSqlQuery(db);
        m_insert = QSqlQuery(db);
        m_prepared = m_count.prepare(QStringLiteral("UPDATE onerace SET lapno=? WHERE id=?")) &&
                     m_insert.prepare(QStringLiteral(
                         "INSERT INTO laps (pilotid, lapn, laptime, laptimetxt) VALUES (?, ?, ?, ?)"));
        if (!m_prepared) {
            const QSqlError e = m_count.lastError().isValid() ? m_count.lastError() : m_insert.lastError();
            *error = plainError(e.text(), e.nativeErrorCode());
            return 0;
        }
    }
    QSqlQuery &count = m_count;
    QSqlQuery &insert = m_insert;
    int written = 0;
    while (!m_laps.isEmpty()) {
        const PendingLap &lap = m_laps.constFirst();
        // The count and the lap row go to the file together: a count without
        // its lap (or the reverse) would break the lap numbering.
        Transaction tx(db);
        count.bindValue(0, lap.lapn);
        count.bindValue(1, lap.rowId);
        insert.bindValue(0, lap.pilotId);
        insert.bindValue(1, lap.lapn);
        insert.bindValue(2, lap.raceMs);
        insert.bindValue(3, ms2minsecmstext(lap.lapMs));
        const bool ok = tx.isActive() && count.exec() && insert.exec() && tx.commit();
        if (!ok) {
            QSqlError e = db.lastError();
            if (count.lastError().isValid())
                e = count.lastError();
            else if (insert.lastError().isValid())
                e = insert.lastError();
            *error = plainError(e.text(), e.nativeErrorCode());
            return written;
        }
        if (lapIds)
            lapIds->append(insert.lastInsertId().toLongLong());
        m_laps.removeFirst();
        ++written;
    }
    return written;
}

} // namespace lapvane
