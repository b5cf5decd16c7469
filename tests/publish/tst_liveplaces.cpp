// Live places follow the finish's rule: more laps, then the earlier last pass,
// then channel; a finished race keeps the places the finish stored.
#include "publish/racejson.h"

#include <QJsonArray>
#include <QtTest>

using namespace lapvane;

namespace {

LivePilot pilot(int id, const QString &vtx, const QList<qint64> &passes, int storedPlace = 999)
{
    LivePilot p;
    p.pilotId = id;
    p.vtx = vtx;
    p.storedPlace = storedPlace;
    qint64 previous = 0;
    for (int i = 0; i < passes.size(); ++i) {
        p.lapList << LiveLap{i + 1, passes.at(i), passes.at(i) - previous};
        previous = passes.at(i);
    }
    p.laps = int(passes.size());
    return p;
}

QList<int> order(const RaceSnapshot &race)
{
    QList<int> ids;
    for (const LivePilot &p : race.pilots)
        ids << p.pilotId * 10 + p.place;
    return ids;
}

} // namespace

class TestLivePlaces : public QObject
{
    Q_OBJECT
private slots:
    void runningRace()
    {
        RaceSnapshot race;
        race.state = RaceState::Running;
        race.pilots = {pilot(1, "R4", {30000, 60000}), pilot(2, "R3", {}), pilot(3, "R2", {31000, 60000}),
                       pilot(4, "R1", {20000, 40000, 90000}), pilot(5, "R1", {}), pilot(6, "R5", {29000, 59000})};
        rankPilots(&race);
        // id*10 + place: 4 first (3 laps); 6 (earlier last pass); 3 before 1 on
        // the same pass by channel; 5 before 2 without laps by channel.
        QCOMPARE(order(race), (QList<int>{41, 62, 33, 14, 55, 26}));
        QCOMPARE(race.pilots.at(0).bestLapMs, qint64(20000));
        QCOMPARE(race.pilots.at(0).totalMs, qint64(90000));
        QCOMPARE(race.pilots.at(5).totalMs, qint64(-1));
        // Each place shows what decided it.
        QCOMPARE(race.pilots.at(0).deciding, QString("3 laps, 01:30.000"));
        QCOMPARE(race.pilots.at(5).deciding, QString("no laps"));
        QCOMPARE(raceJson(race).value("pilots").toArray().at(1).toObject().value("deciding").toString(),
                 QString("2 laps, 00:59.000"));
    }

    void finishedRaceKeepsStoredPlaces()
    {
        RaceSnapshot race;
        race.state = RaceState::Finished;
        race.pilots = {pilot(1, "R1", {30000}, 2), pilot(2, "R2", {31000}, 1)};
        rankPilots(&race);
        QCOMPARE(order(race), (QList<int>{21, 12}));
        QCOMPARE(race.pilots.at(0).deciding, QString("1 lap, 00:31.000"));
    }
};

QTEST_GUILESS_MAIN(TestLivePlaces)
#include "tst_liveplaces.moc"
