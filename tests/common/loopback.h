// Talking to servers on 127.0.0.1 from a test: a free port, and raw HTTP
// requests over a socket (so malformed ones can be sent too).
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QTcpSocket>

#include <memory>

namespace lapvane::test {

// A TCP port on 127.0.0.1 that nothing listens on now; 0 when none is found.
quint16 freeLoopbackPort();

struct HttpReply
{
    int status = 0;     // 0: no answer (the connection was closed)
    QByteArray headers; // the header block, lines joined by "\r\n"
    QByteArray body;
    QByteArray header(const QByteArray &name) const;
};

// Sends the bytes as they are and reads one answer (to its Content-Length,
// or until the server closes). from: the client's own loopback address
// (127.0.0.2 and so on stand for other devices).
HttpReply rawRequest(quint16 port, const QByteArray &request, int timeoutMs = 5000,
                     const QHostAddress &from = QHostAddress(QHostAddress::LocalHost));
HttpReply get(quint16 port, const QByteArray &path, const QByteArray &method = "GET",
              const QHostAddress &from = QHostAddress(QHostAddress::LocalHost));

// A connection from that loopback address, or null.
std::unique_ptr<QTcpSocket> openFrom(quint16 port, const QHostAddress &from);

} // namespace lapvane::test
