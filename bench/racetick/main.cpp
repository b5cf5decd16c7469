// Benchmark of the pass loop: one tick that records a lap with 16 pilots in
// the race list and about 2,000 laps stored, and a burst of 100 queued passes
// (ticks back to back, and driven by the 3 ms race timer).
#include "bench/benchstandins.h"
#include "core/clock.h"
#include "core/cues.h"
#include "core/operatorlog.h"
#include "core/operatorprompt.h"
#include "core/receivers.h"
#include "core/settings.h"
#include "core/wait.h"
#include "race/raceengine.h"
#include "store/database.h"
#include "store/laptime.h"
#include "store/transaction.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace lapvane;

namespace {

using bench::QueueReceivers;
using QuietPrompt = bench::YesPrompt;

constexpr int kPilots = 16;
constexpr int kStoredLaps = 2000;

struct Setup
{
    QTemporaryDir dir;
    Database db;
    Settings settings;
    std::unique_ptr<OperatorLog> log;
    QuietPrompt prompt;
    QueueReceivers rx;
    SilentCuePlayer cues;
    SystemClock clock;
    StopFlag stop;
    std::unique_ptr<RaceEngine> engine;
    QList<qint32> nextPassMs; // per pilot

    explicit Setup(bool logFile)
    {
        if (!db.open(dir.filePath(kDatabaseFileName)))
            qFatal("%s", qPrintable(db.error()));
        settings.set("edtlaps", "0");
        settings.set("chksounds", false);
        settings.set("chsavelogfile", logFile);
        settings.set("chracecontinue", true); // keep the stored laps
        log = std::make_unique<OperatorLog>(settings, dir.path());
        Transaction tx(db.db());
        QSqlQuery q(db.db());
        q.prepare("INSERT INTO onerace (pilotid, pilotname, pilottrans, \"group\", vtx, place, lapno, "
                  "confirmed) VALUES (?, ?, ?, '1', ?, 999, ?, 'Y')");
        QSqlQuery lap(db.db());
        lap.prepare("INSERT INTO laps (pilotid, lapn, laptime, laptimetxt) VALUES (?, ?, ?, ?)");
        const int lapsEach = kStoredLaps / kPilots;
        for (int p = 1; p <= kPilots; ++p) {
            q.addBindValue(p);
            q.addBindValue(QString("Pilot %1").arg(p));
            q.addBindValue(1000 + p);
            q.addBindValue(QString("R%1").arg(p));
            q.addBindValue(lapsEach);
            q.exec();
            for (int n = 1; n <= lapsEach; ++n) {
                lap.addBindValue(p);
                lap.addBindValue(n);
                lap.addBindValue(n * 30000 + p);
                lap.addBindValue(ms2minsecmstext(30000));
                lap.exec();
            }
            nextPassMs << (lapsEach + 1) * 30000 + p;
        }
        tx.commit();
        engine = std::make_unique<RaceEngine>(
            RaceServices{db.db(), settings, *log, prompt, rx, cues, clock, stop, nullptr});
        engine->setTimerDriven(false);
        if (!engine->racestartraceExecute())
            qFatal("race did not start");
    }

    void queueLap(int i)
    {
        const int p = i % kPilots;
        rx.queue.append(Pass{PassSource::LapvaneGate, 1001 + p, nextPassMs[p]});
        nextPassMs[p] += 30000;
    }
};

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * (v.size() - 1) + 0.5));
    return v[i];
}

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
