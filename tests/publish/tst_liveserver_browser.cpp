// The live pages in a real browser: headless Chromium opens /overlay and
// /board, laps are recorded, and the pages show them without being reloaded,
// whole on a phone, a laptop and a 4K screen. The pages are read through the
// browser's DevTools protocol on 127.0.0.1.
#include "competition/bracketstage.h"
#include "publish/bracketpublish.h"
#include "tests/common/headlessbrowser.h"
#include "tests/publish/livefixture.h"

#include <QJsonDocument>
#include <QtTest>

using namespace lapvane;
using namespace lapvane::test;

namespace {

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
        HeadlessBrowser browser;
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
        HeadlessBrowser browser;
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
        HeadlessBrowser browser;
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
