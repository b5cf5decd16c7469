// The live pages writer started and stopped: its log lines in order, the
// "htmls" folder, pages on disk, a stop during the pause, during a cycle and
// while it waits for the main thread.
#include "publish/savehtmls.h"
#include "tests/publish/publishfixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTest>

using namespace lapvane;

class TstSaveHtmls : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<test::PublishFixture> f;
    std::unique_ptr<SaveHtmls> saver;
    int snapshots = 0;
    std::function<void(PageSnapshot &)> onSnapshot;

    QString htmls(const QString &name = {}) const
    {
        return QDir(f->dir.filePath("htmls")).filePath(name);
    }

private slots:
    void init()
    {
        f = std::make_unique<test::PublishFixture>();
        snapshots = 0;
        onSnapshot = nullptr;
        saver = std::make_unique<SaveHtmls>(*f->log, f->dir.path(), f->db.filePath(), [this] {
            PageSnapshot s;
            s.raceClockText = QString("cycle %1").arg(++snapshots);
            if (onSnapshot)
                onSnapshot(s);
            return s;
        });
    }
    void cleanup()
    {
        saver.reset();
        f.reset();
    }

    void startedAndStopped()
    {
        QVERIFY(!QDir(htmls()).exists());
        saver->setPauseMs(60000);
        saver->checksavehtmls(true);
        QVERIFY(QDir(htmls()).exists());
        QVERIFY(saver->isRunning());
        QTRY_COMPARE(saver->thread()->cycles(), 1);
        QVERIFY(QFile::exists(htmls("comment.htm")));
        QVERIFY(test::readFile(htmls("comment.htm")).contains("<b>cycle 1</b>"));

        // The pause ends at once when the stop comes.
        QElapsedTimer stopping;
        stopping.start();
        saver->checksavehtmls(false);
        QVERIFY2(stopping.elapsed() < 1000, qPrintable(QString::number(stopping.elapsed())));
        QVERIFY(!saver->isRunning());
        // No template chosen: the reason once, not three bare lines.
        QCOMPARE(f->logLines->lines.size(), 5);
        QCOMPARE(f->logLines->lines.mid(0, 2), (QStringList{"savehtmls started", "savehtmls started"}));
        QCOMPARE(f->logLines->lines.mid(3), (QStringList{"savehtmls: exit", "savehtmls terminated"}));
        const QString reason = f->logLines->lines.at(2);
        for (const char *part : {"no template chosen", "\"One race pilots\" (onerace.htm)",
                                 "\"One race results\" (oneraceres.htm)", "\"Top results\" (top.htm)",
                                 "Use the included templates"})
            QVERIFY2(reason.contains(QLatin1String(part)), qPrintable(reason));
    }

    // The reason is given once per switch-on and for the templates still not
    // chosen; a chosen template that cannot be read keeps its line every cycle.
    void noTemplateReasonOncePerSwitchOn()
    {
        saver->setPauseMs(1);
        onSnapshot = [this](PageSnapshot &s) {
            s.oneRaceViewTemplate = f->path("missing.htm");
            s.oneRaceResultsTemplate = f->writeFile("res.htm", "<p>%STAGENAME%</p>");
        };
        saver->checksavehtmls(true);
        QTRY_VERIFY(saver->thread()->cycles() >= 3);
        saver->checksavehtmls(false);
        const QStringList &lines = f->logLines->lines;
        QCOMPARE(lines.filter("no template chosen").size(), 1);
        const QString reason = lines.filter("no template chosen").first();
        QVERIFY(reason.contains("\"Pilot view\" (channel1.htm to channel8.htm and top.htm)"));
        QVERIFY(!reason.contains("One race"));
        QCOMPARE(lines.count("savehtmls: onerace problem"), snapshots);
        QCOMPARE(lines.count("savehtmls: oneraceres problem"), 0);
        QCOMPARE(lines.count("savehtmls: top problem"), 0);

        saver->checksavehtmls(true);
        QTRY_VERIFY(saver->thread()->cycles() >= 1);
        saver->checksavehtmls(false);
        QCOMPARE(f->logLines->lines.filter("no template chosen").size(), 2);
    }

    void rewritesEveryCycle()
    {
        saver->setPauseMs(1);
        saver->checksavehtmls(true);
        QTRY_VERIFY(saver->thread()->cycles() >= 3);
        saver->checksavehtmls(false);
        const int cycles = snapshots;
        QVERIFY(
            test::readFile(htmls("comment.htm")).contains(QString("<b>cycle %1</b>").arg(cycles).toUtf8()));
        QCOMPARE(f->logLines->lines.filter("no template chosen").size(), 1);
        QCOMPARE(f->logLines->lines.last(), QString("savehtmls terminated"));
    }

    void stopDuringACycleFinishesIt()
    {
        saver->setPauseMs(1);
        // The stop comes while the second cycle is under way.
        onSnapshot = [this](PageSnapshot &) {
            if (snapshots == 2)
                saver->thread()->requestStop();
        };
        saver->checksavehtmls(true);
        QTRY_VERIFY(saver->thread()->isFinished());
        QCOMPARE(saver->thread()->cycles(), 2);
        QVERIFY(test::readFile(htmls("comment.htm")).contains("<b>cycle 2</b>"));
        saver->checksavehtmls(false);
        const QStringList &lines = f->logLines->lines;
        QCOMPARE(lines.filter("no template chosen").size(), 1);
        QCOMPARE(lines.mid(lines.size() - 2), (QStringList{"savehtmls: exit", "savehtmls terminated"}));
    }

    void stopWhileWaitingForTheMainThread()
    {
        // The main thread never hands a snapshot: it goes straight to the stop.
        saver->checksavehtmls(true);
        saver->checksavehtmls(false);
        QCOMPARE(snapshots, 0);
        QCOMPARE(f->logLines->lines, (QStringList{"savehtmls started", "savehtmls started", "savehtmls: exit",
                                                  "savehtmls terminated"}));
    }

    void oneWriterAtATime()
    {
        saver->setPauseMs(60000);
        saver->checksavehtmls(true);
        tsavehtmls *first = saver->thread();
        saver->checksavehtmls(true);
        QCOMPARE(saver->thread(), first);
        QVERIFY(saver->stop());
        QVERIFY(!saver->isRunning());
        // Off with no writer running.
        f->logLines->lines.clear();
        saver->checksavehtmls(false);
        QCOMPARE(f->logLines->lines, QStringList{"can't stop savehtmls thread"});
        QVERIFY(saver->stop());
    }
};

QTEST_GUILESS_MAIN(TstSaveHtmls)
#include "tst_savehtmls.moc"
