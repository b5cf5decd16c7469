// The pages as a real browser shows them: headless Chromium opens a written
// "comment.htm" and a page filled from an HTML template straight from disk;
// the Cyrillic lines read right and a pilot called "<b>O'Brien & Co</b>"
// shows as written instead of turning into markup.
#include "publish/livepages.h"
#include "tests/common/headlessbrowser.h"
#include "tests/publish/publishfixture.h"

#include <QDir>
#include <QTest>

using namespace lapvane;

class TstBrowser : public QObject
{
    Q_OBJECT

private slots:
    void pagesShowAsWritten()
    {
        test::PublishFixture f;
        const QString folder = LivePages::htmlsFolder(f.dir.path());
        QVERIFY(QDir().mkpath(folder));
        f.addRacePilot(1, "<b>O'Brien & Co</b>", "R1", {{"group", "Группа A"}});
        f.addLap(1, 1, 12345, "000:12.345");
        PageSnapshot snap;
        snap.stageName = "Финал";
        snap.raceClockText = "00:00:42";
        // An organiser's page with Cyrillic of its own and no charset line.
        snap.oneRaceViewTemplate = f.writeFile(
            "race.htm", "<html><body>\n<h1>Пилоты: %STAGENAME%</h1>\n<p id=pilot>%RACEPILOTNAME1%</p>\n</body></html>\n");
        LivePages pages(f.db.db(), folder, [](const QString &) {});
        pages.writeCycle(snap);

        QString why;
        const QString comment =
            test::HeadlessBrowser::renderedDom(QDir(folder).filePath("comment.htm"), &why);
        QVERIFY2(!comment.isEmpty(), qPrintable(why));
        for (const char *shown : {"Раунд: <b>Финал</b> , Группа: <b>Группа A</b>", "Таймер гонки: <b>00:00:42</b>",
                                  "Топ пилот и его лучшее время за все этапы:", "цвет: red",
                                  "Таблица пилотов и текущих результатов раунда Финал",
                                  "<b>&lt;b&gt;O'Brien &amp; Co&lt;/b&gt;</b>", "1 - 000:12.345<br>"})
            QVERIFY2(comment.contains(QString::fromUtf8(shown)), shown);
        QVERIFY(!comment.contains("<b>O'Brien"));

        const QString race = test::HeadlessBrowser::renderedDom(QDir(folder).filePath("onerace.htm"), &why);
        QVERIFY2(race.contains(QString::fromUtf8("<h1>Пилоты: Финал</h1>")), qPrintable(race));
        QVERIFY2(race.contains("<p id=\"pilot\">&lt;b&gt;O'Brien &amp; Co&lt;/b&gt;</p>"), qPrintable(race));
    }
};

QTEST_GUILESS_MAIN(TstBrowser)
#include "tst_browser.moc"
