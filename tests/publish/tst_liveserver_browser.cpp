// The live pages in a real browser: headless Chromium opens /overlay and
// /board, laps are recorded, and the pages show them without being reloaded,
// whole on a phone, a laptop and a 4K screen. The pages are read through the
// browser's DevTools protocol on 127.0.0.1.
#include "competition/bracketstage.h"
#include "publish/bracketpublish.h"
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
        m_process.start(chromium, {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
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
        const quint16 devPort = file.open(QIODevice::ReadOnly) ? quint16(file.readLine().trimmed().toUInt()) : 0;
        QString pageUrl;
        while (devPort > 0 && pageUrl.isEmpty() && !deadline.hasExpired()) {
            // The browser builds the page's address from the Host header.
            const HttpReply list = rawRequest(devPort, "GET /json/list HTTP/1.1\r\nHost: 127.0.0.1:"
                                                           + QByteArray::number(devPort)
                                                           + "\r\nConnection: close\r\n\r\n");
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

// Every standing on the screen whole, nothing cut or beyond the right edge.
const char *kAllStandingsVisible = R"((function () {
  var w = window.innerWidth, h = window.innerHeight, bad = [];
  if (document.documentElement.scrollWidth > w) bad.push('scroll ' + document.documentElement.scrollWidth);
  var rows = document.querySelectorAll('#rows .row');
  for (var i = 0; i < rows.length; i++) {
    var r = rows[i].getBoundingClientRect();
    if (r.left < 0 || r.right > w + 0.5 || r.top < 0 || r.bottom > h + 0.5) bad.push('row ' + i + ' ' + JSON.stringify(r));
    var cells = rows[i].querySelectorAll('.place, .laps, .last, .best, .gap');
    for (var j = 0; j < cells.length; j++) {
      var c = cells[j].getBoundingClientRect();
      if (cells[j].scrollWidth > cells[j].clientWidth + 1 || c.right > w + 0.5)
        bad.push(cells[j].className + ' of row ' + i + ' cut');
    }
    if (rows[i].querySelector('.name').getBoundingClientRect().width < 40) bad.push('name of row ' + i + ' squeezed');
  }
  return bad.join('; ');
})())";

// Every cell of the overlay inside the screen, none but the name cut.
const char *kOverlayInside = R"((function () {
  var bad = [], w = window.innerWidth;
  if (document.documentElement.scrollWidth > w) bad.push('scroll');
  var cells = document.querySelectorAll('#rows td, thead th');
  for (var i = 0; i < cells.length; i++)
    if (cells[i].getBoundingClientRect().right > w || (!cells[i].classList.contains('name')
        && cells[i].scrollWidth > cells[i].clientWidth + 1)) bad.push(cells[i].className || cells[i].textContent);
  return bad.join('; ');
})())";

} // namespace

class TestLiveServerBrowser : public QObject
{
    Q_OBJECT
private slots:
    void overlayShowsALapWithoutReload()
    {
        LiveFixture f;
        f.smallRace();
        f.status = RaceStatus{true, 61000, false};
        QVERIFY(f.start());
        Browser browser;
        QString why;
        QVERIFY2(browser.open(QStringLiteral("http://127.0.0.1:%1/overlay").arg(f.port()), &why), qPrintable(why));
        DevToolsPage &page = browser.page;

        // The page follows the feed and shows the race as it stands.
        QVERIFY(page.waitFor("document.body.getAttribute('data-link') === 'live' && "
                             "document.getElementById('rows').rows.length === 3"));
        QCOMPARE(page.evaluate("document.querySelector('#rows tr td.name').firstChild.textContent").toString(),
                 QStringLiteral("Anya"));
        QCOMPARE(page.evaluate("document.querySelector('#rows tr[data-pilot=\"2\"] td.laps').textContent").toString(),
                 QStringLiteral("1/3"));
        // In the language of a new installation.
        QCOMPARE(page.evaluate("document.querySelector('th[data-word=\"best\"]').textContent").toString(),
                 QStringLiteral("Best"));
        // Marks this very page: a reload would lose the mark.
        page.evaluate("window.lapvaneMark = 'same page'");

        // Bob's second lap is recorded.
        f.feed->lapCounted(f.countLap(2, 2, 60000, 29000));
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

        // A phone's width: every column inside the screen, the best lap too.
        page.resize(390, 844);
        QVERIFY(page.waitFor("window.innerWidth === 390"));
        QCOMPARE(page.evaluate(kOverlayInside).toString(), QString());

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
        f.feed->lapCounted(f.countLap(1, 3, 88000, 30000));
        f.feed->flush();
        QVERIFY(page.waitFor("document.querySelector('#rows tr[data-pilot=\"1\"] td.laps').textContent === '3/3'"));
        QCOMPARE(page.evaluate("window.lapvaneMark").toString(), QStringLiteral("same page"));
        // In Russian, whose words are longer, it still fits.
        page.call("Page.navigate", QJsonObject{{"url", QStringLiteral("http://127.0.0.1:%1/overlay?lang=ru").arg(port)}});
        QVERIFY(page.waitFor("document.documentElement.lang === 'ru' && "
                             "document.body.getAttribute('data-link') === 'live'"));
        QCOMPARE(page.evaluate("document.querySelector('th[data-word=\"best\"]').textContent").toString(),
                 QString::fromUtf8("Лучший"));
        QCOMPARE(page.evaluate(kOverlayInside).toString(), QString());
    }

    // The board: every standing whole on a phone, a laptop and a 4K screen,
    // the type large on the big ones, a lap and a finish shown without a
    // reload, and the next group once it is sent.
    void boardFitsEveryScreenAndFollowsTheRace()
    {
        LiveFixture f;
        f.smallRace();
        f.exec(QStringLiteral("UPDATE onerace SET pilotname='%1' WHERE pilotid=2")
                   .arg(QStringLiteral("Bartholomew Maximilian Quickenbottom-Smythe")));
        f.status = RaceStatus{true, 61000, false};
        QVERIFY(f.start());
        Browser browser;
        QString why;
        QVERIFY2(browser.open(QStringLiteral("http://127.0.0.1:%1/board").arg(f.port()), &why), qPrintable(why));
        DevToolsPage &page = browser.page;
        QVERIFY(page.waitFor("document.body.getAttribute('data-link') === 'live' && "
                             "document.querySelectorAll('#rows .row').length === 3"));
        QCOMPARE(page.evaluate("document.getElementById('event').textContent").toString(), QStringLiteral("Spring Cup"));
        QCOMPARE(page.evaluate("document.getElementById('stage').textContent").toString(),
                 QString::fromUtf8("Final · Group 1"));
        QCOMPARE(page.evaluate("document.querySelector('.row[data-pilot=\"2\"] .gap').textContent").toString(),
                 QStringLiteral("+1 lap"));
        page.evaluate("window.lapvaneMark = 'same page'");

        struct Screen
        {
            int width, height, minFontPx;
        };
        for (const Screen screen : {Screen{390, 844, 14}, Screen{1280, 720, 28}, Screen{3840, 2160, 80}}) {
            page.resize(screen.width, screen.height);
            QVERIFY(page.waitFor(QStringLiteral("window.innerWidth === %1 && window.innerHeight === %2")
                                     .arg(screen.width)
                                     .arg(screen.height)));
            QTest::qWait(100);
            const QString where = QStringLiteral("%1x%2: ").arg(screen.width).arg(screen.height);
            const QString bad = page.evaluate(kAllStandingsVisible).toString();
            QVERIFY2(bad.isEmpty(), qPrintable(where + bad));
            const double font = page.evaluate("parseFloat(getComputedStyle(document.querySelector('#rows .row')).fontSize)")
                                    .toDouble();
            QVERIFY2(font >= screen.minFontPx, qPrintable(where + QString::number(font)));
            const double clock = page.evaluate("parseFloat(getComputedStyle(document.getElementById('clock')).fontSize)")
                                     .toDouble();
            QVERIFY2(clock >= 2 * font, qPrintable(where + QString::number(clock)));
        }

        // Anna's third lap: she has finished, Bob is two laps down.
        f.feed->lapCounted(f.countLap(1, 3, 88000, 30000));
        f.feed->flush();
        QVERIFY(page.waitFor("document.querySelector('.row[data-pilot=\"1\"]').classList.contains('done')"));
        QVERIFY(page.evaluate("document.querySelector('.row[data-pilot=\"1\"] .laps').textContent").toString()
                    .startsWith("3/3"));
        QCOMPARE(page.evaluate("document.querySelector('.row[data-pilot=\"1\"] .last').textContent").toString(),
                 QStringLiteral("30.000"));
        QCOMPARE(page.evaluate("document.querySelector('.row[data-pilot=\"2\"] .gap').textContent").toString(),
                 QStringLiteral("+2 laps"));
        QVERIFY(!page.evaluate("document.querySelector('.row[data-pilot=\"2\"]').classList.contains('done')").toBool());
        QVERIFY(page.evaluate(kAllStandingsVisible).toString().isEmpty());

        // The race ends and the next group is sent to the race list.
        f.status = RaceStatus{false, 0, false};
        f.feed->raceFinished();
        f.feed->flush();
        QVERIFY(page.waitFor("document.querySelectorAll('#rows .row.done').length === 2"));
        f.exec("DELETE FROM onerace");
        f.addPilot(7, "Dana", QString(), "Red", "F4", 107, "Y", 0);
        f.addPilot(8, "Eve", QString(), "Blue", "R7", 108, "Y", 0);
        f.exec("UPDATE onerace SET \"group\"='2'");
        f.feed->raceListChanged();
        f.feed->flush();
        QVERIFY(page.waitFor("document.body.getAttribute('data-mode') === 'next' && "
                             "document.querySelectorAll('#rows .row').length === 2"));
        QCOMPARE(page.evaluate("document.getElementById('caption').textContent").toString(),
                 QStringLiteral("Next group: 2"));
        QCOMPARE(page.evaluate("document.querySelector('.row[data-pilot=\"7\"] .laps').textContent").toString(),
                 QStringLiteral("F4"));
        QVERIFY(page.evaluate(kAllStandingsVisible).toString().isEmpty());
        QCOMPARE(page.evaluate("window.lapvaneMark").toString(), QStringLiteral("same page"));
        // In Russian on a phone.
        page.call("Page.navigate", QJsonObject{{"url", QStringLiteral("http://127.0.0.1:%1/board?lang=ru").arg(f.port())}});
        page.resize(390, 844);
        QVERIFY(page.waitFor("document.documentElement.lang === 'ru' && "
                             "document.body.getAttribute('data-link') === 'live'"));
        QCOMPARE(page.evaluate("document.getElementById('caption').textContent").toString(),
                 QString::fromUtf8("Следующая группа: 2"));
        QVERIFY(page.evaluate(kAllStandingsVisible).toString().isEmpty());
    }

    // A bracket stage on the board: the heat that flies next, then a flown
    // heat's order (who goes on marked) pushed on the feed without a reload;
    // a stage that is no bracket hides it again.
    void boardShowsTheBracket()
    {
        LiveFixture f;
        f.smallRace();
        f.exec("INSERT INTO stages (id, events, stagename) VALUES (7, 1, 'Eliminations')");
        for (int p = 1; p <= 8; ++p)
            f.exec(QStringLiteral("INSERT INTO results (stage, pilotid, pilotname) VALUES (7, %1, 'Pilot %1')").arg(p));
        BracketStage s;
        QString error;
        QVERIFY(createBracketStage(f.db.db(), 7, {BracketKind::DoubleElimination, 6, 0}, {1, 2, 3, 4, 5, 6, 7, 8}, &s,
                                   &error));
        auto publish = [&f] {
            QJsonObject bracket = readBracketJson(f.db.db(), 7);
            f.server.publishBracket(QJsonDocument(bracket).toJson(QJsonDocument::Compact));
            bracket.insert("type", "bracket");
            f.server.push(bracket);
        };
        QVERIFY(f.start());
        publish();
        Browser browser;
        QString why;
        QVERIFY2(browser.open(QStringLiteral("http://127.0.0.1:%1/board").arg(f.port()), &why), qPrintable(why));
        DevToolsPage &page = browser.page;
        QVERIFY(page.waitFor("document.body.getAttribute('data-bracket') === 'yes'"));
        QCOMPARE(page.evaluate("document.getElementById('bracketnext').textContent").toString(),
                 QString::fromUtf8("Next heat: Group 1 · Winners round 1, heat 1 — Pilot 1, Pilot 4, Pilot 5, Pilot 8"));
        QCOMPARE(page.evaluate("document.querySelectorAll('#bracketheats .heat').length").toInt(), 0);
        page.evaluate("window.lapvaneMark = 'same page'");

        QVERIFY(recordHeatResult(f.db.db(), 7, "1", {8, 1, 5, 4}, &s, &error));
        publish();
        QVERIFY(page.waitFor("document.querySelectorAll('#bracketheats .heat').length === 1"));
        QCOMPARE(page.evaluate("document.querySelector('.heat[data-group=\"1\"]').innerText").toString(),
                 QString::fromUtf8("Group 1 · Winners round 1, heat 1\n1. Pilot 8\n2. Pilot 1\n3. Pilot 5\n4. Pilot 4"));
        QCOMPARE(page.evaluate("document.querySelectorAll('.heat .pilot.goes').length").toInt(), 2);
        QVERIFY(page.evaluate("document.getElementById('bracketnext').textContent").toString().contains("Group 2"));
        // The standings still fit beside it on a laptop screen.
        page.resize(1280, 720);
        QVERIFY(page.waitFor("window.innerWidth === 1280"));
        QVERIFY(page.evaluate(kAllStandingsVisible).toString().isEmpty());
        QCOMPARE(page.evaluate("window.lapvaneMark").toString(), QStringLiteral("same page"));

        f.server.push(QJsonObject{{"type", "bracket"}, {"stageId", 1}, {"bracket", QJsonValue::Null}});
        QVERIFY(page.waitFor("document.body.getAttribute('data-bracket') === 'no'"));
    }
};

QTEST_GUILESS_MAIN(TestLiveServerBrowser)
#include "tst_liveserver_browser.moc"
