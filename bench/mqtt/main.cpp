// MQTT publisher benchmark: a counted lap -> its message at a subscriber of a
// local Mosquitto on 127.0.0.1, at 20 passes/s over 8 pilots; then the same
// with 1,000 more subscribers (another process) on the broker, with the CPU
// time of this program and of the broker in each run.
#include "bench/common/benchstats.h"
#include "bench/common/benchworld.h"
#include "core/currentselection.h"
#include "publish/livefeed.h"
#include "publish/liveserver.h"
#include "publish/mqttpublisher.h"
#include "tests/common/loopback.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QProcess>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <mosquitto.h>

#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

using namespace lapvane;
using lapvane::bench::nowNs;
using lapvane::bench::printLatencies;

namespace {

void raiseFileLimit()
{
    rlimit r{};
    if (getrlimit(RLIMIT_NOFILE, &r) == 0) {
        r.rlim_cur = r.rlim_max;
        setrlimit(RLIMIT_NOFILE, &r);
    }
}

// CPU seconds (user + system) of a process, from /proc.
double cpuSecondsOf(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    // Fields 14 and 15 of the line; the list starts at field 3.
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

double ownCpuSeconds()
{
    return double(bench::processCpuNs()) / 1e9;
}

// Many subscribers in one process on one thread: the broker's fan-out load.
int subscribersMain(quint16 port, int count)
{
    raiseFileLimit();
    mosquitto_lib_init();
    std::vector<mosquitto *> clients;
    for (int i = 0; i < count; ++i) {
        mosquitto *m = mosquitto_new(nullptr, true, nullptr);
        mosquitto_connect_callback_set(m, [](mosquitto *mosq, void *, int rc) {
            if (rc == 0)
                mosquitto_subscribe(mosq, nullptr, "lapvane/#", 1);
        });
        if (mosquitto_connect(m, "127.0.0.1", port, 60) != MOSQ_ERR_SUCCESS) {
            fprintf(stderr, "subscriber %d could not connect\n", i);
            return 1;
        }
        clients.push_back(m);
    }
    printf("ready\n");
    fflush(stdout);
    std::vector<pollfd> fds(clients.size());
    QElapsedTimer misc;
    misc.start();
    for (;;) {
        for (size_t i = 0; i < clients.size(); ++i) {
            fds[i].fd = mosquitto_socket(clients[i]);
            fds[i].events = short(POLLIN | (mosquitto_want_write(clients[i]) ? POLLOUT : 0));
            fds[i].revents = 0;
        }
        poll(fds.data(), fds.size(), 100);
        for (size_t i = 0; i < clients.size(); ++i) {
            if (fds[i].revents & POLLIN)
                mosquitto_loop_read(clients[i], 1);
            if (fds[i].revents & POLLOUT)
                mosquitto_loop_write(clients[i], 1);
        }
        if (misc.elapsed() > 1000) {
            for (mosquitto *m : clients)
                mosquitto_loop_misc(m);
            misc.restart();
        }
    }
}

class Selection : public CurrentSelection
{
public:
    int currentEventNum() const override { return 1; }
    QString currentEventName() const override { return QStringLiteral("Bench Cup"); }
    int currentStageId() const override { return 1; }
    QString currentStageName() const override { return QStringLiteral("Final"); }
    QList<int> selectedStageIds() const override { return {1}; }
};

// Notes when each lap message arrives (its own thread).
class LapSubscriber
{
public:
    explicit LapSubscriber(quint16 port)
    {
        m_mosq = mosquitto_new("bench-latency", true, this);
        mosquitto_connect_callback_set(m_mosq, [](mosquitto *m, void *, int rc) {
            if (rc == 0)
                mosquitto_subscribe(m, nullptr, "lapvane/+/lap", 1);
        });
        mosquitto_message_callback_set(m_mosq, [](mosquitto *, void *self, const mosquitto_message *msg) {
            const qint64 at = nowNs();
            const QJsonObject o =
                QJsonDocument::fromJson(QByteArray(static_cast<const char *>(msg->payload), msg->payloadlen))
                    .object();
            const int key =
                o.value(QStringLiteral("pilotid")).toInt() * 100000 + o.value(QStringLiteral("lapn")).toInt();
            auto *s = static_cast<LapSubscriber *>(self);
            QMutexLocker lock(&s->m_mutex);
            if (!s->m_arrived.contains(key))
                s->m_arrived.insert(key, at);
        });
        mosquitto_connect(m_mosq, "127.0.0.1", port, 60);
        mosquitto_loop_start(m_mosq);
    }
    ~LapSubscriber()
    {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, false);
        mosquitto_destroy(m_mosq);
    }
    QHash<int, qint64> arrived()
    {
        QMutexLocker lock(&m_mutex);
        return m_arrived;
    }

private:
    mosquitto *m_mosq;
    QMutex m_mutex;
    QHash<int, qint64> m_arrived;
};

// 8 pilots in the race list, the feed the pages would follow and the publisher.
struct Race : bench::BenchWorld
{
    Selection selection;
    LiveServer server; // not started: the feed works for the publisher alone
    std::unique_ptr<LiveFeed> feed;
    std::unique_ptr<MqttPublisher> publisher;
    QHash<int, int> laps;
    QHash<int, qint64> passedAt;
    qint64 raceMs = 0;

    // One counted lap, stored and announced as the pass loop does it.
    void pass(int pilotId)
    {
        const int lapn = ++laps[pilotId];
        raceMs += 50;
        QSqlQuery q(db.db());
        q.prepare(
            QStringLiteral("INSERT INTO laps (pilotid, lapn, laptime, laptimetxt) VALUES (?, ?, ?, '')"));
        q.addBindValue(pilotId);
        q.addBindValue(lapn);
        q.addBindValue(raceMs);
        q.exec();
        const qint64 lapRowId = q.lastInsertId().toLongLong();
        q.prepare(QStringLiteral("UPDATE onerace SET lapno=? WHERE pilotid=?"));
        q.addBindValue(lapn);
        q.addBindValue(pilotId);
        q.exec();
        passedAt.insert(pilotId * 100000 + lapn, nowNs());
        CountedLap lap;
        lap.lapRowId = lapRowId;
        lap.pilotId = pilotId;
        lap.lapn = lapn;
        lap.raceMs = raceMs;
        lap.lapMs = 30000;
        feed->lapCounted(lap);
        publisher->lapCounted(lap);
    }
};

void runPasses(Race &race, int passes, int perSecond)
{
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(1000 / perSecond);
    int done = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        race.pass(done % 8 + 1);
        if (++done == passes) {
            timer.stop();
            loop.quit();
        }
    });
    timer.start();
    loop.exec();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

QList<double> latencies(Race &race, LapSubscriber &sub, const QList<int> &keys)
{
    const QHash<int, qint64> arrived = sub.arrived();
    QList<double> ms;
    for (int key : keys) {
        if (arrived.contains(key))
            ms << double(arrived.value(key) - race.passedAt.value(key)) / 1e6;
    }
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "--subscribers") == 0)
        return subscribersMain(quint16(atoi(argv[2])), atoi(argv[3]));
    QCoreApplication app(argc, argv);
    raiseFileLimit();
    mosquitto_lib_init();
    const int passes = argc > 1 ? atoi(argv[1]) : 400;
    const int subscribers = argc > 2 ? atoi(argv[2]) : 1000;

    QTemporaryDir dir;
    const quint16 port = test::freeLoopbackPort();
    const QString config = QDir(dir.path()).filePath(QStringLiteral("mosquitto.conf"));
    {
        QFile f(config);
        f.open(QIODevice::WriteOnly);
        f.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\n"
                               "max_queued_messages 100000\nlog_dest none\n")
                    .arg(port)
                    .toUtf8());
    }
    QString program = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {QStringLiteral("/usr/sbin")});
    QProcess broker;
    broker.start(program, {QStringLiteral("-c"), config});
    if (!broker.waitForStarted()) {
        fprintf(stderr, "mosquitto could not be started\n");
        return 1;
    }
    for (int i = 0; i < 100; ++i) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(100))
            break;
        QThread::msleep(50);
    }

    Race race;
    race.addRacePilots(8, 1);
    race.feed =
        std::make_unique<LiveFeed>(race.db.db(), race.settings, *race.log, &race.selection, race.server);
    race.feed->setStatusProvider([] { return RaceStatus{true, 0, false}; });
    race.publisher = std::make_unique<MqttPublisher>(race.db.db(), race.settings, *race.log, &race.selection,
                                                     race.feed.get());
    race.settings.set(QLatin1String(MqttPublisher::kUrl), QStringLiteral("mqtt://127.0.0.1:%1").arg(port));
    race.settings.set(QLatin1String(MqttPublisher::kEnabled), true);
    race.publisher->apply();
    QElapsedTimer wait;
    wait.start();
    while (!race.publisher->isConnected() && wait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!race.publisher->isConnected()) {
        fprintf(stderr, "the publisher did not connect: %s\n", qPrintable(race.publisher->statusText()));
        return 1;
    }
    LapSubscriber sub(port);
    QThread::msleep(300);

    auto phase = [&](const char *title) {
        QList<int> keys;
        const QHash<int, qint64> before = race.passedAt;
        const double ownStart = ownCpuSeconds();
        const double brokerStart = cpuSecondsOf(broker.processId());
        QElapsedTimer wall;
        wall.start();
        runPasses(race, passes, 20);
        const double seconds = double(wall.elapsed()) / 1000.0;
        const double own = ownCpuSeconds() - ownStart;
        const double brk = cpuSecondsOf(broker.processId()) - brokerStart;
        for (auto it = race.passedAt.cbegin(); it != race.passedAt.cend(); ++it) {
            if (!before.contains(it.key()))
                keys << it.key();
        }
        printf("%s\n", title);
        printLatencies("  counted lap -> subscriber (20 passes/s)", latencies(race, sub, keys));
        printf("  CPU over %.1f s: this program %.2f s (%.1f%%), broker %.2f s (%.1f%%); outbox left %d\n",
               seconds, own, 100.0 * own / seconds, brk, 100.0 * brk / seconds,
               race.publisher->waitingCount());
    };
    phase("One subscriber:");

    QProcess many;
    many.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    many.start(QCoreApplication::applicationFilePath(),
               {QStringLiteral("--subscribers"), QString::number(port), QString::number(subscribers)});
    if (!many.waitForReadyRead(120000) || !many.readAll().contains("ready")) {
        fprintf(stderr, "the subscribers did not come up\n");
        return 1;
    }
    QThread::msleep(1000);
    phase(qPrintable(QStringLiteral("With %1 more subscribers on the broker:").arg(subscribers)));
    many.kill();
    many.waitForFinished();
    race.publisher->stop();
    broker.terminate();
    broker.waitForFinished();
    return 0;
}
