// The bracket for the web server: the JSON of a bracket stage (rounds, heats,
// states, finishing order, the next heat) and of a stage that is none, and
// /api/bracket serving what was published (null before anything was).
#include "competition/bracketstage.h"
#include "publish/bracketpublish.h"
#include "tests/publish/livefixture.h"
#include "tests/publish/livetestclient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

using namespace lapvane;
using namespace lapvane::test;

class TestBracketPublish : public QObject
{
    Q_OBJECT
private slots:
    void jsonOfABracketStage()
    {
        LiveFixture f;
        f.exec("INSERT INTO stages (id, events, stagename) VALUES (5, 1, 'Eliminations')");
        for (int p = 1; p <= 8; ++p)
            f.exec(QString("INSERT INTO results (stage, pilotid, pilotname) VALUES (5, %1, 'P%1')").arg(p));
        // A stage that is no bracket.
        QCOMPARE(QJsonDocument(readBracketJson(f.db.db(), 5)).toJson(QJsonDocument::Compact),
                 QByteArray("{\"bracket\":null,\"stageId\":5}"));

        BracketStage s;
        QString error;
        QVERIFY(createBracketStage(f.db.db(), 5, {BracketKind::DoubleElimination, 6, 0},
                                   {1, 2, 3, 4, 5, 6, 7, 8}, &s, &error));
        QVERIFY(recordHeatResult(f.db.db(), 5, "1", {8, 1, 5, 4}, &s, &error));
        const QJsonObject b = readBracketJson(f.db.db(), 5).value("bracket").toObject();
        QCOMPARE(b.value("stage").toString(), QString("Eliminations"));
        QCOMPARE(b.value("kind").toString(), QString("double"));
        QCOMPARE(b.value("pilots").toInt(), 8);
        const QJsonObject next = b.value("next").toObject();
        QCOMPARE(next.value("group").toString(), QString("2"));
        QCOMPARE(next.value("name").toString(), QString("Winners round 1, heat 2"));
        QCOMPARE(next.value("pilots").toArray().size(), 4);
        const QJsonArray rounds = b.value("rounds").toArray();
        QCOMPARE(rounds.size(), 5);
        const QJsonObject first = rounds.at(0).toObject().value("heats").toArray().at(0).toObject();
        QCOMPARE(first.value("state").toString(), QString("flown"));
        QCOMPARE(first.value("advance").toInt(), 2);
        const QJsonArray pilots = first.value("pilots").toArray();
        QCOMPARE(pilots.at(0).toObject(),
                 QJsonObject({{"pilotid", 8}, {"name", "P8"}, {"place", 1}, {"goesOn", true}}));
        QCOMPARE(pilots.at(2).toObject().value("goesOn").toBool(), false);
        const QJsonObject losers = rounds.at(1).toObject().value("heats").toArray().at(0).toObject();
        QCOMPARE(losers.value("state").toString(), QString("waiting"));
        QCOMPARE(losers.value("waiting").toInt(), 2);
        QCOMPARE(losers.value("pilots").toArray().size(), 2); // 3rd and 4th of heat 1 dropped in
    }

    void servedAtApiBracket()
    {
        LiveFixture f;
        QVERIFY(f.start());
        HttpReply reply = get(f.port(), "/api/bracket");
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.body, QByteArray("{\"stageId\":0,\"bracket\":null}"));
        const QByteArray json = R"({"bracket":{"kind":"mains"},"stageId":3})";
        f.server.publishBracket(json);
        QTRY_COMPARE(get(f.port(), "/api/bracket").body, json);
    }
};

QTEST_GUILESS_MAIN(TestBracketPublish)
#include "tst_bracketpublish.moc"
