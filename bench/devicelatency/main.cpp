// Device latency benchmark: pass record on a pseudo-terminal -> gettrans ->
// lap row, and the idle cost of the 3 ms poll over three open receivers.
#include "bench/common/benchstats.h"
#include "bench/common/benchworld.h"
#include "devices/timingdevices.h"
#include "tools/receiversim/ptylink.h"
#include "tools/receiversim/receiversim.h"
#include "tools/receiversim/simonpty.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

using namespace lapvane;
using namespace lapvane::sim;
using lapvane::bench::printLatencies;

namespace {

constexpr int kPasses = 1000;

double cpuSeconds()
{
    return double(bench::processCpuNs()) / 1e9;
}

// The three receivers on the simulators' lines, connected.
struct World : bench::BenchWorld
{
    World()
    {
        devices = makeDevices();
        settings.set(QStringLiteral("comselect"), gate.pty.slavePath());
        settings.set(QStringLiteral("com2select"), vs.pty.slavePath());
        settings.set(QStringLiteral("com3select"), chorus.pty.slavePath());
        devices->comconnectExecute();
        devices->vsTimeMachine().connectSerial();
        devices->chorus().connectChorus();
        if (!devices->lapvaneConnected() || !devices->vsSerialConnected() || !devices->chorusConnected())
            qFatal("receivers did not connect");
    }
    ~World()
    {
        engine.reset();
        devices.reset();
    }

    SimOnPty gate{std::make_unique<GateSim>()};
    SimOnPty vs{std::make_unique<VsSim>()};
    SimOnPty chorus{std::make_unique<ChorusSim>(4)};
    std::unique_ptr<TimingDevices> devices;
};

// Passes written at random moments; a 3 ms timer polls as the race tick does.
void pollLatency(World &w)
{
    w.devices->syncLapvane(w.stop);
    w.devices->lapvaneRaceMode();
    pause(20);
    QList<double> ms;
    QElapsedTimer sent;
    bool waiting = false;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const Pass p = w.devices->gettrans();
        if (p.source == PassSource::LapvaneGate && waiting) {
            ms << sent.nsecsElapsed() / 1e6;
            waiting = false;
        }
    });
    tick.start(3);
    auto *rng = QRandomGenerator::global();
    for (int i = 0; i < kPasses; ++i) {
        pause(int(rng->bounded(2, 6)));
        waiting = true;
        sent.start();
        w.gate.sim->pass(100 + i % 16);
        waitUntil([&] { return !waiting; }, nullptr, 1000);
    }
    printLatencies("pass written -> gettrans (3 ms tick)", ms);
}

// The same through the race engine, up to the lap row written.
void lapLatency(World &w)
{
    w.addRacePilots(16, 100);
    w.settings.set(QStringLiteral("edantidoubleread"), QStringLiteral("0"));
    RaceEngine &engine = w.makeEngine(w.devices.get());
    w.devices->setRaceRunningProbe([&engine] { return engine.isRunning(); });
    QObject::connect(&engine, &RaceEngine::raceListSortRequested, w.devices.get(),
                     &TimingDevices::setRaceListOrderBy);
    w.startRace();
    pause(20);
    QList<double> ms;
    QElapsedTimer sent;
    bool waiting = false;
    QObject::connect(&engine, &RaceEngine::pilotLapsChanged, [&] {
        if (waiting) {
            ms << sent.nsecsElapsed() / 1e6;
            waiting = false;
        }
    });
    auto *rng = QRandomGenerator::global();
    for (int i = 0; i < kPasses; ++i) {
        pause(int(rng->bounded(2, 6)));
        waiting = true;
        sent.start();
        w.gate.sim->pass(100 + i % 16);
        waitUntil([&] { return !waiting; }, nullptr, 1000);
    }
    printLatencies("pass written -> lap row committed", ms);

    // A burst: a gate that buffered passes during a cable fault sends them
    // all at once. 100 records written back to back, before the program
    // reads any; times from the first byte written to each lap committed.
    constexpr int kBurst = 100;
    constexpr int kBursts = 20;
    QList<double> first, last;
    for (int b = 0; b < kBursts; ++b) {
        pause(50);
        int committed = 0;
        QList<double> at;
        auto counting = QObject::connect(&engine, &RaceEngine::pilotLapsChanged, [&] {
            ++committed;
            at << sent.nsecsElapsed() / 1e6;
        });
        waiting = false;
        sent.start();
        for (int i = 0; i < kBurst; ++i)
            w.gate.sim->pass(100 + i % 16);
        waitUntil([&] { return committed >= kBurst; }, nullptr, 5000);
        QObject::disconnect(counting);
        if (at.size() >= kBurst) {
            first << at.first();
            last << at.at(kBurst - 1);
        }
    }
    printLatencies("burst of 100: first byte -> first lap", first);
    printLatencies("burst of 100: first byte -> last lap", last);

    // The same burst as a serial line delivers it: the records at 115200
    // baud (8N1, 11520 bytes a second), written at the line's pace from
    // another thread while the program reads; from the first byte to the
    // last lap committed.
    constexpr double kBytesPerSecond = 11520.0;
    QList<double> wireLast;
    double wireMs = 0;
    for (int b = 0; b < kBursts; ++b) {
        pause(50);
        QByteArray bytes;
        w.gate.sim->setSink([&bytes](const QByteArray &record) { bytes += record; });
        for (int i = 0; i < kBurst; ++i)
            w.gate.sim->pass(100 + i % 16);
        w.gate.sim->setSink([&w](const QByteArray &record) { w.gate.pty.write(record); });
        wireMs = bytes.size() * 1000.0 / kBytesPerSecond;
        int committed = 0;
        double lastAt = 0;
        auto counting = QObject::connect(&engine, &RaceEngine::pilotLapsChanged, [&] {
            ++committed;
            lastAt = sent.nsecsElapsed() / 1e6;
        });
        sent.start();
        std::thread line([&w, &bytes] {
            QElapsedTimer t;
            t.start();
            qsizetype done = 0;
            while (done < bytes.size()) {
                const qsizetype due =
                    std::min<qsizetype>(bytes.size(), qsizetype(t.nsecsElapsed() / 1e9 * kBytesPerSecond) + 1);
                if (due > done) {
                    w.gate.pty.write(bytes.mid(done, due - done));
                    done = due;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        });
        waitUntil([&] { return committed >= kBurst; }, nullptr, 5000);
        line.join();
        QObject::disconnect(counting);
        if (committed >= kBurst)
            wireLast << lastAt;
    }
    printf("%-44s %.1f ms on the wire\n", "burst of 100 at 115200 baud", wireMs);
    printLatencies("burst at 115200: first byte -> last lap", wireLast);

    engine.stopTick();
    QSqlQuery q(w.db.db());
    q.exec(QStringLiteral("SELECT COUNT(*) FROM laps"));
    q.next();
    printf("%-44s %d of %d\n", "laps recorded", q.value(0).toInt(), kPasses + 2 * kBurst * kBursts);
}

// Three open, silent receivers polled every 3 ms for ten seconds; without
// poll, the cost of the 3 ms timer alone, for comparison.
void idleCost(World &w, bool poll)
{
    QTimer tick;
    int polls = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (poll)
            w.devices->gettrans();
        ++polls;
    });
    tick.start(3);
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(10000, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    const double cpu = cpuSeconds() - cpu0;
    const double seconds = wall.elapsed() / 1000.0;
    printf("%-44s %d ticks in %.1f s, %.2f %% of one core\n",
           poll ? "idle poll of three open receivers" : "the 3 ms timer alone", polls, seconds,
           100.0 * cpu / seconds);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    World w;
    pollLatency(w);
    lapLatency(w);
    {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 100000; ++i)
            w.devices->gettrans();
        printf("%-44s %.2f us per call\n", "one idle gettrans", t.nsecsElapsed() / 1e3 / 100000);
    }
    idleCost(w, false);
    idleCost(w, true);
    return 0;
}
