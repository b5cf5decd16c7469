// The race as live data for overlays and phones: the race list with each
// pilot's laps read from the store, the standing computed from them, and the
// JSON texts the built-in web server hands out.
#pragma once

#include "competition/stageformat.h"

#include <QJsonObject>
#include <QList>
#include <QSqlDatabase>
#include <QString>

namespace lapvane {

enum class RaceState { NotStarted, Running, Finished };

struct LiveLap
{
    int lapn = 0;
    qint64 raceMs = 0; // race time at the pass that closed the lap
    qint64 lapMs = 0;  // the lap's duration
};

struct LivePilot
{
    int pilotId = 0;
    QString name;
    QString nickname;
    QString team;
    QString group;
    QString vtx;
    qint64 transponder = 0;
    bool confirmed = false;
    int laps = 0;        // counted laps (`lapno`)
    int storedPlace = 0; // `place` as the finish left it (999: none)
    QList<LiveLap> lapList;
    // Derived from the laps; -1 when the pilot has none.
    qint64 lastLapMs = -1;
    qint64 bestLapMs = -1;
    qint64 totalMs = -1;
    int place = 0; // standing from 1
    QString deciding; // what decided the place, e.g. "5 laps, 01:58.500"
};

struct RaceSnapshot
{
    RaceState state = RaceState::NotStarted;
    qint64 clockMs = 0; // race clock when the snapshot was taken
    int lapLimit = 0;   // 0: unlimited
    int timeLimitMin = 0;
    QString eventName;
    QString stageName;
    // The format the race is ranked by: its stage's (the default without one).
    StageRules rules;
    QString formatKey; // the stage's format key; empty when no stage is shown (JSON null)
    QList<LivePilot> pilots; // in standing order
};

// What the race engine says about the race when a snapshot is taken.
struct RaceStatus
{
    bool running = false;
    qint64 clockMs = 0;
    // A finish was seen for the race now in the list.
    bool finished = false;
    // The stage shown with the race: its format ranks the race; 0: none.
    int stageId = 0;
};

// Reads the race list and its pilots' laps (only the counted ones, lap 1 to
// `lapno`: laps left from an earlier race of a pilot are not his), derives
// last, best and total, and orders the pilots: more laps first, then the
// earlier last pass, then channel (by the format of status.stageId, when it
// has one chosen). A finished race whose rows all hold a
// place keeps the places the finish gave. Not running and not finished, a
// list with counted laps reads as finished (a race closed before a restart).
bool readRaceSnapshot(QSqlDatabase db, const RaceStatus &status, RaceSnapshot *out, QString *error);

// Computes derived times and standing of pilots read elsewhere.
void rankPilots(RaceSnapshot *race);

QString raceStateText(RaceState state);
QJsonObject raceJson(const RaceSnapshot &race);
QJsonObject pilotLapsJson(const LivePilot &pilot);
// One lap as the live data shows it: lapn, lapTimeMs, lapTime, raceTimeMs.
QJsonObject lapJson(const LiveLap &lap);

// The results of one stage, ordered by a field of `results` (a name from the
// table's own field list, never typed text) and "ASC"/"DESC". Carries the
// stage's format key ("format", null for stage 0) and each row's deciding
// value kept by the export ("deciding", null when none).
bool readResultsJson(QSqlDatabase db, int stageId, const QString &stageName, const QString &orderField,
                     bool descending, QJsonObject *out, QString *error);

// A whole whole-number text ("5", " 12 "), else fallback.
int wholeNumberOr(const QString &text, int fallback);

// One Server-Sent Events message carrying a JSON object.
QByteArray sseMessage(qint64 id, const QJsonObject &data);

} // namespace lapvane
