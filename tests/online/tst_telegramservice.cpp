// The Telegram commands: the race result post with its log lines, Markdown
// retry and failure (the token never in the log), the bot name, the stage
// texts, the receiver following its option, the service address at start-up.
#include "core/currentselection.h"
#include "core/inifile.h"
#include "core/operatorlog.h"
#include "core/settings.h"
#include "online/telegramservice.h"
#include "online/telegramtexts.h"
#include "store/database.h"
#include "tests/common/logcapture.h"
#include "tests/common/sqlrows.h"
#include "tests/online/fakebotapi.h"

#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;
using lapvane::test::exec;
using lapvane::test::FakeBotApi;

namespace {

const QString kToken = QStringLiteral("987654:TOPSECRET");

struct Selection : CurrentSelection
{
    int stage = 5;
    int currentEventNum() const override { return 1; }
    QString currentEventName() const override { return "Cup"; }
    int currentStageId() const override { return stage; }
    QString currentStageName() const override { return "Qual"; }
    QList<int> selectedStageIds() const override { return {stage}; }
};

} // namespace

class TestTelegramService : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<OperatorLog> m_log;
    std::unique_ptr<test::LogCapture> m_lines;
    Selection m_selection;
    std::unique_ptr<FakeBotApi> m_api;
    std::unique_ptr<TelegramService> m_tg;

    QSqlDatabase db() { return m_db->db(); }

private slots:
    void init()
    {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
        m_db = std::make_unique<Database>();
        QVERIFY(m_db->open(m_dir.filePath("dbpilots.db")));
        exec(db(), "INSERT INTO stages (id, events, stagename, tracklen) VALUES (5, 1, 'Qual', '400')");
        exec(db(), "INSERT INTO onerace (pilotid, pilotname, place, lapno, besttime, besttimetxt, \"group\") "
                   "VALUES (1, 'under_score', 1, 1, 20000, '000:20.000', 'A')");
        exec(db(), "INSERT INTO laps (pilotid, lapn, laptime, laptimetxt) VALUES (1, 1, 20000, '000:20.000')");
        exec(db(), "INSERT INTO results (stage, pilotname, \"group\", vtx) VALUES (5, 'Ann_B', '1', 'R1')");
        m_settings = std::make_unique<Settings>();
        m_settings->set("bottoken", kToken);
        m_settings->set("cbtelechatid", "@lapvane");
        m_log = std::make_unique<OperatorLog>(*m_settings, m_dir.path());
        m_lines = std::make_unique<test::LogCapture>(*m_log);
        m_api = std::make_unique<FakeBotApi>();
        m_tg = std::make_unique<TelegramService>(db(), *m_settings, *m_log, m_selection);
        m_tg->setLocale(QLocale::c());
        {
            IniFile ini(m_dir.filePath("lapvaneadmin.ini"));
            QVERIFY(ini.writeString("SETTINGS", "TelegaApiUrl", m_api->baseUrl()));
            m_tg->startUp(ini);
        }
    }
    void cleanup()
    {
        m_tg.reset();
        m_api.reset();
        m_lines.reset();
        m_log.reset();
        m_settings.reset();
        m_db.reset();
    }

    void startUpTakesTheAddressAndTheToken()
    {
        QCOMPARE(m_tg->bot().baseUrl(), m_api->baseUrl());
        QCOMPARE(m_tg->bot().token(), kToken);
        // Typing another token changes nothing until "Set".
        m_settings->set("bottoken", "1:other");
        QCOMPARE(m_tg->bot().token(), kToken);

        // Without the key the public address; an address it refuses is logged.
        TelegramService other(db(), *m_settings, *m_log, m_selection);
        IniFile empty(m_dir.filePath("none.ini"));
        other.startUp(empty);
        QCOMPARE(other.bot().baseUrl(), QStringLiteral("https://api.telegram.org"));
        IniFile plain(m_dir.filePath("plain.ini"));
        QVERIFY(plain.writeString("SETTINGS", "TelegaApiUrl", "http://api.example.org"));
        other.startUp(plain);
        QVERIFY(m_lines->lines.last().contains("must start with https://"));
    }

    void raceResultIsPostedAndLogged()
    {
        QSignalSpy posts(m_tg.get(), &TelegramService::postsInFlightChanged);
        QVERIFY(m_tg->racetelegramSendExecute());
        QCOMPARE(m_tg->postsInFlight(), 1);
        QTRY_COMPARE(m_tg->postsInFlight(), 0);
        QCOMPARE(posts.size(), 2);
        QCOMPARE(m_lines->lines, QStringList({"Exported to Telegram (@lapvane)"}));
        const QJsonObject sent = m_api->requests.first().json();
        QCOMPARE(sent.value("chat_id").toString(), QStringLiteral("@lapvane"));
        QCOMPARE(sent.value("parse_mode").toString(), QStringLiteral("Markdown"));
        QCOMPARE(sent.value("text").toString(), telegramtexts::raceResultText(db(), "5", "400", QLocale::c()));
        QVERIFY(sent.value("text").toString().contains("(72.0 км/ч)"));

        // An empty race list sends nothing.
        exec(db(), "DELETE FROM onerace");
        QVERIFY(!m_tg->racetelegramSendExecute());
        QTest::qWait(20);
        QCOMPARE(m_api->requests.size(), 1);
    }

    void markdownRefusalStillPostsTheResult()
    {
        m_api->script("sendMessage", {FakeBotApi::refused(400, "Bad Request: can't parse entities: at byte offset 30"),
                                      FakeBotApi::ok("{}")});
        m_tg->racetelegramSendExecute();
        QTRY_COMPARE(m_tg->postsInFlight(), 0);
        QCOMPARE(m_lines->lines.size(), 2);
        QVERIFY(m_lines->lines[0].contains("sent again without formatting"));
        QCOMPARE(m_lines->lines[1], QStringLiteral("Exported to Telegram (@lapvane)"));
    }

    void failureIsLoggedWithoutTheToken()
    {
        m_api->script("sendMessage", {{404, "{\"ok\":false,\"error_code\":404,\"description\":\"Not Found: bot"
                                            + kToken.toUtf8() + "\"}"}});
        m_tg->racetelegramSendExecute();
        QTRY_COMPARE(m_tg->postsInFlight(), 0);
        QCOMPARE(m_lines->lines.first(), QStringLiteral("Telega did not work.."));
        QCOMPARE(m_lines->lines.size(), 2);
        QVERIFY(m_lines->lines[1].contains("Not Found"));
        for (const QString &l : m_lines->lines)
            QVERIFY2(!l.contains("TOPSECRET"), qPrintable(l));
        QFile file(m_log->filePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray written = file.readAll();
        QVERIFY(written.contains("Telega did not work.."));
        QVERIFY(!written.contains("TOPSECRET"));
    }

    void setShowsTheBotNameOrError()
    {
        QSignalSpy names(m_tg.get(), &TelegramService::botNameChanged);
        m_settings->set("bottoken", "555:NEWSECRET");
        m_api->script("getMe", {FakeBotApi::ok(R"({"id":5,"is_bot":true,"username":"track_bot"})"),
                                FakeBotApi::refused(401, "Unauthorized")});
        m_tg->Button1Click();
        QTRY_COMPARE(names.size(), 2);
        QCOMPARE(names[0][0].toString(), QStringLiteral("..."));
        QCOMPARE(names[1][0].toString(), QStringLiteral("track_bot"));
        QCOMPARE(m_tg->bot().token(), QStringLiteral("555:NEWSECRET"));
        QVERIFY(m_api->requests.first().path.startsWith("/bot555:NEWSECRET/getMe"));

        m_tg->Button1Click();
        QTRY_COMPARE(names.size(), 4);
        QCOMPARE(names[3][0].toString(), QStringLiteral("error!"));
        QVERIFY(m_lines->lines.last().contains("Unauthorized"));
        QVERIFY(!m_lines->lines.last().contains("NEWSECRET"));
    }

    void stageTextsAndFreeText()
    {
        QSignalSpy finished(m_tg.get(), &TelegramService::commandFinished);
        QSignalSpy problems(m_tg.get(), &TelegramService::problem);
        m_tg->btntelegaSendGroupsClick();
        QTRY_COMPARE(finished.size(), 1);
        QVERIFY(finished[0][1].toBool());
        const QJsonObject groups = m_api->requests.last().json();
        QCOMPARE(groups.value("text").toString(), m_tg->GenerateGroupsText());
        QVERIFY(groups.value("text").toString().contains("(ch R1) Ann B"));
        QCOMPARE(groups.value("parse_mode").toString(), QStringLiteral("Markdown"));

        m_api->script("sendMessage", {FakeBotApi::refused(400, "Bad Request: chat not found")});
        m_tg->btnTelegaSendResultsClick();
        QTRY_COMPARE(finished.size(), 2);
        QVERIFY(!finished[1][1].toBool());
        QCOMPARE(problems.size(), 1);
        QCOMPARE(problems[0][0].toString(),
                 QStringLiteral("send Results did not reach Telegram: Telegram refused the request: Bad Request: chat "
                                "not found (error 400)"));
        QCOMPARE(m_api->requests.last().json().value("text").toString(), m_tg->GenerateResultsText());

        m_api->script("sendMessage", {FakeBotApi::ok("{}")});
        m_tg->bt11Click("Welcome!");
        QTRY_COMPARE(finished.size(), 3);
        QCOMPARE(m_api->requests.last().json().value("text").toString(), QStringLiteral("Welcome!"));
        QVERIFY(m_lines->lines.isEmpty()); // the commands write no log line of their own
    }

    void groupListSavedToAFile()
    {
        QString error;
        QVERIFY2(m_tg->saveGroupsText(m_dir.filePath("groups.txt"), &error), qPrintable(error));
        QFile f(m_dir.filePath("groups.txt"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(f.readAll()), m_tg->GenerateGroupsText());
        QVERIFY(!m_tg->saveGroupsText(m_dir.filePath("no/such/folder/g.txt"), &error));
        QVERIFY(error.startsWith("The group list could not be saved to"));
    }

    void receiverFollowsItsOption()
    {
        QVERIFY(!m_tg->receiver().isOn());
        m_tg->receiver().setIntervalMs(5);
        m_settings->set("chktelegareceive", true);
        QVERIFY(m_tg->receiver().isOn());
        QTRY_VERIFY(!m_api->requestsFor("getUpdates").isEmpty());
        m_settings->set("chktelegareceive", false);
        QVERIFY(!m_tg->receiver().isOn());
        m_settings->set("chktelegareceive", true);
        m_tg->shutdown();
        QVERIFY(!m_tg->receiver().isOn());
        QCOMPARE(m_tg->bot().requestsInFlight(), 0);
    }
};

QTEST_MAIN(TestTelegramService)
#include "tst_telegramservice.moc"
