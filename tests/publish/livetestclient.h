// A plain HTTP client for the web server tests: raw requests over a socket to
// 127.0.0.1 (so malformed ones can be sent too), and an event-feed reader.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QTcpSocket>

#include <memory>

namespace lapvane::test {

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

// A client of /api/events that collects the messages' JSON.
class FeedClient
{
public:
    explicit FeedClient(quint16 port, const QHostAddress &from = QHostAddress(QHostAddress::LocalHost));
    bool connected() const;
    // Waits for the next message (or takes one already received).
    bool next(QJsonObject *message, int timeoutMs = 5000);
    QByteArray responseHead() const { return m_head; }
    // Comment lines received so far (the server's keep-alives).
    int comments();

private:
    void take();
    std::unique_ptr<QTcpSocket> m_socket;
    QByteArray m_buffer;
    QByteArray m_head;
    bool m_headDone = false;
    int m_comments = 0;
    QList<QJsonObject> m_messages;
};

} // namespace lapvane::test
