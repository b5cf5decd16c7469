// The Chorus RF receiver on an in-memory line: module count, lap lines and
// their race-list pilots, the start ping, tuning, and the RSSI sweep.
#include "devices/chorusprotocol.h"
#include "tests/devices/devicefixture.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace lapvane;
using namespace lapvane::test;

namespace {
struct Point
{
    int channel;
    qint64 x;
    int y;
};

// A module that echoes tuning, switches reports on and reads reportOn's
// answer; channel 1 (5658 MHz) reads 0x01F4, the others 0x0064.
std::function<QByteArray(const QByteArray &)> rssiModule(const QByteArray &reportOnAnswer = "S0V1\n")
{
    auto tuned = std::make_shared<QByteArray>();
    return [tuned, reportOnAnswer](const QByteArray &in) -> QByteArray {
        if (in.startsWith("R0Q")) {
            *tuned = in;
            QByteArray echo = in;
            echo[0] = 'S';
            return echo;
        }
        if (in == "R0V\n") {
            if (reportOnAnswer != "S0V1\n")
                return reportOnAnswer;
            return reportOnAnswer + (*tuned == "R0Q161A\n" ? "S0r01F4\n" : "S0r0064\n");
        }
        if (in == "R*P\n")
            return "R*P\n";
        return {};
    };
}
} // namespace

class TestChorus : public QObject
{
    Q_OBJECT
private slots:
    void connectCountsModules()
    {
        DeviceFixture f;
        f.chorusLine->setResponder([](const QByteArray &in) {
            if (in == "R*v\n")
                return QByteArray("version text to be discarded\n");
            return in == "N0\n" ? QByteArray("N4\n") : QByteArray();
        });
        QSignalSpy modules(&f.devices->chorus(), &ChorusRf::modulesChanged);
        f.devices->chorus().connectChorus();
        QCOMPARE(f.devices->chorus().status(), QStringLiteral("Connected 4 modules"));
        QCOMPARE(f.devices->chorus().modules(),
                 QStringList({QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
        QCOMPARE(modules.size(), 1);
        QCOMPARE(f.chorusLine->hostHistory(), QByteArray("R*v\nN0\n"));
    }

    void connectAnswers_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("open");
        QTest::newRow("bad first character") << QByteArray("X4") << QStringLiteral("com3: Bad reply (X4)") << false;
        QTest::newRow("count not a digit") << QByteArray("Nx") << QStringLiteral("Error, Nx") << true;
    }
    void connectAnswers()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, status);
        QFETCH(bool, open);
        DeviceFixture f;
        f.chorusLine->setResponder([answer](const QByteArray &in) { return in == "N0\n" ? answer : QByteArray(); });
        f.devices->chorus().connectChorus();
        QCOMPARE(f.devices->chorus().status(), status);
        QCOMPARE(f.devices->chorusConnected(), open);
    }

    void lapLineAttributedByListPosition()
    {
        DeviceFixture f;
        f.addRaceList({{1, QStringLiteral("C"), 300, QStringLiteral("R3")},
                       {2, QStringLiteral("A"), 100, QStringLiteral("R1")},
                       {3, QStringLiteral("B"), 200, QStringLiteral("R2")}});
        f.devices->setRaceListOrderBy(QStringLiteral("vtx ASC"));
        f.chorusLine->open();
        f.chorusLine->receiverSends("S1L0100001F40\n");
        const Pass p = f.devices->gettrans();
        QCOMPARE(p.source, PassSource::ChorusRf);
        QCOMPARE(p.recvid, 200); // the second row as shown
        QCOMPARE(p.raceMs, 8000);
        QCOMPARE(f.capture->lines,
                 QStringList({QStringLiteral("from Chorus :S1L0100001F40"), QStringLiteral("raw HEX: 00001F40"),
                              QStringLiteral("race time: 8000"), QStringLiteral("module: 1")}));
        // Module 5 with three pilots counts for nobody.
        f.chorusLine->receiverSends("S5L0100001F40\n");
        const Pass none = f.devices->gettrans();
        QCOMPARE(none.source, PassSource::ChorusRf);
        QCOMPARE(none.recvid, 0);
        QCOMPARE(f.capture->lines.last(), QStringLiteral("No pilot #5 in list"));
    }

    // A line cut between two reads waits for its rest and is judged once,
    // whole, wherever the cut falls: the tail of a long line is never read as
    // a line of its own.
    void lineCutBetweenReads_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QList<qint32>>("passes"); // recvid, raceMs, ...
        QTest::addColumn<int>("junkLines");
        QTest::newRow("two laps") << QByteArray("S1L01001F40AB\r\nS0L0200002EE0\n")
                                  << QList<qint32>{200, 0x1F40AB, 100, 12000} << 0;
        QTest::newRow("long line holding a lap's text, then a lap")
            << QByteArray("S0T1234567890123S1L0100001F40\nS0L0200002EE0\n") << QList<qint32>{100, 12000} << 1;
    }

    void lineCutBetweenReads()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QList<qint32>, passes);
        QFETCH(int, junkLines);
        for (int cut = 1; cut < lines.size(); ++cut) {
            DeviceFixture f;
            f.addRaceList({{1, QStringLiteral("A"), 100, QStringLiteral("R1")},
                           {2, QStringLiteral("B"), 200, QStringLiteral("R2")}});
            f.chorusLine->open();
            QList<qint32> got;
            const auto poll = [&] {
                // A junk line ends one poll; the next poll goes on.
                for (int i = 0; i < 4; ++i) {
                    const Pass p = f.devices->gettrans();
                    if (p.source == PassSource::ChorusRf)
                        got << p.recvid << p.raceMs;
                }
            };
            f.chorusLine->receiverSends(lines.left(cut));
            poll();
            f.chorusLine->receiverSends(lines.mid(cut));
            poll();
            const QString at = QStringLiteral("cut at %1").arg(cut);
            QVERIFY2(got == passes, qPrintable(at));
            QVERIFY2(f.capture->lines.count(QStringLiteral("some shit in buffer")) == junkLines, qPrintable(at));
            QVERIFY2(!f.capture->lines.contains(QStringLiteral("Problem with reading Chorus")), qPrintable(at));
        }
    }

    void notALapLineStopsThePoll()
    {
        DeviceFixture f;
        f.chorusLine->open();
        f.vsLine->open();
        f.vsLine->receiverSends("lap:1,1,42,900,0,\n");
        f.chorusLine->receiverSends("S1X0100001F40\n");
        QCOMPARE(f.devices->gettrans().source, PassSource::None);
        QCOMPARE(f.capture->lines.last(), QStringLiteral("some shit in buffer"));
        // The VS TimeMachine's lap waited for the next poll.
        QCOMPARE(f.devices->gettrans().recvid, 42);
    }

    void shortInputLeftAlone()
    {
        DeviceFixture f;
        f.chorusLine->open();
        f.vsLine->open();
        f.chorusLine->receiverSends("S1L0100001F4"); // 12 bytes
        f.vsLine->receiverSends("lap:1,1,42,900,0,\n");
        QCOMPARE(f.devices->gettrans().recvid, 42);
        QCOMPARE(f.chorusLine->bytesWaiting(), qint64(12));
    }

    void badLapLineGoesOnToTheVsTimeMachine()
    {
        DeviceFixture f;
        f.chorusLine->open();
        f.vsLine->open();
        f.chorusLine->receiverSends("S1L01ZZZZZZZZZZ\n");
        f.vsLine->receiverSends("lap:1,1,42,900,0,\n");
        QCOMPARE(f.devices->gettrans().recvid, 42);
        QVERIFY(f.capture->lines.contains(QStringLiteral("Problem with reading Chorus")));
    }

    void startPing()
    {
        DeviceFixture f;
        f.chorusLine->open();
        f.devices->chorus().setStartTimeChorus(77);
        f.chorusLine->setResponder([](const QByteArray &in) { return in == "R*P\n" ? QByteArray("R*P\n") : QByteArray(); });
        QVERIFY(f.devices->syncChorus(f.stop));
        QCOMPARE(f.devices->chorus().startTimeChorus(), 0);
        QCOMPARE(f.capture->lines.last(), QStringLiteral("chorus start: 0"));
        QCOMPARE(f.chorusLine->bytesWaiting(), qint64(0));
        f.chorusLine->setResponder({});
        QVERIFY(!f.devices->syncChorus(f.stop));
        QCOMPARE(f.capture->lines.last(), QStringLiteral("PROBLEM WITH CHORUS! STOP RACE MANUALLY!"));
    }

    void tuneModule()
    {
        DeviceFixture f;
        f.devices->chorus().setChannel(QStringLiteral("2"), QStringLiteral("5806"));
        QCOMPARE(f.devices->chorus().status(), QStringLiteral("Not connected"));
        f.chorusLine->open();
        f.chorusLine->setResponder([](const QByteArray &in) { return "S" + in.mid(1); });
        f.devices->chorus().setChannel(QStringLiteral("2"), QStringLiteral("5806"));
        QCOMPARE(f.chorusLine->takeHostBytes(), QByteArray("R2Q16AE\n"));
        QCOMPARE(f.devices->chorus().status(), QStringLiteral("Got S2Q16AE\n"));
        f.chorusLine->setResponder({});
        f.devices->chorus().setChannel(QStringLiteral("2"), QStringLiteral("5806"));
        QCOMPARE(f.devices->chorus().status(), QStringLiteral("timeout"));
        f.devices->chorus().setChannel(QStringLiteral("2"), QStringLiteral("58o6"));
        QCOMPARE(f.devices->chorus().status(), QStringLiteral("Bad frequency: 58o6"));
        QCOMPARE(f.chorusLine->takeHostBytes(), QByteArray("R2Q16AE\n"));
    }

    void rssiSweep()
    {
        DeviceFixture f;
        RssiSweep &sweep = f.devices->rssi();
        QSignalSpy reset(&sweep, &RssiSweep::chartReset);
        QVERIFY(!sweep.measure()); // port closed: nothing changes
        QCOMPARE(reset.size(), 0);
        f.chorusLine->open();
        f.chorusLine->setResponder(rssiModule());
        QList<Point> points;
        QObject receiver;
        connect(&sweep, &RssiSweep::pointAdded, &receiver,
                [&points](int c, qint64 x, int y, const QString &) { points.append({c, x, y}); });
        QVERIFY(sweep.measure());
        QCOMPARE(reset.size(), 1);
        QVERIFY(f.devices->chorus().isLent());
        QTRY_VERIFY(points.size() >= 5);
        QCOMPARE(points[0].channel, 1);
        QCOMPARE(points[0].y, 500);
        QCOMPARE(points[1].channel, 2);
        QCOMPARE(points[1].y, 100);
        QCOMPARE(points[4].channel, 1);
        QVERIFY(points[4].x >= points[0].x);
        // The poll leaves a lent line alone.
        QCOMPARE(f.devices->gettrans().source, PassSource::None);
        // A second Measure replaces the first sweep.
        QVERIFY(sweep.measure());
        QCOMPARE(reset.size(), 2);
        // The start ping takes the line back from the sweep.
        QVERIFY(f.devices->syncChorus(f.stop));
        QVERIFY(!sweep.isRunning());
        QVERIFY(!f.devices->chorus().isLent());
        QCOMPARE(f.devices->chorus().line().thread(), QThread::currentThread());
    }

    void rssiWrongReportAnswerGivesNoPoints()
    {
        DeviceFixture f;
        f.chorusLine->open();
        f.chorusLine->setResponder(rssiModule("R0V\n!"));
        int points = 0;
        QObject receiver;
        connect(&f.devices->rssi(), &RssiSweep::pointAdded, &receiver, [&points] { ++points; });
        QVERIFY(f.devices->rssi().measure());
        QTRY_VERIFY(f.chorusLine->hostHistory().contains("R0Q1689\n"));
        QTRY_VERIFY(f.chorusLine->hostHistory().count("R0Q161A\n") >= 2);
        f.devices->rssi().stop();
        QTRY_VERIFY(!f.devices->rssi().isRunning());
        QCOMPARE(points, 0);
    }

    // A silent module: each wait is bounded and Stop ends the sweep at once.
    void rssiSilentModuleStops()
    {
        DeviceFixture f;
        f.chorusLine->open();
        f.devices->rssi().setReplyTimeoutMs(60000);
        QVERIFY(f.devices->rssi().measure());
        QTest::qWait(100);
        QElapsedTimer t;
        t.start();
        QVERIFY(f.devices->rssi().stopAndWait(2000));
        QVERIFY(t.elapsed() < 1000);
        // Disconnect works on the returned line.
        f.devices->chorus().disconnectChorus();
        QVERIFY(!f.devices->chorusConnected());
    }
};

QTEST_GUILESS_MAIN(TestChorus)
#include "tst_chorus.moc"
