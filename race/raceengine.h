// The race engine: the race start sequence, the pass loop and the finish with
// its standings, over the race list (`onerace`) and its laps (`laps`).
#pragma once

#include "competition/stageformat.h"
#include "core/announcementring.h"
#include "core/countedlap.h"
#include "race/passrule.h"
#include "race/pendinglaps.h"
#include "race/racefield.h"
#include "race/raceclock.h"
#include "race/raceservices.h"
#include "race/teamtable.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>

namespace lapvane {

// Lives on the main thread for the whole run; destroy it before the database
// connection is closed. The window's handlers (`racestartraceExecute`,
// `racestopraceExecute`, `tmrraceTimer`) call the methods of the same name and
// show what the signals report. Wiring at start-up: exportRequested() to the
// export of the race to the stage, voiceInviteStopRequested() to the voice
// invitation's stop, ring() to the lap announcer, teamTable() to the team
// standings window, clockChanged() to `lbltime`/`lblracems`.
class RaceEngine : public QObject
{
    Q_OBJECT
public:
    explicit RaceEngine(const RaceServices &services, QObject *parent = nullptr);
    ~RaceEngine() override;

    // The pass loop runs from its own 3 ms timer (`tmrrace`) by default.
    // Tests turn that off and call tmrraceTimer() themselves.
    void setTimerDriven(bool timerDriven);

    // "Start Race": checks, reset (unless "continue"), start cues and delay,
    // device clock synchronisation, race clock, pass loop. currentRowId is the
    // race-list row the window has current (its group names the race in the
    // log); 0 takes the first row by channel. True when the race is running.
    bool racestartraceExecute(int currentRowId = 0);

    // "Finish": stops the race, computes totals, best laps and places, and
    // asks for the export when "auto export results" is on. Also re-ranks an
    // idle race after lap corrections. Needs no receiver. False when the
    // standings could not be written (the race is stopped either way).
    bool racestopraceExecute();

    // One tick of the pass loop: the time limit, then at most one pass.
    // Does nothing unless the pass loop is enabled.
    void tmrraceTimer();

    // Shutdown: stops the pass loop and the clock display without finishing;
    // the race list and its laps stay as they are, ready for "continue".
    void stopTick();

    // Recalculates one race-list row (laps, best lap, total) from its laps.
    bool UpdateOneraceBestlaps(int rowId);

    // Counted laps the database has not taken yet (a full disk): they are
    // tried again every kRetryWaitingMs until written, in order. A new race
    // does not start while any waits.
    int lapsWaiting() const { return m_pending.count(); }
    int lapsWaitingFor(int rowId) const { return m_pending.countFor(rowId); }
    const PendingLaps &waitingLaps() const { return m_pending; }
    // Tries to write the waiting laps now; true when none waits any more.
    bool writeWaitingLaps();
    // Before a command that replaces the race list: true when no lap waits
    // (after one more try); otherwise tells the operator and logs it.
    bool noLapsWaiting();

    // A race is running: the pass loop is enabled.
    bool isRunning() const { return m_tickEnabled; }
    // The start command is in its checks, delay or synchronisation.
    bool isStarting() const { return m_starting; }
    bool isStartEnabled() const { return m_startEnabled; }
    // The finish order counter (`pilotplace`): 1 at race start.
    int pilotplace() const { return m_pilotplace; }
    // Race time of the pass processed last (`racemillis`); 0 when none.
    qint32 racemillis() const { return m_racemillis; }
    // The length of the last start delay in ms (`counterstartdelay`).
    qint64 counterstartdelay() const { return m_counterstartdelay; }
    // The rules the race runs by: the format of its stage (the current stage
    // at "Start Race"), read at the start. The default format runs by the race
    // page's lap and time limits as always; every other format by the stage's.
    const StageRules &raceRules() const { return m_rules; }
    // The limits the race runs by as the settings stand now (the Race page's
    // in the default format, the stage's in the others): what the time-left
    // calls and the pages count down to.
    RaceLimits limitsShown() const;

    RaceClock &raceClock() { return m_raceClock; }
    // The announcement ring the lap announcer reads.
    AnnouncementRing &ring() { return m_ring; }
    // The team standings ("TEAM TABLE") of a team race.
    TeamTable &teamTable() { return m_teams; }

signals:
    // Rows of the race list came or went, or many of them changed (start,
    // reset, finish): re-read it. A counted pass says raceRowChanged instead.
    void raceListChanged();
    // Laps of several pilots changed (a reset, a start): re-read the lap grid.
    // A counted pass says pilotLapsChanged instead.
    void lapsChanged();
    // A counted pass changed this race-list row (key `id`): its lap count.
    void raceRowChanged(int rowId);
    // A counted pass recorded a lap of this pilot (`pilotid`).
    void pilotLapsChanged(int pilotId);
    // Sort the race list view by this ORDER BY text ("" = unsorted).
    void raceListSortRequested(const QString &orderBy);
    // The "Start Race" button is to be enabled or disabled.
    void startEnabledChanged(bool enabled);
    // A race started or ended.
    void runningChanged(bool running);
    // New texts for the race clock labels `lbltime` and `lblracems`.
    void clockChanged(const QString &timeText, const QString &msText);
    // Text for `lbtimemachinetime` during the start delay ("Random delay N sec").
    void delayTextChanged(const QString &text);
    // Bring the Settings page forward (no receiver connected).
    void settingsPageRequested();
    // A race start stops a running voice invitation.
    void voiceInviteStopRequested();
    // The finish with "auto export results" on: run the export to the stage.
    void exportRequested();
    // A pass was counted as a lap: what it was (its pilot, number, times, the
    // place when it finished his race). Sent once per lap, before the lap
    // reaches the announcement ring; the lap may still wait for the database
    // (then its lapRowId is 0).
    void lapCounted(const lapvane::CountedLap &lap);
    // The finish has written the standings (also when it re-ranks an idle race).
    void raceFinished();
    // The race ended by itself (every competitor flew the lap limit, or the
    // time limit was reached) and its standings are written.
    void raceCompleted();
    // The number of counted laps waiting for the database changed; reason
    // says why they wait ("the disk is full"), empty once none waits.
    void lapsWaitingChanged(int count, const QString &reason);

private:
    // A whole-number race setting read on every tick; an unreadable value
    // keeps the last good one and is reported once per race.
    struct NumberSetting
    {
        QString control;
        QString what; // how the log line names it
        QString unit; // "laps", "min", "ms"
        int fallback; // used when no good value was ever read
        int lastGood;
        bool warned;
    };

    bool finish(bool automatic);
    void readRaceRules();
    // The limits by the settings read on this tick (warning once per race
    // about an unreadable one).
    RaceLimits limits();
    bool readField();
    // Finishes the race when its rule says it is over; true when it did.
    bool endIfOver(qint64 nowMs, EndCheck when);
    void processPass(qint32 recvid, qint32 racemillis);
    // Counts the lap: written now, or waiting behind others; sets its row id
    // when written.
    void commitLap(CountedLap &lap);
    void afterPass(qint32 recvid, const QString &pilotName);
    bool resetRaceList();
    bool confirmRaceStage();
    // Writes the waiting laps; announce: say which rows and laps changed (not
    // for a lap written the moment it was counted: its pass says so itself).
    bool writeWaiting(bool announce, QList<qint64> *lapIds = nullptr);
    bool runStartDelay();
    bool synchronise();
    void restoreInterruptedRace();
    void keepRaceStart();
    bool restoreRaceStart();
    void setTickEnabled(bool enabled);
    void setStartEnabled(bool enabled);
    void resetSettingReaders();
    int readNumber(NumberSetting &s);
    int readDelaySetting(const QString &control, const QString &what);
    QString startedLine(int currentRowId);
    void savelog(const QString &line);
    void reportFailure(const QString &what, const QString &error);

    static constexpr int kTickIntervalMs = 3;
    static constexpr int kRetryWaitingMs = 250;
    // How long one tick may spend taking the passes that queued.
    static constexpr int kPassBudgetMs = 8;

    RaceServices m_s;
    RaceClock m_raceClock;
    AnnouncementRing m_ring;
    TeamTable m_teams;
    QTimer m_tmrrace;
    bool m_timerDriven = true;
    bool m_tickEnabled = false;
    bool m_inTick = false;
    bool m_starting = false;
    bool m_startEnabled = true;
    // The gate was sent to race mode at this race's start.
    bool m_gateInRace = false;
    int m_pilotplace = 1;
    qint32 m_racemillis = 0;
    qint64 m_counterstartdelay = 0;

    // The race's format, read at "Start Race" (see raceRules()).
    StageRules m_rules;
    bool m_rulesRead = false;
    // The race list as the pass loop judges against it (read at a tick's
    // first pass).
    RaceField m_field;
    bool m_timeUpLogged = false;

    NumberSetting m_lapLimit;
    NumberSetting m_timeLimit;
    NumberSetting m_antiDoubleRead;

    // Counted laps not yet in the database, and the retry while any waits.
    PendingLaps m_pending;
    QTimer m_retryWaiting;
    // The operator was told of this outage; the laps that waited in it.
    bool m_waitingReported = false;
    int m_waitedInOutage = 0;
    QString m_lastWaitingReason;
    // The race was ranked while laps waited: rank it again once they are in.
    bool m_rankAgainWhenWritten = false;

};

} // namespace lapvane
