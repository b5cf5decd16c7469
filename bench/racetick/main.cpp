// Benchmark of the pass loop: one tick that records a lap with 16 pilots in
// the race list and about 2,000 laps stored, and a burst of 100 queued passes
// (ticks back to back, and driven by the 3 ms race timer).
#include "bench/common/benchstats.h"
#include "bench/common/benchworld.h"
#include "core/wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>

#include <cstdio>
#include <vector>

using namespace lapvane;
using lapvane::bench::percentile;

namespace {

constexpr int kPilots = 16;
constexpr int kStoredLaps = 2000;

// 16 pilots with 2,000 laps stored between them, the race running and kept
// on from those laps, ticks driven by hand.
struct Setup : bench::BenchWorld
{
    explicit Setup(bool logFile)
    {
        settings.set("chsavelogfile", logFile);
        settings.set("chracecontinue", true); // keep the stored laps
        addRacePilots(kPilots, 1001, kStoredLaps / kPilots);
        makeEngine().setTimerDriven(false);
        startRace();
    }
};

void benchTick(bool logFile)
{
    Setup s(logFile);
    std::vector<double> us;
    const int rounds = 1000;
    for (int i = 0; i < rounds; ++i) {
        s.queueLap(i);
        QElapsedTimer t;
        t.start();
        s.engine->tmrraceTimer();
        us.push_back(t.nsecsElapsed() / 1000.0);
    }
    QSqlQuery q(s.db.db());
    q.exec("SELECT COUNT(*) FROM laps");
    q.next();
    std::printf("tick recording a lap (16 pilots, %d -> %d laps stored, log file %s): median %.0f us, "
                "p99 %.0f us, max %.0f us\n",
                kStoredLaps, q.value(0).toInt(), logFile ? "on" : "off", percentile(us, 0.5),
                percentile(us, 0.99), percentile(us, 1.0));
}

void benchBurst()
{
    Setup s(true);
    for (int i = 0; i < 100; ++i)
        s.queueLap(i);
    QElapsedTimer t;
    t.start();
    while (!s.rx.queue.isEmpty())
        s.engine->tmrraceTimer();
    const double backToBack = t.nsecsElapsed() / 1e6;

    for (int i = 0; i < 100; ++i)
        s.queueLap(100 + i);
    s.engine->setTimerDriven(true);
    t.restart();
    waitUntil([&] { return s.rx.queue.isEmpty(); }, nullptr, 30000);
    const double timerDriven = t.nsecsElapsed() / 1e6;
    s.engine->setTimerDriven(false);
    QSqlQuery q(s.db.db());
    q.exec("SELECT COUNT(*) FROM laps");
    q.next();
    std::printf("burst of 100 queued passes: %.1f ms back to back (%.2f ms a pass), %.1f ms on the "
                "3 ms race timer; laps stored %d (expected %d)\n",
                backToBack, backToBack / 100, timerDriven, q.value(0).toInt(), kStoredLaps + 200);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchTick(true);
    benchTick(false);
    benchBurst();
    return 0;
}
