// Groups: the group dialog arithmetic, auto group and its refusals, naming a
// group, the check list, sending to the race and the next group.
#include "events/stagegroups.h"
#include "tests/events/eventsfixture.h"

#include <QtTest>

using namespace lapvane;
using namespace lapvane::test;

namespace {

// A stage of n pilots shown in the results view; pilot i has transponder 100+i.
int stageOf(EventsFixture &f, int n, const QStringList &groups = {})
{
    const int ev = f.addEvent("Cup");
    const int s = f.addStage(ev, "Q1");
    for (int i = 1; i <= n; ++i)
        f.addResult(s, i, QString("P%1").arg(i), 100 + i, groups.value(i - 1), {{"vtx", "old"}});
    f.showStage(s);
    return s;
}

} // namespace

class TestStageGroups : public QObject
{
    Q_OBJECT
private slots:
    void dialogArithmetic_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("groups");
        QTest::addColumn<QString>("pilots");
        QTest::newRow("3 per group") << "pilots"
                                     << "3"
                                     << "4"
                                     << "3";
        QTest::newRow("6 per group settles on 5") << "pilots"
                                                  << "6"
                                                  << "2"
                                                  << "5";
        QTest::newRow("4 groups") << "groups"
                                  << "4"
                                  << "4"
                                  << "3";
        QTest::newRow("6 groups settles on 5") << "groups"
                                               << "6"
                                               << "5"
                                               << "2";
        QTest::newRow("zero per group") << "pilots"
                                        << "0"
                                        << "err"
                                        << "0";
        QTest::newRow("letters for groups") << "groups"
                                            << "x"
                                            << "x"
                                            << "err";
    }
    void dialogArithmetic()
    {
        QFETCH(QString, edit);
        QFETCH(QString, typed);
        QFETCH(QString, groups);
        QFETCH(QString, pilots);
        GroupDialogModel d;
        d.show(10);
        if (edit == "pilots")
            d.editPilotsPerGroup(typed);
        else
            d.editGroups(typed);
        QCOMPARE(d.groupsText(), groups);
        QCOMPARE(d.pilotsPerGroupText(), pilots);
    }

    void autoGroupDeals_data()
    {
        QTest::addColumn<QString>("groups");
        QTest::addColumn<QString>("perGroup");
        QTest::addColumn<QStringList>("channels");
        QTest::addColumn<QStringList>("expectGroups");
        QTest::addColumn<QStringList>("expectVtx");
        const QStringList ch = {"R2", "R3", "R6", "R8"};
        QTest::newRow("10 by 3") << "4"
                                 << "3" << ch << QStringList{"1", "2", "3", "4", "1", "2", "3", "1", "2", "3"}
                                 << QStringList{"R2", "R2", "R2", "R2", "R3", "R3", "R3", "R6", "R6", "R6"};
        QTest::newRow("10 by 4") << "3"
                                 << "4" << ch << QStringList{"1", "2", "3", "1", "2", "3", "1", "2", "1", "2"}
                                 << QStringList{"R2", "R2", "R2", "R3", "R3", "R3", "R6", "R6", "R8", "R8"};
        QTest::newRow("no channels") << "2"
                                     << "5" << QStringList{}
                                     << QStringList{"1", "2", "1", "2", "1", "2", "1", "2", "1", "2"}
                                     << QStringList(10, QString());
        QTest::newRow("channels repeat") << "5"
                                         << "2" << QStringList{"A", "", "B"}
                                         << QStringList{"1", "2", "3", "4", "5", "1", "2", "3", "4", "5"}
                                         << QStringList{"A", "A", "A", "A", "A", "B", "B", "B", "B", "B"};
    }
    void autoGroupDeals()
    {
        QFETCH(QString, groups);
        QFETCH(QString, perGroup);
        QFETCH(QStringList, channels);
        QFETCH(QStringList, expectGroups);
        QFETCH(QStringList, expectVtx);
        EventsFixture f;
        stageOf(f, 10);
        StageGroups g(*f.views);
        QVERIFY(g.autoGroup(groups, perGroup, channels));
        QCOMPARE(f.column("group"), expectGroups);
        QCOMPARE(f.column("vtx"), expectVtx);
        QVERIFY(f.prompt.notices.isEmpty());
        QCOMPARE(f.scalar("SELECT vtx FROM results ORDER BY id LIMIT 1").toString(), expectVtx.first());
    }

    void autoGroupFollowsViewOrderThroughTheDialog()
    {
        EventsFixture f;
        stageOf(f, 5);
        f.views->resultsTitleClick("pilotname");
        f.views->resultsTitleClick("pilotname"); // P5 .. P1
        StageGroups g(*f.views);
        g.hooks().showGroupDialog = [](GroupDialogModel &d) {
            d.editPilotsPerGroup("3");
            return true;
        };
        QVERIFY(g.eventsAutogroupExecute());
        QCOMPARE(g.groupDialog().records(), 5);
        QCOMPARE(f.column("pilotname"), (QStringList{"P5", "P4", "P3", "P2", "P1"}));
        QCOMPARE(f.column("group"), (QStringList{"1", "2", "1", "2", "1"}));
        g.hooks().showGroupDialog = [](GroupDialogModel &) { return false; };
        QVERIFY(!g.eventsAutogroupExecute());
    }

    void autoGroupRefusesBeforeAnyRowChanges_data()
    {
        QTest::addColumn<QString>("groups");
        QTest::addColumn<QString>("perGroup");
        QTest::addColumn<QString>("message");
        QTest::newRow("zero per group") << "4"
                                        << "0"
                                        << "\"Pilots per grp:\" must be a whole number above 0";
        QTest::newRow("per group not a number") << "4"
                                                << "three"
                                                << "\"Pilots per grp:\" must be a whole number above 0";
        QTest::newRow("per group err") << "4"
                                       << "err"
                                       << "\"Pilots per grp:\" must be a whole number above 0";
        QTest::newRow("groups not a number") << "err"
                                             << "3"
                                             << "\"Groups:\" must be a whole number from 1 to 255";
        QTest::newRow("groups above 8 bits") << "256"
                                             << "1"
                                             << "\"Groups:\" must be a whole number from 1 to 255";
        QTest::newRow("more groups than needed") << "5"
                                                 << "3"
                                                 << "10 pilots in groups of 3 make 4 groups, not 5";
        QTest::newRow("groups too few to hold") << "2"
                                                << "3"
                                                << "10 pilots in groups of 3 make 4 groups, not 2";
    }
    void autoGroupRefusesBeforeAnyRowChanges()
    {
        QFETCH(QString, groups);
        QFETCH(QString, perGroup);
        QFETCH(QString, message);
        EventsFixture f;
        stageOf(f, 10, QStringList(10, "old"));
        StageGroups g(*f.views);
        QVERIFY(!g.autoGroup(groups, perGroup, {"R2"}));
        QCOMPARE(f.prompt.notices.size(), 1);
        QVERIFY2(f.prompt.notices.first().contains(message), qPrintable(f.prompt.notices.first()));
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM results WHERE \"group\"='old' AND vtx='old'").toInt(), 10);
    }

    void groupNamesSelectedRows()
    {
        EventsFixture f;
        stageOf(f, 4);
        StageGroups g(*f.views);
        f.views->setResultSelection({1, 3});
        f.prompt.textAnswers = {"Blue"};
        QVERIFY(g.eventGroupExecute());
        QCOMPARE(f.column("group"), (QStringList{"", "Blue", "", "Blue"}));
        QVERIFY(!g.eventGroupExecute()); // cancelled: nothing changes
        QCOMPARE(f.column("group"), (QStringList{"", "Blue", "", "Blue"}));
    }

    void checkListMarksAdjacentClashes()
    {
        EventsFixture f;
        const int ev = f.addEvent("Cup");
        const int s = f.addStage(ev, "Q1");
        f.addResult(s, 1, "A", 7, "2");
        f.addResult(s, 2, "B", 5, "1");
        f.addResult(s, 3, "C", 8, "2");
        f.addResult(s, 4, "D", 5, "1");
        f.addResult(s, 5, "E", 7, "2");
        f.addResult(s, 6, "F", 9, "3");
        f.showStage(s);
        f.views->setResultSelection({1, 2}); // B, first after sorting, keeps its state; C loses it
        StageGroups g(*f.views);
        g.eventCheckListExecute();
        QCOMPARE(f.views->resultsModel()->sortText(), QString("group ASC"));
        QCOMPARE(f.column("pilotname"), (QStringList{"B", "D", "A", "C", "E", "F"}));
        QList<int> selected = f.views->selectedResultRows();
        std::sort(selected.begin(), selected.end());
        // D clashes with B; A and E share 7 in group 2 but are not adjacent.
        QCOMPARE(selected, (QList<int>{0, 1}));
    }

    void sendToRaceGivesTemporaryTransponder()
    {
        EventsFixture f;
        stageOf(f, 3);
        f.views->resultsModel()->setValue(1, "pilottrans", 0);
        f.views->resultsModel()->setValue(1, "group", "2");
        f.views->resultsModel()->setValue(1, "vtx", "R6");
        f.addRaceRow(99, "Earlier", 30005);
        StageGroups g(*f.views);
        QList<int> draws = {5, 7};
        g.setRandom([&](int bound) {
            [&] { QCOMPARE(bound, 30000); }();
            return draws.takeFirst();
        });
        QStringList sorts;
        g.hooks().raceListChanged = [&](const QString &s) { sorts << s; };
        f.views->setResultSelection({1});
        QVERIFY(g.eventsend2raceExecute());
        QCOMPARE(f.prompt.notices, QStringList{"No transponder # for \"P2\".\r\nGenerated TEMPORARY value."});
        const auto race = f.rows("SELECT * FROM onerace WHERE pilotid=2");
        QCOMPARE(race.size(), 1);
        QCOMPARE(race[0]["pilottrans"].toInt(), 30007); // 30005 is taken already
        QCOMPARE(race[0]["group"].toString(), QString("2"));
        QCOMPARE(race[0]["vtx"].toString(), QString("R6"));
        QCOMPARE(race[0]["nickname"].toString(), QString("P2_n"));
        QCOMPARE(race[0]["place"].toInt(), 999);
        QCOMPARE(race[0]["lapno"].toInt(), 0);
        QCOMPARE(race[0]["confirmed"].toString(), QString("N"));
        QCOMPARE(f.scalar("SELECT pilottrans FROM results WHERE pilotid=2").toInt(), 0);
        QCOMPARE(sorts, QStringList{"vtx ASC"});

        // The real random source stays within 30000..59999.
        StageGroups real(*f.views);
        for (int i = 0; i < 200; ++i) {
            const int t = real.temporaryTransponder();
            QVERIFY(t >= 30000 && t <= 59999);
        }
    }

    // Two selected pilots on one channel: the earlier row keeps it, the other
    // flies on the first channel of the set nobody in the race list holds;
    // the results keep every pilot's own channel.
    void sendToRaceGivesDistinctChannels()
    {
        EventsFixture f;
        stageOf(f, 4);
        const QStringList own = {"R6", "R6", "", "R1"};
        for (int r = 0; r < 4; ++r)
            f.views->resultsModel()->setValue(r, "vtx", own[r]);
        f.addRaceRow(99, "Earlier", 30005);
        f.rows("UPDATE onerace SET vtx='R2'");
        f.settings.set("cbvtxchannels", "R1 R2 F2 F4 R7 R8");
        StageGroups g(*f.views);
        QList<QStringList> notes;
        g.hooks().channelNotes = [&](const QStringList &lines) { notes << lines; };
        f.views->setResultSelection({0, 1, 2, 3});
        QVERIFY(g.eventsend2raceExecute());

        QStringList race;
        for (const QVariantMap &r : f.rows("SELECT pilotname, vtx FROM onerace ORDER BY id"))
            race << r["pilotname"].toString() + "=" + r["vtx"].toString();
        QCOMPARE(race, (QStringList{"Earlier=R2", "P1=R6", "P2=F2", "P3=F4", "P4=R1"}));
        const QStringList said = {"Channel: P2 flies on F2 instead of R6 (R6 is P1's).",
                                  "Channel: P3 flies on F4 (no channel of his own given)."};
        QCOMPARE(notes, QList<QStringList>{said});
        QCOMPARE(f.logLines->lines, said);
        QCOMPARE(f.column("vtx"), own);

        // Pilots on their own channels: nothing to say, and the race page hears so.
        EventsFixture plain;
        stageOf(plain, 2);
        plain.views->resultsModel()->setValue(0, "vtx", "R1");
        plain.views->resultsModel()->setValue(1, "vtx", "R2");
        StageGroups g2(*plain.views);
        notes.clear();
        g2.hooks().channelNotes = [&](const QStringList &lines) { notes << lines; };
        plain.views->setResultSelection({0, 1});
        QVERIFY(g2.eventsend2raceExecute());
        QCOMPARE(notes, QList<QStringList>{QStringList{}});
        QCOMPARE(plain.logLines->lines, QStringList{});
    }

    void sendToRaceStops_data()
    {
        QTest::addColumn<bool>("answerNo");
        QTest::addColumn<bool>("ending");
        QTest::newRow("operator says No") << true << false;
        QTest::newRow("pilot already in race") << false << false;
        QTest::newRow("program told to end") << true << true;
    }
    void sendToRaceStops()
    {
        QFETCH(bool, answerNo);
        QFETCH(bool, ending);
        EventsFixture f;
        stageOf(f, 3);
        if (ending) {
            // Told to end at the second question: not even the first pilot goes.
            f.settings.set("chkconfirmAdd", true);
            f.prompt.stopAt = "\"P2\"";
        } else if (answerNo) {
            f.settings.set("chkconfirmAdd", true);
            f.prompt.answers = {true, false};
        } else {
            f.addRaceRow(2, "P2", 102);
        }
        StageGroups g(*f.views);
        int located = 0, reloaded = 0;
        g.hooks().locateInRaceList = [&](int pilot) { located = pilot; };
        g.hooks().raceListChanged = [&](const QString &) { ++reloaded; };
        f.views->setResultSelection({0, 1, 2});
        QVERIFY(!g.eventsend2raceExecute());
        if (answerNo) {
            QCOMPARE(f.prompt.questions.last(), QString("Adding pilot \"P2\" to start now.\n\r\n\rConfirm?"));
        } else {
            QCOMPARE(f.prompt.notices.last(),
                     QString("This pilot is already in list. Click OK to locate him."));
            QCOMPARE(located, 2);
        }
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM onerace WHERE pilotid=1").toInt(), ending ? 0 : 1);
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM onerace WHERE pilotid=3").toInt(), 0);
        QCOMPARE(reloaded, 0);
    }

    // Next Group asks its questions before it empties the race list: told to
    // end at one of them, the race in the list keeps its pilots and laps.
    void nextGroupToldToEndKeepsTheRace()
    {
        EventsFixture f;
        stageOf(f, 4, {"1", "1", "2", "2"});
        f.addRaceRow(1, "P1", 101, "1");
        f.addRaceRow(2, "P2", 102, "1");
        f.rows("INSERT INTO laps (pilotid, lapn, laptime, laptimetxt) VALUES (1, 1, 1000, '000:01.000')");
        f.settings.set("chkconfirmAdd", true);
        f.prompt.stopAt = "\"P4\"";
        StageGroups g(*f.views); // no hooks: the store part of the reset
        QVERIFY(!g.btnextgroupClick());
        QCOMPARE(f.prompt.questions.size(), 2);
        QCOMPARE(f.scalar("SELECT group_concat(pilotname) FROM onerace").toString(), QString("P1,P2"));
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM laps").toInt(), 1);
    }

    void nextGroupRunsItsStepsInOrder()
    {
        EventsFixture f;
        stageOf(f, 5, {"1", "1", "2", "2", "3"});
        f.addRaceRow(1, "P1", 101, "1");
        f.addRaceRow(2, "P2", 102, "1");
        for (const char *s : {"chautoreg", "chautoconfirm", "chvoiceinvite"})
            f.settings.set(s, true);
        StageGroups g(*f.views);
        QStringList steps;
        QStringList raceAtRegister;
        g.hooks().resetList = [&] {
            steps << "reset";
            f.rows("DELETE FROM onerace");
        };
        g.hooks().raceListChanged = [&](const QString &s) { steps << "reload " + s; };
        g.hooks().registerPilots = [&] {
            steps << "register";
            for (const auto &r : f.rows("SELECT pilotname FROM onerace ORDER BY id"))
                raceAtRegister << r["pilotname"].toString();
        };
        g.hooks().confirmAll = [&] { steps << "confirm"; };
        g.hooks().voiceInvite = [&] { steps << "invite"; };
        QVERIFY(g.btnextgroupClick());
        QCOMPARE(steps, (QStringList{"reset", "reload vtx ASC", "register", "confirm", "invite"}));
        QCOMPARE(raceAtRegister, (QStringList{"P3", "P4"}));
        QCOMPARE(f.views->selectedResultRows(), (QList<int>{2, 3}));

        // The race now holds group 2; the next click brings group 3, and then
        // the last group stays without a word.
        QVERIFY(g.btnextgroupClick());
        steps.clear();
        QVERIFY(!g.btnextgroupClick());
        QVERIFY(steps.isEmpty());
        QVERIFY(f.prompt.notices.isEmpty());
        QCOMPARE(f.scalar("SELECT pilotname FROM onerace").toString(), QString("P5"));
    }

    // After Auto group the rows of a group are spread over the list: Next
    // Group sends the rows next to each other and says what it left behind.
    void nextGroupSaysWhatItSentAndWhatItLeft()
    {
        EventsFixture f;
        stageOf(f, 6, {"1", "2", "2", "1", "2", "1"});
        f.addRaceRow(1, "P1", 101, "1");
        StageGroups g(*f.views);
        QVERIFY(g.btnextgroupClick());
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM onerace").toInt(), 2);
        QCOMPARE(f.logLines->lines.mid(f.logLines->lines.size() - 2),
                 (QStringList{"Sent 2 pilots of group 2",
                              "1 more pilots of group 2 are further down the list: sort it by Group"}));

        // Sorted by group, the whole group goes and nothing is left behind.
        EventsFixture sorted;
        stageOf(sorted, 4, {"1", "1", "2", "2"});
        sorted.addRaceRow(1, "P1", 101, "1");
        StageGroups g2(*sorted.views);
        QVERIFY(g2.btnextgroupClick());
        QCOMPARE(sorted.logLines->lines.last(), QString("Sent 2 pilots of group 2"));
        QVERIFY(!sorted.logLines->lines.join('\n').contains("further down"));
    }

    // The group goes in with a channel for each pilot; the group it replaces
    // holds none of them any more.
    void nextGroupGivesDistinctChannels()
    {
        EventsFixture f;
        stageOf(f, 5, {"1", "1", "2", "2", "2"});
        const QStringList own = {"R1", "R2", "R2", "R2", "R1"};
        for (int r = 0; r < 5; ++r)
            f.views->resultsModel()->setValue(r, "vtx", own[r]);
        f.addRaceRow(1, "P1", 101, "1");
        StageGroups g(*f.views);
        QVERIFY(g.btnextgroupClick());
        QStringList race;
        for (const QVariantMap &r : f.rows("SELECT pilotname, vtx FROM onerace ORDER BY id"))
            race << r["pilotname"].toString() + "=" + r["vtx"].toString();
        QCOMPARE(race, (QStringList{"P3=R2", "P4=R3", "P5=R1"}));
        QCOMPARE(f.logLines->lines, (QStringList{"Channel: P4 flies on R3 instead of R2 (R2 is P3's).",
                                                 "Sent 3 pilots of group 2"}));
    }

    void nextGroupWithEmptyRaceList()
    {
        EventsFixture f;
        stageOf(f, 5, {"", "", "1", "1", "2"});
        f.rows("INSERT INTO laps (pilotid, lapn, laptime, laptimetxt) VALUES (3, 1, 1000, '000:01.000')");
        f.rows("INSERT INTO laps (pilotid, lapn, laptime, laptimetxt) VALUES (42, 1, 1000, '000:01.000')");
        StageGroups g(*f.views); // no hooks: the store part of the reset
        QVERIFY(g.btnextgroupClick());
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM onerace").toInt(), 2);
        QVERIFY(g.btnextgroupClick()); // the reset drops P3 and P4's laps
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM laps WHERE pilotid=3").toInt(), 0);
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM laps WHERE pilotid=42").toInt(), 1);

        EventsFixture all;
        stageOf(all, 2, {"1", "2"});
        StageGroups g2(*all.views);
        QVERIFY(!g2.btnextgroupClick());
        QCOMPARE(all.prompt.notices, QStringList{"End of list!"});
        QCOMPARE(all.scalar("SELECT COUNT(*) FROM onerace").toInt(), 0);
    }
};

QTEST_MAIN(TestStageGroups)
#include "tst_stagegroups.moc"
