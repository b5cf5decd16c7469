// The world a benchmark races in, built the same way for each: a program
// folder of its own with a new database, the settings (no log file, no lap
// limit, no cues), the operator log, stand-ins for the operator, the receivers
// and the cues, the race list, and a race engine once asked for.
#pragma once

#include "bench/common/benchstandins.h"
#include "core/clock.h"
#include "core/cues.h"
#include "core/operatorlog.h"
#include "core/settings.h"
#include "core/wait.h"
#include "race/raceengine.h"
#include "store/database.h"

#include <QList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace lapvane {
class TimingDevices;
}

namespace lapvane::bench {

// Laps 1..count of 30 s each for the pilot, stored as the pass loop stores them.
void addLaps(QSqlDatabase db, int pilotId, int count);

// Pilots 1..count in the race list, confirmed, in group 1 on channels R1,
// R2 ...; pilot p ("Pilot p" unless name(p) says otherwise) has the
// transponder firstTransponder + p - 1 and lapsStored laps of 30 s stored.
void addRacePilots(QSqlDatabase db, int count, int firstTransponder, int lapsStored = 0,
                   const std::function<QString(int)> &name = {});

struct BenchWorld
{
    BenchWorld();
    ~BenchWorld();

    QTemporaryDir dir;
    Database db;
    Settings settings;
    std::unique_ptr<OperatorLog> log;
    YesPrompt prompt;
    QueueReceivers rx;
    SilentCuePlayer cues;
    SystemClock clock;
    StopFlag stop;
    std::unique_ptr<RaceEngine> engine;

    // The pilots as above, whose laps queueLap() makes.
    void addRacePilots(int count, int firstTransponder, int lapsStored = 0,
                       const std::function<QString(int)> &name = {});
    // A race engine on these receivers (the queue when none is given), driven
    // by its own timer until told otherwise.
    RaceEngine &makeEngine(Receivers *receivers = nullptr);
    // The program's receivers on serial lines, as start-up makes them (none
    // connected yet).
    std::unique_ptr<TimingDevices> makeDevices();
    // Starts the race; a race that does not start ends the benchmark.
    void startRace();
    // Queues the pass that makes lap number i: pilot i % count, 30 s after
    // his last pass.
    void queueLap(int i);

private:
    int m_firstTransponder = 0;
    QList<qint32> m_nextPassMs; // per pilot
};

} // namespace lapvane::bench
