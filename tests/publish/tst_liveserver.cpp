// The built-in web server: the race as JSON, the event feed's messages, the
// files of "htmls" and nothing outside it, GET and HEAD only, bounded
// requests and connections, and the port switch with a port in use.
#include "core/operatorlog.h"
#include "publish/liveservice.h"
#include "tests/common/logcapture.h"
#include "tests/common/testfiles.h"
#include "tests/publish/livefixture.h"
#include "tests/publish/livetestclient.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlRecord>
#include <QTcpServer>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace lapvane;
using lapvane::test::writeFile;
using namespace lapvane::test;

namespace {

QJsonObject parse(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        qWarning("not JSON: %s", json.constData());
    return doc.object();
}

QJsonObject withoutClock(QJsonObject race)
{
    race.remove(QStringLiteral("clockMs"));
    return race;
}

QStringList names(const QJsonObject &race)
{
    QStringList out;
    for (const QJsonValue &p : race.value(QStringLiteral("pilots")).toArray())
        out << p.toObject().value(QStringLiteral("name")).toString();
    return out;
}

// A feed client on 127.0.0.1 that never reads, with the smallest receive
// buffer the system allows (set before connecting, so the window offered is
// small from the start): once that is full the server's bytes stay with it.
class StalledFeed
{
public:
    explicit StalledFeed(quint16 port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const int tiny = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &tiny, sizeof tiny);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const QByteArray ask = "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        m_ok = ::connect(m_fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) == 0 &&
               ::send(m_fd, ask.constData(), size_t(ask.size()), 0) == ask.size();
    }
    ~StalledFeed() { ::close(m_fd); }
    bool ok() const { return m_ok; }

private:
    int m_fd = -1;
    bool m_ok = false;
};

// A feed from that address that asks and never reads, or null.
std::unique_ptr<QTcpSocket> feedThatNeverReads(quint16 port, const QHostAddress &from)
{
    auto s = openFrom(port, from);
    if (!s)
        return nullptr;
    s->setReadBufferSize(1024);
    s->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    s->write("GET /api/events HTTP/1.1\r\nHost: x\r\n\r\n");
    s->waitForBytesWritten(3000);
    return s;
}

} // namespace

class TestLiveServer : public QObject
{
    Q_OBJECT
private slots:
    void raceJsonOfASmallRace()
    {
        LiveFixture f;
        f.smallRace();
        f.status = RaceStatus{true, 61000, false};
        QVERIFY(f.start());
        const QJsonObject expected = parse(smallRaceJson());

        HttpReply r = get(f.port(), "/api/race");
        QCOMPARE(r.status, 200);
        QCOMPARE(r.header("Content-Type"), QByteArray("application/json; charset=utf-8"));
        const QJsonObject race = parse(r.body);
        QCOMPARE(withoutClock(race), withoutClock(expected));
        // A running race's clock goes on between snapshots.
        const double clock = race.value(QStringLiteral("clockMs")).toDouble();
        QVERIFY2(clock >= 61000 && clock < 61000 + 30000, qPrintable(QString::number(clock)));

        // One pilot's laps; a bad or unknown id is refused.
        r = get(f.port(), "/api/laps?pilot=1");
        QCOMPARE(r.status, 200);
        QCOMPARE(parse(r.body), parse(annaLapsJson()));
        QCOMPARE(parse(get(f.port(), "/api/laps?pilot=3").body).value("laps").toArray().size(), 0);
        QCOMPARE(get(f.port(), "/api/laps?pilot=1%20OR%201=1").status, 400);
        QCOMPARE(get(f.port(), "/api/laps").status, 400);
        QCOMPARE(get(f.port(), "/api/laps?pilot=42").status, 404);

        // Not running: a list with counted laps is a finished race, and the
        // places the finish wrote are kept.
        f.status = RaceStatus{false, 75000, true};
        f.exec("UPDATE onerace SET place=1 WHERE pilotid=2");
        f.exec("UPDATE onerace SET place=2 WHERE pilotid=1");
        f.exec("UPDATE onerace SET place=3 WHERE pilotid=3");
        f.feed->raceFinished();
        f.feed->flush();
        const QJsonObject finished = parse(get(f.port(), "/api/race").body);
        QCOMPARE(finished.value("state").toString(), QStringLiteral("finished"));
        // Its clock stands at the last counted pass.
        QCOMPARE(finished.value("clockMs").toDouble(), 58000.0);
        QCOMPARE(names(finished),
                 QStringList({"Bob \"Quick\" <b>", QString::fromUtf8("Анна Смирнова"), "Cid"}));
    }

    void eventFeedPushesLapsCorrectionsAndTheFinish()
    {
        LiveFixture f;
        f.smallRace();
        f.status = RaceStatus{true, 61000, false};
        QVERIFY(f.start());
        FeedClient client(f.port());
        QJsonObject m;
        QVERIFY(client.next(&m));
        QVERIFY(client.responseHead().contains("Content-Type: text/event-stream"));
        QVERIFY(!client.responseHead().contains("Access-Control-Allow-Origin"));
        QCOMPARE(m.value("type").toString(), QStringLiteral("race"));
        QCOMPARE(withoutClock(m.value("race").toObject()), withoutClock(parse(smallRaceJson())));

        // A lap of Bob: one message, though the race list changed too.
        f.feed->lapCounted(f.countLap(2, 2, 60000, 29000));
        f.feed->raceListChanged();
        f.feed->flush();
        QVERIFY(client.next(&m));
        QCOMPARE(m.value("type").toString(), QStringLiteral("lap"));
        QCOMPARE(m.value("pilotid").toInt(), 2);
        QCOMPARE(m.value("lapn").toInt(), 2);
        QCOMPARE(m.value("lapTime").toString(), QStringLiteral("000:29.000"));
        QCOMPARE(m.value("raceTimeMs").toDouble(), 60000.0);
        QJsonObject bob = m.value("race").toObject().value("pilots").toArray().at(1).toObject();
        QCOMPARE(bob.value("pilotid").toInt(), 2);
        QCOMPARE(bob.value("bestLap").toString(), QStringLiteral("000:29.000"));
        QCOMPARE(bob.value("totalTime").toString(), QStringLiteral("001:00.000"));

        // Anna's second lap deleted: Bob leads.
        f.exec("DELETE FROM laps WHERE pilotid=1 AND lapn=2");
        f.exec("UPDATE laps SET laptimetxt='000:58.000', laptime=58000 WHERE pilotid=1 AND lapn=1");
        f.exec("UPDATE onerace SET lapno=1 WHERE pilotid=1");
        f.feed->lapsCorrected(1);
        f.feed->flush();
        QVERIFY(client.next(&m));
        QCOMPARE(m.value("type").toString(), QStringLiteral("lapchange"));
        QCOMPARE(m.value("pilotid").toInt(), 1);
        QCOMPARE(names(m.value("race").toObject()).first(), QStringLiteral("Bob \"Quick\" <b>"));

        // A race-list notice that changes nothing sends nothing; the finish does.
        f.feed->raceListChanged();
        f.feed->flush();
        f.status = RaceStatus{false, 90000, false};
        f.feed->raceFinished();
        f.feed->flush();
        QVERIFY(client.next(&m));
        QCOMPARE(m.value("type").toString(), QStringLiteral("finish"));
        QCOMPARE(m.value("race").toObject().value("state").toString(), QStringLiteral("finished"));

        // A change of the list alone is its own message.
        f.exec("UPDATE onerace SET \"group\"='Red team' WHERE pilotid=3");
        f.feed->raceListChanged();
        f.feed->flush();
        QVERIFY(client.next(&m));
        QCOMPARE(m.value("type").toString(), QStringLiteral("racelist"));
        QVERIFY(!client.next(&m, 200));
    }

    void filesOfHtmlsOnly_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<int>("status");
        QTest::newRow("page") << QByteArray("/onerace.htm") << 200;
        QTest::newRow("link inside") << QByteArray("/inner.htm") << 200;
        QTest::newRow("dot dot") << QByteArray("/../dbpilots.db") << 400;
        QTest::newRow("deep dot dot") << QByteArray("/a/../../secret.txt") << 400;
        QTest::newRow("encoded dots") << QByteArray("/%2e%2e/dbpilots.db") << 400;
        QTest::newRow("encoded upper") << QByteArray("/%2E%2E%2Fsecret.txt") << 400;
        QTest::newRow("encoded slash") << QByteArray("/..%2f..%2fetc%2fpasswd") << 400;
        QTest::newRow("dot segment") << QByteArray("/./onerace.htm") << 400;
        QTest::newRow("backslash") << QByteArray("/..\\secret.txt") << 400;
        QTest::newRow("encoded backslash") << QByteArray("/%5c..%5csecret.txt") << 400;
        QTest::newRow("nul") << QByteArray("/onerace.htm%00.txt") << 400;
        QTest::newRow("double encoded") << QByteArray("/%252e%252e/secret.txt") << 404;
        QTest::newRow("absolute") << QByteArray("//etc/passwd") << 404;
        QTest::newRow("absolute 2") << QByteArray("/etc/passwd") << 404;
        QTest::newRow("absolute form") << QByteArray("/%2Fetc%2Fpasswd") << 404;
        QTest::newRow("link out") << QByteArray("/secret.htm") << 404;
        QTest::newRow("hidden") << QByteArray("/.htaccess") << 404;
        QTest::newRow("missing") << QByteArray("/nothing.htm") << 404;
        QTest::newRow("api dot dot") << QByteArray("/api/../dbpilots.db") << 400;
        QTest::newRow("api encoded") << QByteArray("/api/%2e%2e/laps") << 400;
        QTest::newRow("cyrillic name") << QByteArray("/%D0%B8%D1%82%D0%BE%D0%B3%D0%B8.htm") << 200;
        QTest::newRow("space in name") << QByteArray("/my%20page.htm") << 200;
        QTest::newRow("percent in name") << QByteArray("/100%25.htm") << 200;
        QTest::newRow("not utf-8") << QByteArray("/%D0.htm") << 404;
        QTest::newRow("encoded control") << QByteArray("/my%0Apage.htm") << 400;
    }

    void filesOfHtmlsOnly()
    {
        QFETCH(QByteArray, path);
        QFETCH(int, status);
        LiveFixture f;
        writeFile(f.dir.filePath("secret.txt"), "secret");
        for (const char *name : {"onerace.htm", "итоги.htm", "my page.htm", "100%.htm"})
            writeFile(f.htmls + '/' + QString::fromUtf8(name), QString::fromUtf8("<p>Гонка</p>").toUtf8());
        writeFile(f.htmls + "/.htaccess", "hidden");
        QVERIFY(QFile::link(f.dir.filePath("secret.txt"), f.htmls + "/secret.htm"));
        QVERIFY(QFile::link(f.htmls + "/onerace.htm", f.htmls + "/inner.htm"));
        QVERIFY(f.start());
        const HttpReply r = get(f.port(), path);
        QCOMPARE(r.status, status);
        QVERIFY(!r.body.contains("secret"));
        QVERIFY(!r.body.contains("SQLite"));
        if (status == 200) {
            QCOMPARE(r.body, QString::fromUtf8("<p>Гонка</p>").toUtf8());
            QCOMPARE(r.header("Content-Type"), QByteArray("text/html; charset=utf-8"));
        }
    }

    void getAndHeadOnly()
    {
        LiveFixture f;
        f.smallRace();
        writeFile(f.htmls + "/onerace.htm", "<p>race</p>");
        QVERIFY(f.start());
        for (const QByteArray method : {"POST", "PUT", "DELETE", "PATCH", "OPTIONS"}) {
            const HttpReply r = rawRequest(f.port(), method + " /onerace.htm HTTP/1.1\r\nHost: x\r\n"
                                                              "Content-Length: 4\r\n\r\nevil");
            QCOMPARE(r.status, 405);
            QCOMPARE(r.header("Allow"), QByteArray("GET, HEAD"));
        }
        QFile page(f.htmls + "/onerace.htm");
        QVERIFY(page.open(QIODevice::ReadOnly));
        QCOMPARE(page.readAll(), QByteArray("<p>race</p>"));

        const HttpReply head = get(f.port(), "/api/race", "HEAD");
        QCOMPARE(head.status, 200);
        // Our own pages ask from their own origin: no other site may read the data.
        QVERIFY(head.header("Access-Control-Allow-Origin").isEmpty());
        QVERIFY(head.body.isEmpty());
        QCOMPARE(head.header("Content-Length").toInt(), get(f.port(), "/api/race").body.size());
        QCOMPARE(get(f.port(), "/onerace.htm", "HEAD").header("Content-Length"), QByteArray("11"));

        // The overlay page and the index of the pages.
        const HttpReply overlay = get(f.port(), "/overlay");
        QCOMPARE(overlay.status, 200);
        QVERIFY(overlay.body.contains("new EventSource('/api/events')"));
        QVERIFY(!overlay.body.contains("http://") && !overlay.body.contains("https://"));
        const HttpReply index = get(f.port(), "/");
        QCOMPARE(index.status, 200);
        QVERIFY(index.body.contains("href=\"/onerace.htm\""));
        QVERIFY(index.body.contains("href=\"/board\""));

        // The board, with the words of both pages put in; the language as set.
        HttpReply board = get(f.port(), "/board");
        QCOMPARE(board.status, 200);
        QVERIFY(board.body.contains("new EventSource('/api/events')"));
        QVERIFY(board.body.contains("var lapvaneWords") && !board.body.contains("src=\"words.js\""));
        QVERIFY(board.body.contains("<html lang=\"en\">"));
        QVERIFY(!board.body.contains("http://") && !board.body.contains("https://"));
        f.server.setLanguage("ru");
        QVERIFY(get(f.port(), "/board").body.contains("<html lang=\"ru\">"));
        QVERIFY(get(f.port(), "/overlay").body.contains("<html lang=\"ru\">"));
    }

    // The index links every page it lists by its name percent-encoded, and
    // each link opens; names it could not serve are not listed.
    void theIndexListsWhatIsServed()
    {
        LiveFixture f;
        const QStringList pages{QString::fromUtf8("итоги.htm"), "my page.htm", "100%.htm", "a&b <c>.html",
                                "onerace.htm"};
        for (const QString &name : pages)
            writeFile(f.htmls + '/' + name, name.toUtf8());
        writeFile(f.htmls + "/.hidden.htm", "hidden");
        writeFile(f.dir.filePath("secret.txt"), "secret");
        QVERIFY(QFile::link(f.dir.filePath("secret.txt"), f.htmls + "/out.htm"));
        QVERIFY(f.start());
        const HttpReply index = get(f.port(), "/");
        QCOMPARE(index.status, 200);
        QStringList listed;
        QStringList data;
        static const QRegularExpression link(QStringLiteral("<a href=\"(/[^\"]*)\">([^<]*)</a>"));
        for (auto it = link.globalMatch(QString::fromUtf8(index.body)); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            const QByteArray href = m.captured(1).toUtf8();
            if (href.startsWith("/api/")) { // each data link answers
                QCOMPARE(get(f.port(), href).status, 200);
                data << m.captured(2);
            }
            if (href == "/overlay" || href == "/board" || href.startsWith("/api/"))
                continue;
            // Nothing but unreserved characters and escapes in a link.
            QVERIFY2(QRegularExpression(QStringLiteral("^/([A-Za-z0-9._~-]|%[0-9A-F]{2})+$"))
                         .match(m.captured(1))
                         .hasMatch(),
                     href.constData());
            const HttpReply page = get(f.port(), href);
            QCOMPARE(page.status, 200);
            QCOMPARE(page.body, QUrl::fromPercentEncoding(href.mid(1)).toUtf8());
            listed << m.captured(2);
        }
        QCOMPARE(listed, QStringList({"100%.htm", "a&amp;b &lt;c&gt;.html", "my page.htm", "onerace.htm",
                                      QString::fromUtf8("итоги.htm")}));
        QCOMPARE(data, QStringList({"/api/race", "/api/results", "/api/bracket"}));
    }

    void resultsOfTheCurrentStageInTheChosenOrder()
    {
        LiveFixture f;
        for (const auto &[stage, name, qual] : {std::tuple{1, "Ann", 31000}, std::tuple{1, "Bob", 29000},
                                                std::tuple{2, "Zed", 10000}, std::tuple{1, "Cid", 30000}})
            f.exec(QStringLiteral(
                       "INSERT INTO results (stage, pilotid, pilotname, qualtime, qualtimetxt, place, "
                       "wins, lapno, besttime, besttimetxt, totaltime, totaltimetxt) VALUES "
                       "(%1, 1, '%2', %3, 'q', 999, 0, 0, 59999999, '999:59.999', 59999999, "
                       "'999:59.999')")
                       .arg(stage)
                       .arg(QLatin1String(name))
                       .arg(qual));
        f.settings.set("cbresfields", f.db.db().record("results").indexOf("qualtime"));
        f.settings.set("cbresfieldssort", 1);
        QVERIFY(f.start());
        const QJsonObject results = parse(get(f.port(), "/api/results").body);
        QStringList order;
        for (const QJsonValue &row : results.value("results").toArray())
            order << row.toObject().value("name").toString();
        QCOMPARE(order, QStringList({"Ann", "Cid", "Bob"}));
        QCOMPARE(results.value("stage").toString(), QStringLiteral("Final"));
        QVERIFY(results.value("results").toArray().at(0).toObject().value("bestLapMs").isNull());
        // The stage's format key (the default here), and no deciding value kept.
        QCOMPARE(results.value("format").toString(), QStringLiteral("lapsandtime"));
        QVERIFY(results.value("results").toArray().at(0).toObject().value("deciding").isNull());
    }

    // Stalled, oversized and garbage clients are dropped; beyond the
    // connection limit a client is turned away; the server goes on serving.
    void misbehavingClientsAreDropped()
    {
        LiveFixture f;
        LiveServer::Options o;
        o.maxConnections = 3;
        o.requestTimeoutMs = 300;
        o.idleTimeoutMs = 300;
        o.maxRequestBytes = 4096;
        QVERIFY(f.start(o));
        auto open = [&f] {
            auto s = std::make_unique<QTcpSocket>();
            s->connectToHost(QHostAddress(QHostAddress::LocalHost), f.port());
            return s->waitForConnected(3000) ? std::move(s) : nullptr;
        };
        auto closedByServer = [](QTcpSocket &s) {
            QDeadlineTimer deadline(5000);
            while (s.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired())
                s.waitForReadyRead(100);
            return s.state() != QAbstractSocket::ConnectedState;
        };

        auto stalled = open();
        QVERIFY(stalled);
        stalled->write("GET /api/race HTTP/1.1\r\nHost: x\r\n");
        QVERIFY(closedByServer(*stalled));
        QVERIFY(!stalled->readAll().contains("200 OK"));

        auto huge = open();
        QVERIFY(huge);
        huge->write("GET /api/race HTTP/1.1\r\nX-Big: " + QByteArray(64 * 1024, 'a'));
        QVERIFY(closedByServer(*huge));
        QVERIFY(!huge->readAll().contains("200 OK"));

        auto garbage = open();
        QVERIFY(garbage);
        garbage->write(QByteArray::fromHex("16030100a5010000a10303") + QByteArray(200, '\0'));
        QVERIFY(closedByServer(*garbage));
        QTRY_COMPARE(f.server.counters().connections.load(), 0);
        QVERIFY(f.server.counters().dropped.load() >= 3);
        QCOMPARE(get(f.port(), "/api/race").status, 200);
    }

    // A request longer than the limit is answered at once, not left to its
    // deadline; one within it is served.
    void anOverlongRequestIsAnswered431AtOnce()
    {
        LiveFixture f;
        QVERIFY(f.start()); // 16 KiB, 10 s to send a request
        QElapsedTimer clock;
        clock.start();
        const HttpReply big = rawRequest(
            f.port(), "GET /api/race HTTP/1.1\r\nHost: x\r\nX-Big: " + QByteArray(40 * 1024, 'a'), 5000);
        QCOMPARE(big.status, 431);
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        const HttpReply fits =
            rawRequest(f.port(), "GET /api/race HTTP/1.1\r\nHost: x\r\nX-Big: " + QByteArray(12 * 1024, 'a') +
                                     "\r\nConnection: close\r\n\r\n");
        QCOMPARE(fits.status, 200);
    }

    // A client that keeps asking and never reads the answers is not read
    // further once about 1 MiB waits for it, and is closed when nothing of
    // that goes out; others are served meanwhile.
    void aClientThatAsksAndNeverReadsIsHeldThenClosed()
    {
        LiveFixture f;
        LiveServer::Options o;
        o.drainTimeoutMs = 600;
        o.idleTimeoutMs = 60000;
        writeFile(f.htmls + "/big.htm", QByteArray(256 * 1024, 'x'));
        QVERIFY(f.start(o));
        QTcpSocket greedy;
        greedy.setReadBufferSize(1024);
        greedy.connectToHost(QHostAddress(QHostAddress::LocalHost), f.port());
        QVERIFY(greedy.waitForConnected(3000));
        greedy.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
        for (int i = 0; i < 60; ++i) {
            greedy.write("GET /big.htm HTTP/1.1\r\nHost: x\r\n\r\n");
            greedy.flush();
            QTest::qWait(5);
        }
        QCOMPARE(get(f.port(), "/api/race").status, 200);
        // The answers held: the cap and what the system keeps, a handful of pages.
        const qint64 answered = f.server.counters().requests.load();
        QVERIFY2(answered <= 12, qPrintable(QString::number(answered)));
        QTRY_COMPARE(f.server.counters().connections.load(), 0);
        QVERIFY(f.server.counters().dropped.load() >= 1);
        QVERIFY(f.server.counters().requests.load() <= answered + 1);
    }

    // Feeds that never read cannot take the server: one device holds a few
    // feeds and a few page connections, each apart, feeds hold their share,
    // and a feed that takes nothing of what waits for it is dropped after the
    // drain time.
    void feedsThatNeverReadLockNobodyOut()
    {
        LiveFixture f;
        f.smallRace();
        LiveServer::Options o;
        o.maxConnections = 12;
        o.maxConnectionsPerAddress = 3;
        o.maxFeedsPerAddress = 3;
        o.maxSubscribers = 5;
        o.drainTimeoutMs = 400;
        QVERIFY(f.start(o));
        // 127.0.0.2 and on stand for other devices on the network.
        const QHostAddress phone2("127.0.0.2"), phone3("127.0.0.3"), phone4("127.0.0.4");
        FeedClient reader(f.port(), QHostAddress("127.0.0.5"));
        QJsonObject m;
        QVERIFY(reader.next(&m));
        std::vector<std::unique_ptr<QTcpSocket>> stuck;
        for (int i = 0; i < 3; ++i) {
            stuck.push_back(feedThatNeverReads(f.port(), phone2));
            QVERIFY(stuck.back());
        }
        QTRY_COMPARE(f.server.counters().subscribers.load(), 4);
        // Its feeds leave its pages alone; one feed more is one too many.
        QCOMPARE(get(f.port(), "/overlay", "GET", phone2).status, 200);
        const HttpReply fourth =
            rawRequest(f.port(), "GET /api/events HTTP/1.1\r\nHost: x\r\n\r\n", 3000, phone2);
        QCOMPARE(fourth.status, 503);
        QVERIFY(fourth.body.contains("too many live feeds"));
        // Page connections of a device are bounded on their own.
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < 3; ++i) {
            idle.push_back(openFrom(f.port(), phone3));
            QVERIFY(idle.back());
        }
        QTRY_COMPARE(f.server.counters().connections.load(), 7);
        QCOMPARE(get(f.port(), "/overlay", "GET", phone3).status, 503);
        QCOMPARE(get(f.port(), "/overlay", "GET", phone4).status, 200);
        idle.clear();
        QTRY_COMPARE(f.server.counters().connections.load(), 4);

        stuck.push_back(feedThatNeverReads(f.port(), phone3));
        QVERIFY(stuck.back());
        QTRY_COMPARE(f.server.counters().subscribers.load(), 5);
        // The feed is full; pages and data are not.
        QCOMPARE(rawRequest(f.port(), "GET /api/events HTTP/1.1\r\nHost: x\r\n\r\n", 3000, phone4).status,
                 503);
        QCOMPARE(get(f.port(), "/overlay", "GET", phone4).status, 200);
        QCOMPARE(get(f.port(), "/api/race", "GET", phone4).status, 200);

        // Less than the backlog limit, more than the system keeps for them.
        const QString padding(2000, QLatin1Char('x'));
        for (int i = 0; i < 200; ++i) {
            f.server.push(QJsonObject{{"type", "test"}, {"n", i}, {"padding", padding}});
            if (i % 20 == 19)
                QTest::qWait(1);
            while (reader.next(&m, 0)) {
            }
        }
        QTRY_COMPARE(f.server.counters().subscribers.load(), 1);
        QCOMPARE(get(f.port(), "/overlay", "GET", phone2).status, 200);
        f.server.push(QJsonObject{{"type", "last"}});
        do
            QVERIFY(reader.next(&m));
        while (m.value("type").toString() != "last");
    }

    // A client on this computer (browser tabs with overlays and boards, a
    // streaming program's scenes) may hold more feeds than a device may
    // connections, and its pages and data still answer.
    void manyFeedsFromThisComputerLeavePagesReachable()
    {
        LiveFixture f;
        f.smallRace();
        QVERIFY(f.start()); // the product's limits
        const QHostAddress self(QHostAddress::LocalHost);
        std::vector<std::unique_ptr<QTcpSocket>> feeds;
        for (int i = 0; i < 40; ++i) {
            feeds.push_back(feedThatNeverReads(f.port(), self));
            QVERIFY(feeds.back());
        }
        QTRY_COMPARE(f.server.counters().subscribers.load(), 40);
        for (const QByteArray path : {"/overlay", "/board", "/api/race"})
            QCOMPARE(get(f.port(), path).status, 200);
    }

    // With no race running a feed gets nothing but keep-alive comments; one
    // whose client stopped reading is found all the same and dropped within
    // the drain time and a keep-alive interval, while a reading one stays.
    void aStalledFeedIsDroppedWithNoRaceRunning()
    {
        LiveFixture f;
        LiveServer::Options o;
        o.drainTimeoutMs = 600;
        o.keepAliveMs = 200;
        QVERIFY(f.start(o));
        // A race that is not running, longer than the stalled client takes in.
        f.server.publishRace(QJsonObject{{"state", "not started"},
                                         {"eventName", QString(8000, QLatin1Char('e'))},
                                         {"pilots", QJsonArray()}},
                             false, 0);
        FeedClient reader(f.port());
        QJsonObject m;
        QVERIFY(reader.next(&m));
        StalledFeed stalled(f.port());
        QVERIFY(stalled.ok());
        QTRY_COMPARE(f.server.counters().subscribers.load(), 2);
        QElapsedTimer clock;
        clock.start();
        const qint64 droppedBefore = f.server.counters().dropped.load();
        QTRY_COMPARE_WITH_TIMEOUT(f.server.counters().subscribers.load(), 1, 5000);
        const qint64 took = clock.elapsed();
        QVERIFY2(took <= o.drainTimeoutMs + o.keepAliveMs + 500, qPrintable(QString::number(took)));
        QCOMPARE(f.server.counters().dropped.load(), droppedBefore + 1);

        // The reader stays through several drain times with keep-alives only.
        const int before = reader.comments();
        QTest::qWait(3 * o.drainTimeoutMs);
        QVERIFY2(reader.comments() >= before + 5, qPrintable(QString::number(reader.comments() - before)));
        QCOMPARE(f.server.counters().subscribers.load(), 1);
        f.server.push(QJsonObject{{"type", "last"}});
        QVERIFY(reader.next(&m));
        QCOMPARE(m.value("type").toString(), QStringLiteral("last"));
    }

    void connectionsAreBounded()
    {
        LiveFixture f;
        LiveServer::Options o;
        o.maxConnections = 3;
        QVERIFY(f.start(o));
        auto open = [&f] {
            auto s = std::make_unique<QTcpSocket>();
            s->connectToHost(QHostAddress(QHostAddress::LocalHost), f.port());
            return s->waitForConnected(3000) ? std::move(s) : nullptr;
        };
        // Three idle connections fill the server; the next is turned away.
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < 3; ++i) {
            idle.push_back(open());
            QVERIFY(idle.back());
        }
        QTRY_COMPARE(f.server.counters().connections.load(), 3);
        QCOMPARE(get(f.port(), "/api/race").status, 503);
        idle.clear();
        QTRY_COMPARE(f.server.counters().connections.load(), 0);
        QCOMPARE(get(f.port(), "/api/race").status, 200);
    }

    // A feed client that stops reading is dropped; the others go on.
    void aSubscriberThatStopsReadingIsDropped()
    {
        LiveFixture f;
        LiveServer::Options o;
        o.maxBacklogBytes = 256 * 1024;
        QVERIFY(f.start(o));
        QTcpSocket stuck;
        stuck.setReadBufferSize(1024);
        stuck.connectToHost(QHostAddress(QHostAddress::LocalHost), f.port());
        QVERIFY(stuck.waitForConnected(3000));
        stuck.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
        stuck.write("GET /api/events HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY(stuck.waitForBytesWritten(3000));
        FeedClient reader(f.port());
        QJsonObject m;
        QVERIFY(reader.next(&m));
        QTRY_COMPARE(f.server.counters().subscribers.load(), 2);

        const QString padding(2000, QLatin1Char('x'));
        for (int i = 0; i < 4000 && f.server.counters().subscribers.load() == 2; ++i) {
            f.server.push(QJsonObject{{"type", "test"}, {"n", i}, {"padding", padding}});
            if (i % 20 == 19)
                QTest::qWait(1); // lets the server thread and the reader keep up
            while (reader.next(&m, 0)) {
            }
        }
        QTRY_COMPARE(f.server.counters().subscribers.load(), 1);
        QVERIFY(f.server.counters().dropped.load() >= 1);
        f.server.push(QJsonObject{{"type", "last"}});
        do
            QVERIFY(reader.next(&m));
        while (m.value("type").toString() != "last");
    }

    void switchedBySettingsAndAPortInUseIsReported()
    {
        LiveFixture f;
        LogCapture lines(*f.log);
        LiveService service(f.db.db(), f.settings, *f.log, &f.selection, f.htmls);
        service.setAllowAnyPort(true);
        QSignalSpy failed(&service, &LiveService::failed);
        QTcpServer occupant;
        QVERIFY(occupant.listen(QHostAddress(QHostAddress::LocalHost), 0));

        f.settings.set("edwwwserverport", occupant.serverPort());
        f.settings.set("chwwwserver", true);
        QVERIFY(!service.isRunning());
        QCOMPARE(failed.size(), 1);
        const QString port = QString::number(occupant.serverPort());
        QVERIFY(failed.at(0).at(0).toString().contains("cannot listen on port " + port));
        QVERIFY(lines.lines.last().startsWith("Web server not started"));
        QCOMPARE(service.statusText(), "Not running: port " + port + " unavailable");

        // Another port: it starts, on this computer only, and says where.
        f.settings.set("edwwwserverport", 0);
        QVERIFY(service.isRunning());
        QCOMPARE(service.server().address(), QHostAddress(QHostAddress::LocalHost));
        const QString url = service.urls().first();
        QVERIFY(url.startsWith("http://127.0.0.1:"));
        QVERIFY(lines.lines.last().startsWith("Web server started at " + url));
        QCOMPARE(get(service.server().port(), "/api/race").status, 200);

        f.settings.set("edwwwserverport", 70000);
        QVERIFY(!service.isRunning());
        QCOMPARE(failed.size(), 2);
        f.settings.set("chwwwserver", false);
        QCOMPARE(service.statusText(), QStringLiteral("Off"));
    }
};

QTEST_GUILESS_MAIN(TestLiveServer)
#include "tst_liveserver.moc"
