// The built-in web server in the window: switched on by the settings file at
// start-up, its address shown beside its switch, and the race's laps reaching
// a client of the event feed on 127.0.0.1.
#include "app/mainwindow.h"
#include "app/racepage.h"
#include "publish/liveservice.h"
#include "race/raceengine.h"
#include "tests/app/programfixture.h"
#include "tests/common/loopback.h"

#include <QCheckBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QSpinBox>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;
using lapvane::test::freeLoopbackPort;
using lapvane::test::Program;

namespace {

// Reads the event feed in the window's own event loop.
class Feed
{
public:
    explicit Feed(quint16 port)
    {
        m_socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
        m_socket.waitForConnected(5000);
        m_socket.write("GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    }
    // The next message other than a change of the race list, which may come
    // between any two (a view refreshed, a snapshot taken).
    QJsonObject nextEvent()
    {
        QJsonObject m;
        do
            m = next();
        while (m.value(QStringLiteral("type")).toString() == QLatin1String("racelist"));
        return m;
    }

    QJsonObject next()
    {
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            m_buffer += m_socket.readAll();
            int end;
            while ((end = m_buffer.indexOf("\n\n")) >= 0) {
                const QByteArray block = m_buffer.left(end);
                m_buffer.remove(0, end + 2);
                const int data = block.indexOf("data: ");
                if (data >= 0)
                    return QJsonDocument::fromJson(block.mid(data + 6)).object();
            }
            QTest::qWait(5);
        }
        return {};
    }

private:
    QTcpSocket m_socket;
    QByteArray m_buffer;
};

} // namespace

class TestLiveWindow : public QObject
{
    Q_OBJECT
private slots:
    void serverStartedByTheSettingsFileFollowsTheRace()
    {
        QTemporaryDir dir;
        const quint16 port = freeLoopbackPort();
        QFile ini(dir.filePath("lapvaneadmin.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[WWWSERVER]\r\nwwwServer=1\r\nwwwServerPort=" + QByteArray::number(port) + "\r\n");
        ini.close();

        Program p(dir.path());
        LiveService *live = p.window->liveService();
        QVERIFY(live->isRunning());
        const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(port);
        QCOMPARE(p.window->findChild<QLabel *>("lbwwwserveraddress")->text(), url);
        // The Settings hint names the data addresses the server answers, the bracket's too.
        bool hinted = false;
        for (const QLabel *l : p.window->findChildren<QLabel *>())
            hinted = hinted || (l->text().contains("/api/results") && l->text().contains("/api/bracket"));
        QVERIFY(hinted);
        QVERIFY(p.window->findChild<QCheckBox *>("chwwwserver")->isChecked());
        QCOMPARE(p.window->findChild<QSpinBox *>("edwwwserverport")->value(), int(port));
        QVERIFY(p.window->findChild<QWidget *>("gbwwwserver") != nullptr);

        QSqlQuery q(p.ctx.db.db());
        QVERIFY(q.exec("INSERT INTO onerace (pilotid, pilotname, pilottrans, vtx, confirmed, place, lapno) "
                       "VALUES (7, 'Ann', 101, 'R1', 'Y', 999, 0)"));
        p.window->racePage()->refreshRaceList();
        Feed feed(port);
        QJsonObject m = feed.next();
        QCOMPARE(m.value("type").toString(), QStringLiteral("race"));

        RaceEngine &race = *p.services->race;
        race.setTimerDriven(false);
        QVERIFY(race.racestartraceExecute());
        m = feed.nextEvent();
        QCOMPARE(m.value("type").toString(), QStringLiteral("start"));
        QCOMPARE(m.value("race").toObject().value("state").toString(), QStringLiteral("running"));

        p.receivers.queuePass(101, 30000);
        race.tmrraceTimer();
        m = feed.nextEvent();
        QCOMPARE(m.value("type").toString(), QStringLiteral("lap"));
        QCOMPARE(m.value("pilotid").toInt(), 7);
        QCOMPARE(m.value("lapTime").toString(), QStringLiteral("000:30.000"));

        QVERIFY(race.racestopraceExecute());
        m = feed.nextEvent();
        QCOMPARE(m.value("type").toString(), QStringLiteral("finish"));

        // Switched off from its control.
        p.window->findChild<QCheckBox *>("chwwwserver")->click();
        QVERIFY(!live->isRunning());
        QCOMPARE(p.window->findChild<QLabel *>("lbwwwserveraddress")->text(), QStringLiteral("Off"));
    }

    void aPortInUseIsAMessage()
    {
        QTemporaryDir dir;
        QTcpServer occupant;
        QVERIFY(occupant.listen(QHostAddress(QHostAddress::LocalHost), 0));
        Program p(dir.path());
        p.window->findChild<QSpinBox *>("edwwwserverport")->setValue(occupant.serverPort());
        p.window->findChild<QCheckBox *>("chwwwserver")->click();
        QVERIFY(!p.window->liveService()->isRunning());
        QCOMPARE(p.prompt.notices.size(), 1);
        QVERIFY(p.prompt.notices.first().contains(QString::number(occupant.serverPort())));
        QVERIFY(p.window->findChild<QLabel *>("lbwwwserveraddress")->text().startsWith("Not running"));
    }
};

QTEST_MAIN(TestLiveWindow)
#include "tst_livewindow.moc"
