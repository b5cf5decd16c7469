// Lap corrections: deleting a lap merges its time into the next, splitting
// a lap at a typed duration, refusals, and the lap entry text.
#include "race/lapcorrections.h"
#include "tests/race/racefixture.h"

#include <QSqlQuery>
#include <QtTest>

using namespace lapvane;
using namespace lapvane::test;

namespace {

int lapId(RaceFixture &f, int pilotId, int lapn)
{
    QSqlQuery q(f.db.db());
    q.prepare("SELECT id FROM laps WHERE pilotid=? AND lapn=?");
    q.addBindValue(pilotId);
    q.addBindValue(lapn);
    return q.exec() && q.next() ? q.value(0).toInt() : 0;
}

} // namespace

Q_DECLARE_METATYPE(QList<qint64>)

class TestLapCorrections : public QObject
{
    Q_OBJECT
private slots:
    // Anna's laps: race times 30000, 61000, 90000 (durations 30, 31, 29 s).
    void corrections_data()
    {
        QTest::addColumn<bool>("split");
        QTest::addColumn<int>("lap");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QList<qint64>>("times");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("best");
        QTest::addColumn<QString>("logLine");

        QTest::newRow("delete lap 2") << false << 2 << ""
            << QList<qint64>{30000, 90000} << QStringList{"000:30.000", "001:00.000"} << "000:30.000" << "";
        QTest::newRow("delete the last lap") << false << 3 << ""
            << QList<qint64>{30000, 61000} << QStringList{"000:30.000", "000:31.000"} << "000:30.000" << "";
        QTest::newRow("delete the first lap") << false << 1 << ""
            << QList<qint64>{61000, 90000} << QStringList{"001:01.000", "000:29.000"} << "000:29.000" << "";
        QTest::newRow("split lap 2 at 15 s") << true << 2 << "000:15.000"
            << QList<qint64>{30000, 45000, 61000, 90000}
            << QStringList{"000:30.000", "000:15.000", "000:16.000", "000:29.000"} << "000:15.000" << "";
        QTest::newRow("split lap 1 at 10 s") << true << 1 << "000:10.000"
            << QList<qint64>{10000, 30000, 61000, 90000}
            << QStringList{"000:10.000", "000:20.000", "000:31.000", "000:29.000"} << "000:10.000" << "";
        QTest::newRow("split the last lap") << true << 3 << "000:09.500"
            << QList<qint64>{30000, 61000, 70500, 90000}
            << QStringList{"000:30.000", "000:31.000", "000:09.500", "000:19.500"} << "000:09.500" << "";
        QTest::newRow("split as long as the lap is refused") << true << 2 << "000:31.000"
            << QList<qint64>{30000, 61000, 90000} << QStringList{"000:30.000", "000:31.000", "000:29.000"}
            << "000:29.000" << "error: new lap time same or greater of current lap time";
        QTest::newRow("unreadable duration") << true << 2 << "0a0:15.000"
            << QList<qint64>{30000, 61000, 90000} << QStringList{"000:30.000", "000:31.000", "000:29.000"}
            << "000:29.000" << "can't convert new lap to msec (\"0a0:15.000\")";
        QTest::newRow("sixty seconds") << true << 2 << "000:60.000"
            << QList<qint64>{30000, 61000, 90000} << QStringList{"000:30.000", "000:31.000", "000:29.000"}
            << "000:29.000" << "error in new lap time, seconds>59";
    }
    void corrections()
    {
        QFETCH(bool, split);
        QFETCH(int, lap);
        QFETCH(QString, typed);
        QFETCH(QList<qint64>, times);
        QFETCH(QStringList, texts);
        QFETCH(QString, best);
        QFETCH(QString, logLine);

        RaceFixture f;
        const int row = f.addPilot(1, "Anna", 100);
        f.addPilot(2, "Boris", 200);
        for (const auto &[n, t] : QList<QPair<int, qint64>>{{1, 30000}, {2, 61000}, {3, 90000}})
            f.addLap(1, n, t);
        f.addLap(2, 1, 33000);
        QVERIFY(f.engine->UpdateOneraceBestlaps(row));
        LapCorrections corrections(f.services());
        QSignalSpy lapsChanged(&corrections, &LapCorrections::lapsChanged);

        const bool changed = split ? corrections.splitLap(row, lapId(f, 1, lap), typed)
                                   : corrections.deleteLap(row, lapId(f, 1, lap));
        QCOMPARE(changed, logLine.isEmpty());
        QCOMPARE(lapsChanged.count(), changed ? 1 : 0);
        QCOMPARE(f.lapTimes(1), times);
        QCOMPARE(f.lapTexts(1), texts);
        QList<int> numbers;
        for (int i = 1; i <= times.size(); ++i)
            numbers << i;
        QCOMPARE(f.lapNumbers(1), numbers);
        QCOMPARE(f.row(1).lapno, int(times.size()));
        QCOMPARE(f.row(1).besttimetxt, best);
        QCOMPARE(f.row(1).totaltime, times.last());
        if (!logLine.isEmpty())
            QCOMPARE(f.lines->lines.last(), logLine);
        // Another pilot's laps are never touched.
        QCOMPARE(f.lapTimes(2), QList<qint64>{33000});
        // The pass loop continues from the corrected laps.
        f.settings.set("chracecontinue", true);
        QVERIFY(f.start());
        f.pass(100, 120000);
        QCOMPARE(f.lapTexts(1).last(), ms2minsecmstext(120000 - times.last()));
        QCOMPARE(f.lapNumbers(1).last(), int(times.size()) + 1);
    }

    void pilotWithoutLaps()
    {
        RaceFixture f;
        const int row = f.addPilot(1, "Anna", 100);
        LapCorrections corrections(f.services());
        QVERIFY(!corrections.deleteLap(row, 0));
        QVERIFY(!corrections.splitLap(row, 0, "000:15.000"));
        QCOMPARE(f.lines->lines, QStringList({"can't convert new lap to msec (\"\")",
                                              "error: new lap time same or greater of current lap time"}));
        QCOMPARE(f.lapCount(), 0);
    }

    void entryText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("complete");
        QTest::newRow("example") << "000:12.345" << true;
        QTest::newRow("missing digit") << "000:12.34" << false;
        QTest::newRow("short minutes") << "00:12.345" << false;
        QTest::newRow("wrong separator") << "000:12:345" << false;
        QTest::newRow("letters") << "abc:12.345" << false;
        QTest::newRow("blanks of an unfilled mask") << "000:1 .345" << false;
    }
    void entryText()
    {
        QFETCH(QString, text);
        QFETCH(bool, complete);
        QCOMPARE(LapCorrections::entryComplete(text), complete);
        QCOMPARE(LapCorrections::entryCaption(), QString("Adding new lap..."));
        QCOMPARE(LapCorrections::entryLabel(), QString("Enter lap time MMM:SS.MSS (000:12.345)"));
    }
};

QTEST_GUILESS_MAIN(TestLapCorrections)
#include "tst_lapcorrections.moc"
