// Filling page templates: every placeholder kind, numbered placeholders and
// their scan rules, defaults, the lap and results tables, escaping, and the
// partly filled text on a failure.
#include "publish/templatefiller.h"
#include "tests/publish/publishfixture.h"

#include <QRegularExpression>
#include <QTest>

using namespace lapvane;

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}

class TstTemplateFiller : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<test::PublishFixture> f;
    PageSnapshot snap;
    int stageId = 0;

    QString fill(const QString &text, int pilotid = 0, bool html = false)
    {
        TemplateFiller filler(f->db.db(), snap, [this](const QString &l) { f->log->savelog(l); });
        return filler.parsetext(text, pilotid, html);
    }
    int sortIndex(const QString &field) { return int(f->db.fieldNames(QStringLiteral("results")).indexOf(field)); }

private slots:
    void init()
    {
        f = std::make_unique<test::PublishFixture>();
        for (int id = 1; id <= 6; ++id) {
            if (id != 5)
                f->insert("pilots", {{"id", id}, {"name", QString("P%1").arg(id)}, {"city", QString("City%1").arg(id)}});
        }
        // Inserted out of channel order: the numbered race placeholders go by vtx.
        f->addRacePilot(1, "Anna", "R3");
        f->addRacePilot(2, "Boris", "R1");
        f->addRacePilot(3, "Clara", "R5");
        f->addRacePilot(4, "Dmitry", "R2", {{"lapno", 2}, {"place", 1}, {"group", "A"}, {"coptercolor", "blue"}});
        f->addRacePilot(5, "Egor", "R4");
        f->addRacePilot(6, "%RACEPILOTNAME1%", "R6", {{"nickname", "%PILOTNAME%"}});
        // Lap 2 is the older row, as after a lap split with "Add": laps go by number, also in a
        // database file without the index on laps (one made by an older program).
        f->exec("DROP INDEX laps_pilotid");
        f->addLap(4, 2, 21500, "000:11.500");
        f->addLap(4, 1, 10000, "000:10.000");
        f->addLastRace(5, "Lena", 2);
        f->addLastRace(1, "<b>O'Brien & Co</b>", 1);
        stageId = f->insert("stages", {{"events", 1}, {"stagename", "Final"}, {"laplimit", 0}, {"timelimit", 0},
                                       {"starttime", "01.05.2024 10:00:00"}});
        f->addResult(stageId, 1, "Zed", {{"group", "2"}, {"qualtime", 30000}, {"qualtimetxt", "000:30.000"},
                                          {"wins", 1}, {"lapno", 5}, {"besttimetxt", "000:09.000"},
                                          {"totaltimetxt", "000:50.000"}, {"pilotteam", "Z"}});
        f->addResult(stageId, 2, "Tom & Jerry", {{"group", "1"}, {"qualtime", 20000}, {"qualtimetxt", "000:20.000"}});
        f->addResult(stageId, 3, "Ann", {{"group", "1"}, {"qualtime", 25000}, {"qualtimetxt", "000:25.000"}});
        f->addResult(stageId + 1, 4, "Other stage", {{"qualtime", 1}});

        snap = PageSnapshot();
        snap.eventName = "Кубок";
        snap.eventCity = "Tula";
        snap.stageId = stageId;
        snap.stageName = "Final";
        snap.stageLapLimit = "0";
        snap.stageTimeLimit = "0";
        snap.stageStartTime = "01.05.2024 10:00:00";
        snap.sortFieldIndex = sortIndex("qualtime");
        snap.sortOrderIndex = 0;
    }

    void placeholders_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("pilotid");
        QTest::addColumn<bool>("html");
        QTest::addColumn<QString>("expected");

        QTest::newRow("no placeholders") << "<p>100% plain, %NOTHING% here</p>\r\nline 2" << 0 << false
                                         << "<p>100% plain, %NOTHING% here</p>\r\nline 2";
        const QString single = "%PILOTID%|%PILOTNAME%|%PILOTNICK%|%PILOTTEAM%|%PILOTCOLOR%|%PILOTGROUP%|%PILOTLAPS%";
        QTest::newRow("no pilot") << single << 0 << false
                                  << "0|UNKNOWN PILOT|UNKNOWN PILOT|UNKNOWN TEAM||UNKNOWN GROUP|0";
        QTest::newRow("pilot not in the race") << single << 42 << false
                                               << "0|UNKNOWN PILOT|UNKNOWN PILOT|UNKNOWN TEAM||UNKNOWN GROUP|0";
        QTest::newRow("pilot in the race") << single << 4 << false << "4|Dmitry|Dmitry_n|Team Dmitry|blue|A|2";
        QTest::newRow("lap table") << "[%PILOTLAPTABLE%]" << 4 << false
                                   << "[<table>\r\n<tr><td>1</td><td>000:10.000</td></tr>\r\n"
                                      "<tr><td>2</td><td>000:11.500</td></tr>\r\n</table>\r\n]";
        QTest::newRow("lap table without laps") << "%PILOTLAPTABLE%" << 0 << false << "<table>\r\n</table>\r\n";
        QTest::newRow("same numbered placeholder twice") << "%RACEPILOTNAME3% and %RACEPILOTNAME3%" << 0 << false
                                                         << "Anna and Anna";
        QTest::newRow("race rows by channel")
            << "%RACEPILOTID1%,%RACEPILOTNAME2%,%RACEPILOTLAPS2%,%RACEPILOTPLACE2%,%RACEPILOTTEAM2%,%RACEPILOTGROUP2%"
            << 0 << false << "2,Dmitry,2,1,Team Dmitry,A";
        QTest::newRow("row beyond the roster") << "[%RACEPILOTNAME7%|%RACEPILOTID7%|%RACEPILOTGROUP7%|%RACEPILOTCITY7%]"
                                               << 0 << false << "[|0|0|]";
        QTest::newRow("row 0 and negative") << "[%RACEPILOTNAME0%|%RACEPILOTID-1%]" << 0 << false << "[|0]";
        QTest::newRow("city from the registry") << "%RACEPILOTCITY1%/%RACEPILOTCITY4%/%LASTRACEPILOTCITY1%" << 0
                                                << false << "City2//City1";
        QTest::newRow("no number takes the text to the next %")
            << "a%RACEPILOTNAME%STAGENAME%b" << 0 << false << "ab";
        QTest::newRow("no closing % ends at the end of the text") << "x%RACEPILOTNAME3" << 0 << false << "xAnna";
        QTest::newRow("no closing % and no number") << "x%RACEPILOTID" << 0 << false << "x0";
        QTest::newRow("a value holding placeholder text is left as it is")
            << "%RACEPILOTNAME6%|%RACEPILOTNAME1%" << 0 << false << "%RACEPILOTNAME1%|Boris";
        QTest::newRow("a nickname holding %PILOTNAME%") << "%PILOTNICK%/%PILOTNAME%" << 6 << false
                                                        << "%PILOTNAME%/%RACEPILOTNAME1%";
        QTest::newRow("previous race by place")
            << "%LASTRACEPILOTID1%,%LASTRACEPILOTNAME2%,%LASTRACEPILOTTEAM2%,%LASTRACEPILOTGROUP2%,"
               "%LASTRACEPILOTBESTTIME2%,%LASTRACEPILOTTOTALTIME2%,%LASTRACEPILOTPLACE2%,%LASTRACEPILOTLAPS2%"
            << 0 << false << "1,Lena,LT,2,000:12.345,000:40.000,2,3";
        QTest::newRow("previous race beyond its rows")
            << "[%LASTRACEPILOTNAME3%|%LASTRACEPILOTBESTTIME3%|%LASTRACEPILOTPLACE3%|%LASTRACEPILOTCITY3%]" << 0
            << false << "[|0|0|]";
        QTest::newRow("event and stage, limits 0")
            << "%EVENTNAME%|%EVENTCITY%|%STAGENAME%|%STAGELAPS%|%STAGETIME%|%STAGEDATE%" << 0 << false
            << "Кубок|Tula|Final|n/a|n/a|01.05.2024 10:00:00";
        QTest::newRow("escaped in an HTML template") << "<p>%LASTRACEPILOTNAME1%</p>" << 0 << true
                                                     << "<p>&lt;b&gt;O'Brien &amp; Co&lt;/b&gt;</p>";
        QTest::newRow("as written in a text template") << "%LASTRACEPILOTNAME1%" << 0 << false
                                                       << "<b>O'Brien & Co</b>";
    }

    void placeholders()
    {
        QFETCH(QString, text);
        QFETCH(int, pilotid);
        QFETCH(bool, html);
        QFETCH(QString, expected);
        QCOMPARE(fill(text, pilotid, html), expected);
        QCOMPARE(f->logLines->lines, QStringList());
    }

    void stageLimitsShownWhenSet()
    {
        snap.stageLapLimit = "5";
        snap.stageTimeLimit = "3";
        QCOMPARE(fill("%STAGELAPS%/%STAGETIME%"), QString("5/3"));
    }

    void resultsTable()
    {
        snap.topCountText = "2";
        const QString expected = QStringList{
            "<table><tr align=center>", "<th width=5%>#</th>", "<th width=20%>Pilot</th>", "<th width=20%>Team</th>",
            "<th width=20%>Group</th>", "<th width=5%>Laps</th>", "<th width=5%>Wins</th>",
            "<th width=20%>Best Lap</th>", "<th width=20%>Total Time</th>", "<th width=20%>Qual Time</th>", "</tr>",
            "<tr align=center>", "<td>1</td>", "<td>Tom &amp; Jerry</td>", "<td>T</td>", "<td>1</td>", "<td>0</td>",
            "<td>0</td>", "<td>999:59.999</td>", "<td>999:59.999</td>", "<td>000:20.000</td>", "</tr>",
            "<tr align=center>", "<td>2</td>", "<td>Ann</td>", "<td>T</td>", "<td>1</td>", "<td>0</td>", "<td>0</td>",
            "<td>999:59.999</td>", "<td>999:59.999</td>", "<td>000:25.000</td>", "</tr>", "</table>", ""}
                                     .join(kCrLf);
        // The generated table is escaped once, in a text template as in an HTML one.
        QCOMPARE(fill("%STAGERESULTS%", 0, false), expected);
        QCOMPARE(fill("%STAGERESULTS%", 0, true), expected);
    }

    void resultsTableOptions_data()
    {
        QTest::addColumn<QString>("top");
        QTest::addColumn<QString>("sortField");
        QTest::addColumn<int>("order");
        QTest::addColumn<int>("columns"); // 0 none, 1 the pilot only
        QTest::addColumn<QStringList>("rows");

        QTest::newRow("top count beyond the results") << "10" << "qualtime" << 0 << 1
                                                      << QStringList{"Tom &amp; Jerry", "Ann", "Zed"};
        QTest::newRow("top count 0") << "0" << "qualtime" << 0 << 1 << QStringList{};
        QTest::newRow("descending") << "5" << "qualtime" << 1 << 1 << QStringList{"Zed", "Ann", "Tom &amp; Jerry"};
        QTest::newRow("by group, a reserved word") << "1" << "group" << 1 << 1 << QStringList{"Zed"};
        QTest::newRow("all columns off") << " 2 " << "qualtime" << 0 << 0 << QStringList{"", ""};
    }

    void resultsTableOptions()
    {
        QFETCH(QString, top);
        QFETCH(QString, sortField);
        QFETCH(int, order);
        QFETCH(int, columns);
        QFETCH(QStringList, rows);
        snap.topCountText = top;
        snap.sortFieldIndex = sortIndex(sortField);
        snap.sortOrderIndex = order;
        snap.topColumns.fill(false);
        snap.topColumns[0] = columns == 1;
        QStringList expected{"<table><tr align=center>", "<th width=5%>#</th>"};
        if (columns == 1)
            expected << "<th width=20%>Pilot</th>";
        expected << "</tr>";
        for (int i = 0; i < rows.size(); ++i) {
            expected << "<tr align=center>" << QString("<td>%1</td>").arg(i + 1);
            if (columns == 1)
                expected << "<td>" + rows[i] + "</td>";
            expected << "</tr>";
        }
        expected << "</table>" << "";
        QCOMPARE(fill("%STAGERESULTS%"), expected.join(kCrLf));
        QCOMPARE(f->logLines->lines, QStringList());
    }

    void failureReturnsThePartlyFilledText_data()
    {
        QTest::addColumn<QString>("top");
        QTest::addColumn<int>("sortIndex");
        QTest::newRow("top count not a number") << "five" << 17;
        QTest::newRow("sort field beyond the field list") << "5" << 99;
        QTest::newRow("negative sort field") << "5" << -1;
    }

    void failureReturnsThePartlyFilledText()
    {
        QFETCH(QString, top);
        QFETCH(int, sortIndex);
        snap.topCountText = top;
        snap.sortFieldIndex = sortIndex;
        QCOMPARE(fill("%EVENTNAME% %STAGERESULTS% %RANDOM%"), QString("Кубок %STAGERESULTS% %RANDOM%"));
        QCOMPARE(f->logLines->lines, QStringList{"error parse"});
    }

    void topCountNotReadWithoutResults()
    {
        snap.topCountText = "five";
        snap.stageId = 999;
        QCOMPARE(fill("%STAGERESULTS%"), QString("<table><tr align=center>\r\n<th width=5%>#</th>\r\n"
                                                 "<th width=20%>Pilot</th>\r\n<th width=20%>Team</th>\r\n"
                                                 "<th width=20%>Group</th>\r\n<th width=5%>Laps</th>\r\n"
                                                 "<th width=5%>Wins</th>\r\n<th width=20%>Best Lap</th>\r\n"
                                                 "<th width=20%>Total Time</th>\r\n<th width=20%>Qual Time</th>\r\n"
                                                 "</tr>\r\n</table>\r\n"));
        QCOMPARE(f->logLines->lines, QStringList());
    }

    void unreadableStoreStopsTheFilling()
    {
        f->exec("DROP TABLE lastrace");
        QCOMPARE(fill("%RACEPILOTNAME1% %LASTRACEPILOTNAME1% %EVENTNAME%"),
                 QString("Boris %LASTRACEPILOTNAME1% %EVENTNAME%"));
        QCOMPARE(f->logLines->lines, QStringList{"error parse"});
    }

    void randomTextsAreEachTheirOwn()
    {
        const QStringList parts = fill("%RANDOM%|%RANDOM%").split('|');
        QCOMPARE(parts.size(), 2);
        static const QRegularExpression letters("^[A-T]{11,40}$");
        QVERIFY2(letters.match(parts[0]).hasMatch(), qPrintable(parts[0]));
        QVERIFY2(letters.match(parts[1]).hasMatch(), qPrintable(parts[1]));
        QVERIFY(parts[0] != parts[1]);
        // Over many draws every length from 11 to 40 is used, and only those.
        QSet<int> lengths;
        for (int i = 0; i < 1000; ++i)
            lengths.insert(int(fill("%RANDOM%").size()));
        QCOMPARE(lengths.size(), 30);
        QCOMPARE(*std::min_element(lengths.begin(), lengths.end()), 11);
        QCOMPARE(*std::max_element(lengths.begin(), lengths.end()), 40);
    }
};

QTEST_GUILESS_MAIN(TstTemplateFiller)
#include "tst_templatefiller.moc"
