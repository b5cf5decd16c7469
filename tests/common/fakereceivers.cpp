// A scripted stand-in for the timing receivers.
#include "tests/common/fakereceivers.h"

#include "core/wait.h"

#include <stdexcept>

namespace lapvane::test {

Pass FakeReceivers::gettrans()
{
    ++polls;
    if (pollThrows)
        throw std::runtime_error("port gone");
    return queue.isEmpty() ? Pass{} : queue.takeFirst();
}

bool FakeReceivers::handshake(const QString &device, const StopFlag &stop, const QString &okLine,
                              const QString &failLine)
{
    calls << QStringLiteral("sync:") + device;
    if (duringSync)
        duringSync(device);
    if (silent.contains(device) || stop.isRaised()) {
        // The real receivers bound this wait (3 s); here it is shorter.
        waitUntil({}, &stop, boundMs);
        if (log)
            log(failLine);
        return false;
    }
    if (log)
        log(okLine);
    return true;
}

bool FakeReceivers::syncVsSerial(const StopFlag &stop)
{
    return handshake(QStringLiteral("vsSerial"), stop, QStringLiteral("vstime start: 1000"),
                     QStringLiteral("PROBLEM WITH VSTIME! STOP RACE MANUALLY!"));
}

bool FakeReceivers::syncVsWifi(const StopFlag &stop)
{
    return handshake(QStringLiteral("vsWifi"), stop, QStringLiteral("vstime start: 2000"),
                     QStringLiteral("PROBLEM WITH VSTIME WIFI! NO SYSTIME! STOP MANUALLY!"));
}

bool FakeReceivers::syncLapvane(const StopFlag &stop)
{
    clocks[QStringLiteral("lapvane")] = 400;
    return handshake(QStringLiteral("lapvane"), stop, QStringLiteral("lapvane start: 400"),
                     QStringLiteral("PROBLEM WITH LAPVANE! STOP RACE MANUALLY!"));
}

bool FakeReceivers::syncChorus(const StopFlag &stop)
{
    return handshake(QStringLiteral("chorus"), stop, QStringLiteral("chorus start: 0"),
                     QStringLiteral("PROBLEM WITH CHORUS! STOP RACE MANUALLY!"));
}

bool FakeReceivers::lapvaneRaceMode()
{
    calls << QStringLiteral("raceMode");
    return raceModeOk;
}

bool FakeReceivers::lapvaneRegMode()
{
    calls << QStringLiteral("regMode");
    return regModeOk;
}

} // namespace lapvane::test
