// Export of a race into the stage results: the last-race copy, copy options,
// win places, qualification time rules, "Add him?" and repeated exports.
#include "core/currentselection.h"
#include "core/operatorlog.h"
#include "core/settings.h"
#include "race/raceexport.h"
#include "store/database.h"
#include "tests/common/logcapture.h"
#include "tests/common/scriptedprompt.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace lapvane;
using namespace lapvane::test;

namespace {

class FixedSelection : public CurrentSelection
{
public:
    int eventNum = 1;
    QString eventName = "Cup";
    int stageId = 0;
    QString stageName = "Qualification";
    QList<int> shown;
    int currentEventNum() const override { return eventNum; }
    QString currentEventName() const override { return eventName; }
    int currentStageId() const override { return stageId; }
    QString currentStageName() const override { return stageName; }
    QList<int> selectedStageIds() const override { return shown; }
};

// A database with one stage shown in the results view, a race list and the
// export wired to a scripted operator.
struct ExportFixture
{
    ExportFixture()
    {
        static int count = 0;
        if (!db.open(dir.filePath(kDatabaseFileName), QString("export%1").arg(++count)))
            qFatal("%s", qPrintable(db.error()));
        settings.set("chsavelogfile", false);
        for (const char *s : {"chupdbestlap", "chupdtotaltime", "chkupdlaps", "chkupdwins"})
            settings.set(s, true);
        for (const char *s : {"chkbest2qual", "chktotal2qual", "chautotelegram"})
            settings.set(s, false);
        log = std::make_unique<OperatorLog>(settings, dir.path());
        lines = std::make_unique<LogCapture>(*log);
        selection.stageId = insert("stages", {{"events", 1}, {"stagename", "Qualification"}});
        selection.shown = {selection.stageId};
        exporter = std::make_unique<RaceExport>(db.db(), settings, *log, prompt, selection);
    }

    int insert(const QString &table, const QVariantMap &values)
    {
        QStringList names, marks;
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            names << '"' + it.key() + '"';
            marks << "?";
        }
        QSqlQuery q(db.db());
        q.prepare(QString("INSERT INTO %1 (%2) VALUES (%3)").arg(table, names.join(','), marks.join(',')));
        for (const QVariant &v : values)
            q.addBindValue(v);
        if (!q.exec())
            qFatal("%s", qPrintable(q.lastError().text()));
        return q.lastInsertId().toInt();
    }

    // A roster row of the shown stage with no times yet.
    int addResult(int pilotId, const QVariantMap &extra = {})
    {
        QVariantMap v{{"stage", selection.stageId}, {"pilotid", pilotId}, {"pilotname", QString("P%1").arg(pilotId)},
                      {"pilottrans", pilotId}, {"place", 999}, {"wins", 0}, {"lapno", 0},
                      {"besttime", kNoTimeMs}, {"besttimetxt", kNoTimeText}, {"totaltime", kNoTimeMs},
                      {"totaltimetxt", kNoTimeText}, {"qualtime", kNoTimeMs}, {"qualtimetxt", kNoTimeText}};
        for (auto it = extra.cbegin(); it != extra.cend(); ++it)
            v[it.key()] = it.value();
        return insert("results", v);
    }

    // A finished race-list row: place, laps, best lap and total in ms.
    int addRacer(int pilotId, int place, int laps, int bestMs, int totalMs)
    {
        return insert("onerace", {{"pilotid", pilotId}, {"pilotname", QString("P%1").arg(pilotId)},
                                  {"nickname", QString("n%1").arg(pilotId)}, {"pilotteam", "Team"},
                                  {"coptercolor", "green"}, {"pilottrans", 1000 + pilotId}, {"group", "1"},
                                  {"vtx", "R2"}, {"place", place}, {"lapno", laps}, {"besttime", bestMs},
                                  {"besttimetxt", QString("best%1").arg(bestMs)}, {"totaltime", totalMs},
                                  {"totaltimetxt", QString("total%1").arg(totalMs)}, {"confirmed", "Y"}});
    }

    QVariantMap result(int pilotId)
    {
        QSqlQuery q(db.db());
        q.prepare("SELECT * FROM results WHERE pilotid=? ORDER BY id");
        q.addBindValue(pilotId);
        q.exec();
        QVariantMap m;
        if (q.next()) {
            for (int i = 0; i < q.record().count(); ++i)
                m.insert(q.record().fieldName(i), q.value(i));
        }
        return m;
    }

    int count(const QString &sql)
    {
        QSqlQuery q(db.db());
        q.exec(sql);
        return q.next() ? q.value(0).toInt() : -1;
    }

    QTemporaryDir dir;
    Database db;
    Settings settings;
    std::unique_ptr<OperatorLog> log;
    std::unique_ptr<LogCapture> lines;
    ScriptedPrompt prompt;
    FixedSelection selection;
    std::unique_ptr<RaceExport> exporter;
};

} // namespace

class TestRaceExport : public QObject
{
    Q_OBJECT
private slots:
    void winPlaces_data()
    {
        QTest::addColumn<int>("winPlaces");
        QTest::addColumn<bool>("winsOption");
        QTest::addColumn<QList<int>>("wins");
        QTest::addColumn<QList<int>>("places");
        // Stored places before the export: 2, 999, 0, empty, 1 (pilot 6 is added).
        QTest::newRow("3 win places") << 3 << true << QList<int>{1, 1, 1, 0, 0, 0} << QList<int>{1, 2, 3, 4, 5, 6};
        QTest::newRow("0 win places") << 0 << true << QList<int>{0, 0, 0, 0, 0, 0} << QList<int>{1, 2, 3, 4, 5, 6};
        QTest::newRow("wins option off") << 3 << false << QList<int>{1, 0, 0, 0, 1, 0} << QList<int>{2, 999, 0, 0, 1, 999};
    }
    void winPlaces()
    {
        QFETCH(int, winPlaces);
        QFETCH(bool, winsOption);
        QFETCH(QList<int>, wins);
        QFETCH(QList<int>, places);
        ExportFixture f;
        f.settings.set("cbwinplaces", winPlaces);
        f.settings.set("chkupdwins", winsOption);
        f.addResult(1, {{"place", 2}});
        f.addResult(2);
        f.addResult(3, {{"place", 0}}); // made by "Add to new stage": not a place
        f.addResult(4, {{"place", QVariant()}}); // added from the registry: none stored
        f.addResult(5, {{"place", 1}});
        for (int p = 1; p <= 6; ++p)
            f.addRacer(p, p, 5, 30000 + p, 150000 + p);
        f.prompt.answers = {true}; // add pilot 6
        QVERIFY(f.exporter->raceexporttoeventExecute());
        for (int p = 1; p <= 6; ++p) {
            QCOMPARE(f.result(p)["wins"].toInt(), wins[p - 1]);
            QCOMPARE(f.result(p)["place"].toInt(), places[p - 1]);
        }
    }

    void copyOptionsAndLaps_data()
    {
        QTest::addColumn<bool>("on");
        QTest::newRow("options on") << true;
        QTest::newRow("options off") << false;
    }
    void copyOptionsAndLaps()
    {
        QFETCH(bool, on);
        ExportFixture f;
        for (const char *s : {"chupdbestlap", "chupdtotaltime", "chkupdlaps"})
            f.settings.set(s, on);
        f.addResult(1, {{"lapno", 2}});
        f.addRacer(1, 1, 5, 30100, 150200);
        QVERIFY(f.exporter->raceexporttoeventExecute());
        const QVariantMap r = f.result(1);
        QCOMPARE(r["lapno"].toInt(), 5); // laps are copied whatever the option says
        QCOMPARE(r["besttime"].toInt(), on ? 30100 : kNoTimeMs);
        QCOMPARE(r["besttimetxt"].toString(), on ? QString("best30100") : QString(kNoTimeText));
        QCOMPARE(r["totaltime"].toInt(), on ? 150200 : kNoTimeMs);
        QCOMPARE(r["totaltimetxt"].toString(), on ? QString("total150200") : QString(kNoTimeText));
        QCOMPARE(r["qualtime"].toInt(), kNoTimeMs); // neither "to qual" rule is on
    }

    void qualificationTime_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<int>("storedQual");
        QTest::addColumn<int>("expected");
        QTest::newRow("best lap better") << "chkbest2qual" << 43000 << 41200;
        QTest::newRow("best lap worse") << "chkbest2qual" << 40000 << 40000;
        QTest::newRow("total better") << "chktotal2qual" << 200000 << 150000;
        QTest::newRow("total worse") << "chktotal2qual" << 100000 << 100000;
    }
    void qualificationTime()
    {
        QFETCH(QString, rule);
        QFETCH(int, storedQual);
        QFETCH(int, expected);
        ExportFixture f;
        f.settings.set(rule, true);
        f.addResult(1, {{"qualtime", storedQual}, {"qualtimetxt", "stored"}});
        f.addRacer(1, 1, 5, 41200, 150000);
        QVERIFY(f.exporter->raceexporttoeventExecute());
        QCOMPARE(f.result(1)["qualtime"].toInt(), expected);
        const QString text = expected == storedQual ? QString("stored")
                             : rule == "chkbest2qual" ? QString("best41200")
                                                      : QString("total150000");
        QCOMPARE(f.result(1)["qualtimetxt"].toString(), text);
    }

    void bestToQualUsesStoredBestWhenNotCopied()
    {
        ExportFixture f;
        f.settings.set("chupdbestlap", false);
        f.settings.set("chkbest2qual", true);
        f.addResult(1, {{"besttime", 39000}, {"besttimetxt", "000:39.000"}, {"qualtime", 45000}});
        f.addRacer(1, 1, 5, 41200, 150000);
        QVERIFY(f.exporter->raceexporttoeventExecute());
        QCOMPARE(f.result(1)["qualtime"].toInt(), 39000);
        QCOMPARE(f.result(1)["qualtimetxt"].toString(), QString("000:39.000"));
    }

    void addHimAnsweredNoAndYes()
    {
        ExportFixture f;
        f.addResult(1);
        f.addRacer(1, 1, 5, 30000, 150000);
        f.addRacer(2, 2, 5, 31000, 151000);
        f.addRacer(3, 3, 4, 32000, 152000);
        f.prompt.answers = {false, true};
        QVERIFY(f.exporter->raceexporttoeventExecute());
        QCOMPARE(f.prompt.questions.size(), 2);
        QCOMPARE(f.prompt.questions.first(),
                 QString("Pilot \"P2\" is not found in\n\r\n\r\"Cup - Qualification\"\n\r\n\rAdd him?"));
        QCOMPARE(f.count("SELECT COUNT(*) FROM results WHERE pilotid=2"), 0);
        QCOMPARE(f.result(1)["besttime"].toInt(), 30000);
        const QVariantMap added = f.result(3);
        QCOMPARE(added["stage"].toInt(), f.selection.stageId);
        QCOMPARE(added["pilottrans"].toInt(), 1003);
        QCOMPARE(added["nickname"].toString(), QString("n3"));
        QCOMPARE(added["pilotteam"].toString(), QString("Team"));
        QCOMPARE(added["coptercolor"].toString(), QString("green"));
        QCOMPARE(added["besttime"].toInt(), 32000);
        QCOMPARE(added["lapno"].toInt(), 4);
        QCOMPARE(added["place"].toInt(), 3);
        QCOMPARE(added["qualtimetxt"].toString(), QString(kNoTimeText));
        QCOMPARE(added["group"].toString(), QString()); // groups are not carried back
    }

    void exportingTwiceCountsWinsTwice()
    {
        ExportFixture f;
        f.settings.set("cbwinplaces", 1);
        f.addResult(1);
        f.addResult(2);
        f.addRacer(1, 1, 5, 30000, 150000);
        f.addRacer(2, 2, 5, 31000, 151000);
        QSignalSpy changed(f.exporter.get(), &RaceExport::resultsChanged);
        QVERIFY(f.exporter->raceexporttoeventExecute());
        QVERIFY(f.exporter->raceexporttoeventExecute());
        QCOMPARE(f.result(1)["wins"].toInt(), 2);
        QCOMPARE(f.result(2)["wins"].toInt(), 0);
        QCOMPARE(f.count("SELECT COUNT(*) FROM lastrace"), 2);
        QCOMPARE(changed.size(), 2);
        QCOMPARE(f.lines->lines, (QStringList{"Exported to Results", "Exported to Results"}));
    }

    void lastRaceIsACopyOfTheRaceList()
    {
        ExportFixture f;
        f.addResult(1);
        f.addResult(2);
        f.insert("lastrace", {{"pilotid", 77}, {"pilotname", "old race"}});
        f.addRacer(2, 1, 5, 30000, 150000);
        f.addRacer(1, 2, 4, 31000, 151000);
        QSignalSpy stageName(f.exporter.get(), &RaceExport::lastStageNameChanged);
        QVERIFY(f.exporter->raceexporttoeventExecute());
        QCOMPARE(stageName.size(), 1);
        QCOMPARE(stageName.first().first().toString(), QString("Qualification"));
        const QString cols = "pilotid, pilotname, nickname, pilotteam, coptercolor, pilottrans, \"group\", vtx, "
                             "place, lapno, besttime, besttimetxt, totaltime, totaltimetxt, confirmed";
        auto dump = [&](const QString &table) {
            QStringList out;
            QSqlQuery q(f.db.db());
            q.exec(QString("SELECT %1 FROM %2 ORDER BY pilotid").arg(cols, table));
            while (q.next()) {
                QStringList row;
                for (int i = 0; i < q.record().count(); ++i)
                    row << q.value(i).toString();
                out << row.join('|');
            }
            return out;
        };
        QCOMPARE(dump("lastrace"), dump("onerace"));
        QCOMPARE(dump("lastrace").size(), 2);
    }

    void stageChoiceAndTelegram()
    {
        ExportFixture f;
        f.addResult(1);
        f.addRacer(1, 1, 5, 30000, 150000);
        // Before any stage is picked the view shows none: the current stage is used.
        f.selection.shown.clear();
        int sent = 0;
        f.exporter->setTelegramSender([&] { ++sent; });
        QVERIFY(f.exporter->raceexporttoeventExecute());
        QCOMPARE(f.result(1)["besttime"].toInt(), 30000);
        QCOMPARE(sent, 0);
        f.settings.set("chautotelegram", true);
        QVERIFY(f.exporter->raceexporttoeventExecute());
        QCOMPARE(sent, 1);
        QVERIFY(f.prompt.questions.isEmpty());

        // No stage at all: refused before anything changes.
        f.selection.stageId = 0;
        QVERIFY(!f.exporter->raceexporttoeventExecute());
        QCOMPARE(f.prompt.notices.size(), 1);
        QCOMPARE(f.count("SELECT COUNT(*) FROM results"), 1);
    }
};

QTEST_MAIN(TestRaceExport)
#include "tst_raceexport.moc"
