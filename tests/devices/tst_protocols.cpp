// The receivers' message formats on byte arrays: pass record, VS TimeMachine
// lines and datagrams, Chorus RF lines, tuning and RSSI, slot codes, garbage.
#include "devices/chorusprotocol.h"
#include "devices/lapvaneprotocol.h"
#include "devices/vsprotocol.h"

#include <QRandomGenerator>
#include <QTest>

using namespace lapvane;

class TestProtocols : public QObject
{
    Q_OBJECT
private slots:
    void passRecord()
    {
        const QByteArray rec("\x34\x12\xE8\x03\x00\x00", 6);
        const auto p = gateproto::decodePassRecord(rec);
        QCOMPARE(p.id, quint16(4660));
        QCOMPARE(p.gateMs, quint32(1000));
        QCOMPARE(gateproto::raceTimeMs(p.gateMs, 400), 600);
        QCOMPARE(gateproto::encodePassRecord(4660, 1000), rec);
        // The gate's counter wraps: a pass just after the wrap is still later.
        QCOMPARE(gateproto::raceTimeMs(5, 0xFFFFFFF0u), 21);
        QCOMPARE(gateproto::raceCounter(0x2C, 0x01), 300);
        QCOMPARE(gateproto::confirmCommand(0x1234), QByteArray("y\x34\x12", 3));
    }

    void vsLap_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("time");
        QTest::newRow("with further field") << QByteArray("lap:7,1,4321,25500,25000,99,\r\n") << true << 4321 << 25500;
        QTest::newRow("closing comma only") << QByteArray("lap:7,1,4321,25500,25000,\n") << true << 4321 << 25500;
        QTest::newRow("prefix before lap") << QByteArray("xx lap:7,1,4321,25500,25000,") << true << 4321 << 25500;
        QTest::newRow("no comma after S") << QByteArray("lap:7,1,4321,25500,25000\r\n") << false << 0 << 0;
        QTest::newRow("field not a number") << QByteArray("lap:7,1,abc,25500,25000,") << false << 0 << 0;
        QTest::newRow("missing fields") << QByteArray("lap:7,1,") << false << 0 << 0;
        QTest::newRow("overflowing number") << QByteArray("lap:7,1,4321,99999999999,1,") << false << 0 << 0;
    }
    void vsLap()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, ok);
        QCOMPARE(vsproto::classify(line), vsproto::LineKind::Lap);
        const auto lap = vsproto::parseLap(line);
        QCOMPARE(lap.has_value(), ok);
        if (ok) {
            QFETCH(int, id);
            QFETCH(int, time);
            QCOMPARE(lap->packet, 7);
            QCOMPARE(lap->gate, 1);
            QCOMPARE(lap->id, id);
            QCOMPARE(lap->timeMs, time);
            QCOMPARE(lap->startMs, 25000);
        }
    }

    void vsOtherLines()
    {
        QCOMPARE(vsproto::classify("ping:70000,5,\r"), vsproto::LineKind::Ping);
        QCOMPARE(vsproto::pingClock("ping:70000,5,\r").value_or(-1), 70000);
        QVERIFY(!vsproto::pingClock("ping:70000\r\n").has_value());
        // A line with both words is a ping.
        QCOMPARE(vsproto::classify("ping:1,lap:2,"), vsproto::LineKind::Ping);
        QCOMPARE(vsproto::classify("systime:123"), vsproto::LineKind::Other);
        QCOMPARE(vsproto::timesynchClock("junk timesynchok:12345,678,").value_or(-1), 12345);
        QVERIFY(!vsproto::timesynchClock("timesynchok:12345").has_value());
        // The WiFi sync takes the second field, the reply echoes the first.
        QCOMPARE(vsproto::wifiSyncClock("timesynchok:111,222,").value_or(-1), 222);
        QCOMPARE(vsproto::firstFieldText("timesynchok:111,222,"), QByteArray("111"));
        QCOMPARE(vsproto::firstFieldText("echotrans:4321\r\n"), QByteArray("4321"));
        QCOMPARE(vsproto::secondFieldText("lap:7,1,4321,"), QByteArray("1"));
        QCOMPARE(vsproto::lapAck("7", "1"), QByteArray("lapreceived:7,1\r\n"));
        QCOMPARE(vsproto::searchTrans(4321, 119), QByteArray("searchtrans:4321,119\r\n"));
        QCOMPARE(vsproto::echoOk(4321, 119), QByteArray("echook:4321,119\r\n"));
    }

    // Number fields are a sign and digits (Chorus RF times: hex digits) and
    // nothing else; any other byte makes the line unreadable.
    void strictNumberFields_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("readable");
        auto row = [](const char *name, const QByteArray &line, bool readable) {
            QTest::newRow(name) << line << readable;
        };
        // VS TimeMachine lap: every field, each followed by ",".
        row("lap plain", "lap:7,1,4321,2550,2500,\n", true);
        row("lap signs", "lap:+7,1,-4321,2550,-2500,\n", true);
        row("lap NUL and ETB in T", QByteArrayLiteral("lap:7,1,4321,2550\0\x17 99999,25000,x,"), false);
        row("lap NUL ends N", QByteArrayLiteral("lap:7\0,1,4321,2550,2500,"), false);
        row("lap blank in id", "lap:7,1,43 21,2550,2500,", false);
        row("lap leading blank", "lap:7,1, 4321,2550,2500,", false);
        row("lap CR in field", "lap:7,1,4321,2550\r,2500,", false);
        row("lap empty field", "lap:7,,4321,2550,2500,", false);
        row("lap lone sign", "lap:7,-,4321,2550,2500,", false);
        row("lap decimal point", "lap:7,1,4321,2550.5,2500,", false);
        row("lap high byte", "lap:7,1,4321,25\xb5" "50,2500,", false);
        // Ping and time sync clocks.
        row("ping plain", "ping:70000,0,\n", true);
        row("ping NUL", QByteArrayLiteral("ping:700\0" "00,0,"), false);
        row("ping letter", "ping:7000x,0,", false);
        row("timesynchok plain", "timesynchok:98765,98765,\n", true);
        row("timesynchok blank", "timesynchok: 98765,98765,", false);
        row("timesynchok control", "timesynchok:98\x17" "765,1,", false);
        // Chorus RF lap time in hexadecimal.
        row("chorus hex", "S1L0100001F40", true);
        row("chorus NUL in hex", QByteArrayLiteral("S1L0100\0" "01F4"), false);
        row("chorus blank in hex", "S1L01 0001F4", false);
        row("chorus sign", "S1L01+1F40", false);
        row("chorus control", "S1L011F\x17", false);
    }
    void strictNumberFields()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, readable);
        bool read = false;
        if (line.startsWith("lap:"))
            read = vsproto::parseLap(line).has_value();
        else if (line.startsWith("ping"))
            read = vsproto::pingClock(line).has_value();
        else if (line.startsWith("timesynchok"))
            read = vsproto::timesynchClock(line).has_value() && vsproto::wifiSyncClock(line).has_value();
        else
            read = chorusproto::parseLapLine(line).kind == chorusproto::LapLine::Lap;
        QCOMPARE(read, readable);
    }

    // A datagram is judged only when its message is whole.
    void wholeMessages()
    {
        QVERIFY(vsproto::isWholeMessage("lap:12,2,4321,25500,25000,"));
        QVERIFY(vsproto::isWholeMessage("la\n"));
        QVERIFY(!vsproto::isWholeMessage("lap:12,2,4321,25500,25000"));
        QVERIFY(!vsproto::isWholeMessage("la"));
        QVERIFY(!vsproto::isWholeMessage("lap"));
        QVERIFY(!vsproto::isWholeMessage("timesynchok:111,"));
        QVERIFY(vsproto::isWholeMessage("timesynchok:111,222,"));
        QVERIFY(vsproto::isWholeMessage("echotrans:4321,"));
        QVERIFY(vsproto::isWholeMessage("systime"));
        QVERIFY(vsproto::startsMessage("lap:1"));
        QVERIFY(!vsproto::startsMessage("p:1,"));
    }

    void slotCodes()
    {
        const int expected[] = {113, 114, 116, 119, 118, 116, 117, 113, 114, 116, 119, 118, 116, 117, 113};
        for (int pos = 1; pos <= 15; ++pos)
            QCOMPARE(vsproto::slotCode(pos), expected[pos - 1]);
        QCOMPARE(vsproto::slotTableValue(4), 7);
    }

    void chorusLapLine_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("module");
        QTest::addColumn<int>("time");
        QTest::newRow("module 1, 8000 ms") << QByteArray("S1L0100001F40") << int(chorusproto::LapLine::Lap) << 1 << 8000;
        QTest::newRow("lower-case hex") << QByteArray("S0L01abc") << int(chorusproto::LapLine::Lap) << 0 << 0xabc;
        QTest::newRow("not a lap") << QByteArray("S1X0100001F40") << int(chorusproto::LapLine::NotLap) << 0 << 0;
        QTest::newRow("two characters") << QByteArray("S1") << int(chorusproto::LapLine::NotLap) << 0 << 0;
        QTest::newRow("empty") << QByteArray() << int(chorusproto::LapLine::Bad) << 0 << 0;
        QTest::newRow("time not hex") << QByteArray("S1L01XYZ") << int(chorusproto::LapLine::Bad) << 0 << 0;
        QTest::newRow("no time") << QByteArray("S1L01") << int(chorusproto::LapLine::Bad) << 0 << 0;
        QTest::newRow("module not a digit") << QByteArray("SxL0100001F40") << int(chorusproto::LapLine::Bad) << 0 << 0;
        QTest::newRow("time too long") << QByteArray("S1L01100001F40") << int(chorusproto::LapLine::Bad) << 0 << 0;
    }
    void chorusLapLine()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, kind);
        const auto lap = chorusproto::parseLapLine(line);
        QCOMPARE(int(lap.kind), kind);
        if (kind == chorusproto::LapLine::Lap) {
            QFETCH(int, module);
            QFETCH(int, time);
            QCOMPARE(lap.module, module);
            QCOMPARE(lap.timeMs, time);
        }
    }

    void chorusCommands()
    {
        QCOMPARE(chorusproto::tuneCommand("2", 5806), QByteArray("R2Q16AE\n"));
        QCOMPARE(chorusproto::tuneCommand("0", 5658), QByteArray("R0Q161A\n"));
        QCOMPARE(chorusproto::frequencyHex(100), QByteArray("0064"));
        QVERIFY(!chorusproto::parseFrequency(QStringLiteral("58o6")).has_value());
        QVERIFY(!chorusproto::parseFrequency(QStringLiteral("70000")).has_value());
        QCOMPARE(chorusproto::parseFrequency(QStringLiteral(" 5917 ")).value_or(0), 5917);
        const auto n4 = chorusproto::parseModuleCount("N4\n");
        QVERIFY(n4.firstIsN);
        QCOMPARE(n4.count.value_or(-1), 4);
        QVERIFY(!chorusproto::parseModuleCount("X4").firstIsN);
        QVERIFY(!chorusproto::parseModuleCount("Nx").count.has_value());
        QVERIFY(chorusproto::tuneEchoMatches("S0Q161A\n", "R0Q161A\n"));
        QVERIFY(!chorusproto::tuneEchoMatches("S0Q163F\n", "R0Q161A\n"));
        QCOMPARE(chorusproto::rssiValue("S0r01F4\n"), 500);
        QCOMPARE(chorusproto::rssiValue("S0rZZZZ\n"), 1);
        QCOMPARE(chorusproto::rssiValue("S0"), 1);
    }

    // Random bytes of every length through every reader: no crash, no hang.
    void garbage()
    {
        QRandomGenerator rng(42);
        for (int i = 0; i < 2000; ++i) {
            QByteArray b(int(rng.bounded(64)), Qt::Uninitialized);
            for (char &c : b)
                c = char(rng.bounded(256));
            if (i % 3 == 0)
                b.prepend(i % 2 ? "lap:" : "timesynchok:");
            vsproto::parseLap(b);
            vsproto::pingClock(b);
            vsproto::timesynchClock(b);
            vsproto::wifiSyncClock(b);
            vsproto::firstFieldText(b);
            vsproto::secondFieldText(b);
            chorusproto::parseLapLine(b);
            chorusproto::parseModuleCount(b);
            chorusproto::rssiValue(b);
            chorusproto::tuneEchoMatches(b, "R0Q161A\n");
        }
        const QByteArray huge(10000, 'x');
        QVERIFY(!vsproto::parseLap(huge + "lap:").has_value());
        QCOMPARE(int(chorusproto::parseLapLine(huge).kind), int(chorusproto::LapLine::NotLap));
    }
};

QTEST_GUILESS_MAIN(TestProtocols)
#include "tst_protocols.moc"
