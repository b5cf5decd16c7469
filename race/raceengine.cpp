// The race engine's state, its waiting laps, the settings it reads while the
// race runs, and the finish. The start is in racestart.cpp, the continue
// after a restart in raceresume.cpp, the pass loop in passloop.cpp.
#include "race/raceengine.h"

#include "core/clock.h"
#include "core/cues.h"
#include "core/operatorlog.h"
#include "core/operatorprompt.h"
#include "core/receivers.h"
#include "core/settings.h"
#include "core/wait.h"
#include "race/finishedrace.h"
#include "race/standings.h"
#include "store/laptime.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>

namespace lapvane {

namespace {

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

bool RaceEngine::writeWaiting(bool announce, QList<qint64> *lapIds)
{
    if (m_pending.isEmpty())
        return true;
    const int before = m_pending.count();
    QSet<int> rows, pilots;
    QString reason;
    const QList<PendingLap> waiting = m_pending.laps();
    const int written = m_pending.write(m_s.db, &reason, lapIds);
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
