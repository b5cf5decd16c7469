// What the pages show of formats and brackets: the stage's format caption
// (none chosen, chosen, unknown), the seeding standing (today's columns, or
// the stage's format), the next stage made a bracket (new or chosen stage,
// byes, refusals before anything is written) and the bracket as read back
// with names, finishing orders and the next heat (or refused when a stored
// heat result cannot be read).
#include "competition/bracketmaking.h"
#include "competition/bracketview.h"
#include "competition/formatcaption.h"
#include "competition/stagedeciding.h"
#include "competition/stageformat.h"
#include "store/database.h"
#include "tests/common/sqlrows.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;

namespace {

class Fixture
{
public:
    // Stage "Qualifying" of event 1 with pilots 101.. named P101..; wins and
    // qualification times as given (0: none).
    explicit Fixture(const QList<QPair<int, int>> &winsAndQualMs)
    {
        static int n = 0;
        if (!db.open(dir.filePath("dbpilots.db"), QString("bracketview%1").arg(++n)))
            qFatal("cannot open the test database: %s", qPrintable(db.error()));
        exec("INSERT INTO events (eventname) VALUES ('Club night')");
        exec("INSERT INTO stages (events, stagename, laplimit, timelimit, tracklen) VALUES (1, 'Qualifying', "
             "0, 2, "
             "'0')");
        stage = lastId;
        for (int i = 0; i < winsAndQualMs.size(); ++i)
            exec(QString("INSERT INTO results (stage, pilotid, pilotname, vtx, wins, qualtime, qualtimetxt, "
                         "besttime) "
                         "VALUES (%1, %2, 'P%2', 'R%3', %4, %5, 'q%5', 59999999)")
                     .arg(stage)
                     .arg(101 + i)
                     .arg(i % 8 + 1)
                     .arg(winsAndQualMs.at(i).first)
                     .arg(winsAndQualMs.at(i).second));
    }

    void exec(const QString &sql) { lastId = test::exec(db.db(), sql); }
    QStringList column(const QString &sql) { return test::column(db.db(), sql); }
    QList<int> seedIds()
    {
        QList<SeedRow> rows;
        QString error;
        if (!stageSeeding(db.db(), stage, &rows, &error))
            qWarning("%s", qPrintable(error));
        QList<int> ids;
        for (const SeedRow &r : rows)
            ids << r.pilotId;
        return ids;
    }

    QTemporaryDir dir;
    Database db;
    int stage = 0;
    int lastId = 0;
};

QList<QPair<int, int>> plainField(int pilots)
{
    QList<QPair<int, int>> field;
    for (int i = 0; i < pilots; ++i)
        field << qMakePair(0, 60000 + 1000 * i); // row order is standing order
    return field;
}

QStringList heatLine(const BracketViewHeat &h)
{
    QStringList names;
    for (const BracketViewPilot &p : h.pilots)
        names << (p.place ? QString("%1.%2%3").arg(p.place).arg(p.name, p.goesOn ? "+" : "") : p.name);
    return names;
}

} // namespace

class TestBracketView : public QObject
{
    Q_OBJECT
private slots:
    void formatCaption()
    {
        Fixture f(plainField(2));
        // Nothing chosen: the default, said as such; no table is made by reading.
        StageFormatShown shown = showStageFormat(f.db.db(), f.stage);
        QVERIFY(!shown.chosen);
        QCOMPARE(shown.caption, QString("Format: Laps and time"));
        QVERIFY(shown.problem.isEmpty());
        QVERIFY(!f.db.db().tables().contains("stageformat"));
        QCOMPARE(showStageFormat(f.db.db(), 0).caption, QString());

        QString error;
        QVERIFY(writeStageFormat(f.db.db(), f.stage, RaceFormat::MostLaps, 20000, true, &error));
        shown = showStageFormat(f.db.db(), f.stage);
        QVERIFY(shown.chosen);
        QCOMPARE(shown.caption,
                 QString("Format: Most laps in time, grace 20 s, first pass starts the clock"));
        QCOMPARE(shown.rules.options.graceMs, 20000);
        QVERIFY(writeStageFormat(f.db.db(), f.stage, RaceFormat::Fastest3, 30000, false, &error));
        QCOMPARE(showStageFormat(f.db.db(), f.stage).caption, QString("Format: Fastest 3 consecutive laps"));

        // A format written by a newer program: shown and said in plain words.
        f.exec(QString("UPDATE stageformat SET format='relay' WHERE stage=%1").arg(f.stage));
        shown = showStageFormat(f.db.db(), f.stage);
        QVERIFY(shown.unknown);
        QCOMPARE(shown.caption, QString("Format: unknown (\"relay\"), raced as Laps and time"));
        QVERIFY2(shown.problem.contains("unknown race format \"relay\""), qPrintable(shown.problem));
        QCOMPARE(shown.rules.format, RaceFormat::LapsAndTime);
    }

    void seedingStanding()
    {
        // Today's columns: more wins, then the shorter qualification time
        // (none last), then row order.
        Fixture f({{0, 65000}, {2, 70000}, {0, 0}, {2, 61000}, {1, 0}});
        QCOMPARE(f.seedIds(), QList<int>({104, 102, 105, 101, 103}));

        // A chosen format without exported races stands the same way ...
        QString error;
        QVERIFY(writeStageFormat(f.db.db(), f.stage, RaceFormat::Fastest3, 30000, false, &error));
        QCOMPARE(f.seedIds(), QList<int>({104, 102, 105, 101, 103}));
        // ... and by its deciding values once races were exported.
        QList<RaceListRank> race;
        const QList<QPair<int, qint64>> best3 = {{103, 62000}, {101, 61000}, {105, 64000}};
        for (const auto &[pilot, ms] : best3) {
            RaceListRank r;
            r.pilotId = pilot;
            r.ranked.score.value = ms;
            r.ranked.decidingText = "3 consecutive: " + decidingTimeText(ms);
            race << r;
        }
        QVERIFY2(recordStageDeciding(f.db.db(), f.stage, race, &error), qPrintable(error));
        QCOMPARE(f.seedIds(), QList<int>({101, 103, 105, 102, 104}));
        QList<SeedRow> rows;
        QVERIFY(stageSeeding(f.db.db(), f.stage, &rows, &error));
        QCOMPARE(rows.first().deciding, QString("3 consecutive: 01:01.000"));
    }

    void newStageDoubleEliminationWithByes()
    {
        Fixture f(plainField(7));
        BracketRequest request;
        request.fromStage = f.stage;
        request.newStageName = "Eliminations";
        request.setup.kind = BracketKind::DoubleElimination;
        BracketMade made;
        QString error;
        QVERIFY2(makeBracketStage(f.db.db(), request, &made, &error), qPrintable(error));
        QCOMPARE(made.stageName, QString("Eliminations"));
        QCOMPARE(made.pilots, 7);
        QCOMPARE(made.emptySeats, 1);
        QCOMPARE(made.heats + made.byeHeats, 6);
        QCOMPARE(made.firstGroup, QString("1"));
        QVERIFY2(made.lines.first().contains("double elimination of 7 pilots seeded from \"Qualifying\""),
                 qPrintable(made.lines.first()));
        QVERIFY(made.lines.join('\n').contains("Group 1 (Winners round 1, heat 1) flies first."));
        // The new stage: the event's, the limits of qualifying, a row for each
        // seeded pilot with his channel and first heat, no results carried.
        QCOMPARE(
            f.column(QString("SELECT events || '/' || timelimit FROM stages WHERE id=%1").arg(made.stageId)),
            QStringList({"1/2"}));
        QCOMPARE(
            f.column(QString("SELECT pilotname || ' ' || vtx || ' ' || \"group\" || ' ' || wins || ' ' || "
                             "qualtime FROM results WHERE stage=%1 ORDER BY pilotid")
                         .arg(made.stageId)),
            QStringList({"P101 R1 1 0 59999999", "P102 R2 2 0 59999999", "P103 R3 2 0 59999999",
                         "P104 R4 1 0 59999999", "P105 R5 1 0 59999999", "P106 R6 2 0 59999999",
                         "P107 R7 2 0 59999999"}));

        BracketView view;
        QVERIFY(readBracketView(f.db.db(), made.stageId, &view, &error));
        QVERIFY(view.exists);
        QCOMPARE(view.kindName, QString("Double elimination"));
        QCOMPARE(view.stageName, QString("Eliminations"));
        QStringList rounds;
        for (const BracketViewRound &r : view.rounds)
            rounds << QString("%1 (%2)").arg(r.name).arg(r.heats.size());
        QCOMPARE(rounds, QStringList({"Winners round 1 (2)", "Losers round 1 (1)", "Winners final (1)",
                                      "Losers final (1)", "Grand final (1)"}));
        const BracketViewHeat first = view.rounds.at(0).heats.at(0);
        QCOMPARE(heatLine(first), QStringList({"P101", "P104", "P105"}));
        QCOMPARE(first.emptySeats, 1);
        QCOMPARE(first.state(), QString("next"));
        QCOMPARE(view.rounds.at(0).heats.at(1).state(), QString("ready"));
        QCOMPARE(view.rounds.at(2).heats.at(0).state(), QString("waiting"));
        QCOMPARE(view.nextHeatName, QString("Winners round 1, heat 1"));

        // A heat flown: its order with who goes on, and the next heat moves.
        BracketStage stage;
        QVERIFY(recordHeatResult(f.db.db(), made.stageId, "1", {105, 101, 104}, &stage, &error));
        QVERIFY(readBracketView(f.db.db(), made.stageId, &view, &error));
        QCOMPARE(heatLine(view.rounds.at(0).heats.at(0)), QStringList({"1.P105+", "2.P101+", "3.P104"}));
        QCOMPARE(view.rounds.at(0).heats.at(0).state(), QString("flown"));
        QCOMPARE(view.nextGroup, QString("2"));
        QCOMPARE(view.rounds.at(2).heats.at(0).waitingSeats, 2);

        // A stored heat result that cannot be read: the view and the export's
        // re-seating refuse it alike, and nothing is written.
        f.exec(QString("UPDATE bracketheat SET pilots='105,x' WHERE stage=%1").arg(made.stageId));
        const QString unreadable =
            QString("The stored result of heat 1 of stage %1 cannot be read.").arg(made.stageId);
        QVERIFY(!readBracketView(f.db.db(), made.stageId, &view, &error));
        QCOMPARE(error, unreadable);
        QVERIFY(!recordHeatResult(f.db.db(), made.stageId, "2", {102, 103, 106, 107}, &stage, &error));
        QCOMPARE(error, unreadable);
        QCOMPARE(f.column(QString("SELECT COUNT(*) FROM bracketheat WHERE stage=%1").arg(made.stageId)),
                 QStringList({"1"}));
    }

    void chosenStageAndRefusals()
    {
        Fixture f(plainField(10));
        f.exec("INSERT INTO stages (events, stagename, laplimit, timelimit, tracklen) VALUES (1, 'Finals', "
               "3, 0, '0')");
        const int finals = f.lastId;
        // A pilot already in the chosen stage who is not seeded keeps his row.
        f.exec(
            QString("INSERT INTO results (stage, pilotid, pilotname) VALUES (%1, 110, 'P110')").arg(finals));
        BracketRequest request;
        request.fromStage = f.stage;
        request.toStage = finals;
        request.seedCount = 8;
        request.setup = {BracketKind::Mains, 4, 1};
        BracketMade made;
        QString error;
        QVERIFY2(makeBracketStage(f.db.db(), request, &made, &error), qPrintable(error));
        QCOMPARE(made.stageId, finals);
        QCOMPARE(made.pilots, 8);
        QVERIFY(made.lines.last().contains("Not in the bracket, rows kept: P110."));
        QCOMPARE(f.column(QString("SELECT COUNT(*) FROM results WHERE stage=%1").arg(finals)),
                 QStringList({"9"}));
        BracketView view;
        QVERIFY(readBracketView(f.db.db(), finals, &view, &error));
        QCOMPARE(view.rounds.size(), 1);
        QCOMPARE(view.rounds.at(0).name, QString("Mains"));

        // Refused before anything is written: too many for an elimination,
        // the stage itself, a stage that is not there.
        const QStringList before = f.column("SELECT COUNT(*) FROM stages");
        struct Case
        {
            int from, to, seeds;
            BracketKind kind;
            QString error;
        } cases[] = {
            {f.stage, 0, 0, BracketKind::SingleElimination, "Elimination brackets take 2 to 32 pilots."},
            {f.stage, f.stage, 0, BracketKind::Mains, "A stage cannot be seeded from its own standing."},
            {999, 0, 0, BracketKind::Mains, "There is no stage 999."},
        };
        f.exec("DELETE FROM results");
        for (int i = 0; i < 40; ++i)
            f.exec(QString("INSERT INTO results (stage, pilotid, pilotname) VALUES (%1, %2, 'X')")
                       .arg(f.stage)
                       .arg(200 + i));
        for (const Case &c : cases) {
            request = {};
            request.fromStage = c.from;
            request.toStage = c.to;
            request.seedCount = c.seeds;
            request.setup.kind = c.kind;
            QVERIFY(!makeBracketStage(f.db.db(), request, &made, &error));
            QCOMPARE(error, c.error);
        }
        QCOMPARE(f.column("SELECT COUNT(*) FROM stages"), before);
    }
};

QTEST_GUILESS_MAIN(TestBracketView)
#include "tst_bracketview.moc"
