// The registry service's two windows in the program: the browser opened by
// BitBtn1 on the Pilots page and the export window of "Send to Aerolist",
// against a stand-in service on 127.0.0.1. A request the service never
// answers holds up neither the window nor the race.
#include "app/aerolistbrowser.h"
#include "app/aerolistexport.h"
#include "app/eventspage.h"
#include "app/pilotspage.h"
#include "app/racepage.h"
#include "events/eventsviews.h"
#include "online/registryclient.h"
#include "race/raceengine.h"
#include "tests/app/programfixture.h"
#include "tests/common/sqlrows.h"
#include "tests/online/registryfakeserver.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;
using lapvane::test::Program;
using lapvane::test::RegistryFakeServer;

class TestAerolist : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    std::unique_ptr<Program> m_p;
    std::unique_ptr<RegistryFakeServer> m_server;
    QSqlDatabase db() { return m_p->ctx.db.db(); }
    TfrmAerolist *browser() { return m_p->window->pilotsPage()->aerolistBrowser(); }
    TfrmAerolistExport *exportWindow() { return m_p->window->eventsPage()->aerolistExport(); }
    template<typename T = QWidget>
    T *in(QWidget *parent, const char *name)
    {
        T *w = parent->findChild<T *>(name);
        if (!w)
            qFatal("no %s", name);
        return w;
    }

    void exec(const QString &sql) { test::exec(db(), sql); }
    // An event with its identifier at the service and one stage, made current.
    void eventWithStage(const QString &unic)
    {
        exec(QStringLiteral("INSERT INTO events (eventname, aerolist) VALUES ('Spring Cup', '%1')").arg(unic));
        exec("INSERT INTO stages (events, stagename, laplimit, tracklen) VALUES (1, 'Final', 3, '100')");
        QVERIFY(m_p->services->events->open());
        QCOMPARE(m_p->services->events->currentStageName(), QStringLiteral("Final"));
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::remove(m_dir.filePath("dbpilots.db"));
        QFile::remove(m_dir.filePath("lapvaneadmin.ini"));
        m_server = std::make_unique<RegistryFakeServer>();
        m_p = std::make_unique<Program>(m_dir.path());
        m_p->ctx.settings.set("edaerolisturl", m_server->baseUrl());
        m_server->answer("/rest_api/get_events.php",
                         {200,
                          "{\"data\":[{\"pilots\":[{\"id\":\"1\",\"chat_id\":\"2\",\"event_unic\":\"ev42\","
                          "\"add_date\":\"\",\"fname\":\"Ann\",\"lname\":\"Smith\",\"email\":\"a@x.org\","
                          "\"osd_name\":\"ANN\",\"photo_file\":\"\"}]}]}",
                          "application/json", false});
        m_server->answer("/rest_api/make_fly.php", {200, "{\"result\":\"ok\"}", "application/json", false});
    }
    void cleanup()
    {
        m_p.reset();
        m_server.reset();
    }

    void theAddressIsOnTheAerolistSubPage()
    {
        QWidget *page = m_p->window->findChild<QWidget *>("tsaerolist");
        QVERIFY(page);
        QVERIFY(page->findChild<QLineEdit *>("edaerolisturl"));
        QVERIFY(page->findChild<QLineEdit *>("edaerolistsalt"));
    }

    void browserLoadsAndLocatesPilots()
    {
        eventWithStage("ev42");
        QPushButton *open = m_p->window->findChild<QPushButton *>("BitBtn1");
        QVERIFY(open->isEnabled());
        open->click();
        QVERIFY(browser()->isVisible());
        in<QPushButton>(browser(), "btgetdata")->click();
        auto *fields = in<QTableWidget>(browser(), "vleventpilot");
        QTRY_COMPARE(fields->rowCount(), 9);
        QCOMPARE(fields->item(5, 0)->text(), QStringLiteral("lname"));
        QCOMPARE(fields->item(5, 1)->text(), QStringLiteral("Smith"));
        QCOMPARE(in<QLabel>(browser(), "lbposition")->text(), QStringLiteral("1/1"));
        QCOMPARE(in<QLineEdit>(browser(), "edphotofile")->text(), QStringLiteral("no photo"));
        QVERIFY(m_server->targets.value(0).contains("unic=ev42"));

        in<QPushButton>(browser(), "btlocate")->click();
        QCOMPARE(m_p->window->pilotsPage()->findChild<QLineEdit *>("edtsearchtext")->text(), QStringLiteral("Smith"));

        // With no local pilot selected nothing is copied.
        in<QPushButton>(browser(), "btupdate")->click();
        QCOMPARE(m_p->prompt.notices.value(0), QStringLiteral("Select pilot!"));
        QSqlQuery q("SELECT count(*) FROM pilots", db());
        q.next();
        QCOMPARE(q.value(0).toInt(), 0);
    }

    void unansweredRequestHoldsUpNeitherWindowNorRace()
    {
        m_server->answer("/rest_api/get_events.php", {200, "", "", true});
        exec("INSERT INTO onerace (pilotid, pilotname, pilottrans, vtx, confirmed, place, lapno, besttime, besttimetxt, "
             "totaltime, totaltimetxt, \"group\") VALUES (11, 'Ann', 101, 'R1', 'Y', 999, 0, 59999999, '-', 59999999, "
             "'-', '1')");
        m_p->window->racePage()->refreshRaceList();
        m_p->window->findChild<QPushButton *>("btnstartrace")->click();
        QVERIFY(m_p->services->race->isRunning());

        m_p->window->findChild<QPushButton *>("BitBtn1")->click();
        in<QPushButton>(browser(), "btgetdata")->click();
        // The click has returned with the request still under way.
        QCOMPARE(browser()->client().pending(), 1);
        QCOMPARE(in<QLabel>(browser(), "lbstatus")->text(), QStringLiteral("Waiting for the registry service..."));
        m_p->receivers.queuePass(101, 30000);
        QTRY_VERIFY([this] {
            QSqlQuery q("SELECT lapno FROM onerace WHERE pilotid=11", db());
            return q.next() && q.value(0).toInt() == 1;
        }());
        QCOMPARE(browser()->client().pending(), 1); // the service still has not answered
    }

    void sendToAerolistNeedsTheEventIdentifier()
    {
        eventWithStage("x");
        m_p->window->findChild<QPushButton *>("btsendtoAerolist")->click();
        QCOMPARE(m_p->prompt.notices, QStringList({"No UNIC specified in Event parameter!"}));
        QVERIFY(!exportWindow()->isVisible());
    }

    void sendToAerolistExportsTheStage()
    {
        eventWithStage("ev42");
        exec("INSERT INTO results (stage, pilotid, pilotname, lapno, besttime, besttimetxt, place) "
             "VALUES (1, 4, 'Ann', 3, 10000, '000:10.000', 1)");
        QPushButton *send = m_p->window->findChild<QPushButton *>("btsendtoAerolist");
        QVERIFY(send->isEnabled());
        send->click();
        QVERIFY(exportWindow()->isVisible());
        QCOMPARE(exportWindow()->windowModality(), Qt::ApplicationModal);
        QCOMPARE(in<QLabel>(exportWindow(), "lbevent")->text(), QStringLiteral("Spring Cup"));
        QCOMPARE(in<QLabel>(exportWindow(), "lbstage")->text(), QStringLiteral("Final"));
        auto *hide = in<QPushButton>(exportWindow(), "bthide");
        QVERIFY(hide->isHidden());

        in<QPushButton>(exportWindow(), "btexport")->click();
        QCOMPARE(exportWindow()->windowModality(), Qt::NonModal);
        QTRY_VERIFY(!hide->isHidden());
        QVERIFY(in<QPushButton>(exportWindow(), "btexport")->isHidden());
        QVERIFY(in<QPushButton>(exportWindow(), "btcancel")->isHidden());
        auto *log = in<QListWidget>(exportWindow(), "lbxlog");
        QCOMPARE(log->item(0)->text(), QStringLiteral("Log"));
        QCOMPARE(log->item(1)->text(), QStringLiteral("== Ann =="));
        QCOMPARE(log->item(6)->text(), QStringLiteral("{\"result\":\"ok\"}"));
        QCOMPARE(m_server->targetsFor("/rest_api/make_fly.php").size(), 1);
        QVERIFY(m_p->prompt.notices.isEmpty());

        hide->click();
        QVERIFY(!exportWindow()->isVisible());
        QVERIFY(!in<QPushButton>(exportWindow(), "btexport")->isHidden());
        // The log keeps growing across exports.
        send->click();
        in<QPushButton>(exportWindow(), "btexport")->click();
        QTRY_VERIFY(!hide->isHidden());
        QCOMPARE(log->item(8)->text(), QStringLiteral("== Ann =="));
    }
};

QTEST_MAIN(TestAerolist)
#include "tst_aerolist.moc"
