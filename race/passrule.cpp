// The pass loop's rule for every format.
#include "race/passrule.h"

#include "competition/raceformat.h"
#include "race/racefield.h"

#include <algorithm>

namespace lapvane {

QList<RaceEntry> fieldEntries(const RaceField &field)
{
    QList<RaceEntry> entries;
    for (const FieldPilot &p : field.pilots()) {
        if (p.confirmed)
            entries << RaceEntry{p.passesMs};
    }
    return entries;
}

namespace {

PassVerdict judgeDefault(const RaceLimits &limits, const FieldPilot &pilot, int teamLaps)
{
    const int lapLimit = limits.options.lapLimit;
    // With the hole-shot a pilot's first pass only opens his lap 1.
    const int opening = limits.options.holeShot ? 1 : 0;
    PassVerdict v;
    v.lapn = pilot.lapno + 1;
    if (lapLimit != 0 && (lapLimit + opening <= pilot.lapno || (teamLaps >= 0 && lapLimit <= teamLaps)))
        return v;
    v.counts = true;
    v.finishes = (lapLimit != 0 && v.lapn == lapLimit + opening) ||
                 (limits.teamRace && teamLaps >= 0 && teamLaps + 1 == lapLimit);
    return v;
}

PassVerdict judgeFormat(const RaceLimits &limits, const RaceField &field, const FieldPilot &pilot,
                        qint64 passMs)
{
    const RaceFormat format = limits.format;
    const FormatOptions &o = limits.options;
    PassVerdict v;
    v.lapn = pilot.lapno + 1;
    const qint64 winner = winnerFinish(format, o, fieldEntries(field));
    const RaceEntry entry{pilot.passesMs};
    // Beyond his race's end (or the race's): not counted, as passes beyond
    // the lap limit are not.
    if (!passCounts(format, o, entry, passMs, winner))
        return v;
    v.counts = true;
    if (format == RaceFormat::MostLaps)
        v.finishes = o.timeLimitMs > 0 && passMs >= o.timeLimitMs;
    else if (format == RaceFormat::FirstToLaps)
        v.finishes = (o.lapLimit > 0 && entry.passesMs.size() + 1 >= o.lapLimit + (o.holeShot ? 1 : 0)) ||
                     (winner >= 0 && passMs > winner);
    return v;
}

} // namespace

PassVerdict judgePass(const RaceLimits &limits, const RaceField &field, int index, qint64 passMs, int teamLaps)
{
    const FieldPilot &pilot = field.pilots().at(index);
    if (limits.format == RaceFormat::LapsAndTime)
        return judgeDefault(limits, pilot, teamLaps);
    return judgeFormat(limits, field, pilot, passMs);
}

RaceEnd raceEnd(const RaceLimits &limits, const RaceField &field, int teamCount, qint64 nowMs, EndCheck when)
{
    const FormatOptions &o = limits.options;
    RaceEnd end;
    if (limits.format == RaceFormat::LapsAndTime) {
        if (when == EndCheck::Clock) {
            end.over = o.timeLimitMs > 0 && nowMs >= o.timeLimitMs;
            if (end.over)
                end.reason = QStringLiteral("Time limit reached.");
            return end;
        }
        // Every competitor (every row of the list, or every team) has flown
        // the lap limit.
        const qint64 competitors = limits.teamRace ? teamCount : field.pilots().size();
        const qint64 passesEach = o.lapLimit + (!limits.teamRace && o.holeShot ? 1 : 0);
        end.over = o.lapLimit > 0 && competitors > 0 && field.lapSum() >= passesEach * competitors;
        return end;
    }
    const QList<RaceEntry> entries = fieldEntries(field);
    if (!raceOver(limits.format, o, entries, nowMs))
        return end;
    end.over = true;
    const qint64 grace = std::max<qint64>(0, o.graceMs);
    end.reason = QStringLiteral("Time limit reached.");
    if (limits.format == RaceFormat::MostLaps)
        end.reason = nowMs >= o.timeLimitMs + grace ? QStringLiteral("The grace time after the time limit is over.")
                                                    : QStringLiteral("Every pilot has finished his last lap.");
    else if (limits.format == RaceFormat::FirstToLaps)
        end.reason = nowMs >= winnerFinish(limits.format, o, entries) + grace
                         ? QStringLiteral("The time allowed after the winner's finish is over.")
                         : QStringLiteral("Every pilot has finished.");
    return end;
}

} // namespace lapvane
