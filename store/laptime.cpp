// Lap-time text ("000:12.345") and the decoding of race-clock differences.
#include "store/laptime.h"

namespace lapvane {

QString ms2minsecmstext(qint64 ms)
{
    const qint64 minutes = ms / 60000;
    const qint64 seconds = (ms / 1000) % 60;
    const qint64 millis = ms % 1000;
    return QStringLiteral("%1:%2.%3")
        .arg(minutes, 3, 10, QLatin1Char('0'))
        .arg(seconds, 2, 10, QLatin1Char('0'))
        .arg(millis, 3, 10, QLatin1Char('0'));
}

int minsecmstext2ms(const QString &text, const LogFn &log)
{
    bool okMin = false;
    bool okSec = false;
    bool okMs = false;
    // Each group is read as a whole decimal number of plain digits.
    auto group = [&text](int from, int length, bool *ok) {
        const QString part = text.mid(from, length);
        for (const QChar ch : part) {
            if (ch < QLatin1Char('0') || ch > QLatin1Char('9')) {
                *ok = false;
                return 0;
            }
        }
        return part.toInt(ok);
    };
    const int minutes = group(0, 3, &okMin);
    const int seconds = group(4, 2, &okSec);
    const int millis = group(7, 3, &okMs);
    if (!okMin || !okSec || !okMs) {
        if (log)
            log(QStringLiteral("can't convert new lap to msec (\"%1\")").arg(text));
        return 0;
    }
    if (seconds > 59) {
        if (log)
            log(QStringLiteral("error in new lap time, seconds>59"));
        return 0;
    }
    return minutes * 60000 + seconds * 1000 + millis;
}

ClockParts decodeClock(qint64 differenceMs)
{
    if (differenceMs < 0)
        differenceMs = 0;
    differenceMs %= 24LL * 3600000;
    ClockParts parts;
    parts.hr = quint16(differenceMs / 3600000);
    parts.mn = quint16((differenceMs / 60000) % 60);
    parts.sc = quint16((differenceMs / 1000) % 60);
    parts.ms = quint16(differenceMs % 1000);
    return parts;
}

qint64 elapsedMs(qint64 fromMs, qint64 toMs)
{
    const qint64 difference = toMs - fromMs;
    if (difference <= 0)
        return 0;
    // Whole days first, then the decoded remainder, as the race clock counts.
    const qint64 days = difference / (24LL * 3600000);
    const ClockParts p = decodeClock(difference);
    return days * 24LL * 3600000 + p.hr * 3600000LL + p.mn * 60000LL + p.sc * 1000LL + p.ms;
}

QString clockText(const ClockParts &parts)
{
    return QStringLiteral("%1:%2:%3")
        .arg(parts.hr, 2, 10, QLatin1Char('0'))
        .arg(parts.mn, 2, 10, QLatin1Char('0'))
        .arg(parts.sc, 2, 10, QLatin1Char('0'));
}

} // namespace lapvane
