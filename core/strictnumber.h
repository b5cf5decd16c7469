// Numbers read strictly from outside text (receiver lines, the settings file):
// an optional sign and decimal digits, or hexadecimal digits, and nothing else.
#pragma once

#include <QByteArrayView>
#include <QStringView>
#include <QtGlobal>

#include <optional>

namespace lapvane {

// "-12", "+7", "0042": a 32-bit integer. Empty text, blanks, NUL or any other
// character anywhere, or a value outside 32 bits give no value.
std::optional<qint32> strictInt(QByteArrayView text);
std::optional<qint32> strictInt(QStringView text);

// One to maxDigits (at most 8) hexadecimal digits of either case, nothing else.
std::optional<quint32> strictHex(QByteArrayView text, int maxDigits = 8);

} // namespace lapvane
