// Device latency benchmark: pass record on a pseudo-terminal -> gettrans ->
// lap row, and the idle cost of the 3 ms poll over three open receivers.
#include "bench/benchstandins.h"
#include "core/clock.h"
#include "core/cues.h"
#include "core/operatorlog.h"
#include "core/operatorprompt.h"
#include "core/settings.h"
#include "core/wait.h"
#include "devices/serialportline.h"
#include "devices/timingdevices.h"
#include "race/raceengine.h"
#include "store/database.h"
#include "tools/receiversim/ptylink.h"
#include "tools/receiversim/receiversim.h"
#include "tools/receiversim/simonpty.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <thread>

using namespace lapvane;
using namespace lapvane::sim;

namespace {

constexpr int kPasses = 1000;

using QuietPrompt = bench::YesPrompt;

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void report(const char *what, QList<double> ms)
{
    std::sort(ms.begin(), ms.end());
    auto at = [&ms](double q) { return ms.at(qMin(ms.size() - 1, int(q * ms.size()))); };
    printf("%-44s n=%lld  p50 %.3f ms  p99 %.3f ms  max %.3f ms\n", what, qlonglong(ms.size()), at(0.50),
           at(0.99), ms.last());
}

struct World
{
    World()
    {
        log = std::make_unique<OperatorLog>(settings, dir.path());
        settings.set(QStringLiteral("chsavelogfile"), false);
        if (!db.open(dir.filePath(QStringLiteral("dbpilots.db"))))
            qFatal("database: %s", qPrintable(db.error()));
        TimingDevices::Lines l;
        l.lapvane = std::make_unique<SerialPortLine>();
        l.vs = std::make_unique<SerialPortLine>();
        l.chorus = std::make_unique<SerialPortLine>();
        devices = std::make_unique<TimingDevices>(DeviceEnv{settings, *log, stop}, db.db(), cues, &prompt,
                                                  std::move(l));
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
        devices.reset();
        db.close();
    }

    QTemporaryDir dir;
    Settings settings;
    std::unique_ptr<OperatorLog> log;
    StopFlag stop;
    Database db;
    QuietPrompt prompt;
    SilentCuePlayer cues;
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
    report("pass written -> gettrans (3 ms tick)", ms);
}

// The same through the race engine, up to the lap row written.
void lapLatency(World &w)
{
    QSqlQuery q(w.db.db());
    q.exec(QStringLiteral("DELETE FROM onerace"));
    for (int i = 0; i < 16; ++i) {
        q.prepare(QStringLiteral(
            "INSERT INTO onerace (pilotid,pilotname,pilottrans,vtx,confirmed,lapno,place,"
            "besttime,besttimetxt,totaltime,totaltimetxt) VALUES (?,?,?,?,'Y',0,999,0,'-',0,'-')"));
        q.addBindValue(i + 1);
        q.addBindValue(QStringLiteral("Pilot %1").arg(i + 1));
        q.addBindValue(100 + i);
        q.addBindValue(QStringLiteral("R%1").arg(i % 8 + 1));
        q.exec();
    }
    w.settings.set(QStringLiteral("edtlaps"), QStringLiteral("0"));
    w.settings.set(QStringLiteral("edantidoubleread"), QStringLiteral("0"));
    SystemClock clock;
    RaceEngine engine(
        RaceServices{w.db.db(), w.settings, *w.log, w.prompt, *w.devices, w.cues, clock, w.stop, nullptr});
    w.devices->setRaceRunningProbe([&engine] { return engine.isRunning(); });
    QObject::connect(&engine, &RaceEngine::raceListSortRequested, w.devices.get(),
                     &TimingDevices::setRaceListOrderBy);
    if (!engine.racestartraceExecute())
        qFatal("race did not start");
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
    report("pass written -> lap row committed", ms);

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
    report("burst of 100: first byte -> first lap", first);
    report("burst of 100: first byte -> last lap", last);

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
    report("burst at 115200: first byte -> last lap", wireLast);

    engine.stopTick();
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
