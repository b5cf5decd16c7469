// Benchmark of the live pages: one writer cycle (12 files) with 8 pilots in
// the race, 100 pilots and 2,000 laps in the stage; then the pass loop's tick
// recording laps every 3 ms while the writer thread rewrites the pages every 2 s.
#include "bench/common/benchstats.h"
#include "bench/common/benchworld.h"
#include "publish/livepages.h"
#include "publish/savehtmls.h"
#include "store/laptime.h"
#include "store/transaction.h"
#include "tests/common/testfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTimer>

#include <cstdio>
#include <vector>

using namespace lapvane;
using lapvane::bench::percentile;

namespace {

constexpr int kRacePilots = 8;
constexpr int kStagePilots = 100;
constexpr int kLaps = 2000;

// The stage of 100 pilots with their laps, the race of the first 8 and the
// previous race, the organiser's templates and the snapshot the pages are
// written from.
struct Setup : bench::BenchWorld
{
    PageSnapshot snap;

    Setup()
    {
        const int lapsEach = kLaps / kStagePilots;
        addRacePilots(kRacePilots, 1001, lapsEach, [](int p) { return QString("Пилот %1").arg(p); });
        Transaction tx(db.db());
        QSqlQuery q(db.db());
        q.exec("INSERT INTO events (num, eventname, city) VALUES (1, 'Кубок', 'Тула')");
        q.exec("INSERT INTO stages (id, events, stagename, laplimit, timelimit, starttime) "
               "VALUES (1, 1, 'Финал', 0, 3, '01.05.2024')");
        QSqlQuery pilot(db.db()), result(db.db()), last(db.db());
        pilot.prepare("INSERT INTO pilots (id, name, nickname, city, about) VALUES (?, ?, ?, ?, ?)");
        result.prepare(
            "INSERT INTO results (stage, pilotid, pilotname, pilotteam, \"group\", vtx, place, wins, "
            "lapno, besttime, besttimetxt, totaltime, totaltimetxt, qualtime, qualtimetxt) "
            "VALUES (1, ?, ?, 'Team', ?, 'R1', 999, 0, 20, ?, ?, ?, ?, ?, ?)");
        last.prepare(
            "INSERT INTO lastrace (pilotid, pilotname, pilotteam, \"group\", place, lapno, besttimetxt, "
            "totaltimetxt) VALUES (?, ?, 'Team', '1', ?, 5, '000:30.000', '002:30.000')");
        for (int p = 1; p <= kStagePilots; ++p) {
            const QString name = QString("Пилот %1").arg(p);
            pilot.addBindValue(p);
            pilot.addBindValue(name);
            pilot.addBindValue(QString("nick%1").arg(p));
            pilot.addBindValue("Москва");
            pilot.addBindValue("Flies since 2015");
            pilot.exec();
            const int best = 30000 + p * 17;
            result.addBindValue(p);
            result.addBindValue(name);
            result.addBindValue(QString::number(1 + p / 8));
            for (int t : {best, best * 20, best * 20}) {
                result.addBindValue(t);
                result.addBindValue(ms2minsecmstext(t));
            }
            result.exec();
            if (p <= kRacePilots) {
                // His laps came with the race list.
                last.addBindValue(p);
                last.addBindValue(name);
                last.addBindValue(p);
                last.exec();
            } else {
                bench::addLaps(db.db(), p, lapsEach);
            }
        }
        tx.commit();

        // Templates as an organiser writes them: the race, the previous race,
        // a pilot view with his laps and the top of the stage.
        QString raceTpl = "<html><body><h1>%EVENTNAME% %EVENTCITY%: %STAGENAME% (%STAGELAPS% laps, %STAGETIME% min)</h1>"
                          "<table>\n";
        QString lastTpl = "<html><body><table>\n";
        for (int n = 1; n <= kRacePilots; ++n) {
            raceTpl += QString("<tr><td>%RACEPILOTNAME%1%</td><td>%RACEPILOTCITY%1%</td><td>%RACEPILOTTEAM%1%</td>"
                               "<td>%RACEPILOTLAPS%1%</td><td>%RACEPILOTPLACE%1%</td></tr>\n").arg(n);
            lastTpl += QString("<tr><td>%LASTRACEPILOTPLACE%1%</td><td>%LASTRACEPILOTNAME%1%</td>"
                               "<td>%LASTRACEPILOTCITY%1%</td><td>%LASTRACEPILOTBESTTIME%1%</td>"
                               "<td>%LASTRACEPILOTTOTALTIME%1%</td></tr>\n").arg(n);
        }
        raceTpl += "</table></body></html>\n";
        lastTpl += "</table></body></html>\n";
        test::writeFile(dir.filePath("race.htm"), raceTpl.toUtf8());
        test::writeFile(dir.filePath("last.htm"), lastTpl.toUtf8());
        test::writeFile(dir.filePath("pilot.txt"),
                        "%PILOTNAME% \"%PILOTNICK%\" %PILOTTEAM%\nLaps: %PILOTLAPS%\n%PILOTLAPTABLE%\n");
        test::writeFile(dir.filePath("top.htm"),
                        "<html><body><h1>%STAGENAME%</h1>\n%STAGERESULTS%\n%RANDOM%</body></html>\n");

        snap.eventName = "Кубок";
        snap.eventCity = "Тула";
        snap.stageId = 1;
        snap.stageName = "Финал";
        snap.stageLapLimit = "0";
        snap.stageTimeLimit = "3";
        snap.topCountText = QString::number(kStagePilots);
        snap.sortFieldIndex = int(db.fieldNames("results").indexOf("qualtime"));
        snap.oneRaceViewTemplate = dir.filePath("race.htm");
        snap.oneRaceResultsTemplate = dir.filePath("last.htm");
        snap.pilotViewTemplate = dir.filePath("pilot.txt");
        snap.topResultsTemplate = dir.filePath("top.htm");
        for (int ch = 1; ch <= 8; ++ch)
            snap.channel[size_t(ch)] = ch;
        snap.raceClockText = "00:01:23";
        QDir().mkpath(LivePages::htmlsFolder(dir.path()));
    }
};

void benchCycle()
{
    Setup s;
    int logLines = 0;
    LivePages pages(s.db.db(), LivePages::htmlsFolder(s.dir.path()), [&](const QString &) { ++logLines; });
    std::vector<double> ms;
    for (int i = 0; i < 60; ++i) {
        QElapsedTimer t;
        t.start();
        pages.writeCycle(s.snap);
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    const QStringList files = QDir(LivePages::htmlsFolder(s.dir.path())).entryList(QDir::Files);
    qint64 bytes = 0;
    for (const QString &f : files)
        bytes += QFileInfo(QDir(LivePages::htmlsFolder(s.dir.path())).filePath(f)).size();
    std::printf("writer cycle (%d race pilots, %d stage pilots, %d laps; %lld files, %lld bytes, %d log lines): "
                "median %.1f ms, p90 %.1f ms, max %.1f ms\n",
                kRacePilots, kStagePilots, kLaps, qlonglong(files.size()), qlonglong(bytes), logLines,
                percentile(ms, 0.5), percentile(ms, 0.9), percentile(ms, 1.0));
}

void benchTickBesideWriter(int seconds)
{
    Setup s;
    s.settings.set("chracecontinue", true);
    RaceEngine &engine = s.makeEngine();
    engine.setTimerDriven(false);
    s.startRace();

    SaveHtmls writer(*s.log, s.dir.path(), s.db.filePath(), [&s] { return s.snap; });
    writer.checksavehtmls(true);

    std::vector<double> us;
    int lapIndex = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(3);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        s.queueLap(lapIndex++);
        QElapsedTimer t;
        t.start();
        engine.tmrraceTimer();
        us.push_back(double(t.nsecsElapsed()) / 1000.0);
    });
    tick.start();
    pause(seconds * 1000);
    tick.stop();
    const int cycles = writer.thread()->cycles();
    writer.checksavehtmls(false);
    std::printf("pass loop tick recording a lap every 3 ms for %d s beside the writer (%d cycles): "
                "median %.0f us, p99 %.0f us, max %.0f us over %zu ticks\n",
                seconds, cycles, percentile(us, 0.5), percentile(us, 0.99), percentile(us, 1.0), us.size());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchCycle();
    benchTickBesideWriter(12);
    return 0;
}
