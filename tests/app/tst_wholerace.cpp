// The receivers through the program's window, played by the simulators on
// pseudo-terminals: a whole race from the Lapvane gate (connected from the
// window, started from its button, passes turned into laps, the automatic
// end, places and standings) and the Chorus RF tab with its signal chart.
#include "app/commands.h"
#include "app/racepage.h"
#include "app/rssipointlabels.h"
#include "devices/lapvanegate.h"
#include "devices/rssisweep.h"
#include "devices/timingdevices.h"
#include "race/raceengine.h"
#include "tests/app/programfixture.h"
#include "tests/common/sqlrows.h"
#include "tools/receiversim/receiversim.h"
#include "tools/receiversim/simonpty.h"

#include <QAction>
#include <QChartView>
#include <QComboBox>
#include <QLineSeries>
#include <QLabel>
#include <QPushButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;
using lapvane::test::Program;
using lapvane::test::rows;

class TestWholeRace : public QObject
{
    Q_OBJECT
private slots:
    void raceFromTheSimulatedGate()
    {
        QTemporaryDir dir;
        Program p(dir.path(), true);
        QSqlDatabase db = p.ctx.db.db();
        QSqlQuery q(db);
        for (const auto &[id, name, trans, vtx] :
             {std::tuple{1, "Ann", 101, "R1"}, std::tuple{2, "Bob", 102, "R2"}, std::tuple{3, "Cid", 103, "R3"}}) {
            q.prepare("INSERT INTO onerace (pilotid, pilotname, pilottrans, vtx, confirmed, place, lapno) "
                      "VALUES (?, ?, ?, ?, 'Y', 999, 0)");
            q.addBindValue(id);
            q.addBindValue(QString::fromLatin1(name));
            q.addBindValue(trans);
            q.addBindValue(QString::fromLatin1(vtx));
            QVERIFY(q.exec());
        }
        p.window->racePage()->refreshRaceList();
        p.ctx.settings.set("edtlaps", "3");
        p.ctx.settings.set("cbwinplaces", 3);

        // The gate on its pseudo-terminal, connected from the window.
        sim::SimOnPty onPty(std::make_unique<sim::GateSim>());
        sim::ReceiverSim &gate = *onPty.sim;
        p.ctx.settings.set("comselect", onPty.pty.slavePath());
        p.window->commands().action("comconnect")->trigger();
        QTRY_VERIFY(p.services->devices->lapvaneConnected());
        QTRY_VERIFY(p.window->findChild<QLabel *>("shplapvanerace")->property("lit").toBool());
        QCOMPARE(p.window->findChild<QLabel *>("lblcomLapvanestat")->text(), QStringLiteral("Connected (int timer)"));

        p.window->findChild<QPushButton *>("btnstartrace")->click();
        QVERIFY(p.services->race->isRunning());
        QTRY_COMPARE(gate.mode(), sim::ReceiverSim::Mode::Race);

        // Passes stamped on the gate's clock, more than the anti-double-read
        // interval apart; a real gate cannot stamp a pass beyond the race
        // clock, so they stay within the few seconds the test takes.
        const quint32 start = gate.clockMs();
        const QList<QPair<qint32, quint32>> passes = {
            {101, 1000}, {102, 1100}, {103, 1200}, {101, 2200}, {102, 2400},
            {103, 2500}, {101, 3400}, {102, 3700}, {103, 3900}};
        for (const auto &[id, at] : passes)
            gate.pass(id, start + at);

        // Nine laps reach three times the limit: the race ends by itself.
        QTRY_VERIFY_WITH_TIMEOUT(!p.services->race->isRunning(), 10000);
        QCOMPARE(rows(db, "SELECT pilotname, lapno, place FROM onerace ORDER BY place"),
                 QStringList({"Ann 3 1", "Bob 3 2", "Cid 3 3"}));
        QCOMPARE(rows(db, "SELECT count(*) FROM laps"), QStringList({"9"}));
        // Lap durations are differences of the race times, whatever the gate's clock was.
        const QStringList ann = rows(db, "SELECT laptimetxt FROM laps WHERE pilotid=1 ORDER BY lapn");
        QCOMPARE(ann.mid(1), QStringList({"000:01.200", "000:01.200"}));
        QTRY_COMPARE(gate.mode(), sim::ReceiverSim::Mode::Registration); // the finish sends "a"
        QVERIFY(p.window->findChild<QPushButton *>("btnstartrace")->isEnabled());
        QCOMPARE(p.window->findChild<QLabel *>("lbltotalpilots")->text(), QStringLiteral("3"));
    }

    // The Chorus RF tab connects the simulated stack; "Measure" draws the
    // four channels on the Charts page and "Stop" ends the sweep.
    void chorusTabAndSignalChart()
    {
        QTemporaryDir dir;
        Program p(dir.path(), true);
        sim::SimOnPty chorus(std::make_unique<sim::ChorusSim>(4));
        p.ctx.settings.set("com3select", chorus.pty.slavePath());
        p.window->findChild<QPushButton *>("btcom3connect")->click();
        QTRY_VERIFY(p.services->devices->chorusConnected());
        QCOMPARE(p.window->findChild<QLabel *>("lbcomChorusstat")->text(), QStringLiteral("Connected 4 modules"));
        QVERIFY(p.window->findChild<QLabel *>("shpchorus")->property("lit").toBool());
        QCOMPARE(p.window->findChild<QComboBox *>("cbchorusmodule")->count(), 4);

        auto *view = p.window->findChild<QChartView *>("Chart1");
        QVERIFY(view);
        const QList<QAbstractSeries *> series = view->chart()->series();
        QCOMPARE(series.size(), 4);
        QCOMPARE(series.first()->name(), QStringLiteral("CH 1"));
        p.window->findChild<QPushButton *>("Button11")->click();
        QTRY_VERIFY_WITH_TIMEOUT(static_cast<QLineSeries *>(series.at(3))->count() > 0, 15000);
        p.window->findChild<QPushButton *>("Button15")->click();
        QTRY_VERIFY(!p.services->devices->rssi().isRunning());
        // Every point carries the time of day of its reading as its label.
        auto *labels = view->findChild<RssiPointLabels *>("rssipointlabels");
        QVERIFY(labels);
        for (int ch = 1; ch <= 4; ++ch) {
            const int points = static_cast<QLineSeries *>(series.at(ch - 1))->count();
            QVERIFY(points > 0);
            for (int i = 0; i < points; ++i)
                QVERIFY2(labels->labelAt(ch, i).count(':') >= 2, qPrintable(labels->labelAt(ch, i)));
            QVERIFY(labels->labelAt(ch, points).isEmpty());
        }
        p.window->findChild<QPushButton *>("btcom3disconnect")->click();
        QTRY_VERIFY(!p.window->findChild<QLabel *>("shpchorus")->property("lit").toBool());
    }
};

QTEST_MAIN(TestWholeRace)
#include "tst_wholerace.moc"
