// A race belongs to the stage and group it was sent from: looking at another
// stage on the Events page changes neither its rules, nor where it is
// exported, nor its name in the log. When the two differ at Start Race or at
// the export, the operator is asked which stage, the race's own first.
#include "race/raceexport.h"
#include "race/racestage.h"
#include "tests/race/racefixture.h"

#include <QSqlQuery>
#include <QtTest>

using namespace lapvane;
using namespace lapvane::test;

namespace {

// What the Events page shows; the test moves it by hand.
class Browsing : public CurrentSelection
{
public:
    int stage = 1;
    int currentEventNum() const override { return 1; }
    QString currentEventName() const override { return QStringLiteral("Cup"); }
    int currentStageId() const override { return stage; }
    QString currentStageName() const override
    {
        return stage == 1 ? QStringLiteral("Qualifying") : QStringLiteral("Heats");
    }
    QList<int> selectedStageIds() const override { return {stage}; }
};

struct Staged
{
    explicit Staged(RaceFixture &f) : f(f)
    {
        QSqlQuery q(f.db.db());
        q.exec("INSERT INTO events (num, eventname) VALUES (1, 'Cup')");
        q.exec("INSERT INTO stages (id, events, stagename) VALUES (1, 1, 'Qualifying')");
        q.exec("INSERT INTO stages (id, events, stagename) VALUES (2, 1, 'Heats')");
        for (int stage : {1, 2})
            q.exec(QString("INSERT INTO results (stage, pilotid, pilotname, wins, place, lapno, qualtime) "
                           "VALUES (%1, 1, 'Anna', 0, 999, 0, 59999999)")
                       .arg(stage));
        f.settings.set("edstartdelay", "0");
        f.settings.set("chkupdlaps", true);
        makeParts();
    }
    void makeParts()
    {
        f.engine.reset();
        exporter.reset();
        stage = std::make_unique<RaceStage>(f.db.db(), browsing, *f.log, f.services().raceStateFile);
        RaceServices s = f.services();
        s.selection = stage.get();
        s.raceStage = stage.get();
        f.engine = std::make_unique<RaceEngine>(s);
        f.engine->setTimerDriven(false);
        exporter = std::make_unique<RaceExport>(f.db.db(), f.settings, *f.log, f.prompt, *stage);
        exporter->setRaceStage(stage.get());
    }
    int lapsIn(int stageId) const
    {
        QSqlQuery q(f.db.db());
        return q.exec(QString("SELECT lapno FROM results WHERE stage=%1").arg(stageId)) && q.next()
                   ? q.value(0).toInt()
                   : -1;
    }
    RaceFixture &f;
    Browsing browsing;
    std::unique_ptr<RaceStage> stage;
    std::unique_ptr<RaceExport> exporter;
};

} // namespace

class TestRaceStage : public QObject
{
    Q_OBJECT
private slots:
    // Sent from Qualifying; the operator then looks at Heats.
    void startAsksWhichStage_data()
    {
        QTest::addColumn<Choice>("answer");
        QTest::addColumn<bool>("started");
        QTest::addColumn<QString>("stageName");
        QTest::newRow("Yes: its own stage") << Choice::Yes << true << "Qualifying";
        QTest::newRow("No: the stage shown") << Choice::No << true << "Heats";
        QTest::newRow("Cancel: no start") << Choice::Cancel << false << "Qualifying";
    }
    void startAsksWhichStage()
    {
        QFETCH(Choice, answer);
        QFETCH(bool, started);
        QFETCH(QString, stageName);
        RaceFixture f;
        Staged s(f);
        f.addPilot(1, "Anna", 100, "2");
        s.stage->sent(1, "2");
        s.browsing.stage = 2;
        QCOMPARE(s.stage->currentStageName(), QString("Qualifying")); // looking changes nothing
        QCOMPARE(s.stage->describe(), QString("Cup - Qualifying, group 2"));

        f.prompt.choices = {answer};
        QCOMPARE(f.start(), started);
        QCOMPARE(f.prompt.questions.size(), 1);
        QVERIFY(f.prompt.questions.first().startsWith("This race belongs to \"Cup - Qualifying, group 2\", "
                                                      "but the Events page shows \"Cup - Heats\"."));
        QCOMPARE(s.stage->currentStageName(), stageName);
        if (started)
            QCOMPARE(f.logCount(QString("Race (\"Cup\", %1, Group \"2\") started").arg(stageName)), 1);
    }

    // No question when the Events page shows the race's own stage, or when
    // the race list was not sent from a stage (filled by hand, or before the
    // program kept this): then the race follows the selection as always.
    void noQuestionWhenNothingDiffers()
    {
        RaceFixture f;
        Staged s(f);
        f.addPilot(1, "Anna", 100);
        s.stage->sent(1, "1");
        QVERIFY(f.start());
        QVERIFY(f.engine->racestopraceExecute());

        f.addPilot(2, "Boris", 200); // a row the send did not bring
        s.browsing.stage = 2;
        QVERIFY(!s.stage->isKnown());
        QCOMPARE(s.stage->currentStageId(), 2);
        QVERIFY(f.start());
        QVERIFY(f.prompt.questions.isEmpty());
    }

    void exportAsksWhichStage_data()
    {
        QTest::addColumn<Choice>("answer");
        QTest::addColumn<int>("qualifyingLaps");
        QTest::addColumn<int>("heatsLaps");
        QTest::newRow("Yes: its own stage") << Choice::Yes << 2 << 0;
        QTest::newRow("No: the stage shown") << Choice::No << 0 << 2;
        QTest::newRow("Cancel: nothing") << Choice::Cancel << 0 << 0;
    }
    void exportAsksWhichStage()
    {
        QFETCH(Choice, answer);
        QFETCH(int, qualifyingLaps);
        QFETCH(int, heatsLaps);
        RaceFixture f;
        Staged s(f);
        f.addPilot(1, "Anna", 100);
        s.stage->sent(1, "1");
        QVERIFY(f.start());
        f.pass(100, 30000);
        f.pass(100, 60000);
        QVERIFY(f.engine->racestopraceExecute());

        s.browsing.stage = 2;
        f.prompt.choices = {answer};
        QCOMPARE(s.exporter->raceexporttoeventExecute(), answer != Choice::Cancel);
        QCOMPARE(f.prompt.questions.size(), 1);
        QVERIFY(f.prompt.questions.first().contains("Yes: export it to \"Cup - Qualifying, group 1\""));
        QCOMPARE(s.lapsIn(1), qualifyingLaps);
        QCOMPARE(s.lapsIn(2), heatsLaps);
    }

    // The race's stage is kept in the race state file: a restart finds it.
    void keptAcrossARestart()
    {
        RaceFixture f;
        Staged s(f);
        f.addPilot(1, "Anna", 100, "3");
        s.stage->sent(1, "3");
        s.browsing.stage = 2;
        s.makeParts();
        QVERIFY(s.stage->isKnown());
        QCOMPARE(s.stage->currentStageId(), 1);
        QCOMPARE(s.stage->group(), QString("3"));
    }
};

QTEST_GUILESS_MAIN(TestRaceStage)
#include "tst_racestage.moc"
