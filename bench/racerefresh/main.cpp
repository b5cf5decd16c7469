// The window's cost per pass and its delay in showing passes, in the real
// window (1920x1080, 16 pilots, race page shown, log file on):
//  0. the race running without passes: what the tick and the clock cost;
//  1. 100 passes/s for 30 s: main-thread processor time as a share of one
//     core, and pass -> lap committed (the engine's word right after the
//     commit) p50/p99;
//  2. a burst of 100 queued passes: from the last commit until the race list
//     and the log pane have repainted with all of it;
//  3. 20 passes/s: pass -> the pilot's race-list row repainted with the new
//     lap count, p50/p99.
// Passes come from a thread with the time they arrived, like a receiver's
// buffer; the pass loop takes them in its own 3 ms tick as in a race.
#include "app/racemodels.h"
#include "app/racepage.h"
#include "bench/common/benchstats.h"
#include "bench/common/benchwindow.h"
#include "core/operatorlog.h"
#include "race/raceengine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMutex>
#include <QPlainTextEdit>
#include <QSqlQuery>
#include <QTableView>
#include <QTextBlock>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <deque>

using namespace lapvane;
using lapvane::bench::percentile;
using lapvane::bench::threadCpuNs;

namespace {

constexpr int kPilots = 16;

struct Queued
{
    Pass pass;
    qint64 arrivedNs;
};

// Passes arrive from another thread; the pass loop takes one per poll.
class ThreadedReceivers : public bench::QueueReceivers
{
public:
    QElapsedTimer clock;
    QMutex mutex;
    std::deque<Queued> waiting;
    std::deque<qint64> taken; // arrival times of passes taken, not yet logged

    void arrive(const Pass &p)
    {
        QMutexLocker lock(&mutex);
        waiting.push_back({p, clock.nsecsElapsed()});
    }
    Pass gettrans() override
    {
        QMutexLocker lock(&mutex);
        if (waiting.empty())
            return Pass{};
        const Queued q = waiting.front();
        waiting.pop_front();
        taken.push_back(q.arrivedNs);
        return q.pass;
    }
};

// Notes when a viewport starts a repaint and calls back.
class PaintWatch : public QObject
{
public:
    std::function<void()> onPaint;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint && onPaint)
            onPaint();
        return false;
    }
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int steadySeconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 30;
    ThreadedReceivers receivers;
    receivers.clock.start();
    bench::BenchWindow w(receivers, kPilots, true);
    MainWindow &window = *w.window;
    ProgramServices &services = *w.services;
    ProgramContext &ctx = w.ctx;
    window.resize(1920, 1080);
    window.show();
    RacePage *page = window.racePage();
    QTableView *grid = page->raceList();
    RaceListModel *model = page->raceListModel();
    grid->setCurrentIndex(model->index(0, model->fieldIndex(QStringLiteral("pilotname"))));

    if (!services.race->racestartraceExecute())
        return 2;

    // Pass -> lap committed: the engine says whose laps changed right after
    // the commit, in the same tick. (The log's "ID:" line cannot serve: the
    // log sums up floods of one kind of line.)
    QList<double> commitMs;
    qint64 lastCommitNs = 0;
    int committed = 0;
    QString lastLogLine;
    qint64 lastLogLineNs = 0;
    QObject::connect(&ctx.log, &OperatorLog::lineAdded, [&](const QString &line) {
        lastLogLine = line;
        lastLogLineNs = receivers.clock.nsecsElapsed();
    });
    QObject::connect(services.race.get(), &RaceEngine::pilotLapsChanged, [&] {
        const qint64 now = receivers.clock.nsecsElapsed();
        QMutexLocker lock(&receivers.mutex);
        if (receivers.taken.empty())
            return;
        commitMs << (now - receivers.taken.front()) / 1e6;
        receivers.taken.pop_front();
        lastCommitNs = now;
        ++committed;
    });

    // The thread that plays the receivers: pass n of pilot (n % 16) + 1,
    // race times far enough apart for the anti-double-read interval.
    std::atomic<int> sent{0};
    int lapsOf[kPilots + 1] = {};
    auto makePass = [&](int n) {
        return Pass{PassSource::LapvaneGate, 100 + n % kPilots + 1, 2000 + 1200 * n};
    };
    auto feed = [&](int count, int intervalUs) {
        QThread *t = QThread::create([&, count, intervalUs] {
            QElapsedTimer since;
            since.start();
            for (int i = 0; i < count; ++i) {
                const qint64 due = qint64(i) * intervalUs * 1000;
                while (since.nsecsElapsed() < due)
                    QThread::usleep(std::max<qint64>(50, (due - since.nsecsElapsed()) / 1000 - 200));
                receivers.arrive(makePass(sent.fetch_add(1)));
            }
        });
        t->start();
        return t;
    };
    auto waitFor = [&](const std::function<bool()> &done, int timeoutMs) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    };
    auto settle = [&](int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    };
    settle(500);

    // 0. The race running without passes: the tick and the race clock alone.
    {
        const qint64 cpu0 = threadCpuNs();
        QElapsedTimer wall;
        wall.start();
        settle(5000);
        std::printf("0. race running, no passes, 5 s: main thread CPU %.1f %% of a core\n",
                    100.0 * (threadCpuNs() - cpu0) / wall.nsecsElapsed());
        std::fflush(stdout);
    }

    // 1. Steady 100 passes/s.
    commitMs.clear();
    const int steadyCount = 100 * steadySeconds;
    const int firstSteady = sent;
    const qint64 cpu0 = threadCpuNs();
    QElapsedTimer wall;
    wall.start();
    QThread *steady = feed(steadyCount, 10000);
    waitFor([&] { return steady->isFinished() && committed >= firstSteady + steadyCount; }, steadySeconds * 1000 + 10000);
    const double wallMs = wall.nsecsElapsed() / 1e6;
    const double cpuMs = (threadCpuNs() - cpu0) / 1e6;
    steady->wait();
    delete steady;
    const QList<double> steadyCommit = commitMs;
    std::printf("1. %d passes at 100/s: %d laps in %.1f s; main thread CPU %.1f %% of a core; "
                "pass -> lap committed p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                steadyCount, int(steadyCommit.size()), wallMs / 1000, 100.0 * cpuMs / wallMs,
                percentile(steadyCommit, 0.5), percentile(steadyCommit, 0.99), percentile(steadyCommit, 1.0));
    std::fflush(stdout);
    for (int n = 0; n < sent; ++n)
        ++lapsOf[n % kPilots + 1];
    settle(1000);

    // The race list shows the latest counts: the lap count of each pilot's row.
    auto shownLaps = [&](int pilot) {
        const int pilotCol = model->fieldIndex(QStringLiteral("pilotid"));
        const int lapCol = model->fieldIndex(QStringLiteral("lapno"));
        for (int r = 0; r < model->rowCount(); ++r) {
            if (model->index(r, pilotCol).data().toInt() == pilot)
                return model->index(r, lapCol).data().toInt();
        }
        return -1;
    };
    auto allShown = [&] {
        for (int p = 1; p <= kPilots; ++p) {
            if (shownLaps(p) != lapsOf[p])
                return false;
        }
        return true;
    };

    // 2. A burst of 100 queued passes.
    PaintWatch listPaint, logPaint;
    grid->viewport()->installEventFilter(&listPaint);
    page->logPane()->viewport()->installEventFilter(&logPaint);
    qint64 listShownNs = 0, logShownNs = 0;
    const int burstFirst = sent;
    const int burstCount = 100;
    for (int n = burstFirst; n < burstFirst + burstCount; ++n)
        ++lapsOf[n % kPilots + 1];
    listPaint.onPaint = [&] {
        if (!listShownNs && committed >= burstFirst + burstCount && allShown())
            listShownNs = receivers.clock.nsecsElapsed();
    };
    // The log pane is shown when it ends with the last line logged.
    logPaint.onPaint = [&] {
        if (logShownNs < lastLogLineNs && page->logPane()->document()->lastBlock().text() == lastLogLine)
            logShownNs = receivers.clock.nsecsElapsed(); // the first paint showing the latest line
    };
    {
        QMutexLocker lock(&receivers.mutex);
        for (int i = 0; i < burstCount; ++i)
            receivers.waiting.push_back({makePass(sent.fetch_add(1)), receivers.clock.nsecsElapsed()});
    }
    const qint64 burstStartNs = receivers.clock.nsecsElapsed();
    waitFor([&] { return listShownNs && committed >= burstFirst + burstCount; }, 10000);
    settle(200); // the pane's last lines, if any came
    const bool burstLogged = lastLogLineNs > burstStartNs;
    std::printf("2. burst of %d queued passes: all committed %.1f ms after they queued; race list shown %.1f ms after "
                "the last commit; log pane shown %.1f ms after its last line%s\n",
                burstCount, (lastCommitNs - burstStartNs) / 1e6, (listShownNs - lastCommitNs) / 1e6,
                burstLogged && logShownNs >= lastLogLineNs ? (logShownNs - lastLogLineNs) / 1e6 : 0.0,
                burstLogged ? "" : " (no line logged: the log summed the flood up)");
    std::fflush(stdout);
    listPaint.onPaint = nullptr;
    logPaint.onPaint = nullptr;
    settle(1000);

    // 3. 20 and 100 passes/s: pass -> its row repainted with the new count,
    // and the main thread's processor time while it runs.
    struct Pending
    {
        int pilot;
        int laps;
        qint64 arrivedNs;
    };
    for (const int rate : {20, 100}) {
        std::deque<Pending> pending;
        QList<double> rowMs;
        const int count = rate * 20;
        const int first = sent;
        int expected[kPilots + 1];
        std::copy(std::begin(lapsOf), std::end(lapsOf), std::begin(expected));
        // The arrival time of each pass is known once the loop has taken it.
        const auto counting = QObject::connect(services.race.get(), &RaceEngine::pilotLapsChanged, [&](int pilot) {
            if (committed <= first)
                return;
            pending.push_back({pilot, ++expected[pilot], lastCommitNs - qint64(commitMs.last() * 1e6)});
        });
        listPaint.onPaint = [&] {
            const qint64 now = receivers.clock.nsecsElapsed();
            while (!pending.empty() && shownLaps(pending.front().pilot) >= pending.front().laps) {
                rowMs << (now - pending.front().arrivedNs) / 1e6;
                pending.pop_front();
            }
        };
        const qint64 rateCpu0 = threadCpuNs();
        QElapsedTimer rateWall;
        rateWall.start();
        QThread *paced = feed(count, 1000000 / rate);
        waitFor([&] { return paced->isFinished() && rowMs.size() >= count; }, 40000);
        const double cpuShare = 100.0 * (threadCpuNs() - rateCpu0) / rateWall.nsecsElapsed();
        paced->wait();
        delete paced;
        QObject::disconnect(counting);
        listPaint.onPaint = nullptr;
        for (int n = first; n < sent; ++n)
            ++lapsOf[n % kPilots + 1];
        std::printf("3. %d passes at %d/s: pass -> race-list row repainted p50 %.2f ms, p99 %.2f ms, max %.2f ms "
                    "(%d of %d seen); main thread CPU %.1f %% of a core\n",
                    count, rate, percentile(rowMs, 0.5), percentile(rowMs, 0.99), percentile(rowMs, 1.0),
                    int(rowMs.size()), count, cpuShare);
        std::fflush(stdout);
        settle(1000);
    }

    services.race->racestopraceExecute();
    QSqlQuery laps(ctx.db.db());
    laps.exec(QStringLiteral("SELECT count(*) FROM laps"));
    laps.next();
    std::printf("passes sent %d, laps recorded %d\n", int(sent), laps.value(0).toInt());
    return 0;
}
