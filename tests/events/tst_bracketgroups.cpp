// Next Group on a bracket stage: the heats go in bracket order, each heat's
// pilots wherever their rows stand, and the end of the bracket is said.
#include "competition/bracketstage.h"
#include "events/stagegroups.h"
#include "tests/events/eventsfixture.h"

#include <QtTest>

using namespace lapvane;
using namespace lapvane::test;

namespace {

int bracketStage(EventsFixture &f, int pilots, const BracketSetup &setup)
{
    const int ev = f.addEvent("Cup");
    const int s = f.addStage(ev, "Eliminations");
    QList<int> seeds;
    for (int i = 1; i <= pilots; ++i) {
        f.addResult(s, i, QString("P%1").arg(i), 100 + i);
        seeds << i;
    }
    BracketStage made;
    QString error;
    if (!createBracketStage(f.db.db(), s, setup, seeds, &made, &error))
        qFatal("%s", qPrintable(error));
    f.showStage(s);
    return s;
}

QStringList raceNames(EventsFixture &f)
{
    QStringList names;
    for (const QVariantMap &r : f.rows("SELECT pilotname FROM onerace ORDER BY pilotid"))
        names << r.value("pilotname").toString();
    return names;
}

} // namespace

class TestBracketGroups : public QObject
{
    Q_OBJECT
private slots:
    void nextGroupWalksTheBracket()
    {
        EventsFixture f;
        const int s = bracketStage(f, 8, {BracketKind::DoubleElimination, 6, 0});
        StageGroups g(*f.views);
        // The race list holds another group: the bracket decides, not the list.
        f.addRaceRow(2, "P2", 102, "2");
        QVERIFY(g.btnextgroupClick());
        QCOMPARE(raceNames(f), (QStringList{"P1", "P4", "P5", "P8"}));
        QVERIFY(f.logLines->lines.last().startsWith("Sent 4 pilots of group 1 ("));

        BracketStage state;
        QString error;
        QVERIFY(recordHeatResult(f.db.db(), s, "1", {8, 5, 4, 1}, &state, &error));
        QVERIFY(f.views->rereadResults());
        QVERIFY(g.btnextgroupClick());
        QCOMPARE(raceNames(f), (QStringList{"P2", "P3", "P6", "P7"}));

        QVERIFY(recordHeatResult(f.db.db(), s, "2", {2, 3, 6, 7}, &state, &error));
        QVERIFY(f.views->rereadResults());
        QVERIFY(g.btnextgroupClick());
        // The next heat of the bracket, whichever that is, with its own pilots.
        QVERIFY(
            f.logLines->lines.last().startsWith(QString("Sent 4 pilots of group %1 (").arg(state.nextGroup)));
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM onerace WHERE \"group\"=?", {state.nextGroup}).toInt(), 4);
        QVERIFY(f.prompt.notices.isEmpty());
    }

    // Pilots seeded from two qualifying groups on the same four channels (as
    // the demo's): every heat flies on distinct channels, the better seed
    // keeping his, whatever order the results view is in.
    void everyHeatFliesOnDistinctChannels()
    {
        EventsFixture f;
        const int s = bracketStage(f, 8, {BracketKind::DoubleElimination, 6, 0});
        f.rows("UPDATE results SET vtx = CASE pilotid % 4 WHEN 1 THEN 'R1' WHEN 2 THEN 'R3' WHEN 3 THEN 'R6' "
               "ELSE 'R8' END");
        f.views->resultsModel()->setSortText("pilotid DESC");
        QVERIFY(f.views->rereadResults());
        StageGroups g(*f.views);
        int heats = 0;
        while (g.btnextgroupClick()) {
            ++heats;
            QList<int> order;
            QStringList channels;
            for (const QVariantMap &r :
                 f.rows("SELECT pilotid, pilotname, vtx FROM onerace ORDER BY pilotid")) {
                order << r["pilotid"].toInt();
                channels << r["pilotname"].toString() + "=" + r["vtx"].toString();
            }
            QVERIFY2(f.scalar("SELECT COUNT(DISTINCT vtx) FROM onerace").toInt() == order.size(),
                     qPrintable(channels.join(' ')));
            if (heats == 1) // seeds 1, 4, 5 and 8: 5 and 8 give way to 1 and 4
                QCOMPARE(channels, (QStringList{"P1=R1", "P4=R8", "P5=R2", "P8=R3"}));
            BracketStage state;
            QString error;
            const QString group = f.scalar("SELECT \"group\" FROM onerace LIMIT 1").toString();
            QVERIFY2(recordHeatResult(f.db.db(), s, group, order, &state, &error), qPrintable(error));
            QVERIFY(f.views->rereadResults());
        }
        QCOMPARE(heats, 6);
        // The stage keeps each pilot's own channel.
        QCOMPARE(f.scalar("SELECT vtx FROM results WHERE pilotid=5").toString(), QString("R1"));
    }

    void theEndOfTheBracketIsSaid()
    {
        EventsFixture f;
        const int s = bracketStage(f, 4, {BracketKind::Mains, 4, 0});
        StageGroups g(*f.views);
        QVERIFY(g.btnextgroupClick());
        QCOMPARE(raceNames(f).size(), 4);
        BracketStage state;
        QString error;
        QVERIFY(recordHeatResult(f.db.db(), s, "1", {3, 1, 2, 4}, &state, &error));
        QVERIFY(f.views->rereadResults());
        QVERIFY(!g.btnextgroupClick());
        QCOMPARE(f.prompt.notices, QStringList{"Next Group: every heat of the bracket has been flown."});
        QCOMPARE(raceNames(f).size(), 4); // the race list stays as it was
    }
};

QTEST_GUILESS_MAIN(TestBracketGroups)
#include "tst_bracketgroups.moc"
