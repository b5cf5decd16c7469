// The speed of a lap in km/h and how it is written.
#include "online/lapspeed.h"

#include <cmath>

namespace lapvane::lapspeed {

std::optional<double> kmh(const QString &tracklen, qint64 lapMs, const QLocale &locale)
{
    bool ok = false;
    const double metres = locale.toDouble(tracklen, &ok);
    if (!ok || lapMs <= 0)
        return std::nullopt;
    // Metres per millisecond times 3600 is km/h; one division keeps the
    // value as near the true one as a double can.
    const double speed = metres * 3600.0 / double(lapMs);
    if (!std::isfinite(speed))
        return std::nullopt;
    return speed;
}

QString text(double kmh, const QLocale &locale)
{
    // A speed of five or more whole digits is rounded at its fifth digit,
    // a smaller one at its first decimal: a single rounding either way.
    const double size = std::fabs(kmh);
    const int whole = size < 1 ? 1 : int(std::floor(std::log10(size))) + 1;
    double rounded = std::round(kmh * 10.0) / 10.0;
    if (whole >= 5) {
        const double unit = std::pow(10.0, whole - 5);
        rounded = std::round(kmh / unit) * unit;
    }
    QLocale out = locale; // with thousands separators, also in the C format
    out.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return out.toString(rounded, 'f', 1);
}

} // namespace lapvane::lapspeed
