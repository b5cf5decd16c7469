// Lap-time text both ways and the race-clock arithmetic.
#include "store/laptime.h"

#include <QtTest>

using namespace lapvane;

class TestLapTime : public QObject
{
    Q_OBJECT
private slots:
    void format_data()
    {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << "000:00.000";
        QTest::newRow("65432") << qint64(65432) << "001:05.432";
        QTest::newRow("pads millis") << qint64(1005) << "000:01.005";
        QTest::newRow("two digit millis") << qint64(1050) << "000:01.050";
        QTest::newRow("ten minutes") << qint64(600000) << "010:00.000";
        QTest::newRow("hundred minutes") << qint64(6000000) << "100:00.000";
        QTest::newRow("no time sentinel") << qint64(59999999) << "999:59.999";
        QTest::newRow("thousand minutes") << qint64(60000000) << "1000:00.000";
    }
    void format()
    {
        QFETCH(qint64, ms);
        QFETCH(QString, text);
        QCOMPARE(ms2minsecmstext(ms), text);
    }

    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("ms");
        QTest::addColumn<QString>("logged");
        QTest::newRow("dialog example") << "000:12.345" << 12345 << "";
        QTest::newRow("sentinel") << "999:59.999" << 59999999 << "";
        QTest::newRow("zero reads as zero") << "000:00.000" << 0 << "";
        QTest::newRow("short millis group") << "000:12.3" << 12003 << "";
        QTest::newRow("separators not checked") << "001x05y432" << 65432 << "";
        QTest::newRow("seconds over 59") << "000:60.000" << 0 << "error in new lap time, seconds>59";
        QTest::newRow("letters") << "abc:12.345" << 0 << "can't convert new lap to msec (\"abc:12.345\")";
        QTest::newRow("empty") << "" << 0 << "can't convert new lap to msec (\"\")";
        QTest::newRow("too short") << "000:1" << 0 << "can't convert new lap to msec (\"000:1\")";
        // A thousand minutes or more shifts the groups, so it does not read back.
        QTest::newRow("thousand minutes") << "1000:00.000" << 0 << "can't convert new lap to msec (\"1000:00.000\")";
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(int, ms);
        QFETCH(QString, logged);
        QStringList lines;
        QCOMPARE(minsecmstext2ms(text, [&lines](const QString &l) { lines << l; }), ms);
        QCOMPARE(lines, logged.isEmpty() ? QStringList() : QStringList{logged});
    }

    void roundTripBelowThousandMinutes()
    {
        for (qint64 ms : {qint64(1), qint64(999), qint64(61001), qint64(3599999), qint64(59999999)})
            QCOMPARE(qint64(minsecmstext2ms(ms2minsecmstext(ms))), ms);
    }

    void elapsed_data()
    {
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<qint64>("elapsed");
        const qint64 day = 24LL * 3600000;
        QTest::newRow("same") << qint64(1000) << qint64(1000) << qint64(0);
        QTest::newRow("hours minutes seconds ms") << qint64(0) << qint64(3723004) << qint64(3723004);
        // Midnight is just another moment on a clock read since the epoch.
        QTest::newRow("across midnight") << qint64(day - 30000) << qint64(day + 90000) << qint64(120000);
        QTest::newRow("more than a day") << qint64(0) << qint64(day + 5) << qint64(day + 5);
        QTest::newRow("clock set back") << qint64(5000) << qint64(1000) << qint64(0);
    }
    void elapsed()
    {
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(qint64, elapsed);
        QCOMPARE(elapsedMs(from, to), elapsed);
    }

    void clockDecode()
    {
        const ClockParts p = decodeClock(3723004);
        QCOMPARE(int(p.hr), 1);
        QCOMPARE(int(p.mn), 2);
        QCOMPARE(int(p.sc), 3);
        QCOMPARE(int(p.ms), 4);
        QCOMPARE(clockText(p), QStringLiteral("01:02:03"));
    }
};

QTEST_GUILESS_MAIN(TestLapTime)
#include "tst_laptime.moc"
