// The overlay page in a real browser: headless Chromium opens /overlay, a lap
// is recorded, and the page shows it without being reloaded. The page is read
// through the browser's DevTools protocol on 127.0.0.1.
#include "tests/publish/livefixture.h"
#include "tests/publish/livetestclient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWebSocket>
#include <QtTest>

using namespace lapvane;
using namespace lapvane::test;

namespace {

// One page of the browser, driven by Runtime.evaluate.
class DevToolsPage
{
public:
    bool open(const QString &url)
    {
        m_socket.open(QUrl(url));
        QSignalSpy connected(&m_socket, &QWebSocket::connected);
        QObject::connect(&m_socket, &QWebSocket::textMessageReceived, &m_socket,
                         [this](const QString &text) { m_replies << QJsonDocument::fromJson(text.toUtf8()).object(); });
        return connected.wait(20000);
    }

    // The value of a JavaScript expression, or an invalid value.
    QJsonValue evaluate(const QString &expression)
    {
        const int id = ++m_nextId;
        const QJsonObject call{{"id", id},
                               {"method", "Runtime.evaluate"},
                               {"params", QJsonObject{{"expression", expression}, {"returnByValue", true}}}};
        m_socket.sendTextMessage(QString::fromUtf8(QJsonDocument(call).toJson(QJsonDocument::Compact)));
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired()) {
            for (int i = 0; i < m_replies.size(); ++i) {
                if (m_replies.at(i).value("id").toInt() == id) {
                    const QJsonObject reply = m_replies.takeAt(i);
                    return reply.value("result").toObject().value("result").toObject().value("value");
                }
            }
            QTest::qWait(20);
        }
        return QJsonValue(QJsonValue::Undefined);
    }

    // Polls the expression until it is true.
    bool waitFor(const QString &expression, int timeoutMs = 30000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            if (evaluate(expression).toBool())
                return true;
            QTest::qWait(50);
        }
        return false;
    }

private:
    QWebSocket m_socket;
    QList<QJsonObject> m_replies;
    int m_nextId = 0;
};

} // namespace

class TestLiveServerBrowser : public QObject
{
    Q_OBJECT
private slots:
    void overlayShowsALapWithoutReload()
    {
        const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        QVERIFY2(!chromium.isEmpty(), "chromium is needed for this test (scripts/packages.sh installs it)");

        LiveFixture f;
        f.smallRace();
        f.status = RaceStatus{true, 61000, false};
        QVERIFY(f.start());

        QTemporaryDir profile;
        QProcess browser;
        browser.setProcessChannelMode(QProcess::MergedChannels);
        browser.start(chromium, {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                                 "--user-data-dir=" + profile.path(), "--remote-debugging-address=127.0.0.1",
                                 "--remote-debugging-port=0",
                                 QStringLiteral("http://127.0.0.1:%1/overlay").arg(f.port())});
        QVERIFY(browser.waitForStarted(20000));
        struct Stop
        {
            QProcess &p;
            ~Stop()
            {
                p.kill();
                p.waitForFinished(10000);
            }
        } stop{browser};

        // The browser writes its DevTools port into the profile folder.
        const QString portFile = profile.filePath("DevToolsActivePort");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(portFile) && QFileInfo(portFile).size() > 0, 60000);
        QFile file(portFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const quint16 devPort = quint16(file.readLine().trimmed().toUInt());
        QVERIFY(devPort > 0);
        QString pageUrl;
        QDeadlineTimer deadline(30000);
        while (pageUrl.isEmpty() && !deadline.hasExpired()) {
            // The browser builds the page's address from the Host header.
            const HttpReply list = rawRequest(devPort, "GET /json/list HTTP/1.1\r\nHost: 127.0.0.1:"
                                                           + QByteArray::number(devPort)
                                                           + "\r\nConnection: close\r\n\r\n");
            for (const QJsonValue &v : QJsonDocument::fromJson(list.body).array()) {
                const QJsonObject target = v.toObject();
                if (target.value("type").toString() == "page" && target.value("url").toString().endsWith("/overlay"))
                    pageUrl = target.value("webSocketDebuggerUrl").toString();
            }
            if (pageUrl.isEmpty())
                QTest::qWait(100);
        }
        QVERIFY2(!pageUrl.isEmpty(), browser.readAll().constData());
        QVERIFY(pageUrl.startsWith("ws://127.0.0.1:"));
        DevToolsPage page;
        QVERIFY(page.open(pageUrl));

        // The page follows the feed and shows the race as it stands.
        QVERIFY(page.waitFor("document.body.getAttribute('data-link') === 'live' && "
                             "document.getElementById('rows').rows.length === 3"));
        QCOMPARE(page.evaluate("document.querySelector('#rows tr td.name').firstChild.textContent").toString(),
                 QStringLiteral("Anya"));
        QCOMPARE(page.evaluate("document.querySelector('#rows tr[data-pilot=\"2\"] td.laps').textContent").toString(),
                 QStringLiteral("1/3"));
        // Marks this very page: a reload would lose the mark.
        page.evaluate("window.lapvaneMark = 'same page'");

        // Bob's second lap is recorded.
        f.addLap(2, 2, 60000, 29000);
        f.exec("UPDATE onerace SET lapno=2 WHERE pilotid=2");
        f.feed->lapRecorded(2, 2, 60000, 29000);
        f.feed->flush();

        QVERIFY(page.waitFor("document.querySelector('#rows tr[data-pilot=\"2\"] td.laps').textContent === '2/3'"));
        QCOMPARE(page.evaluate("document.querySelector('#rows tr[data-pilot=\"2\"] td.last').textContent").toString(),
                 QStringLiteral("29.000"));
        QCOMPARE(page.evaluate("document.querySelector('#rows tr[data-pilot=\"2\"] td.place').textContent").toString(),
                 QStringLiteral("2"));
        QVERIFY(page.evaluate("document.querySelector('#rows tr[data-pilot=\"2\"]').classList.contains('fresh')")
                    .toBool());
        QCOMPARE(page.evaluate("window.lapvaneMark").toString(), QStringLiteral("same page"));
        // A name arrives as text, never as markup.
        QCOMPARE(page.evaluate("document.querySelectorAll('#rows b').length").toInt(), 0);

        // The program goes away and comes back on the same port: the page
        // says so, reconnects by itself and follows the race again.
        const quint16 port = f.port();
        f.server.stop();
        QVERIFY(page.waitFor("document.body.getAttribute('data-link') === 'offline'"));
        LiveServer::Options again;
        again.port = port;
        again.htmlsFolder = f.htmls;
        QString error;
        QVERIFY2(f.server.start(again, &error), qPrintable(error));
        f.feed->refreshAll();
        QVERIFY(page.waitFor("document.body.getAttribute('data-link') === 'live'"));
        f.addLap(1, 3, 88000, 30000);
        f.exec("UPDATE onerace SET lapno=3 WHERE pilotid=1");
        f.feed->lapRecorded(1, 3, 88000, 30000);
        f.feed->flush();
        QVERIFY(page.waitFor("document.querySelector('#rows tr[data-pilot=\"1\"] td.laps').textContent === '3/3'"));
        QCOMPARE(page.evaluate("window.lapvaneMark").toString(), QStringLiteral("same page"));
    }
};

QTEST_GUILESS_MAIN(TestLiveServerBrowser)
#include "tst_liveserver_browser.moc"
