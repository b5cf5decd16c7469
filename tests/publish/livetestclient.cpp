// The event-feed client of the web server tests.
#include "tests/publish/livetestclient.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QJsonDocument>

namespace lapvane::test {

FeedClient::FeedClient(quint16 port, const QHostAddress &from) : m_socket(std::make_unique<QTcpSocket>())
{
    m_socket->bind(from, 0);
    m_socket->connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    if (m_socket->waitForConnected(5000))
        m_socket->write("GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n");
}

bool FeedClient::connected() const
{
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

void FeedClient::take()
{
    m_buffer += m_socket->readAll();
    if (!m_headDone) {
        const int end = m_buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        m_head = m_buffer.left(end);
        m_buffer.remove(0, end + 4);
        m_headDone = true;
    }
    int end;
    while ((end = m_buffer.indexOf("\n\n")) >= 0) {
        const QByteArray block = m_buffer.left(end);
        m_buffer.remove(0, end + 2);
        for (const QByteArray &line : block.split('\n')) {
            if (line.startsWith("data: "))
                m_messages.append(QJsonDocument::fromJson(line.mid(6)).object());
            else if (line.startsWith(':'))
                ++m_comments;
        }
    }
}

int FeedClient::comments()
{
    m_socket->waitForReadyRead(0);
    take();
    return m_comments;
}

bool FeedClient::next(QJsonObject *message, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    take();
    while (m_messages.isEmpty() && !deadline.hasExpired()) {
        if (!m_socket->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        take();
    }
    if (m_messages.isEmpty())
        return false;
    *message = m_messages.takeFirst();
    return true;
}

} // namespace lapvane::test
