// A bracket stage as people read it: its heats by round with the pilots'
// names, each flown heat's finishing order, byes, heats to fly again and the
// heat that flies next. One reading for the Events page's drawing, the web
// server's JSON, the board and the HTML export.
#pragma once

#include "competition/bracketstage.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace lapvane {

// Seats of a heat of an elimination bracket.
inline constexpr int kEliminationHeatSize = 4;

struct BracketViewPilot
{
    int pilotId = 0;
    QString name;
    int place = 0;       // place in the heat's result; 0 while it is not flown
    bool goesOn = false; // the result sends him on to a later heat
};

struct BracketViewHeat
{
    int index = 0;                  // heat index in flying order
    QString name;                   // "Winners round 1, heat 2", "A main", "Grand final"
    QString group;                  // the group of the stage that flies it
    int advance = 0;                // how many of its places go on
    int seats = 0;                  // seats of the heat
    int waitingSeats = 0;           // seats still waiting for an earlier heat
    int emptySeats = 0;             // seats no pilot will fill (byes)
    bool bye = false;               // not flown: no more pilots than go on
    bool flown = false;             // its result is recorded
    bool stale = false;             // its result no longer fits its pilots: to be flown again
    bool next = false;              // the heat to fly next
    QList<BracketViewPilot> pilots; // finishing order once flown, else the seats in order
    QString state() const;          // "next", "flown", "bye", "fly again", "ready", "waiting"
};

struct BracketViewRound
{
    QString name; // "Winners round 1", "Losers final", "Mains"
    QList<BracketViewHeat> heats;
};

struct BracketView
{
    bool exists = false; // false: the stage is no bracket
    int stageId = 0;
    QString stageName;
    QString kind;     // "mains", "single", "double"
    QString kindName; // "Mains", "Single elimination", "Double elimination"
    int pilots = 0;
    QList<BracketViewRound> rounds;
    QString nextGroup; // empty when no heat is ready
    QString nextHeatName;
    QStringList notes; // heats to fly again, in plain words
};

// Reads the bracket of stage stageId with the names of its results rows. A
// stage without a bracket gives exists false and true.
bool readBracketView(QSqlDatabase db, int stageId, BracketView *out, QString *error);

// The view of a bracket stage already read (names by pilot id).
BracketView bracketView(const BracketStage &stage, const QHash<int, QString> &names);

QString bracketKindName(BracketKind kind);

// The round a heat belongs to: its name without ", heat N"; every main is in "Mains".
QString bracketRoundName(BracketKind kind, const QString &heatName);

} // namespace lapvane
