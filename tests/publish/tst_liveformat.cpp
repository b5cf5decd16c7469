// The live places, the JSON and the page placeholders by the race format of
// the stage shown: the order, the deciding values and the format's key.
#include "competition/stagedeciding.h"
#include "competition/stageformat.h"
#include "publish/racejson.h"
#include "publish/templatefiller.h"
#include "tests/publish/publishfixture.h"

#include <QJsonArray>
#include <QtTest>

using namespace lapvane;

class TestLiveFormat : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<test::PublishFixture> f;
    int stage = 0;

    QList<int> liveOrder(int stageId, QJsonObject *json = nullptr)
    {
        RaceStatus status;
        status.running = true;
        status.stageId = stageId;
        RaceSnapshot race;
        QString error;
        if (!readRaceSnapshot(f->db.db(), status, &race, &error))
            qFatal("%s", qPrintable(error));
        if (json)
            *json = raceJson(race);
        QList<int> ids;
        for (const LivePilot &p : race.pilots)
            ids << p.pilotId;
        return ids;
    }

private slots:
    void init()
    {
        f = std::make_unique<test::PublishFixture>();
        stage = f->insert("stages", {{"events", 1},
                                     {"stagename", "Qualification"},
                                     {"laplimit", 0},
                                     {"timelimit", 2},
                                     {"starttime", ""}});
        // Anna: 3 laps of 20 s; Boris: 2 laps, the second of 15 s.
        f->addRacePilot(1, "Anna", "R1", {{"lapno", 3}});
        f->addRacePilot(2, "Boris", "R2", {{"lapno", 2}});
        f->addLap(1, 1, 20000, "000:20.000");
        f->addLap(1, 2, 40000, "000:20.000");
        f->addLap(1, 3, 60000, "000:20.000");
        f->addLap(2, 1, 30000, "000:30.000");
        f->addLap(2, 2, 45000, "000:15.000");
        f->addResult(stage, 1, "Anna");
        f->addResult(stage, 2, "Boris");
    }

    void livePlacesAndJsonFollowTheStage()
    {
        QJsonObject json;
        // No format chosen: the default, and the key names it.
        QCOMPARE(liveOrder(stage, &json), QList<int>({1, 2}));
        QCOMPARE(json.value("format").toString(), QString("lapsandtime"));
        // No stage shown: null.
        QCOMPARE(liveOrder(0, &json), QList<int>({1, 2}));
        QVERIFY(json.value("format").isNull());

        QString error;
        QVERIFY(writeStageFormat(f->db.db(), stage, RaceFormat::FastestLap, 30000, false, &error));
        QCOMPARE(liveOrder(stage, &json), QList<int>({2, 1}));
        QCOMPARE(json.value("format").toString(), QString("fastestlap"));
        const QJsonArray pilots = json.value("pilots").toArray();
        QCOMPARE(pilots.at(0).toObject().value("deciding").toString(), QString("best lap: 00:15.000"));
        QCOMPARE(pilots.at(0).toObject().value("place").toInt(), 1);
    }

    void resultsJsonCarriesFormatAndDeciding()
    {
        QString error;
        QJsonObject json;
        QVERIFY(readResultsJson(f->db.db(), stage, "Qualification", QString(), false, &json, &error));
        QCOMPARE(json.value("format").toString(), QString("lapsandtime"));
        QVERIFY(json.value("results").toArray().at(0).toObject().value("deciding").isNull());
        QVERIFY(readResultsJson(f->db.db(), 0, QString(), QString(), false, &json, &error));
        QVERIFY(json.value("format").isNull());

        QVERIFY(writeStageFormat(f->db.db(), stage, RaceFormat::FastestLap, 30000, false, &error));
        QList<RaceListRank> ranked;
        QVERIFY(rankRaceList(f->db.db(), raceRules(f->db.db(), stage, nullptr), &ranked, &error));
        QVERIFY(recordStageDeciding(f->db.db(), stage, {ranked.at(0)}, &error)); // Boris only
        QVERIFY(readResultsJson(f->db.db(), stage, "Qualification", QString(), false, &json, &error));
        QCOMPARE(json.value("format").toString(), QString("fastestlap"));
        const QJsonArray rows = json.value("results").toArray();
        QCOMPARE(rows.at(0).toObject().value("pilotid").toInt(), 1);
        QVERIFY(rows.at(0).toObject().value("deciding").isNull());
        QCOMPARE(rows.at(1).toObject().value("deciding").toString(), QString("best lap: 00:15.000"));
    }

    void placeholders()
    {
        QString error;
        QVERIFY(writeStageFormat(f->db.db(), stage, RaceFormat::Fastest3, 30000, false, &error));
        PageSnapshot snap;
        snap.stageId = stage;
        TemplateFiller filler(f->db.db(), snap, [](const QString &) {});
        QCOMPARE(
            filler.parsetext("%STAGEFORMAT%|%RACEPILOTDECIDING1%|%RACEPILOTDECIDING2%|%RACEPILOTDECIDING3%",
                             0, false),
            QString("Fastest 3 consecutive laps|3 consecutive: 01:00.000|2 laps, 00:45.000|"));
        QCOMPARE(filler.parsetext("%PILOTDECIDING%/%PILOTNAME%", 2, false),
                 QString("2 laps, 00:45.000/Boris"));
        QCOMPARE(filler.parsetext("[%PILOTDECIDING%]", 9, false), QString("[]"));
    }

    void stageResultsTableShowsTheKeptResult()
    {
        PageSnapshot snap;
        snap.stageId = stage;
        snap.topColumns = {true, false, false, false, false, false, false, false};
        auto table = [&] {
            TemplateFiller filler(f->db.db(), snap, [](const QString &) {});
            return filler.parsetext("%STAGERESULTS%", 0, true);
        };
        // The default format: the table as it always was.
        QVERIFY(!table().contains("Result"));
        QString error;
        QVERIFY(writeStageFormat(f->db.db(), stage, RaceFormat::FastestLap, 30000, false, &error));
        QList<RaceListRank> ranked;
        QVERIFY(rankRaceList(f->db.db(), raceRules(f->db.db(), stage, nullptr), &ranked, &error));
        QVERIFY(recordStageDeciding(f->db.db(), stage, ranked, &error));
        const QString html = table();
        QVERIFY2(html.contains("<th width=20%>Result</th>"), qPrintable(html));
        QVERIFY2(html.contains("<td>Anna</td>\r\n<td>best lap: 00:20.000</td>"), qPrintable(html));
        QVERIFY2(html.contains("<td>Boris</td>\r\n<td>best lap: 00:15.000</td>"), qPrintable(html));
    }
};

QTEST_GUILESS_MAIN(TestLiveFormat)
#include "tst_liveformat.moc"
