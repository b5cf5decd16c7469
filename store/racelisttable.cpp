// The race list as stored.
#include "store/racelisttable.h"

#include "store/database.h"
#include "store/transaction.h"

#include <QSqlError>
#include <QSqlQuery>

namespace lapvane {

namespace {
const QStringList &raceListColumns()
{
    static const QStringList c = {
        QStringLiteral("id"),          QStringLiteral("pilotid"),      QStringLiteral("pilotname"),
        QStringLiteral("nickname"),    QStringLiteral("pilotteam"),    QStringLiteral("coptercolor"),
        QStringLiteral("pilottrans"),  QStringLiteral("group"),        QStringLiteral("vtx"),
        QStringLiteral("place"),       QStringLiteral("lapno"),        QStringLiteral("besttime"),
        QStringLiteral("besttimetxt"), QStringLiteral("totaltime"),    QStringLiteral("totaltimetxt"),
        QStringLiteral("confirmed")};
    return c;
}
} // namespace

bool RaceListTable::setOrderBy(const QString &orderBy)
{
    QStringList terms;
    for (const QString &part : orderBy.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList words = part.simplified().split(QLatin1Char(' '));
        QString column = words.value(0);
        if (column.size() > 2 && column.startsWith(QLatin1Char('"')) && column.endsWith(QLatin1Char('"')))
            column = column.mid(1, column.size() - 2);
        const QString direction = words.value(1, QStringLiteral("ASC")).toUpper();
        if (words.size() > 2 || !raceListColumns().contains(column, Qt::CaseInsensitive)
            || (direction != QLatin1String("ASC") && direction != QLatin1String("DESC")))
            return false;
        terms << QStringLiteral("\"%1\" %2").arg(column.toLower(), direction);
    }
    m_orderBy = terms.join(QLatin1Char(','));
    return true;
}

std::optional<QList<RaceListTable::Row>> RaceListTable::rows(QString *error) const
{
    // Rows equal in the shown order keep the table order.
    const QString order = m_orderBy.isEmpty() ? QStringLiteral("id ASC") : m_orderBy + QStringLiteral(",id ASC");
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT id,pilotid,pilottrans,pilotname,confirmed FROM onerace ORDER BY ")
                + order)) {
        if (error)
            *error = q.lastError().text();
        return std::nullopt;
    }
    QList<Row> out;
    while (q.next()) {
        out.append(Row{q.value(0).toInt(), q.value(1).toInt(), q.value(2).toInt(), q.value(3).toString(),
                       q.value(4).toString()});
    }
    return out;
}

bool RaceListTable::setConfirmed(int rowId, const QString &flag, QString *error)
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("UPDATE onerace SET confirmed=? WHERE id=?"));
    q.addBindValue(flag);
    q.addBindValue(rowId);
    if (!q.exec()) {
        if (error)
            *error = q.lastError().text();
        return false;
    }
    return true;
}

namespace {

// Laps first, while the race list still names the pilots.
const QString kDeleteListLaps = QStringLiteral("DELETE FROM laps WHERE pilotid IN (SELECT pilotid FROM onerace)");

bool failed(QSqlDatabase db, const QSqlQuery &q, QString *error)
{
    if (error)
        *error = q.lastError().isValid() ? q.lastError().text() : db.lastError().text();
    return false;
}

} // namespace

bool RaceListTable::empty(QString *error)
{
    Transaction tx(m_db);
    QSqlQuery q(m_db);
    if (!q.exec(kDeleteListLaps) || !q.exec(QStringLiteral("DELETE FROM onerace")) || !tx.commit())
        return failed(m_db, q, error);
    return true;
}

bool RaceListTable::clearForNewRace(QString *error)
{
    Transaction tx(m_db);
    QSqlQuery q(m_db);
    if (!q.exec(kDeleteListLaps))
        return failed(m_db, q, error);
    q.prepare(QStringLiteral("UPDATE onerace SET lapno=0, place=?, besttime=?, besttimetxt='-', "
                             "totaltime=?, totaltimetxt='-'"));
    q.addBindValue(kNoPlace);
    q.addBindValue(kNoTimeMs);
    q.addBindValue(kNoTimeMs);
    if (!q.exec() || !tx.commit())
        return failed(m_db, q, error);
    return true;
}

} // namespace lapvane
