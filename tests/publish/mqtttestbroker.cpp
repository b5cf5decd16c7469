// A broker and a subscriber for the MQTT tests.
#include "tests/publish/mqtttestbroker.h"

#include <QDir>
#include <QFile>
#include <QMutexLocker>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTest>

#include <mosquitto.h>

#include <csignal>
#include <pwd.h>
#include <unistd.h>

namespace lapvane::test {

MqttTestBroker::MqttTestBroker()
{
    m_port = freeLoopbackPort();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

MqttTestBroker::~MqttTestBroker()
{
    stop();
}

bool MqttTestBroker::start()
{
    QStringList lines = {QStringLiteral("listener %1 127.0.0.1").arg(m_port),
                         QStringLiteral("allow_anonymous true")};
    // Started by root the broker would become user "mosquitto", who cannot
    // read the temporary folder; as anyone else this line changes nothing.
    if (const passwd *me = getpwuid(getuid()))
        lines << QStringLiteral("user %1").arg(QString::fromLocal8Bit(me->pw_name));
    lines << extraConfig;
    if (persistent) {
        lines << QStringLiteral("persistence true")
              << QStringLiteral("persistence_location %1/").arg(m_dir.path())
              << QStringLiteral("autosave_interval 0");
    } else {
        lines << QStringLiteral("persistence false");
    }
    lines << QStringLiteral("log_dest stdout") << QStringLiteral("log_type error")
          << QStringLiteral("log_type warning") << QStringLiteral("log_type notice");
    const QString config = QDir(m_dir.path()).filePath(QStringLiteral("mosquitto.conf"));
    QFile f(config);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    f.write(lines.join(QLatin1Char('\n')).toUtf8() + '\n');
    f.close();
    // Debian puts the broker in /usr/sbin, which a user's PATH may lack.
    QString program = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {QStringLiteral("/usr/sbin")});
    if (program.isEmpty()) {
        qWarning("mosquitto is not installed (scripts/packages.sh installs it)");
        return false;
    }
    m_process.start(program, {QStringLiteral("-c"), config});
    if (!m_process.waitForStarted(5000))
        return false;
    // Ready once it accepts connections.
    for (int i = 0; i < 100; ++i) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, m_port);
        if (s.waitForConnected(100))
            return true;
        if (m_process.state() != QProcess::Running)
            break;
        QTest::qWait(50);
    }
    qWarning("mosquitto did not start: %s", m_process.readAll().constData());
    return false;
}

void MqttTestBroker::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(m_process.processId()), SIGTERM);
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

QByteArray MqttTestBroker::output()
{
    return m_process.readAll();
}

MqttTestSubscriber::MqttTestSubscriber(const QString &clientId, bool cleanSession)
{
    mosquitto_lib_init();
    m_mosq = mosquitto_new(clientId.toUtf8().constData(), cleanSession, this);
    mosquitto_connect_callback_set(m_mosq, &MqttTestSubscriber::onConnect);
    mosquitto_subscribe_callback_set(m_mosq, &MqttTestSubscriber::onSubscribe);
    mosquitto_message_callback_set(m_mosq, &MqttTestSubscriber::onMessage);
    mosquitto_reconnect_delay_set(m_mosq, 1, 1, false);
}

MqttTestSubscriber::~MqttTestSubscriber()
{
    disconnect();
    mosquitto_destroy(m_mosq);
}

bool MqttTestSubscriber::connectTo(quint16 port, const QString &topicFilter, const QString &user,
                                   const QString &password)
{
    m_topicFilter = topicFilter.toUtf8();
    if (!user.isEmpty())
        mosquitto_username_pw_set(m_mosq, user.toUtf8().constData(), password.toUtf8().constData());
    if (mosquitto_connect(m_mosq, "127.0.0.1", port, 10) != MOSQ_ERR_SUCCESS)
        return false;
    if (mosquitto_loop_start(m_mosq) != MOSQ_ERR_SUCCESS)
        return false;
    for (int i = 0; i < 100 && !isSubscribed(); ++i)
        QTest::qWait(50);
    return isSubscribed();
}

void MqttTestSubscriber::disconnect()
{
    mosquitto_disconnect(m_mosq);
    mosquitto_loop_stop(m_mosq, false);
    QMutexLocker lock(&m_mutex);
    m_subscribed = false;
}

bool MqttTestSubscriber::isSubscribed() const
{
    QMutexLocker lock(&m_mutex);
    return m_subscribed;
}

QList<MqttMessage> MqttTestSubscriber::messages() const
{
    QMutexLocker lock(&m_mutex);
    return m_messages;
}

QList<MqttMessage> MqttTestSubscriber::messagesOn(const QString &topic) const
{
    QList<MqttMessage> out;
    for (const MqttMessage &m : messages()) {
        if (m.topic == topic)
            out << m;
    }
    return out;
}

QByteArray MqttTestSubscriber::last(const QString &topic) const
{
    const QList<MqttMessage> on = messagesOn(topic);
    return on.isEmpty() ? QByteArray() : on.last().payload;
}

void MqttTestSubscriber::onConnect(mosquitto *mosq, void *self, int rc)
{
    auto *s = static_cast<MqttTestSubscriber *>(self);
    if (rc == 0)
        mosquitto_subscribe(mosq, nullptr, s->m_topicFilter.constData(), 1);
}

void MqttTestSubscriber::onSubscribe(mosquitto *, void *self, int, int, const int *)
{
    auto *s = static_cast<MqttTestSubscriber *>(self);
    QMutexLocker lock(&s->m_mutex);
    s->m_subscribed = true;
}

void MqttTestSubscriber::onMessage(mosquitto *, void *self, const mosquitto_message *m)
{
    auto *s = static_cast<MqttTestSubscriber *>(self);
    QMutexLocker lock(&s->m_mutex);
    s->m_messages.append(MqttMessage{QString::fromUtf8(m->topic),
                                     QByteArray(static_cast<const char *>(m->payload), m->payloadlen),
                                     m->retain});
}

} // namespace lapvane::test
