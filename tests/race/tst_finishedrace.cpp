// A finished race and the stage results: the question before a new race
// replaces an unexported finished race, the question before exporting a race
// again, the state kept across a restart, and the ranking after a lap
// correction on a finished race.
#include "race/finishedrace.h"
#include "race/lapcorrections.h"
#include "race/raceexport.h"
#include "tests/race/racefixture.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QtTest>

using namespace lapvane;
using namespace lapvane::test;

namespace {

// The fixture's engine, with the export, the finished-race state and the lap
// corrections wired as the program wires them.
struct Wired
{
    explicit Wired(RaceFixture &f) : f(f)
    {
        f.settings.set("edstartdelay", "0");
        f.settings.set("chracecontinue", false);
        for (const char *s : {"chupdbestlap", "chupdtotaltime", "chkupdlaps", "chkupdwins"})
            f.settings.set(s, true);
        makeState();
    }

    // As at a program start: the state read from the race state file.
    void makeState()
    {
        f.engine.reset();
        laps.reset();
        exporter.reset();
        finished = std::make_unique<FinishedRace>(f.db.db(), *f.log, f.prompt, f.services().raceStateFile);
        RaceServices s = f.services();
        s.finishedRace = finished.get();
        f.engine = std::make_unique<RaceEngine>(s);
        f.engine->setTimerDriven(false);
        laps = std::make_unique<LapCorrections>(s);
        exporter = std::make_unique<RaceExport>(f.db.db(), f.settings, *f.log, f.prompt, f.selection);
        exporter->setFinishedRace(finished.get());
        finished->setExporter([this] { return exporter->raceexporttoeventExecute(); });
        QObject::connect(f.engine.get(), &RaceEngine::exportRequested, exporter.get(),
                         &RaceExport::raceexporttoeventExecute);
    }

    // A stage results row (stage 2, the fixture's current stage) for the pilot.
    void addResult(int pilotId)
    {
        QSqlQuery q(f.db.db());
        q.prepare("INSERT INTO results (stage, pilotid, pilotname, wins, place, qualtime) VALUES (2, ?, ?, "
                  "0, 999, ?)");
        q.addBindValue(pilotId);
        q.addBindValue(QString("P%1").arg(pilotId));
        q.addBindValue(kNoTimeMs);
        QVERIFY(q.exec());
    }

    int wins(int pilotId) const
    {
        QSqlQuery q(f.db.db());
        q.prepare("SELECT wins FROM results WHERE pilotid=?");
        q.addBindValue(pilotId);
        return q.exec() && q.next() ? q.value(0).toInt() : -1;
    }

    // Anna (trans 100) and Boris (trans 200) fly; Anna wins with 2 laps.
    void flyAndFinish()
    {
        QVERIFY(f.start());
        f.pass(100, 30000);
        f.pass(200, 31000);
        f.pass(100, 60000);
        QVERIFY(f.engine->racestopraceExecute());
    }

    RaceFixture &f;
    std::unique_ptr<FinishedRace> finished;
    std::unique_ptr<LapCorrections> laps;
    std::unique_ptr<RaceExport> exporter;
};

} // namespace

Q_DECLARE_METATYPE(lapvane::Choice)

class TestFinishedRace : public QObject
{
    Q_OBJECT
private slots:
    void newRaceAfterAnUnexportedFinish_data()
    {
        QTest::addColumn<Choice>("answer");
        QTest::addColumn<bool>("started");
        QTest::addColumn<int>("annaWins");
        QTest::newRow("Yes exports, then starts") << Choice::Yes << true << 1;
        QTest::newRow("No starts without exporting") << Choice::No << true << 0;
        QTest::newRow("Cancel keeps the finished race") << Choice::Cancel << false << 0;
    }
    void newRaceAfterAnUnexportedFinish()
    {
        QFETCH(Choice, answer);
        QFETCH(bool, started);
        QFETCH(int, annaWins);
        RaceFixture f;
        Wired w(f);
        f.addPilot(1, "Anna", 100);
        f.addPilot(2, "Boris", 200);
        w.addResult(1);
        w.addResult(2);
        w.flyAndFinish();
        QVERIFY(w.finished->isExportPending());

        f.prompt.questions.clear();
        f.prompt.choices = {answer};
        QCOMPARE(f.start(), started);
        QCOMPARE(f.prompt.questions, QStringList{FinishedRace::notExportedQuestion()});
        QCOMPARE(w.wins(1), annaWins);
        // Cancel: the finished race and its laps are still there, still unexported.
        QCOMPARE(f.row(1).lapno, started ? 0 : 2);
        QCOMPARE(w.finished->isExportPending(), !started);
        if (answer == Choice::No)
            QCOMPARE(f.logCount("The finished race was not exported to the event results."), 1);
    }

    // The program is told to end (a stop signal, a logout) while Start Race's
    // export asks whether to add a pilot to the stage: the chain ends as if
    // Cancel had been chosen. Nothing is exported, not even the pilots that
    // needed no question, no race starts and the finished race keeps its laps.
    void stopDuringTheExportQuestionsCancelsTheStart()
    {
        RaceFixture f;
        Wired w(f);
        f.addPilot(1, "Anna", 100);
        f.addPilot(2, "Boris", 200);
        w.addResult(1); // Boris is not in the stage: his export asks
        w.flyAndFinish();

        f.prompt.questions.clear();
        f.prompt.choices = {Choice::Yes};
        f.prompt.stopAt = "Add him?";
        QVERIFY(!f.start());
        QCOMPARE(f.prompt.questions.size(), 2);
        QVERIFY(f.prompt.questions.last().startsWith("Pilot \"Boris\" is not found in"));
        QVERIFY(!f.engine->isRunning());
        QCOMPARE(f.row(1).lapno, 2);
        QSqlQuery q(f.db.db());
        QVERIFY(q.exec("SELECT COUNT(*) FROM laps") && q.next());
        QCOMPARE(q.value(0).toInt(), 3);
        QVERIFY(q.exec("SELECT COUNT(*) FROM lastrace") && q.next());
        QCOMPARE(q.value(0).toInt(), 0);
        QVERIFY(q.exec("SELECT COUNT(*) FROM results") && q.next());
        QCOMPARE(q.value(0).toInt(), 1);
        QCOMPARE(w.wins(1), 0);
        QVERIFY(w.finished->isExportPending());
        QCOMPARE(f.logCount("Exported to Results"), 0);
    }

    // An exported race, a race never finished and a "continue" start ask nothing.
    void noQuestionWhenNothingIsLeftBehind()
    {
        RaceFixture f;
        Wired w(f);
        f.addPilot(1, "Anna", 100);
        f.addPilot(2, "Boris", 200);
        w.addResult(1);
        w.addResult(2);
        f.settings.set("chautoexport", true);
        w.flyAndFinish();
        QCOMPARE(w.wins(1), 1);
        QVERIFY(!w.finished->isExportPending());
        QVERIFY(f.prompt.questions.isEmpty());
        // A second finish ranks again and, exporting again, asks first (Yes here).
        QVERIFY(f.engine->racestopraceExecute());
        QCOMPARE(f.prompt.questions, QStringList{FinishedRace::exportAgainQuestion()});
        QCOMPARE(w.wins(1), 2);
        f.prompt.questions.clear();
        QVERIFY(f.start());
        QVERIFY(f.prompt.questions.isEmpty());

        f.settings.set("chautoexport", false);
        f.pass(100, 30000);
        QVERIFY(f.engine->racestopraceExecute());
        f.settings.set("chracecontinue", true);
        QVERIFY(f.start());
        QVERIFY(f.prompt.questions.isEmpty());
    }

    void exportingAgainAsksFirst()
    {
        RaceFixture f;
        Wired w(f);
        f.addPilot(1, "Anna", 100);
        f.addPilot(2, "Boris", 200);
        w.addResult(1);
        w.addResult(2);
        w.flyAndFinish();
        QVERIFY(w.exporter->raceexporttoeventExecute());
        QVERIFY(f.prompt.questions.isEmpty());
        QCOMPARE(w.wins(1), 1);

        f.prompt.answers = {false};
        QVERIFY(!w.exporter->raceexporttoeventExecute());
        QCOMPARE(f.prompt.questions, QStringList{FinishedRace::exportAgainQuestion()});
        QCOMPARE(f.prompt.kinds.last(), QuestionKind::Warning); // No on Enter
        QCOMPARE(w.wins(1), 1);

        f.prompt.answers = {true};
        QVERIFY(w.exporter->raceexporttoeventExecute());
        QCOMPARE(w.wins(1), 2); // as specified, the wins count again
    }

    // The state lives in the race state file: a restart still knows that the
    // finished race was not exported, and later that it was.
    void stateSurvivesARestart()
    {
        RaceFixture f;
        Wired w(f);
        f.addPilot(1, "Anna", 100);
        f.addPilot(2, "Boris", 200);
        w.addResult(1);
        w.addResult(2);
        w.flyAndFinish();

        w.makeState();
        QVERIFY(w.finished->isExportPending());
        QVERIFY(w.exporter->raceexporttoeventExecute());
        w.makeState();
        QVERIFY(!w.finished->isExportPending());
        QVERIFY(w.finished->wasExported());
        // The race start kept in the same file is still readable.
        const QJsonObject state = readRaceStateForTest(f);
        QVERIFY(state.value("origin").isDouble());
    }

    // A list that no longer holds the finished race (reset, another group)
    // asks nothing; a deleted row keeps the race.
    void replacedListForgetsTheRace()
    {
        RaceFixture f;
        Wired w(f);
        f.addPilot(1, "Anna", 100);
        f.addPilot(2, "Boris", 200);
        w.flyAndFinish();
        QSqlQuery q(f.db.db());
        QVERIFY(q.exec(QString("DELETE FROM onerace WHERE id=%1").arg(f.rowId(2))));
        QVERIFY(w.finished->isExportPending());
        f.addPilot(3, "Clara", 300);
        QVERIFY(!w.finished->isExportPending());
        QVERIFY(w.finished->confirmReplace());
        QVERIFY(f.prompt.questions.isEmpty());
    }

    // A correction on a finished race ranks it again; during a race the
    // places stay until the finish.
    void correctionRanksAFinishedRace()
    {
        RaceFixture f;
        Wired w(f);
        f.settings.set("chksounds", true);
        f.settings.set("edstartdelay", "0");
        f.settings.set("edracerandomstart", "0");
        f.addPilot(1, "Anna", 100);
        f.addPilot(2, "Boris", 200);
        QVERIFY(f.start());
        f.pass(100, 30000);
        f.pass(200, 31000);
        f.pass(100, 60000);
        f.pass(200, 62000);
        // During the race: Anna's second lap deleted, places unchanged (999).
        QVERIFY(w.laps->deleteLap(f.rowId(1), lapIdOf(f, 1, 2)));
        QCOMPARE(f.row(1).place, 999);
        QCOMPARE(f.row(1).lapno, 1);
        f.pass(100, 63000);
        QVERIFY(f.engine->racestopraceExecute());
        QCOMPARE(f.row(1).place, 2); // 2 laps at 63000 against Boris's 62000
        QCOMPARE(f.row(2).place, 1);

        f.cues.played.clear();
        f.rx.calls.clear();
        QSignalSpy sorted(w.laps.get(), &LapCorrections::raceListSortRequested);
        // Boris's last lap was a false reading: deleted, Anna leads.
        QVERIFY(w.laps->deleteLap(f.rowId(2), lapIdOf(f, 2, 2)));
        QCOMPARE(f.row(2).lapno, 1);
        QCOMPARE(f.row(1).place, 1);
        QCOMPARE(f.row(2).place, 2);
        QCOMPARE(f.row(2).totaltimetxt, QString("000:31.000"));
        QCOMPARE(sorted.count(), 1);
        QCOMPARE(sorted.first().first().toString(), QString("place ASC"));
        QVERIFY(f.cues.played.isEmpty());
        QVERIFY(f.rx.calls.isEmpty());
        QCOMPARE(f.logCount("places ranked again"), 1);
        // No export was made, none is hinted at.
        QCOMPARE(f.logCount("Exported to Results"), 0);
        QCOMPARE(f.logCount("export it again"), 0);

        // "Recalc" on an exported race ranks too and says the results are older.
        QVERIFY(w.exporter->raceexporttoeventExecute());
        QVERIFY(w.laps->recalc(f.rowId(1)));
        QCOMPARE(f.logCount("places ranked again"), 2);
        QCOMPARE(f.logCount("export it again"), 1);
    }

private:
    static int lapIdOf(RaceFixture &f, int pilotId, int lapn)
    {
        QSqlQuery q(f.db.db());
        q.prepare("SELECT id FROM laps WHERE pilotid=? AND lapn=?");
        q.addBindValue(pilotId);
        q.addBindValue(lapn);
        return q.exec() && q.next() ? q.value(0).toInt() : 0;
    }
    static QJsonObject readRaceStateForTest(RaceFixture &f)
    {
        QFile file(f.services().raceStateFile);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object();
    }
};

QTEST_GUILESS_MAIN(TestFinishedRace)
#include "tst_finishedrace.moc"
