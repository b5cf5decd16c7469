// A service on 127.0.0.1 whose connection drops after it has read a request
// whole: it answers the first `answered` requests (keeping the connection
// open, as keep-alive servers do) and reads every later one, counts it and
// closes the connection without a word.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QTcpServer>

namespace lapvane::test {

class DroppingServer : public QTcpServer
{
public:
    explicit DroppingServer(int answered, const QByteArray &answerBody);

    QString baseUrl() const;
    // The request lines read whole, in order ("POST /bot1:T/sendMessage HTTP/1.1").
    QList<QByteArray> requests;

private:
    void readFrom(QTcpSocket *socket);

    int m_answered;
    QByteArray m_answerBody;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

} // namespace lapvane::test
