// The rule of the pass loop, for every race format: does a pass count, did it
// finish the pilot's race, is the race over. GUI-free and without the store:
// it judges against the race list in memory (RaceField).
#pragma once

#include "competition/racelimits.h"

#include <QList>
#include <QString>

namespace lapvane {

class RaceField;
struct RaceEntry;

struct PassVerdict
{
    bool counts = false;   // the pass is a lap
    bool finishes = false; // ... and that lap ends the pilot's (or his team's) race
    int lapn = 0;          // the lap's number when it counts
};

// A pass at passMs of the confirmed pilot at index in the field (his earlier
// passes are in the field). teamLaps: the laps of his team so far in a team
// race, -1 when he races for no team.
PassVerdict judgePass(const RaceLimits &limits, const RaceField &field, int index, qint64 passMs,
                      int teamLaps = -1);

// When the race's end is looked at: by the clock on every tick, or after a
// pass was taken.
enum class EndCheck { Clock, AfterPass };

struct RaceEnd
{
    bool over = false;
    QString reason; // the log line saying why; may be empty
};

// Whether the race is over at race time nowMs. teamCount: the competitors of
// a team race (the teams listed).
RaceEnd raceEnd(const RaceLimits &limits, const RaceField &field, int teamCount, qint64 nowMs, EndCheck when);

// The confirmed pilots' passes, in race-list order: what the formats judge.
QList<RaceEntry> fieldEntries(const RaceField &field);

} // namespace lapvane
