// A real MQTT broker (mosquitto) for the tests, on 127.0.0.1 and free ports
// with a generated configuration in a temporary folder, and a subscriber that
// records what it receives.
#pragma once

#include "tests/common/loopback.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

struct mosquitto;
struct mosquitto_message;

namespace lapvane::test {

class MqttTestBroker
{
public:
    MqttTestBroker();
    ~MqttTestBroker();

    // Lines added to the configuration (after the listener on port()).
    QStringList extraConfig;
    // Keeps sessions and queued messages across a restart (persistence file
    // in the temporary folder).
    bool persistent = false;

    bool start();
    // Stops it gracefully (SIGTERM; a persistent broker saves its state).
    void stop();
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    quint16 port() const { return m_port; }
    QString folder() const { return m_dir.path(); }
    QString url() const { return QStringLiteral("mqtt://127.0.0.1:%1").arg(m_port); }
    // The broker's own output, for failure messages.
    QByteArray output();

private:
    QTemporaryDir m_dir;
    quint16 m_port = 0;
    QProcess m_process;
};

struct MqttMessage
{
    QString topic;
    QByteArray payload;
    bool retained = false;
};

class MqttTestSubscriber
{
public:
    // cleanSession false: a persistent session under this client id, which
    // the broker keeps (with QoS 1 messages) while the subscriber is away.
    MqttTestSubscriber(const QString &clientId, bool cleanSession);
    ~MqttTestSubscriber();

    bool connectTo(quint16 port, const QString &topicFilter, const QString &user = {},
                   const QString &password = {});
    void disconnect();
    bool isSubscribed() const;

    QList<MqttMessage> messages() const;
    QList<MqttMessage> messagesOn(const QString &topic) const;
    // The last payload on a topic, empty when none came.
    QByteArray last(const QString &topic) const;

private:
    static void onConnect(mosquitto *, void *self, int rc);
    static void onSubscribe(mosquitto *, void *self, int, int, const int *);
    static void onMessage(mosquitto *, void *self, const mosquitto_message *m);

    mosquitto *m_mosq = nullptr;
    QByteArray m_topicFilter;
    mutable QMutex m_mutex;
    QList<MqttMessage> m_messages;
    bool m_subscribed = false;
};

} // namespace lapvane::test
