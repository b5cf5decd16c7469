// Brackets: seeding, the shape of mains and elimination brackets, whole
// progressions with byes, ties at the cut-off, corrections and re-exports.
#include "competition/bracket.h"
#include "competition/raceformat.h"

#include <QtTest>

#include <algorithm>
#include <numeric>

using namespace lapvane;

namespace {

// Pilot ids 101, 102 ... in standing order.
QList<int> field(int pilots)
{
    QList<int> ids;
    for (int i = 1; i <= pilots; ++i)
        ids << 100 + i;
    return ids;
}

QList<int> seedsOf(const BracketHeat &heat)
{
    QList<int> seeds;
    for (const SeatSource &s : heat.seats)
        seeds << s.seed;
    return seeds;
}

// Flies every heat in order, the better seed always ahead; returns the
// results and how many heats were flown.
struct Run
{
    QHash<int, QList<int>> results;
    QList<HeatState> states;
    int flown = 0;
};

Run flyAll(const Bracket &b, const QList<int> &standing)
{
    Run run;
    for (int guard = 0; guard < 100; ++guard) {
        run.states = resolveBracket(b, standing, run.results);
        const int next = nextHeat(run.states);
        if (next < 0)
            break;
        QList<int> order = run.states.at(next).pilots;
        std::sort(order.begin(), order.end());
        run.results.insert(next, order);
        ++run.flown;
    }
    return run;
}

Bracket make(const QString &kind, int pilots)
{
    return kind == "single" ? makeSingleElimination(pilots) : makeDoubleElimination(pilots);
}

} // namespace

class TestBracket : public QObject
{
    Q_OBJECT
private slots:
    void seeding()
    {
        const Bracket b8 = makeSingleElimination(8);
        QCOMPARE(seedsOf(b8.heats.at(0)), (QList<int>{1, 4, 5, 8}));
        QCOMPARE(seedsOf(b8.heats.at(1)), (QList<int>{2, 3, 6, 7}));
        const Bracket b16 = makeDoubleElimination(16);
        QCOMPARE(seedsOf(b16.heats.at(0)), (QList<int>{1, 8, 9, 16}));
        QCOMPARE(seedsOf(b16.heats.at(1)), (QList<int>{4, 5, 12, 13}));
        QCOMPARE(seedsOf(b16.heats.at(2)), (QList<int>{2, 7, 10, 15}));
        QCOMPARE(seedsOf(b16.heats.at(3)), (QList<int>{3, 6, 11, 14}));
        const Bracket b32 = makeSingleElimination(32);
        QCOMPARE(seedsOf(b32.heats.at(0)), (QList<int>{1, 16, 17, 32}));
        for (int h = 0; h < 8; ++h) {
            const QList<int> seeds = seedsOf(b32.heats.at(h));
            QCOMPARE(std::accumulate(seeds.begin(), seeds.end(), 0), 66); // balanced heats
        }
        // Seeds 1 and 2 are in different halves: they meet in the final only.
        QCOMPARE(seedsOf(b32.heats.at(4)).first(), 2);
    }

    void shape_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("pilots");
        QTest::addColumn<int>("heats");
        QTest::addColumn<QString>("last");
        QTest::newRow("single 8") << "single" << 8 << 3 << "Final";
        QTest::newRow("single 16") << "single" << 16 << 7 << "Final";
        QTest::newRow("single 32") << "single" << 32 << 15 << "Final";
        QTest::newRow("double 8") << "double" << 8 << 6 << "Grand final";
        QTest::newRow("double 16") << "double" << 16 << 14 << "Grand final";
        QTest::newRow("double 32") << "double" << 32 << 30 << "Grand final";
        QTest::newRow("double 5 in an 8 bracket") << "double" << 5 << 6 << "Grand final";
        QTest::newRow("single 17 in a 32 bracket") << "single" << 17 << 15 << "Final";
    }

    void shape()
    {
        QFETCH(QString, kind);
        QFETCH(int, pilots);
        QFETCH(int, heats);
        QFETCH(QString, last);
        const Bracket b = make(kind, pilots);
        QVERIFY(b.error.isEmpty());
        QCOMPARE(b.heats.size(), heats);
        QCOMPARE(b.heats.last().name, last);
        QStringList groups;
        QHash<QPair<int, int>, int> fed; // (heat, place) -> seats it fills
        for (int h = 0; h < b.heats.size(); ++h) {
            const BracketHeat &heat = b.heats.at(h);
            QVERIFY(heat.seats.size() <= 4);
            groups << heat.group;
            for (const SeatSource &s : heat.seats) {
                if (s.seed == 0) {
                    QVERIFY2(s.fromHeat >= 0 && s.fromHeat < h,
                             qPrintable(heat.name)); // fed by earlier heats
                    ++fed[{s.fromHeat, s.fromPlace}];
                }
            }
        }
        // Group labels sort as text in flying order.
        QStringList sorted = groups;
        sorted.sort();
        QCOMPARE(sorted, groups);
        // Every place goes to one seat at most.
        for (int n : fed)
            QCOMPARE(n, 1);
    }

    void wholeProgressions_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("pilots");
        QTest::addColumn<int>("flown"); // heats raced (byes are not)
        QTest::addColumn<QList<int>>("final");
        QTest::newRow("single 8") << "single" << 8 << 3 << QList<int>{101, 102, 103, 104};
        QTest::newRow("single 16") << "single" << 16 << 7 << QList<int>{101, 102, 103, 104};
        QTest::newRow("single 32") << "single" << 32 << 15 << QList<int>{101, 102, 103, 104};
        QTest::newRow("double 8") << "double" << 8 << 6 << QList<int>{101, 102, 103, 104};
        QTest::newRow("double 16") << "double" << 16 << 14 << QList<int>{101, 102, 103, 104};
        QTest::newRow("double 32") << "double" << 32 << 30 << QList<int>{101, 102, 103, 104};
        // 10 in 16: two first-round heats hold 2 pilots and are byes; their
        // losers' seats stay empty, and a losers' heat left with 2 is a bye too.
        QTest::newRow("single 10 with byes") << "single" << 10 << 5 << QList<int>{101, 102, 103, 104};
        QTest::newRow("double 10 with byes") << "double" << 10 << 10 << QList<int>{101, 102, 103, 104};
        QTest::newRow("single 17 with byes") << "single" << 17 << 8 << QList<int>{101, 102, 103, 104};
        QTest::newRow("double 3") << "double" << 3 << 2 << QList<int>{101, 102, 103};
    }

    void wholeProgressions()
    {
        QFETCH(QString, kind);
        QFETCH(int, pilots);
        QFETCH(int, flown);
        QFETCH(QList<int>, final);
        const Bracket b = make(kind, pilots);
        const Run run = flyAll(b, field(pilots));
        QCOMPARE(run.flown, flown);
        QCOMPARE(nextHeat(run.states), -1);
        const HeatState &last = run.states.last();
        QVERIFY(last.flown);
        QList<int> finalists = last.pilots;
        std::sort(finalists.begin(), finalists.end());
        QCOMPARE(finalists, final);
        // Everybody flew somewhere, and every heat ended decided.
        const QHash<int, QString> groups = pilotGroups(b, run.states);
        QCOMPARE(groups.size(), pilots);
        QCOMPARE(groups.value(101), b.heats.last().group);
        for (const HeatState &s : run.states)
            QVERIFY(s.decided() && !s.stale);
    }

    void doubleEliminationSecondChance()
    {
        // 8 pilots: the first seed loses his first heat and still wins.
        const Bracket b = makeDoubleElimination(8);
        QStringList names;
        for (const BracketHeat &h : b.heats)
            names << h.name;
        QCOMPARE(names, (QStringList{"Winners round 1, heat 1", "Winners round 1, heat 2", "Losers round 1",
                                     "Winners final", "Losers final", "Grand final"}));
        const QList<int> standing = field(8);
        QHash<int, QList<int>> results{{0, {104, 105, 101, 108}}, {1, {102, 103, 106, 107}}};
        QList<HeatState> s = resolveBracket(b, standing, results);
        QCOMPARE(s.at(2).pilots, (QList<int>{101, 106, 108, 107})); // losers' round: 3rd and 4th
        QCOMPARE(s.at(3).pilots, (QList<int>{104, 102, 105, 103}));
        results.insert(2, {101, 106, 107, 108});
        results.insert(3, {102, 105, 104, 103});
        s = resolveBracket(b, standing, results);
        QCOMPARE(s.at(4).pilots, (QList<int>{101, 106, 104, 103})); // survivors meet the winners' final drops
        results.insert(4, {101, 104, 106, 103});
        s = resolveBracket(b, standing, results);
        QCOMPARE(s.at(5).pilots, (QList<int>{102, 101, 105, 104}));
        QCOMPARE(nextHeat(s), 5);
    }

    void tieAtTheCutOff()
    {
        // Two pilots tie on laps and last pass for 2nd: the ranking keeps the
        // race-list order, so the one listed first goes on, every time.
        const Bracket b = makeSingleElimination(8);
        const QList<int> standing = field(8);
        QList<HeatState> s = resolveBracket(b, standing, {});
        const QList<int> heat1 = s.at(0).pilots; // 101, 104, 105, 108 in race-list order
        const QList<RaceEntry> race = {
            {{30000, 60000, 90000}, -1}, {{31000, 61000}, -1}, {{30500, 61000}, -1}, {{40000}, -1}};
        QHash<int, QList<int>> results;
        QList<int> order;
        for (const RankedEntry &r : rankRace(RaceFormat::LapsAndTime, FormatOptions{}, race))
            order << heat1.at(r.index);
        QCOMPARE(order, (QList<int>{101, 104, 105, 108}));
        results.insert(0, order);
        results.insert(1, {102, 103, 106, 107});
        s = resolveBracket(b, standing, results);
        QCOMPARE(s.at(2).pilots, (QList<int>{101, 102, 104, 103}));
    }

    void correctionAndReExport()
    {
        const Bracket b = makeSingleElimination(8);
        const QList<int> standing = field(8);
        QHash<int, QList<int>> results{{0, {101, 104, 105, 108}}, {1, {102, 103, 106, 107}}};
        results.insert(2, {102, 101, 104, 103});
        QList<HeatState> s = resolveBracket(b, standing, results);
        QVERIFY(s.at(2).flown);
        QCOMPARE(nextHeat(s), -1);

        // Re-exporting a heat with the same result changes nothing.
        QCOMPARE(resolveBracket(b, standing, results).at(2).pilots, s.at(2).pilots);

        // A lap correction in heat 1 puts 105 ahead of 104: the final's seats
        // follow, its recorded result no longer fits and it is to be flown again.
        results.insert(0, {101, 105, 104, 108});
        s = resolveBracket(b, standing, results);
        QCOMPARE(s.at(2).pilots, (QList<int>{101, 102, 105, 103}));
        QVERIFY(s.at(2).stale);
        QVERIFY(!s.at(2).flown);
        QCOMPARE(nextHeat(s), 2);
        QHash<int, QString> groups = pilotGroups(b, s);
        QCOMPARE(groups.value(104), b.heats.at(0).group);
        QCOMPARE(groups.value(105), b.heats.at(2).group);

        // The final flown again and exported.
        results.insert(2, {105, 101, 102, 103});
        s = resolveBracket(b, standing, results);
        QVERIFY(s.at(2).flown && !s.at(2).stale);
        QCOMPARE(s.at(2).order.first(), 105);

        // A result missing a seated pilot (did not start) ranks him last.
        results.insert(2, {101, 102, 103});
        s = resolveBracket(b, standing, results);
        QCOMPARE(s.at(2).order, (QList<int>{101, 102, 103, 105}));
    }

    void mains()
    {
        // 20 pilots, mains of 6, the top 2 move up: A to D hold seeds of 4
        // plus 2 seats for the main below; E holds the rest; E flies first.
        const Bracket b = makeMains(20, 6, 2);
        QVERIFY(b.error.isEmpty());
        QStringList names;
        for (const BracketHeat &h : b.heats)
            names << h.name;
        QCOMPARE(names, (QStringList{"E main", "D main", "C main", "B main", "A main"}));
        QCOMPARE(seedsOf(b.heats.at(0)), (QList<int>{17, 18, 19, 20}));
        QCOMPARE(seedsOf(b.heats.at(4)), (QList<int>{1, 2, 3, 4, 0, 0}));
        const QList<int> standing = field(20);
        QHash<int, QList<int>> results;
        QList<HeatState> s = resolveBracket(b, standing, results);
        QCOMPARE(nextHeat(s), 0);
        QCOMPARE(s.at(1).unknownSeats, 2);
        results.insert(0, {120, 117, 118, 119});
        s = resolveBracket(b, standing, results);
        QCOMPARE(s.at(1).pilots, (QList<int>{113, 114, 115, 116, 120, 117}));
        QCOMPARE(pilotGroups(b, s).value(120), b.heats.at(1).group);
        QCOMPARE(pilotGroups(b, s).value(118), b.heats.at(0).group);
        const Run run = flyAll(b, standing);
        QCOMPARE(run.flown, 5);
        QCOMPARE(run.states.at(4).pilots, (QList<int>{101, 102, 103, 104, 105, 106}));

        // Without bump-up: independent mains, all ready at once.
        const Bracket plain = makeMains(20, 8);
        QCOMPARE(plain.heats.size(), 3);
        QCOMPARE(seedsOf(plain.heats.at(0)), (QList<int>{17, 18, 19, 20}));
        QCOMPARE(seedsOf(plain.heats.at(2)).size(), 8);
        // Fewer than a main: one A main.
        QCOMPARE(makeMains(5, 6, 2).heats.size(), 1);
        // Refusals.
        QVERIFY(!makeMains(10, 4, 4).error.isEmpty());
        QVERIFY(makeMains(10, 4, 4).heats.isEmpty());
        QVERIFY(!makeSingleElimination(33).error.isEmpty());
        QVERIFY(!makeDoubleElimination(1).error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBracket)
#include "tst_bracket.moc"
