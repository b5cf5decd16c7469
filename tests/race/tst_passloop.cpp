// The pass loop: which passes count as laps, the lap and time limits, finishes
// and cues, team races, settings that cannot be read, and bursts of passes.
#include "tests/race/racefixture.h"

#include <QSqlQuery>
#include <QtTest>

using namespace lapvane;
using namespace lapvane::test;

Q_DECLARE_METATYPE(QList<qint32>)

class TestPassLoop : public QObject
{
    Q_OBJECT
private slots:
    void doubleReadsAndFirstPass_data()
    {
        QTest::addColumn<QList<qint32>>("passes");
        QTest::addColumn<QStringList>("lapTexts");
        QTest::addColumn<int>("repeats");
        QTest::newRow("999 ms apart: the second is a repeat")
            << QList<qint32>{30000, 30999} << QStringList{"000:30.000"} << 1;
        QTest::newRow("1000 ms apart: both count")
            << QList<qint32>{30000, 31000} << QStringList{"000:30.000", "000:01.000"} << 0;
        QTest::newRow("first pass 500 ms after the start is a repeat")
            << QList<qint32>{500, 30000} << QStringList{"000:30.000"} << 1;
        QTest::newRow("a pass at or before the start is no pass")
            << QList<qint32>{0, -5, 30000} << QStringList{"000:30.000"} << 0;
    }
    void doubleReadsAndFirstPass()
    {
        QFETCH(QList<qint32>, passes);
        QFETCH(QStringList, lapTexts);
        QFETCH(int, repeats);
        RaceFixture f;
        f.addPilot(7, "Anna", 4660);
        QVERIFY(f.start());
        for (qint32 ms : passes)
            f.pass(4660, ms);
        QCOMPARE(f.lapTexts(7), lapTexts);
        QCOMPARE(f.row(7).lapno, lapTexts.size());
        QCOMPARE(f.logCount("Anna (id 4660) repeat ignoring..."), repeats);
        QCOMPARE(f.lapNumbers(7).size(), lapTexts.size());
        // A pass stamped at or before the start is not counted, and says so.
        int early = 0;
        for (qint32 ms : passes)
            early += ms <= 0;
        QCOMPARE(f.logCount("stamped at or before the race start"), early);
    }

    void unknownAndSwitchedOffPilots()
    {
        RaceFixture f;
        f.addPilot(7, "Anna", 100);
        f.addPilot(8, "Boris", 200, "1", "R2", "N");
        QVERIFY(f.start());
        f.clock.advance(30000);
        f.lines->lines.clear();
        f.pass(999, 30000);
        QCOMPARE(f.lines->lines, QStringList{"ID:999  00:00:30"});
        f.lines->lines.clear();
        f.pass(200, 30000);
        QCOMPARE(f.lines->lines, QStringList({"pilot switched off:", "ID:200 Boris 00:00:30"}));
        QCOMPARE(f.row(8).lapno, 0);
        QCOMPARE(f.lapCount(), 0);
        QVERIFY(f.engine->isRunning());
    }

    // A pass says which race-list row and whose laps it changed, and nothing
    // more: the window updates just those. Passes that change nothing say nothing.
    void passesNameWhatTheyChanged()
    {
        RaceFixture f;
        f.addPilot(7, "Anna", 100);
        const int boris = f.addPilot(8, "Boris", 200);
        f.addPilot(9, "Cid", 300, "1", "R3", "N");
        QVERIFY(f.start());
        QSignalSpy rows(f.engine.get(), &RaceEngine::raceRowChanged);
        QSignalSpy laps(f.engine.get(), &RaceEngine::pilotLapsChanged);
        QSignalSpy wholeList(f.engine.get(), &RaceEngine::raceListChanged);
        QSignalSpy allLaps(f.engine.get(), &RaceEngine::lapsChanged);
        f.pass(200, 30000);
        f.pass(999, 31000);  // nobody's transponder
        f.pass(300, 32000);  // switched off
        f.pass(200, 30500);  // a repeat
        QCOMPARE(rows.count(), 1);
        QCOMPARE(rows.at(0).at(0).toInt(), boris);
        QCOMPARE(laps.count(), 1);
        QCOMPARE(laps.at(0).at(0).toInt(), 8);
        QCOMPARE(wholeList.count(), 0);
        QCOMPARE(allLaps.count(), 0);
        QCOMPARE(f.row(8).lapno, 1);
    }

    void lapLimitFinishesPilotsAndTheRace()
    {
        RaceFixture f;
        f.settings.set("edtlaps", "3");
        f.settings.set("chksounds", true);
        f.settings.set("edstartdelay", "0");
        f.addPilot(1, "Anna", 100);
        f.addPilot(2, "Boris", 200);
        QVERIFY(f.start());
        f.cues.played.clear();
        f.pass(100, 30000);
        f.pass(100, 60000);
        f.pass(200, 61000);
        f.pass(100, 90000);
        QCOMPARE(f.cues.played, QList<Cue>({Cue::LapPass, Cue::LapPass, Cue::LapPass, Cue::FinishFirst}));
        QCOMPARE(f.logCount("Anna finished"), 1);
        QCOMPARE(f.engine->pilotplace(), 2);
        // A finished pilot's further passes only give the "ID:" line.
        f.pass(100, 120000);
        QCOMPARE(f.row(1).lapno, 3);
        QCOMPARE(f.logCount("ID:100 Anna"), 4);
        QVERIFY(f.engine->isRunning());

        f.pass(200, 95000);
        f.pass(200, 130000);
        QCOMPARE(f.logCount("Boris finished"), 1);
        // Everyone has flown the limit: the race finishes by itself.
        QVERIFY(!f.engine->isRunning());
        QCOMPARE(f.cues.played.mid(5), QList<Cue>({Cue::FinishOther, Cue::FinishAll}));
        QCOMPARE(f.row(1).place, 1);
        QCOMPARE(f.row(2).place, 2);
        QCOMPARE(f.rx.calls.last(), QString("regMode"));
        QVERIFY(f.engine->isStartEnabled());
        // The ring holds every counted lap, finishing laps included, in order.
        QCOMPARE(f.engine->ring().writeraw(), 6);
        QCOMPARE(f.engine->ring().at(3), (AnnouncementRing::Entry{1, 3}));
        QCOMPARE(f.engine->ring().at(5), (AnnouncementRing::Entry{2, 3}));
    }

    // Each counted lap is handed on once, as one value: its stored row, the
    // pilot, the times, and the place when it finished his race.
    void countedLapsCarryWhatTheyWere()
    {
        RaceFixture f;
        f.settings.set("edtlaps", "2");
        f.addPilot(1, "Anna", 100);
        f.addPilot(2, "Boris", 200);
        QVERIFY(f.start());
        QSignalSpy counted(f.engine.get(), &RaceEngine::lapCounted);
        f.pass(100, 30000);
        f.pass(100, 30500); // a repeat: no value
        f.pass(100, 61000);
        f.pass(200, 62000);
        QCOMPARE(counted.count(), 3);
        QSqlQuery q(f.db.db());
        QList<qint64> ids;
        q.exec("SELECT id FROM laps ORDER BY id");
        while (q.next())
            ids << q.value(0).toLongLong();
        QCOMPARE(ids.size(), 3);
        const auto lap = [&](int i) { return counted.at(i).at(0).value<CountedLap>(); };
        QCOMPARE(lap(0).lapRowId, ids.at(0));
        QCOMPARE(lap(0).name, QString("Anna"));
        QCOMPARE(lap(0).pilotId, 1);
        QCOMPARE(lap(0).lapn, 1);
        QCOMPARE(lap(0).raceMs, 30000);
        QCOMPARE(lap(0).lapMs, 30000);
        QCOMPARE(lap(0).place, 0);
        QCOMPARE(lap(1).lapRowId, ids.at(1));
        QCOMPARE(lap(1).lapn, 2);
        QCOMPARE(lap(1).lapMs, 31000);
        QCOMPARE(lap(1).place, 1);
        QCOMPARE(lap(2).name, QString("Boris"));
        QCOMPARE(lap(2).raceRowId, f.rowId(2));
        QCOMPARE(lap(2).place, 0);
    }

    // Passes taken together in one tick are judged one after the other, each
    // against the laps the ones before it counted: repeats, the lap limit and
    // the race's end fall where they would one pass a tick.
    void aBurstIsJudgedPassByPass()
    {
        RaceFixture f;
        f.settings.set("edtlaps", "3");
        f.addPilot(1, "Anna", 100);
        f.addPilot(2, "Boris", 200);
        QVERIFY(f.start());
        f.engine->setTimerDriven(true);
        for (const auto &[trans, ms] : QList<QPair<qint32, qint32>>{{100, 30000},
                                                                    {100, 30400}, // a repeat
                                                                    {200, 31000},
                                                                    {100, 60000},
                                                                    {100, 90000}, // Anna's third: she finishes
                                                                    {100, 120000}, // beyond her limit
                                                                    {200, 61000},
                                                                    {200, 91000}, // Boris's third: the race ends
                                                                    {200, 121000}})
            f.rx.queuePass(trans, ms);
        QTRY_VERIFY(!f.engine->isRunning());
        f.engine->setTimerDriven(false);
        QCOMPARE(f.lapTimes(1), QList<qint64>({30000, 60000, 90000}));
        QCOMPARE(f.lapTimes(2), QList<qint64>({31000, 61000, 91000}));
        QCOMPARE(f.logCount("Anna (id 100) repeat ignoring..."), 1);
        QCOMPARE(f.logCount("Anna finished"), 1);
        QCOMPARE(f.row(1).place, 1);
        QCOMPARE(f.row(2).place, 2);
        // The pass after the end is left to the receivers' queue.
        QCOMPARE(f.rx.queue.size(), 1);
    }

    void lapLimitZeroNeverEndsByLaps()
    {
        RaceFixture f;
        f.settings.set("edtlaps", "0");
        f.addPilot(1, "Anna", 100);
        QVERIFY(f.start());
        for (int lap = 1; lap <= 30; ++lap)
            f.pass(100, lap * 20000);
        QCOMPARE(f.row(1).lapno, 30);
        QCOMPARE(f.logCount("finished"), 0);
        QVERIFY(f.engine->isRunning());
    }

    void timeLimit_data()
    {
        QTest::addColumn<QDateTime>("startAt");
        QTest::newRow("afternoon") << QDateTime(QDate(2024, 5, 1), QTime(14, 0));
        QTest::newRow("across midnight") << QDateTime(QDate(2024, 5, 1), QTime(23, 59));
    }
    void timeLimit()
    {
        QFETCH(QDateTime, startAt);
        RaceFixture f;
        f.settings.set("edttimelimit", "2");
        f.settings.set("edtlaps", "10");
        f.addPilot(1, "Anna", 100);
        f.clock.set(startAt.toMSecsSinceEpoch());
        QVERIFY(f.start());
        f.clock.advance(119999);
        f.pass(100, 119000);
        QVERIFY(f.engine->isRunning());
        QCOMPARE(f.row(1).lapno, 1);
        f.clock.advance(1);
        f.rx.queuePass(100, 119999);
        f.engine->tmrraceTimer();
        QVERIFY(!f.engine->isRunning());
        QCOMPARE(f.logCount("Time limit reached."), 1);
        // No pass is taken in the tick that ends the race.
        QCOMPARE(f.rx.queue.size(), 1);
        QCOMPARE(f.row(1).place, 1);
        QCOMPARE(f.row(1).totaltimetxt, QString("001:59.000"));
    }

    void teamRace()
    {
        RaceFixture f;
        f.settings.set("edtlaps", "10");
        f.settings.set("chkteamrace", true);
        f.addPilot(1, "Anna", 101, "Red");
        f.addPilot(2, "Boris", 102, "Red");
        f.addPilot(3, "Clara", 103, "Blue");
        f.addPilot(4, "Dmitri", 104, "Blue");
        TeamTable &teams = f.engine->teamTable();
        QVERIFY(teams.rebuildFromRaceList(f.db.db()));
        QCOMPARE(teams.teamCount(), 2);
        QVERIFY(f.start());
        // Red's pilots fly ten laps between them; the tenth finishes the team.
        for (int i = 0; i < 10; ++i)
            f.pass(i % 2 ? 102 : 101, 30000 + i * 5000);
        QCOMPARE(teams.laps(teams.findTeam("Red")), 10);
        QCOMPARE(teams.place(teams.findTeam("Red")), QString("1"));
        QCOMPARE(f.logCount("Boris finished"), 1);
        // The eleventh pass of a Red pilot is not counted.
        f.pass(101, 200000);
        QCOMPARE(f.row(1).lapno + f.row(2).lapno, 10);
        QVERIFY(f.engine->isRunning());
        for (int i = 0; i < 9; ++i)
            f.pass(i % 2 ? 104 : 103, 30000 + i * 5000);
        QVERIFY(f.engine->isRunning());
        f.pass(104, 200000);
        QCOMPARE(teams.place(teams.findTeam("Blue")), QString("2"));
        // Twenty laps in all: the race is over.
        QVERIFY(!f.engine->isRunning());
    }

    void unconfirmedPilotPreventsTheAutomaticEnd()
    {
        RaceFixture f;
        f.settings.set("edtlaps", "2");
        f.addPilot(1, "Anna", 100);
        f.addPilot(2, "Boris", 200, "1", "R2", "N");
        QVERIFY(f.start());
        f.pass(100, 30000);
        f.pass(100, 60000);
        f.pass(200, 61000);
        f.pass(200, 91000);
        QCOMPARE(f.row(2).lapno, 0);
        QVERIFY(f.engine->isRunning());
    }

    // Limits that cannot be read never stop the loop and never drop a pass
    // that would count: the last good value (or none) holds, reported once.
    void unreadableSettings_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("atStart");
        QTest::addColumn<QString>("afterFirstPass");
        QTest::addColumn<QList<qint32>>("passes");
        QTest::addColumn<int>("laps");
        QTest::addColumn<bool>("running");
        QTest::addColumn<QString>("logLine");
        QTest::newRow("lap limit unreadable from the start")
            << "edtlaps" << "x" << "x" << QList<qint32>{30000, 60000, 90000, 120000} << 4 << true
            << "The lap limit \"x\" is not a valid number (digits only); this race goes on with no lap limit until it is corrected.";
        QTest::newRow("lap limit spoiled during the race keeps the last good one")
            << "edtlaps" << "2" << "2 laps" << QList<qint32>{30000, 60000, 90000} << 2 << false
            << "The lap limit \"2 laps\" is not a valid number (digits only); this race goes on with 2 laps until it is corrected.";
        QTest::newRow("negative lap limit")
            << "edtlaps" << "-1" << "-1" << QList<qint32>{30000, 60000} << 2 << true
            << "The lap limit \"-1\" is not a valid number (digits only)";
        QTest::newRow("anti-double-read emptied")
            << "edantidoubleread" << "" << "" << QList<qint32>{30000, 30500, 31000} << 2 << true
            << "The anti-double-read interval \"\" is not a valid number (digits only); this race goes on with 1000 ms until it is corrected.";
        QTest::newRow("anti-double-read spoiled keeps the last good one")
            << "edantidoubleread" << "200" << "2OO" << QList<qint32>{30000, 30300, 30400} << 2 << true
            << "this race goes on with 200 ms";
        QTest::newRow("time limit unreadable")
            << "edttimelimit" << "1.5" << "1.5" << QList<qint32>{30000, 600000} << 2 << true
            << "The time limit \"1.5\" is not a valid number (digits only); this race goes on with no time limit until it is corrected.";
    }
    void unreadableSettings()
    {
        QFETCH(QString, control);
        QFETCH(QString, atStart);
        QFETCH(QString, afterFirstPass);
        QFETCH(QList<qint32>, passes);
        QFETCH(int, laps);
        QFETCH(bool, running);
        QFETCH(QString, logLine);
        RaceFixture f;
        f.addPilot(1, "Anna", 100);
        f.settings.set(control, atStart);
        QVERIFY(f.start());
        for (int i = 0; i < passes.size(); ++i) {
            f.clock.set(RaceFixture::noonMs() + passes.at(i));
            f.pass(100, passes.at(i));
            if (i == 0)
                f.settings.set(control, afterFirstPass);
        }
        QCOMPARE(f.row(1).lapno, laps);
        QCOMPARE(f.engine->isRunning(), running);
        QCOMPARE(f.logCount(logLine), 1);
        QCOMPARE(f.logCount("is not a valid number (digits only)"), 1);
        QCOMPARE(f.logCount("ERROR"), 0);
    }

    // A window that holds the main thread up delays the timer; the passes
    // that queued meanwhile are taken together in the next tick, in order.
    void lateTimerTickCatchesUp()
    {
        RaceFixture f;
        for (int p = 1; p <= 4; ++p)
            f.addPilot(p, QString("Pilot %1").arg(p), 100 + p);
        QVERIFY(f.start());
        f.engine->setTimerDriven(true);
        QTest::qWait(20); // a few ticks on the timer, with nothing to take
        for (int i = 0; i < 8; ++i)
            f.rx.queuePass(101 + i % 4, 30000 + i * 1000);
        QThread::msleep(30); // the window is busy
        QCoreApplication::processEvents(); // the one overdue tick
        QVERIFY2(f.lapCount() > 1, qPrintable(QString::number(f.lapCount())));
        QTRY_COMPARE(f.lapCount(), 8);
        QCOMPARE(f.lapTimes(1), QList<qint64>({30000, 34000}));
        f.engine->setTimerDriven(false);
    }

    void burstOfQueuedPassesIsRecordedInOrder()
    {
        RaceFixture f;
        for (int p = 1; p <= 4; ++p)
            f.addPilot(p, QString("Pilot %1").arg(p), 100 + p);
        QVERIFY(f.start());
        for (int i = 0; i < 100; ++i)
            f.rx.queuePass(101 + i % 4, 30000 + i * 1000);
        // One pass per tick: half the burst after fifty ticks.
        for (int i = 0; i < 50; ++i)
            f.engine->tmrraceTimer();
        QCOMPARE(f.lapCount(), 50);
        while (!f.rx.queue.isEmpty())
            f.engine->tmrraceTimer();
        QCOMPARE(f.lapCount(), 100);
        for (int p = 1; p <= 4; ++p) {
            QList<qint64> expected;
            QStringList texts;
            for (int k = 0; k < 25; ++k) {
                expected << 30000 + (p - 1) * 1000 + k * 4000;
                texts << (k == 0 ? ms2minsecmstext(expected.first()) : QString("000:04.000"));
            }
            QCOMPARE(f.lapTimes(p), expected);
            QCOMPARE(f.lapTexts(p), texts);
            QCOMPARE(f.lapNumbers(p).last(), 25);
            QCOMPARE(f.row(p).lapno, 25);
        }
        // The ring keeps the last twenty laps; older ones were overwritten.
        QCOMPARE(f.engine->ring().writeraw(), 0);
        QCOMPARE(f.engine->ring().at(0), (AnnouncementRing::Entry{1, 21}));
        QCOMPARE(f.engine->ring().at(19), (AnnouncementRing::Entry{4, 25}));
    }

    void failuresAreLoggedAndTheRaceGoesOn()
    {
        RaceFixture f;
        f.settings.set("chshowdebug", true);
        f.addPilot(1, "Anna", 100);
        QVERIFY(f.start());
        f.rx.pollThrows = true;
        f.engine->tmrraceTimer();
        QCOMPARE(f.logCount("error getting transponder!"), 1);
        f.rx.pollThrows = false;
        f.pass(100, 30000);
        QCOMPARE(f.logCount("racems=30000 lastms=0 subst=30000"), 1);

        // A lap that cannot be written is counted and waits, neither its count
        // nor its row in the file, until the store takes it.
        QSqlQuery q(f.db.db());
        QVERIFY(q.exec("CREATE TRIGGER nolaps BEFORE INSERT ON laps BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
        f.pass(100, 60000);
        QCOMPARE(f.logCount("Error writting lap time, id 100"), 1);
        QCOMPARE(f.row(1).lapno, 1);
        QCOMPARE(f.lapTimes(1), QList<qint64>{30000});
        QCOMPARE(f.engine->lapsWaiting(), 1);
        QCOMPARE(f.engine->ring().writeraw(), 2);
        QVERIFY(q.exec("DROP TRIGGER nolaps"));
        QVERIFY(f.engine->writeWaitingLaps());
        f.pass(100, 61000);
        QCOMPARE(f.lapNumbers(1), QList<int>({1, 2, 3}));
        QCOMPARE(f.lapTimes(1), (QList<qint64>{30000, 60000, 61000}));
        QVERIFY(f.engine->isRunning());
    }

    void notRunningTickDoesNothing()
    {
        RaceFixture f;
        f.addPilot(1, "Anna", 100);
        f.rx.queuePass(100, 30000);
        f.engine->tmrraceTimer();
        QCOMPARE(f.rx.polls, 0);
        QCOMPARE(f.lapCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestPassLoop)
#include "tst_passloop.moc"
