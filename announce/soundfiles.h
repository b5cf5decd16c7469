// The check that the operator's sound cue files exist, run at start-up.
#pragma once

namespace lapvane {

class Settings;
class OperatorLog;

// Logs one line for each missing cue file, in the order the operator is used
// to: start countdown, lap pass, finish first, finish others, register check,
// finish all. The start signal file is not looked up. Returns the number of
// missing files.
int checkSoundFiles(const Settings &settings, OperatorLog &log);

} // namespace lapvane
