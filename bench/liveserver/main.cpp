// Web server benchmark: pass on the gate's line -> lap message at a feed
// client, at 20 passes/s; then the tick and the lap delay of the pass loop
// with 200 feed clients and 50 requests/s to /api/race.
#include "bench/common/benchstats.h"
#include "bench/common/benchworld.h"
#include "devices/timingdevices.h"
#include "publish/livefeed.h"
#include "publish/liveserver.h"
#include "tools/receiversim/receiversim.h"
#include "tools/receiversim/simonpty.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <memory>

using namespace lapvane;
using namespace lapvane::sim;
using lapvane::bench::nowNs;

namespace {

void report(const char *what, const QList<double> &ms)
{
    bench::printLatencies(what, ms, 52);
}

// The clients, in a thread of their own: feed subscribers (the first one
// notes when each lap message arrives) and a poller of /api/race.
class Clients : public QObject
{
public:
    Clients(quint16 port, int subscribers, int racePerSecond)
        : m_port(port), m_subscribers(subscribers), m_racePerSecond(racePerSecond)
    {
    }
    std::atomic<qint64> lapMessages{0};
    std::atomic<qint64> lastLapNs{0};
    std::atomic<int> connected{0};
    std::atomic<qint64> raceAnswers{0};

    void begin()
    {
        for (int i = 0; i < m_subscribers; ++i) {
            auto *s = new QTcpSocket(this);
            const bool measured = i == 0;
            connect(s, &QTcpSocket::connected, this, [this, s] {
                s->write("GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
                ++connected;
            });
            connect(s, &QTcpSocket::readyRead, this, [this, s, measured] {
                const QByteArray data = s->readAll();
                if (measured) {
                    const qint64 t = nowNs();
                    m_buffer += data;
                    int laps = 0;
                    int end;
                    while ((end = m_buffer.indexOf("\n\n")) >= 0) {
                        if (m_buffer.left(end).contains("\"type\":\"lap\""))
                            ++laps;
                        m_buffer.remove(0, end + 2);
                    }
                    if (laps > 0) {
                        lastLapNs = t;
                        lapMessages += laps;
                    }
                }
            });
            s->connectToHost(QHostAddress(QHostAddress::LocalHost), m_port);
        }
        if (m_racePerSecond > 0) {
            auto *timer = new QTimer(this);
            timer->setTimerType(Qt::PreciseTimer);
            connect(timer, &QTimer::timeout, this, &Clients::askRace);
            timer->start(1000 / m_racePerSecond);
        }
    }

private:
    void askRace()
    {
        // A new connection per request, as a phone's browser often does.
        auto *s = new QTcpSocket(this);
        connect(s, &QTcpSocket::connected, s,
                [s] { s->write("GET /api/race HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"); });
        connect(s, &QTcpSocket::readyRead, s, [s] { s->readAll(); });
        connect(s, &QTcpSocket::disconnected, this, [this, s] {
            ++raceAnswers;
            s->deleteLater();
        });
        s->connectToHost(QHostAddress(QHostAddress::LocalHost), m_port);
    }

    quint16 m_port;
    QByteArray m_buffer; // of the measured subscriber
    int m_subscribers;
    int m_racePerSecond;
};

// The gate on the simulator's line, 16 pilots in the race list, the engine
// and the web server with its feed, wired as the window wires them.
struct World : bench::BenchWorld
{
    World()
    {
        devices = makeDevices();
        settings.set(QStringLiteral("comselect"), gate.pty.slavePath());
        devices->comconnectExecute();
        if (!devices->lapvaneConnected())
            qFatal("the gate did not connect");
        addRacePilots(16, 100);
        settings.set(QStringLiteral("edantidoubleread"), QStringLiteral("0"));
        makeEngine(devices.get());
        devices->setRaceRunningProbe([this] { return engine->isRunning(); });
        QObject::connect(engine.get(), &RaceEngine::raceListSortRequested, devices.get(),
                         &TimingDevices::setRaceListOrderBy);
        feed = std::make_unique<LiveFeed>(db.db(), settings, *log, nullptr, server);
        feed->setStatusProvider([this] {
            return RaceStatus{engine->isRunning(), engine->raceClock().elapsedMs(), false};
        });
        // As the window wires them.
        QObject::connect(engine.get(), &RaceEngine::lapCounted, feed.get(), &LiveFeed::lapCounted);
        QObject::connect(engine.get(), &RaceEngine::raceListChanged, feed.get(), &LiveFeed::raceListChanged);
        QObject::connect(engine.get(), &RaceEngine::raceFinished, feed.get(), &LiveFeed::raceFinished);
        LiveServer::Options o;
        o.port = 0;
        // Every client here comes from 127.0.0.1; on a track each phone has its own address.
        o.maxConnectionsPerAddress = o.maxConnections;
        o.htmlsFolder = dir.filePath(QStringLiteral("htmls"));
        QString error;
        if (!server.start(o, &error))
            qFatal("server: %s", qPrintable(error));
        feed->refreshAll();
    }
    ~World()
    {
        engine.reset();
        feed.reset();
        server.stop();
        devices.reset();
    }

    SimOnPty gate{std::make_unique<GateSim>()};
    std::unique_ptr<TimingDevices> devices;
    LiveServer server;
    std::unique_ptr<LiveFeed> feed;
};

// Passes at 20 per second for passes/20 seconds, the tick driven here so that
// each tick can be timed.
void run(World &w, int passes, int subscribers, int racePerSecond, const char *title)
{
    QThread thread;
    Clients clients(w.server.port(), subscribers, racePerSecond);
    clients.moveToThread(&thread);
    thread.start();
    QMetaObject::invokeMethod(&clients, [&clients] { clients.begin(); }, Qt::BlockingQueuedConnection);
    waitUntil([&] { return clients.connected.load() == subscribers && w.server.counters().subscribers == subscribers; },
              nullptr, 20000);
    printf("\n%s: %d feed clients connected, %d requests/s to /api/race\n", title, clients.connected.load(),
           racePerSecond);

    w.engine->setTimerDriven(false);
    if (!w.engine->isRunning())
        w.startRace();
    pause(100);
    QList<double> tickMs, lapMs, feedMs;
    qint64 sentNs = 0;
    bool lapWaiting = false;
    QObject::connect(w.engine.get(), &RaceEngine::pilotLapsChanged, [&] {
        if (lapWaiting) {
            lapMs << (nowNs() - sentNs) / 1e6;
            lapWaiting = false;
        }
    });
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 t0 = nowNs();
        w.engine->tmrraceTimer();
        tickMs << (nowNs() - t0) / 1e6;
    });
    tick.start(3);
    const qint64 answers0 = clients.raceAnswers;
    QElapsedTimer wall;
    wall.start();
    for (int i = 0; i < passes; ++i) {
        // 20 passes a second.
        waitUntil([&] { return wall.elapsed() >= 50LL * i; }, nullptr, 1000);
        const qint64 before = clients.lapMessages;
        lapWaiting = true;
        sentNs = nowNs();
        w.gate.sim->pass(100 + i % 16);
        if (waitUntil([&] { return clients.lapMessages > before; }, nullptr, 2000) == WaitResult::Done)
            feedMs << (clients.lastLapNs - sentNs) / 1e6;
    }
    tick.stop();
    const double seconds = wall.elapsed() / 1000.0;
    report("pass on the line -> lap message at a feed client", feedMs);
    report("pass on the line -> lap row committed", lapMs);
    report("pass loop tick (all ticks)", tickMs);
    printf("%-52s %.1f per second, %lld messages sent, %lld dropped\n", "/api/race answered",
           (clients.raceAnswers - answers0) / seconds, qlonglong(w.server.counters().messagesSent.load()),
           qlonglong(w.server.counters().dropped.load()));
    // The clients' sockets and timer go in their own thread.
    QMetaObject::invokeMethod(&clients, [&clients] { qDeleteAll(clients.children()); }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int passes = argc > 1 ? atoi(argv[1]) : 400;
    World w;
    {
        // What one round of the feed costs the main thread: the race read
        // from the store, its JSON, and the hand-over to the server thread.
        QList<double> ms;
        for (int i = 0; i < 500; ++i) {
            const qint64 t0 = nowNs();
            w.feed->refreshAll();
            ms << (nowNs() - t0) / 1e6;
        }
        report("one feed round on the main thread (16 pilots)", ms);
    }
    run(w, passes, 1, 0, "One feed client");
    run(w, passes, 200, 50, "Under load");
    return 0;
}
