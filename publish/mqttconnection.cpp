// The MQTT client connection on its own thread.
//
// The client library is libmosquitto (Debian's libmosquitto-dev, kept with
// the broker of the same project): a small C API with TLS, a last will, QoS 1
// with its own resending of unacknowledged messages across reconnects, and a
// thread-safe publish that only queues. The thread here owns connecting and
// reading; the program's threads only queue messages.
#include "publish/mqttconnection.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QtGlobal>

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace lapvane {

namespace {

// The connection whose thread this is (none on the program's threads).
thread_local const MqttConnection *t_clientThreadOf = nullptr;

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString describe(int rc, int savedErrno)
{
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(savedErrno));
    if (rc == MOSQ_ERR_CONN_LOST)
        return QStringLiteral("the connection was lost");
    if (rc == MOSQ_ERR_NO_CONN)
        return QStringLiteral("no connection");
    return QString::fromUtf8(mosquitto_strerror(rc));
}

// A TLS address that reaches a port speaking plain MQTT: the broker closes
// the connection (or answers in plain bytes) before any TLS handshake is done,
// and the TLS library reports it in its own words.
bool isNotTlsAnswer(const QString &libraryText)
{
    for (const char *words :
         {"unexpected eof while reading", "wrong version number", "packet length too long"}) {
        if (libraryText.contains(QLatin1String(words), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QString refusalText(int rc)
{
    switch (rc) {
    case 1:
        return QStringLiteral("the broker refused the protocol version");
    case 2:
        return QStringLiteral("the broker refused the client id");
    case 3:
        return QStringLiteral("the broker is unavailable");
    case 4:
        return QStringLiteral("the broker refused the user name or password");
    case 5:
        return QStringLiteral("the broker refused the connection: not authorised");
    default:
        return QStringLiteral("the broker refused the connection (code %1)").arg(rc);
    }
}

} // namespace

MqttConnection::MqttConnection(QObject *parent) : QObject(parent)
{
    initLibrary();
}

MqttConnection::~MqttConnection()
{
    stop();
}

bool MqttConnection::start(const MqttOptions &options, QString *error)
{
    stop();
    m_options = options;
    const QByteArray id = options.clientId.toUtf8();
    mosquitto *mosq = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), true, this);
    if (!mosq) {
        *error = QStringLiteral("the MQTT client could not be created (%1)")
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    auto fail = [&](const QString &text) {
        mosquitto_destroy(mosq);
        *error = text;
        return false;
    };
    mosquitto_threaded_set(mosq, true);
    mosquitto_connect_callback_set(mosq, &MqttConnection::onConnect);
    mosquitto_disconnect_callback_set(mosq, &MqttConnection::onDisconnect);
    mosquitto_publish_callback_set(mosq, &MqttConnection::onPublish);
    mosquitto_log_callback_set(mosq, [](mosquitto *, void *self, int level, const char *text) {
        // TLS failures say their cause only here ("certificate verify failed").
        auto *c = static_cast<MqttConnection *>(self);
        if (level == MOSQ_LOG_ERR && text && t_clientThreadOf == c)
            c->m_refusal = QString::fromUtf8(text);
    });
    if (!options.user.isEmpty()) {
        const QByteArray user = options.user.toUtf8();
        const QByteArray password = options.password.toUtf8();
        if (mosquitto_username_pw_set(mosq, user.constData(),
                                      password.isEmpty() ? nullptr : password.constData()) !=
            MOSQ_ERR_SUCCESS)
            return fail(QStringLiteral("the MQTT user name cannot be used"));
    }
    if (!options.statusTopic.isEmpty()) {
        const QByteArray topic = options.statusTopic.toUtf8();
        if (mosquitto_will_set(mosq, topic.constData(), int(options.offlinePayload.size()),
                               options.offlinePayload.constData(), 1, true) != MOSQ_ERR_SUCCESS)
            return fail(
                QStringLiteral("the status topic \"%1\" is not a valid MQTT topic").arg(options.statusTopic));
    }
    if (options.tls) {
        int rc;
        if (options.caFile.isEmpty()) {
            mosquitto_int_option(mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
            rc = mosquitto_tls_set(mosq, nullptr, "/etc/ssl/certs", nullptr, nullptr, nullptr);
        } else {
            if (!QFileInfo(options.caFile).isReadable())
                return fail(QStringLiteral("the CA file %1 cannot be read").arg(options.caFile));
            const QByteArray ca = QFileInfo(options.caFile).absoluteFilePath().toLocal8Bit();
            rc = mosquitto_tls_set(mosq, ca.constData(), nullptr, nullptr, nullptr, nullptr);
        }
        if (rc != MOSQ_ERR_SUCCESS)
            return fail(QStringLiteral("TLS cannot be set up: %1").arg(describe(rc, errno)));
    }
    {
        std::lock_guard<std::mutex> lock(m_publishMutex);
        m_addressSet = false;
        m_early.clear();
        m_ticketOfMid.clear();
    }
    m_mosq = mosq;
    ++m_generation;
    m_stop = false;
    m_connected = false;
    m_thread = std::thread([this] { run(); });
    return true;
}

void MqttConnection::stop()
{
    if (!m_mosq)
        return;
    {
        std::lock_guard<std::mutex> lock(m_waitMutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    mosquitto_destroy(m_mosq);
    m_mosq = nullptr;
    m_connected = false;
    ++m_generation; // what the old connection still has on its way is dropped
}

int MqttConnection::publish(const QString &topic, const QByteArray &payload, int qos, bool retain,
                            QString *error)
{
    if (!m_mosq) {
        if (error)
            *error = QStringLiteral("not running");
        return -1;
    }
    std::lock_guard<std::mutex> lock(m_publishMutex);
    const int ticket = ++m_lastTicket;
    // Until the thread has set the client's address up (which also makes its
    // internal wake-up pipe) the message waits here.
    if (!m_addressSet) {
        m_early.append(Early{ticket, topic.toUtf8(), payload, qos, retain});
        return ticket;
    }
    return publishLocked(ticket, topic.toUtf8(), payload, qos, retain, error) ? ticket : -1;
}

bool MqttConnection::publishLocked(int ticket, const QByteArray &topic, const QByteArray &payload, int qos,
                                   bool retain, QString *error)
{
    int mid = 0;
    const int rc = mosquitto_publish(m_mosq, &mid, topic.constData(), int(payload.size()),
                                     payload.constData(), qos, retain);
    // Without a connection a QoS 1 message stays queued and goes out after
    // the next connect; the library says "no connection" all the same.
    if (rc == MOSQ_ERR_SUCCESS || (rc == MOSQ_ERR_NO_CONN && qos > 0)) {
        if (qos > 0)
            m_ticketOfMid.insert(mid, ticket);
        return true;
    }
    if (error)
        *error = describe(rc, errno);
    return false;
}

void MqttConnection::waitBeforeRetry(int ms)
{
    std::unique_lock<std::mutex> lock(m_waitMutex);
    m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop.load(); });
}

void MqttConnection::postConnected()
{
    const int generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation == m_generation)
                emit connected();
        },
        Qt::QueuedConnection);
}

void MqttConnection::postDisconnected(const QString &reason, const QString &detail)
{
    const int generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation, reason, detail] {
            if (generation == m_generation)
                emit disconnected(reason, detail);
        },
        Qt::QueuedConnection);
}

void MqttConnection::run()
{
    t_clientThreadOf = this;
    const QByteArray host = m_options.host.toUtf8();
    int retryMs = m_options.retryFirstMs;
    bool addressSet = false;
    while (!m_stop) {
        m_refusal.clear();
        // The first attempt sets the address up; later ones keep it (and the
        // pipe that publish() wakes this thread through).
        int rc;
        if (!addressSet) {
            rc = mosquitto_connect_async(m_mosq, host.constData(), m_options.port, m_options.keepAliveS);
            addressSet = rc != MOSQ_ERR_INVAL && rc != MOSQ_ERR_NOMEM;
            if (addressSet) {
                std::lock_guard<std::mutex> lock(m_publishMutex);
                m_addressSet = true;
                for (const Early &e : std::exchange(m_early, {})) {
                    if (!publishLocked(e.ticket, e.topic, e.payload, e.qos, e.retain, nullptr))
                        qWarning("MQTT: a message to %s could not be queued", e.topic.constData());
                }
            }
        } else {
            rc = mosquitto_reconnect_async(m_mosq);
        }
        int savedErrno = errno;
        if (rc == MOSQ_ERR_SUCCESS) {
            while (!m_stop) {
                rc = mosquitto_loop(m_mosq, 100, 1);
                savedErrno = errno;
                if (rc != MOSQ_ERR_SUCCESS)
                    break;
            }
        }
        if (m_stop)
            break;
        const bool wasConnected = m_connected.exchange(false);
        if (wasConnected)
            retryMs = m_options.retryFirstMs;
        if (m_options.tls && !wasConnected && isNotTlsAnswer(m_refusal))
            postDisconnected(QStringLiteral("the broker did not answer TLS (is it a plain MQTT port?)"),
                             m_refusal);
        else
            postDisconnected(m_refusal.isEmpty() ? describe(rc, savedErrno) : m_refusal, QString());
        waitBeforeRetry(retryMs);
        retryMs = qMin(retryMs * 2, m_options.retryMaxMs);
    }
    if (m_connected) {
        // A goodbye: the broker keeps "offline" (it sends the will only when
        // a connection is lost without one).
        if (!m_options.statusTopic.isEmpty()) {
            const QByteArray topic = m_options.statusTopic.toUtf8();
            mosquitto_publish(m_mosq, nullptr, topic.constData(), int(m_options.offlinePayload.size()),
                              m_options.offlinePayload.constData(), 0, true);
        }
        mosquitto_disconnect(m_mosq);
        for (int i = 0; i < 10 && m_connected; ++i) {
            if (mosquitto_loop(m_mosq, 100, 1) != MOSQ_ERR_SUCCESS)
                break;
        }
        m_connected = false;
    }
}

void MqttConnection::onConnect(mosquitto *mosq, void *self, int rc)
{
    auto *c = static_cast<MqttConnection *>(self);
    if (rc != 0) {
        c->m_refusal = refusalText(rc);
        return;
    }
    c->m_connected = true;
    if (!c->m_options.statusTopic.isEmpty()) {
        const QByteArray topic = c->m_options.statusTopic.toUtf8();
        mosquitto_publish(mosq, nullptr, topic.constData(), int(c->m_options.onlinePayload.size()),
                          c->m_options.onlinePayload.constData(), 1, true);
    }
    c->postConnected();
}

void MqttConnection::onDisconnect(mosquitto *, void *self, int)
{
    static_cast<MqttConnection *>(self)->m_connected = false;
}

void MqttConnection::onPublish(mosquitto *, void *self, int mid)
{
    auto *c = static_cast<MqttConnection *>(self);
    int ticket;
    {
        std::lock_guard<std::mutex> lock(c->m_publishMutex);
        ticket = c->m_ticketOfMid.take(mid);
    }
    if (ticket == 0)
        return; // the status, or a message without acknowledgement
    const int generation = c->m_generation;
    QMetaObject::invokeMethod(
        c,
        [c, generation, ticket] {
            if (generation == c->m_generation)
                emit c->acknowledged(ticket);
        },
        Qt::QueuedConnection);
}

} // namespace lapvane
