// A free port and raw HTTP requests on 127.0.0.1.
#include "tests/common/loopback.h"

#include <QDeadlineTimer>
#include <QTcpServer>

namespace lapvane::test {

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

QByteArray HttpReply::header(const QByteArray &name) const
{
    for (const QByteArray &line : headers.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

std::unique_ptr<QTcpSocket> openFrom(quint16 port, const QHostAddress &from)
{
    auto socket = std::make_unique<QTcpSocket>();
    if (!socket->bind(from, 0))
        return nullptr;
    socket->connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    if (!socket->waitForConnected(5000))
        return nullptr;
    return socket;
}

HttpReply rawRequest(quint16 port, const QByteArray &request, int timeoutMs, const QHostAddress &from)
{
    HttpReply reply;
    QTcpSocket socket;
    socket.bind(from, 0);
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    if (!socket.waitForConnected(timeoutMs))
        return reply;
    socket.write(request);
    socket.waitForBytesWritten(timeoutMs);
    QByteArray data;
    QDeadlineTimer deadline(timeoutMs);
    qint64 wanted = -1;
    int headEnd = -1;
    while (!deadline.hasExpired()) {
        if (!socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            if (socket.state() != QAbstractSocket::ConnectedState)
                break;
            continue;
        }
        data += socket.readAll();
        if (headEnd < 0) {
            headEnd = data.indexOf("\r\n\r\n");
            if (headEnd >= 0) {
                reply.headers = data.left(headEnd);
                const QByteArray length = reply.header("Content-Length");
                wanted = length.isEmpty() ? -1 : length.toLongLong();
                if (request.startsWith("HEAD "))
                    wanted = 0;
            }
        }
        if (headEnd >= 0 && wanted >= 0 && data.size() - headEnd - 4 >= wanted)
            break;
    }
    data += socket.readAll();
    if (headEnd < 0)
        return reply;
    const QList<QByteArray> statusLine = reply.headers.left(reply.headers.indexOf("\r\n")).split(' ');
    reply.status = statusLine.size() > 1 ? statusLine.at(1).toInt() : 0;
    reply.body = data.mid(headEnd + 4);
    return reply;
}

HttpReply get(quint16 port, const QByteArray &path, const QByteArray &method, const QHostAddress &from)
{
    return rawRequest(port, method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
                      5000, from);
}

} // namespace lapvane::test
