// The database cannot take writes during a race (a full disk; here the file's
// page limit, which fails the same way): every counted lap is kept in memory
// in order, shown, judged against by the next passes, and written as soon as
// the database takes writes again, each lap with its own time. Nothing is
// lost, no lap covers the gap, and the operator is told once in plain words.
#include "tests/race/racefixture.h"

#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

using namespace lapvane;
using namespace lapvane::test;

namespace {

// Fills the database up to its present size and forbids it to grow: every
// insert from now on fails with "database or disk is full".
void fillTheDisk(QSqlDatabase db)
{
    QSqlQuery q(db);
    QVERIFY(q.exec("CREATE TABLE IF NOT EXISTS filler (b BLOB)"));
    QVERIFY(q.exec("PRAGMA page_count") && q.next());
    const int pages = q.value(0).toInt();
    QVERIFY(q.exec(QString("PRAGMA max_page_count = %1").arg(pages + 1)));
    // The free room inside the pages too, the laps table's own included (its
    // rows of pilot 0 belong to no race).
    for (int size : {4000, 1000, 200, 50, 10, 1, 0}) {
        for (int i = 0; i < 10000; ++i) {
            if (!q.exec(QString("INSERT INTO filler VALUES (zeroblob(%1))").arg(size)))
                break;
        }
        for (int i = 0; i < 10000; ++i) {
            if (!q.exec(QString("INSERT INTO laps (pilotid, lapn, laptime, laptimetxt) VALUES (0, 0, 0, "
                                "CAST(zeroblob(%1) AS TEXT))")
                            .arg(size)))
                break;
        }
    }
    QVERIFY(!q.exec("INSERT INTO laps (pilotid, lapn, laptime, laptimetxt) VALUES (0, 0, 0, '000:00.000')"));
    QCOMPARE(q.lastError().nativeErrorCode(), QString("13"));
}

void spaceAgain(QSqlDatabase db)
{
    QSqlQuery q(db);
    QVERIFY(q.exec("PRAGMA max_page_count = 1073741823"));
}

} // namespace

class TestFullDisk : public QObject
{
    Q_OBJECT
private slots:
    void lapsWaitInOrderAndAreWrittenWithTheirOwnTimes()
    {
        RaceFixture f;
        f.settings.set("edtlaps", "0");
        f.addPilot(1, "Anna", 100);
        f.addPilot(2, "Boris", 200);
        QVERIFY(f.start());
        QSignalSpy waiting(f.engine.get(), &RaceEngine::lapsWaitingChanged);
        f.pass(100, 10000);
        QCOMPARE(f.engine->lapsWaiting(), 0);

        fillTheDisk(f.db.db());
        f.pass(100, 11000);
        f.pass(200, 11500);
        f.pass(100, 11900); // 900 ms after his waiting lap: a repeat
        f.pass(100, 12000);
        f.pass(200, 13000);
        QCOMPARE(f.engine->lapsWaiting(), 4);
        QCOMPARE(f.engine->lapsWaitingFor(f.rowId(1)), 2);
        QCOMPARE(f.row(1).lapno, 1); // the file still holds one lap
        QCOMPARE(f.logCount("Anna (id 100) repeat ignoring..."), 1);
        // Told once, in plain words, with the usual failed-write line for the first lap.
        QCOMPARE(f.logCount("Error writting lap time, id 100"), 1);
        QCOMPARE(f.logCount("Laps cannot be written to the database: the disk is full."), 1);
        QVERIFY(!waiting.isEmpty());
        QCOMPARE(waiting.last().at(0).toInt(), 4);
        QCOMPARE(waiting.last().at(1).toString(), QString("the disk is full"));
        // A new race or group must not take the list while laps wait.
        QVERIFY(!f.engine->noLapsWaiting());
        QVERIFY(f.prompt.notices.last().startsWith("4 counted laps of the race still wait"));

        spaceAgain(f.db.db());
        QTRY_COMPARE(f.engine->lapsWaiting(), 0); // the retry writes them
        QCOMPARE(f.lapTimes(1), (QList<qint64>{10000, 11000, 12000}));
        QCOMPARE(f.lapTexts(1), (QStringList{"000:10.000", "000:01.000", "000:01.000"}));
        QCOMPARE(f.lapNumbers(1), (QList<int>{1, 2, 3}));
        QCOMPARE(f.lapTimes(2), (QList<qint64>{11500, 13000}));
        QCOMPARE(f.row(1).lapno, 3);
        QCOMPARE(f.row(2).lapno, 2);
        QCOMPARE(f.logCount("The database takes writes again: the 4 laps that waited are written"), 1);
        QCOMPARE(waiting.last().at(0).toInt(), 0);

        // The next lap follows on from the last one, not from the gap.
        f.pass(100, 13000);
        QCOMPARE(f.lapTexts(1).last(), QString("000:01.000"));
        QCOMPARE(f.row(1).lapno, 4);
    }

    // The lap limit and the race's end count the waiting laps; a finish while
    // they wait ranks the race again once they are written.
    void finishWhileLapsWait()
    {
        RaceFixture f;
        f.settings.set("edtlaps", "2");
        f.addPilot(1, "Anna", 100);
        f.addPilot(2, "Boris", 200);
        QVERIFY(f.start());
        f.pass(100, 10000);
        fillTheDisk(f.db.db());
        f.pass(200, 10500);
        f.pass(100, 20000); // Anna's second lap: her finish
        QCOMPARE(f.logCount("Anna finished"), 1);
        f.pass(100, 30000); // beyond the limit
        QCOMPARE(f.engine->lapsWaiting(), 2);
        f.pass(200, 21000); // Boris's second: every pilot has flown the limit
        QVERIFY(!f.engine->isRunning());
        QCOMPARE(
            f.logCount("counted laps still wait to be written to the database: the standings are ranked"), 1);

        spaceAgain(f.db.db());
        QTRY_COMPARE(f.engine->lapsWaiting(), 0);
        QCOMPARE(f.logCount("The race is ranked again with the laps that waited."), 1);
        QCOMPARE(f.row(1).place, 1);
        QCOMPARE(f.row(2).place, 2);
        QCOMPARE(f.row(1).lapno, 2);
        QCOMPARE(f.row(2).totaltime, 21000);
    }

    // Closing the program while laps wait names each of them in the log.
    void shutdownWithLapsWaitingSaysSo()
    {
        RaceFixture f;
        f.settings.set("edtlaps", "0");
        f.addPilot(1, "Anna", 100);
        QVERIFY(f.start());
        fillTheDisk(f.db.db());
        f.pass(100, 10000);
        f.pass(100, 20000);
        f.engine->stopTick();
        QCOMPARE(f.logCount("The program closes with 2 counted laps not written to the database (the disk is "
                            "full)."),
                 1);
        QCOMPARE(f.logCount("Not written: pilot id 1, lap 2 at race time 000:20.000 (lap time 000:10.000)"),
                 1);
    }
};

QTEST_GUILESS_MAIN(TestFullDisk)
#include "tst_fulldisk.moc"
