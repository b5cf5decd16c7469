// The limits a race runs by.
#include "competition/racelimits.h"

#include <algorithm>

namespace lapvane {

bool parseWholeNumber(const QString &text, int *value)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 9)
        return false;
    for (const QChar ch : t) {
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
            return false;
    }
    *value = t.toInt();
    return true;
}

RaceLimits raceLimits(const StageRules &rules, int pageLapLimit, int pageTimeLimitMin, bool teamRace)
{
    RaceLimits limits;
    limits.format = rules.format;
    limits.options = rules.options;
    if (rules.format == RaceFormat::LapsAndTime) {
        limits.options.lapLimit = std::max(0, pageLapLimit);
        limits.options.timeLimitMs = qint64(std::max(0, pageTimeLimitMin)) * 60000;
        limits.teamRace = teamRace;
    }
    return limits;
}

} // namespace lapvane
