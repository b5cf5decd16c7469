// The race engine: start sequence, pass loop and finish.
#include "race/raceengine.h"

#include "competition/heatchannels.h"
#include "competition/raceformat.h"
#include "core/clock.h"
#include "core/cues.h"
#include "core/currentselection.h"
#include "core/operatorlog.h"
#include "core/operatorprompt.h"
#include "core/receivers.h"
#include "core/settings.h"
#include "core/wait.h"
#include "race/finishedrace.h"
#include "race/racestage.h"
#include "race/racestatefile.h"
#include "race/standings.h"
#include "store/database.h"
#include "store/laptime.h"
#include "store/transaction.h"

#include <QDateTime>
#include <QJsonObject>
#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QSqlError>

#include <algorithm>
#include <exception>

namespace lapvane {

namespace {

const QString kConnectFirst = QStringLiteral("Connect COM port or WiFi!");

// A whole number of plain decimal digits (blanks around allowed); negative
// values, signs and fractions are refused.
bool parseWholeNumber(const QString &text, int *value)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 9)
        return false;
    for (const QChar ch : t) {
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
            return false;
    }
    *value = t.toInt();
    return true;
}

// The time of day in the locale's long time format, without the zone name.
QString longTimeText(const QTime &time)
{
    const QLocale locale = QLocale::system();
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*\\bt+\\b\\s*")));
    return locale.toString(time, format.trimmed());
}

} // namespace

RaceEngine::RaceEngine(const RaceServices &services, QObject *parent)
    : QObject(parent), m_s(services), m_raceClock(services.clock),
      m_lapLimit{QStringLiteral("edtlaps"), QStringLiteral("lap limit"), QStringLiteral("laps"), 0, 0, false},
      m_timeLimit{
          QStringLiteral("edttimelimit"), QStringLiteral("time limit"), QStringLiteral("min"), 0, 0, false},
      m_antiDoubleRead{QStringLiteral("edantidoubleread"),
                       QStringLiteral("anti-double-read interval"),
                       QStringLiteral("ms"),
                       1000,
                       1000,
                       false}
{
    m_tmrrace.setInterval(kTickIntervalMs);
    m_tmrrace.setTimerType(Qt::PreciseTimer);
    connect(&m_tmrrace, &QTimer::timeout, this, &RaceEngine::tmrraceTimer);
    connect(&m_raceClock, &RaceClock::displayChanged, this, &RaceEngine::clockChanged);
    m_retryWaiting.setInterval(kRetryWaitingMs);
    connect(&m_retryWaiting, &QTimer::timeout, this, &RaceEngine::writeWaitingLaps);
}

RaceEngine::~RaceEngine() = default;

void RaceEngine::setTimerDriven(bool timerDriven)
{
    m_timerDriven = timerDriven;
    if (!timerDriven)
        m_tmrrace.stop();
    else if (m_tickEnabled)
        m_tmrrace.start();
}

void RaceEngine::savelog(const QString &line)
{
    m_s.log.savelog(line);
}

void RaceEngine::reportFailure(const QString &what, const QString &error)
{
    const QString text = what + QStringLiteral(": ") + error;
    savelog(text);
    m_s.prompt.notice(text);
}

void RaceEngine::setTickEnabled(bool enabled)
{
    const bool changed = m_tickEnabled != enabled;
    m_tickEnabled = enabled;
    if (enabled && m_timerDriven)
        m_tmrrace.start();
    else
        m_tmrrace.stop();
    if (changed)
        emit runningChanged(enabled);
}

void RaceEngine::stopTick()
{
    setTickEnabled(false);
    m_raceClock.stopDisplay();
    // The program is closing: a last try, and every lap it cannot keep is
    // named in the log, so it can be entered again by hand.
    if (m_pending.isEmpty() || writeWaitingLaps())
        return;
    m_retryWaiting.stop();
    savelog(
        QStringLiteral("The program closes with %1 counted laps not written to the database (%2). They are "
                       "lost unless entered again by hand:")
            .arg(m_pending.count())
            .arg(m_lastWaitingReason));
    for (const PendingLap &lap : m_pending.laps())
        savelog(QStringLiteral("Not written: pilot id %1, lap %2 at race time %3 (lap time %4)")
                    .arg(lap.pilotId)
                    .arg(lap.lapn)
                    .arg(ms2minsecmstext(lap.raceMs), ms2minsecmstext(lap.lapMs)));
}

bool RaceEngine::noLapsWaiting()
{
    if (m_pending.isEmpty() || writeWaitingLaps())
        return true;
    const QString text =
        QStringLiteral("%1 counted laps of the race still wait to be written to the database "
                       "(%2). Free space on the disk; the race list can change once they are "
                       "written.")
            .arg(m_pending.count())
            .arg(m_lastWaitingReason);
    savelog(text);
    m_s.prompt.notice(text);
    return false;
}

bool RaceEngine::writeWaitingLaps()
{
    return writeWaiting(true);
}

bool RaceEngine::writeWaiting(bool announce)
{
    if (m_pending.isEmpty())
        return true;
    const int before = m_pending.count();
    QSet<int> rows, pilots;
    QString reason;
    const QList<PendingLap> waiting = m_pending.laps();
    const int written = m_pending.write(m_s.db, &reason);
    for (int i = 0; announce && i < written; ++i) {
        rows.insert(waiting.at(i).rowId);
        pilots.insert(waiting.at(i).pilotId);
    }
    if (!m_pending.isEmpty()) {
        m_lastWaitingReason = reason;
        if (!m_waitingReported) {
            m_waitingReported = true;
            m_waitedInOutage = m_pending.count();
            const PendingLap &first = m_pending.laps().constFirst();
            savelog(QStringLiteral("Error writting lap time, id ") + QString::number(first.recvid));
            savelog(QStringLiteral(
                        "Laps cannot be written to the database: %1. Every counted lap is kept in memory, "
                        "in order, and written as soon as the database takes writes again (%2 waiting "
                        "now). Free space on the disk; do not close the program.")
                        .arg(reason)
                        .arg(m_pending.count()));
        }
        if (!m_retryWaiting.isActive())
            m_retryWaiting.start();
    } else {
        m_retryWaiting.stop();
        if (m_waitingReported)
            savelog(
                QStringLiteral("The database takes writes again: the %1 laps that waited are written, each "
                               "with its own time.")
                    .arg(m_waitedInOutage));
        m_waitingReported = false;
        m_waitedInOutage = 0;
        m_lastWaitingReason.clear();
    }
    for (int row : std::as_const(rows))
        emit raceRowChanged(row);
    for (int pilot : std::as_const(pilots))
        emit pilotLapsChanged(pilot);
    if (m_pending.count() != before || written == 0)
        emit lapsWaitingChanged(m_pending.count(), m_pending.isEmpty() ? QString() : reason);
    if (m_pending.isEmpty() && m_rankAgainWhenWritten && !m_tickEnabled) {
        m_rankAgainWhenWritten = false;
        QString error;
        if (rankRace(m_s.db, m_s.settings.integer(QStringLiteral("cbwinplaces")), m_rules, &error)) {
            savelog(QStringLiteral("The race is ranked again with the laps that waited."));
            emit raceListChanged();
            emit raceFinished();
        } else {
            reportFailure(QStringLiteral("Cannot write the race standings"), error);
        }
    }
    return m_pending.isEmpty();
}

void RaceEngine::setStartEnabled(bool enabled)
{
    m_startEnabled = enabled;
    emit startEnabledChanged(enabled);
}

// ---------------------------------------------------------------------------
// Settings read while the race runs

void RaceEngine::resetSettingReaders()
{
    for (NumberSetting *s : {&m_lapLimit, &m_timeLimit, &m_antiDoubleRead}) {
        s->warned = false;
        int v = 0;
        s->lastGood = parseWholeNumber(m_s.settings.text(s->control), &v) ? v : s->fallback;
    }
}

int RaceEngine::readNumber(NumberSetting &s)
{
    const QString text = m_s.settings.text(s.control);
    int v = 0;
    if (parseWholeNumber(text, &v)) {
        s.lastGood = v;
        return v;
    }
    if (!s.warned) {
        s.warned = true;
        const QString used = s.lastGood == 0 && s.unit != QLatin1String("ms")
                                 ? QStringLiteral("no %1").arg(s.what)
                                 : QStringLiteral("%1 %2").arg(s.lastGood).arg(s.unit);
        savelog(QStringLiteral("The %1 \"%2\" is not a valid number (digits only); this race goes "
                               "on with %3 until it is corrected.")
                    .arg(s.what, text, used));
    }
    return s.lastGood;
}

int RaceEngine::readDelaySetting(const QString &control, const QString &what)
{
    const QString text = m_s.settings.text(control);
    int v = 0;
    if (parseWholeNumber(text, &v))
        return v;
    savelog(QStringLiteral("The %1 \"%2\" is not a valid number (digits only); the start goes on "
                           "without it.")
                .arg(what, text));
    return 0;
}

// ---------------------------------------------------------------------------
// Start

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

    if (!prepareTick()) {
        setStartEnabled(true);
        return false;
    }
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
    Transaction tx(m_s.db);
    QSqlQuery q(m_s.db);
    // Laps first, while the race list still names the pilots.
    if (!q.exec(QStringLiteral("DELETE FROM laps WHERE pilotid IN (SELECT pilotid FROM onerace)"))) {
        reportFailure(QStringLiteral("Cannot reset the race list"), q.lastError().text());
        return false;
    }
    q.prepare(QStringLiteral("UPDATE onerace SET lapno=0, place=?, besttime=?, besttimetxt='-', "
                             "totaltime=?, totaltimetxt='-'"));
    q.addBindValue(kNoPlace);
    q.addBindValue(kNoTimeMs);
    q.addBindValue(kNoTimeMs);
    if (!q.exec() || !tx.commit()) {
        reportFailure(QStringLiteral("Cannot reset the race list"),
                      q.lastError().isValid() ? q.lastError().text() : m_s.db.lastError().text());
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
    Receivers &rx = m_s.receivers;
    if (rx.vsSerialConnected())
        rx.syncVsSerial(m_s.stop);
    if (m_s.stop.isRaised())
        return false;
    if (rx.vsWifiEnabled())
        rx.syncVsWifi(m_s.stop);
    if (m_s.stop.isRaised())
        return false;
    if (rx.lapvaneConnected())
        rx.syncLapvane(m_s.stop);
    if (m_s.stop.isRaised())
        return false;
    if (rx.chorusConnected())
        rx.syncChorus(m_s.stop);
    return !m_s.stop.isRaised();
}

void RaceEngine::keepRaceStart()
{
    if (m_s.raceStateFile.isEmpty())
        return;
    const StartClocks clocks = m_s.receivers.startClocks();
    const QJsonObject state{{QStringLiteral("origin"), double(m_raceClock.origin())},
                            {QStringLiteral("lapvane"), double(clocks.lapvane)},
                            {QStringLiteral("vs"), double(clocks.vs)},
                            {QStringLiteral("chorus"), double(clocks.chorus)}};
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
    for (const char *key : {"origin", "lapvane", "vs", "chorus"}) {
        if (!state.value(QLatin1String(key)).isDouble())
            return false;
    }
    m_raceClock.setOrigin(qint64(state.value(QStringLiteral("origin")).toDouble()));
    m_s.receivers.setStartClocks(StartClocks{qint64(state.value(QStringLiteral("lapvane")).toDouble()),
                                             qint64(state.value(QStringLiteral("vs")).toDouble()),
                                             qint64(state.value(QStringLiteral("chorus")).toDouble())});
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

bool RaceEngine::prepareTick()
{
    if (m_prepared)
        return true;
    m_qFindPilot = QSqlQuery(m_s.db);
    m_qLastLap = QSqlQuery(m_s.db);
    m_qLapSum = QSqlQuery(m_s.db);
    // The first row the store holds for a transponder takes the pass.
    const bool ok =
        m_qFindPilot.prepare(QStringLiteral("SELECT id, pilotid, pilotname, lapno, \"group\", confirmed "
                                            "FROM onerace WHERE pilottrans=? ORDER BY id ASC LIMIT 1")) &&
        m_qLastLap.prepare(
            QStringLiteral("SELECT laptime FROM laps WHERE pilotid=? ORDER BY lapn DESC LIMIT 1")) &&
        m_qLapSum.prepare(QStringLiteral("SELECT COALESCE(SUM(lapno),0), COUNT(*) FROM onerace"));
    if (!ok) {
        QString error;
        for (const QSqlQuery *q : {&m_qFindPilot, &m_qLastLap, &m_qLapSum}) {
            if (q->lastError().isValid()) {
                error = q->lastError().text();
                break;
            }
        }
        reportFailure(QStringLiteral("Cannot prepare the race"), error);
        return false;
    }
    m_qFindPilot.setForwardOnly(true);
    m_qLastLap.setForwardOnly(true);
    m_qLapSum.setForwardOnly(true);
    m_prepared = true;
    return true;
}

// ---------------------------------------------------------------------------
// Pass loop

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

    if (m_rules.format != RaceFormat::LapsAndTime) {
        if (formatRaceOver(m_raceClock.elapsedMs()))
            return;
    } else if (const int timeLimit = readNumber(m_timeLimit);
               timeLimit > 0 && m_raceClock.elapsedMs() / 60000.0 >= timeLimit) {
        savelog(QStringLiteral("Time limit reached."));
        finish(true);
        setTickEnabled(false);
        return;
    }

    // Every pass the receivers have queued is taken in this tick, in the
    // order they deliver them, within a few milliseconds so the window stays
    // responsive: a burst (a gate that buffered passes during a cable fault,
    // a timer catching up after a reconnect, a window that held the timer up)
    // never waits one tick a pass. Race times come from the receivers' stamps,
    // so taking passes together changes no lap time. Driven by hand (tests),
    // a tick takes one pass.
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

void RaceEngine::processPass(qint32 recvid, qint32 racemillis)
{
    const QString id = QString::number(recvid);
    m_qFindPilot.bindValue(0, recvid);
    if (!m_qFindPilot.exec()) {
        savelog(
            QStringLiteral("Error finding the pilot of id %1: %2").arg(id, m_qFindPilot.lastError().text()));
        return;
    }
    if (!m_qFindPilot.next()) {
        m_qFindPilot.finish();
        afterPass(recvid, QString());
        return;
    }
    const int rowId = m_qFindPilot.value(0).toInt();
    const int pilotId = m_qFindPilot.value(1).toInt();
    const QString name = m_qFindPilot.value(2).toString();
    // Laps counted but still waiting for the database are his laps too.
    const int g = m_qFindPilot.value(3).toInt() + m_pending.countFor(rowId);
    const QString group = m_qFindPilot.value(4).toString();
    const QString confirmed = m_qFindPilot.value(5).toString();
    m_qFindPilot.finish();

    if (confirmed != QLatin1String("Y")) {
        savelog(QStringLiteral("pilot switched off:"));
        afterPass(recvid, name);
        return;
    }

    m_qLastLap.bindValue(0, pilotId);
    if (!m_qLastLap.exec()) {
        savelog(QStringLiteral("Error getting last lap, id ") + id);
        return;
    }
    qint64 lastms = 0;
    if (m_qLastLap.next()) {
        bool ok = false;
        lastms = m_qLastLap.value(0).toLongLong(&ok);
        if (!ok) {
            m_qLastLap.finish();
            savelog(QStringLiteral("Error with laps counter, id ") + id);
            return;
        }
    }
    m_qLastLap.finish();
    if (const qint64 waiting = m_pending.lastRaceMsOf(pilotId); waiting >= 0)
        lastms = waiting;

    const int interval = readNumber(m_antiDoubleRead);
    if (racemillis - lastms < interval) {
        savelog(name + QStringLiteral(" (id ") + id + QStringLiteral(") repeat ignoring..."));
        return;
    }

    if (m_rules.format != RaceFormat::LapsAndTime) {
        processFormatPass(recvid, rowId, pilotId, name, g, group, racemillis, lastms);
        return;
    }

    const bool teamRace = m_s.settings.flag(QStringLiteral("chkteamrace"));
    int teamRow = -1;
    int f = -1;
    if (teamRace && m_teams.teamCount() >= 1) {
        teamRow = m_teams.findTeam(group);
        if (teamRow >= 0)
            f = m_teams.laps(teamRow);
    }

    const int lapLimit = readNumber(m_lapLimit);
    // With the hole-shot a pilot's first pass only opens his lap 1.
    const int opening = m_rules.options.holeShot ? 1 : 0;
    if (lapLimit != 0 && (lapLimit + opening <= g || lapLimit <= f)) {
        afterPass(recvid, name);
        return;
    }

    const int lapno = g + 1;
    commitLap(recvid, rowId, pilotId, lapno, racemillis, lastms);
    emit lapRecorded(pilotId, lapno, racemillis, racemillis - lastms);
    if (teamRow >= 0) {
        f += 1;
        m_teams.setLaps(teamRow, f);
    }
    const bool sounds = m_s.settings.flag(QStringLiteral("chksounds"));
    if ((lapLimit != 0 && lapno == lapLimit + opening) || (teamRace && teamRow >= 0 && f == lapLimit)) {
        if (teamRow >= 0)
            m_teams.setPlace(teamRow, QString::number(m_pilotplace));
        if (sounds)
            m_s.cues.play(m_pilotplace == 1 ? Cue::FinishFirst : Cue::FinishOther);
        ++m_pilotplace;
        savelog(name + QStringLiteral(" finished"));
        emit pilotFinished(pilotId, lapno, m_pilotplace - 1);
    } else if (sounds) {
        m_s.cues.play(Cue::LapPass);
    }
    // Last, so the announcer finds what the lap meant when it reads the ring.
    m_ring.write(pilotId, lapno);
    if (m_s.settings.flag(QStringLiteral("chshowdebug"))) {
        savelog(QStringLiteral("racems=%1 lastms=%2 subst=%3")
                    .arg(racemillis)
                    .arg(lastms)
                    .arg(racemillis - lastms));
    }
    // Only what this pass changed: the window updates that row and those laps.
    emit raceRowChanged(rowId);
    emit pilotLapsChanged(pilotId);
    afterPass(recvid, name);
}

void RaceEngine::commitLap(qint32 recvid, int rowId, int pilotId, int lapn, qint32 racemillis, qint64 lastms)
{
    // The lap counts from here on, written or not: behind laps that wait it
    // waits too, so the laps reach the file in the order they were counted.
    // While others wait it joins them; the retry writes them all in order.
    m_pending.append(PendingLap{rowId, pilotId, lapn, racemillis, racemillis - lastms, recvid});
    if (m_waitingReported) {
        ++m_waitedInOutage;
        emit lapsWaitingChanged(m_pending.count(), m_lastWaitingReason);
        return;
    }
    writeWaiting(false);
}

void RaceEngine::afterPass(qint32 recvid, const QString &pilotName)
{
    savelog(QStringLiteral("ID:%1 %2 %3").arg(recvid).arg(pilotName, m_raceClock.timeText()));

    if (!m_qLapSum.exec() || !m_qLapSum.next()) {
        savelog(QStringLiteral("Cannot read the race list: ") + m_qLapSum.lastError().text());
        return;
    }
    const qint64 lapSum = m_qLapSum.value(0).toLongLong() + m_pending.count();
    const int rows = m_qLapSum.value(1).toInt();
    m_qLapSum.finish();

    if (m_rules.format != RaceFormat::LapsAndTime) {
        formatRaceOver(std::max<qint64>(m_raceClock.elapsedMs(), m_racemillis));
        return;
    }
    const int lapLimit = readNumber(m_lapLimit);
    const bool teamRace = m_s.settings.flag(QStringLiteral("chkteamrace"));
    const int competitors = teamRace ? m_teams.teamCount() : rows;
    const int passesPerPilot = lapLimit + (!teamRace && m_rules.options.holeShot ? 1 : 0);
    if (lapLimit > 0 && competitors > 0 && lapSum >= qint64(passesPerPilot) * competitors)
        finish(true);
}

// ---------------------------------------------------------------------------
// Race formats other than the default

void RaceEngine::readRaceRules()
{
    const int stageId = m_s.selection ? m_s.selection->currentStageId() : 0;
    QString problem;
    m_rules = lapvane::raceRules(m_s.db, stageId, &problem);
    m_rulesRead = true;
    m_timeUpLogged = false;
    m_formatPilots.clear();
    m_formatEntries.clear();
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
    readFormatEntries();
}

void RaceEngine::readFormatEntries()
{
    // A continued race goes on from the passes already counted.
    QSqlQuery q(m_s.db);
    if (!q.exec(QStringLiteral("SELECT pilotid, lapno FROM onerace WHERE confirmed='Y' ORDER BY id ASC"))) {
        savelog(QStringLiteral("Cannot read the race list: ") + q.lastError().text());
        return;
    }
    QList<QPair<int, int>> rows;
    while (q.next())
        rows.append({q.value(0).toInt(), q.value(1).toInt()});
    q.finish();
    q.prepare(QStringLiteral("SELECT laptime FROM laps WHERE pilotid=? AND lapn<=? ORDER BY lapn ASC"));
    for (const auto &[pilotId, lapno] : rows) {
        if (m_formatEntries.contains(pilotId))
            continue;
        RaceEntry e;
        q.bindValue(0, pilotId);
        q.bindValue(1, lapno);
        if (q.exec()) {
            while (q.next())
                e.passesMs << q.value(0).toLongLong();
        }
        q.finish();
        e.passesMs << m_pending.raceTimesOf(pilotId);
        m_formatPilots << pilotId;
        m_formatEntries.insert(pilotId, e);
    }
}

QList<RaceEntry> RaceEngine::formatEntries() const
{
    QList<RaceEntry> out;
    out.reserve(m_formatPilots.size());
    for (int id : m_formatPilots)
        out << m_formatEntries.value(id);
    return out;
}

bool RaceEngine::formatRaceOver(qint64 nowMs)
{
    const RaceFormat format = m_rules.format;
    const FormatOptions &o = m_rules.options;
    if (format == RaceFormat::MostLaps && !m_timeUpLogged && o.timeLimitMs > 0 && nowMs >= o.timeLimitMs) {
        m_timeUpLogged = true;
        savelog(QStringLiteral("Time limit reached: each pilot's next pass ends his race (within %1 s).")
                    .arg(o.graceMs / 1000.0));
    }
    const QList<RaceEntry> entries = formatEntries();
    if (!raceOver(format, o, entries, nowMs))
        return false;
    const qint64 grace = std::max<qint64>(0, o.graceMs);
    QString reason = QStringLiteral("Time limit reached.");
    if (format == RaceFormat::MostLaps)
        reason = nowMs >= o.timeLimitMs + grace
                     ? QStringLiteral("The grace time after the time limit is over.")
                     : QStringLiteral("Every pilot has finished his last lap.");
    else if (format == RaceFormat::FirstToLaps)
        reason = nowMs >= winnerFinish(format, o, entries) + grace
                     ? QStringLiteral("The time allowed after the winner's finish is over.")
                     : QStringLiteral("Every pilot has finished.");
    savelog(reason);
    finish(true);
    setTickEnabled(false);
    return true;
}

void RaceEngine::processFormatPass(qint32 recvid, int rowId, int pilotId, const QString &name, int g,
                                   const QString &group, qint32 racemillis, qint64 lastms)
{
    const RaceFormat format = m_rules.format;
    const FormatOptions &o = m_rules.options;
    // Each pass reads the counted passes anew, so a lap corrected by hand
    // during the race (deleted, split) is what the format sees.
    m_formatPilots.clear();
    m_formatEntries.clear();
    readFormatEntries();
    if (!m_formatEntries.contains(pilotId)) {
        // The race list could not be read: his own passes still count.
        m_formatPilots << pilotId;
        m_formatEntries.insert(pilotId, RaceEntry{});
    }
    const qint64 winner = winnerFinish(format, o, formatEntries());
    if (!passCounts(format, o, m_formatEntries.value(pilotId), racemillis, winner)) {
        // Beyond his race's end (or the race's): not counted, as passes
        // beyond the lap limit are not.
        afterPass(recvid, name);
        return;
    }
    const int lapno = g + 1;
    commitLap(recvid, rowId, pilotId, lapno, racemillis, lastms);
    RaceEntry &entry = m_formatEntries[pilotId];
    entry.passesMs << racemillis;
    emit lapRecorded(pilotId, lapno, racemillis, racemillis - lastms);
    if (m_s.settings.flag(QStringLiteral("chkteamrace"))) {
        const int teamRow = m_teams.findTeam(group);
        if (teamRow >= 0)
            m_teams.setLaps(teamRow, m_teams.laps(teamRow) + 1);
    }
    // Whether this pass ended the pilot's race.
    bool done = false;
    if (format == RaceFormat::MostLaps)
        done = o.timeLimitMs > 0 && racemillis >= o.timeLimitMs;
    else if (format == RaceFormat::FirstToLaps)
        done = (o.lapLimit > 0 && entry.passesMs.size() >= o.lapLimit + (o.holeShot ? 1 : 0)) ||
               (winner >= 0 && racemillis > winner);
    const bool sounds = m_s.settings.flag(QStringLiteral("chksounds"));
    if (done) {
        if (sounds)
            m_s.cues.play(m_pilotplace == 1 ? Cue::FinishFirst : Cue::FinishOther);
        ++m_pilotplace;
        savelog(name + QStringLiteral(" finished"));
        emit pilotFinished(pilotId, lapno, m_pilotplace - 1);
    } else if (sounds) {
        m_s.cues.play(Cue::LapPass);
    }
    // Last, so the announcer finds what the lap meant when it reads the ring.
    m_ring.write(pilotId, lapno);
    if (m_s.settings.flag(QStringLiteral("chshowdebug")))
        savelog(QStringLiteral("racems=%1 lastms=%2 subst=%3")
                    .arg(racemillis)
                    .arg(lastms)
                    .arg(racemillis - lastms));
    emit raceRowChanged(rowId);
    emit pilotLapsChanged(pilotId);
    afterPass(recvid, name);
}

// ---------------------------------------------------------------------------
// Finish

bool RaceEngine::racestopraceExecute()
{
    return finish(false);
}

bool RaceEngine::finish(bool automatic)
{
    // A finish needs no receiver, by command or by the loop's limits: it
    // ranks what was recorded, so a race whose only receiver was lost can
    // still be finished. Only the message back to the gate needs its port.
    m_s.stop.raise();
    m_raceClock.stopDisplay();
    const bool wasRunning = m_tickEnabled;
    setTickEnabled(false);
    if (m_s.receivers.lapvaneConnected()) {
        if (!m_s.receivers.lapvaneRegMode())
            savelog(QStringLiteral("Could not put Lapvane to REGPILOT MODE! Check COM port!"));
    } else if (wasRunning && m_gateInRace) {
        savelog(QStringLiteral("Lapvane gate not connected: it was not put back into registration mode."));
    }
    if (wasRunning)
        m_gateInRace = false;
    if (m_s.settings.flag(QStringLiteral("chksounds")))
        m_s.cues.play(Cue::FinishAll);

    // A finish without a race started in this run (a re-rank after
    // corrections, a race continued after a restart) reads the rules now.
    if (!m_rulesRead)
        readRaceRules();
    if (!writeWaitingLaps()) {
        m_rankAgainWhenWritten = true;
        savelog(QStringLiteral(
                    "%1 counted laps still wait to be written to the database: the standings are ranked "
                    "without them now and again once they are written.")
                    .arg(m_pending.count()));
    }
    QString error;
    const bool ok = rankRace(m_s.db, m_s.settings.integer(QStringLiteral("cbwinplaces")), m_rules, &error);
    if (!ok)
        reportFailure(QStringLiteral("Cannot write the race standings"), error);
    else if (m_s.finishedRace)
        m_s.finishedRace->raceFinished();
    if (ok && automatic && wasRunning)
        emit raceCompleted();
    emit raceListSortRequested(QStringLiteral("place ASC"));
    emit raceListChanged();
    setStartEnabled(true);
    savelog(QStringLiteral("Finished at ") +
            longTimeText(QDateTime::fromMSecsSinceEpoch(m_s.clock.nowMs()).time()));
    emit raceFinished();
    if (ok && m_s.settings.flag(QStringLiteral("chautoexport")))
        emit exportRequested();
    return ok;
}

bool RaceEngine::UpdateOneraceBestlaps(int rowId)
{
    QString error;
    if (!updateOneraceBestlaps(
            m_s.db, rowId, [this](const QString &l) { savelog(l); }, &error)) {
        reportFailure(QStringLiteral("Cannot recalculate the laps"), error);
        return false;
    }
    emit raceListChanged();
    return true;
}

} // namespace lapvane
