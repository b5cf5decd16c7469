// The VS TimeMachine: serial lines (lap, ping, connect, time sync) on an
// in-memory line, and the WiFi datagram handler, mailboxes, sync and
// transponder search over UDP on the loopback address.
#include "tests/devices/devicefixture.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

using namespace lapvane;
using namespace lapvane::test;

namespace {
// The device's side of the WiFi link, on 127.0.0.1.
class UdpPeer : public QObject
{
public:
    UdpPeer()
    {
        socket.bind(QHostAddress::LocalHost, 0);
        connect(&socket, &QUdpSocket::readyRead, this, [this] {
            while (socket.hasPendingDatagrams())
                received << socket.receiveDatagram().data();
        });
    }
    void send(const QByteArray &text) { socket.writeDatagram(text, QHostAddress::LocalHost, hostPort); }
    QUdpSocket socket;
    quint16 hostPort = 0;
    QList<QByteArray> received;
};

void wifiOn(DeviceFixture &f, UdpPeer &peer)
{
    f.settings.set(QStringLiteral("edvstimeUDPport"), QString::number(peer.socket.localPort()));
    f.settings.set(QStringLiteral("chvstimeWifi"), true);
    QVERIFY(f.devices->vsWifiEnabled());
    peer.hostPort = f.devices->vsTimeMachine().wifiLocalPort();
}
} // namespace

class TestVsTimeMachine : public QObject
{
    Q_OBJECT
private slots:
    void lapLine()
    {
        DeviceFixture f;
        f.vsLine->open();
        f.devices->vsTimeMachine().setStartTimeVs(10000);
        f.vsLine->receiverSends("lap:7,1,4321,25500,25000,3,\r\n");
        const Pass p = f.devices->gettrans();
        QCOMPARE(p.source, PassSource::VsTimeMachine);
        QCOMPARE(p.recvid, 4321);
        QCOMPARE(p.raceMs, 15500);
        QVERIFY(f.capture->lines.contains(
            QStringLiteral("vstime packet:\r\n #:7 gate:1 trans:4321 laptime:25500 transstart:25000")));
        QCOMPARE(f.capture->lines.last(), QStringLiteral("racems - 15500"));
        QCOMPARE(f.vsLine->takeHostBytes(), QByteArray("lapreceived:7,1\r\n"));
    }

    void lapLineWithoutClosingComma()
    {
        DeviceFixture f;
        f.vsLine->open();
        f.vsLine->receiverSends("lap:7,1,4321,25500,25000\r\n");
        QCOMPARE(f.devices->gettrans().source, PassSource::None);
        QCOMPARE(f.capture->lines.last(), QStringLiteral("packet error"));
        QCOMPARE(f.vsLine->takeHostBytes(), QByteArray());
    }

    void pingLine()
    {
        DeviceFixture f;
        f.vsLine->open();
        f.devices->vsTimeMachine().setStartTimeVs(10000);
        QSignalSpy clock(&f.devices->vsTimeMachine(), &VsTimeMachine::deviceClockTextChanged);
        f.vsLine->receiverSends("ping:70000,\n");
        QCOMPARE(f.devices->gettrans().source, PassSource::None);
        QCOMPARE(f.devices->vsTimeMachine().deviceClockText(), QStringLiteral("001:00.000"));
        QCOMPARE(clock.size(), 1);
        QVERIFY(f.capture->lines.isEmpty()); // a ping adds nothing to the log
        f.vsLine->receiverSends("ping:70000\r\n");
        f.devices->gettrans();
        QCOMPARE(f.capture->lines.last(), QStringLiteral("Problem with reading VS TimeMachine"));
    }

    // A 10,000-character line without an end is handled in bounded pieces.
    void longGarbageLine()
    {
        DeviceFixture f;
        f.vsLine->open();
        f.vsLine->receiverSends(QByteArray(10000, 'z') + "lap:1,1,5,500,0,\n");
        int polls = 0;
        Pass p;
        while (p.source == PassSource::None && polls < 10) {
            p = f.devices->gettrans();
            ++polls;
        }
        QCOMPARE(p.recvid, 5);
        QVERIFY(polls <= 4);
    }

    // A lap line cut anywhere, its two pieces read apart, is one lap,
    // acknowledged once; nothing is judged before the line is whole.
    void serialLapSplitAtEveryPosition()
    {
        DeviceFixture f;
        f.vsLine->open();
        f.devices->vsTimeMachine().setStartTimeVs(1000);
        for (int packet = 1; packet <= 3; ++packet) {
            const QByteArray line = "lap:" + QByteArray::number(packet) + ",1,4321,25500,25000,3,\r\n";
            for (int cut = 1; cut < line.size(); ++cut) {
                f.vsLine->receiverSends(line.left(cut));
                QCOMPARE(f.devices->gettrans().source, PassSource::None);
                f.vsLine->receiverSends(line.mid(cut));
                const Pass p = f.devices->gettrans();
                QCOMPARE(p.source, PassSource::VsTimeMachine);
                QCOMPARE(p.recvid, 4321);
                QCOMPARE(p.raceMs, 24500);
                QCOMPARE(f.devices->gettrans().source, PassSource::None);
                QCOMPARE(f.vsLine->takeHostBytes(), "lapreceived:" + QByteArray::number(packet) + ",1\r\n");
            }
        }
        QVERIFY(!f.logText().contains(QStringLiteral("packet error")));
    }

    // The same over WiFi: a message in two datagrams, during a race (taken
    // by the poll) and outside one (acknowledged by the receiver itself).
    void wifiLapSplitAtEveryPosition()
    {
        for (const bool racing : {true, false}) {
            DeviceFixture f;
            UdpPeer peer;
            wifiOn(f, peer);
            f.devices->setRaceRunningProbe([racing] { return racing; });
            VsTimeMachine &vs = f.devices->vsTimeMachine();
            const QHostAddress from(QHostAddress::LocalHost);
            int acks = 0;
            for (const QByteArray &line : {QByteArray("lap:12,2,4321,25500,25000,\n"), QByteArray("lap:12,2,4321,25500,25000,")}) {
                for (int cut = 1; cut < line.size(); ++cut) {
                    vs.handleDatagram(line.left(cut), from, 1);
                    vs.handleDatagram(line.mid(cut), from, 1);
                    if (racing) {
                        const Pass p = f.devices->gettrans();
                        QCOMPARE(p.recvid, 4321);
                        QCOMPARE(f.devices->gettrans().source, PassSource::None);
                    }
                    ++acks;
                    QTRY_COMPARE(peer.received.size(), acks);
                    QCOMPARE(peer.received.last(), QByteArray("lapreceived:12,2\r\n"));
                }
            }
            QVERIFY(!f.logText().contains(QStringLiteral("packet error")));
            // A new message after an unfinished one: the piece is dropped with
            // a line, the new message counts.
            vs.handleDatagram("lap:13,2,43", from, 1);
            vs.handleDatagram("lap:14,2,4321,26500,26000,\n", from, 1);
            if (racing)
                QCOMPARE(f.devices->gettrans().recvid, 4321);
            QTRY_COMPARE(peer.received.size(), acks + 1);
            QCOMPARE(peer.received.last(), QByteArray("lapreceived:14,2\r\n"));
            QVERIFY(f.logText().contains(QStringLiteral("unfinished message dropped: lap:13,2,43")));
        }
    }

    // A damaged number field: "packet error", no lap, no acknowledgement, so
    // the device sends the lap again; the log shows the bytes escaped.
    void damagedNumberFieldNotAcknowledged()
    {
        DeviceFixture f;
        f.vsLine->open();
        f.vsLine->receiverSends(QByteArrayLiteral("lap:7,1,4321,2550\0\x17 99999,25000,x,\n"));
        QCOMPARE(f.devices->gettrans().source, PassSource::None);
        QCOMPARE(f.capture->lines.last(), QStringLiteral("packet error"));
        QCOMPARE(f.vsLine->takeHostBytes(), QByteArray());

        UdpPeer peer;
        wifiOn(f, peer);
        f.settings.set(QStringLiteral("chvstimeshowping"), true);
        f.devices->vsTimeMachine().handleDatagram(QByteArrayLiteral("lap:7\0,1,4321,2550,2500,\n"),
                                                  QHostAddress(QHostAddress::LocalHost), 1);
        QCOMPARE(f.capture->lines.last(), QStringLiteral("packet error"));
        QVERIFY(f.logText().contains(QStringLiteral("lap:7\\x00,1,4321")));
        QTest::qWait(50);
        QVERIFY(peer.received.isEmpty());
    }

    void connectSerial()
    {
        DeviceFixture f;
        // More than 1000 characters without "systime" start the text afresh.
        f.vsLine->setResponder([&f](const QByteArray &in) {
            if (in != "Hello;\r\n")
                return QByteArray();
            QTimer::singleShot(300, [&f] { f.vsLine->receiverSends("systime:12345\r\n"); });
            return QByteArray(1500, 'x');
        });
        f.devices->vsTimeMachine().connectSerial();
        QCOMPARE(f.devices->vsTimeMachine().status(), QStringLiteral("Connected"));
        QCOMPARE(f.vsLine->hostHistory(), QByteArray("CLEAR\r\nHello;\r\n"));
    }

    void connectSerialStoppedWithoutAnswer()
    {
        DeviceFixture f;
        f.vsLine->setResponder([](const QByteArray &) { return QByteArray("junk"); });
        QTimer::singleShot(300, f.devices.get(), [&] { f.stop.raise(); });
        f.devices->vsTimeMachine().connectSerial();
        QCOMPARE(f.devices->vsTimeMachine().status(), QStringLiteral("com2: Bad reply (junk)"));
        QVERIFY(!f.devices->vsSerialConnected());
    }

    void serialSync()
    {
        DeviceFixture f;
        f.vsLine->open();
        // The answer arrives in two pieces; the clock is read only when whole.
        f.vsLine->setResponder([&f](const QByteArray &in) {
            if (in == "settime:1\r\n")
                QTimer::singleShot(50, [&f] { f.vsLine->receiverSends("timesynchok:98"); });
            if (in == "settime:1\r\n")
                QTimer::singleShot(150, [&f] { f.vsLine->receiverSends("765,0,\n"); });
            return QByteArray();
        });
        QVERIFY(f.devices->syncVsSerial(f.stop));
        QCOMPARE(f.devices->vsTimeMachine().startTimeVs(), 98765);
        QVERIFY(f.vsLine->hostHistory().endsWith("timesynchreceived:98765\r\n"));
        QVERIFY(f.capture->lines.contains(QStringLiteral("replying: timesynchreceived:98765\r\n")));
        QCOMPARE(f.capture->lines.last(), QStringLiteral("vstime start: 98765"));
        // A silent device: bounded, reported, the clock kept.
        f.vsLine->setResponder({});
        QVERIFY(!f.devices->syncVsSerial(f.stop));
        QCOMPARE(f.capture->lines.last(), QStringLiteral("PROBLEM WITH VSTIME! STOP RACE MANUALLY!"));
        QCOMPARE(f.devices->vsTimeMachine().startTimeVs(), 98765);
    }

    void wifiLapOutsideRace()
    {
        DeviceFixture f;
        UdpPeer peer;
        wifiOn(f, peer);
        QCOMPARE(f.devices->vsTimeMachine().status(), QStringLiteral("Wifi ON"));
        peer.send("lap:12,2,4321,25500,25000,");
        QTRY_COMPARE(peer.received.size(), 1);
        QCOMPARE(peer.received.first(), QByteArray("lapreceived:12,2\r\n"));
        QVERIFY(f.capture->lines.contains(QStringLiteral("packet#:12")));
        QVERIFY(f.capture->lines.contains(QStringLiteral("gate#:2")));
        QCOMPARE(f.capture->lines.last(), QStringLiteral("sent confirm"));
        QCOMPARE(f.devices->gettrans().source, PassSource::None);
    }

    void wifiLapDuringRaceAcknowledgedOnBoth()
    {
        DeviceFixture f;
        UdpPeer peer;
        wifiOn(f, peer);
        f.devices->setRaceRunningProbe([] { return true; });
        f.vsLine->open();
        f.devices->vsTimeMachine().setStartTimeVs(500);
        peer.send("lap:12,2,4321,25500,25000,");
        QTRY_VERIFY(!f.devices->vsTimeMachine().mailbox(VsTimeMachine::Mailbox::Lap).isEmpty());
        // A second lap before the poll took the first is dropped, unanswered.
        peer.send("lap:13,2,4322,26500,26000,");
        QTest::qWait(100);
        QVERIFY(peer.received.isEmpty());
        const Pass p = f.devices->gettrans();
        QCOMPARE(p.recvid, 4321);
        QCOMPARE(p.raceMs, 25000);
        QCOMPARE(f.vsLine->takeHostBytes(), QByteArray("lapreceived:12,2\r\n"));
        QTRY_COMPARE(peer.received.size(), 1);
        QCOMPARE(peer.received.first(), QByteArray("lapreceived:12,2\r\n"));
        QCOMPARE(f.devices->gettrans().source, PassSource::None);
    }

    void echotransAlwaysAnswered()
    {
        DeviceFixture f;
        UdpPeer peer;
        wifiOn(f, peer);
        peer.send("echotrans:4321,119,");
        QTRY_COMPARE(peer.received.size(), 1);
        QCOMPARE(peer.received.first(), QByteArray("echook:4321\r\n"));
        QCOMPARE(f.capture->lines.last(), QStringLiteral("sent confirm: echook:4321"));
    }

    void wifiSync()
    {
        DeviceFixture f;
        UdpPeer peer;
        wifiOn(f, peer);
        // A late answer from an earlier start must not be taken.
        peer.send("timesynchok:1,2,");
        QTRY_VERIFY(!f.devices->vsTimeMachine().mailbox(VsTimeMachine::Mailbox::Timesynchok).isEmpty());
        connect(&peer.socket, &QUdpSocket::readyRead, &peer, [&peer] {
            if (peer.received.contains("settime:1\r\n") && !peer.received.contains("answered"))
                peer.received << "answered", peer.send("timesynchok:111,222,");
        });
        QVERIFY(f.devices->syncVsWifi(f.stop));
        QCOMPARE(f.devices->vsTimeMachine().startTimeVs(), 222);
        QCOMPARE(f.capture->lines.last(), QStringLiteral("vstime start: 222"));
        QVERIFY(peer.received.contains("timesynchreceived:111\r\n"));
        QVERIFY(f.devices->vsTimeMachine().mailbox(VsTimeMachine::Mailbox::Timesynchok).isEmpty());
    }

    // WiFi on, nobody answering, no other receiver: about five seconds, then
    // the search and the confirmation report failure.
    void confirmIdWifiNoAnswer()
    {
        DeviceFixture f;
        UdpPeer peer;
        wifiOn(f, peer);
        f.settings.set(QStringLiteral("chksounds"), true);
        const QList<int> rows = f.addRaceList({{1, QStringLiteral("A"), 1, QStringLiteral("R1")},
                                               {2, QStringLiteral("B"), 2, QStringLiteral("R2")},
                                               {3, QStringLiteral("C"), 3, QStringLiteral("R3")},
                                               {4, QStringLiteral("D"), 4321, QStringLiteral("R4")}});
        QElapsedTimer t;
        t.start();
        QVERIFY(!f.devices->confirmID(rows[3], 4321));
        QVERIFY(t.elapsed() >= 4900);
        QVERIFY(peer.received.contains("searchtrans:4321,119\r\n"));
        QVERIFY(f.capture->lines.contains(QStringLiteral("recNo: 7")));
        QVERIFY(f.capture->lines.contains(QStringLiteral("No reply from VStrans: 4321")));
        QCOMPARE(f.capture->lines.last(), QStringLiteral("not added, received: "));
        QCOMPARE(f.confirmedOf(rows[3]), QStringLiteral("N"));
        QCOMPARE(f.cues.played, QList<Cue>{Cue::RegisterCheck});
    }

    void confirmIdSerialEcho()
    {
        DeviceFixture f;
        const QList<int> rows = f.addRaceList({{1, QStringLiteral("A"), 77, QStringLiteral("R1")}});
        f.vsLine->open();
        f.vsLine->setResponder([](const QByteArray &in) {
            return in.startsWith("searchtrans:") ? QByteArray("echotrans:77,113,\r\n") : QByteArray();
        });
        QVERIFY(f.devices->confirmID(rows[0], 77));
        QVERIFY(f.vsLine->hostHistory().endsWith("searchtrans:77,113\r\necho" "ok:77,113\r\n"));
        QCOMPARE(f.confirmedOf(rows[0]), QStringLiteral("Y"));
        QVERIFY(f.capture->lines.contains(QStringLiteral("Added ID 77")));
    }

    // Oversized and malformed datagrams: cut, ignored, nothing breaks.
    void datagramGarbage()
    {
        DeviceFixture f;
        UdpPeer peer;
        wifiOn(f, peer);
        f.settings.set(QStringLiteral("chvstimeshowping"), true);
        peer.send(QByteArray(8192, '\xff'));
        peer.send("lap" + QByteArray(8000, ','));
        peer.send(QByteArray());
        QTRY_VERIFY(f.capture->lines.size() >= 6);
        QCOMPARE(f.devices->gettrans().source, PassSource::None);
        QVERIFY(f.devices->vsWifiEnabled());
    }

    // A local port that cannot be bound turns 'use WiFi' back off with a log line.
    void wifiBadLocalPort()
    {
        DeviceFixture f;
        f.settings.set(QStringLiteral("edvstimeLocalPort"), QStringLiteral("notaport"));
        f.settings.set(QStringLiteral("chvstimeWifi"), true);
        QVERIFY(!f.devices->vsWifiEnabled());
        QVERIFY(!f.settings.flag(QStringLiteral("chvstimeWifi")));
        QVERIFY(f.capture->lines.last().startsWith(QStringLiteral("VS TimeMachine WiFi could not start")));
    }
};

QTEST_GUILESS_MAIN(TestVsTimeMachine)
#include "tst_vstimemachine.moc"
