// The pass loop and the finish by the race format of the race's stage: which
// passes count, when the race ends, and the places the finish gives.
#include "competition/stageformat.h"
#include "race/lapcorrections.h"
#include "tests/race/racefixture.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

using namespace lapvane;
using namespace lapvane::test;

namespace {

// The fixture's current stage (FixedSelection) with its limits and format.
void makeStage(RaceFixture &f, int lapLimit, int timeLimitMin, const QString &formatKey, qint64 graceMs,
               bool holeShot)
{
    QSqlQuery q(f.db.db());
    q.prepare("INSERT INTO stages (id, events, stagename, laplimit, timelimit, tracklen, starttime) "
              "VALUES (2, 1, 'Qualification', ?, ?, '0', '')");
    q.addBindValue(lapLimit);
    q.addBindValue(timeLimitMin);
    if (!q.exec())
        qFatal("stage: %s", qPrintable(q.lastError().text()));
    if (formatKey.isEmpty())
        return;
    QString error;
    if (!writeStageFormat(f.db.db(), 2, RaceFormat::LapsAndTime, graceMs, holeShot, &error))
        qFatal("format: %s", qPrintable(error));
    // Stored as the key given, so a key this program does not know can be tried.
    q.prepare("UPDATE stageformat SET format=? WHERE stage=2");
    q.addBindValue(formatKey);
    if (!q.exec())
        qFatal("format: %s", qPrintable(q.lastError().text()));
}

QList<int> numbers(const QString &text)
{
    QList<int> out;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        out << part.trimmed().toInt();
    return out;
}

} // namespace

class TestRaceFormats : public QObject
{
    Q_OBJECT
private slots:
    void passesAndEnd_data()
    {
        QTest::addColumn<QString>("format"); // "" = no format chosen
        QTest::addColumn<int>("stageLaps");
        QTest::addColumn<int>("stageMin");
        QTest::addColumn<bool>("holeShot");
        QTest::addColumn<QString>("pageLaps"); // the race page's edtlaps
        QTest::addColumn<QString>("events");   // "P@ms": pilot P passes; "t@ms": the clock only
        QTest::addColumn<QString>("laps");     // counted passes (lapno) of pilots 1, 2, 3
        QTest::addColumn<int>("endAt");        // event time the race ended; -1: still running
        QTest::addColumn<QString>("places");   // after the finish; "" = not checked

        // The race page's lap limit of 1 would end these races at once: the
        // stage's limits apply.
        QTest::newRow("most laps: each pilot's pass after the limit ends his race")
            << "mostlaps" << 0 << 1 << false << "1"
            << "1@20000 2@25000 1@40000 2@50000 1@61000 1@63000 t@65000 3@66000 2@70000"
            << "3,3,1" << 70000 << "1,2,3";
        QTest::newRow("most laps: the grace time ends the race for a pilot who is down")
            << "mostlaps" << 0 << 1 << false << "1"
            << "1@20000 3@21000 1@61000 3@62000 t@89999 t@90000 2@91000"
            << "2,0,2" << 90000 << "1,3,2";
        QTest::newRow("first to 2: the others finish their lap, the winner's later passes do not count")
            << "firsttolaps" << 2 << 0 << false << "1"
            << "1@20000 2@22000 3@30000 1@40000 2@45000 1@47000 3@50000"
            << "2,2,2" << 50000 << "1,2,3";
        QTest::newRow("first to 2: a pilot who is down does not hold the race")
            << "firsttolaps" << 2 << 0 << false << "1"
            << "1@20000 2@22000 3@23000 1@40000 2@41000 t@69999 t@70000"
            << "2,2,1" << 70000 << "1,2,3";
        QTest::newRow("fastest lap: ends on the time limit, ranks by the best lap")
            << "fastestlap" << 0 << 1 << false << "1"
            << "1@20000 2@30000 1@45000 2@45500 3@50000 t@59999 t@60000"
            << "2,2,1" << 60000 << "2,1,3";
        QTest::newRow("fastest 3 consecutive: the stage's lap limit does not stop the laps")
            << "fastest3" << 2 << 1 << false << "1"
            << "1@10000 1@20000 1@30000 2@31000 2@41000 t@60000"
            << "3,2,0" << 60000 << "1,2,3";
        QTest::newRow("hole-shot, first to 2: the first pass opens lap 1")
            << "firsttolaps" << 2 << 0 << true << "1"
            << "1@5000 2@6000 3@7000 1@25000 2@27000 1@45000 2@48000 t@60000 3@76000"
            << "3,3,1" << 76000 << "1,2,3";
        QTest::newRow("hole-shot, laps and time: 2 laps need 3 passes")
            << "lapsandtime" << 9 << 0 << true << "2"
            << "1@5000 2@6000 3@7000 1@25000 1@45000 1@65000 2@70000 2@80000 3@81000 3@82500"
            << "3,3,3" << 82500 << "1,2,3";
        QTest::newRow("no format chosen: as always, the race page's limits")
            << "" << 9 << 0 << false << "2"
            << "1@20000 2@22000 1@40000 1@60000 2@62000"
            << "2,2,0" << -1 << "";
        QTest::newRow("an unknown format races as the default") << "figure8" << 9 << 1 << false << "2"
                                                                << "1@20000 1@40000 1@50000 2@55000 t@90000"
                                                                << "2,1,0" << -1 << "";
    }
    void passesAndEnd()
    {
        QFETCH(QString, format);
        QFETCH(int, stageLaps);
        QFETCH(int, stageMin);
        QFETCH(bool, holeShot);
        QFETCH(QString, pageLaps);
        QFETCH(QString, events);
        QFETCH(QString, laps);
        QFETCH(int, endAt);
        QFETCH(QString, places);

        RaceFixture f;
        makeStage(f, stageLaps, stageMin, format, 30000, holeShot);
        f.settings.set(QStringLiteral("edtlaps"), pageLaps);
        for (int p = 1; p <= 3; ++p)
            f.addPilot(p, QStringLiteral("Pilot %1").arg(p), 100 + p, "1", QStringLiteral("R%1").arg(p));
        QVERIFY(f.start());
        const qint64 origin = f.clock.nowMs();
        int endedAt = -1;
        for (const QString &event : events.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const int ms = event.section(QLatin1Char('@'), 1).toInt();
            f.clock.set(origin + ms);
            if (event.startsWith(QLatin1Char('t')))
                f.engine->tmrraceTimer();
            else
                f.pass(100 + event.section(QLatin1Char('@'), 0, 0).toInt(), ms);
            if (endedAt < 0 && !f.engine->isRunning())
                endedAt = ms;
        }
        QCOMPARE(QList<int>({f.row(1).lapno, f.row(2).lapno, f.row(3).lapno}), numbers(laps));
        QCOMPARE(endedAt, endAt);
        if (!places.isEmpty())
            QCOMPARE(QList<int>({f.row(1).place, f.row(2).place, f.row(3).place}), numbers(places));
        if (format == QLatin1String("figure8"))
            QCOMPARE(f.logCount("unknown race format \"figure8\""), 1);
    }

    void aLapDeletedDuringTheRaceIsWhatTheFormatSees()
    {
        // First to 2: Anna's second pass is a false read deleted by hand; she
        // has not won, so her next pass counts and the race goes on.
        RaceFixture f;
        makeStage(f, 2, 0, "firsttolaps", 30000, false);
        f.addPilot(1, "Anna", 101);
        f.addPilot(2, "Boris", 102, "1", "R2");
        QVERIFY(f.start());
        const qint64 origin = f.clock.nowMs();
        for (int ms : {20000, 22000}) {
            f.clock.set(origin + ms);
            f.pass(101, ms);
        }
        QCOMPARE(f.row(1).lapno, 2);
        QSqlQuery q(f.db.db());
        QVERIFY(q.exec("SELECT id FROM laps WHERE pilotid=1 AND lapn=2") && q.next());
        LapCorrections corrections(f.services());
        QVERIFY(corrections.deleteLap(f.rowId(1), q.value(0).toInt()));
        QCOMPARE(f.row(1).lapno, 1);
        f.clock.set(origin + 40000);
        f.pass(101, 40000);
        QCOMPARE(f.row(1).lapno, 2);
        QVERIFY(f.engine->isRunning()); // Boris finishes his lap
        f.clock.set(origin + 41000);
        f.pass(102, 41000);
        QVERIFY(!f.engine->isRunning());
    }

    // What the time-left calls and the pages count down to: the stage's
    // limits in a format, the Race page's in the default one.
    void limitsShownAreTheRaceRules()
    {
        for (const bool format : {false, true}) {
            RaceFixture f;
            makeStage(f, 5, 1, format ? "mostlaps" : "", 30000, false);
            f.settings.set("edtlaps", "3");
            f.settings.set("edttimelimit", "0");
            f.addPilot(1, "Anna", 101);
            QVERIFY(f.start());
            const RaceLimits shown = f.engine->limitsShown();
            QCOMPARE(shown.options.timeLimitMs, format ? 60000 : 0);
            QCOMPARE(shown.options.lapLimit, format ? 5 : 3);
            f.settings.set("edttimelimit", "2");
            QCOMPARE(f.engine->limitsShown().options.timeLimitMs, format ? 60000 : 120000);
        }
    }

    // A team race in a format: the team's laps and its place follow its
    // pilots' counted laps and finishes, as in the default format.
    void teamOfAFormatRaceTakesItsPilotsFinish()
    {
        RaceFixture f;
        makeStage(f, 2, 0, "firsttolaps", 30000, false);
        f.settings.set("chkteamrace", true);
        f.addPilot(1, "Anna", 101, "Red");
        f.addPilot(2, "Boris", 102, "Blue", "R2");
        TeamTable &teams = f.engine->teamTable();
        QVERIFY(teams.rebuildFromRaceList(f.db.db()));
        QVERIFY(f.start());
        const qint64 origin = f.clock.nowMs();
        for (const auto &[trans, ms] : QList<QPair<qint32, int>>{{101, 20000}, {102, 21000}, {101, 40000}}) {
            f.clock.set(origin + ms);
            f.pass(trans, ms);
        }
        QCOMPARE(teams.laps(teams.findTeam("Red")), 2);
        QCOMPARE(teams.place(teams.findTeam("Red")), QString("1"));
        QCOMPARE(teams.place(teams.findTeam("Blue")), QString());
    }

    void holeShotIsNoBestLap()
    {
        // The stretch from the start to the hole-shot pass is no lap.
        RaceFixture f;
        makeStage(f, 0, 1, "fastestlap", 30000, true);
        f.addPilot(1, "Anna", 101);
        QVERIFY(f.start());
        const qint64 origin = f.clock.nowMs();
        for (int ms : {3000, 33000, 60000}) {
            f.clock.set(origin + ms);
            f.pass(101, ms);
        }
        QVERIFY(!f.engine->isRunning());
        QCOMPARE(f.row(1).besttime, 30000);
        QCOMPARE(f.row(1).lapno, 2);
    }
};

QTEST_GUILESS_MAIN(TestRaceFormats)
#include "tst_raceformats.moc"
