// A race continued after the program was restarted: the race's start (clock
// zero, the receivers' clocks) kept in the race state file, and what the pass
// loop needs to go on from the laps already counted.
#include "race/raceengine.h"

#include "core/clock.h"
#include "core/operatorlog.h"
#include "core/receivers.h"
#include "core/settings.h"
#include "race/passrule.h"
#include "race/racestatefile.h"
#include "store/laptime.h"

#include <QJsonObject>
#include <QSqlQuery>

namespace lapvane {

void RaceEngine::keepRaceStart()
{
    if (m_s.raceStateFile.isEmpty())
        return;
    QJsonObject state{{QStringLiteral("origin"), double(m_raceClock.origin())}};
    const StartClocks clocks = m_s.receivers.startClocks();
    for (auto it = clocks.cbegin(); it != clocks.cend(); ++it)
        state.insert(it.key(), double(it.value()));
    QString error;
    if (!writeRaceState(m_s.raceStateFile, state, &error))
        savelog(QStringLiteral("Could not keep the race start in %1 (%2): if the program is restarted during "
                               "this race, its clock cannot be continued.")
                    .arg(m_s.raceStateFile, error));
}

bool RaceEngine::restoreRaceStart()
{
    if (m_s.raceStateFile.isEmpty())
        return false;
    const QJsonObject state = readRaceState(m_s.raceStateFile);
    // Every receiver there is now must have its clock kept: one without it
    // (a file from before it was added) cannot count from the race's zero.
    StartClocks clocks = m_s.receivers.startClocks();
    if (!state.value(QStringLiteral("origin")).isDouble())
        return false;
    for (auto it = clocks.begin(); it != clocks.end(); ++it) {
        if (!state.value(it.key()).isDouble())
            return false;
        it.value() = qint64(state.value(it.key()).toDouble());
    }
    m_raceClock.setOrigin(qint64(state.value(QStringLiteral("origin")).toDouble()));
    m_s.receivers.setStartClocks(clocks);
    return true;
}

void RaceEngine::restoreInterruptedRace()
{
    QSqlQuery q(m_s.db);
    if (restoreRaceStart()) {
        // The race clock and the receivers count from the race's own start again.
        savelog(QStringLiteral("Continuing a race begun before the program was restarted: the race clock "
                               "and the receivers' clocks are those of its start."));
    } else {
        // Nothing was kept: the clock resumes from the last recorded pass, and
        // the receivers' times cannot be trusted until the next new race.
        qint64 lastPassMs = 0;
        if (q.exec(QStringLiteral(
                "SELECT MAX(laptime) FROM laps WHERE pilotid IN (SELECT pilotid FROM onerace)")) &&
            q.next())
            lastPassMs = q.value(0).toLongLong();
        m_raceClock.setOrigin(m_s.clock.nowMs() - lastPassMs);
        savelog(QStringLiteral("Continuing a race begun before the program was restarted: the race "
                               "clock resumes from the last recorded pass at %1. The receivers' start "
                               "clocks are not known: check the next laps, or start the race anew.")
                    .arg(ms2minsecmstext(lastPassMs)));
    }
    m_racemillis = 0;

    int lapLimit = 0;
    parseWholeNumber(m_s.settings.text(QStringLiteral("edtlaps")), &lapLimit);
    m_pilotplace = 1;
    if (lapLimit > 0) {
        q.prepare(QStringLiteral("SELECT COUNT(*) FROM onerace WHERE lapno>=?"));
        q.addBindValue(lapLimit);
        if (q.exec() && q.next())
            m_pilotplace += q.value(0).toInt();
    }
    if (m_s.settings.flag(QStringLiteral("chkteamrace"))) {
        q.prepare(QStringLiteral("SELECT COALESCE(SUM(lapno),0) FROM onerace WHERE \"group\"=?"));
        for (int row = 0; row < m_teams.teamCount(); ++row) {
            if (m_teams.teamName(row).isEmpty())
                continue;
            q.bindValue(0, m_teams.teamName(row));
            if (q.exec() && q.next())
                m_teams.setLaps(row, q.value(0).toInt());
        }
    }
}


} // namespace lapvane
