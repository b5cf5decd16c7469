// Stage rosters: adding a registry pilot, new stages from selected rows,
// duplicating with the carry-over switches, deleting rows.
#include "events/stagerosters.h"
#include "tests/events/eventsfixture.h"

#include <QtTest>

using namespace lapvane;
using namespace lapvane::test;

namespace {

const QStringList kDupSwitches = {"chdupgroup",   "chdupvtx",      "chkdupplace",     "chkdupwins",
                                  "chkduplaps",   "chkdupbestlap", "chkduptotaltime", "chkdupqualtime"};

QVariantMap fullRow(int i)
{
    return {{"vtx", QString("R%1").arg(i)}, {"place", i},   {"wins", 10 + i},       {"lapno", 20 + i},
            {"besttime", 30000 + i},        {"besttimetxt", QString("000:30.00%1").arg(i)},
            {"totaltime", 90000 + i},       {"totaltimetxt", QString("001:30.00%1").arg(i)},
            {"qualtime", 29000 + i},        {"qualtimetxt", QString("000:29.00%1").arg(i)}};
}

const QStringList kCopiedFields = {"pilotid", "pilotname", "nickname",  "pilotteam", "coptercolor",
                                   "pilottrans", "group",  "vtx",       "place",     "wins",
                                   "lapno",   "besttime", "besttimetxt", "totaltime", "totaltimetxt",
                                   "qualtime", "qualtimetxt"};

} // namespace

class TestStageRosters : public QObject
{
    Q_OBJECT
private slots:
    void addToCurrentStage()
    {
        EventsFixture f;
        const int ev = f.addEvent("Cup");
        const int s = f.addStage(ev, "Q1");
        f.showStage(s);
        StageRosters rosters(*f.views);
        PilotRecord ann{7, "Ann", "an", "Red", "blue", 0};
        f.settings.set("chkconfirmAdd", true);
        f.prompt.answers = {false};
        QVERIFY(!rosters.eventAdd2CurStageExecute(ann));
        QCOMPARE(f.prompt.questions.last(), QString("Adding pilot \"Ann\"\n\rto \"Cup - Q1\"\n\rConfirm?"));
        QCOMPARE(f.views->resultsModel()->rowCountValue(), 0);

        f.prompt.answers = {true};
        QVERIFY(rosters.eventAdd2CurStageExecute(ann));
        const auto rows = f.rows("SELECT * FROM results");
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0]["stage"].toInt(), s);
        QCOMPARE(rows[0]["pilotid"].toInt(), 7);
        QCOMPARE(rows[0]["pilottrans"].toInt(), 0); // no temporary number in the roster
        QCOMPARE(rows[0]["pilotteam"].toString(), QString("Red"));
        for (const char *t : {"besttimetxt", "totaltimetxt", "qualtimetxt"})
            QCOMPARE(rows[0][t].toString(), QString("999:59.999"));
        QCOMPARE(rows[0]["qualtime"].toInt(), 59999999);
        QCOMPARE(f.views->resultsModel()->rowCountValue(), 1);

        // Already shown: located, not added again.
        QSignalSpy locate(f.views.get(), &EventsViews::locateResultsRow);
        f.prompt.answers = {true};
        QVERIFY(!rosters.eventAdd2CurStageExecute(ann));
        QCOMPARE(f.prompt.notices.last(), QString("This pilot is already in list. Click OK to locate him."));
        QCOMPARE(locate.size(), 1);
        QCOMPARE(f.views->currentResultRow(), 0);
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM results").toInt(), 1);
    }

    void duplicateStage_data()
    {
        QTest::addColumn<bool>("allOn");
        QTest::newRow("all options off") << false;
        QTest::newRow("all options on") << true;
    }
    void duplicateStage()
    {
        QFETCH(bool, allOn);
        EventsFixture f;
        for (const QString &s : kDupSwitches)
            f.settings.set(s, allOn);
        const int ev = f.addEvent("Cup");
        const int s = f.addStage(ev, "Final", 8);
        for (int i = 1; i <= 5; ++i)
            f.addResult(s, i, QString("P%1").arg(i), 100 + i, QString::number(1 + i % 2), fullRow(i));
        f.showStage(s);
        StageRosters rosters(*f.views);
        QVERIFY(rosters.eventduplicatestageExecute());
        QCOMPARE(f.views->currentStageName(), QString("Final2"));
        const int copy = f.views->currentStageId();
        QVERIFY(copy != s);
        QCOMPARE(f.views->selectedStageIds(), QList<int>{copy});
        QCOMPARE(f.views->resultsModel()->rowCountValue(), 5);
        const auto stage = f.rows("SELECT * FROM stages WHERE id=?", {copy}).first();
        QCOMPARE(stage["laplimit"].toInt(), 8);
        QCOMPARE(stage["tracklen"].toString(), QString("0"));
        QCOMPARE(stage["events"].toInt(), ev);

        const auto src = f.rows("SELECT * FROM results WHERE stage=? ORDER BY id", {s});
        const auto dst = f.rows("SELECT * FROM results WHERE stage=? ORDER BY id", {copy});
        QCOMPARE(dst.size(), 5);
        for (int i = 0; i < 5; ++i) {
            if (allOn) {
                for (const QString &field : kCopiedFields)
                    QVERIFY2(dst[i][field] == src[i][field], qPrintable(field));
            } else {
                QCOMPARE(dst[i]["pilotname"], src[i]["pilotname"]);
                QCOMPARE(dst[i]["pilottrans"], src[i]["pilottrans"]);
                QCOMPARE(dst[i]["group"].toString(), QString());
                QCOMPARE(dst[i]["vtx"].toString(), QString());
                QCOMPARE(dst[i]["wins"].toInt(), 0);
                QCOMPARE(dst[i]["lapno"].toInt(), 0);
                QCOMPARE(dst[i]["place"].toInt(), 999);
                for (const char *t : {"besttime", "totaltime", "qualtime"})
                    QCOMPARE(dst[i][t].toInt(), 59999999);
                for (const char *t : {"besttimetxt", "totaltimetxt", "qualtimetxt"})
                    QCOMPARE(dst[i][t].toString(), QString("999:59.999"));
            }
        }
    }

    void addToNewStagePlaces_data()
    {
        QTest::addColumn<bool>("dupPlace");
        QTest::addColumn<int>("place");
        QTest::newRow("place not carried") << false << 0;
        QTest::newRow("place carried") << true << 4;
    }
    void addToNewStagePlaces()
    {
        QFETCH(bool, dupPlace);
        QFETCH(int, place);
        EventsFixture f;
        f.settings.set("chkdupplace", dupPlace);
        f.settings.set("chdupgroup", true);
        const int ev = f.addEvent("Cup");
        const int s = f.addStage(ev, "Q1");
        for (int i = 1; i <= 10; ++i)
            f.addResult(s, i, QString("P%1").arg(i), i, "1", {{"place", i}});
        f.showStage(s);
        StageRosters rosters(*f.views);
        QVERIFY(!rosters.eventAdd2NewStageExecute()); // nothing selected: nothing made
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM stages").toInt(), 1);

        f.views->setResultSelection({6, 3}); // P7 then P4
        QVERIFY(rosters.eventAdd2NewStageExecute());
        const int made = f.views->currentStageId();
        QCOMPARE(f.views->currentStageName(), QString("New stage"));
        QCOMPARE(f.views->selectedStageIds(), QList<int>{s}); // the view keeps its stage
        QCOMPARE(f.views->resultsModel()->rowCountValue(), 10);
        const auto rows = f.rows("SELECT pilotname, place, \"group\" FROM results WHERE stage=? ORDER BY id", {made});
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0]["pilotname"].toString(), QString("P4")); // view order
        QCOMPARE(rows[0]["place"].toInt(), place);
        QCOMPARE(rows[0]["group"].toString(), QString("1")); // carried by "dupGroup"
        QCOMPARE(rows[1]["pilotname"].toString(), QString("P7"));
    }

    void deleteSelectedAndClearAll()
    {
        EventsFixture f;
        const int ev = f.addEvent("Cup");
        const int s1 = f.addStage(ev, "Q1"), s2 = f.addStage(ev, "Q2");
        for (int i = 1; i <= 4; ++i)
            f.addResult(i <= 2 ? s1 : s2, i, QString("P%1").arg(i), i);
        f.addResult(999, 9, "Elsewhere", 9);
        f.showStage(s1);
        f.views->selectStageRows({0, 1});
        StageRosters rosters(*f.views);

        f.views->clearResultSelection();
        f.prompt.answers = {true};
        QVERIFY(!rosters.eventdelpilotExecute());
        QCOMPARE(f.prompt.questions.last(), QString("Are you sure to delete 0 records?\n\rTHIS IS NOT REVERSABLE!"));

        f.views->setResultSelection({1});
        f.prompt.answers = {false};
        QVERIFY(!rosters.eventdelpilotExecute());
        QCOMPARE(f.prompt.questions.last(), QString("Are you sure to delete pilot \"P2\"?\n\rTHIS IS NOT REVERSABLE!"));
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM results").toInt(), 5);

        f.views->setResultSelection({0, 2});
        f.prompt.answers = {true};
        QVERIFY(rosters.eventdelpilotExecute());
        QCOMPARE(f.prompt.questions.last(), QString("Are you sure to delete 2 records?\n\rTHIS IS NOT REVERSABLE!"));
        QCOMPARE(f.column("pilotname"), (QStringList{"P2", "P4"}));

        f.prompt.answers = {true};
        QVERIFY(rosters.eventclearpilotsExecute());
        QCOMPARE(f.prompt.questions.last(), QString("Are you sure to delete ALL RECORDS?\n\rTHIS IS NOT REVERSABLE!"));
        QCOMPARE(f.views->resultsModel()->rowCountValue(), 0);
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM results").toInt(), 1); // other stages untouched
    }
};

QTEST_MAIN(TestStageRosters)
#include "tst_stagerosters.moc"
