// The system clock.
#include "core/clock.h"

#include <QDateTime>

namespace lapvane {

qint64 SystemClock::nowMs() const
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace lapvane
