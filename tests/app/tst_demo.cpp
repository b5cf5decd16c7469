// "lapvaneadmin --demo": the sample data, and the demo run as start-up builds
// it, with the simulated gate on a pseudo-terminal flying the club night:
// qualifying of both groups by the fastest 3 consecutive laps, then the double
// elimination made from it and flown to its grand final; and the program
// started with --demo as a process.
#include "app/commands.h"
#include "app/demo.h"
#include "app/mainwindow.h"
#include "app/programcontext.h"
#include "app/programservices.h"
#include "app/racepage.h"
#include "core/cues.h"
#include "devices/timingdevices.h"
#include "events/eventsviews.h"
#include "events/sqlrowsmodel.h"
#include "race/raceengine.h"
#include "tests/common/loopback.h"
#include "tests/common/scriptedprompt.h"
#include "tests/common/sqlrows.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace lapvane;
using lapvane::test::freeLoopbackPort;
using lapvane::test::get;
using lapvane::test::rows;

namespace {

// The demo as runApplication() builds it, with a scripted operator.
struct DemoProgram
{
    explicit DemoProgram(const QString &folder, int lapMs)
    {
        QString error;
        if (!demo.makeFolder(folder, &error) || !demo.openGate(lapMs, &error))
            qFatal("%s", qPrintable(error));
        ctx = std::make_unique<ProgramContext>(demo.folder());
        if (!ctx->db.open(QDir(demo.folder()).filePath(kDatabaseFileName)) ||
            !Demo::seed(ctx->db.db(), &error))
            qFatal("%s %s", qPrintable(ctx->db.error()), qPrintable(error));
        services = std::make_unique<ProgramServices>(*ctx, cues, clock, nullptr, &prompt);
        window = std::make_unique<MainWindow>(*ctx, *services);
        window->FormCreate();
        window->show();
        demo.start(*ctx, *services, *window);
    }
    ~DemoProgram()
    {
        window->close();
        window.reset();
        services.reset();
    }
    Demo demo;
    std::unique_ptr<ProgramContext> ctx;
    test::ScriptedPrompt prompt;
    SilentCuePlayer cues;
    SystemClock clock;
    std::unique_ptr<ProgramServices> services;
    std::unique_ptr<MainWindow> window;
};

QList<quint16> gateIds(Demo &demo)
{
    QList<quint16> ids = demo.gate().ids();
    std::sort(ids.begin(), ids.end());
    return ids;
}

} // namespace

class TestDemo : public QObject
{
    Q_OBJECT
private slots:
    void sampleData()
    {
        QTemporaryDir dir;
        Database db;
        QVERIFY(db.open(dir.filePath("dbpilots.db")));
        QString error;
        QVERIFY2(Demo::seed(db.db(), &error), qPrintable(error));
        QCOMPARE(rows(db.db(), "SELECT trans FROM pilots ORDER BY trans"),
                 QStringList({"101", "102", "103", "104", "105", "106", "107", "108"}));
        QCOMPARE(rows(db.db(), "SELECT count(*) FROM events"), QStringList({"1"}));
        QCOMPARE(rows(db.db(), "SELECT stagename, laplimit, timelimit FROM stages"),
                 QStringList({"Qualifying 0 1"}));
        QCOMPARE(rows(db.db(), "SELECT format, holeshot FROM stageformat"), QStringList({"fastest3 N"}));
        // Each pilot once in the stage, four per group, on distinct channels within a group.
        QCOMPARE(rows(db.db(),
                      "SELECT \"group\", count(*), count(DISTINCT vtx), count(DISTINCT pilotid) FROM results "
                      "GROUP BY \"group\" ORDER BY \"group\""),
                 QStringList({"1 4 4 4", "2 4 4 4"}));
        QCOMPARE(rows(db.db(), "SELECT count(*) FROM results r JOIN pilots p ON p.id = r.pilotid "
                               "AND p.trans = r.pilottrans AND p.name = r.pilotname"),
                 QStringList({"8"}));
        QCOMPARE(rows(db.db(), "SELECT DISTINCT besttimetxt, qualtimetxt FROM results"),
                 QStringList({"999:59.999 999:59.999"}));
    }

    // Only a new or empty folder becomes the demo's: real data is never mixed in.
    void demoFolder()
    {
        QTemporaryDir dir;
        Demo fresh;
        QString error;
        QVERIFY(fresh.makeFolder(QString(), &error));
        QVERIFY(fresh.folder().contains("lapvaneadmin-demo-"));
        QVERIFY(QDir(fresh.folder()).isEmpty());
        Demo named;
        QVERIFY(named.makeFolder(dir.filePath("new/demo"), &error));
        QCOMPARE(named.folder(), dir.filePath("new/demo"));

        QFile real(dir.filePath("cup/dbpilots.db"));
        QVERIFY(QDir().mkpath(dir.filePath("cup")) && real.open(QIODevice::WriteOnly));
        real.close();
        Demo refused;
        QVERIFY(!refused.makeFolder(dir.filePath("cup"), &error));
        QVERIFY2(error.contains(dir.filePath("cup")), qPrintable(error));
        QCOMPARE(QDir(dir.filePath("cup")).entryList(QDir::Files), QStringList({"dbpilots.db"}));

        // Settings alone are welcome; settings beside anything else are not.
        QVERIFY(QDir().mkpath(dir.filePath("tuned")));
        QFile ini(dir.filePath("tuned/lapvaneadmin.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.close();
        Demo tuned;
        QVERIFY2(tuned.makeFolder(dir.filePath("tuned"), &error), qPrintable(error));
        QVERIFY(QFile::copy(ini.fileName(), dir.filePath("cup/lapvaneadmin.ini")));
        QVERIFY(!Demo().makeFolder(dir.filePath("cup"), &error));
        QVERIFY(QDir().mkpath(dir.filePath("odd/lapvaneadmin.ini")));
        QVERIFY(!Demo().makeFolder(dir.filePath("odd"), &error));
    }

    // A folder holding only a settings file: the demo starts from those
    // settings, its own race settings laid over them.
    void demoFromSettings()
    {
        QTemporaryDir dir;
        QFile ini(dir.filePath("demo/lapvaneadmin.ini"));
        QVERIFY(QDir().mkpath(dir.filePath("demo")) && ini.open(QIODevice::WriteOnly));
        ini.write("[SETTINGS]\r\nSoundEnabled=1\r\n[RACE]\r\nLapsLimit=9\r\n");
        ini.close();
        DemoProgram p(dir.filePath("demo"), 1500);
        QVERIFY(p.ctx->settings.flag("chksounds"));
        QCOMPARE(p.ctx->settings.text("edtlaps"), QString::number(Demo::kLaps));
        QTRY_VERIFY_WITH_TIMEOUT(p.window->racePage()->logPane()->toPlainText().contains("Demo: ready."),
                                 10000);
    }

    // Qualifying: Start Race, the gate flies group 1 (stopped once every
    // pilot has his laps, as the minute would end it); Next Group: group 2,
    // confirmed with the gate. Then the double elimination is made from the
    // standing by the fastest 3 consecutive laps, and each heat flies with
    // Start Race and Next Group to the grand final.
    void clubNightToTheFinal()
    {
        QTemporaryDir dir;
        // Laps well above the anti-double-read interval, so a late timer on a
        // busy machine never brings two passes within it.
        const int lapMs = 2500;
        // With the web server on, for the bracket's JSON.
        const quint16 port = freeLoopbackPort();
        QVERIFY(QDir().mkpath(dir.filePath("demo")));
        QFile ini(dir.filePath("demo/lapvaneadmin.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[WWWSERVER]\r\nwwwServer=1\r\nwwwServerPort=" + QByteArray::number(port) + "\r\n");
        ini.close();
        DemoProgram p(dir.filePath("demo"), lapMs);
        QSqlDatabase db = p.ctx->db.db();
        auto log = [&p] { return p.window->racePage()->logPane()->toPlainText(); };
        QVERIFY(p.services->devices->lapvaneConnected());
        QCOMPARE(rows(db, "SELECT pilottrans, \"group\", confirmed FROM onerace ORDER BY pilottrans"),
                 QStringList({"101 1 Y", "102 1 Y", "103 1 Y", "104 1 Y"}));
        QTRY_COMPARE(gateIds(p.demo), QList<quint16>({101, 102, 103, 104}));
        QCOMPARE(p.ctx->settings.text("edtlaps"), QStringLiteral("3"));
        QVERIFY(log().contains("Demo: ready."));
        QVERIFY(p.prompt.notices.isEmpty());
        // The live pages come from the included templates.
        QTRY_VERIFY(QFile(QDir(p.demo.folder()).filePath("htmls/onerace.htm")).size() > 0);
        {
            QFile page(QDir(p.demo.folder()).filePath("htmls/onerace.htm"));
            QVERIFY(page.open(QIODevice::ReadOnly));
            QVERIFY(page.readAll().contains("Anna Sokolova"));
        }

        auto *start = p.window->findChild<QPushButton *>("btnstartrace");
        auto *next = p.window->findChild<QPushButton *>("btnextgroup");
        auto qualifyingRace = [&] {
            start->click();
            QVERIFY(p.services->race->isRunning());
            // Every pilot well past 3 laps (a pass may fall to the anti-double-read),
            // and the gate's last laps in.
            QTRY_COMPARE_WITH_TIMEOUT(rows(db, "SELECT count(*) FROM onerace WHERE lapno >= 4"),
                                      QStringList({"4"}), 30000);
            QTest::qWait(2 * lapMs);
            p.window->commands().action("racestoprace")->trigger();
            QVERIFY(!p.services->race->isRunning());
            QCOMPARE(rows(db, "SELECT place FROM onerace ORDER BY place"), QStringList({"1", "2", "3", "4"}));
        };
        qualifyingRace();
        QCOMPARE(rows(db, "SELECT count(*) FROM stagedeciding WHERE deciding LIKE '3 consecutive: %'"),
                 QStringList({"4"}));
        next->click();
        QTRY_COMPARE(rows(db, "SELECT pilottrans, \"group\", confirmed FROM onerace ORDER BY pilottrans"),
                     QStringList({"105 2 Y", "106 2 Y", "107 2 Y", "108 2 Y"}));
        QTRY_COMPARE(gateIds(p.demo), QList<quint16>({105, 106, 107, 108}));
        qualifyingRace();
        QVERIFY(!log().contains("Unknown ID"));

        // Every pilot qualified: the bracket is made and its first heat sent.
        QTRY_VERIFY(log().contains("Demo: qualifying is done and the double elimination is made"));
        QVERIFY(log().contains(
            "Demo: Stage \"Double elimination\" is now a double elimination of 8 pilots seeded "
            "from \"Qualifying\": 6 heats to fly"));
        const QString bracketStage =
            rows(db, "SELECT id FROM stages WHERE stagename='Double elimination'").value(0);
        QCOMPARE(rows(db, "SELECT count(*) FROM results WHERE stage=" + bracketStage), QStringList({"8"}));
        QTRY_COMPARE(rows(db, "SELECT count(*), min(\"group\"), min(confirmed) FROM onerace"),
                     QStringList({"4 1 Y"}));
        int changedChannels = 0;
        for (int heat = 1; heat <= 6; ++heat) {
            const QString where = QStringLiteral("heat %1: ").arg(heat);
            QTRY_VERIFY2(gateIds(p.demo).size() == 4, qPrintable(where + log().right(600)));
            // The heats mix the two qualifying groups, who came on the same
            // four channels: each heat's pilots fly on channels of their own.
            QVERIFY2(rows(db, "SELECT count(DISTINCT vtx) FROM onerace") == QStringList{"4"},
                     qPrintable(where + rows(db, "SELECT pilotname || ' ' || vtx FROM onerace").join(", ")));
            // The race page says who changed channel, as the log does.
            if (auto *channels = p.window->findChild<QLabel *>("lbchannels"); !channels->isHidden()) {
                ++changedChannels;
                QVERIFY2(channels->text().startsWith("Channel: "), qPrintable(channels->text()));
                QTRY_VERIFY2(log().contains(channels->text().section('\n', 0, 0)),
                             qPrintable(channels->text() + "\n" + log().right(600)));
            }
            EventsViews &views = *p.services->events;
            const int bracketRow = views.stagesModel()->rowOfKey(bracketStage.toInt());
            if (heat == 1) {
                // Looking at Qualifying does not make the heat a qualifying race:
                // Start Race and the export ask, and the heat's own stage is the answer.
                QCOMPARE(p.window->findChild<QLabel *>("lblracestage")->text(),
                         QString("Race of: Demo Cup - Double elimination, group 1"));
                views.selectStageRows({views.stagesModel()->rowOfKey(
                    rows(db, "SELECT id FROM stages WHERE stagename='Qualifying'").value(0).toInt())});
                QCOMPARE(views.currentStageName(), QString("Qualifying"));
            }
            start->click();
            QVERIFY2(p.services->race->isRunning(), qPrintable(where + log().right(600)));
            if (heat == 1) {
                QCOMPARE(p.prompt.questions.size(), 1);
                QVERIFY(p.prompt.questions.first().startsWith("This race belongs to \"Demo Cup - Double "
                                                              "elimination, group 1\", but the Events page "
                                                              "shows \"Demo Cup - Qualifying\"."));
                QTRY_VERIFY(log().contains("Race (\"Demo Cup\", Double elimination, Group \"1\") started"));
                QTRY_VERIFY(get(port, "/api/bracket").body.contains("\"kind\":\"double\""));
            }
            QTRY_VERIFY_WITH_TIMEOUT(!p.services->race->isRunning(), 30000);
            if (heat == 1) {
                // The export asked too, and went into the heat's own stage.
                QTRY_COMPARE(p.prompt.questions.size(), 2);
                QVERIFY(
                    p.prompt.questions.last().contains("Yes: export it to \"Demo Cup - Double elimination"));
                p.prompt.questions.clear();
                views.selectStageRows({bracketRow});
            }
            QCOMPARE(rows(db, "SELECT lapno, count(*) FROM onerace GROUP BY lapno"), QStringList({"3 4"}));
            QTRY_COMPARE(rows(db, "SELECT count(*) FROM bracketheat WHERE stage=" + bracketStage),
                         QStringList({QString::number(heat)}));
            if (heat == 1) {
                // The Bracket page and the web server follow the export.
                QTRY_VERIFY(p.window->findChild<QLabel *>("lbheatpilots1")->text().startsWith("1. "));
                QTRY_VERIFY(get(port, "/api/bracket").body.contains("\"state\":\"flown\""));
                QVERIFY(get(port, "/api/bracket").body.contains("\"kind\":\"double\""));
            }
            if (heat < 6)
                next->click();
        }
        QVERIFY(changedChannels > 0);
        QTRY_VERIFY(
            p.window->findChild<QLabel *>("lbbrackettitle")->text().endsWith("No heat is ready to fly."));
        QTRY_VERIFY(log().contains("Demo: the grand final is flown: 1. "));
        QVERIFY(p.prompt.questions.isEmpty());
        QVERIFY2(p.prompt.notices.isEmpty(), qPrintable(p.prompt.notices.join('\n')));
    }

    // The program itself: a demo folder of its own, ready to race, and gone
    // with the program.
    void programWithDemo()
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(LAPVANE_PROGRAM), {"--demo"});
        QVERIFY(p.waitForStarted());
        QString out;
        QTRY_VERIFY_WITH_TIMEOUT(
            (out += QString::fromUtf8(p.readAllStandardOutput())).contains("Simulated Lapvane gate: "),
            30000);
        const QString folder = out.section("Demo folder: ", 1).section('\n', 0, 0);
        QVERIFY2(folder.contains("lapvaneadmin-demo-"), qPrintable(out));
        auto log = [&folder] {
            QFile f(QDir(folder).filePath("log.txt"));
            return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
        };
        QTRY_VERIFY_WITH_TIMEOUT(log().contains("Demo: ready."), 30000);
        QVERIFY(log().contains("Added ID 104"));
        ::kill(pid_t(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(folder));
    }
};

QTEST_MAIN(TestDemo)
#include "tst_demo.moc"
