// The race start: its checks and questions, the reset of the race list, the
// start cues and delay, and the receivers' clock synchronisation.
#include "race/raceengine.h"

#include "competition/heatchannels.h"
#include "core/clock.h"
#include "core/cues.h"
#include "core/currentselection.h"
#include "core/operatorlog.h"
#include "core/operatorprompt.h"
#include "core/receivers.h"
#include "core/settings.h"
#include "core/wait.h"
#include "race/finishedrace.h"
#include "race/passrule.h"
#include "race/racestage.h"
#include "race/standings.h"
#include "store/racelisttable.h"

#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>

namespace lapvane {

namespace {

const QString kConnectFirst = QStringLiteral("Connect COM port or WiFi!");

} // namespace

bool RaceEngine::racestartraceExecute(int currentRowId)
{
    if (m_s.prompt.stopRequested())
        return false;
    if (m_tickEnabled || m_starting) {
        const QString text = m_starting ? QStringLiteral("A race start is already under way.")
                                        : QStringLiteral("A race is already running. Press \"Finish\" before "
                                                         "starting another one.");
        savelog(text);
        m_s.prompt.notice(text);
        return false;
    }
    if (!noLapsWaiting())
        return false;
    if (!m_s.receivers.comconnected()) {
        m_s.prompt.notice(kConnectFirst);
        emit settingsPageRequested();
        return false;
    }
    QSqlQuery q(m_s.db);
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM onerace")) || !q.next()) {
        reportFailure(QStringLiteral("Cannot read the race list"), q.lastError().text());
        return false;
    }
    if (q.value(0).toInt() == 0) {
        m_s.prompt.notice(QStringLiteral("No pilots in list."));
        return false;
    }
    emit voiceInviteStopRequested();

    if (!q.exec(QStringLiteral("SELECT confirmed FROM onerace WHERE onerace.confirmed='N';"))) {
        reportFailure(QStringLiteral("Cannot read the race list"), q.lastError().text());
        return false;
    }
    const bool unconfirmed = q.next();
    q.finish();
    if (unconfirmed && !m_s.prompt.ask(QStringLiteral("Unconfirmed pilots in list!\n\rContinue?")))
        return false;
    if (!confirmDistinctChannels(m_s.db, m_s.prompt, m_s.log))
        return false;

    const bool continued = m_s.settings.flag(QStringLiteral("chracecontinue"));
    // A new race empties the list: a finished race not yet exported is offered first.
    if (!continued && m_s.finishedRace && !m_s.finishedRace->confirmReplace())
        return false;
    if (!confirmRaceStage())
        return false;
    // The program is ending: no race starts on the way out.
    if (m_s.prompt.stopRequested())
        return false;
    m_starting = true;
    struct StartingGuard
    {
        bool &flag;
        ~StartingGuard() { flag = false; }
    } guard{m_starting};

    if (!continued) {
        emit raceListSortRequested(QString());
        if (!resetRaceList())
            return false;
    }
    if (m_s.finishedRace)
        m_s.finishedRace->raceStarted(continued);
    setStartEnabled(false);

    if (m_s.settings.flag(QStringLiteral("chksounds")) && !runStartDelay()) {
        setStartEnabled(true);
        savelog(QStringLiteral("Race start cancelled."));
        return false;
    }

    savelog(QStringLiteral("================"));
    if (!continued) {
        if (!synchronise()) {
            setStartEnabled(true);
            savelog(QStringLiteral("Race start cancelled."));
            return false;
        }
        savelog(QStringLiteral("all ok"));
        m_raceClock.setOrigin(m_s.clock.nowMs());
        m_racemillis = 0;
        m_pilotplace = 1;
        keepRaceStart();
    } else if (!m_raceClock.hasOrigin()) {
        restoreInterruptedRace();
    }
    m_s.stop.raise();

    m_gateInRace = m_s.receivers.lapvaneConnected();
    if (m_gateInRace && !m_s.receivers.lapvaneRaceMode())
        savelog(QStringLiteral("Could not put Lapvane into RACE MODE!!! STOP RACE MANUALLY!"));

    resetSettingReaders();
    readRaceRules();
    emit lapsChanged();

    m_raceClock.startDisplay();
    setTickEnabled(true);
    emit raceListSortRequested(QStringLiteral("vtx ASC"));
    emit raceListChanged();
    savelog(startedLine(currentRowId));
    savelog(QStringLiteral("log file at: ") + m_s.log.filePath());
    return true;
}

bool RaceEngine::confirmRaceStage()
{
    // Looking at another stage on the Events page never moves the race by
    // itself: the operator says which stage it runs in.
    const int shown = m_s.raceStage ? m_s.raceStage->browsingElsewhere() : 0;
    if (shown == 0)
        return true;
    const QString own = m_s.raceStage->describe();
    const QString other = m_s.raceStage->stageTitle(shown);
    const Choice choice = m_s.prompt.askYesNoCancel(
        QStringLiteral("This race belongs to \"%1\", but the Events page shows \"%2\".\n\n"
                       "Yes: race it in \"%1\" (its own stage).\nNo: race it in \"%2\" instead.\n"
                       "Cancel: do not start.")
            .arg(own, other));
    if (m_s.prompt.stopRequested() || choice == Choice::Cancel)
        return false;
    if (choice == Choice::No) {
        m_s.raceStage->moveTo(shown);
        savelog(QStringLiteral("The race now belongs to \"%1\", not \"%2\".")
                    .arg(m_s.raceStage->describe(), own));
    }
    return true;
}

bool RaceEngine::resetRaceList()
{
    QString error;
    if (!RaceListTable(m_s.db).clearForNewRace(&error)) {
        reportFailure(QStringLiteral("Cannot reset the race list"), error);
        return false;
    }
    // A new race starts every team at zero laps and without a place.
    for (int row = 0; row < m_teams.teamCount(); ++row) {
        m_teams.setLaps(row, 0);
        m_teams.setPlace(row, QString());
    }
    emit raceListChanged();
    emit lapsChanged();
    return true;
}

bool RaceEngine::runStartDelay()
{
    m_s.cues.play(Cue::StartCountdown);
    const qint64 fixedMs = readDelaySetting(QStringLiteral("edstartdelay"), QStringLiteral("start delay"));
    const int randomBound =
        readDelaySetting(QStringLiteral("edracerandomstart"), QStringLiteral("random start pause"));
    qint64 delay = fixedMs;
    if (randomBound > 0)
        delay += 1000LL * QRandomGenerator::global()->bounded(randomBound);
    m_counterstartdelay = delay;
    emit delayTextChanged(QStringLiteral("Random delay %1 sec").arg(delay / 1000));

    const qint64 startdelaytime = m_s.clock.nowMs();
    m_s.stop.clear();
    QString shown;
    const WaitResult result = waitUntil(
        [&] {
            const qint64 startdelaymillis = elapsedMs(startdelaytime, m_s.clock.nowMs());
            const QString text = RaceClock::timeTextFor(startdelaymillis);
            if (text != shown) {
                shown = text;
                emit clockChanged(text, RaceClock::msTextFor(startdelaymillis));
            }
            return startdelaymillis >= delay;
        },
        &m_s.stop);
    if (result == WaitResult::Stopped)
        return false;
    m_s.cues.play(Cue::StartSignal);
    return true;
}

bool RaceEngine::synchronise()
{
    // A stop raised before the start must not cut the handshakes short; one
    // raised during them (Finish, a right-click, Disconnect) cancels the start.
    m_s.stop.clear();
    return m_s.receivers.synchronise(m_s.stop);
}

QString RaceEngine::startedLine(int currentRowId)
{
    QString group;
    QSqlQuery q(m_s.db);
    if (currentRowId > 0) {
        q.prepare(QStringLiteral("SELECT \"group\" FROM onerace WHERE id=?"));
        q.addBindValue(currentRowId);
    } else {
        q.prepare(QStringLiteral("SELECT \"group\" FROM onerace ORDER BY vtx ASC, id ASC LIMIT 1"));
    }
    if (q.exec() && q.next())
        group = q.value(0).toString();
    const QString eventName = m_s.selection ? m_s.selection->currentEventName() : QString();
    const QString stageName = m_s.selection ? m_s.selection->currentStageName() : QString();
    return QStringLiteral("Race (\"%1\", %2, Group \"%3\") started").arg(eventName, stageName, group);
}


} // namespace lapvane
