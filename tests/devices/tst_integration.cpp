// The receivers over real pseudo-terminals and UDP loopback, played by the
// simulator: connect handshakes, registration of a race list, the race start
// handshakes and passes, an unplug in the middle of a race and a reconnect.
#include "devices/serialportline.h"
#include "tests/devices/devicefixture.h"
#include "tools/receiversim/ptylink.h"
#include "tools/receiversim/receiversim.h"
#include "tools/receiversim/simonpty.h"
#include "tools/receiversim/udplink.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace lapvane;
using namespace lapvane::sim;
using namespace lapvane::test;

namespace {
TimingDevices::Lines realPorts()
{
    TimingDevices::Lines l;
    l.lapvane = std::make_unique<SerialPortLine>();
    l.vs = std::make_unique<SerialPortLine>();
    l.chorus = std::make_unique<SerialPortLine>();
    return l;
}

// Polls like the race tick until a pass arrives or timeoutMs passes.
Pass nextPass(TimingDevices &d, int timeoutMs = 2000)
{
    Pass p;
    waitUntil([&] { return (p = d.gettrans()).source != PassSource::None; }, nullptr, timeoutMs);
    return p;
}

struct Rig
{
    Rig()
        : f(realPorts()), gate(std::make_unique<GateSim>()), vs(std::make_unique<VsSim>()),
          chorus(std::make_unique<ChorusSim>(4))
    {
        f.settings.set(QStringLiteral("comselect"), gate.pty.slavePath());
        f.settings.set(QStringLiteral("com2select"), vs.pty.slavePath());
        f.settings.set(QStringLiteral("com3select"), chorus.pty.slavePath());
    }
    void connectAll()
    {
        f.devices->comconnectExecute();
        f.devices->vsTimeMachine().connectSerial();
        f.devices->chorus().connectChorus();
    }
    DeviceFixture f;
    SimOnPty gate;
    SimOnPty vs;
    SimOnPty chorus;
};
} // namespace

class TestIntegration : public QObject
{
    Q_OBJECT
private slots:
    void connectAllThree()
    {
        Rig r;
        QSignalSpy green(&r.f.devices->lapvane(), &SerialDevice::portOpenChanged);
        QSignalSpy yellow(&r.f.devices->vsTimeMachine(), &SerialDevice::portOpenChanged);
        QSignalSpy blue(&r.f.devices->chorus(), &SerialDevice::portOpenChanged);
        r.connectAll();
        QCOMPARE(r.f.devices->lapvane().status(), QStringLiteral("Connected (int timer)"));
        QCOMPARE(r.f.devices->vsTimeMachine().status(), QStringLiteral("Connected"));
        QCOMPARE(r.f.devices->chorus().status(), QStringLiteral("Connected 4 modules"));
        QCOMPARE(green.size(), 1);
        QCOMPARE(yellow.size(), 1);
        QCOMPARE(blue.size(), 1);
        r.f.devices->comdisconnectExecute();
        QVERIFY(!r.f.devices->lapvaneConnected());
        QVERIFY(!r.f.devices->vsSerialConnected());
        QVERIFY(r.f.devices->chorusConnected());
        QCOMPARE(green.size(), 2);
    }

    void registerRaceList()
    {
        Rig r;
        const QList<int> rows = r.f.addRaceList({{1, QStringLiteral("Ann"), 101, QStringLiteral("R1")},
                                                 {2, QStringLiteral("Bob"), 102, QStringLiteral("R2")},
                                                 {3, QStringLiteral("Cid"), 103, QStringLiteral("R3")}});
        r.connectAll();
        r.f.devices->raceregpilotsExecute();
        QTRY_COMPARE(r.gate.sim->mode(), ReceiverSim::Mode::Registration);
        r.gate.sim->pass(101);
        QTRY_COMPARE(r.f.confirmedOf(rows[0]), QStringLiteral("Y"));
        // The confirmation's search clears the VS TimeMachine's line: the
        // next pass comes after it.
        QTRY_VERIFY(r.f.capture->lines.contains(QStringLiteral("Added ID 101")));
        r.vs.sim->pass(102); // a VS TimeMachine pass registers alike
        QTRY_COMPARE(r.f.confirmedOf(rows[1]), QStringLiteral("Y"));
        QCOMPARE(r.f.confirmedOf(rows[2]), QStringLiteral("N"));
        // The ids went to the gate and were searched on the VS TimeMachine.
        QTRY_COMPARE(static_cast<GateSim *>(r.gate.sim.get())->ids(), QList<quint16>({101, 102}));
        QVERIFY(r.f.capture->lines.contains(QStringLiteral("got reply: echotrans:101,113,\n (19 bytes)")));
        QVERIFY(r.f.capture->lines.contains(QStringLiteral("Added ID 102")));
        r.f.devices->btn1Click();
        r.f.devices->racelistpilotsExecute();
        QCOMPARE(r.f.capture->lines.mid(r.f.capture->lines.size() - 3),
                 QStringList({QStringLiteral("101"), QStringLiteral("102"), QStringLiteral("End of list.")}));
    }

    void raceStartAndPasses()
    {
        Rig r;
        r.f.addRaceList({{1, QStringLiteral("Ann"), 101, QStringLiteral("R1")},
                         {2, QStringLiteral("Bob"), 102, QStringLiteral("R2")}});
        r.connectAll();
        QVERIFY(r.f.devices->syncVsSerial(r.f.stop));
        QVERIFY(r.f.devices->syncLapvane(r.f.stop));
        QVERIFY(r.f.devices->syncChorus(r.f.stop));
        QVERIFY(r.f.devices->lapvaneRaceMode());
        QTRY_COMPARE(r.gate.sim->mode(), ReceiverSim::Mode::Race);
        QTest::qWait(50);
        r.gate.sim->pass(101);
        Pass p = nextPass(*r.f.devices);
        QCOMPARE(p.source, PassSource::LapvaneGate);
        QCOMPARE(p.recvid, 101);
        QVERIFY(p.raceMs > 0 && p.raceMs < 5000);
        r.chorus.sim->pass(1);
        p = nextPass(*r.f.devices);
        QCOMPARE(p.source, PassSource::ChorusRf);
        QCOMPARE(p.recvid, 102);
        QVERIFY(p.raceMs > 0 && p.raceMs < 5000);
        r.vs.sim->pass(4321);
        p = nextPass(*r.f.devices);
        QCOMPARE(p.source, PassSource::VsTimeMachine);
        QCOMPARE(p.recvid, 4321);
        QVERIFY(p.raceMs > 0 && p.raceMs < 5000);
        QTRY_VERIFY(static_cast<VsSim *>(r.vs.sim.get())->unacknowledged().isEmpty());
    }

    // The gate's terminal disappears in the middle of a race.
    void unplugDuringRaceAndReconnect()
    {
        Rig r;
        r.f.addRaceList({{1, QStringLiteral("Ann"), 101, QStringLiteral("R1")}});
        r.connectAll();
        QVERIFY(r.f.devices->syncLapvane(r.f.stop));
        QVERIFY(r.f.devices->lapvaneRaceMode());
        QTRY_COMPARE(r.gate.sim->mode(), ReceiverSim::Mode::Race);
        r.gate.sim->pass(101);
        QCOMPARE(nextPass(*r.f.devices).recvid, 101);
        QSignalSpy green(&r.f.devices->lapvane(), &SerialDevice::portOpenChanged);
        const int before = r.f.capture->lines.size();
        r.gate.pty.unplug();
        QTRY_VERIFY(!r.f.devices->lapvaneConnected());
        QCOMPARE(green.size(), 1);
        // One clear line, no flood.
        QTest::qWait(100);
        QCOMPARE(r.f.capture->lines.size(), before + 1);
        const QString lost = r.f.capture->lines.last();
        QVERIFY(lost.startsWith(QStringLiteral("Lapvane gate lost on ")));
        // The reason is that of the failure that ended the line, not a
        // leftover error text of an earlier call.
        QVERIFY2(lost.contains(QStringLiteral("(the device stopped answering: Input/output error)"))
                     || lost.contains(QStringLiteral("(the line was closed at the other end)"))
                     || lost.contains(QStringLiteral("(the device is gone)")),
                 qPrintable(lost));
        // The race goes on with the others.
        QVERIFY(r.f.devices->comconnected());
        r.chorus.sim->pass(0);
        QCOMPARE(nextPass(*r.f.devices).source, PassSource::ChorusRf);
        // The gate comes back on a new terminal.
        SimOnPty again(std::make_unique<GateSim>());
        r.f.settings.set(QStringLiteral("comselect"), again.pty.slavePath());
        r.f.devices->comconnectExecute();
        QCOMPARE(r.f.devices->lapvane().status(), QStringLiteral("Connected (int timer)"));
        QVERIFY(r.f.devices->lapvaneRaceMode());
        QTRY_COMPARE(again.sim->mode(), ReceiverSim::Mode::Race);
        again.sim->pass(101);
        const Pass p = nextPass(*r.f.devices);
        QCOMPARE(p.source, PassSource::LapvaneGate);
        QCOMPARE(p.recvid, 101);
    }

    void wifiOverLoopback()
    {
        DeviceFixture f;
        VsSim vs;
        UdpLink link;
        f.settings.set(QStringLiteral("chvstimeWifi"), true);
        QVERIFY(f.devices->vsWifiEnabled());
        QString error;
        QVERIFY(link.open(0, f.devices->vsTimeMachine().wifiLocalPort(), &error));
        f.settings.set(QStringLiteral("edvstimeUDPport"), QString::number(link.port()));
        QObject::connect(&link, &UdpLink::received, &vs, [&vs](const QByteArray &d) { vs.fromHost(d + '\n'); });
        vs.setSink([&link](const QByteArray &b) { link.write(b); });
        QVERIFY(f.devices->syncVsWifi(f.stop));
        f.devices->setRaceRunningProbe([] { return true; });
        QTest::qWait(20);
        vs.pass(555);
        const Pass p = nextPass(*f.devices);
        QCOMPARE(p.source, PassSource::VsTimeMachine);
        QCOMPARE(p.recvid, 555);
        QVERIFY(p.raceMs >= 0 && p.raceMs < 5000);
        QTRY_VERIFY(vs.unacknowledged().isEmpty());
        // Confirm Selected over WiFi: the simulator answers the search.
        const QList<int> rows = f.addRaceList({{1, QStringLiteral("Ann"), 555, QStringLiteral("R1")}});
        QVERIFY(f.devices->confirmID(rows[0], 555));
        QCOMPARE(f.confirmedOf(rows[0]), QStringLiteral("Y"));
    }
};

QTEST_GUILESS_MAIN(TestIntegration)
#include "tst_integration.moc"
