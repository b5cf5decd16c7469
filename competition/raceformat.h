// Race formats and the one ranking rule every result uses: the finish, the
// live places, the JSON, the pages and the brackets.
#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace lapvane {

enum class RaceFormat {
    LapsAndTime, // lap or time limit; more laps, then the earlier last pass (the default)
    MostLaps,    // time limit, then each pilot's next pass ends his race
    FirstToLaps, // the first pilot to N laps ends the race; the others finish their lap
    FastestLap,  // time limit; the best single lap
    Fastest3,    // time limit; the best sum of 3 consecutive laps
};

// Stable keys as kept in stored settings ("lapsandtime", "mostlaps",
// "firsttolaps", "fastestlap", "fastest3") and the names shown to people.
QString formatKey(RaceFormat format);
QString formatName(RaceFormat format);
std::optional<RaceFormat> formatFromKey(const QString &key);
QList<RaceFormat> allFormats();

struct FormatOptions
{
    int lapLimit = 0;       // laps; 0 = unlimited (N of "first to N laps")
    qint64 timeLimitMs = 0; // 0 = unlimited
    qint64 graceMs = 30000; // most laps: the last pass may come at most this long after the time limit
    bool holeShot = false;  // a pilot's first pass starts his lap 1 instead of closing it
};

// One pilot's race as recorded: the race time (ms from the start signal) of
// each counted pass, in lap order.
struct RaceEntry
{
    QList<qint64> passesMs;
    // The passes the race list counted (its lap count), where it may differ
    // from the passes on record (a lap counted whose write failed); -1: the
    // passes decide. Only the default format reads it; the last pass on
    // record still gives the time.
    int countedPasses = -1;
};

// What decides a pilot's rank, comparable across races of one format (so a
// stage standing can take each pilot's best race). Smaller is better, field by
// field: tier, then value, then achievedMs.
struct RaceScore
{
    int tier = 0;          // 0: ranked by value; 1: too few laps for the value, ranked by laps
    qint64 value = 0;      // laps as a negative number, or a time in ms
    qint64 achievedMs = 0; // race time when the value was reached (the tie-break)
    bool operator<(const RaceScore &o) const;
    bool operator==(const RaceScore &o) const;
};

struct RankedEntry
{
    int index = 0;          // position of the pilot in the input
    int place = 0;          // 1, 2, 3 ... over the whole field, no shared places
    int laps = 0;           // laps the format counts
    qint64 lastPassMs = -1; // race time of the last counted pass; -1: none
    qint64 bestLapMs = -1;  // shortest counted lap; -1: none
    qint64 decidingMs = -1; // the deciding time (last pass, best lap, best 3 laps); -1: none
    QString decidingText;   // e.g. "5 laps, 01:58.500", "3 consecutive: 01:02.345"
    RaceScore score;
};

// Applies the format's rules to one pilot's passes: which passes count (lap
// limit, time limit, grace lap, the hole-shot) and the score they give.
// winnerFinishMs is the race time the first pilot completed N laps in
// "first to N laps" (-1: nobody did); other formats ignore it.
RankedEntry scoreEntry(RaceFormat format, const FormatOptions &options, const RaceEntry &entry,
                       qint64 winnerFinishMs = -1);

// Ranks one race: the results in place order. Ties that the format's rules
// leave (same score) keep the input order, so callers pass pilots in their
// own fixed order (race-list order, channel).
QList<RankedEntry> rankRace(RaceFormat format, const FormatOptions &options, const QList<RaceEntry> &entries);

// For the pass loop: whether a new pass at passMs of a pilot whose counted
// passes so far are entry.passesMs counts under the format (false: the pilot's
// race is over, or the race's). winnerFinishMs as for scoreEntry.
bool passCounts(RaceFormat format, const FormatOptions &options, const RaceEntry &entry, qint64 passMs,
                qint64 winnerFinishMs = -1);

// The race time the first pilot completed N laps in "first to N laps"; -1
// when nobody has (or another format).
qint64 winnerFinish(RaceFormat format, const FormatOptions &options, const QList<RaceEntry> &entries);

// Whether the race is over at race time nowMs, by the format's end rule:
// - Laps and time: the time limit is reached, or every pilot has the lap limit;
// - Most laps: the time limit is reached and every pilot has made his last
//   pass after it, or the grace time after the limit is over;
// - First to N laps: somebody has N laps and every other pilot has completed
//   the lap he was on (or has N laps), or the grace time after that finish
//   is over (a pilot who is down does not hold the race);
// - Fastest lap, Fastest 3: the time limit is reached.
// Without a limit to reach, only the operator ends the race (false).
bool raceOver(RaceFormat format, const FormatOptions &options, const QList<RaceEntry> &entries, qint64 nowMs);

// A stage standing from several races: each pilot's best score over his
// races, ranked. races[i] holds pilot i's scores (any number, none allowed).
// Pilots without a race come last, in input order.
struct StageRank
{
    int index = 0;
    int place = 0;
    bool hasRace = false;
    RaceScore best;
    QString decidingText;
};
QList<StageRank> rankStage(RaceFormat format, const QList<QList<RankedEntry>> &races);

// A time as the deciding values show it: "mm:ss.zzz" (minutes grow past 99).
QString decidingTimeText(qint64 ms);

} // namespace lapvane
