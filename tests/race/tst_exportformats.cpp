// The export of a race into a stage that has a race format or a bracket: the
// deciding values kept as the stage standing, and the bracket's pilots moved
// on (and moved again by a corrected race exported again).
#include "competition/bracketstage.h"
#include "competition/stagedeciding.h"
#include "competition/stageformat.h"
#include "race/raceexport.h"
#include "tests/race/racefixture.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

using namespace lapvane;
using namespace lapvane::test;

namespace {

void exec(RaceFixture &f, const QString &sql, const QVariantList &binds = {})
{
    QSqlQuery q(f.db.db());
    q.prepare(sql);
    for (const QVariant &v : binds)
        q.addBindValue(v);
    if (!q.exec())
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
}

// The fixture's current stage (2) with a results row for each pilot.
void makeStage(RaceFixture &f, int timeLimitMin, const QList<int> &pilots)
{
    exec(f,
         "INSERT INTO stages (id, events, stagename, laplimit, timelimit, tracklen, starttime) "
         "VALUES (2, 1, 'Qualification', 0, ?, '0', '')",
         {timeLimitMin});
    for (int p : pilots)
        exec(f,
             "INSERT INTO results (stage, pilotid, pilotname, \"group\", place, wins, lapno, besttime, "
             "besttimetxt, "
             "totaltime, totaltimetxt, qualtime, qualtimetxt) VALUES (2, ?, ?, '1', 999, 0, 0, ?, ?, ?, ?, "
             "?, ?)",
             {p, QStringLiteral("Pilot %1").arg(p), kNoTimeMs, kNoTimeText, kNoTimeMs, kNoTimeText, kNoTimeMs,
              kNoTimeText});
}

// A new race list of group with each pilot's passes (race times).
void raceList(RaceFixture &f, const QString &group, const QList<QPair<int, QList<qint64>>> &passes)
{
    exec(f, "DELETE FROM laps");
    exec(f, "DELETE FROM onerace");
    for (const auto &[pilot, times] : passes) {
        f.addPilot(pilot, QStringLiteral("Pilot %1").arg(pilot), 100 + pilot, group);
        for (int i = 0; i < times.size(); ++i)
            f.addLap(pilot, i + 1, times.at(i));
        exec(f, "UPDATE onerace SET lapno=? WHERE pilotid=?", {int(times.size()), pilot});
    }
}

// A race of group whose pilots finish in the given order (3 laps each).
void raceInOrder(RaceFixture &f, const QString &group, const QList<int> &order)
{
    QList<QPair<int, QList<qint64>>> passes;
    for (int i = 0; i < order.size(); ++i)
        passes.append({order.at(i), {20000 + i, 40000 + i, 60000 + 1000 * i}});
    raceList(f, group, passes);
}

QString groupOf(RaceFixture &f, int pilot)
{
    QSqlQuery q(f.db.db());
    q.prepare("SELECT \"group\" FROM results WHERE stage=2 AND pilotid=?");
    q.addBindValue(pilot);
    return q.exec() && q.next() ? q.value(0).toString() : QString();
}

} // namespace

class TestExportFormats : public QObject
{
    Q_OBJECT
private slots:
    void decidingValuesMakeTheStageStanding()
    {
        RaceFixture f;
        makeStage(f, 2, {1, 2, 3});
        QString error;
        QVERIFY(writeStageFormat(f.db.db(), 2, RaceFormat::Fastest3, 30000, false, &error));
        RaceExport exporter(f.db.db(), f.settings, *f.log, f.prompt, f.selection);

        // Race 1: pilot 1 flies 3 laps in 60 s, pilot 2 in 51 s, pilot 3 two laps.
        raceList(f, "1", {{1, {20000, 40000, 60000}}, {2, {17000, 34000, 51000}}, {3, {15000, 30000}}});
        QVERIFY(f.engine->racestopraceExecute());
        QCOMPARE(f.row(2).place, 1);
        QVERIFY(exporter.raceexporttoeventExecute());
        // Race 2: pilot 1 improves to 45 s, pilot 2 is slower (his 51 s stays).
        raceList(f, "1", {{1, {15000, 30000, 45000, 70000}}, {2, {30000, 60000, 90000}}});
        QVERIFY(f.engine->racestopraceExecute());
        QVERIFY(exporter.raceexporttoeventExecute());

        QHash<int, StageDeciding> kept;
        QVERIFY(readStageDeciding(f.db.db(), 2, &kept, &error));
        QCOMPARE(kept.value(1).text, QString("3 consecutive: 00:45.000"));
        QCOMPARE(kept.value(2).text, QString("3 consecutive: 00:51.000"));
        QCOMPARE(kept.value(3).text, QString("2 laps, 00:30.000"));
        QList<StageStandingRow> standing;
        QVERIFY(readStageStanding(f.db.db(), 2, &standing, &error));
        QCOMPARE(standing.size(), 3);
        QCOMPARE(QList<int>({standing[0].pilotId, standing[1].pilotId, standing[2].pilotId}),
                 QList<int>({1, 2, 3}));
        QCOMPARE(standing[0].deciding, QString("3 consecutive: 00:45.000"));
    }

    void stageWithoutAFormatGetsNoNewTable()
    {
        RaceFixture f;
        makeStage(f, 0, {1});
        RaceExport exporter(f.db.db(), f.settings, *f.log, f.prompt, f.selection);
        raceList(f, "1", {{1, {20000}}});
        QVERIFY(f.engine->racestopraceExecute());
        QVERIFY(exporter.raceexporttoeventExecute());
        QVERIFY(!f.db.db().tables().contains(kStageDecidingTable));
        QVERIFY(!f.db.db().tables().contains("stagebracket"));
        QCOMPARE(f.logCount("Bracket:"), 0);
    }

    void exportMovesBracketPilotsOnAndACorrectionMovesThemAgain()
    {
        RaceFixture f;
        const QList<int> seeds{1, 2, 3, 4, 5, 6, 7, 8};
        makeStage(f, 0, seeds);
        BracketStage bracket;
        QString error;
        QVERIFY2(
            createBracketStage(f.db.db(), 2, {BracketKind::DoubleElimination, 6, 0}, seeds, &bracket, &error),
            qPrintable(error));
        QCOMPARE(groupOf(f, 1), QString("1"));
        QCOMPARE(groupOf(f, 8), QString("1"));
        RaceExport exporter(f.db.db(), f.settings, *f.log, f.prompt, f.selection);

        // Heat 1 (seeds 1, 4, 5, 8): the lowest seeds win.
        raceInOrder(f, "1", {8, 5, 4, 1});
        QVERIFY(exporter.raceexporttoeventExecute());
        QCOMPARE(f.logCount("Bracket: next to fly is group 2"), 1);
        const QString winnersNext = groupOf(f, 8);
        const QString losersNext = groupOf(f, 1);
        QVERIFY(winnersNext != "1" && losersNext != "1" && winnersNext != losersNext);
        QCOMPARE(groupOf(f, 5), winnersNext);
        QCOMPARE(groupOf(f, 4), losersNext);

        // Heat 2, then the winners' heat both feed.
        raceInOrder(f, "2", {2, 3, 6, 7});
        QVERIFY(exporter.raceexporttoeventExecute());
        QCOMPARE(groupOf(f, 2), winnersNext);
        raceInOrder(f, winnersNext, {8, 2, 5, 3});
        QVERIFY(exporter.raceexporttoeventExecute());
        QVERIFY(groupOf(f, 8) != winnersNext);

        // Heat 1 corrected and exported again: the seeds 1 and 4 go on in
        // their place, and the winners' heat already flown is to be flown again.
        f.lines->lines.clear();
        raceInOrder(f, "1", {1, 4, 5, 8});
        QVERIFY(exporter.raceexporttoeventExecute());
        QCOMPARE(groupOf(f, 1), winnersNext);
        QCOMPARE(groupOf(f, 4), winnersNext);
        QCOMPARE(groupOf(f, 8), losersNext);
        QCOMPARE(groupOf(f, 5), losersNext);
        QCOMPARE(f.logCount(QString("(group %1): its result no longer fits").arg(winnersNext)), 1);
        QCOMPARE(f.logCount("Bracket: next to fly is group"), 1);
    }
};

QTEST_GUILESS_MAIN(TestExportFormats)
#include "tst_exportformats.moc"
