// The limits a race runs by, the same for the pass loop, the live pages and
// the announcer's time-left calls.
#pragma once

#include "competition/stageformat.h"

#include <QString>

namespace lapvane {

// The limits a race runs by: the format of its stage and the lap and time
// limits that apply.
struct RaceLimits
{
    RaceFormat format = RaceFormat::LapsAndTime;
    FormatOptions options; // lapLimit, timeLimitMs: the ones that apply; 0 = none
    // The default format in a team race: a team's laps together meet the lap limit.
    bool teamRace = false;
};

// A limit as the Race page holds it: a whole number of plain decimal digits
// (blanks around allowed); negative values, signs and fractions are refused.
bool parseWholeNumber(const QString &text, int *value);

// The default format races by the Race page's lap limit and time limit
// (minutes), every other format by its stage's own limits.
RaceLimits raceLimits(const StageRules &rules, int pageLapLimit, int pageTimeLimitMin, bool teamRace);

} // namespace lapvane
