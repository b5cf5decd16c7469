// The web server tests' event-feed reader; raw requests come from
// tests/common/loopback.h.
#pragma once

#include "tests/common/loopback.h"

#include <QByteArray>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QTcpSocket>

#include <memory>

namespace lapvane::test {

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
