// The MQTT publisher in the window: switched on by the settings file at
// start-up, its status on the "MQTT" tab, the password never shown, and the
// race's laps reaching a subscriber of a real broker on 127.0.0.1.
#include "app/mainwindow.h"
#include "app/racepage.h"
#include "publish/mqttpublisher.h"
#include "race/raceengine.h"
#include "tests/app/programfixture.h"
#include "tests/common/logcapture.h"
#include "tests/common/loopback.h"

#include <QCheckBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <pwd.h>
#include <unistd.h>

using namespace lapvane;
using lapvane::test::freeLoopbackPort;
using lapvane::test::Program;

namespace {

// mosquitto on 127.0.0.1 with a configuration in the folder.
bool startBroker(QProcess &broker, const QString &folder, quint16 port)
{
    QFile conf(folder + QStringLiteral("/mosquitto.conf"));
    if (!conf.open(QIODevice::WriteOnly))
        return false;
    conf.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\n")
                   .arg(port)
                   .toUtf8());
    if (const passwd *me = getpwuid(getuid()))
        conf.write("user " + QByteArray(me->pw_name) + "\n");
    conf.close();
    QString program = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {QStringLiteral("/usr/sbin")});
    broker.start(program, {QStringLiteral("-c"), conf.fileName()});
    if (!broker.waitForStarted())
        return false;
    for (int i = 0; i < 100; ++i) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(100))
            return true;
        QTest::qWait(50);
    }
    return false;
}

} // namespace

class TestMqttWindow : public QObject
{
    Q_OBJECT
private slots:
    void publisherStartedByTheSettingsFileFollowsTheRace()
    {
        QTemporaryDir dir;
        const quint16 port = freeLoopbackPort();
        QProcess broker;
        QVERIFY(startBroker(broker, dir.path(), port));
        QProcess sub;
        sub.start(QStringLiteral("mosquitto_sub"),
                  {"-h", "127.0.0.1", "-p", QString::number(port), "-q", "1", "-v", "-t", "lapvane/+/lap"});
        QVERIFY(sub.waitForStarted());
        QTest::qWait(300);

        QFile ini(dir.filePath("lapvaneadmin.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[MQTT]\r\nMqttEnabled=1\r\nMqttUrl=mqtt://127.0.0.1:" + QByteArray::number(port) +
                  "\r\nMqttUser=director\r\nMqttPassword=s3cret-word\r\n");
        ini.close();

        Program p(dir.path());
        test::LogCapture log(p.ctx.log);
        auto *status = p.window->findChild<QLabel *>("lbmqttstatus");
        QVERIFY(status);
        QTRY_COMPARE_WITH_TIMEOUT(status->text(),
                                  QStringLiteral("Connected to mqtt://127.0.0.1:%1").arg(port), 5000);
        QVERIFY(p.window->findChild<QCheckBox *>("chmqttenabled")->isChecked());
        // The saved password is never shown.
        auto *password = p.window->findChild<QLineEdit *>("edmqttpassword");
        QVERIFY(password);
        QVERIFY(password->text().isEmpty());
        QCOMPARE(password->echoMode(), QLineEdit::Password);
        QCOMPARE(password->placeholderText(), QStringLiteral("saved; type to replace"));

        QSqlQuery q(p.ctx.db.db());
        QVERIFY(q.exec("INSERT INTO onerace (pilotid, pilotname, pilottrans, vtx, confirmed, place, lapno) "
                       "VALUES (7, 'Ann', 101, 'R1', 'Y', 999, 0)"));
        p.window->racePage()->refreshRaceList();
        RaceEngine &race = *p.services->race;
        race.setTimerDriven(false);
        QVERIFY(race.racestartraceExecute());
        p.receivers.queuePass(101, 30000);
        race.tmrraceTimer();
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += sub.readAllStandardOutput()).contains("\n"), 5000);
        const int space = said.indexOf(' ');
        QCOMPARE(said.left(space), QByteArray("lapvane/0/lap"));
        const QJsonObject lap = QJsonDocument::fromJson(said.mid(space + 1).trimmed()).object();
        QCOMPARE(lap.value("pilotid").toInt(), 7);
        QCOMPARE(lap.value("lapn").toInt(), 1);
        QCOMPARE(lap.value("lapTime").toString(), QStringLiteral("000:30.000"));
        QVERIFY(race.racestopraceExecute());

        // A new password is taken from the field, which empties again.
        password->setText(QStringLiteral("new-word"));
        QMetaObject::invokeMethod(password, "editingFinished");
        QCOMPARE(p.ctx.settings.text("edmqttpassword"), QStringLiteral("new-word"));
        QVERIFY(password->text().isEmpty());
        p.window->findChild<QPushButton *>("btmqttforgetpassword")->click();
        QCOMPARE(p.ctx.settings.text("edmqttpassword"), QString());
        QCOMPARE(password->placeholderText(), QStringLiteral("none"));
        for (const QString &line : log.lines)
            QVERIFY2(!line.contains("s3cret-word") && !line.contains("new-word"), qPrintable(line));

        // Switched off from its control.
        p.window->findChild<QCheckBox *>("chmqttenabled")->click();
        QTRY_COMPARE(status->text(), QStringLiteral("Off"));
        sub.kill();
        sub.waitForFinished();
        broker.terminate();
        broker.waitForFinished();
    }

    void aBadAddressIsAMessage()
    {
        QTemporaryDir dir;
        Program p(dir.path());
        p.ctx.settings.set("edmqtturl", QStringLiteral("http://broker:1883"));
        p.window->findChild<QCheckBox *>("chmqttenabled")->click();
        QTRY_COMPARE(p.prompt.notices.size(), 1);
        QVERIFY(p.prompt.notices.first().contains("http://broker:1883"));
        QVERIFY(p.window->findChild<QLabel *>("lbmqttstatus")->text().startsWith("Not running"));
    }
};

QTEST_MAIN(TestMqttWindow)
#include "tst_mqttwindow.moc"
