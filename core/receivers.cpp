// The receivers' start handshakes in their order.
#include "core/receivers.h"

#include "core/wait.h"

namespace lapvane {

bool Receivers::synchronise(const StopFlag &stop)
{
    if (vsSerialConnected())
        syncVsSerial(stop);
    if (stop.isRaised())
        return false;
    if (vsWifiEnabled())
        syncVsWifi(stop);
    if (stop.isRaised())
        return false;
    if (lapvaneConnected())
        syncLapvane(stop);
    if (stop.isRaised())
        return false;
    if (chorusConnected())
        syncChorus(stop);
    return !stop.isRaised();
}

} // namespace lapvane
