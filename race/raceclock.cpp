// The race clock and its display.
#include "race/raceclock.h"

#include "store/laptime.h"

namespace lapvane {

RaceClock::RaceClock(const Clock &clock, QObject *parent) : QObject(parent), m_clock(clock)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &RaceClock::onTimer);
}

void RaceClock::setOrigin(qint64 originMs)
{
    m_originMs = originMs;
    m_hasOrigin = true;
}

qint64 RaceClock::elapsedMs() const
{
    return lapvane::elapsedMs(m_originMs, m_clock.nowMs());
}

QString RaceClock::timeTextFor(qint64 elapsed)
{
    return clockText(decodeClock(elapsed));
}

QString RaceClock::msTextFor(qint64 elapsed)
{
    return QString::number(elapsed % 1000 / 100 * 100);
}

QString RaceClock::timeText() const
{
    return timeTextFor(elapsedMs());
}

QString RaceClock::msText() const
{
    return msTextFor(elapsedMs());
}

void RaceClock::startDisplay()
{
    m_displaying = true;
    onTimer();
}

void RaceClock::stopDisplay()
{
    m_displaying = false;
    m_timer.stop();
}

void RaceClock::onTimer()
{
    if (!m_displaying)
        return;
    const qint64 elapsed = elapsedMs();
    emit displayChanged(timeTextFor(elapsed), msTextFor(elapsed));
    arm();
}

void RaceClock::arm()
{
    // Wake at the next 100 ms boundary of the race time.
    const int wait = int(100 - elapsedMs() % 100);
    m_timer.start(qMax(1, wait));
}

} // namespace lapvane
