// Lap-time text ("000:12.345") and the decoding of race-clock differences.
#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

namespace lapvane {

using LogFn = std::function<void(const QString &)>;

// Minutes (at least three digits), ":", two-digit seconds, ".", three-digit
// milliseconds. 59999999 ms gives "999:59.999"; 60000000 ms "1000:00.000".
QString ms2minsecmstext(qint64 ms);

// Reads minutes from characters 1-3, seconds from 5-6 and milliseconds from
// 8-10; the separators are not checked. Returns 0 when a group is not a number
// or the seconds exceed 59, and reports why through log.
int minsecmstext2ms(const QString &text, const LogFn &log = {});

// A race-clock difference decoded into its parts.
struct ClockParts
{
    quint16 hr = 0;
    quint16 mn = 0;
    quint16 sc = 0;
    quint16 ms = 0;
};

// Decodes a difference of two clock readings (milliseconds, under a day).
ClockParts decodeClock(qint64 differenceMs);

// Elapsed milliseconds from a clock difference: hours times 3600000 plus
// minutes times 60000 plus seconds times 1000 plus milliseconds. The clock is
// read as milliseconds since the epoch, so a race that passes midnight keeps
// counting; a negative difference (the system clock set back) counts as 0.
qint64 elapsedMs(qint64 fromMs, qint64 toMs);

// "HH:mm:ss" of a clock difference, as the race clock shows it.
QString clockText(const ClockParts &parts);

} // namespace lapvane
