// The Bot API client against a stand-in server on 127.0.0.1: each call's
// address, fields and upload, the Markdown retry, failures in plain words
// without the token, and the addresses it refuses.
#include "online/telegrambot.h"
#include "tests/online/fakebotapi.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTcpServer>
#include <QtTest>

#include <optional>

using namespace lapvane;
using lapvane::test::FakeBotApi;

namespace {

const QString kToken = QStringLiteral("123456:SECRET-token_x");

struct Waiter
{
    std::optional<TelegramResult> result;
    TelegramCallback callback()
    {
        return [this](const TelegramResult &r) { result = r; };
    }
};

} // namespace

class TestTelegramBot : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<FakeBotApi> m_api;
    std::unique_ptr<TelegramBot> m_bot;

    TelegramResult wait(Waiter &w)
    {
        [&] { QTRY_VERIFY_WITH_TIMEOUT(w.result.has_value(), 10000); }();
        return w.result.value_or(TelegramResult{});
    }

private slots:
    void init()
    {
        m_api = std::make_unique<FakeBotApi>();
        m_bot = std::make_unique<TelegramBot>();
        m_bot->setBaseUrl(m_api->baseUrl());
        m_bot->setToken(kToken);
    }
    void cleanup()
    {
        m_bot.reset();
        m_api.reset();
    }

    void sendMessageCarriesTheDocumentedFields()
    {
        Waiter w;
        m_bot->sendMessage(QStringLiteral("@lapvane"), QStringLiteral("*Привет*"), TelegramBot::ParseMode::Markdown,
                           this, w.callback());
        QVERIFY(!w.result); // never inside the call
        QVERIFY(wait(w).ok);
        QCOMPARE(m_api->requests.size(), 1);
        const auto &r = m_api->requests.first();
        QCOMPARE(r.verb, QByteArray("POST"));
        QCOMPARE(r.path, "/bot" + kToken.toUtf8() + "/sendMessage");
        QVERIFY(r.headers.value("content-type").startsWith("application/json"));
        const QJsonObject expected{{"chat_id", "@lapvane"},
                                   {"text", QStringLiteral("*Привет*")},
                                   {"parse_mode", "Markdown"},
                                   {"disable_web_page_preview", false},
                                   {"disable_notification", false},
                                   {"reply_to_message_id", 0}};
        QCOMPARE(r.json(), expected);

        // The bot's answers: the chat by number, no parse mode.
        Waiter w2;
        m_bot->sendMessage(qint64(-1001234567890), QStringLiteral("a_b*"), TelegramBot::ParseMode::None, this,
                           w2.callback());
        QVERIFY(wait(w2).ok);
        const QJsonObject answer = m_api->requests.last().json();
        QCOMPARE(answer.value("chat_id").toInteger(), qint64(-1001234567890));
        QVERIFY(answer.value("chat_id").isDouble());
        QVERIFY(!answer.contains("parse_mode"));
        QVERIFY(!answer.contains("reply_markup"));
    }

    void sendPhotoUploadsTheFileAsMultipart()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("chart42.jpg");
        QByteArray bytes("\xFF\xD8\xFF\xE0 jpeg\r\n--not a boundary\r\n\x00\x01 end", 36);
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        Waiter w;
        m_bot->sendPhoto(QStringLiteral("-100777"), path, this, w.callback());
        QVERIFY(wait(w).ok);
        const auto &r = m_api->requests.first();
        QCOMPARE(r.path, "/bot" + kToken.toUtf8() + "/sendPhoto");
        QVERIFY(r.headers.value("content-type").startsWith("multipart/form-data"));
        const QList<test::FormPart> parts = test::parseMultipart(r.headers.value("content-type"), r.body);
        QMap<QByteArray, test::FormPart> byName;
        for (const auto &p : parts)
            byName.insert(p.name, p);
        QCOMPARE(byName.keys(), QList<QByteArray>({"caption", "chat_id", "disable_notification", "photo",
                                                   "reply_to_message_id"}));
        QCOMPARE(byName["chat_id"].body, QByteArray("-100777"));
        QCOMPARE(byName["photo"].fileName, QByteArray("chart42.jpg"));
        QCOMPARE(byName["photo"].contentType, QByteArray("image/jpeg"));
        QCOMPARE(byName["photo"].body, bytes);
        QCOMPARE(byName["caption"].body, QByteArray());
        QCOMPARE(byName["disable_notification"].body, QByteArray("false"));
        QCOMPARE(byName["reply_to_message_id"].body, QByteArray("0"));

        Waiter missing;
        m_bot->sendPhoto(QStringLiteral("1"), dir.filePath("none.jpg"), this, missing.callback());
        QVERIFY(!wait(missing).ok);
        QVERIFY(missing.result->error.contains("none.jpg"));
        QCOMPARE(m_api->requests.size(), 1);
    }

    void getMeAndGetUpdates()
    {
        m_api->script("getMe", {FakeBotApi::ok(R"({"id":1,"is_bot":true,"username":"lapvane_bot"})")});
        Waiter me;
        m_bot->getMe(this, me.callback());
        QCOMPARE(wait(me).result.toObject().value("username").toString(), QStringLiteral("lapvane_bot"));
        QCOMPARE(m_api->requests.first().path, "/bot" + kToken.toUtf8() + "/getMe");

        Waiter up;
        m_bot->getUpdates(17, 100, 0, this, up.callback());
        QVERIFY(wait(up).ok);
        QCOMPARE(m_api->requests.last().json(), QJsonObject({{"offset", 17}, {"limit", 100}, {"timeout", 0}}));
    }

    void markdownRefusalIsSentOnceMorePlain()
    {
        m_api->script("sendMessage", {FakeBotApi::refused(400, "Bad Request: can't parse entities: Can't find end "
                                                               "of the entity starting at byte offset 12"),
                                      FakeBotApi::ok("{}")});
        Waiter w;
        m_bot->sendMessage(QStringLiteral("@c"), QStringLiteral("*under_score*"), TelegramBot::ParseMode::Markdown, this,
                           w.callback());
        const TelegramResult r = wait(w);
        QVERIFY(r.ok);
        QVERIFY(r.markdownRetried);
        QVERIFY(r.markdownError.contains("can't parse entities"));
        QCOMPARE(m_api->requests.size(), 2);
        QCOMPARE(m_api->requests[0].json().value("parse_mode").toString(), QStringLiteral("Markdown"));
        QVERIFY(!m_api->requests[1].json().contains("parse_mode"));
        QCOMPARE(m_api->requests[1].json().value("text").toString(), QStringLiteral("*under_score*"));

        // Other refusals are not retried; a plain message is never retried.
        m_api->requests.clear();
        m_api->script("sendMessage", {FakeBotApi::refused(400, "Bad Request: chat not found")});
        Waiter other;
        m_bot->sendMessage(QStringLiteral("@c"), QStringLiteral("x"), TelegramBot::ParseMode::Markdown, this,
                           other.callback());
        QVERIFY(!wait(other).ok);
        QCOMPARE(other.result->error, QStringLiteral("Telegram refused the request: Bad Request: chat not found (error 400)"));
        QCOMPARE(m_api->requests.size(), 1);
    }

    void failuresInPlainWordsWithoutTheToken_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected");
        QTest::newRow("refused") << "refused" << "Telegram refused the request: Unauthorized (error 401)";
        QTest::newRow("bare status") << "status" << "Telegram answered with HTTP status 502.";
        QTest::newRow("malformed") << "malformed" << "Telegram's answer could not be read.";
        QTest::newRow("no server") << "closed" << "Telegram could not be reached: ";
        QTest::newRow("time-out") << "silent" << "Telegram did not answer within 1 s.";
    }
    void failuresInPlainWordsWithoutTheToken()
    {
        QFETCH(QString, kind);
        QFETCH(QString, expected);
        if (kind == "refused")
            m_api->script("getMe", {FakeBotApi::refused(401, "Unauthorized")});
        else if (kind == "status")
            m_api->script("getMe", {{502, "<html>bad gateway " + kToken.toUtf8() + "</html>"}});
        else if (kind == "malformed")
            m_api->script("getMe", {{200, "{\"ok\":tru"}});
        else if (kind == "silent")
            m_api->silent = true;
        if (kind == "closed") {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
            const quint16 port = closed.serverPort();
            closed.close();
            m_bot->setBaseUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
        }
        m_bot->setTimeoutMs(300);
        Waiter w;
        m_bot->getMe(this, w.callback());
        const TelegramResult r = wait(w);
        QVERIFY(!r.ok);
        QVERIFY2(r.error.startsWith(expected), qPrintable(r.error));
        QVERIFY2(!r.error.contains("SECRET"), qPrintable(r.error));
        QCOMPARE(m_bot->requestsInFlight(), 0);
    }

    void tokenIsMaskedInAnyText()
    {
        QCOMPARE(m_bot->masked("Error transferring http://h/bot" + kToken + "/getMe - x"),
                 QStringLiteral("Error transferring http://h/bot<token>/getMe - x"));
        QCOMPARE(m_bot->masked("bot123456%3ASECRET-token_x"), QStringLiteral("bot<token>"));
    }

    void addressesItRefuses_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("usable");
        QTest::newRow("public https") << "https://api.telegram.org" << true;
        QTest::newRow("https elsewhere") << "https://bots.example.org/tg/" << true;
        QTest::newRow("loopback http") << "http://127.0.0.1:8081" << true;
        QTest::newRow("ipv6 loopback http") << "http://[::1]:8081" << true;
        QTest::newRow("localhost http") << "http://localhost:8081" << true;
        QTest::newRow("plain http elsewhere") << "http://api.telegram.org" << false;
        QTest::newRow("plain http lan") << "http://192.168.1.5" << false;
        QTest::newRow("no scheme") << "api.telegram.org" << false;
        QTest::newRow("ftp") << "ftp://api.telegram.org" << false;
        QTest::newRow("empty") << "" << false;
    }
    void addressesItRefuses()
    {
        QFETCH(QString, url);
        QFETCH(bool, usable);
        m_bot->setBaseUrl(url);
        QCOMPARE(m_bot->baseUrlProblem().isEmpty(), usable);
        if (usable)
            return;
        // A refused address sends nothing and says why.
        Waiter w;
        m_bot->getMe(this, w.callback());
        QVERIFY(!wait(w).ok);
        QVERIFY(w.result->error.contains("TelegaApiUrl"));
        QCOMPARE(m_bot->requestsInFlight(), 0);
    }

    void noTokenSendsNothing()
    {
        m_bot->setToken(QString());
        Waiter w;
        m_bot->sendMessage(QStringLiteral("@c"), QStringLiteral("x"), TelegramBot::ParseMode::Markdown, this,
                           w.callback());
        QVERIFY(!wait(w).ok);
        QVERIFY(w.result->error.startsWith("No bot token is set"));
        QVERIFY(m_api->requests.isEmpty());
    }

    void abortedOrOrphanedRequestsRunNoCallback()
    {
        m_api->silent = true;
        bool called = false;
        {
            QObject context;
            m_bot->getMe(&context, [&called](const TelegramResult &) { called = true; });
            QTRY_COMPARE(m_api->requests.size(), 1);
        }
        m_bot->getMe(this, [&called](const TelegramResult &) { called = true; });
        QTRY_COMPARE(m_api->requests.size(), 2);
        QCOMPARE(m_bot->requestsInFlight(), 2);
        m_bot->abortAll();
        QCOMPARE(m_bot->requestsInFlight(), 0);
        QTest::qWait(50);
        QVERIFY(!called);
    }
};

QTEST_MAIN(TestTelegramBot)
#include "tst_telegrambot.moc"
