// Waiting while the program keeps working.
#include "core/wait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace lapvane {

namespace {

thread_local int t_waits = 0;

struct WaitCount
{
    WaitCount() { ++t_waits; }
    ~WaitCount() { --t_waits; }
};

} // namespace

int waitsInProgress()
{
    return t_waits;
}

WaitResult waitUntil(const std::function<bool()> &condition, const StopFlag *stop, int timeoutMs)
{
    const WaitCount counting;
    QDeadlineTimer deadline(timeoutMs < 0 ? QDeadlineTimer::Forever : QDeadlineTimer(timeoutMs));
    for (;;) {
        if (condition && condition())
            return WaitResult::Done;
        if (stop && stop->isRaised())
            return WaitResult::Stopped;
        if (deadline.hasExpired())
            return WaitResult::TimedOut;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        // Give the processor back between looks instead of spinning.
        QThread::usleep(500);
    }
}

void pause(int ms)
{
    waitUntil({}, nullptr, ms);
}

} // namespace lapvane
