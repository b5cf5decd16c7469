// What every receiver works with: the settings, the operator log and the
// shared stop flag. All are owned elsewhere and outlive the devices.
#pragma once

namespace lapvane {

class Settings;
class OperatorLog;
class StopFlag;

struct DeviceEnv
{
    Settings &settings;
    OperatorLog &log;
    StopFlag &stop; // `STOPFLAG`: ends the open-ended connect waits
};

} // namespace lapvane
