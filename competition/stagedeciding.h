// The rules a race runs and is ranked by, the race list ranked by them, and
// each pilot's deciding value over a stage's exported races, kept in the race
// database beside the stage's format (table `stagedeciding`, made the first
// time a race of a stage with a chosen format is exported; no existing table
// changes).
#pragma once

#include "competition/raceformat.h"
#include "competition/stageformat.h"

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>

namespace lapvane {

inline constexpr const char *kStageDecidingTable = "stagedeciding";

// The rules a race of stage stageId runs and is ranked by. Stage 0, a stage
// that is not in the file, or one without a chosen format: the default
// ("Laps and time"). A stored format that is unknown, or a store that cannot
// be read: the default, with problem set to a plain line for the operator log.
StageRules raceRules(QSqlDatabase db, int stageId, QString *problem);

// The options a race is ranked by. The default format counts the laps as the
// race list holds them (the pass loop applied the race page's limits), so only
// the hole-shot is taken; every other format applies the stage's limits.
FormatOptions rankingOptions(const StageRules &rules);

// Whether stage stageId has a format chosen (a row in `stageformat`).
bool hasChosenFormat(QSqlDatabase db, int stageId);

// Whether stage stageId races by a chosen format other than the default: its
// results show each pilot's deciding value (the default stage's as before).
bool showsDecidingValue(QSqlDatabase db, int stageId);

// One pilot of the race list as ranked.
struct RaceListRank
{
    int pilotId = 0;
    RankedEntry ranked;
};

// The race list (`onerace`, each pilot once, with his counted laps) ranked by
// rules, in place order: the finish's ranking.
bool rankRaceList(QSqlDatabase db, const StageRules &rules, QList<RaceListRank> *out, QString *error);

// The deciding value text of each pilot of the race list, by pilot id, ranked
// by the rules of stage stageId; empty when showsDecidingValue() is false.
bool raceListDeciding(QSqlDatabase db, int stageId, QHash<int, QString> *out, QString *error);

// A pilot's best over a stage's exported races.
struct StageDeciding
{
    RaceScore score;
    QString text; // e.g. "3 consecutive: 01:02.345"
};

// Keeps each ranked pilot's score in stage stageId when it beats the one
// stored (as the qualification time keeps the best time): the stage standing
// by the format. A pilot without laps is kept only when he has nothing yet.
bool recordStageDeciding(QSqlDatabase db, int stageId, const QList<RaceListRank> &race, QString *error);

// The deciding values kept for stage stageId by pilot id (empty without the
// table).
bool readStageDeciding(QSqlDatabase db, int stageId, QHash<int, StageDeciding> *out, QString *error);

// The stage standing by its format: the pilots of the stage's results rows,
// best kept score first; pilots without one after them in results-row order.
// For the seeding of a bracket.
struct StageStandingRow
{
    int pilotId = 0;
    int place = 0;
    bool hasRace = false;
    QString deciding;
};
bool readStageStanding(QSqlDatabase db, int stageId, QList<StageStandingRow> *out, QString *error);

} // namespace lapvane
