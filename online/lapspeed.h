// The speed of a lap in km/h and how it is written, one rule for every
// message that shows it (Telegram, the registry service).
#pragma once

#include <QLocale>
#include <QString>

#include <optional>

namespace lapvane::lapspeed {

// Speed in km/h over a lap of the track: the track length (a decimal number
// in the locale's format) over the lap time. Empty when the length is not a
// number, the lap time is not above 0 or the result is not finite.
std::optional<double> kmh(const QString &tracklen, qint64 lapMs, const QLocale &locale);

// The speed in the locale's format with thousands separators, at most 5
// significant digits and exactly one decimal ("68.4", "3,600.0",
// "444,440.0"). Rounded once, half away from zero.
QString text(double kmh, const QLocale &locale);

} // namespace lapvane::lapspeed
