// The overlay and the board with their data from an MQTT broker: headless
// Chromium opens the page with ?mqtt=ws://...&topic=..., the page subscribes
// over WebSocket to a real broker on 127.0.0.1, and a lap shows without a
// reload while the web server's own feed has no client.
#include "publish/mqttpublisher.h"
#include "tests/common/headlessbrowser.h"
#include "tests/publish/livefixture.h"
#include "tests/publish/mqtttestbroker.h"

#include <QtTest>

using namespace lapvane;
using namespace lapvane::test;

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

        HeadlessBrowser browser;
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
