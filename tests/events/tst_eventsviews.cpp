// Events, stages and the results view: creating and deleting, stage
// selection, the lock, column sort, the shared selection of the two results
// grids, the clipboard text and the team table refresh.
#include "competition/stagedeciding.h"
#include "events/stagegroups.h"
#include "events/stagerosters.h"
#include "events/teamrefresh.h"
#include "tests/events/eventsfixture.h"

#include <QTableView>
#include <QtTest>

using namespace lapvane;
using namespace lapvane::test;

class TestEventsViews : public QObject
{
    Q_OBJECT
private slots:
    void newEventStartsWithOneStageFromRaceSettings()
    {
        EventsFixture f;
        f.settings.set("edtlaps", "7");
        f.settings.set("edttimelimit", "3");
        QVERIFY(f.views->open());
        QVERIFY(f.views->eventnewExecute());
        QCOMPARE(f.views->eventsModel()->rowCountValue(), 1);
        QCOMPARE(f.views->eventsModel()->value(0, "date").toDate(), QDate::currentDate());
        QCOMPARE(f.views->stagesModel()->rowCountValue(), 1);
        QCOMPARE(f.views->currentStageName(), QString("New stage"));
        QCOMPARE(f.views->stagesModel()->value(0, "laplimit").toInt(), 7);
        QCOMPARE(f.views->stagesModel()->value(0, "timelimit").toInt(), 3);
        QCOMPARE(f.views->stagesModel()->value(0, "tracklen").toString(), QString("0"));
        QCOMPARE(f.views->stagesModel()->value(0, "events").toInt(), f.views->currentEventNum());
        QCOMPARE(f.views->resultsModel()->rowCountValue(), 0);
        QCOMPARE(f.views->selectedStageIds(), QList<int>{f.views->currentStageId()});
    }

    void newStageRefusesLimitThatIsNotANumber()
    {
        EventsFixture f;
        f.addEvent("Cup");
        QVERIFY(f.views->open());
        f.settings.set("edtlaps", "five");
        QVERIFY(!f.views->eventnewstageExecute());
        QCOMPARE(f.prompt.notices, QStringList{"'five' is not a valid integer value"});
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM stages").toInt(), 0);
    }

    void inPlaceEditsReachTheStore()
    {
        EventsFixture f;
        const int ev = f.addEvent("Cup");
        const int s = f.addStage(ev, "Q1");
        QVERIFY(f.views->open());
        SqlRowsModel &stages = *f.views->stagesModel();
        QVERIFY(stages.setData(stages.index(0, stages.fieldIndex("stagename")), "Final"));
        QVERIFY(stages.setData(stages.index(0, stages.fieldIndex("laplimit")), " 12"));
        QCOMPARE(f.scalar("SELECT laplimit FROM stages WHERE id=?", {s}).toInt(), 12);
        QCOMPARE(f.views->currentStageName(), QString("Final"));
        QVERIFY(!stages.setData(stages.index(0, stages.fieldIndex("laplimit")), "twelve"));
        QCOMPARE(f.prompt.notices, QStringList{"'twelve' is not a valid integer value"});
        QCOMPARE(f.scalar("SELECT laplimit FROM stages WHERE id=?", {s}).toInt(), 12);
        QVERIFY(!stages.setData(stages.index(0, 0), 99)); // the key is the store's
    }

    void selectingStagesShowsTheirUnionAndLastIsCurrent()
    {
        EventsFixture f;
        const int ev = f.addEvent("Cup");
        const int s1 = f.addStage(ev, "Q1"), s2 = f.addStage(ev, "Q2"), s3 = f.addStage(ev, "Final");
        f.addResult(s1, 1, "A", 1);
        f.addResult(s2, 2, "B", 2);
        f.addResult(s3, 3, "C", 3);
        f.addResult(s3, 4, "D", 4);
        QVERIFY(f.views->open());
        QCOMPARE(f.views->resultsModel()->rowCountValue(), 0); // "stage=0" until a stage is picked
        QCOMPARE(f.views->currentStageId(), s1);
        QVERIFY(f.views->selectStageRows({0, 2}));
        QCOMPARE(f.column("pilotname"), (QStringList{"A", "C", "D"}));
        QCOMPARE(f.views->currentStageId(), s3);
        QCOMPARE(f.views->selectedStageIds(), (QList<int>{s1, s3}));
        // A click with nothing selected (an empty stage list) changes nothing.
        f.views->stagesSelection()->clearSelection();
        QVERIFY(f.views->selectStages());
        QCOMPARE(f.views->resultsModel()->rowCountValue(), 3);
        // Another event without stages: the view keeps the previous stages.
        const int ev2 = f.addEvent("Other");
        QVERIFY(f.views->eventsModel()->reselect());
        QVERIFY(f.views->setCurrentEvent(f.views->eventsModel()->rowOfKey(ev2)));
        QCOMPARE(f.views->stagesModel()->rowCountValue(), 0);
        QCOMPARE(f.views->currentStageId(), 0);
        QCOMPARE(f.views->resultsModel()->rowCountValue(), 3);
        QCOMPARE(f.views->currentEventName(), QString("Other"));
    }

    void deletingKeepsRowsThatReferToIt()
    {
        EventsFixture f;
        const int ev = f.addEvent("Cup");
        const int s1 = f.addStage(ev, "Q1");
        f.addResult(s1, 1, "A", 1);
        f.showStage(s1);
        f.prompt.answers = {false, true};
        QVERIFY(!f.views->eventdelstageExecute());
        QVERIFY(f.views->eventdelstageExecute());
        QCOMPARE(f.prompt.questions.last(), QString("Are you sure to delete stage \"Q1\"?\n\rTHIS IS NOT REVERSABLE!"));
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM stages").toInt(), 0);
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM results WHERE stage=?", {s1}).toInt(), 1);

        const int s2 = f.addStage(ev, "Q2");
        f.prompt.answers = {true};
        QVERIFY(f.views->eventdelExecute());
        QCOMPARE(f.prompt.questions.last(), QString("Are you sure to delete event \"Cup\"?\n\rTHIS IS NOT REVERSABLE!"));
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM events").toInt(), 0);
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM stages WHERE id=?", {s2}).toInt(), 1);
    }

    void lockKeepsEventAndStage()
    {
        EventsFixture f;
        const int ev = f.addEvent("Cup");
        const int s1 = f.addStage(ev, "Q1");
        f.addStage(ev, "Q2");
        f.showStage(s1);
        f.views->setLocked(true);
        QVERIFY(!f.views->selectStageRows({1}));
        QVERIFY(!f.views->eventnewExecute());
        QVERIFY(!f.views->eventnewstageExecute());
        QVERIFY(!f.views->eventdelstageExecute());
        QVERIFY(!f.views->eventdelExecute());
        QVERIFY(!f.views->setCurrentEvent(0));
        // Still possible while locked: adding, grouping and sending pilots.
        StageRosters rosters(*f.views);
        QVERIFY(rosters.eventAdd2CurStageExecute({5, "Eve", "", "", "", 55}));
        f.views->setResultSelection({0});
        f.prompt.textAnswers = {"1"};
        StageGroups groups(*f.views);
        QVERIFY(groups.eventGroupExecute());
        QVERIFY(groups.eventsend2raceExecute());
        QCOMPARE(f.scalar("SELECT pilottrans FROM onerace").toInt(), 55);
        // A new stage from the selection would change the current stage.
        QVERIFY(!rosters.eventAdd2NewStageExecute());
        QVERIFY(!rosters.eventduplicatestageExecute());
        QCOMPARE(f.views->currentStageId(), s1);
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM stages").toInt(), 2);
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM events").toInt(), 1);
        f.views->setLocked(false);
        QVERIFY(f.views->selectStageRows({1}));
        QCOMPARE(f.views->currentStageName(), QString("Q2"));
    }

    void titleClickTogglesSortAndKeepsSelectedRows()
    {
        EventsFixture f;
        const int ev = f.addEvent("Cup");
        const int s = f.addStage(ev, "Q");
        f.addResult(s, 1, "A", 1, "", {{"qualtime", 41000}, {"qualtimetxt", "000:41.000"}});
        f.addResult(s, 2, "B", 2);
        f.addResult(s, 3, "C", 3, "", {{"qualtime", 39000}, {"qualtimetxt", "000:39.000"}});
        f.showStage(s);
        f.views->setResultSelection({0}); // A
        f.views->resultsTitleClick("qualtimetxt");
        QCOMPARE(f.column("pilotname"), (QStringList{"C", "A", "B"}));
        f.views->resultsTitleClick("qualtimetxt");
        QCOMPARE(f.views->resultsModel()->sortText(), QString("qualtimetxt DESC"));
        QCOMPARE(f.column("pilotname"), (QStringList{"B", "A", "C"}));
        f.views->resultsTitleClick("qualtimetxt");
        QCOMPARE(f.column("pilotname"), (QStringList{"C", "A", "B"}));
        QCOMPARE(f.views->selectedResultRows(), QList<int>{1}); // still A
        // Another column starts ascending again; a re-read keeps the sort.
        f.views->resultsTitleClick("pilotname");
        QVERIFY(f.views->rereadResults());
        QCOMPARE(f.views->resultsModel()->sortText(), QString("pilotname ASC"));
        QCOMPARE(f.column("pilotname"), (QStringList{"A", "B", "C"}));
    }

    void bothResultsGridsShowTheSameSelection()
    {
        EventsFixture f;
        const int ev = f.addEvent("Cup");
        const int s = f.addStage(ev, "Q");
        for (int i = 1; i <= 5; ++i)
            f.addResult(s, i, QString("P%1").arg(i), i);
        f.showStage(s);
        QTableView events, race;
        for (QTableView *v : {&events, &race}) {
            v->setModel(f.views->resultsModel());
            v->setSelectionModel(f.views->resultsSelection());
            v->setSelectionBehavior(QAbstractItemView::SelectRows);
            v->setSelectionMode(QAbstractItemView::ExtendedSelection);
        }
        events.selectionModel()->select(f.views->resultsModel()->index(0, 0),
                                        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        events.selectionModel()->select(f.views->resultsModel()->index(2, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
        events.selectionModel()->select(f.views->resultsModel()->index(4, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(race.selectionModel()->selectedRows().size(), 3);
        QVERIFY(race.selectionModel()->isRowSelected(2, {}));
        // And the other way round, replacing the selection.
        race.selectRow(1);
        QCOMPARE(events.selectionModel()->selectedRows().size(), 1);
        QVERIFY(events.selectionModel()->isRowSelected(1, {}));
        QCOMPARE(f.views->selectedResultRows(), QList<int>{1});
        QCOMPARE(f.views->currentResultRow(), 1);
        // A grid that selects single cells still names whole rows, in selection order.
        f.views->resultsSelection()->select(f.views->resultsModel()->index(4, 2), QItemSelectionModel::Select);
        f.views->resultsSelection()->select(f.views->resultsModel()->index(4, 3), QItemSelectionModel::Select);
        f.views->resultsSelection()->select(f.views->resultsModel()->index(0, 5), QItemSelectionModel::Select);
        QCOMPARE(f.views->selectedResultRows(), (QList<int>{1, 4, 0}));
    }

    void clipboardTextHasNameAndQualTime()
    {
        EventsFixture f;
        const int ev = f.addEvent("Cup");
        const int s = f.addStage(ev, "Q");
        f.addResult(s, 1, "Ann", 1, "", {{"qualtime", 41200}, {"qualtimetxt", "000:41.200"}});
        f.addResult(s, 2, "Bob", 2);
        f.showStage(s);
        QCOMPARE(f.views->nameQualText(), QString("Ann 000:41.200 *** Bob 999:59.999 *** "));
        f.views->resultsTitleClick("pilotname");
        f.views->resultsTitleClick("pilotname");
        QCOMPARE(f.views->nameQualText(), QString("Bob 999:59.999 *** Ann 000:41.200 *** "));
        QCOMPARE(EventsViews::clipboardNotice(), QString("Name+Qual time has been copied to clipboard."));
    }

    // A stage racing by a chosen format shows each pilot's kept deciding value
    // in a read-only last column "Result"; the default stage's grid has none.
    void resultColumnShowsTheKeptDecidingValueOfAFormatStage()
    {
        EventsFixture f;
        const int ev = f.addEvent("Cup");
        const int plain = f.addStage(ev, "Q1"), fast = f.addStage(ev, "Q2");
        f.addResult(plain, 1, "A", 1);
        f.addResult(fast, 1, "A", 1);
        f.addResult(fast, 2, "B", 2);
        QString error;
        QVERIFY2(writeStageFormat(f.db.db(), fast, RaceFormat::FastestLap, 30000, false, &error), qPrintable(error));
        RaceListRank a;
        a.pilotId = 1;
        a.ranked.decidingText = "best lap: 00:27.000";
        a.ranked.score.value = 27000;
        QVERIFY2(recordStageDeciding(f.db.db(), fast, {a}, &error), qPrintable(error));

        SqlRowsModel &m = *f.views->resultsModel();
        f.showStage(plain);
        const int fields = int(m.fieldNames().size());
        QCOMPARE(m.columnCount(), fields);

        f.showStage(fast);
        QCOMPARE(m.columnCount(), fields + 1);
        QCOMPARE(m.headerData(fields, Qt::Horizontal).toString(), QString("Result"));
        QCOMPARE(m.data(m.index(0, fields)).toString(), QString("best lap: 00:27.000"));
        QCOMPARE(m.data(m.index(1, fields)).toString(), QString()); // B has no race yet
        QVERIFY(!(m.flags(m.index(0, fields)) & Qt::ItemIsEditable));
        QVERIFY(!m.setData(m.index(0, fields), "x"));

        // A later export's better value shows on the next read.
        a.ranked.decidingText = "best lap: 00:25.000";
        a.ranked.score.value = 25000;
        QVERIFY2(recordStageDeciding(f.db.db(), fast, {a}, &error), qPrintable(error));
        QVERIFY(f.views->rereadResults());
        QCOMPARE(m.data(m.index(0, fields)).toString(), QString("best lap: 00:25.000"));

        f.showStage(plain);
        QCOMPARE(m.columnCount(), fields);
    }

    void teamRefreshListsTeamsInOrderOfFirstPilot()
    {
        EventsFixture f;
        const QStringList teams = {"Red", "Blue", "Red", "Green", "Blue", "Red", "", "1", "10"};
        for (int i = 0; i < teams.size(); ++i)
            f.addRaceRow(i + 1, QString("P%1").arg(i), i + 1, teams[i]);
        f.prompt.answers = {false, true};
        QVERIFY(!TeamRefresh::btrefreshClick(f.prompt, f.db.db()));
        const auto groups = TeamRefresh::btrefreshClick(f.prompt, f.db.db());
        QVERIFY(groups);
        QCOMPARE(f.prompt.questions.last(), QString("Refresh will reset all data. Continue?"));
        QCOMPARE(TeamRefresh::teamsInOrder(*groups), (QStringList{"Red", "Blue", "Green", "1", "10"}));
        // The race list's own order decides which team comes first.
        QCOMPARE(TeamRefresh::teamsInOrder(TeamRefresh::raceListGroups(f.db.db(), "pilotid DESC")),
                 (QStringList{"10", "1", "Red", "Blue", "Green"}));
        QCOMPARE(TeamRefresh::raceListGroups(f.db.db(), "nosuchfield ASC").first(), QString("Red"));
    }
};

QTEST_MAIN(TestEventsViews)
#include "tst_eventsviews.moc"
