// A service whose connection drops after it has read a request.
#include "tests/online/droppingserver.h"

#include <QTcpSocket>

namespace lapvane::test {

DroppingServer::DroppingServer(int answered, const QByteArray &answerBody)
    : m_answered(answered), m_answerBody(answerBody)
{
    listen(QHostAddress::LocalHost, 0);
    connect(this, &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (QTcpSocket *s = nextPendingConnection()) {
            s->setParent(this);
            connect(s, &QTcpSocket::readyRead, this, [this, s] { readFrom(s); });
            connect(s, &QTcpSocket::disconnected, this, [this, s] {
                m_buffers.remove(s);
                s->deleteLater();
            });
        }
    });
}

QString DroppingServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(serverPort());
}

void DroppingServer::readFrom(QTcpSocket *socket)
{
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    while (true) {
        const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        qsizetype length = 0;
        for (const QByteArray &line : buffer.left(headEnd).split('\n')) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        }
        if (buffer.size() < headEnd + 4 + length)
            return;
        requests << buffer.left(buffer.indexOf("\r\n"));
        buffer.remove(0, headEnd + 4 + length);
        if (requests.size() > m_answered) {
            m_buffers.remove(socket);
            socket->abort();
            return;
        }
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                      QByteArray::number(m_answerBody.size()) + "\r\n\r\n" + m_answerBody);
    }
}

} // namespace lapvane::test
