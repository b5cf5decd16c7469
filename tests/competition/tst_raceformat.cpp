// Ranking a race by each format: which passes count, the order, ties and the
// deciding values; a stage standing over several races; the format keys.
#include "competition/raceformat.h"

#include <QtTest>

using namespace lapvane;

namespace {

// "30000 58000; ; 29000" -> three pilots, the second without a pass.
QList<RaceEntry> parseRace(const QString &text)
{
    QList<RaceEntry> out;
    for (const QString &pilot : text.split(QLatin1Char(';'))) {
        RaceEntry e;
        for (const QString &t : pilot.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            e.passesMs << t.toLongLong();
        out << e;
    }
    return out;
}

FormatOptions options(int lapLimit, qint64 timeLimitMs, qint64 graceMs, bool holeShot)
{
    FormatOptions o;
    o.lapLimit = lapLimit;
    o.timeLimitMs = timeLimitMs;
    o.graceMs = graceMs;
    o.holeShot = holeShot;
    return o;
}

} // namespace

Q_DECLARE_METATYPE(lapvane::FormatOptions)

class TestRaceFormat : public QObject
{
    Q_OBJECT
private slots:
    void rankRace_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<FormatOptions>("opts");
        QTest::addColumn<QString>("race");
        QTest::addColumn<QList<int>>("order");     // pilot indices in place order
        QTest::addColumn<QStringList>("deciding"); // deciding texts in place order

        const FormatOptions none = options(0, 0, 30000, false);
        QTest::newRow("laps and time: laps, then earlier last pass, then list order")
            << "lapsandtime" << none
            << "30000 58000 90000; ; 31000 62000 95000; 29000 61000 95000;"
               "20000 40000 60000 80000 120000; 20000 40000 60000 80000 118500"
            << QList<int>{5, 4, 0, 2, 3, 1}
            << QStringList{"5 laps, 01:58.500", "5 laps, 02:00.000", "3 laps, 01:30.000",
                           "3 laps, 01:35.000", "3 laps, 01:35.000", "no laps"};
        QTest::newRow("laps and time: passes beyond the lap limit do not count")
            << "lapsandtime" << options(3, 0, 0, false) << "10000 20000 30000 40000 50000; 11000 21000 29000"
            << QList<int>{1, 0} << QStringList{"3 laps, 00:29.000", "3 laps, 00:30.000"};
        QTest::newRow("laps and time: a pass at or after the time limit does not count")
            << "lapsandtime" << options(0, 60000, 0, false) << "30000 60000; 31000 59999" << QList<int>{1, 0}
            << QStringList{"2 laps, 00:59.999", "1 lap, 00:30.000"};
        QTest::newRow("laps and time: hole-shot, the first pass opens lap 1")
            << "lapsandtime" << options(2, 0, 0, true) << "5000 35000 65000 95000; 40000 70000; 3000"
            << QList<int>{0, 1, 2} << QStringList{"2 laps, 01:05.000", "1 lap, 01:10.000", "no laps"};

        QTest::newRow("most laps: grace lap within 30 s, a pass exactly at the limit ends the race")
            << "mostlaps" << options(0, 60000, 30000, false)
            << "20000 40000 59000 75000; 20000 40000 59500 95000; 25000 50000 61000 70000; 30000 60000 62000"
            << QList<int>{0, 1, 2, 3}
            << QStringList{"4 laps, 01:15.000", "3 laps, 00:59.500", "3 laps, 01:01.000",
                           "2 laps, 01:00.000"};
        QTest::newRow("most laps: grace 0 counts no pass after the limit")
            << "mostlaps" << options(0, 60000, 0, false) << "50000 61000; 40000" << QList<int>{1, 0}
            << QStringList{"1 lap, 00:40.000", "1 lap, 00:50.000"};
        QTest::newRow("most laps: hole-shot")
            << "mostlaps" << options(0, 60000, 30000, true)
            << "2000 30000 58000 70000 80000; 1000 31000 61000" << QList<int>{0, 1}
            << QStringList{"3 laps, 01:10.000", "2 laps, 01:01.000"};

        QTest::newRow("first to 3: finish order, the others complete the lap they are on")
            << "firsttolaps" << options(3, 0, 0, false)
            << "20000 40000 60000 80000; 15000 35000 55000 75000; 25000 50000 70000 90000; 30000 65000 "
               "100000; "
            << QList<int>{1, 0, 2, 3, 4}
            << QStringList{"3 laps, 00:55.000", "3 laps, 01:00.000", "3 laps, 01:10.000", "2 laps, 01:05.000",
                           "no laps"};
        QTest::newRow("first to 2 with hole-shot: three passes finish")
            << "firsttolaps" << options(2, 0, 0, true)
            << "1000 21000 41000; 2000 20000 39000 50000; 3000 45000 60000" << QList<int>{1, 0, 2}
            << QStringList{"2 laps, 00:39.000", "2 laps, 00:41.000", "1 lap, 00:45.000"};

        QTest::newRow("fastest lap: best lap, then who set it earlier; no laps last")
            << "fastestlap" << none << "30000 58000 90000; 29000 57000; ; 27000; 35000 62000"
            << QList<int>{3, 4, 1, 0, 2}
            << QStringList{"best lap: 00:27.000", "best lap: 00:27.000", "best lap: 00:28.000",
                           "best lap: 00:28.000", "no laps"};
        QTest::newRow("fastest lap: hole-shot drops the run from the start, the time limit cuts late laps")
            << "fastestlap" << options(0, 60000, 0, true) << "5000 33000 60000; 4000 31000 59000 80000"
            << QList<int>{1, 0} << QStringList{"best lap: 00:27.000", "best lap: 00:28.000"};

        QTest::newRow("fastest 3: best window; fewer laps after, by laps then last pass")
            << "fastest3" << none
            << "30000 58000 90000 120000; 31000 60000 88000; 20000 40000; 21000 39000; ; "
               "30000 60000 90000 120000 150000; 19000"
            << QList<int>{1, 0, 5, 3, 2, 6, 4}
            << QStringList{"3 consecutive: 01:28.000",
                           "3 consecutive: 01:30.000",
                           "3 consecutive: 01:30.000",
                           "2 laps, 00:39.000",
                           "2 laps, 00:40.000",
                           "1 lap, 00:19.000",
                           "no laps"};
    }

    void rankRace()
    {
        QFETCH(QString, format);
        QFETCH(FormatOptions, opts);
        QFETCH(QString, race);
        QFETCH(QList<int>, order);
        QFETCH(QStringList, deciding);
        const auto f = formatFromKey(format);
        QVERIFY(f.has_value());
        const QList<RankedEntry> ranked = lapvane::rankRace(*f, opts, parseRace(race));
        QList<int> gotOrder;
        QStringList gotText;
        for (int i = 0; i < ranked.size(); ++i) {
            QCOMPARE(ranked.at(i).place, i + 1);
            gotOrder << ranked.at(i).index;
            gotText << ranked.at(i).decidingText;
        }
        QCOMPARE(gotOrder, order);
        QCOMPARE(gotText, deciding);
    }

    void raceEndAndCountingPasses()
    {
        const FormatOptions most = options(0, 60000, 30000, false);
        QList<RaceEntry> race = parseRace("20000 40000 59000 75000; 25000 50000");
        QVERIFY(!raceOver(RaceFormat::MostLaps, most, race, 59999));
        QVERIFY(!raceOver(RaceFormat::MostLaps, most, race, 70000)); // the second pilot is still on his lap
        QVERIFY(raceOver(RaceFormat::MostLaps, most, race, 90000));  // the grace time is over
        QVERIFY(passCounts(RaceFormat::MostLaps, most, race.at(1), 80000));
        QVERIFY(!passCounts(RaceFormat::MostLaps, most, race.at(0), 80000)); // his race ended at 75 s
        QVERIFY(!passCounts(RaceFormat::MostLaps, most, race.at(1), 95000)); // beyond the grace time
        race[1].passesMs << 80000;
        QVERIFY(raceOver(RaceFormat::MostLaps, most, race, 80000));

        const FormatOptions first = options(3, 0, 30000, false);
        race = parseRace("15000 35000 55000; 20000 40000");
        const qint64 w = winnerFinish(RaceFormat::FirstToLaps, first, race);
        QCOMPARE(w, qint64(55000));
        QVERIFY(!raceOver(RaceFormat::FirstToLaps, first, race, 56000));
        QVERIFY(
            raceOver(RaceFormat::FirstToLaps, first, race, 85000)); // a pilot who is down does not hold it
        QVERIFY(passCounts(RaceFormat::FirstToLaps, first, race.at(1), 60000, w));
        QVERIFY(!passCounts(RaceFormat::FirstToLaps, first, race.at(0), 70000, w)); // the winner is done
        race[1].passesMs << 60000;
        QVERIFY(raceOver(RaceFormat::FirstToLaps, first, race, 60000));
        QVERIFY(!passCounts(RaceFormat::FirstToLaps, first, race.at(1), 80000, w));
        QVERIFY(!raceOver(RaceFormat::FirstToLaps, first, parseRace("10000 20000; 15000"), 999999));

        QVERIFY(!raceOver(RaceFormat::FastestLap, options(0, 60000, 0, false), {}, 59999));
        QVERIFY(raceOver(RaceFormat::Fastest3, options(0, 60000, 0, false), {}, 60000));
        QVERIFY(!raceOver(RaceFormat::FastestLap, options(0, 0, 0, false), {}, 9999999));

        const FormatOptions laps = options(2, 0, 0, false);
        QVERIFY(!raceOver(RaceFormat::LapsAndTime, laps, parseRace("10000 20000; 10000"), 30000));
        QVERIFY(raceOver(RaceFormat::LapsAndTime, laps, parseRace("10000 20000; 10000 21000"), 30000));
        QVERIFY(!passCounts(RaceFormat::LapsAndTime, laps, parseRace("10000 20000").at(0), 30000));
        QVERIFY(passCounts(RaceFormat::LapsAndTime, laps, parseRace("10000").at(0), 30000));
    }

    void raceListCountDecidesLapsInTheDefaultFormat()
    {
        // The pass loop counted a second lap whose write failed: the race list
        // says 2, the last pass on record gives the time.
        RaceEntry lostWrite;
        lostWrite.passesMs = {30000};
        lostWrite.countedPasses = 2;
        RaceEntry plain;
        plain.passesMs = {30000, 50000};
        const auto ranked = lapvane::rankRace(RaceFormat::LapsAndTime, {}, {plain, lostWrite});
        QCOMPARE(ranked.at(0).index, 1);
        QCOMPARE(ranked.at(0).laps, 2);
        QCOMPARE(ranked.at(0).decidingText, QString("2 laps, 00:30.000"));
    }

    void stageTakesEachPilotsBestRace()
    {
        const FormatOptions o;
        const auto race1 = lapvane::rankRace(RaceFormat::FastestLap, o, parseRace("31000; 29000; 40000"));
        const auto race2 = lapvane::rankRace(RaceFormat::FastestLap, o, parseRace("28000; 30000"));
        auto byPilot = [](const QList<RankedEntry> &race, int pilot) {
            for (const RankedEntry &r : race) {
                if (r.index == pilot)
                    return r;
            }
            return RankedEntry{};
        };
        // Pilot 0 flew both races, pilot 1 both, pilot 2 the first, pilot 3 none.
        const QList<QList<RankedEntry>> races = {{byPilot(race1, 0), byPilot(race2, 0)},
                                                 {byPilot(race1, 1), byPilot(race2, 1)},
                                                 {byPilot(race1, 2)},
                                                 {}};
        const QList<StageRank> stage = rankStage(RaceFormat::FastestLap, races);
        QCOMPARE(stage.size(), 4);
        QCOMPARE(stage.at(0).index, 0);
        QCOMPARE(stage.at(0).decidingText, QString("best lap: 00:28.000"));
        QCOMPARE(stage.at(1).index, 1);
        QCOMPARE(stage.at(2).index, 2);
        QCOMPARE(stage.at(3).index, 3);
        QVERIFY(!stage.at(3).hasRace);
        QCOMPARE(stage.at(3).place, 4);
    }

    void formatKeys()
    {
        for (RaceFormat f : allFormats())
            QCOMPARE(formatFromKey(formatKey(f)), std::optional<RaceFormat>(f));
        QCOMPARE(allFormats().size(), 5);
        QCOMPARE(formatFromKey(" MostLaps "), std::optional<RaceFormat>(RaceFormat::MostLaps));
        QVERIFY(!formatFromKey("fastest2").has_value());
        QVERIFY(!formatFromKey("").has_value());
        QCOMPARE(decidingTimeText(62345), QString("01:02.345"));
        QCOMPARE(decidingTimeText(6000000), QString("100:00.000"));
    }
};

QTEST_GUILESS_MAIN(TestRaceFormat)
#include "tst_raceformat.moc"
