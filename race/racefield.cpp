// The race list in memory for the pass loop.
#include "race/racefield.h"

#include "race/pendinglaps.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>

namespace lapvane {

bool RaceField::read(QSqlDatabase db, const PendingLaps &waiting, bool passes, QString *error)
{
    m_pilots.clear();
    m_read = false;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    // Each row with its pilot's newest lap (one index lookup a row).
    if (!q.exec(QStringLiteral("SELECT o.id, o.pilotid, o.pilotname, o.pilottrans, o.lapno, o.\"group\", "
                               "o.confirmed, (SELECT laptime FROM laps WHERE laps.pilotid=o.pilotid "
                               "ORDER BY lapn DESC LIMIT 1) FROM onerace o ORDER BY o.id ASC"))) {
        *error = q.lastError().text();
        return false;
    }
    QHash<int, int> byPilot; // pilot id -> his first row
    while (q.next()) {
        FieldPilot p;
        p.rowId = q.value(0).toInt();
        p.pilotId = q.value(1).toInt();
        p.name = q.value(2).toString();
        p.transponder = q.value(3).toLongLong(&p.hasTransponder);
        p.lapno = q.value(4).toInt();
        p.group = q.value(5).toString();
        p.confirmed = q.value(6).toString() == QLatin1String("Y");
        if (!q.value(7).isNull()) {
            bool ok = false;
            p.lastPassMs = q.value(7).toLongLong(&ok);
            p.lastPassUnreadable = !ok;
        }
        if (!byPilot.contains(p.pilotId))
            byPilot.insert(p.pilotId, int(m_pilots.size()));
        m_pilots.append(p);
    }
    q.finish();
    // The passes each row counts, in lap order.
    if (passes) {
        if (!q.exec(QStringLiteral("SELECT laps.pilotid, laps.lapn, laps.laptime FROM laps WHERE laps.pilotid IN "
                                   "(SELECT pilotid FROM onerace) ORDER BY laps.pilotid ASC, laps.lapn ASC, "
                                   "laps.id ASC"))) {
            *error = q.lastError().text();
            m_pilots.clear();
            return false;
        }
        while (q.next()) {
            const int pilotId = q.value(0).toInt();
            const int lapn = q.value(1).toInt();
            const qint64 raceMs = q.value(2).toLongLong();
            // Every row of the pilot sees his laps (a pilot listed twice is one pilot).
            for (int i = byPilot.value(pilotId, -1); i >= 0 && i < m_pilots.size(); ++i) {
                FieldPilot &p = m_pilots[i];
                if (p.pilotId == pilotId && lapn <= p.lapno)
                    p.passesMs << raceMs;
            }
        }
        q.finish();
    }
    // Laps counted but still waiting for the database are the pilots' laps too.
    for (const PendingLap &lap : waiting.laps()) {
        for (FieldPilot &p : m_pilots) {
            if (p.rowId == lap.rowId)
                ++p.lapno;
            if (p.pilotId == lap.pilotId) {
                p.passesMs << lap.raceMs;
                p.lastPassMs = lap.raceMs;
                p.lastPassUnreadable = false;
            }
        }
    }
    m_read = true;
    return true;
}

int RaceField::findTransponder(qint64 transponder) const
{
    for (int i = 0; i < m_pilots.size(); ++i) {
        if (m_pilots.at(i).hasTransponder && m_pilots.at(i).transponder == transponder)
            return i;
    }
    return -1;
}

int RaceField::findPilot(int pilotId) const
{
    for (int i = 0; i < m_pilots.size(); ++i) {
        if (m_pilots.at(i).pilotId == pilotId)
            return i;
    }
    return -1;
}

qint64 RaceField::lapSum() const
{
    qint64 sum = 0;
    for (const FieldPilot &p : m_pilots)
        sum += p.lapno;
    return sum;
}

void RaceField::addLap(int index, qint64 raceMs)
{
    FieldPilot &counted = m_pilots[index];
    ++counted.lapno;
    for (FieldPilot &p : m_pilots) {
        if (p.pilotId != counted.pilotId)
            continue;
        p.passesMs << raceMs;
        p.lastPassMs = raceMs;
        p.lastPassUnreadable = false;
    }
}

} // namespace lapvane
