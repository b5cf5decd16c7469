// Measures the intervals between pass-loop ticks during a race shown in the
// real window, with 16 pilots, a pass every 20 ms, the window resized every
// 15 ms and the race list repainted: the tick must keep its 3 ms pace.
#include "app/racepage.h"
#include "bench/common/benchstats.h"
#include "bench/common/benchwindow.h"
#include "race/raceengine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTableView>
#include <QTimer>

#include <cstdio>

using namespace lapvane;
using lapvane::bench::percentile;

namespace {

// Receivers that hand out queued passes and record when they were polled.
class BenchReceivers : public bench::QueueReceivers
{
public:
    QList<qint64> queuedAtNs;
    QList<qint64> pollTimesNs;
    QList<double> waitedMs; // from queued to taken by the pass loop
    QElapsedTimer clock;

    void add(const Pass &pass)
    {
        queue.append(pass);
        queuedAtNs.append(clock.nsecsElapsed());
    }
    Pass gettrans() override
    {
        pollTimesNs << clock.nsecsElapsed();
        if (queue.isEmpty())
            return Pass{};
        waitedMs << (clock.nsecsElapsed() - queuedAtNs.takeFirst()) / 1e6;
        return queue.takeFirst();
    }
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    BenchReceivers receivers;
    receivers.clock.start();
    bench::BenchWindow w(receivers, 16, false);
    MainWindow &window = *w.window;
    ProgramServices &services = *w.services;
    ProgramContext &ctx = w.ctx;
    window.resize(1200, 800);
    window.show();

    services.race->racestartraceExecute();
    receivers.pollTimesNs.clear();

    const int durationMs = 6000;
    int pass = 0;
    QTimer passes;
    QObject::connect(&passes, &QTimer::timeout, [&] {
        const int pilot = pass % 16 + 1;
        receivers.add(Pass{PassSource::LapvaneGate, 100 + pilot, 2000 + 1200 * pass});
        ++pass;
    });
    if (!qEnvironmentVariableIsSet("BENCH_NO_PASSES"))
        passes.start(20);
    int step = 0;
    QTimer busy;
    QObject::connect(&busy, &QTimer::timeout, [&] {
        ++step;
        window.resize(1000 + (step % 40) * 5, 700 + (step % 30) * 5);
        window.racePage()->raceList()->viewport()->repaint();
    });
    if (!qEnvironmentVariableIsSet("BENCH_NO_BUSY"))
        busy.start(15);
    QList<double> busyMs;
    QObject::connect(&busy, &QTimer::timeout, [&busyMs, &window] {
        QElapsedTimer t;
        t.start();
        window.resize(window.width() + 1, window.height());
        QCoreApplication::sendPostedEvents();
        busyMs << t.nsecsElapsed() / 1e6;
    });
    QTimer::singleShot(durationMs, &app, &QApplication::quit);
    app.exec();
    services.race->racestopraceExecute();

    QList<double> gapsMs;
    for (int i = 1; i < receivers.pollTimesNs.size(); ++i)
        gapsMs << (receivers.pollTimesNs[i] - receivers.pollTimesNs[i - 1]) / 1e6;
    QSqlQuery laps(ctx.db.db());
    laps.exec(QStringLiteral("SELECT count(*) FROM laps"));
    laps.next();
    std::printf("ticks: %lld in %d ms (%.2f per 3 ms), passes sent %d, laps recorded %d\n",
                static_cast<long long>(gapsMs.size() + 1), durationMs, (gapsMs.size() + 1) * 3.0 / durationMs, pass,
                laps.value(0).toInt());
    std::printf("interval between polls of the receivers, ms: median %.2f  p90 %.2f  p99 %.2f  max %.2f\n", percentile(gapsMs, 0.5),
                percentile(gapsMs, 0.9), percentile(gapsMs, 0.99), percentile(gapsMs, 1.0));
    std::printf("pass waiting to be taken ms: median %.2f  p99 %.2f  max %.2f\n", percentile(receivers.waitedMs, 0.5),
                percentile(receivers.waitedMs, 0.99), percentile(receivers.waitedMs, 1.0));
    std::printf("one resize with its layout: median %.2f ms, max %.2f ms\n", percentile(busyMs, 0.5),
                percentile(busyMs, 1.0));
    return 0;
}
