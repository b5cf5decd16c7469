// The Lapvane gate on an in-memory line: connect handshakes, the poll's pass
// records, the start ping, list/version/counter, registration, reset list,
// garbage and an unplug in the middle of a race.
#include "devices/lapvaneprotocol.h"
#include "tests/devices/devicefixture.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace lapvane;
using namespace lapvane::test;

namespace {
enum class Noise { StrayCr, ByteInside, FewBetween, FewAnywhere, Kilobyte, Flood };

// A gate that answers the ping with its clock and "t" with timerReply.
std::function<QByteArray(const QByteArray &)> gate(char timerReply, quint32 clockMs = 400)
{
    return [=](const QByteArray &in) -> QByteArray {
        if (in == "p")
            return gateproto::encodePingReply(clockMs);
        if (in == "t")
            return QByteArray(1, timerReply);
        return {};
    };
}
} // namespace

class TestLapvaneGate : public QObject
{
    Q_OBJECT
private slots:
    void connectHandshake_data()
    {
        QTest::addColumn<char>("timerReply");
        QTest::addColumn<QString>("status");
        QTest::newRow("2") << '2' << QStringLiteral("Connected");
        QTest::newRow("3") << '3' << QStringLiteral("Connected (int timer)");
        QTest::newRow("other") << 'x' << QStringLiteral("Connecting 2...");
    }
    void connectHandshake()
    {
        QFETCH(char, timerReply);
        QFETCH(QString, status);
        DeviceFixture f;
        f.gateLine->setResponder(gate(timerReply));
        QSignalSpy lamp(&f.devices->lapvane(), &SerialDevice::portOpenChanged);
        f.devices->comconnectExecute();
        QCOMPARE(f.devices->lapvane().status(), status);
        QVERIFY(f.devices->lapvaneConnected());
        QCOMPARE(f.gateLine->hostHistory(), QByteArray("pt"));
        QCOMPARE(lamp.size(), 1);
        QVERIFY(f.devices->comconnected());
    }

    void connectBadReplyClosesPort()
    {
        DeviceFixture f;
        f.gateLine->setResponder([](const QByteArray &) { return QByteArray("A"); });
        f.devices->comconnectExecute();
        QCOMPARE(f.devices->lapvane().status(), QStringLiteral("com1: Bad reply (65)"));
        QVERIFY(!f.devices->lapvaneConnected());
    }

    void connectOpenFailure()
    {
        DeviceFixture f;
        f.gateLine->setOpenFailure(QStringLiteral("no such port"));
        f.devices->comconnectExecute();
        QCOMPARE(f.devices->lapvane().status(), QStringLiteral("Cannot connect"));
    }

    // Nothing attached: the wait lasts until Disconnect, which also closes
    // the VS TimeMachine's serial port.
    void connectWaitsUntilDisconnect()
    {
        DeviceFixture f;
        f.vsLine->open();
        QTimer::singleShot(300, f.devices.get(), [&] { f.devices->comdisconnectExecute(); });
        QElapsedTimer t;
        t.start();
        f.devices->comconnectExecute();
        QVERIFY(t.elapsed() >= 250);
        QCOMPARE(f.devices->lapvane().status(), QStringLiteral("Disconnected"));
        QCOMPARE(f.devices->vsTimeMachine().status(), QStringLiteral("Disconnected"));
        QVERIFY(!f.devices->lapvaneConnected());
        QVERIFY(!f.devices->vsSerialConnected());
    }

    void passRecordAfterStartPing()
    {
        DeviceFixture f;
        f.gateLine->setResponder(gate('2', 400));
        f.devices->comconnectExecute();
        QVERIFY(f.devices->syncLapvane(f.stop));
        QVERIFY(f.logText().contains(QStringLiteral("lapvane start: 400")));
        f.gateLine->receiverSends(QByteArray("\x34\x12\xE8\x03\x00\x00", 6));
        const Pass p = f.devices->gettrans();
        QCOMPARE(p.source, PassSource::LapvaneGate);
        QCOMPARE(p.recvid, 4660);
        QCOMPARE(p.raceMs, 600);
        QCOMPARE(f.devices->gettrans().source, PassSource::None);
    }

    void recordSplitAcrossPolls()
    {
        DeviceFixture f;
        f.gateLine->setResponder(gate('2', 0));
        f.devices->comconnectExecute();
        const QByteArray rec = gateproto::encodePassRecord(77, 12345);
        f.gateLine->receiverSends(rec.left(4));
        QCOMPARE(f.devices->gettrans().source, PassSource::None); // kept for a later poll
        f.gateLine->receiverSends(rec.mid(4));
        const Pass p = f.devices->gettrans();
        QCOMPARE(p.recvid, 77);
        QCOMPARE(p.raceMs, 12345);
    }

    // Line noise on the gate's record stream during a race, in the in-memory
    // line: every record the noise did not hit is decoded right (a record it
    // hits may be lost), and no pass goes to a pilot who did not pass. Pilots
    // 32781 (0x800D) and 45581 (0xB20D) are on the list but never fly: they
    // are the ids a 0x0D before the records of 128 and 178 would make.
    void framingAfterNoise_data()
    {
        QTest::addColumn<int>("noise");
        QTest::addColumn<quint32>("seed");
        QTest::newRow("one 0x0D between records") << int(Noise::StrayCr) << 1u;
        QTest::newRow("one byte inside a record") << int(Noise::ByteInside) << 1u;
        for (quint32 seed = 1; seed <= 6; ++seed) {
            QTest::addRow("1-5 bytes between records, seed %u", seed) << int(Noise::FewBetween) << seed;
            QTest::addRow("1-5 bytes anywhere, seed %u", seed) << int(Noise::FewAnywhere) << seed;
            QTest::addRow("a kilobyte between records, seed %u", seed) << int(Noise::Kilobyte) << seed;
        }
        QTest::newRow("18004 random bytes") << int(Noise::Flood) << 7u;
    }
    void framingAfterNoise()
    {
        QFETCH(int, noise);
        QFETCH(quint32, seed);
        QRandomGenerator rng(seed);
        DeviceFixture f;
        f.addRaceList({{1, QStringLiteral("A"), 128, QStringLiteral("R1"), QStringLiteral("Y")},
                       {2, QStringLiteral("B"), 178, QStringLiteral("R2"), QStringLiteral("Y")},
                       {3, QStringLiteral("C"), 101, QStringLiteral("R3"), QStringLiteral("Y")},
                       {4, QStringLiteral("D"), 102, QStringLiteral("R4"), QStringLiteral("Y")},
                       {5, QStringLiteral("E"), 32781, QStringLiteral("R5"), QStringLiteral("Y")},
                       {6, QStringLiteral("F"), 45581, QStringLiteral("R6"), QStringLiteral("Y")}});
        f.gateLine->open();
        const quint32 start = 3000000000u; // the gate's clock wraps during this race
        f.devices->lapvane().setStartTimeRace(start);
        qint64 clockMs = 0;
        f.devices->setRaceClockProbe([&clockMs] { return std::optional<qint64>(clockMs); });

        auto randomBytes = [&rng](int n) {
            QByteArray b(n, Qt::Uninitialized);
            for (char &c : b)
                c = char(rng.bounded(256));
            return b;
        };
        const int flying[] = {128, 178, 101, 102};
        QList<QPair<qint32, qint32>> sent, received;
        QSet<int> hit; // records the noise fell into
        auto poll = [&] {
            for (int polls = 0; polls < 10000; ++polls) {
                const Pass p = f.devices->gettrans();
                if (p.source == PassSource::None && f.gateLine->bytesWaiting() == 0)
                    break;
                if (p.source != PassSource::None)
                    received << qMakePair(p.recvid, p.raceMs);
            }
        };
        qint32 t = 2000;
        for (int i = 0; i < 40; ++i) {
            t += 300 + int(rng.bounded(900));
            const qint32 id = flying[i % 4];
            QByteArray record = gateproto::encodePassRecord(quint16(id), start + quint32(t));
            QByteArray before;
            switch (Noise(noise)) {
            case Noise::StrayCr:
                if (i == 3)
                    before = "\r";
                break;
            case Noise::ByteInside:
                if (i == 3) {
                    record.insert(2, '\x0D');
                    hit << i;
                }
                break;
            case Noise::FewBetween:
                if (rng.bounded(4) == 0)
                    before = randomBytes(1 + int(rng.bounded(5)));
                break;
            case Noise::FewAnywhere:
                if (rng.bounded(4) == 0) {
                    const int at = int(rng.bounded(7));
                    record.insert(at, randomBytes(1 + int(rng.bounded(5))));
                    if (at > 0 && at < 6)
                        hit << i;
                }
                break;
            case Noise::Kilobyte:
                if (i % 10 == 5)
                    before = randomBytes(1024);
                break;
            case Noise::Flood:
                if (i == 20)
                    before = randomBytes(18004);
                break;
            }
            sent << qMakePair(id, t);
            clockMs = t + 20;
            poll(); // the pass loop polls on while the gate is quiet
            f.gateLine->receiverSends(before);
            f.gateLine->receiverSends(record);
            poll();
        }
        clockMs += 1000;
        poll();
        // Every pass of a listed pilot is one that was flown, in order, once.
        // (A pass of an id outside the list counts for nobody.)
        int at = 0;
        for (const auto &r : received) {
            if (!QList<qint32>{128, 178, 101, 102, 32781, 45581}.contains(r.first))
                continue;
            while (at < sent.size() && sent[at] != r)
                ++at;
            QVERIFY2(at < sent.size(), qPrintable(QStringLiteral("invented pass ID:%1 at %2").arg(r.first).arg(r.second)));
            ++at;
        }
        // Every record the noise did not hit came through.
        for (int i = 0; i < sent.size(); ++i) {
            if (!hit.contains(i))
                QVERIFY2(received.contains(sent[i]), qPrintable(QStringLiteral("record %1 lost").arg(i)));
        }
        if (noise == int(Noise::StrayCr) || noise >= int(Noise::Kilobyte))
            QVERIFY(f.logText().contains(QStringLiteral("Lapvane gate stream lost alignment")));
    }

    // A stream without noise is taken record by record as it stands, however
    // it is cut into reads: a record that cannot count is logged, never
    // traded for a window across two records that happens to look like a
    // listed pilot's pass.
    void cleanStreamKeepsAlignment_data()
    {
        QTest::addColumn<QList<qint32>>("listed");
        QTest::addColumn<quint32>("startMs");
        QTest::addColumn<qint64>("raceClockMs");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("logged");
        QTest::addColumn<QStringList>("counted"); // id@ms
        // The gate's clock restarted 3 s into the race: pilot 55's passes are
        // stamped 12345 and 12845 on the new clock. The window two bytes on
        // reads as 12345 at 4480 ms.
        QTest::newRow("gate clock restarted")
            << QList<qint32>{12345, 55, 101, 102} << 3600000u << qint64(3000)
            << gateproto::encodePassRecord(55, 12345) + gateproto::encodePassRecord(55, 12845)
            << QStringList{QStringLiteral("ID:55 stamped at race time -3587655 ms"),
                           QStringLiteral("ID:55 stamped at race time -3587155 ms")}
            << QStringList{};
        // Two passes of 255 at the race start; four bytes on, "id 0 at 255 ms".
        QTest::newRow("two passes at the start")
            << QList<qint32>{255, 0} << 0u << qint64(0)
            << gateproto::encodePassRecord(255, 0) + gateproto::encodePassRecord(255, 0)
            << QStringList{QStringLiteral("ID:255 stamped at race time 0 ms"),
                           QStringLiteral("ID:255 stamped at race time 0 ms")}
            << QStringList{};
        // A transponder outside the race list read before the start, then
        // pilot 2's pass: the window two bytes on reads as pilot 1 at 31072 ms.
        QTest::newRow("unlisted transponder before the start")
            << QList<qint32>{1, 2} << 100000u << qint64(40000)
            << gateproto::encodePassRecord(7, 1) + gateproto::encodePassRecord(2, 100000u + 35000)
            << QStringList{QStringLiteral("ID:7 stamped at race time -99999 ms")}
            << QStringList{QStringLiteral("2@35000")};
    }
    void cleanStreamKeepsAlignment()
    {
        QFETCH(QList<qint32>, listed);
        QFETCH(quint32, startMs);
        QFETCH(qint64, raceClockMs);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, logged);
        QFETCH(QStringList, counted);
        // Whole, byte by byte, and cut at every point.
        QList<QList<QByteArray>> chunkings{{bytes}, {}};
        for (char c : bytes)
            chunkings[1] << QByteArray(1, c);
        for (int cut = 1; cut < bytes.size(); ++cut)
            chunkings << QList<QByteArray>{bytes.left(cut), bytes.mid(cut)};
        for (const QList<QByteArray> &chunks : chunkings) {
            DeviceFixture f;
            QList<RaceListEntry> list;
            for (qint32 id : listed)
                list << RaceListEntry{int(list.size()) + 1, QStringLiteral("P%1").arg(id), id,
                                      QStringLiteral("R1"), QStringLiteral("Y")};
            f.addRaceList(list);
            f.gateLine->open();
            f.devices->lapvane().setStartTimeRace(startMs);
            qint64 clockMs = raceClockMs;
            f.devices->setRaceClockProbe([&clockMs] { return std::optional<qint64>(clockMs); });
            QStringList passes;
            auto poll = [&] {
                for (Pass p = f.devices->gettrans(); p.source != PassSource::None; p = f.devices->gettrans())
                    passes << QStringLiteral("%1@%2").arg(p.recvid).arg(p.raceMs);
            };
            for (const QByteArray &chunk : chunks) {
                f.gateLine->receiverSends(chunk);
                poll();
            }
            clockMs += 1000; // the gate falls quiet
            poll();
            const QString where = QStringLiteral("cut into %1 reads").arg(chunks.size());
            QVERIFY2(passes == counted,
                     qPrintable(where + QStringLiteral(": ") + passes.join(QLatin1Char(' '))));
            QStringList notCounted;
            for (const QString &line : f.capture->lines) {
                if (line.contains(QStringLiteral("not counted")))
                    notCounted << line;
            }
            QCOMPARE(notCounted.size(), logged.size());
            for (int i = 0; i < logged.size(); ++i)
                QVERIFY2(notCounted[i].contains(logged[i]),
                         qPrintable(where + QStringLiteral(": ") + notCounted[i]));
            QVERIFY2(!f.logText().contains(QStringLiteral("lost alignment")), qPrintable(where));
        }
    }

    void startPingFailures()
    {
        DeviceFixture f;
        f.gateLine->setResponder(gate('2', 400));
        f.devices->comconnectExecute();
        QVERIFY(f.devices->syncLapvane(f.stop));
        // A wrong first byte: logged in decimal, the old clock stays.
        f.gateLine->setResponder([](const QByteArray &) { return QByteArray("A1234"); });
        QVERIFY(!f.devices->syncLapvane(f.stop));
        QVERIFY(f.capture->lines.contains(QStringLiteral("lapvane: error ping reply (65)")));
        QCOMPARE(f.capture->lines.last(), QStringLiteral("lapvane start: 400"));
        // A silent gate: the wait is bounded and the problem is reported.
        f.gateLine->setResponder({});
        QElapsedTimer t;
        t.start();
        QVERIFY(!f.devices->syncLapvane(f.stop));
        QVERIFY(t.elapsed() < 2000);
        QCOMPARE(f.capture->lines.last(), QStringLiteral("PROBLEM WITH LAPVANE! STOP RACE MANUALLY!"));
        QCOMPARE(f.devices->lapvane().startTimeRace(), quint32(400));
    }

    void modes()
    {
        DeviceFixture f;
        QVERIFY(!f.devices->lapvaneRaceMode()); // closed port: not sent
        f.gateLine->setResponder(gate('2'));
        f.devices->comconnectExecute();
        f.gateLine->clearHistory();
        QVERIFY(f.devices->lapvaneRaceMode());
        QVERIFY(f.devices->lapvaneRegMode());
        QCOMPARE(f.gateLine->hostHistory(), QByteArray("ra"));
    }

    void raceCounterAndVersion()
    {
        DeviceFixture f;
        f.gateLine->setResponder(gate('2'));
        f.devices->comconnectExecute();
        f.gateLine->setResponder([](const QByteArray &in) -> QByteArray {
            if (in == "q")
                return QByteArray("\x2C\x01", 2);
            if (in == "v")
                return QByteArray("Lapvane gate v2.3 and more text beyond forty characters");
            return {};
        });
        f.devices->lapvane().readRaceCounter();
        QCOMPARE(f.devices->lapvane().counterText(), QStringLiteral("300"));
        QCOMPARE(f.capture->lines.last(), QStringLiteral("a 1 b 44"));
        f.devices->lapvane().readVersion();
        QCOMPARE(f.devices->lapvane().counterText(), QStringLiteral("Lapvane gate v2.3 and more text beyond f"));
        f.gateLine->setResponder({});
        f.gateLine->discardBuffers(); // the rest of the long version text
        f.devices->lapvane().readRaceCounter();
        QCOMPARE(f.devices->lapvane().counterText(), QStringLiteral("err"));
    }

    void listPilots()
    {
        DeviceFixture f;
        f.gateLine->setResponder(gate('2'));
        f.devices->comconnectExecute();
        f.gateLine->setResponder({});
        f.devices->racelistpilotsExecute();
        QCOMPARE(f.capture->lines.mid(f.capture->lines.size() - 2),
                 QStringList({QStringLiteral("Requesting list of IDs..."), QStringLiteral("End of list.")}));
        f.gateLine->setResponder([](const QByteArray &in) {
            return in == "l" ? QByteArray("\x34\x12\x05\x00", 4) : QByteArray();
        });
        f.devices->racelistpilotsExecute();
        QCOMPARE(f.capture->lines.mid(f.capture->lines.size() - 4),
                 QStringList({QStringLiteral("Requesting list of IDs..."), QStringLiteral("4660"), QStringLiteral("5"),
                              QStringLiteral("End of list.")}));
    }

    void listPilotsNeedsAReceiver()
    {
        DeviceFixture f;
        QSignalSpy page(f.devices.get(), &TimingDevices::settingsPageRequested);
        f.devices->racelistpilotsExecute();
        QCOMPARE(f.prompt.notices, QStringList{QStringLiteral("Connect COM port or WiFi!")});
        QCOMPARE(page.size(), 1);
    }

    void registration()
    {
        DeviceFixture f;
        const QList<int> rows = f.addRaceList({{1, QStringLiteral("Ann"), 4660, QStringLiteral("R1")},
                                               {2, QStringLiteral("Bob"), 5, QStringLiteral("R2")}});
        f.settings.set(QStringLiteral("chksounds"), true);
        f.gateLine->setResponder(gate('2'));
        f.devices->comconnectExecute();
        f.gateLine->clearHistory();
        QSignalSpy reg(f.devices.get(), &TimingDevices::registrationChanged);
        f.devices->raceregpilotsExecute();
        QVERIFY(f.devices->registrationActive());
        QCOMPARE(f.gateLine->takeHostBytes(), QByteArray("a"));
        f.gateLine->receiverSends(gateproto::encodePassRecord(4660, 1000));
        QTRY_COMPARE(f.confirmedOf(rows[0]), QStringLiteral("Y"));
        QCOMPARE(f.gateLine->takeHostBytes(), gateproto::confirmCommand(4660));
        QVERIFY(f.capture->lines.contains(QStringLiteral("recNo: 1")));
        QVERIFY(f.capture->lines.contains(QStringLiteral("Added ID 4660")));
        QCOMPARE(f.cues.played, QList<Cue>{Cue::RegisterCheck});
        // A second pass of a confirmed pilot does nothing; an unknown id is logged.
        f.gateLine->receiverSends(gateproto::encodePassRecord(4660, 2000));
        f.gateLine->receiverSends(gateproto::encodePassRecord(999, 3000));
        QTRY_VERIFY(f.capture->lines.contains(QStringLiteral("Unknown ID: 999")));
        QCOMPARE(f.gateLine->takeHostBytes(), QByteArray());
        QCOMPARE(f.confirmedOf(rows[1]), QStringLiteral("N"));
        f.devices->btn1Click();
        QVERIFY(!f.devices->registrationActive());
        QVERIFY(f.stop.isRaised());
        QCOMPARE(reg.size(), 2);
    }

    void resetList()
    {
        DeviceFixture f;
        f.addRaceList({{1, QStringLiteral("Ann"), 4660, QStringLiteral("R1")}});
        f.addLap(1, 1, 30000);
        f.addLap(9, 1, 30000); // a pilot outside the race list keeps his laps
        // With the gate disconnected the list is emptied all the same.
        f.devices->raceresetlistExecute();
        QCOMPARE(f.raceListCount(), 0);
        QCOMPARE(f.lapCount(), 1);
        f.gateLine->setResponder(gate('2'));
        f.devices->comconnectExecute();
        f.gateLine->clearHistory();
        f.devices->raceresetlistExecute();
        QCOMPARE(f.gateLine->hostHistory(), QByteArray("c"));
    }

    void checkCom()
    {
        DeviceFixture f;
        f.gateLine->setResponder(gate('2'));
        f.devices->comconnectExecute();
        f.chorusLine->open();
        f.devices->btCheckComClick();
        QCOMPARE(f.capture->lines.mid(f.capture->lines.size() - 4),
                 QStringList({QStringLiteral("Checking COM..."), QStringLiteral("Lapvane COM OK!"),
                              QStringLiteral("Chorus RF COM OK!"), QStringLiteral("Check done.")}));
        QVERIFY(f.gateLine->hostHistory().endsWith('.'));
    }

    // Garbage on the line is consumed in record-sized steps: no crash, no
    // growth, and the poll stays quick.
    void garbage()
    {
        DeviceFixture f;
        f.gateLine->setResponder(gate('2'));
        f.devices->comconnectExecute();
        QByteArray junk(10002, Qt::Uninitialized);
        for (int i = 0; i < junk.size(); ++i)
            junk[i] = char((i * 37) & 0xFF);
        f.gateLine->receiverSends(junk);
        int polls = 0;
        while (f.devices->gettrans().source != PassSource::None)
            ++polls;
        QCOMPARE(polls, 10002 / 6);
        QCOMPARE(f.gateLine->bytesWaiting(), qint64(0));
    }

    // Unplugged mid-race: one log line, the lamp off, the passes already
    // received still delivered, the others receivers polled, and Connect works again.
    void unplugAndReconnect()
    {
        DeviceFixture f;
        f.gateLine->setResponder(gate('2', 0));
        f.devices->comconnectExecute();
        f.chorusLine->open();
        QSignalSpy lamp(&f.devices->lapvane(), &SerialDevice::portOpenChanged);
        f.gateLine->receiverSends(gateproto::encodePassRecord(11, 5000));
        f.gateLine->receiverSends(gateproto::encodePassRecord(12, 5100).left(3));
        const int before = f.capture->lines.size();
        f.gateLine->unplug(QStringLiteral("Input/output error"));
        QCOMPARE(lamp.size(), 1);
        QCOMPARE(lamp.first().first().toBool(), false);
        QCOMPARE(f.capture->lines.size(), before + 1);
        QVERIFY(f.capture->lines.last().contains(QStringLiteral("Lapvane gate lost")));
        QCOMPARE(f.devices->lapvane().status(), QStringLiteral("Receiver lost"));
        QVERIFY(f.devices->comconnected()); // the Chorus RF still serves
        const Pass kept = f.devices->gettrans();
        QCOMPARE(kept.recvid, 11);
        QCOMPARE(kept.raceMs, 5000);
        QCOMPARE(f.devices->gettrans().source, PassSource::None);
        f.devices->comconnectExecute();
        QCOMPARE(f.devices->lapvane().status(), QStringLiteral("Connected"));
        f.gateLine->receiverSends(gateproto::encodePassRecord(13, 6000));
        QCOMPARE(f.devices->gettrans().recvid, 13);
    }
};

QTEST_GUILESS_MAIN(TestLapvaneGate)
#include "tst_lapvanegate.moc"
