// The registry service's addresses and signatures, and sending a stage's
// results, against a stand-in service on 127.0.0.1.
#include "core/settings.h"
#include "online/registryclient.h"
#include "online/registryexport.h"
#include "online/telegramtexts.h"
#include "store/database.h"
#include "tests/online/droppingserver.h"
#include "tests/online/registryfakeserver.h"

#include <QCryptographicHash>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;
using lapvane::test::RegistryFakeServer;

namespace {

QString md5(const QString &text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
}

const QString kStage = QString::fromUtf8("Финал & Co=1");

} // namespace

class TestRegistryExport : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<RegistryFakeServer> m_server;
    std::unique_ptr<RegistryClient> m_client;
    std::unique_ptr<RegistryExport> m_export;

    void exec(const QString &sql, const QVariantList &binds = {})
    {
        QSqlQuery q(m_db->db());
        q.prepare(sql);
        for (const QVariant &b : binds)
            q.addBindValue(b);
        QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
    }
    int addStage(const QString &name, const QVariant &tracklen)
    {
        exec("INSERT INTO stages (events, stagename, laplimit, tracklen) VALUES (1, ?, 5, ?)", {name, tracklen});
        QSqlQuery q("SELECT max(id) FROM stages", m_db->db());
        q.next();
        return q.value(0).toInt();
    }
    void addResult(int stage, int pilotId, const QString &name, int laps, int bestMs, const QString &bestText, int place)
    {
        exec("INSERT INTO results (stage, pilotid, pilotname, lapno, besttime, besttimetxt, place) "
             "VALUES (?, ?, ?, ?, ?, ?, ?)",
             {stage, pilotId, name, laps, bestMs, bestText, place});
    }
    bool runExport(const QString &unic, int stage)
    {
        QSignalSpy finished(m_export.get(), &RegistryExport::finished);
        if (!m_export->start(unic, stage))
            return false;
        return finished.count() > 0 || finished.wait(5000);
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::remove(m_dir.filePath("dbpilots.db"));
        m_db = std::make_unique<Database>();
        QVERIFY(m_db->open(m_dir.filePath("dbpilots.db"), "export"));
        m_settings = std::make_unique<Settings>();
        m_server = std::make_unique<RegistryFakeServer>();
        m_settings->set("edaerolisturl", m_server->baseUrl() + "/");
        m_settings->set("edaerolistsalt", "s@lt");
        m_client = std::make_unique<RegistryClient>(*m_settings);
        m_export = std::make_unique<RegistryExport>(m_db->db(), *m_client);
        m_export->setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        m_server->answer("/rest_api/make_fly.php", {200, "{\"ok\":1}", "application/json", false});
    }
    void cleanup()
    {
        m_export.reset();
        m_client.reset();
        m_server.reset();
        m_db.reset();
    }

    void signatureIsLowerCaseMd5OfUtf8()
    {
        // RFC 1321 test suite values.
        QCOMPARE(RegistryClient::signature(""), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
        QCOMPARE(RegistryClient::signature("abc"), QStringLiteral("900150983cd24fb0d6963f7d28e17f72"));
        QCOMPARE(RegistryClient::signature(QString::fromUtf8("Я")), md5(QString::fromUtf8("Я")));
    }

    void baseAddressRules_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("base"); // empty: refused
        QTest::newRow("empty") << "" << "";
        QTest::newRow("https") << "https://aerolist.example/api/" << "https://aerolist.example/api";
        QTest::newRow("loopback http") << "http://127.0.0.1:8080" << "http://127.0.0.1:8080";
        QTest::newRow("ipv6 loopback") << "http://[::1]:81/" << "http://[::1]:81";
        QTest::newRow("plain http elsewhere") << "http://aerolist.example" << "";
        QTest::newRow("no scheme") << "aerolist.example" << "";
        QTest::newRow("ftp") << "ftp://127.0.0.1" << "";
    }
    void baseAddressRules()
    {
        QFETCH(QString, address);
        QFETCH(QString, base);
        m_settings->set("edaerolisturl", address);
        QString error;
        const QUrl url = m_client->baseAddress(&error);
        QCOMPARE(url.toString(), base);
        QCOMPARE(error.isEmpty(), !base.isEmpty());
    }

    void eventRequestIsSignedWithTypeUnicAndSalt()
    {
        QString error;
        const QUrl url = m_client->eventUrl(0, QString::fromUtf8("ев&1"), &error);
        QVERIFY(error.isEmpty());
        const QByteArray encoded = url.toEncoded();
        QVERIFY(encoded.startsWith(m_server->baseUrl().toLatin1() + "/rest_api/get_events.php?type=0&unic="));
        const auto items = RegistryFakeServer::decodeQuery(encoded);
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[1].second, QString::fromUtf8("ев&1"));
        QCOMPARE(items[2], qMakePair(QStringLiteral("hash"), md5(QString::fromUtf8("0ев&1s@lt"))));
    }

    void speedText_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("dist");
        QTest::addColumn<qint64>("bestMs");
        QTest::addColumn<QString>("speed"); // empty: cannot be computed
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QLocale de(QLocale::German, QLocale::Germany);
        QTest::newRow("plain") << us << "100" << qint64(10000) << "36.0";
        QTest::newRow("no track") << us << "0" << qint64(12345) << "0.0";
        QTest::newRow("five digits") << us << "123.456" << qint64(1000) << "444.4";
        QTest::newRow("thousands") << us << "100000" << qint64(1000) << "360,000.0";
        QTest::newRow("comma locale") << de << "1,5" << qint64(1000) << "5,4";
        QTest::newRow("rounded once, not at 5 digits first") << us << "683.501" << qint64(36000) << "68.4";
        QTest::newRow("not a number") << us << "abc" << qint64(1000) << "";
        QTest::newRow("best lap 0") << us << "100" << qint64(0) << "";
    }
    void speedText()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, dist);
        QFETCH(qint64, bestMs);
        QFETCH(QString, speed);
        QString text, error;
        QCOMPARE(RegistryExport::speedText(dist, bestMs, locale, &text, &error), !speed.isEmpty());
        if (!speed.isEmpty())
            QCOMPARE(text, speed);
        else
            QVERIFY(!error.isEmpty());
    }

    // The registry service and the Telegram race result show one speed.
    void speedIsWrittenAsTheTelegramResultWritesIt()
    {
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        int compared = 0;
        for (const char *dist : {"683.501", "120.5", "400", "1367", "99.99", "12345.6", "250000"}) {
            for (qint64 ms = 1000; ms < 90000; ms += 777) {
                QString text, error;
                QVERIFY(RegistryExport::speedText(dist, ms, us, &text, &error));
                QCOMPARE("(" + text + " км/ч)", telegramtexts::speedText(dist, ms, us));
                ++compared;
            }
        }
        QVERIFY(compared > 700);
    }

    void stageResultsAreSentSignedAndEncoded()
    {
        exec("INSERT INTO pilots (id, name, login) VALUES (7, 'Ann', 'ann@x.org')");
        const int stage = addStage(kStage, "120.5");
        addResult(stage, 7, "Ann", 5, 12345, "000:12.345", 1);
        addResult(stage, 99, "Ghost", 3, 20000, "000:20.000", 2); // not in the registry
        QVERIFY(runExport("ev42", stage));

        const QList<QByteArray> sent = m_server->targetsFor("/rest_api/make_fly.php");
        QCOMPARE(sent.size(), 2);
        // "&" and "=" inside a value are encoded, so the query keeps 13 keys.
        QCOMPARE(sent[0].split('&').size(), 13);
        QVERIFY(sent[0].contains("race_name=%D0%A4%D0%B8%D0%BD%D0%B0%D0%BB%20%26%20Co%3D1&"));

        const QString salt = "s@lt";
        const QStringList annValues = {"1", "ann@x.org", "ev42", kStage, "5", "120.5", "5", "000:12.345", "0", "0",
                                       "35.1", "1"};
        const QStringList ghostValues = {"1", "noemail", "ev42", kStage, "5", "120.5", "3", "000:20.000", "0", "0",
                                         "21.7", "2"};
        const QStringList keys = {"type", "email", "event_unic", "race_name", "race_laps", "race_dist", "pilot_lap",
                                  "best_lap", "avg_lap", "slow_lap", "pilot_speed", "pilot_position", "hash"};
        for (const auto &[target, values] : {qMakePair(sent[0], annValues), qMakePair(sent[1], ghostValues)}) {
            const auto items = RegistryFakeServer::decodeQuery(target);
            QStringList gotKeys, gotValues;
            for (const auto &[k, v] : items) {
                gotKeys << k;
                gotValues << v;
            }
            QCOMPARE(gotKeys, keys);
            QCOMPARE(gotValues.mid(0, 12), values);
            // The signature is formed from the values as they are, then the salt.
            QCOMPARE(gotValues[12], md5(values.join("") + salt));
        }

        const QString annSigned = annValues.join("") + salt;
        QStringList expected = {"Log", "== Ann ==", annSigned, "---"};
        QStringList plain;
        for (int i = 0; i < 12; ++i)
            plain << keys[i] + "=" + annValues[i];
        plain << "hash=" + md5(annSigned);
        expected << plain.join("&") << "---" << "{\"ok\":1}" << "---";
        QCOMPARE(m_export->log().mid(0, expected.size()), expected);
        QCOMPARE(m_export->log().last(), QStringLiteral("---"));
        QVERIFY(!m_export->running());
    }

    void stageWithoutTrackLengthSendsZero()
    {
        const int stage = addStage("Quali", QVariant(QMetaType::fromType<QString>()));
        addResult(stage, 1, "Bob", 2, 30000, "000:30.000", 999);
        QVERIFY(runExport("ev42", stage));
        const auto items = RegistryFakeServer::decodeQuery(m_server->targets.value(0));
        QCOMPARE(items.value(5), qMakePair(QStringLiteral("race_dist"), QStringLiteral("0")));
        QCOMPARE(items.value(10), qMakePair(QStringLiteral("pilot_speed"), QStringLiteral("0.0")));
    }

    void failedRequestIsLoggedAndTheNextPilotFollows()
    {
        m_server->answer("/rest_api/make_fly.php", {500, "down", "text/plain", false});
        const int stage = addStage("Final", "100");
        addResult(stage, 1, "Ann", 5, 10000, "000:10.000", 1);
        addResult(stage, 2, "Bob", 5, 11000, "000:11.000", 2);
        QVERIFY(runExport("ev42", stage));
        QCOMPARE(m_server->targets.size(), 2);
        const QStringList log = m_export->log();
        QCOMPARE(log.count("Error posting data. Check internet connection."), 2);
        const int bob = log.indexOf("== Bob ==");
        QVERIFY(bob > 0);
        QCOMPARE(log[bob - 1], QStringLiteral("---"));
        QVERIFY2(log[bob - 2].contains("HTTP 500"), qPrintable(log[bob - 2]));
    }

    // A connection that drops after the service has read a result: the failure is logged and the
    // result is never sent a second time by the network layer, neither as the first request of a
    // connection nor on a connection kept open after an earlier answer.
    void droppedConnectionIsLoggedNotResent_data()
    {
        QTest::addColumn<int>("answered");
        QTest::newRow("first request") << 0;
        QTest::newRow("after an answered one") << 1;
    }
    void droppedConnectionIsLoggedNotResent()
    {
        QFETCH(int, answered);
        test::DroppingServer server(answered, "{\"ok\":1}");
        QVERIFY(server.isListening());
        m_settings->set("edaerolisturl", server.baseUrl());
        const int stage = addStage("Final", "100");
        for (int i = 0; i <= answered; ++i)
            addResult(stage, i + 1, QString("Pilot %1").arg(i), 5, 10000 + i, "000:10.000", i + 1);
        QVERIFY(runExport("ev42", stage));
        QTest::qWait(300); // a resend would arrive meanwhile
        QCOMPARE(server.requests.size(), answered + 1);
        QCOMPARE(m_export->log().count("Error posting data. Check internet connection."), 1);
        QCOMPARE(m_client->pending(), 0);
    }

    void exportThatCannotStart_data()
    {
        QTest::addColumn<QString>("tracklen");
        QTest::addColumn<bool>("withResults");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("message");
        QTest::newRow("no results") << "100" << false << "" << "No stages found";
        QTest::newRow("no address") << "100" << true << "-" << "The Aerolist address is not set";
        QTest::newRow("speed") << "long" << true << "" << "Export stopped at Ann: the speed cannot be computed";
    }
    void exportThatCannotStart()
    {
        QFETCH(QString, tracklen);
        QFETCH(bool, withResults);
        QFETCH(QString, address);
        QFETCH(QString, message);
        if (address == "-")
            m_settings->set("edaerolisturl", "");
        const int stage = addStage("Final", tracklen);
        if (withResults)
            addResult(stage, 1, "Ann", 5, 10000, "000:10.000", 1);
        QSignalSpy failed(m_export.get(), &RegistryExport::failed);
        QSignalSpy finished(m_export.get(), &RegistryExport::finished);
        m_export->start("ev42", stage);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(failed.count(), 1);
        QVERIFY2(failed[0][0].toString().startsWith(message), qPrintable(failed[0][0].toString()));
        QVERIFY(m_server->targets.isEmpty());
        QVERIFY(!m_export->running());
    }

    void silentServiceTimesOutWithoutHoldingTheCaller()
    {
        m_server->answer("/rest_api/make_fly.php", {200, "", "", true});
        m_client->setTimeoutMs(300);
        const int stage = addStage("Final", "100");
        addResult(stage, 1, "Ann", 5, 10000, "000:10.000", 1);
        QSignalSpy finished(m_export.get(), &RegistryExport::finished);
        QVERIFY(m_export->start("ev42", stage));
        // The request is under way, not waited for.
        QVERIFY(m_export->running());
        QCOMPARE(finished.count(), 0);
        QVERIFY(finished.wait(5000));
        QVERIFY(m_export->log().contains("Error posting data. Check internet connection."));
        QVERIFY(m_export->log().contains("Sending the result of Ann failed: no answer within 0.3 s."));
    }
};

QTEST_GUILESS_MAIN(TestRegistryExport)
#include "tst_registryexport.moc"
