// A stage flown as a bracket, kept in the race database: the bracket's kind,
// size and seeding, and each heat's finishing order as exported. Every change
// re-seats the whole bracket and writes each pilot's group (his next heat)
// into the stage's results rows. Tables `stagebracket` and `bracketheat` are
// made the first time a bracket is made; no existing table changes.
#pragma once

#include "competition/bracket.h"

#include <QSqlDatabase>
#include <QStringList>

namespace lapvane {

struct BracketSetup
{
    BracketKind kind = BracketKind::Mains;
    int mainSize = 6; // mains only
    int bumpUp = 0;   // mains only
};

Bracket makeBracket(const BracketSetup &setup, int pilots);

// The state of a bracket stage after a change.
struct BracketStage
{
    bool exists = false; // false: the stage is no bracket (nothing was done)
    BracketSetup setup;
    QList<int> standing;
    Bracket bracket;
    QList<HeatState> states;
    QString nextGroup; // group of the heat to fly next; empty when none is ready
    QStringList notes; // plain lines for the operator log (heats to fly again)
};

// Makes stage stageId a bracket seeded by standing (pilot ids, best first,
// each with a results row in the stage) and gives every seated pilot the
// group of his first heat. Making it again replaces the bracket and forgets
// its heat results.
bool createBracketStage(QSqlDatabase db, int stageId, const BracketSetup &setup, const QList<int> &standing,
                        BracketStage *out, QString *error);

// Reads the bracket of stage stageId (exists false when it has none).
bool readBracketStage(QSqlDatabase db, int stageId, BracketStage *out, QString *error);

// Seats the heats of a bracket read by readBracketStage from the heat
// results recorded for it: states, the group to fly next and the heats to
// fly again. Writes nothing.
bool seatBracketStage(QSqlDatabase db, int stageId, BracketStage *stage, QString *error);

// Records the finishing order of the heat whose group label is group
// (replacing what it had: a re-export or a correction), re-seats the bracket
// and writes the groups. A stage without a bracket is left alone (exists
// false, true returned).
bool recordHeatResult(QSqlDatabase db, int stageId, const QString &group, const QList<int> &order,
                      BracketStage *out, QString *error);

// The race list as a heat of stage stageId: its group (the first row's) and
// its pilots ranked from their laps by the stage's format (the finish's rule),
// then recordHeatResult. For the export of a race.
bool recordRaceListAsHeat(QSqlDatabase db, int stageId, BracketStage *out, QString *error);

} // namespace lapvane
