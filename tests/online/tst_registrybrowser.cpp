// The registry browser against a stand-in service on 127.0.0.1: loading an
// event's pilots, stepping through them, photos, and copying a pilot with
// his photo into the local registry.
#include "core/settings.h"
#include "events/pilotregistry.h"
#include "online/registrybrowser.h"
#include "online/registryclient.h"
#include "store/database.h"
#include "tests/common/scriptedprompt.h"
#include "tests/online/registryfakeserver.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QImage>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;
using lapvane::test::RegistryFakeServer;

namespace {

QByteArray jpeg(const QColor &color)
{
    QImage image(16, 12, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return bytes;
}

QByteArray pilotJson(int id, const QString &fname, const QString &lname, const QString &photo)
{
    return QStringLiteral("{\"id\":%1,\"chat_id\":\"55%1\",\"event_unic\":\"ev42\",\"add_date\":\"2026-12-01\","
                          "\"fname\":\"%2\",\"lname\":\"%3\",\"email\":\"p%1@x.org\",\"osd_name\":\"OSD%1\","
                          "\"photo_file\":\"%4\"}")
        .arg(id)
        .arg(fname, lname, photo)
        .toUtf8();
}

QByteArray answerWith(const QList<QByteArray> &pilots)
{
    QByteArray list;
    for (const QByteArray &p : pilots)
        list += (list.isEmpty() ? "" : ",") + p;
    return "{\"data\":[{\"unic\":\"ev42\",\"pilots\":[" + list + "]}],\"status\":\"ok\"}";
}

const QByteArray kEventsPath = "/rest_api/get_events.php";

} // namespace

class TestRegistryBrowser : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<Settings> m_settings;
    test::ScriptedPrompt m_prompt;
    std::unique_ptr<RegistryFakeServer> m_server;
    std::unique_ptr<RegistryClient> m_client;
    std::unique_ptr<PilotRegistry> m_registry;
    std::unique_ptr<RegistryBrowser> m_browser;
    QByteArray m_red = jpeg(Qt::red);
    QByteArray m_blue = jpeg(Qt::blue);

    QVariantMap pilotRow(int id)
    {
        QSqlQuery q(m_db->db());
        q.prepare("SELECT name, nickname, login, telegaid FROM pilots WHERE id=?");
        q.addBindValue(id);
        q.exec();
        if (!q.next())
            return {};
        return {{"name", q.value(0)}, {"nickname", q.value(1)}, {"login", q.value(2)}, {"telegaid", q.value(3)}};
    }
    QByteArray fileBytes(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Loads the two pilots of the standard answer and waits for the first photo.
    void loadTwo()
    {
        m_browser->btgetdataClick("ev42");
        QTRY_COMPARE(m_browser->totalpilots(), 2);
        QTRY_VERIFY(!m_browser->photo().isNull());
    }
    void selectLocal(int id)
    {
        const int src = m_registry->model()->rowOfKey(id);
        m_registry->setCurrentViewRow(m_registry->view()->mapFromSource(m_registry->model()->index(src, 0)).row());
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QDir(m_dir.filePath("photos")).removeRecursively();
        QFile::remove(m_dir.filePath("dbpilots.db"));
        m_db = std::make_unique<Database>();
        QVERIFY(m_db->open(m_dir.filePath("dbpilots.db"), "browser"));
        QSqlQuery q(m_db->db());
        QVERIFY(q.exec("INSERT INTO pilots (id, name, login) VALUES (5, 'Old Name', 'old@x.org')"));
        m_settings = std::make_unique<Settings>();
        m_server = std::make_unique<RegistryFakeServer>();
        m_settings->set("edaerolisturl", m_server->baseUrl());
        m_settings->set("edaerolistsalt", QString::fromUtf8("соль"));
        m_client = std::make_unique<RegistryClient>(*m_settings);
        m_prompt = {};
        m_registry = std::make_unique<PilotRegistry>(m_db->db(), m_dir.path(), m_prompt);
        QVERIFY(m_registry->open());
        m_browser = std::make_unique<RegistryBrowser>(*m_client, *m_registry, m_dir.path());
        m_server->answer(kEventsPath, {200,
                                       answerWith({pilotJson(101, "Ann", "Smith", "a.jpg"),
                                                   pilotJson(102, QString::fromUtf8("Иван"), QString::fromUtf8("Петров"),
                                                             "b b.jpg")}),
                                       "application/json", false});
        m_server->answer("/pilots_foto/a.jpg", {200, m_red, "image/jpeg", false});
        m_server->answer("/pilots_foto/b%20b.jpg", {200, m_blue, "image/jpeg", false});
    }
    void cleanup()
    {
        m_browser.reset();
        m_registry.reset();
        m_client.reset();
        m_server.reset();
        m_db.reset();
    }

    void getDataShowsTheFirstPilotWithHisPhoto()
    {
        loadTwo();
        const QByteArray target = m_server->targetsFor(kEventsPath).value(0);
        const auto items = RegistryFakeServer::decodeQuery(target);
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0], qMakePair(QStringLiteral("type"), QStringLiteral("0")));
        QCOMPARE(items[1], qMakePair(QStringLiteral("unic"), QStringLiteral("ev42")));
        const QString expected = QString::fromLatin1(
            QCryptographicHash::hash(QString::fromUtf8("0ev42соль").toUtf8(), QCryptographicHash::Md5).toHex());
        QCOMPARE(items[2], qMakePair(QStringLiteral("hash"), expected));

        // The log holds the whole answer.
        QCOMPARE(m_browser->log().size(), 1);
        QVERIFY(m_browser->log().first().startsWith("{\"data\":[{\"unic\":\"ev42\",\"pilots\":[{\"id\":101,"));
        QCOMPARE(m_browser->countText(), QStringLiteral("2"));
        QCOMPARE(m_browser->positionText(), QStringLiteral("1/2"));
        QCOMPARE(m_browser->photoFile(), QStringLiteral("a.jpg"));
        const QueryItems shown = m_browser->shownPilot();
        QStringList keys, values;
        for (const auto &[k, v] : shown) {
            keys << k;
            values << v;
        }
        QCOMPARE(keys, RegistryBrowser::fieldNames());
        QCOMPARE(values, QStringList({"101", "55101", "ev42", "2026-12-01", "Ann", "Smith", "p101@x.org", "OSD101",
                                      "a.jpg"}));
        QVERIFY(m_browser->photo().pixelColor(8, 6).red() > 200);
    }

    void prevAndNextStayWithinTheList()
    {
        loadTwo();
        m_browser->btprevClick(); // on the first: unchanged, the photo fetched again
        QCOMPARE(m_browser->positionText(), QStringLiteral("1/2"));
        QTRY_COMPARE(m_server->targetsFor("/pilots_foto/a.jpg").size(), 2);
        m_browser->btnextClick();
        QCOMPARE(m_browser->positionText(), QStringLiteral("2/2"));
        QCOMPARE(m_browser->btlocateClick(), QString::fromUtf8("Петров"));
        m_browser->btnextClick(); // on the last: unchanged
        QCOMPARE(m_browser->currentpilot(), 1);
        QTRY_COMPARE(m_server->targetsFor("/pilots_foto/b%20b.jpg").size(), 2);
        QTRY_VERIFY(!m_browser->photo().isNull() && m_browser->photo().pixelColor(8, 6).blue() > 200);
        QCOMPARE(m_browser->photoFile(), QStringLiteral("b b.jpg"));
    }

    void photoThatIsNotAJpegShowsNoPhoto()
    {
        m_server->answer("/pilots_foto/a.jpg", {200, "<html>gone</html>", "text/html", false});
        m_browser->btgetdataClick("ev42");
        QTRY_COMPARE(m_browser->photoFile(), QStringLiteral("no photo"));
        QVERIFY(m_browser->photo().isNull());
    }

    void malformedAnswerChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("not json") << QByteArray("<html>502 Bad Gateway</html>");
        QTest::newRow("no data") << QByteArray("{\"error\":\"bad hash\"}");
        QTest::newRow("empty data") << QByteArray("{\"data\":[]}");
        QTest::newRow("no pilots list") << QByteArray("{\"data\":[{\"unic\":\"ev42\"}]}");
        QByteArray missing = pilotJson(103, "Bob", "Lee", "c.jpg").replace("\"osd_name\":\"OSD103\",", "");
        QTest::newRow("pilot without a field") << answerWith({pilotJson(104, "Al", "Ng", "d.jpg"), missing});
        QTest::newRow("field that is a list") << answerWith({pilotJson(105, "Al", "Ng", "d.jpg").replace("\"OSD105\"", "[1]")});
    }
    void malformedAnswerChangesNothing()
    {
        QFETCH(QByteArray, answer);
        loadTwo();
        m_browser->btnextClick();
        const QueryItems shown = m_browser->shownPilot();
        QSignalSpy failed(m_browser.get(), &RegistryBrowser::failed);
        m_server->answer(kEventsPath, {200, answer, "application/json", false});
        m_browser->btgetdataClick("ev42");
        QTRY_COMPARE(failed.count(), 1);
        QVERIFY2(failed[0][0].toString().contains("Nothing was changed"), qPrintable(failed[0][0].toString()));
        // The log holds the raw answer; the pilots shown stay.
        QCOMPARE(m_browser->log(), QStringList({QString::fromUtf8(answer)}));
        QCOMPARE(m_browser->totalpilots(), 2);
        QCOMPARE(m_browser->positionText(), QStringLiteral("2/2"));
        QCOMPARE(m_browser->countText(), QStringLiteral("2"));
        QCOMPARE(m_browser->shownPilot(), shown);
    }

    void answerWithoutPilotsSaysSo()
    {
        m_server->answer(kEventsPath, {200, answerWith({}), "application/json", false});
        QSignalSpy failed(m_browser.get(), &RegistryBrowser::failed);
        m_browser->btgetdataClick("ev42");
        QTRY_COMPARE(m_browser->countText(), QStringLiteral("no pilots"));
        QCOMPARE(m_browser->totalpilots(), 0);
        QCOMPARE(failed.count(), 0);
    }

    void visualLinkIsTheOnlyLogText()
    {
        loadTwo();
        m_browser->Button1Click("ev42");
        QCOMPARE(m_browser->log().size(), 1);
        const QString link = m_browser->log().first();
        QVERIFY(link.startsWith(m_server->baseUrl() + "/rest_api/get_events.php?type=1&unic=ev42&hash="));
        const QString expected = QString::fromLatin1(
            QCryptographicHash::hash(QString::fromUtf8("1ev42соль").toUtf8(), QCryptographicHash::Md5).toHex());
        QVERIFY(link.endsWith(expected));
        QCOMPARE(m_server->targetsFor(kEventsPath).size(), 1); // nothing requested
    }

    void updateSelectedCopiesThePilotAndHisPhoto()
    {
        loadTwo();
        // The operator corrects the nickname in the list before copying.
        m_browser->setShownValue(7, "Ace");
        selectLocal(5);
        m_browser->btupdateClick();
        QTRY_VERIFY(m_browser->log().last().startsWith("picture saved to "));
        const QString path = QFileInfo(m_dir.filePath("photos/5.jpg")).absoluteFilePath();
        QCOMPARE(m_browser->log().mid(1), QStringList({"pilot updated", "getting picture..",
                                                       "picture saved to " + QDir::toNativeSeparators(path)}));
        QCOMPARE(pilotRow(5), QVariantMap({{"name", "Smith Ann"}, {"nickname", "Ace"}, {"login", "p101@x.org"},
                                           {"telegaid", "55101"}}));
        QCOMPARE(fileBytes(path), m_red);
        QCOMPARE(QDir(m_dir.filePath("photos")).entryList(QDir::Files), QStringList({"5.jpg"}));
    }

    void failedPhotoDownloadKeepsTheOldPhoto_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("missing") << 404 << QByteArray("not found");
        QTest::newRow("not a jpeg") << 200 << QByteArray("<html>captive portal</html>");
        QTest::newRow("cut short") << 200 << QByteArray(); // filled below
    }
    void failedPhotoDownloadKeepsTheOldPhoto()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        if (body.isEmpty())
            body = m_blue.left(m_blue.size() / 3);
        QVERIFY(QDir().mkpath(m_dir.filePath("photos")));
        QFile old(m_dir.filePath("photos/5.jpg"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(m_red);
        old.close();

        loadTwo();
        m_browser->btnextClick();
        m_server->answer("/pilots_foto/b%20b.jpg", {status, body, "image/jpeg", false});
        selectLocal(5);
        m_browser->btupdateClick();
        QTRY_COMPARE(m_browser->photoFile(), QStringLiteral("no photo"));
        QVERIFY(m_browser->log().contains("pilot updated"));
        QVERIFY(!m_browser->log().last().startsWith("picture saved"));
        // The pilot's data are stored; his old photo stays whole.
        QCOMPARE(pilotRow(5).value("name").toString(), QString::fromUtf8("Петров Иван"));
        QCOMPARE(fileBytes(old.fileName()), m_red);
        QCOMPARE(QDir(m_dir.filePath("photos")).entryList(QDir::Files), QStringList({"5.jpg"}));
    }

    void updateWithoutASelectedPilotChangesNothing()
    {
        loadTwo();
        QSignalSpy failed(m_browser.get(), &RegistryBrowser::failed);
        m_browser->btupdateClick();
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed[0][0].toString(), QStringLiteral("Select pilot!"));
        QCOMPARE(pilotRow(5).value("name").toString(), QStringLiteral("Old Name"));
        QVERIFY(!QFile::exists(m_dir.filePath("photos/5.jpg")));
    }

    void addAsNewPilot()
    {
        loadTwo();
        m_browser->btnewpilotClick();
        QTRY_VERIFY(m_browser->log().last().startsWith("picture saved to "));
        QSqlQuery q("SELECT max(id) FROM pilots", m_db->db());
        QVERIFY(q.next());
        const int id = q.value(0).toInt();
        QVERIFY(id != 5);
        QCOMPARE(pilotRow(id).value("name").toString(), QStringLiteral("Smith Ann"));
        QCOMPARE(m_registry->currentPilot()->id, id);
        QCOMPARE(fileBytes(m_dir.filePath(QStringLiteral("photos/%1.jpg").arg(id))), m_red);
    }

    void unansweredRequestTimesOut()
    {
        m_server->answer(kEventsPath, {200, "", "", true});
        m_client->setTimeoutMs(300);
        QSignalSpy failed(m_browser.get(), &RegistryBrowser::failed);
        m_browser->btgetdataClick("ev42");
        // The command returns at once with the request under way.
        QCOMPARE(m_client->pending(), 1);
        QVERIFY(failed.wait(5000));
        QCOMPARE(failed[0][0].toString(), QStringLiteral("Loading the event pilots failed: no answer within 0.3 s."));
        QCOMPARE(m_client->pending(), 0);
    }

    void noAddressSetIsAPlainMessage()
    {
        m_settings->set("edaerolisturl", "");
        QSignalSpy failed(m_browser.get(), &RegistryBrowser::failed);
        m_browser->btgetdataClick("ev42");
        QCOMPARE(failed.count(), 1);
        QVERIFY(failed[0][0].toString().startsWith("The Aerolist address is not set."));
        QCOMPARE(m_client->pending(), 0);
        QVERIFY(m_server->targets.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRegistryBrowser)
#include "tst_registrybrowser.moc"
