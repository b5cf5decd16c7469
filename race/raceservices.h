// What the race engine works with: the database, settings, operator log and
// questions, receivers, sound cues, clock, stop flag and the current
// event/stage. All are owned elsewhere and outlive the race objects.
#pragma once

#include <QSqlDatabase>
#include <QString>

namespace lapvane {

class Settings;
class OperatorLog;
class OperatorPrompt;
class Receivers;
class CuePlayer;
class Clock;
class StopFlag;
class CurrentSelection;
class FinishedRace;
class RaceStage;

struct RaceServices
{
    QSqlDatabase db; // the main thread's connection
    Settings &settings;
    OperatorLog &log;
    OperatorPrompt &prompt;
    Receivers &receivers;
    CuePlayer &cues;
    const Clock &clock;
    StopFlag &stop;                              // `STOPFLAG`, shared with the other commands that wait
    const CurrentSelection *selection = nullptr; // for the "Race (...) started" line
    // Where the race's start (clock zero and the receivers' clocks) is kept
    // for a "continue" after a restart; empty keeps nothing.
    QString raceStateFile = {};
    // Whether the finished race went to the stage results: asked before a
    // new race resets the list; a lap correction ranks a finished race again.
    FinishedRace *finishedRace = nullptr;
    // The stage and group the race was sent from. When the Events page shows
    // another stage at "Start Race", the operator chooses which one the race
    // runs in. Without it the race follows the selection alone.
    RaceStage *raceStage = nullptr;
};

} // namespace lapvane
