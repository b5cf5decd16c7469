// A bracket stage in the database: groups given when it is made, a heat's
// exported race moving its pilots on, a correction and a re-export moving
// them again, and a stage that is no bracket left alone.
#include "competition/bracketstage.h"
#include "competition/stageformat.h"
#include "store/database.h"
#include "tests/common/sqlrows.h"

#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;

namespace {

class Fixture
{
public:
    Fixture()
    {
        static int n = 0;
        if (!db.open(dir.filePath("dbpilots.db"), QString("bracket%1").arg(++n)))
            qFatal("cannot open the test database: %s", qPrintable(db.error()));
        exec("INSERT INTO stages (events, stagename, laplimit, timelimit, tracklen) VALUES (1, 'Final', 3, "
             "0, '0')");
        stage = lastId;
        for (int p = 101; p <= 108; ++p)
            exec(QString(
                     "INSERT INTO results (stage, pilotid, pilotname, \"group\") VALUES (%1, %2, 'P%2', '')")
                     .arg(stage)
                     .arg(p));
    }

    void exec(const QString &sql) { lastId = test::exec(db.db(), sql); }

    QString group(int pilot)
    {
        QSqlQuery q(db.db());
        q.exec(QString("SELECT \"group\" FROM results WHERE stage=%1 AND pilotid=%2").arg(stage).arg(pilot));
        return q.next() ? q.value(0).toString() : QString("?");
    }

    // A finished race in the race list: pilot -> race times of his passes.
    void race(const QString &group, const QList<QPair<int, QList<int>>> &pilots)
    {
        exec("DELETE FROM onerace");
        exec("DELETE FROM laps");
        for (const auto &[pilot, passes] : pilots) {
            exec(QString("INSERT INTO onerace (pilotid, \"group\", lapno, place, confirmed) VALUES (%1, "
                         "'%2', %3, 999, 'Y')")
                     .arg(pilot)
                     .arg(group)
                     .arg(passes.size()));
            for (int i = 0; i < passes.size(); ++i)
                exec(QString("INSERT INTO laps (pilotid, lapn, laptime, laptimetxt) VALUES (%1, %2, %3, '')")
                         .arg(pilot)
                         .arg(i + 1)
                         .arg(passes.at(i)));
        }
    }

    QTemporaryDir dir;
    Database db;
    int stage = 0;
    int lastId = 0;
};

} // namespace

class TestBracketStage : public QObject
{
    Q_OBJECT
private slots:
    void exportedHeatsMovePilotsOn()
    {
        Fixture f;
        const QList<int> standing = {101, 102, 103, 104, 105, 106, 107, 108};
        BracketStage s;
        QString error;
        BracketSetup setup;
        setup.kind = BracketKind::SingleElimination;
        QVERIFY2(createBracketStage(f.db.db(), f.stage, setup, standing, &s, &error), qPrintable(error));
        for (int p : {101, 104, 105, 108})
            QCOMPARE(f.group(p), QString("1"));
        for (int p : {102, 103, 106, 107})
            QCOMPARE(f.group(p), QString("2"));
        QCOMPARE(s.nextGroup, QString("1"));

        // Heat 1 exported: places by laps; 104 and 101 go on to the final (group 3).
        f.race("1", {{101, {30000, 60000}}, {104, {31000, 61000, 90000}}, {105, {29000, 62000}}, {108, {}}});
        QVERIFY2(recordRaceListAsHeat(f.db.db(), f.stage, &s, &error), qPrintable(error));
        QCOMPARE(f.group(104), QString("3"));
        QCOMPARE(f.group(101), QString("3"));
        QCOMPARE(f.group(105), QString("1"));
        QCOMPARE(f.group(108), QString("1"));
        QCOMPARE(s.nextGroup, QString("2"));

        f.race("2", {{102, {30000}}, {103, {31000}}, {106, {}}, {107, {}}});
        QVERIFY(recordRaceListAsHeat(f.db.db(), f.stage, &s, &error));
        QCOMPARE(f.group(102), QString("3"));
        QCOMPARE(f.group(103), QString("3"));
        QCOMPARE(s.nextGroup, QString("3"));

        // The final flown and exported: nothing left to fly.
        f.race("3", {{104, {30000}}, {102, {31000}}, {101, {}}, {103, {}}});
        QVERIFY(recordRaceListAsHeat(f.db.db(), f.stage, &s, &error));
        QCOMPARE(s.nextGroup, QString());
        QVERIFY(s.notes.isEmpty());

        // Heat 1 re-exported after a correction gave 105 a missed lap: 105 is
        // 2nd now and takes the final seat, 101 returns to group 1, and the
        // final's result no longer fits: it is to be flown again.
        f.race(
            "1",
            {{101, {30000, 60000}}, {104, {31000, 61000, 90000}}, {105, {29000, 62000, 92000}}, {108, {}}});
        QVERIFY(recordRaceListAsHeat(f.db.db(), f.stage, &s, &error));
        QCOMPARE(f.group(105), QString("3"));
        QCOMPARE(f.group(101), QString("1"));
        QCOMPARE(s.nextGroup, QString("3"));
        QCOMPARE(s.notes.size(), 1);
        QVERIFY2(s.notes.first().contains("Final (group 3)"), qPrintable(s.notes.first()));

        // Exporting the same race again changes nothing.
        QVERIFY(recordRaceListAsHeat(f.db.db(), f.stage, &s, &error));
        QCOMPARE(f.group(105), QString("3"));
        QCOMPARE(f.group(101), QString("1"));

        // The bracket reads back from the file as it was left.
        BracketStage again;
        QVERIFY(readBracketStage(f.db.db(), f.stage, &again, &error));
        QVERIFY(again.exists);
        QCOMPARE(again.standing, standing);
        QCOMPARE(again.bracket.heats.size(), 3);

        // A group that is no heat is refused in plain words.
        QVERIFY(!recordHeatResult(f.db.db(), f.stage, "7", {101}, &s, &error));
        QVERIFY2(error.contains("Group \"7\" is no heat"), qPrintable(error));
    }

    void heatsRankByTheStageFormat()
    {
        Fixture f;
        QString error;
        QVERIFY(writeStageFormat(f.db.db(), f.stage, RaceFormat::FastestLap, 0, false, &error));
        BracketStage s;
        BracketSetup setup;
        setup.kind = BracketKind::SingleElimination;
        QVERIFY(createBracketStage(f.db.db(), f.stage, setup, {101, 102, 103, 104, 105, 106, 107, 108}, &s,
                                   &error));
        // 105 has fewer laps but the fastest one.
        f.race("1", {{101, {30000, 60000, 90000}}, {104, {31000, 61000, 91000}}, {105, {25000}}, {108, {}}});
        QVERIFY(recordRaceListAsHeat(f.db.db(), f.stage, &s, &error));
        QCOMPARE(f.group(105), QString("3"));
        QCOMPARE(f.group(101), QString("3"));
        QCOMPARE(f.group(104), QString("1"));
    }

    void stageWithoutBracketIsLeftAlone()
    {
        Fixture f;
        BracketStage s;
        QString error;
        f.race("1", {{101, {30000}}});
        QVERIFY(recordRaceListAsHeat(f.db.db(), f.stage, &s, &error));
        QVERIFY(!s.exists);
        QVERIFY(!f.db.db().tables().contains("stagebracket"));
        QCOMPARE(f.group(101), QString(""));
        // A refused bracket stores nothing.
        BracketSetup setup;
        setup.kind = BracketKind::Mains;
        setup.mainSize = 4;
        setup.bumpUp = 4;
        QVERIFY(!createBracketStage(f.db.db(), f.stage, setup, {101, 102}, &s, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!f.db.db().tables().contains("stagebracket"));
    }
};

QTEST_GUILESS_MAIN(TestBracketStage)
#include "tst_bracketstage.moc"
