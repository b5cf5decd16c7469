// Race standings from the recorded laps: totals, best laps, places, and the
// recalculation of one race-list row after a lap correction.
#pragma once

#include "competition/raceformat.h"
#include "competition/stagedeciding.h"
#include "competition/stageformat.h"
#include "store/laptime.h"

#include <QSqlDatabase>
#include <QString>

namespace lapvane {

// For every race-list row: total = race time of the last lap, best = the
// shortest lap duration (lap 1 runs from the start); 59999999 and
// "999:59.999" for a pilot without laps. With holeShot the first pass only
// opened lap 1, so the stretch before it is no lap. One transaction; false
// with error set when the store fails (nothing is then changed).
bool computeTotalsAndBestLaps(QSqlDatabase db, QString *error, bool holeShot = false);

// Places by laps (more first), then total time (less first), then race-list
// order (the earlier row first). Every row gets 999 when winPlaces is 0.
bool assignPlaces(QSqlDatabase db, int winPlaces, QString *error);
// The same by a race format's ranking over the laps on record (the laps as
// the race list counts them decide in the default format).
bool assignPlaces(QSqlDatabase db, int winPlaces, RaceFormat format, const FormatOptions &options,
                  QString *error);

// The finish's ranking: totals and best laps of every row, then places.
bool rankRace(QSqlDatabase db, int winPlaces, QString *error);
// The same by a stage's rules (see raceRules).
bool rankRace(QSqlDatabase db, int winPlaces, const StageRules &rules, QString *error);

// raceRules() and rankingOptions() (the rules a race runs and is ranked by)
// are in competition/stagedeciding.h.

// `UpdateOneraceBestlaps` for the race-list row rowId: laps = number of the
// pilot's laps, best = the smallest lap-time text, total = the largest race
// time. An unreadable lap text is reported through log. False with error set
// when the row does not exist or the store fails.
bool updateOneraceBestlaps(QSqlDatabase db, int rowId, const LogFn &log, QString *error);

} // namespace lapvane
