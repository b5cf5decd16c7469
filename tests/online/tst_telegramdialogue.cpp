// The bot dialogue: the rules for addressed messages, the handling of a batch
// (repeats, updates without a message, refusals that end it, failures, the
// option off) and the receiver's polling, against a stand-in Bot API.
#include "online/telegrambot.h"
#include "online/telegramdialogue.h"
#include "tests/online/fakebotapi.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

using namespace lapvane;
using lapvane::test::FakeBotApi;

namespace {

QByteArray message(qint64 id, const QString &text, qint64 chat = 555, const QString &first = "Иван")
{
    const QJsonObject o{{"update_id", id},
                        {"message", QJsonObject{{"message_id", 1},
                                                {"text", text},
                                                {"chat", QJsonObject{{"id", chat}, {"title", "Track"}}},
                                                {"from", QJsonObject{{"id", 42}, {"first_name", first},
                                                                     {"last_name", "Петров"}}}}}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray edited(qint64 id)
{
    return "{\"update_id\":" + QByteArray::number(id) + ",\"edited_message\":{\"text\":\"Помощник, привет\"}}";
}

QByteArray batch(const QList<QByteArray> &updates)
{
    return "[" + updates.toList().join(',') + "]";
}

} // namespace

class TestTelegramDialogue : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<FakeBotApi> m_api;
    std::unique_ptr<TelegramBot> m_bot;
    std::unique_ptr<TelegramDialogue> m_dialogue;
    QStringList m_log;
    bool m_receiving = true;
    bool m_stageSelected = false;

    // Hands a batch to the handler and waits until it is done.
    void handle(const QByteArray &updatesJson)
    {
        bool done = false;
        m_dialogue->telega1rcvUpdates(parseUpdates(QJsonDocument::fromJson(updatesJson).array()),
                                      [&done] { done = true; });
        QTRY_VERIFY(done);
    }
    QStringList answers() const
    {
        QStringList out;
        for (const auto &r : m_api->requestsFor("sendMessage"))
            out << QString::number(r.json().value("chat_id").toInteger()) + ": " + r.json().value("text").toString();
        return out;
    }

private slots:
    void init()
    {
        m_api = std::make_unique<FakeBotApi>();
        m_bot = std::make_unique<TelegramBot>();
        m_bot->setBaseUrl(m_api->baseUrl());
        m_bot->setToken("1:T");
        m_receiving = true;
        m_stageSelected = false;
        m_dialogue = std::make_unique<TelegramDialogue>(
            *m_bot, TelegramDialogue::Sources{[this] { return m_receiving; }, [this] { return m_stageSelected; },
                                              [] { return QStringLiteral("*groups_text*"); },
                                              [] { return QStringLiteral("*results_text*"); }});
        m_log.clear();
        connect(m_dialogue.get(), &TelegramDialogue::logLine, this, [this](const QString &l) { m_log << l; });
    }
    void cleanup()
    {
        m_dialogue.reset();
        m_bot.reset();
        m_api.reset();
    }

    void rules_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("stage");
        QTest::addColumn<QString>("answer"); // "-" not addressed; "=R"/"=G" the stage texts
        QTest::addColumn<bool>("ends");
        const QString intro = "Иван, я - информационный бот, встроенный в систему хронометража Lapvane. Помогаю пилотам "
                              "узнавать результаты во время гонки. ";
        QTest::newRow("greeting") << "Помощник, привет!" << false << "Привет, Иван" << false;
        QTest::newRow("greeting before the address") << "Привет, помощник!" << false << "-" << false;
        QTest::newRow("address after two characters") << "  помощник, привет" << false << "-" << false;
        QTest::newRow("address upper case") << "ПОМОЩНИК, ПРИВЕТ" << false << "Привет, Иван" << false;
        QTest::newRow("address without its first letter") << "омощник, привет" << false << "Привет, Иван" << false;
        QTest::newRow("address without comma") << "Помощник привет" << false << "-" << false;
        QTest::newRow("greeting beats results") << "Помощник, привет, дай результаты" << false << "Привет, Иван" << false;
        QTest::newRow("results") << "Помощник, дай результаты" << true << "=R" << false;
        QTest::newRow("table") << "помощник, дай таблицу" << true << "=R" << false;
        QTest::newRow("results, no stage") << "Помощник, дай результаты" << false << "Сейчас не могу дать результаты..."
                                           << true;
        QTest::newRow("groups") << "Помощник, дай группы" << true << "=G" << false;
        QTest::newRow("groups, no stage") << "Помощник, дай группы" << false << "Пока не могу дать группы..." << true;
        QTest::newRow("ай without груп") << "Помощник, дайте пока" << false << "ну, бывай, Иван-брат!" << false;
        QTest::newRow("bye") << "Помощник, пока" << false << "ну, бывай, Иван-брат!" << false;
        QTest::newRow("who are you") << "Помощник, кто ты?" << false << intro << false;
        QTest::newRow("ты without кто") << "Помощник, ты где?" << false << "Иван, не понял..." << false;
        QTest::newRow("anything else") << "Помощник, как дела?" << false << "Иван, не понял..." << false;
    }
    void rules()
    {
        QFETCH(QString, text);
        QFETCH(bool, stage);
        QFETCH(QString, answer);
        QFETCH(bool, ends);
        const QString lower = text.toLower();
        QCOMPARE(isAddressed(lower), answer != "-");
        if (answer == "-")
            return;
        const DialogueAnswer a = chooseAnswer(lower, "Иван", stage);
        if (answer == "=R")
            QCOMPARE(a.kind, DialogueAnswer::Results);
        else if (answer == "=G")
            QCOMPARE(a.kind, DialogueAnswer::Groups);
        else
            QCOMPARE(a.text, answer);
        QCOMPARE(a.endsBatch, ends);
    }

    void batchIsAnsweredInOrderAndARefusalEndsIt()
    {
        handle(batch({message(10, "Помощник, привет"), edited(11), message(12, "привет всем"),
                      message(13, "Помощник, дай результаты", 777), message(14, "Помощник, ты кто")}));
        QCOMPARE(answers(), QStringList({"555: Привет, Иван", "777: Сейчас не могу дать результаты..."}));
        for (const auto &r : m_api->requestsFor("sendMessage"))
            QVERIFY(!r.json().contains("parse_mode"));
        QVERIFY(m_log.first().startsWith("rnd="));
        const int rnd = m_log.first().mid(4).toInt();
        QVERIFY(rnd >= 0 && rnd < 100);
        QCOMPARE(m_log.mid(1), QStringList({"10", "chat: 555 Track", "user: 42 Иван Петров", "Помощник, привет", "-----",
                                            "12", "13", "chat: 777 Track", "user: 42 Иван Петров",
                                            "Помощник, дай результаты", "-----"}));
        QCOMPARE(m_dialogue->firstUpdateId(), qint64(10));

        // The stage texts go out as they are, without a parse mode.
        m_log.clear();
        m_stageSelected = true;
        handle(batch({message(20, "Помощник, дай группы"), message(21, "помощник, дай таблицу")}));
        QCOMPARE(answers().mid(2), QStringList({"555: *groups_text*", "555: *results_text*"}));

        // A batch starting with the first update of the previous one is a repeat.
        m_log.clear();
        handle(batch({message(20, "Помощник, привет"), message(22, "Помощник, привет")}));
        QCOMPARE(m_log.mid(1), QStringList({"Repeat update (20)"}));
        QCOMPARE(answers().size(), 4);
    }

    void optionOffOnlyCountsTheBatch()
    {
        m_receiving = false;
        handle(batch({message(30, "Помощник, привет")}));
        QCOMPARE(m_log.size(), 1);
        QVERIFY(m_log.first().startsWith("rnd="));
        QVERIFY(m_api->requests.isEmpty());
    }

    void failedAnswerEndsTheBatchWithError()
    {
        m_api->script("sendMessage", {FakeBotApi::refused(403, "Forbidden: bot was blocked by the user")});
        handle(batch({message(40, "Помощник, привет"), message(41, "Помощник, пока")}));
        QCOMPARE(m_api->requestsFor("sendMessage").size(), 1);
        QCOMPARE(m_log.mid(m_log.size() - 2),
                 QStringList({"error", "Telegram refused the request: Forbidden: bot was blocked by the user (error 403)"}));
        QVERIFY(!m_log.contains("41"));
    }

    void receiverPollsWithOffsetLimitAndNoLongPolling()
    {
        TelegramReceiver receiver(*m_bot, *m_dialogue);
        receiver.setIntervalMs(5);
        QStringList receiverLog;
        connect(&receiver, &TelegramReceiver::logLine, this, [&receiverLog](const QString &l) { receiverLog << l; });
        m_api->script("getUpdates", {FakeBotApi::ok(batch({message(7, "Помощник, привет"), message(8, "x")})),
                                     {500, "oops"}, {500, "oops"}, FakeBotApi::ok("[]")});
        receiver.setOn(true);
        QTRY_VERIFY(m_api->requestsFor("getUpdates").size() >= 5);
        receiver.setOn(false);
        const auto polls = m_api->requestsFor("getUpdates");
        QCOMPARE(polls[0].json(), QJsonObject({{"offset", 0}, {"limit", 100}, {"timeout", 0}}));
        for (int i = 1; i < polls.size(); ++i)
            QCOMPARE(polls[i].json(), QJsonObject({{"offset", 9}, {"limit", 100}, {"timeout", 0}}));
        QCOMPARE(answers(), QStringList({"555: Привет, Иван"}));
        // A failing poll is reported once, and again only after it worked.
        QCOMPARE(receiverLog, QStringList({"getUpdates failed: Telegram answered with HTTP status 500.",
                                           "getUpdates works again"}));

        // Off: no more polls (one sent just before may still arrive). On again: the offset is kept.
        QTest::qWait(50);
        const int count = int(m_api->requests.size());
        QTest::qWait(50);
        QCOMPARE(int(m_api->requests.size()), count);
        receiver.setOn(true);
        QTRY_VERIFY(m_api->requestsFor("getUpdates").size() > polls.size());
        QCOMPARE(m_api->requestsFor("getUpdates").last().json().value("offset").toInteger(), qint64(9));
        QCOMPARE(receiver.offset(), qint64(9));
    }

    // After update 500 the offset is 501; a malformed answer changes nothing and the offset
    // never goes down.
    void malformedUpdatesLeaveTheOffset_data()
    {
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<bool>("reported");
        QTest::newRow("no update_id") << QByteArray("[{}]") << qint64(501) << true;
        QTest::newRow("update_id as text") << QByteArray("[{\"update_id\":\"600\"}]") << qint64(501) << true;
        QTest::newRow("fraction") << QByteArray("[{\"update_id\":600.5}]") << qint64(501) << true;
        QTest::newRow("negative") << QByteArray("[{\"update_id\":-1}]") << qint64(501) << true;
        QTest::newRow("largest 64-bit") << QByteArray("[{\"update_id\":9223372036854775807}]") << qint64(501) << true;
        QTest::newRow("beyond 64 bits") << QByteArray("[{\"update_id\":1e300}]") << qint64(501) << true;
        QTest::newRow("result not a list") << QByteArray("{\"update_id\":600}") << qint64(501) << false;
        QTest::newRow("an older id") << QByteArray("[{\"update_id\":3}]") << qint64(501) << false;
        QTest::newRow("a good id among bad ones")
            << QByteArray("[{\"update_id\":601},{},{\"update_id\":2}]") << qint64(602) << true;
    }
    void malformedUpdatesLeaveTheOffset()
    {
        QFETCH(QByteArray, result);
        QFETCH(qint64, offset);
        QFETCH(bool, reported);
        TelegramReceiver receiver(*m_bot, *m_dialogue);
        receiver.setIntervalMs(5);
        QStringList receiverLog;
        connect(&receiver, &TelegramReceiver::logLine, this, [&receiverLog](const QString &l) { receiverLog << l; });
        m_api->script("getUpdates", {FakeBotApi::ok(batch({message(500, "x")})), FakeBotApi::ok(result),
                                     FakeBotApi::ok("[]")});
        receiver.setOn(true);
        QTRY_VERIFY(m_api->requestsFor("getUpdates").size() >= 4);
        receiver.setOn(false);
        const auto polls = m_api->requestsFor("getUpdates");
        QCOMPARE(polls[1].json().value("offset").toInteger(), qint64(501));
        QCOMPARE(polls[2].json().value("offset").toInteger(), offset);
        QCOMPARE(receiver.offset(), offset);
        QCOMPARE(receiverLog.filter("without a valid update_id").size(), reported ? 1 : 0);
    }
};

QTEST_MAIN(TestTelegramDialogue)
#include "tst_telegramdialogue.moc"
