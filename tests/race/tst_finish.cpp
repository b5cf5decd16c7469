// The finish: totals, best laps and places from the recorded laps, the
// order of ties, win places, finishing twice, and what the finish reports.
#include "tests/race/racefixture.h"

#include <QSignalSpy>
#include <QtTest>

using namespace lapvane;
using namespace lapvane::test;

class TestFinish : public QObject
{
    Q_OBJECT
private slots:
    void standings()
    {
        RaceFixture f;
        // Rows in race-list order; pilots 50 and 10 tie on laps and total.
        f.addPilot(1, "Anna", 101);
        f.addPilot(2, "Boris", 102);
        f.addPilot(50, "Clara", 150);
        f.addPilot(10, "Dmitri", 110);
        f.addPilot(3, "Eva", 103);
        f.addPilot(4, "Fedor", 104);
        f.engine->racestopraceExecute(); // an idle finish ranks what is stored
        for (const auto &[pilot, times] : QList<QPair<int, QList<qint64>>>{
                 {1, {30000, 58000, 90000}},
                 {50, {31000, 62000, 95000}},
                 {10, {29000, 61000, 95000}},
                 {3, {20000, 40000, 60000, 80000, 120000}},
                 {4, {20000, 40000, 60000, 80000, 118500}}}) {
            for (int i = 0; i < times.size(); ++i)
                f.addLap(pilot, i + 1, times.at(i));
        }
        for (int pilot : {1, 2, 50, 10, 3, 4}) {
            QSqlQuery q(f.db.db());
            q.prepare("UPDATE onerace SET lapno=(SELECT COUNT(*) FROM laps WHERE laps.pilotid=?) WHERE pilotid=?");
            q.addBindValue(pilot);
            q.addBindValue(pilot);
            QVERIFY(q.exec());
        }

        QSignalSpy sort(f.engine.get(), &RaceEngine::raceListSortRequested);
        QVERIFY(f.engine->racestopraceExecute());
        const RaceRow anna = f.row(1);
        QCOMPARE(anna.totaltime, qint64(90000));
        QCOMPARE(anna.totaltimetxt, QString("001:30.000"));
        QCOMPARE(anna.besttime, qint64(28000));
        QCOMPARE(anna.besttimetxt, QString("000:28.000"));
        const RaceRow boris = f.row(2);
        QCOMPARE(boris.totaltime, qint64(kNoTimeMs));
        QCOMPARE(boris.totaltimetxt, QString("999:59.999"));
        QCOMPARE(boris.besttimetxt, QString("999:59.999"));

        // More laps first, then the earlier last pass, then race-list order.
        const QList<int> expected = {4, 3, 1, 50, 10, 2};
        for (int place = 1; place <= expected.size(); ++place)
            QCOMPARE(f.row(expected.at(place - 1)).place, place);
        QCOMPARE(sort.last().at(0).toString(), QString("place ASC"));

        // Finishing again gives the same standings.
        QVERIFY(f.engine->racestopraceExecute());
        for (int place = 1; place <= expected.size(); ++place)
            QCOMPARE(f.row(expected.at(place - 1)).place, place);
        QCOMPARE(f.row(1).besttimetxt, QString("000:28.000"));

        // Win places "0": the race gives no places.
        f.settings.set("cbwinplaces", 0);
        QVERIFY(f.engine->racestopraceExecute());
        for (int pilot : expected)
            QCOMPARE(f.row(pilot).place, 999);
    }

    void finishStopsTheRaceAndReports()
    {
        RaceFixture f;
        f.settings.set("chksounds", true);
        f.settings.set("edstartdelay", "0");
        f.addPilot(1, "Anna", 100);
        QVERIFY(f.start());
        f.pass(100, 30000);
        QSignalSpy exportRequested(f.engine.get(), &RaceEngine::exportRequested);
        QSignalSpy running(f.engine.get(), &RaceEngine::runningChanged);
        f.cues.played.clear();
        f.rx.calls.clear();
        f.stop.clear();
        QVERIFY(f.engine->racestopraceExecute());
        QVERIFY(!f.engine->isRunning());
        QCOMPARE(running.count(), 1);
        QVERIFY(f.stop.isRaised());
        QVERIFY(f.engine->isStartEnabled());
        QCOMPARE(f.rx.calls, QStringList{"regMode"});
        QCOMPARE(f.cues.played, QList<Cue>{Cue::FinishAll});
        QVERIFY(f.lines->lines.last().startsWith("Finished at "));
        QCOMPARE(exportRequested.count(), 0);
        // Passes after the finish are not taken.
        f.rx.queuePass(100, 60000);
        f.engine->tmrraceTimer();
        QCOMPARE(f.rx.queue.size(), 1);

        f.settings.set("chautoexport", true);
        f.rx.regModeOk = false;
        QVERIFY(f.engine->racestopraceExecute());
        QCOMPARE(exportRequested.count(), 1);
        QCOMPARE(f.logCount("Could not put Lapvane to REGPILOT MODE! Check COM port!"), 1);
    }

    // The only receiver is gone mid-race: "Finish" still ends, ranks and
    // frees the race; only the message to the gate is left out, and logged.
    void finishWithTheReceiverGone()
    {
        RaceFixture f;
        f.addPilot(1, "Anna", 100);
        f.addPilot(2, "Boris", 200);
        QVERIFY(f.start());
        f.clock.advance(30000);
        f.rx.queuePass(200, 30000);
        f.engine->tmrraceTimer();
        f.rx.lapvane = false;
        const qsizetype regModesBefore = f.rx.calls.count("regMode");
        QVERIFY(f.engine->racestopraceExecute());
        QVERIFY(f.prompt.notices.isEmpty());
        QVERIFY(!f.engine->isRunning());
        QVERIFY(f.engine->isStartEnabled());
        QCOMPARE(f.rx.calls.count("regMode"), regModesBefore);
        QCOMPARE(f.logCount("Lapvane gate not connected: it was not put back into registration mode."), 1);
        QCOMPARE(f.row(2).place, 1);
        QCOMPARE(f.row(1).place, 2);
        // Finishing again re-ranks without a second gate line.
        QVERIFY(f.engine->racestopraceExecute());
        QCOMPARE(f.logCount("Lapvane gate not connected: it was not put back into registration mode."), 1);
    }

    void recalculationOfOneRow()
    {
        RaceFixture f;
        const int row = f.addPilot(1, "Anna", 100);
        const int empty = f.addPilot(2, "Boris", 200);
        f.addLap(1, 1, 30000);
        f.addLap(1, 2, 58000);
        f.addLap(1, 3, 90000);
        QVERIFY(f.engine->UpdateOneraceBestlaps(row));
        QVERIFY(f.engine->UpdateOneraceBestlaps(empty));
        QCOMPARE(f.row(1).lapno, 3);
        QCOMPARE(f.row(1).besttime, qint64(28000));
        QCOMPARE(f.row(1).besttimetxt, QString("000:28.000"));
        QCOMPARE(f.row(1).totaltimetxt, QString("001:30.000"));
        QCOMPARE(f.row(2).lapno, 0);
        QCOMPARE(f.row(2).besttime, qint64(kNoTimeMs));
        QCOMPARE(f.row(2).besttimetxt, QString("999:59.999"));
        QCOMPARE(f.row(2).totaltimetxt, QString("999:59.999"));
        QVERIFY(!f.engine->UpdateOneraceBestlaps(999));
        QCOMPARE(f.prompt.notices.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestFinish)
#include "tst_finish.moc"
