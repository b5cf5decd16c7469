// The overlay and the board with their data from an MQTT broker: headless
// Chromium opens the page with ?mqtt=ws://...&topic=..., the page subscribes
// over WebSocket to a real broker on 127.0.0.1, and a lap shows without a
// reload while the web server's own feed has no client.
#include "publish/mqttpublisher.h"
#include "tests/publish/livefixture.h"
#include "tests/publish/livetestclient.h"
#include "tests/publish/mqtttestbroker.h"

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
        QObject::connect(&m_socket, &QWebSocket::textMessageReceived, &m_socket, [this](const QString &text) {
            m_replies << QJsonDocument::fromJson(text.toUtf8()).object();
        });
        return connected.wait(20000);
    }

    // The result of a DevTools method.
    QJsonObject call(const QString &method, const QJsonObject &params)
    {
        const int id = ++m_nextId;
        const QJsonObject call{{"id", id}, {"method", method}, {"params", params}};
        m_socket.sendTextMessage(QString::fromUtf8(QJsonDocument(call).toJson(QJsonDocument::Compact)));
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired()) {
            for (int i = 0; i < m_replies.size(); ++i) {
                if (m_replies.at(i).value("id").toInt() == id)
                    return m_replies.takeAt(i).value("result").toObject();
            }
            QTest::qWait(20);
        }
        return {};
    }

    // The value of a JavaScript expression, or an invalid value.
    QJsonValue evaluate(const QString &expression)
    {
        return call("Runtime.evaluate", QJsonObject{{"expression", expression}, {"returnByValue", true}})
            .value("result")
            .toObject()
            .value("value");
    }

    // The page as a screen of this size shows it.
    void resize(int width, int height)
    {
        call("Emulation.setDeviceMetricsOverride",
             QJsonObject{{"width", width}, {"height", height}, {"deviceScaleFactor", 1}, {"mobile", false}});
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

// Headless Chromium on one page of the server, driven through DevTools on 127.0.0.1.
class Browser
{
public:
    ~Browser()
    {
        m_process.kill();
        m_process.waitForFinished(10000);
    }

    // Opens the address; false with the reason in *why.
    bool open(const QString &url, QString *why)
    {
        const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (chromium.isEmpty()) {
            *why = "chromium is needed for this test (scripts/packages.sh installs it)";
            return false;
        }
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(chromium,
                        {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                         "--disable-background-networking", "--disable-component-update", "--disable-sync",
                         "--hide-scrollbars", "--user-data-dir=" + m_profile.path(),
                         "--remote-debugging-address=127.0.0.1", "--remote-debugging-port=0", url});
        if (!m_process.waitForStarted(20000)) {
            *why = "chromium did not start";
            return false;
        }
        // The browser writes its DevTools port into the profile folder.
        const QString portFile = m_profile.filePath("DevToolsActivePort");
        QDeadlineTimer deadline(60000);
        while (!(QFile::exists(portFile) && QFileInfo(portFile).size() > 0) && !deadline.hasExpired())
            QTest::qWait(50);
        QFile file(portFile);
        const quint16 devPort =
            file.open(QIODevice::ReadOnly) ? quint16(file.readLine().trimmed().toUInt()) : 0;
        QString pageUrl;
        while (devPort > 0 && pageUrl.isEmpty() && !deadline.hasExpired()) {
            // The browser builds the page's address from the Host header.
            const HttpReply list = rawRequest(
                devPort, "GET /json/list HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(devPort) +
                             "\r\nConnection: close\r\n\r\n");
            for (const QJsonValue &v : QJsonDocument::fromJson(list.body).array()) {
                const QJsonObject target = v.toObject();
                if (target.value("type").toString() == "page" && target.value("url").toString() == url)
                    pageUrl = target.value("webSocketDebuggerUrl").toString();
            }
            if (pageUrl.isEmpty())
                QTest::qWait(100);
        }
        if (!pageUrl.startsWith("ws://127.0.0.1:")) {
            *why = "no DevTools page: " + QString::fromUtf8(m_process.readAll());
            return false;
        }
        return page.open(pageUrl);
    }

    DevToolsPage page;

private:
    QTemporaryDir m_profile;
    QProcess m_process;
};

} // namespace

class TestMqttBrowser : public QObject
{
    Q_OBJECT
private slots:
    void pagesFollowTheBroker_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("bobLaps");
        QTest::newRow("overlay")
            << "overlay"
            << "document.querySelector('#rows tr[data-pilot=\"2\"] td.laps').textContent";
        QTest::newRow("board") << "board"
                               << "document.querySelector('#rows .row[data-pilot=\"2\"] .laps').textContent";
    }

    void pagesFollowTheBroker()
    {
        QFETCH(QString, page);
        QFETCH(QString, bobLaps);
        MqttTestBroker broker;
        const quint16 wsPort = freeLoopbackPort();
        broker.extraConfig << QStringLiteral("listener %1 127.0.0.1").arg(wsPort)
                           << QStringLiteral("protocol websockets");
        QVERIFY(broker.start());

        LiveFixture f;
        f.smallRace();
        f.status = RaceStatus{true, 61000, false};
        QVERIFY(f.start());
        MqttPublisher publisher(f.db.db(), f.settings, *f.log, &f.selection, f.feed.get());
        f.settings.set(QLatin1String(MqttPublisher::kUrl), broker.url());
        f.settings.set(QLatin1String(MqttPublisher::kEnabled), true);
        publisher.apply();
        QTRY_VERIFY_WITH_TIMEOUT(publisher.isConnected(), 5000);

        Browser browser;
        QString why;
        const QString url =
            QStringLiteral("http://127.0.0.1:%1/%2?mqtt=ws://127.0.0.1:%3/mqtt&topic=lapvane/1")
                .arg(f.port())
                .arg(page)
                .arg(wsPort);
        QVERIFY2(browser.open(url, &why), qPrintable(why));
        DevToolsPage &p = browser.page;
        QVERIFY2(p.waitFor(bobLaps + " === '1/3'"),
                 qPrintable(p.evaluate("document.body.getAttribute('data-link') + ' ' + "
                                       "document.body.innerText.slice(0, 300)")
                                .toString()));
        QCOMPARE(p.evaluate("document.body.getAttribute('data-link')").toString(), QStringLiteral("live"));
        p.evaluate("window.lapvaneMark = 'same page'");

        // Bob's second lap: through the broker only.
        const CountedLap lap = f.countLap(2, 2, 60000, 29000);
        f.feed->lapCounted(lap);
        publisher.lapCounted(lap);
        QVERIFY(p.waitFor(bobLaps + " === '2/3'"));
        QCOMPARE(p.evaluate("window.lapvaneMark").toString(), QStringLiteral("same page"));
        QCOMPARE(f.server.counters().subscribers.load(), 0);
    }
};

QTEST_MAIN(TestMqttBrowser)
#include "tst_mqtt_browser.moc"
