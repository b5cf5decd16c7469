// The web server's connection limits and the guard on each connection.
#include "publish/connectionguard.h"

#include "publish/liveserverworker.h"

#include <QTcpSocket>

#ifdef Q_OS_LINUX
#include <linux/sockios.h>
#include <sys/ioctl.h>
#endif

namespace lapvane {

// ---------------------------------------------------------------------------
// ConnectionGuard

ConnectionGuard::ConnectionGuard(QTcpSocket *socket, const LiveServer::Options &options,
                                 LiveServerCounters &counters, ConnectionBook &book, LiveServerWorker &worker)
    : QObject(socket), m_socket(socket), m_options(options), m_counters(counters), m_book(book),
      m_worker(worker), m_address(socket->peerAddress()),
      m_onThisComputer(m_address.isEqual(socket->localAddress(), QHostAddress::ConvertV4MappedToIPv4))
{
    ++m_book.pagesPerAddress[m_address];
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &ConnectionGuard::drop);
    m_deadline.start(m_options.requestTimeoutMs);
    m_drain.setInterval(qBound(5, m_options.drainTimeoutMs / 5, 1000));
    connect(&m_drain, &QTimer::timeout, this, &ConnectionGuard::checkBacklog);
    // Connected before the HTTP server's own reader, so it sees each chunk first.
    connect(socket, &QTcpSocket::readyRead, this, &ConnectionGuard::onReadyRead);
}

ConnectionGuard::~ConnectionGuard()
{
    // Counted here, not on the socket's signals: the HTTP server may cut
    // those off when it meets a request it cannot parse.
    --m_counters.connections;
    if (m_subscriber)
        --m_counters.subscribers;
    QHash<QHostAddress, int> &count = m_subscriber ? m_book.feedsPerAddress : m_book.pagesPerAddress;
    const auto it = count.find(m_address);
    if (it != count.end() && --*it <= 0)
        count.erase(it);
}

void ConnectionGuard::onReadyRead()
{
    m_received += m_socket->bytesAvailable();
    if (m_received > m_options.maxRequestBytes) {
        // After the server's reader has run for this chunk: never under its feet.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_subscriber)
                    drop();
                else
                    refuse("HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Type: text/plain\r\n"
                           "Content-Length: 18\r\nConnection: close\r\n\r\nRequest too large\n");
            },
            Qt::QueuedConnection);
    }
}

bool ConnectionGuard::requestCompleted()
{
    if (m_received > m_options.maxRequestBytes) {
        refuse("HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Type: text/plain\r\n"
               "Content-Length: 18\r\nConnection: close\r\n\r\nRequest too large\n");
        return false;
    }
    m_received = 0;
    if (!m_subscriber && !m_paused)
        m_deadline.start(m_options.idleTimeoutMs);
    return !m_refused && !m_dropped;
}

void ConnectionGuard::becomeSubscriber()
{
    if (!m_subscriber) {
        ++m_counters.subscribers;
        const auto it = m_book.pagesPerAddress.find(m_address);
        if (it != m_book.pagesPerAddress.end() && --*it <= 0)
            m_book.pagesPerAddress.erase(it);
        ++m_book.feedsPerAddress[m_address];
    }
    m_subscriber = true;
    m_deadline.stop();
}

qint64 ConnectionGuard::untaken() const
{
    qint64 bytes = m_socket->bytesToWrite();
#ifdef Q_OS_LINUX
    // What the system holds for the client: a client that stopped reading
    // (its window closed) or went away leaves it here, while the socket's own
    // buffer stays empty until the system's is full, which small keep-alive
    // comments would take hours to fill.
    int queued = 0;
    if (ioctl(int(m_socket->socketDescriptor()), SIOCOUTQ, &queued) == 0 && queued > 0)
        bytes += queued;
#endif
    return bytes;
}

void ConnectionGuard::wrote(qint64 bytes)
{
    m_written += bytes;
    const qint64 waiting = m_socket->bytesToWrite();
    if (untaken() <= 0)
        return;
    if (m_mark < 0) {
        m_mark = m_written;
        m_markTime.start();
    }
    if (!m_drain.isActive())
        m_drain.start();
    // Answers pile up: nothing more is read from this client until they drain.
    if (!m_subscriber && waiting >= m_options.maxBacklogBytes)
        pause();
}

void ConnectionGuard::checkBacklog()
{
    if (m_dropped || m_refused)
        return;
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        if (!m_paused && m_socket->bytesToWrite() <= 0) {
            // Closed with all handed to the system, which sends the rest: let
            // go, not counted as dropped.
            m_drain.stop();
            m_deadline.stop();
            m_socket->deleteLater();
            return;
        }
        // Also the way a paused connection learns that its client is gone.
        drop();
        return;
    }
    const qint64 waiting = m_socket->bytesToWrite();
    const qint64 left = untaken();
    const qint64 taken = m_written - left;
    if (m_mark >= 0 && taken >= m_mark)
        m_mark = -1; // what waited has been taken
    if (left <= 0) {
        m_drain.stop();
    } else if (m_mark < 0) {
        m_mark = m_written;
        m_markTime.start();
    } else if (m_markTime.elapsed() >= m_options.drainTimeoutMs) {
        drop();
        return;
    }
    if (m_paused && waiting <= m_options.maxBacklogBytes / 2)
        resume();
}

void ConnectionGuard::pause()
{
    if (m_paused)
        return;
    m_paused = true;
    m_holding = true;
    m_deadline.stop();
    // Held back, the HTTP server hears of no new data; the socket's buffer
    // stays full, so the system stops taking more from the client.
    m_socket->blockSignals(true);
}

void ConnectionGuard::resume()
{
    m_paused = false;
    m_socket->blockSignals(false);
    // What was asked meanwhile is answered in order, until the answers pile up again.
    while (!m_held.isEmpty() && !m_paused && !m_dropped && !m_refused &&
           m_socket->state() == QAbstractSocket::ConnectedState)
        m_worker.answer(m_socket, m_held.takeFirst());
    if (m_paused || m_dropped || m_refused)
        return;
    m_holding = false;
    m_deadline.start(m_socket->bytesAvailable() > 0 ? m_options.requestTimeoutMs : m_options.idleTimeoutMs);
    // Data that arrived while held back is read now.
    if (m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(
            m_socket, [socket = m_socket] { emit socket->readyRead(); }, Qt::QueuedConnection);
}

void ConnectionGuard::refuse(const QByteArray &response)
{
    if (m_dropped || m_refused)
        return;
    m_refused = true;
    ++m_counters.dropped;
    m_held.clear();
    m_deadline.stop();
    m_drain.stop();
    m_socket->blockSignals(false);
    // Nothing more reaches the HTTP server; what the client still sends is
    // read and thrown away, so that closing does not reset the connection
    // before the client has read the answer.
    disconnect(m_socket, &QIODevice::readyRead, nullptr, nullptr);
    if (m_socket->isTransactionStarted())
        m_socket->commitTransaction();
    m_socket->readAll();
    connect(m_socket, &QIODevice::readyRead, this, [this] { m_socket->readAll(); });
    m_socket->write(response);
    m_socket->flush();
    QTimer::singleShot(1000, this, [this] {
        m_socket->abort();
        m_socket->deleteLater();
    });
}

void ConnectionGuard::drop()
{
    if (m_dropped)
        return;
    m_dropped = true;
    if (!m_refused)
        ++m_counters.dropped;
    m_held.clear();
    m_drain.stop();
    m_deadline.stop();
    // Its signals back, so that all who follow it hear it go.
    m_socket->blockSignals(false);
    m_socket->abort();
    // Also when the HTTP server no longer listens to this socket.
    m_socket->deleteLater();
}

// ---------------------------------------------------------------------------
// GuardedTcpServer

GuardedTcpServer::GuardedTcpServer(const LiveServer::Options &options, LiveServerCounters &counters,
                                   ConnectionBook &book, LiveServerWorker &worker, QObject *parent)
    : QTcpServer(parent), m_options(options), m_counters(counters), m_book(book), m_worker(worker)
{
}

void GuardedTcpServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (m_counters.connections.load() >= m_options.maxConnections ||
        m_book.pagesPerAddress.value(socket->peerAddress()) >= m_options.maxConnectionsPerAddress) {
        // Turned away once its request is in: closing with unread data would
        // reset the connection before the client reads the answer.
        ++m_counters.dropped;
        auto turnAway = [socket] {
            socket->readAll();
            if (socket->state() != QAbstractSocket::ConnectedState)
                return;
            socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain\r\n"
                          "Content-Length: 21\r\nConnection: close\r\n\r\nToo many connections\n");
            socket->disconnectFromHost();
        };
        connect(socket, &QTcpSocket::readyRead, socket, turnAway);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(500, socket, turnAway);
        QTimer::singleShot(3000, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        return;
    }
    ++m_counters.connections;
    // Bounds what one read can bring in at once, yet lets a request grow
    // past its limit so that it is seen to.
    socket->setReadBufferSize(m_options.maxRequestBytes + 1);
    // The system keeps little for a client, so one that stops reading shows
    // soon in what waits to be written.
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 128 * 1024);
    new ConnectionGuard(socket, m_options, m_counters, m_book, m_worker);
    addPendingConnection(socket);
}

} // namespace lapvane
