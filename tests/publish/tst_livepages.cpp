// One cycle of the live pages: which pages are written from which templates,
// the built-in "comment.htm" to the byte, and what a missing template, a
// failing store or an unwritable page leave on disk and in the log.
#include "publish/livepages.h"
#include "publish/pagefiles.h"
#include "tests/publish/publishfixture.h"

#include <QDir>
#include <QStringEncoder>
#include <QTest>

#include <atomic>
#include <thread>

using namespace lapvane;

namespace {
const QByteArray kBom("\xEF\xBB\xBF");

QByteArray pageOf(const QStringList &lines)
{
    QByteArray out = kBom;
    for (const QString &l : lines)
        out += l.toUtf8() + "\r\n";
    return out;
}
} // namespace

class TstLivePages : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<test::PublishFixture> f;
    QString folder;
    PageSnapshot snap;

    void cycle()
    {
        LivePages pages(f->db.db(), folder, [this](const QString &l) { f->log->savelog(l); });
        pages.writeCycle(snap);
    }
    QByteArray page(const QString &name) const { return test::readFile(QDir(folder).filePath(name)); }
    QStringList files() const { return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name); }

private slots:
    void init()
    {
        f = std::make_unique<test::PublishFixture>();
        folder = LivePages::htmlsFolder(f->dir.path());
        QVERIFY(QDir().mkpath(folder));
        snap = PageSnapshot();
    }

    void withoutTemplatesOnlyTheBuiltInPage()
    {
        cycle();
        QCOMPARE(f->logLines->lines, (QStringList{"savehtmls: onerace problem", "savehtmls: oneraceres problem",
                                                  "savehtmls: top problem"}));
        QCOMPARE(files(), QStringList{"comment.htm"});
    }

    void builtInPageExact()
    {
        f->insert("pilots", {{"id", 7}, {"name", "x"}, {"city", "Тула"}, {"about", "Flies since 2015"}});
        f->addRacePilot(7, "Иван <Ivan>", "R1", {{"group", "3"}, {"nickname", "Vanya"}, {"pilotteam", "Eagles"},
                                                 {"coptercolor", "green"}});
        f->addRacePilot(8, "Tom & Jerry", "R2", {{"group", "3"}, {"nickname", "TJ"}, {"pilotteam", "A&B"},
                                                 {"coptercolor", ""}});
        // Lap 2 is the older row, as after a lap split with "Add": laps go by number, also in a
        // database file without the index on laps (one made by an older program).
        f->exec("DROP INDEX laps_pilotid");
        f->addLap(7, 2, 21000, "000:11.000");
        f->addLap(7, 1, 10000, "000:10.000");
        const int stage = f->insert("stages", {{"events", 1}, {"stagename", "Финал"}});
        f->addResult(stage, 7, "Иван <Ivan>", {{"group", "2"}, {"qualtime", 20000}, {"qualtimetxt", "000:20.000"},
                                               {"besttimetxt", "000:10.000"}});
        f->addResult(stage, 8, "Tom & Jerry", {{"group", "1"}, {"qualtime", 15000}, {"qualtimetxt", "000:15.000"}});
        snap.stageId = stage;
        snap.stageName = "Финал";
        snap.raceClockText = "00:01:05";
        cycle();
        const QByteArray expected = pageOf({
            "<html><head><meta http-equiv=\"refresh\" content=\"2\"></head><body>",
            "Раунд: <b>Финал</b> , Группа: <b>3</b>",
            "<table border=1><tr>",
            "<td valign=top>", "<b>Иван &lt;Ivan&gt;</b>", "<br>\"Vanya\"", " (Eagles)", "<br><b>Тула</b>",
            "<br>цвет: green", "<p>", "1 - 000:10.000<br>", "2 - 000:11.000<br>", "<p>", "<br>Flies since 2015",
            "</td>",
            "<td valign=top>", "<b>Tom &amp; Jerry</b>", "<br>\"TJ\"", " (A&amp;B)", "<br><b></b>", "<br>цвет: ",
            "<p>", "<p>", "<br>", "</td>",
            "</table>",
            "<p>Таймер гонки: <b>00:01:05</b>",
            "<p>Топ пилот и его лучшее время за все этапы:",
            "<p>", "Tom &amp; Jerry - 000:15.000", "<p>",
            "Таблица пилотов и текущих результатов раунда Финал",
            "<table border=1>",
            "<tr><td>Группа</td><td>ФИО</td><td>Лучший круг</td><td>Лучший за все время</td>",
            "<tr>", "<td>1</td>", "<td>Tom &amp; Jerry</td>", "<td>999:59.999</td>", "<td>000:15.000</td>", "</tr>",
            "<tr>", "<td>2</td>", "<td>Иван &lt;Ivan&gt;</td>", "<td>000:10.000</td>", "<td>000:20.000</td>", "</tr>",
            "</table>",
            "</body></html>"});
        QCOMPARE(page("comment.htm"), expected);
    }

    void builtInPageWithEmptyTables()
    {
        cycle();
        const QByteArray p = page("comment.htm");
        QVERIFY(p.contains(QString("Раунд: <b></b> , Группа: <b></b>\r\n<table border=1><tr>\r\n</table>\r\n").toUtf8()));
        QVERIFY(p.contains(QString("<p>Таймер гонки: <b>00:00:00</b>\r\n").toUtf8()));
        QVERIFY(p.contains("<p>\r\n - \r\n<p>\r\n"));
    }

    void templatesFillTheTwelvePages()
    {
        f->addRacePilot(2, "O'Brien & Co", "R1");
        f->addRacePilot(3, "Second", "R2");
        snap.oneRaceViewTemplate = f->writeFile("race.htm", "<p>%RACEPILOTNAME1%</p>\n<p>%RACEPILOTNAME2%</p>\n");
        snap.oneRaceResultsTemplate = f->writeFile("overlay.txt", "\xEF\xBB\xBF%RACEPILOTNAME1%\r\n");
        snap.pilotViewTemplate = f->writeFile("pilot.html", "%PILOTNAME%");
        snap.topResultsTemplate = f->writeFile("top.htm", "top %EVENTNAME%");
        snap.eventName = "Cup";
        snap.channel[1] = 3;
        snap.channel[8] = 2;
        cycle();
        QCOMPARE(f->logLines->lines, QStringList());
        QStringList expected{"channel1.htm", "channel2.htm", "channel3.htm", "channel4.htm", "channel5.htm",
                             "channel6.htm", "channel7.htm", "channel8.htm", "comment.htm", "onerace.htm",
                             "oneraceres.htm", "top.htm"};
        // Only whole pages: no temporary file is left beside them.
        QCOMPARE(files(), expected);
        QCOMPARE(page("onerace.htm"), pageOf({"<p>O'Brien &amp; Co</p>", "<p>Second</p>"}));
        QCOMPARE(page("oneraceres.htm"), pageOf({"O'Brien & Co"}));
        QCOMPARE(page("channel1.htm"), pageOf({"Second"}));
        QCOMPARE(page("channel2.htm"), pageOf({"UNKNOWN PILOT"}));
        QCOMPARE(page("channel8.htm"), pageOf({"O'Brien &amp; Co"}));
        QCOMPARE(page("top.htm"), pageOf({"top Cup"}));
        // A local web server running as another user can read them.
        QVERIFY(QFileInfo(QDir(folder).filePath("top.htm")).permissions().testFlag(QFileDevice::ReadOther));
    }

    void aReaderNeverSeesHalfAPage()
    {
        const QString path = QDir(folder).filePath("comment.htm");
        const QString big = QString("<p>%1</p>").arg(QString(200000, 'a'));
        const QString small = QString("<p>%1</p>").arg(QString(1000, 'b'));
        const QByteArray bigPage = pageOf({big}), smallPage = pageOf({small});
        QString error;
        QVERIFY(writePage(path, small, &error));
        std::atomic_bool done{false};
        std::atomic_int reads{0}, torn{0};
        std::thread reader([&] {
            while (!done) {
                const QByteArray seen = test::readFile(path);
                if (seen != bigPage && seen != smallPage)
                    ++torn;
                ++reads;
            }
        });
        for (int i = 0; i < 300; ++i)
            QVERIFY(writePage(path, i % 2 ? small : big, &error));
        done = true;
        reader.join();
        QVERIFY(reads > 0);
        QCOMPARE(torn.load(), 0);
        QCOMPARE(files(), QStringList{"comment.htm"});
    }

    void missingPilotViewLeavesTheTopPageAsItWas()
    {
        snap.pilotViewTemplate = f->path("missing.htm");
        snap.topResultsTemplate = f->writeFile("top.htm", "new top");
        f->writeFile("htmls/top.htm", "old top");
        cycle();
        QCOMPARE(f->logLines->lines, (QStringList{"savehtmls: onerace problem", "savehtmls: oneraceres problem",
                                                  "savehtmls: top problem"}));
        QCOMPARE(page("top.htm"), QByteArray("old top"));
        QVERIFY(page("channel1.htm").isNull());
    }

    // A template saved in the Cyrillic Windows code page keeps its letters, and the log says so
    // once while the pages are written, not every cycle.
    void windows1251TemplateIsReadAndToldOnce()
    {
        QStringEncoder cp1251("windows-1251");
        QVERIFY(cp1251.isValid());
        snap.oneRaceViewTemplate = f->writeFile("race.htm", cp1251.encode(QString("<p>Гонка: %EVENTNAME%</p>\r\n")));
        snap.topResultsTemplate = f->writeFile("top.htm", "<p>Лучшие</p>\r\n"); // UTF-8
        snap.eventName = "Кубок";
        LivePages pages(f->db.db(), folder, [this](const QString &l) { f->log->savelog(l); });
        for (int i = 0; i < 3; ++i)
            pages.writeCycle(snap);
        QCOMPARE(page("onerace.htm"), pageOf({"<p>Гонка: Кубок</p>"}));
        const QStringList told = f->logLines->lines.filter("Windows-1251");
        QCOMPARE(told.size(), 1);
        QVERIFY2(told.first().contains(snap.oneRaceViewTemplate), qPrintable(told.first()));
    }

    void aTemplateThatGoesMissingKeepsThePreviousPage()
    {
        snap.oneRaceViewTemplate = f->writeFile("race.htm", "first");
        cycle();
        QCOMPARE(page("onerace.htm"), pageOf({"first"}));
        QVERIFY(QFile::remove(snap.oneRaceViewTemplate));
        f->logLines->lines.clear();
        cycle();
        QCOMPARE(f->logLines->lines.first(), QString("savehtmls: onerace problem"));
        QCOMPARE(page("onerace.htm"), pageOf({"first"}));
    }

    void unreadableStoreGivesTheErrorPage()
    {
        snap.oneRaceViewTemplate = f->writeFile("race.txt", "[%RACEPILOTNAME1%] %EVENTNAME%");
        snap.eventName = "Cup";
        f->exec("DROP TABLE onerace");
        cycle();
        QCOMPARE(page("comment.htm"), pageOf({"RESULTS ERROR"}));
        // The template page is saved with what could be filled.
        QCOMPARE(page("onerace.htm"), pageOf({"[%RACEPILOTNAME1%] %EVENTNAME%"}));
        QVERIFY(f->logLines->lines.contains("htmls: comment error"));
        QVERIFY(f->logLines->lines.contains("error parse"));
    }

    void unwritablePagesAreLogged()
    {
        snap.oneRaceViewTemplate = f->writeFile("race.htm", "x");
        QVERIFY(QDir().mkpath(QDir(folder).filePath("onerace.htm")));
        QVERIFY(QDir().mkpath(QDir(folder).filePath("comment.htm")));
        cycle();
        QCOMPARE(f->logLines->lines, (QStringList{"savehtmls: onerace problem", "savehtmls: oneraceres problem",
                                                  "savehtmls: top problem", "savehtmls: comment problem"}));
    }
};

QTEST_GUILESS_MAIN(TstLivePages)
#include "tst_livepages.moc"
