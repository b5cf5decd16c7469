// Numbers as words, for the speech engine: it reads "3-й" as a digit and the
// names of letters, so every number it is given is spelled out.
#pragma once

#include <QString>

namespace lapvane {

// Russian cardinal number in words, masculine ("двадцать один"); n >= 0.
QString russianCardinal(qint64 n);
// Russian ordinal number in words, masculine nominative, as in "… круг"
// ("третий", "двадцать первый", "сотый", "двухсотый"); n >= 0.
QString russianOrdinal(qint64 n);

} // namespace lapvane
