// The pass loop: each tick takes the passes the receivers queued, judges each
// by the race's rule against the race list in memory, counts the laps and
// ends the race when its rule says so.
#include "race/raceengine.h"

#include "competition/stagedeciding.h"
#include "core/cues.h"
#include "core/currentselection.h"
#include "core/operatorlog.h"
#include "core/receivers.h"
#include "core/settings.h"
#include "race/passrule.h"
#include "store/laptime.h"

#include <algorithm>
#include <exception>

namespace lapvane {

void RaceEngine::tmrraceTimer()
{
    // A finish started from inside a tick may process events; never nest.
    if (!m_tickEnabled || m_inTick)
        return;
    m_inTick = true;
    struct TickGuard
    {
        bool &flag;
        ~TickGuard() { flag = false; }
    } guard{m_inTick};

    if (m_rules.format == RaceFormat::MostLaps && !m_timeUpLogged) {
        const FormatOptions &o = m_rules.options;
        if (o.timeLimitMs > 0 && m_raceClock.elapsedMs() >= o.timeLimitMs) {
            m_timeUpLogged = true;
            savelog(QStringLiteral("Time limit reached: each pilot's next pass ends his race (within %1 s).")
                        .arg(o.graceMs / 1000.0));
        }
    }
    if (endIfOver(m_raceClock.elapsedMs(), EndCheck::Clock))
        return;

    // Every pass the receivers have queued is taken in this tick, in the
    // order they deliver them, within a few milliseconds so the window stays
    // responsive: a burst (a gate that buffered passes during a cable fault,
    // a timer catching up after a reconnect, a window that held the timer up)
    // never waits one tick a pass. Race times come from the receivers' stamps,
    // so taking passes together changes no lap time. Driven by hand (tests),
    // a tick takes one pass. The race list is read at the tick's first pass
    // and kept in memory for the rest (a lap corrected by hand during the
    // race is seen from the next tick on).
    m_field.invalidate();
    QElapsedTimer budget;
    budget.start();
    do {
        Pass pass;
        try {
            pass = m_s.receivers.gettrans();
        } catch (const std::exception &) {
            savelog(QStringLiteral("error getting transponder!"));
            return;
        }
        m_racemillis = pass.source == PassSource::None ? 0 : pass.raceMs;
        if (pass.source == PassSource::None)
            return;
        if (m_racemillis > 0)
            processPass(pass.recvid, m_racemillis);
        else
            // Not counted, but never silently: a receiver whose clock was reset
            // (switched off and on during the race) stamps every pass like this.
            savelog(QStringLiteral("ID:%1 stamped at or before the race start (%2 ms): not counted. If this "
                                   "repeats, the receiver's clock was reset: start the race anew.")
                        .arg(pass.recvid)
                        .arg(m_racemillis));
    } while (m_timerDriven && m_tickEnabled && budget.elapsed() < kPassBudgetMs);
}

RaceLimits RaceEngine::limits()
{
    return raceLimits(m_rules, readNumber(m_lapLimit), readNumber(m_timeLimit),
                      m_s.settings.flag(QStringLiteral("chkteamrace")));
}

RaceLimits RaceEngine::limitsShown() const
{
    int laps = 0;
    int minutes = 0;
    parseWholeNumber(m_s.settings.text(m_lapLimit.control), &laps);
    parseWholeNumber(m_s.settings.text(m_timeLimit.control), &minutes);
    return raceLimits(m_rules, laps, minutes, m_s.settings.flag(QStringLiteral("chkteamrace")));
}

bool RaceEngine::endIfOver(qint64 nowMs, EndCheck when)
{
    const RaceEnd end = raceEnd(limits(), m_field, m_teams.teamCount(), nowMs, when);
    if (!end.over)
        return false;
    if (!end.reason.isEmpty())
        savelog(end.reason);
    finish(true);
    setTickEnabled(false);
    return true;
}

bool RaceEngine::readField()
{
    if (m_field.isRead())
        return true;
    QString error;
    if (m_field.read(m_s.db, m_pending, m_rules.format != RaceFormat::LapsAndTime, &error))
        return true;
    savelog(QStringLiteral("Cannot read the race list: ") + error);
    return false;
}

void RaceEngine::processPass(qint32 recvid, qint32 racemillis)
{
    const QString id = QString::number(recvid);
    if (!readField()) {
        savelog(QStringLiteral("Error finding the pilot of id %1").arg(id));
        return;
    }
    const int index = m_field.findTransponder(recvid);
    if (index < 0) {
        afterPass(recvid, QString());
        return;
    }
    const FieldPilot pilot = m_field.pilots().at(index);
    if (!pilot.confirmed) {
        savelog(QStringLiteral("pilot switched off:"));
        afterPass(recvid, pilot.name);
        return;
    }
    if (pilot.lastPassUnreadable) {
        savelog(QStringLiteral("Error with laps counter, id ") + id);
        return;
    }
    const qint64 lastms = pilot.lastPassMs;
    const int interval = readNumber(m_antiDoubleRead);
    if (racemillis - lastms < interval) {
        savelog(pilot.name + QStringLiteral(" (id ") + id + QStringLiteral(") repeat ignoring..."));
        return;
    }

    const RaceLimits rules = limits();
    const bool teamRace = m_s.settings.flag(QStringLiteral("chkteamrace"));
    // In a team race each team's laps count together (a format counts them
    // for the team table only).
    const int teamRow = teamRace && m_teams.teamCount() >= 1 ? m_teams.findTeam(pilot.group) : -1;
    const int teamLaps = teamRow >= 0 ? m_teams.laps(teamRow) : -1;
    const PassVerdict verdict = judgePass(rules, m_field, index, racemillis, teamLaps);
    if (!verdict.counts) {
        afterPass(recvid, pilot.name);
        return;
    }

    CountedLap lap;
    lap.raceRowId = pilot.rowId;
    lap.pilotId = pilot.pilotId;
    lap.name = pilot.name;
    lap.lapn = verdict.lapn;
    lap.raceMs = racemillis;
    lap.lapMs = racemillis - lastms;
    lap.recvid = recvid;
    commitLap(lap);
    m_field.addLap(index, racemillis);
    if (teamRow >= 0)
        m_teams.setLaps(teamRow, teamLaps + 1);
    const bool sounds = m_s.settings.flag(QStringLiteral("chksounds"));
    if (verdict.finishes) {
        lap.place = m_pilotplace++;
        if (teamRow >= 0)
            m_teams.setPlace(teamRow, QString::number(lap.place));
        if (sounds)
            m_s.cues.play(lap.place == 1 ? Cue::FinishFirst : Cue::FinishOther);
        savelog(pilot.name + QStringLiteral(" finished"));
    } else if (sounds) {
        m_s.cues.play(Cue::LapPass);
    }
    emit lapCounted(lap);
    // Last, so the announcer finds what the lap meant when it reads the ring.
    m_ring.write(lap.pilotId, lap.lapn);
    if (m_s.settings.flag(QStringLiteral("chshowdebug"))) {
        savelog(QStringLiteral("racems=%1 lastms=%2 subst=%3")
                    .arg(racemillis)
                    .arg(lastms)
                    .arg(racemillis - lastms));
    }
    // Only what this pass changed: the window updates that row and those laps.
    emit raceRowChanged(lap.raceRowId);
    emit pilotLapsChanged(lap.pilotId);
    afterPass(recvid, pilot.name);
}

void RaceEngine::commitLap(CountedLap &lap)
{
    // The lap counts from here on, written or not: behind laps that wait it
    // waits too, so the laps reach the file in the order they were counted.
    // While others wait it joins them; the retry writes them all in order.
    m_pending.append(PendingLap{lap.raceRowId, lap.pilotId, lap.lapn, lap.raceMs, lap.lapMs, lap.recvid});
    if (m_waitingReported) {
        ++m_waitedInOutage;
        emit lapsWaitingChanged(m_pending.count(), m_lastWaitingReason);
        return;
    }
    QList<qint64> lapIds;
    writeWaiting(false, &lapIds);
    // Written now (it waited behind none): its row is known.
    if (m_pending.isEmpty() && !lapIds.isEmpty())
        lap.lapRowId = lapIds.constLast();
}

void RaceEngine::afterPass(qint32 recvid, const QString &pilotName)
{
    savelog(QStringLiteral("ID:%1 %2 %3").arg(recvid).arg(pilotName, m_raceClock.timeText()));
    const qint64 now = m_rules.format == RaceFormat::LapsAndTime
                           ? m_raceClock.elapsedMs()
                           : std::max<qint64>(m_raceClock.elapsedMs(), m_racemillis);
    endIfOver(now, EndCheck::AfterPass);
}

void RaceEngine::readRaceRules()
{
    const int stageId = m_s.selection ? m_s.selection->currentStageId() : 0;
    QString problem;
    m_rules = lapvane::raceRules(m_s.db, stageId, &problem);
    m_rulesRead = true;
    m_timeUpLogged = false;
    // The field is read afresh: a continued race goes on from the passes
    // already counted.
    m_field.invalidate();
    readField();
    if (!problem.isEmpty())
        savelog(problem +
                QStringLiteral(" This race runs as Laps and time, by the race page's lap and time limits."));
    const FormatOptions &o = m_rules.options;
    const QString holeShot =
        o.holeShot ? QStringLiteral("; each pilot's first pass starts his lap 1 (hole-shot)") : QString();
    if (m_rules.format == RaceFormat::LapsAndTime) {
        if (o.holeShot)
            savelog(QStringLiteral("Race format: Laps and time") + holeShot + QLatin1Char('.'));
        return;
    }
    const QString stageName = m_s.selection ? m_s.selection->currentStageName() : QString();
    const QString minutes = QString::number(o.timeLimitMs / 60000);
    const QString graceS = QString::number(o.graceMs / 1000.0);
    QString rule;
    switch (m_rules.format) {
    case RaceFormat::MostLaps:
        rule = QStringLiteral("time limit %1 min, then each pilot's next pass within %2 s ends his race")
                   .arg(minutes, graceS);
        break;
    case RaceFormat::FirstToLaps:
        rule = QStringLiteral("the first pilot to %1 laps wins; the others then finish the lap they are on "
                              "(at most %2 s)")
                   .arg(o.lapLimit)
                   .arg(graceS);
        break;
    default:
        rule = QStringLiteral("time limit %1 min").arg(minutes);
        break;
    }
    savelog(QStringLiteral("Race format of stage \"%1\": %2, %3%4. The stage's limits apply, not the race "
                           "page's.")
                .arg(stageName, formatName(m_rules.format), rule, holeShot));
    if (m_rules.format == RaceFormat::FirstToLaps ? o.lapLimit <= 0 : o.timeLimitMs <= 0)
        savelog(QStringLiteral("The stage has no %1: only \"Finish\" ends this race.")
                    .arg(m_rules.format == RaceFormat::FirstToLaps ? QStringLiteral("lap limit")
                                                                   : QStringLiteral("time limit")));
}

} // namespace lapvane
