// Publishing through the window: "Save local HTMLs" on the Settings page and
// in the settings file starts and stops the live pages writer, shutdown stops
// it, and "Export Results to HTML" writes and opens the stage's page.
#include "app/commands.h"
#include "app/eventspage.h"
#include "app/racepage.h"
#include "core/inifile.h"
#include "events/eventsviews.h"
#include "publish/savehtmls.h"
#include "tests/app/programfixture.h"
#include "tests/common/sqlrows.h"
#include "tests/common/testfiles.h"

#include <QAction>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;
using lapvane::test::exec;
using lapvane::test::paneLines;
using lapvane::test::Program;
using lapvane::test::writeFile;

class TestPublishing : public QObject
{
    Q_OBJECT
private slots:
    void settingsFileStartsTheWriterBeforeTheChecks()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("lapvaneadmin.ini"), "[WWWSERVER]\r\nwwwSavehtmls=1\r\n");
        Program p(dir.path());
        QVERIFY(p.services->saveHtmls->isRunning());
        QTRY_VERIFY(QFile::exists(dir.filePath("htmls/comment.htm")));
        QStringList pane = paneLines(*p.window);
        QVERIFY(pane.indexOf("savehtmls started") >= 0);
        QVERIFY(pane.indexOf("savehtmls started") < pane.indexOf("==="));

        p.window->close();
        QVERIFY(!p.services->saveHtmls->isRunning());
        pane = paneLines(*p.window);
        // The writer's last line comes while shutdown waits for it.
        const int at = pane.indexOf("terminating savehtmls...");
        QVERIFY(at >= 0);
        const int exitAt = pane.indexOf("savehtmls: exit");
        QVERIFY(exitAt > at);
        QCOMPARE(pane.at(exitAt + 1), QStringLiteral("terminating voiceinvite..."));
        QVERIFY(!pane.contains("problem!"));
    }

    void switchOnTheSettingsPage()
    {
        QTemporaryDir dir;
        Program p(dir.path());
        auto *box = p.window->findChild<QCheckBox *>("chsavehtmls");
        QVERIFY(box && box->isEnabled());
        QCOMPARE(box->text(), QStringLiteral("Save local HTMLs (/htmls folder)"));
        QSqlDatabase db = p.ctx.db.db();
        exec(db, "INSERT INTO onerace (pilotid, pilotname, \"group\", vtx) VALUES (7, 'Ivan', '1', 'R1')");
        exec(db, "INSERT INTO laps (pilotid, lapn, laptime, laptimetxt) VALUES (7, 1, 12345, '000:12.345')");
        box->click();
        QVERIFY(p.services->saveHtmls->isRunning());
        auto comment = [&] {
            QFile f(dir.filePath("htmls/comment.htm"));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        QTRY_VERIFY(comment().contains("1 - 000:12.345<br>"));
        // With no templates chosen the reason is said once, not a bare problem line every cycle.
        auto explanations = [&] {
            int n = 0;
            for (const QString &line : paneLines(*p.window))
                n += line.startsWith("savehtmls: no template chosen for \"One race pilots\"");
            return n;
        };
        QTRY_COMPARE(explanations(), 1);
        // A lap recorded while the writer runs is on the page at its next cycle.
        exec(db, "INSERT INTO laps (pilotid, lapn, laptime, laptimetxt) VALUES (7, 2, 25000, '000:12.655')");
        QTRY_VERIFY_WITH_TIMEOUT(comment().contains("2 - 000:12.655<br>"), 10000);
        box->click();
        QVERIFY(!p.services->saveHtmls->isRunning());
        const QStringList pane = paneLines(*p.window);
        QCOMPARE(pane.mid(pane.size() - 2), QStringList({"savehtmls: exit", "savehtmls terminated"}));
        QCOMPARE(explanations(), 1);
        QVERIFY(!pane.contains("savehtmls: top problem"));
        QVERIFY(!pane.contains("savehtmls: onerace problem"));
    }

    void exportResultsToHtml()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("header.html"), "<h1>%EVENTNAME%</h1>\n");
        writeFile(dir.filePath("bottom.html"), "<p>end</p>\n");
        Program p(dir.path());
        QSqlDatabase db = p.ctx.db.db();
        exec(db, "INSERT INTO events (num, eventname) VALUES (1, 'Cup')");
        exec(db, "INSERT INTO stages (id, events, stagename) VALUES (5, 1, 'Final')");
        exec(db, "INSERT INTO results (stage, pilotname, pilotteam, \"group\", vtx) VALUES (5, 'Tom & Jerry', 'T', '1', 'R1')");
        EventsViews &views = *p.services->events;
        QVERIFY(views.open());
        QVERIFY(views.selectStageRows({0}));

        EventsPage &page = *p.window->eventsPage();
        QString suggested, opened;
        const QString target = dir.filePath("out.htm");
        page.exportHooks().chooseFile = [&](const QString &name) {
            suggested = name;
            return target;
        };
        page.exportHooks().openFile = [&](const QString &path) { opened = path; };
        auto *button = p.window->findChild<QPushButton *>("btsavehtml");
        QVERIFY(button->isEnabled());
        button->click();
        QCOMPARE(suggested, QStringLiteral("Cup - Final"));
        QCOMPARE(opened, target);
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray html = file.readAll();
        QVERIFY(html.startsWith("\xEF\xBB\xBF<h1>Cup</h1>\r\n<table><tr><td><b>Name</b></td>"));
        QVERIFY(html.contains("<tr><td width=200>Tom &amp; Jerry</td><td width=200>T</td>\r\n"));
        QVERIFY(html.endsWith("<p>end</p>\r\n"));
        QVERIFY(p.prompt.notices.isEmpty());

        // Without the header nothing is written and the operator is told why.
        QVERIFY(QFile::remove(dir.filePath("header.html")));
        QVERIFY(QFile::remove(target));
        opened.clear();
        p.window->commands().action("eventexporthtml")->trigger();
        QCOMPARE(p.prompt.notices.size(), 1);
        QVERIFY2(p.prompt.notices.first().contains("header.html"), qPrintable(p.prompt.notices.first()));
        QVERIFY(!QFile::exists(target));
        QVERIFY(opened.isEmpty());
    }
};

QTEST_MAIN(TestPublishing)
#include "tst_publishing.moc"
