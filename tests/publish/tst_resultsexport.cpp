// "Export to HTML": the page for a small stage to the byte, the column
// options, a stage without results, a header using the results table, and
// missing templates.
#include "competition/bracketstage.h"
#include "core/inifile.h"
#include "events/sqlrowsmodel.h"
#include "publish/pagefiles.h"
#include "publish/resultsexport.h"
#include "tests/publish/publishfixture.h"

#include <QLocale>
#include <QStringEncoder>
#include <QTest>

using namespace lapvane;

class TstResultsExport : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<test::PublishFixture> f;
    std::unique_ptr<SqlRowsModel> results;
    PageSnapshot snap;
    int stage = 0;
    const QDateTime now{QDate(2024, 5, 1), QTime(14, 5, 9)};

    bool build(QString *page, QString *error = nullptr)
    {
        QString e;
        ResultsExportInput in{f->db.db(), &snap, &f->settings, results.get(), f->dir.path(), now,
                              [this](const QString &l) { f->log->savelog(l); }};
        return buildResultsExport(in, page, error ? error : &e);
    }
    QString createdLine() const
    {
        const QLocale l = QLocale::system();
        return "</table><p><p>Created with Lapvane Admin at " + l.toString(now.time(), QLocale::LongFormat) + " on "
               + l.toString(now.date(), QLocale::ShortFormat);
    }
    void setAllColumns(bool on)
    {
        for (const char *c : {"chdupgroup", "chdupvtx", "chkduplaps", "chkdupplace", "chkdupwins", "chkdupbestlap",
                              "chkduptotaltime", "chkdupqualtime"})
            f->settings.set(c, on);
    }

private slots:
    void init()
    {
        results.reset();
        f = std::make_unique<test::PublishFixture>();
        stage = f->insert("stages", {{"events", 1}, {"stagename", "Final"}});
        snap = PageSnapshot();
        snap.eventName = "Cup <2024>";
        snap.stageId = stage;
        snap.stageName = "Final";
        f->writeFile("header.html", "<html><body>\n<h1>%EVENTNAME% - %STAGENAME%</h1>\n");
        f->writeFile("bottom.html", "<p>%EVENTCITY%</p>\n</body></html>\n");
        results = std::make_unique<SqlRowsModel>(f->db.db(), "results");
    }

    void smallStageExact()
    {
        f->addResult(stage, 1, "Anna", {{"pilotteam", "A&B"}, {"group", "1"}, {"vtx", "R1"}, {"lapno", 5},
                                        {"place", 2}, {"wins", 0}, {"besttimetxt", "000:10.000"},
                                        {"totaltimetxt", "000:55.000"}, {"qualtimetxt", "000:55.000"}});
        f->addResult(stage, 2, "<i>Boris</i>", {{"pilotteam", "B"}, {"group", "2"}, {"vtx", "R2"}, {"lapno", 5},
                                                {"place", 1}, {"wins", 1}, {"besttimetxt", "000:09.000"},
                                                {"totaltimetxt", "000:50.000"}, {"qualtimetxt", "000:50.000"}});
        QVERIFY(results->select("stage=?", {stage}));
        results->setSortText("place ASC"); // the rows go in the order shown
        setAllColumns(true);
        QString page;
        QVERIFY(build(&page));
        const QString expected = QStringList{
            "<html><body>\r\n<h1>Cup &lt;2024&gt; - Final</h1>",
            "<table><tr><td><b>Name</b></td><td><b>Team</b></td>",
            "<td><b>Group</b></td>", "<td><b>VTX Ch</b></td>", "<td><b>Laps</b></td>", "<td><b>Place</b></td>",
            "<td><b>Wins</b></td>", "<td><b>Best lap</b></td>", "<td><b>Total time</b></td>",
            "<td><b>Qual time</b></td>", "</tr>",
            "<tr><td width=200>&lt;i&gt;Boris&lt;/i&gt;</td><td width=200>B</td>", "<td width=100>2</td>",
            "<td width=100>R2</td>", "<td width=100>5</td>", "<td width=100>1</td>", "<td width=100>1</td>",
            "<td width=100>000:09.000</td>", "<td width=200>000:50.000</td>", "<td width=200>000:50.000</td>",
            "</tr>",
            "<tr><td width=200>Anna</td><td width=200>A&amp;B</td>", "<td width=100>1</td>",
            "<td width=100>R1</td>", "<td width=100>5</td>", "<td width=100>2</td>", "<td width=100>0</td>",
            "<td width=100>000:10.000</td>", "<td width=200>000:55.000</td>", "<td width=200>000:55.000</td>",
            "</tr>",
            createdLine(),
            "<p></p>\r\n</body></html>"}.join("\r\n");
        QCOMPARE(page, expected);

        // Saved whole, each line ended by CR LF, after a byte order mark.
        const QString file = f->path("Cup - Final.htm");
        QString error;
        QVERIFY(writePage(file, page, &error));
        QCOMPARE(test::readFile(file), "\xEF\xBB\xBF" + (page + "\r\n").toUtf8());
    }

    // A bracket stage writes its heats by round after the results table.
    void bracketStageWritesItsHeats()
    {
        const QStringList names = {"Anna", "<i>Boris</i>", "Cid", "Dan", "Eve"};
        for (int i = 0; i < names.size(); ++i)
            f->addResult(stage, 1 + i, names.at(i), {{"pilotteam", "T"}});
        QVERIFY(results->select("stage=?", {stage}));
        setAllColumns(false);
        BracketStage made;
        QString error;
        QVERIFY2(createBracketStage(f->db.db(), stage, {BracketKind::Mains, 3, 1}, {1, 2, 3, 4, 5}, &made, &error),
                 qPrintable(error));
        QVERIFY(recordHeatResult(f->db.db(), stage, made.nextGroup, {5, 3, 4}, &made, &error));
        QString page;
        QVERIFY(build(&page));
        const int table = int(page.indexOf("</table>\r\n<h2>Final: Mains</h2>"));
        QVERIFY2(table > 0, qPrintable(page));
        QVERIFY2(page.contains("<tr><td width=60>1</td><td width=200>B main</td><td><b>1. Eve</b>, 2. Cid, 3. Dan</td>"
                               "<td width=100>flown</td></tr>"),
                 qPrintable(page));
        // The A main, its seat from the B main filled, flies next.
        QVERIFY(page.contains("<td>Anna, &lt;i&gt;Boris&lt;/i&gt;, Eve</td><td width=100>next</td>"));
        QVERIFY(page.contains("<p>Next: group 2, A main</p>"));
        QVERIFY(page.mid(table).contains("\r\n<p><p>Created with Lapvane Admin at "));
    }

    void defaultColumnsAndNoResults()
    {
        // The column options as a first start without a settings file has them.
        f->settings.load(IniFile(f->path("lapvaneadmin.ini")));
        QVERIFY(results->select("stage=?", {stage}));
        QString page;
        QVERIFY(build(&page));
        QCOMPARE(page, QStringList({"<html><body>\r\n<h1>Cup &lt;2024&gt; - Final</h1>",
                                    "<table><tr><td><b>Name</b></td><td><b>Team</b></td>", "<td><b>Group</b></td>",
                                    "<td><b>VTX Ch</b></td>", "</tr>", createdLine(),
                                    "<p></p>\r\n</body></html>"})
                           .join("\r\n"));
    }

    void allColumnsOffGivesNameAndTeam()
    {
        f->addResult(stage, 1, "Anna");
        QVERIFY(results->select("stage=?", {stage}));
        setAllColumns(false);
        QString page;
        QVERIFY(build(&page));
        QVERIFY(page.contains("<table><tr><td><b>Name</b></td><td><b>Team</b></td>\r\n</tr>\r\n"
                              "<tr><td width=200>Anna</td><td width=200>T</td>\r\n</tr>\r\n</table>"));
    }

    void headerWithTheResultsTable()
    {
        f->addResult(stage, 1, "Anna");
        QVERIFY(results->select("stage=?", {stage}));
        f->writeFile("header.html", "%STAGERESULTS%");
        snap.topColumns.fill(false);
        QString page;
        QVERIFY(build(&page));
        QVERIFY(page.startsWith("<table><tr align=center>\r\n<th width=5%>#</th>\r\n</tr>\r\n"
                                "<tr align=center>\r\n<td>1</td>\r\n</tr>\r\n</table>\r\n\r\n"
                                "<table><tr><td><b>Name</b></td>"));
    }

    void windows1251HeaderKeepsItsLetters()
    {
        QStringEncoder cp1251("windows-1251");
        f->writeFile("header.html", cp1251.encode(QString("<h1>Итоги %STAGENAME%</h1>\r\n")));
        QVERIFY(results->select("stage=?", {stage}));
        QString page;
        QVERIFY(build(&page));
        QVERIFY2(page.startsWith("<h1>Итоги Final</h1>\r\n"), qPrintable(page.left(40)));
        QCOMPARE(f->logLines->lines.filter("Windows-1251").size(), 1);
    }

    void missingTemplateWritesNothing_data()
    {
        QTest::addColumn<QString>("missing");
        QTest::newRow("header") << "header.html";
        QTest::newRow("bottom") << "bottom.html";
    }

    void missingTemplateWritesNothing()
    {
        QFETCH(QString, missing);
        QVERIFY(QFile::remove(f->path(missing)));
        QString page, error;
        QVERIFY(!build(&page, &error));
        QVERIFY2(error.contains(missing), qPrintable(error));
        QVERIFY(page.isEmpty());
    }

    void cleanup()
    {
        results.reset();
        f.reset();
    }

    void offeredFileName()
    {
        QCOMPARE(resultsExportFileName("Cup 2024", "Final"), QString("Cup 2024 - Final"));
        QCOMPARE(resultsExportFileName("A/B", "1:2"), QString("A_B - 1_2"));
    }
};

QTEST_GUILESS_MAIN(TstResultsExport)
#include "tst_resultsexport.moc"
