// Telegram in the window, against a stand-in Bot API on 127.0.0.1: the
// settings sub-page, the events page buttons, "auto Telegram" after an
// export, the bot dialogue log, and a service that never answers while a
// race is timed.
#include "app/commands.h"
#include "app/eventspage.h"
#include "app/racepage.h"
#include "events/eventsviews.h"
#include "online/telegramservice.h"
#include "race/raceengine.h"
#include "race/raceexport.h"
#include "tests/app/programfixture.h"
#include "tests/common/sqlrows.h"
#include "tests/online/fakebotapi.h"

#include <QAction>
#include <QElapsedTimer>
#include <QImage>
#include <QRegularExpression>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;
using lapvane::test::exec;
using lapvane::test::FakeBotApi;
using lapvane::test::Program;

namespace {

const QString kToken = QStringLiteral("424242:WINDOWSECRET");

int lapsOf(QSqlDatabase db, int pilotId)
{
    QSqlQuery q(db);
    q.exec(QStringLiteral("SELECT lapno FROM onerace WHERE pilotid=%1").arg(pilotId));
    return q.next() ? q.value(0).toInt() : -1;
}

} // namespace

class TestTelegramWindow : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    std::unique_ptr<FakeBotApi> m_api;
    std::unique_ptr<Program> m_p;

    template <typename T = QWidget>
    T *find(const char *name)
    {
        T *w = m_p->window->findChild<T *>(QLatin1String(name));
        if (!w)
            qFatal("no %s", name);
        return w;
    }
    QSqlDatabase db() { return m_p->ctx.db.db(); }
    TelegramService &tg() { return *m_p->services->telegram; }

    // The program over a settings file that points Telegram at the stand-in.
    void start(const QByteArray &extraSettings = {}, bool realReceivers = false)
    {
        QFile ini(m_dir.filePath("lapvaneadmin.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[SETTINGS]\r\nTelegaApiUrl=" + m_api->baseUrl().toUtf8() + "\r\nTelegaToken=" + kToken.toUtf8()
                  + "\r\nTelegaChatID=@track\r\n" + extraSettings);
        ini.close();
        m_p = std::make_unique<Program>(m_dir.path(), realReceivers);
    }

    void addRacer(int pilotId, const QString &name, int trans)
    {
        exec(db(), QStringLiteral("INSERT INTO onerace (pilotid, pilotname, pilottrans, vtx, confirmed, place, lapno, "
                                  "besttime, besttimetxt, totaltime, totaltimetxt, \"group\") VALUES (%1, '%2', %3, "
                                  "'R1', 'Y', 999, 0, 59999999, '-', 59999999, '-', '1')")
                 .arg(pilotId).arg(name).arg(trans));
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::remove(m_dir.filePath("dbpilots.db"));
        m_api = std::make_unique<FakeBotApi>();
    }
    void cleanup()
    {
        m_p.reset();
        m_api.reset();
    }

    void settingsSubPageSetWelcomeAndSend()
    {
        start();
        QCOMPARE(tg().bot().token(), kToken);
        QCOMPARE(tg().bot().baseUrl(), m_api->baseUrl());
        for (const char *name : {"Button1", "bt11", "bttelegawelcome", "btntelegaSendGroups", "btnTelegaSendResults",
                                 "Button16", "btracetelegramSend"})
            QVERIFY2(find(name)->isEnabled(), name);
        QVERIFY(m_p->window->commands().action("racetelegramSend")->isEnabled());

        m_api->script("getMe", {FakeBotApi::ok(R"({"id":1,"is_bot":true,"username":"track_bot"})")});
        find<QPushButton>("Button1")->click();
        QTRY_COMPARE(find<QLabel>("lbbotname")->text(), QStringLiteral("track_bot"));

        m_p->services->events->eventnewExecute();
        find<QPushButton>("bttelegawelcome")->click();
        const QString welcome = find<QPlainTextEdit>("edtelegasend")->toPlainText();
        QVERIFY(welcome.startsWith("Добро пожаловать на гонку"));
        QVERIFY(welcome.endsWith("\n\nВсем удачи!"));
        find<QPushButton>("bt11")->click();
        QTRY_COMPARE(m_api->requestsFor("sendMessage").size(), 1);
        QCOMPARE(m_api->requestsFor("sendMessage").first().json().value("text").toString(), welcome);
        QTRY_VERIFY(find("bt11")->isEnabled());

        // A refusal is shown in plain words, without the token.
        m_api->script("sendMessage", {FakeBotApi::refused(400, "Bad Request: chat not found")});
        find<QPushButton>("btntelegaSendGroups")->click();
        QMessageBox *box = nullptr;
        QTRY_VERIFY((box = m_p->window->findChild<QMessageBox *>("telegramproblem")) != nullptr);
        QVERIFY(box->text().contains("chat not found"));
        QVERIFY(!box->text().contains("WINDOWSECRET"));
        box->close();
    }

    void signalChartPostedAsAPicture()
    {
        start({}, true); // the chart comes with the real receivers
        find<QPushButton>("Button14")->click();
        QTRY_COMPARE(m_api->requestsFor("sendPhoto").size(), 1);
        const QStringList charts = QDir(m_dir.path()).entryList({"chart*.jpg"});
        QCOMPARE(charts.size(), 1); // left on disk
        QVERIFY(QRegularExpression("^chart\\d{1,3}\\.jpg$").match(charts.first()).hasMatch());
        const test::FakeRequest r = m_api->requestsFor("sendPhoto").first();
        QByteArray photo, chat;
        for (const auto &part : test::parseMultipart(r.headers.value("content-type"), r.body)) {
            if (part.name == "photo") {
                photo = part.body;
                QCOMPARE(QString::fromUtf8(part.fileName), charts.first());
            } else if (part.name == "chat_id") {
                chat = part.body;
            }
        }
        QCOMPARE(chat, QByteArray("@track"));
        QVERIFY(photo.startsWith("\xFF\xD8")); // a JPEG
        QVERIFY(!QImage::fromData(photo, "JPG").isNull());
        QTRY_VERIFY(find("Button14")->isEnabled());
    }

    void autoTelegramAfterAnExport()
    {
        start("[RACE]\r\nExportTelega=1\r\n");
        m_p->services->events->eventnewExecute();
        addRacer(11, "Ann", 101);
        QVERIFY(m_p->services->raceExport->raceexporttoeventExecute());
        QTRY_COMPARE(m_api->requestsFor("sendMessage").size(), 1);
        const QJsonObject sent = m_api->requestsFor("sendMessage").first().json();
        QCOMPARE(sent.value("chat_id").toString(), QStringLiteral("@track"));
        QVERIFY(sent.value("text").toString().contains("*без места - Ann*"));
        QTRY_VERIFY(find<QPlainTextEdit>("log1")->toPlainText().contains("Exported to Telegram (@track)"));
    }

    void botDialogueLogAndAnswers()
    {
        m_api->script("getUpdates",
                      {FakeBotApi::ok(R"([{"update_id":300,"message":{"text":"Помощник, дай группы",
                                          "chat":{"id":9001,"title":"Pilots"},"from":{"id":7,"first_name":"Oleg"}}}])"),
                       FakeBotApi::ok("[]")});
        start("TelegaReceive=1\r\n");
        QVERIFY(tg().receiver().isOn());
        QTRY_COMPARE(m_api->requestsFor("sendMessage").size(), 1);
        // No stage row selected in the stages list.
        QCOMPARE(m_api->requestsFor("sendMessage").first().json().value("text").toString(),
                 QStringLiteral("Пока не могу дать группы..."));
        QCOMPARE(m_api->requestsFor("sendMessage").first().json().value("chat_id").toInteger(), qint64(9001));
        const QStringList log = find<QPlainTextEdit>("mmo1")->toPlainText().split('\n');
        QVERIFY(log.first().startsWith("rnd="));
        QCOMPARE(log.mid(1, 5), QStringList({"300", "chat: 9001 Pilots", "user: 7 Oleg ", "Помощник, дай группы", "-----"}));
        QCOMPARE(m_api->requestsFor("getUpdates").first().json().value("limit").toInt(), 100);
    }

    // At a track without internet the service never answers: the window and
    // the race go on, and a pass recorded meanwhile is counted at once.
    void serviceThatNeverAnswersHoldsUpNothing()
    {
        m_api->silent = true;
        start("TelegaReceive=1\r\n");
        addRacer(11, "Ann", 101);
        m_p->window->racePage()->refreshRaceList();
        find<QPushButton>("btnstartrace")->click();
        QVERIFY(m_p->services->race->isRunning());

        QElapsedTimer took;
        took.start();
        m_p->window->commands().action("racetelegramSend")->trigger();
        find<QPushButton>("btntelegaSendGroups")->click();
        find<QPushButton>("Button1")->click();
        QVERIFY(took.elapsed() < 1000); // each command returned at once
        QTRY_VERIFY(m_api->requests.size() >= 4); // getUpdates, sendMessage twice, getMe
        QWidget *sending = find("frmsendtelega");
        QVERIFY(sending->isVisible());
        QVERIFY(!find("btntelegaSendGroups")->isEnabled()); // busy until Telegram answers
        QCOMPARE(find<QLabel>("lbbotname")->text(), QStringLiteral("..."));

        took.restart();
        m_p->receivers.queuePass(101, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(lapsOf(db(), 11), 1, 3000);
        QVERIFY(took.elapsed() < 3000); // far below the 20 s time-out
        QVERIFY(sending->isVisible()); // still waiting for Telegram
        m_p->window->commands().action("racestoprace")->trigger();
        QVERIFY(!m_p->services->race->isRunning());

        // Closing does not wait for the network either.
        took.restart();
        m_p->window->close();
        QVERIFY(took.elapsed() < 1000);
        QVERIFY(!tg().receiver().isOn());
        QCOMPARE(tg().bot().requestsInFlight(), 0);
    }
};

QTEST_MAIN(TestTelegramWindow)
#include "tst_telegramwindow.moc"
