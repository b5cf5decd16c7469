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
