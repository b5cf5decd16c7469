// The starter templates: "Use the included templates" writes them into the
// program folder without overwriting an edited copy, points the template
// settings at them, and a cycle of the live pages fills every page from them.
#include "publish/includedtemplates.h"
#include "publish/livepages.h"
#include "tests/publish/publishfixture.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

using namespace lapvane;

class TstIncludedTemplates : public QObject
{
    Q_OBJECT

private slots:
    void writtenOnceAndChosen()
    {
        test::PublishFixture f;
        const QString folder = f.dir.filePath("templates");
        for (const char *control : {"edOneRaceview", "edoneraceresults", "edPilotView", "edtopresultspage"})
            QCOMPARE(f.settings.text(control), QString("n/a"));
        QString error;
        QStringList kept;
        QVERIFY2(useIncludedTemplates(f.dir.path(), f.settings, &error, &kept), qPrintable(error));
        QVERIFY(kept.isEmpty());
        QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name),
                 (QStringList{"channel.htm", "race.htm", "raceresults.htm", "top.htm"}));
        QCOMPARE(f.settings.text("edOneRaceview"), QDir::toNativeSeparators(QDir(folder).filePath("race.htm")));
        QCOMPARE(f.settings.text("edPilotView"), QDir::toNativeSeparators(QDir(folder).filePath("channel.htm")));

        // An edited copy stays as the operator left it.
        f.writeFile("templates/top.htm", "<p>my own %STAGENAME%</p>");
        f.settings.set("edtopresultspage", "n/a");
        QVERIFY(useIncludedTemplates(f.dir.path(), f.settings, &error, &kept));
        QCOMPARE(kept.size(), 4);
        QCOMPARE(test::readFile(QDir(folder).filePath("top.htm")), QByteArray("<p>my own %STAGENAME%</p>"));
        QCOMPARE(f.settings.text("edtopresultspage"), QDir::toNativeSeparators(QDir(folder).filePath("top.htm")));
    }

    void unwritableFolderLeavesTheSettings()
    {
        test::PublishFixture f;
        f.writeFile("templates", "a file where the folder would go");
        QString error;
        QVERIFY(!useIncludedTemplates(f.dir.path(), f.settings, &error));
        QVERIFY2(error.contains("templates"), qPrintable(error));
        QCOMPARE(f.settings.text("edOneRaceview"), QString("n/a"));
    }

    // Every page of a cycle is written from the starter set, with no
    // placeholder left and no problem logged.
    void aCycleFillsEveryPage()
    {
        test::PublishFixture f;
        f.addRacePilot(1, "Anna", "R1");
        f.addRacePilot(2, "Boris", "R2");
        f.addLastRace(3, "Clara", 1);
        QString error;
        QVERIFY(useIncludedTemplates(f.dir.path(), f.settings, &error));
        PageSnapshot s;
        s.eventName = "Demo Cup";
        s.stageName = "Qualification";
        s.oneRaceViewTemplate = f.settings.text("edOneRaceview");
        s.oneRaceResultsTemplate = f.settings.text("edoneraceresults");
        s.pilotViewTemplate = f.settings.text("edPilotView");
        s.topResultsTemplate = f.settings.text("edtopresultspage");
        s.channel[1] = 2;
        const QString htmls = LivePages::htmlsFolder(f.dir.path());
        QVERIFY(QDir().mkpath(htmls));
        LivePages(f.db.db(), htmls, [&f](const QString &l) { f.log->savelog(l); }).writeCycle(s);
        QVERIFY2(f.logLines->lines.isEmpty(), qPrintable(f.logLines->lines.join('\n')));
        const QRegularExpression placeholder("%[A-Z]+[0-9]*%");
        for (const char *page : {"onerace.htm", "oneraceres.htm", "channel1.htm", "channel8.htm", "top.htm"}) {
            const QString text = QString::fromUtf8(test::readFile(QDir(htmls).filePath(page)));
            QVERIFY2(!text.isEmpty(), page);
            QVERIFY2(!placeholder.match(text).hasMatch(), qPrintable(QString(page) + ": " + placeholder.match(text).captured()));
        }
        const QString race = QString::fromUtf8(test::readFile(QDir(htmls).filePath("onerace.htm")));
        QVERIFY(race.contains("Anna") && race.contains("Boris") && race.contains("Demo Cup"));
        QVERIFY(QString::fromUtf8(test::readFile(QDir(htmls).filePath("oneraceres.htm"))).contains("Clara"));
        QVERIFY(QString::fromUtf8(test::readFile(QDir(htmls).filePath("channel1.htm"))).contains("Boris"));
    }
};

QTEST_GUILESS_MAIN(TstIncludedTemplates)
#include "tst_includedtemplates.moc"
