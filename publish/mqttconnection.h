// One connection to an MQTT broker, kept up by a thread of its own: the
// caller hands over messages and never waits for the network; connects,
// failures and acknowledgements come back as signals on the caller's thread.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

struct mosquitto;

namespace lapvane {

struct MqttOptions
{
    QString host;
    int port = 1883;
    bool tls = false;
    QString caFile; // empty with TLS: the system's certificates
    QString clientId;
    QString user;
    QString password;
    int keepAliveS = 20;
    // Published retained on every connect; the broker publishes the will
    // retained when the connection is lost without a goodbye.
    QString statusTopic;
    QByteArray onlinePayload = "online";
    QByteArray offlinePayload = "offline";
    // Waits between connection attempts grow from the first to the last.
    int retryFirstMs = 500;
    int retryMaxMs = 10000;
};

class MqttConnection : public QObject
{
    Q_OBJECT
public:
    explicit MqttConnection(QObject *parent = nullptr);
    // Says goodbye (status offline) when connected and stops the thread.
    ~MqttConnection() override;

    // Sets the client up and starts connecting in the background. False with
    // a plain message when the options cannot be used (a CA file that cannot
    // be read, a client library failure); nothing runs then.
    bool start(const MqttOptions &options, QString *error);
    // Publishes the offline status, disconnects and waits for the thread
    // (at most about a second).
    void stop();
    bool isRunning() const { return m_mosq != nullptr; }

    // Queues a message; it goes out when connected. QoS 1 messages are kept
    // and sent again after a reconnect until the broker acknowledges them.
    // Returns the message's number (acknowledged() names it), or -1 with a
    // message.
    int publish(const QString &topic, const QByteArray &payload, int qos, bool retain,
                QString *error = nullptr);

signals:
    void connected();
    // The connection failed or was lost; reconnecting follows by itself.
    // reason is in plain words; detail, when not empty, is what the client
    // library said where reason puts it in other words (for the log).
    void disconnected(const QString &reason, const QString &detail);
    // The broker has a QoS 1 message (PUBACK): publish()'s number.
    void acknowledged(int messageNumber);

private:
    void run();
    bool publishLocked(int ticket, const QByteArray &topic, const QByteArray &payload, int qos, bool retain,
                       QString *error);
    void waitBeforeRetry(int ms);
    void postConnected();
    void postDisconnected(const QString &reason, const QString &detail);

    static void onConnect(mosquitto *mosq, void *self, int rc);
    static void onDisconnect(mosquitto *mosq, void *self, int rc);
    static void onPublish(mosquitto *mosq, void *self, int mid);

    MqttOptions m_options;
    mosquitto *m_mosq = nullptr;
    std::thread m_thread;
    std::mutex m_waitMutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_connected{false};
    // Counts connections started; reports of an earlier one are dropped.
    std::atomic<int> m_generation{0};
    // Guards the client between publish() and the thread's first connect
    // (which sets the address up), and the numbers of unacknowledged messages.
    struct Early
    {
        int ticket;
        QByteArray topic;
        QByteArray payload;
        int qos;
        bool retain;
    };
    std::mutex m_publishMutex;
    bool m_addressSet = false;
    QList<Early> m_early;
    QHash<int, int> m_ticketOfMid; // library message id -> publish()'s number
    int m_lastTicket = 0;
    // Thread side: why the last attempt or connection ended.
    QString m_refusal;
};

} // namespace lapvane
